// An integer edit box and a horizontal slider over one range, kept in step with each other.
#pragma once

#include "orbelt/EditBoxSlider.h"
#include "orbelt/Export.h"

// GUI thread only. Setters marked quiet move the slider without emitting valueChanged.
class ORBELT_EXPORT ComboSlider : public orbelt_detail::EditBoxSlider<NimboQtSpinBox> {
    Q_OBJECT
    Q_PROPERTY(int value READ value WRITE setValue)
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int singleStep READ singleStep WRITE setSingleStep)
    Q_PROPERTY(int pageStep READ pageStep WRITE setPageStep)
    Q_PROPERTY(int editBoxWidth READ editBoxWidth WRITE setEditBoxWidth)
public:
    explicit ComboSlider(QWidget* parent = nullptr);

    int value() const;
    int minimum() const;
    int maximum() const;
    int singleStep() const;
    int pageStep() const;
    using EditBoxSlider::setEditBoxWidth;
    void enableUpdate(bool enable) { m_updateEnabled = enable; }
    bool isUpdateEnabled() const { return m_updateEnabled; }

public slots:
    virtual void setValue(int value);
    virtual void setMinimum(int value);
    virtual void setMaximum(int value);
    virtual void setRange(int min, int max);
    virtual void setRangeAndStep(int min, int max, int step);
    virtual void setSingleStep(int step);
    virtual void setPageStep(int step);

signals:
    void valueChanged(int value);
    void rangeChanged(int min, int max);

protected slots:
    virtual void updateToolTip();
    void onSliderValueChanged(int value);
    void onComboBoxEditingFinished();

protected:
    int trimValue(int value) const;

private:
    // Clears the update flag for the life of the guard and restores it if it was set.
    struct Quiet {
        explicit Quiet(ComboSlider* control) : m_control(control), m_was(control->m_updateEnabled)
        {
            control->m_updateEnabled = false;
        }
        ~Quiet()
        {
            if (m_was)
                m_control->m_updateEnabled = true;
        }
        ComboSlider* m_control;
        bool m_was;
    };

    bool m_updateEnabled = true;
};
