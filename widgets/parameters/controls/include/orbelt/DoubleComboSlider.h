// A double edit box beside an integer slider; the two scales are independent and a derived class maps them.
#pragma once

#include "orbelt/EditBoxSlider.h"
#include "orbelt/Export.h"

class SpinBoxEventCatcher;

// GUI thread only.
class ORBELT_EXPORT DoubleComboSlider : public orbelt_detail::EditBoxSlider<NimboQtDoubleSpinBox> {
    Q_OBJECT
    Q_PROPERTY(int intValue READ intValue WRITE setIntValue)
    Q_PROPERTY(double minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int intMinimum READ intMinimum WRITE setIntMinimum)
    Q_PROPERTY(double maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int intMaximum READ intMaximum WRITE setIntMaximum)
    Q_PROPERTY(int decimals READ decimals WRITE setDecimals)
    Q_PROPERTY(int intIncrement READ intIncrement WRITE setIntIncrement)
    Q_PROPERTY(int editBoxWidth READ editBoxWidth WRITE setEditBoxWidth)
    Q_PROPERTY(double value READ value WRITE setValue)
public:
    explicit DoubleComboSlider(QWidget* parent = nullptr);
    ~DoubleComboSlider() override;

    double value() const;
    double minimum() const;
    double maximum() const;
    int decimals() const;
    int intValue() const;
    int intMinimum() const;
    int intMaximum() const;
    int intIncrement() const { return m_intIncrement; }
    bool isUpdateExspected() const { return m_updateExpected; }
    bool hasFocus() const { return m_hasFocus; }

public slots:
    virtual void setValue(double value);
    virtual void setIntValue(int value);
    virtual void setMinimum(double value);
    virtual void setIntMinimum(int value);
    virtual void setMaximum(double value);
    virtual void setIntMaximum(int value);
    virtual void setDecimals(int decimals);
    virtual void setRange(double min, double max);
    virtual void setIntRange(int min, int max);
    virtual void setIntIncrement(int increment);
    virtual void setPageStep();
    virtual void setRangeStepAndIncrement(int min, int max, int increment);
    virtual void setRangeStepAndIncrement(double min, double max, int increment);
    virtual void initControls(double minRangeLimit, double maxRangeLimit, int value, int minIntRangeLimit,
                              int maxIntRangeLimit, int intIncrement);
    void onSpinBoxStepTriggered(int steps);
    void onSpinBoxFocusEventTriggered(bool focus);
    void enableUpdate(bool expected) { m_updateExpected = expected; }

signals:
    void rangeChanged(int min, int max);

protected slots:
    virtual void updateToolTip();

protected:
    bool checkIfLimitsChanged(int min, int max, int increment) const;
    bool checkIfLimitsChanged(double min, double max, int increment) const;
    int trimSliderValue(int value) const;

private:
    SpinBoxEventCatcher* m_focusWatcher;
    int m_intIncrement = 0;
    double m_minRangeLimit = 0.0;
    double m_maxRangeLimit = 0.0;
    bool m_hasFocus = false;
    bool m_updateExpected = false;
};
