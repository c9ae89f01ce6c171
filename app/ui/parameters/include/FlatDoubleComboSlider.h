// The camera settings panel's slider-and-edit-box control, with an optional logarithmic slider scale.
#pragma once

#include <orbelt/DoubleComboSlider.h>

#include <cstdint>

// GUI thread only: every member.
//
// In the logarithmic scale the slider runs over the fixed positions 0..100000, each standing for an
// integer spaced evenly in log2 between the integer minimum and maximum. In the linear scale the
// control is its base and only re-emits the edit box's editingFinished() and the slider's
// valueChanged(int) under its own signals.
class FlatDoubleComboSlider : public DoubleComboSlider {
    Q_OBJECT
public:
    // scale 1 = logarithmic, any other value = linear.
    FlatDoubleComboSlider(QWidget* parent, int scale);

    bool isLogarithmic() const { return m_scale == 1; }

    // Hide the base's namesakes for the parameter model. Logarithmic: the integer value last set by
    // setIntValue, handed out once while the slider still stands where it put it, else the value of
    // the slider position.
    int intValue();
    // Logarithmic: aligned on the increment grid that starts at the integer minimum.
    int trimSliderValue(int value) const;

    // The conversions of the logarithmic scale, clamped to the integer range and the slider range.
    int positionToValue(int position) const;
    int valueToPosition(int value) const;

signals:
    void editingFinished();
    void valueChanged(int value);

public slots:
    void setIntValue(int value) override;
    void setIntMinimum(int min) override;
    void setIntMaximum(int max) override;
    void setIntRange(int min, int max) override;
    void initControls(double minRangeLimit, double maxRangeLimit, int value, int minIntRangeLimit, int maxIntRangeLimit,
                      int intIncrement) override;
    void onSpinBoxStepTriggered(int val);

private slots:
    void onSpinBoxEditingFinished();
    void onSliderValueChanged(int val);

private:
    void updateLog2PerPosition();
    // Clears the pending exact value; true when it was pending and stands for position.
    bool takeExactValue(int position);
    double positionFor(double value) const;
    // The value a step starts from: the exact value while the slider stands where it was put for it,
    // else the value of the position.
    long long steppingBase(int position) const;

    int32_t m_scale;
    double m_log2Min = 0.0;
    double m_log2Max = 0.0;
    int32_t m_intMin = 0;
    int32_t m_intMax = 0;
    bool m_hasExactValue = false;
    int32_t m_exactValue = 0;
    // The slider position setIntValue or a step left for the exact value: a move elsewhere ends its validity.
    int32_t m_exactPosition = 0;
    // The exact value stands for m_exactPosition and is where the next step starts; unlike
    // m_hasExactValue it outlasts the read-back.
    bool m_hasBase = false;
    int32_t m_sliderMin = 0;
    int32_t m_sliderMax = 100000;
    double m_log2PerPosition = 0.0;
};
