// An integer edit box and a horizontal slider over one range, kept in step with each other.
#include "orbelt/ComboSlider.h"

#include "LogGuard.h"
#include "SliderSteps.h"
#include "orbelt/SpinBox.h"

#include <GenICam/GenericException.h>

#include <QSlider>

ComboSlider::ComboSlider(QWidget* parent) : EditBoxSlider(parent)
{
    connect(m_slider, &QSlider::valueChanged, this, &ComboSlider::onSliderValueChanged);
    connect(m_editBox, &QSpinBox::editingFinished, this, &ComboSlider::onComboBoxEditingFinished);
    updateToolTip();
}

int ComboSlider::value() const
{
    return m_slider->value();
}
int ComboSlider::minimum() const
{
    return m_slider->minimum();
}
int ComboSlider::maximum() const
{
    return m_slider->maximum();
}
int ComboSlider::singleStep() const
{
    return m_slider->singleStep();
}
int ComboSlider::pageStep() const
{
    return m_slider->pageStep();
}

void ComboSlider::setValue(int value)
{
    Quiet quiet(this);
    m_slider->setValue(trimValue(value));
}

void ComboSlider::setMinimum(int value)
{
    Quiet quiet(this);
    m_slider->setMinimum(value);
    m_editBox->setMinimum(value);
    emit rangeChanged(value, m_editBox->maximum());
    updateToolTip();
}

void ComboSlider::setMaximum(int value)
{
    Quiet quiet(this);
    m_slider->setMaximum(value);
    m_editBox->setMaximum(value);
    emit rangeChanged(m_editBox->minimum(), value);
    updateToolTip();
}

void ComboSlider::setRange(int min, int max)
{
    Quiet quiet(this);
    m_slider->setMinimum(min);
    m_editBox->setMinimum(min);
    m_slider->setMaximum(max);
    m_editBox->setMaximum(max);
    emit rangeChanged(min, max);
    updateToolTip();
}

void ComboSlider::setRangeAndStep(int min, int max, int step)
{
    Quiet quiet(this);
    m_editBox->setSingleStep(step);
    m_editBox->setMinimum(min);
    m_editBox->setMaximum(max);
    m_slider->setSingleStep(step);
    m_slider->setMinimum(min);
    m_slider->setMaximum(max);
    emit rangeChanged(min, max);
    updateToolTip();
}

void ComboSlider::setSingleStep(int step)
{
    m_slider->setSingleStep(step);
    m_editBox->setSingleStep(step);
    updateToolTip();
}

void ComboSlider::setPageStep(int step)
{
    m_slider->setPageStep(step);
    m_editBox->setPageStep(step);
    updateToolTip();
}

void ComboSlider::updateToolTip()
{
    orbelt_detail::guardedToolTip([&] {
        if (m_editBox->singleStep() != 1)
            setToolTip(QStringLiteral("Range: %1..%2 (Increment: %3)")
                           .arg(m_editBox->minimum())
                           .arg(m_editBox->maximum())
                           .arg(m_editBox->singleStep()));
        else
            setToolTip(QStringLiteral("Range: %1..%2").arg(m_editBox->minimum()).arg(m_editBox->maximum()));
    });
}

int ComboSlider::trimValue(int value) const
{
    const int clamped = qBound(m_slider->minimum(), value, qMax(m_slider->minimum(), m_slider->maximum()));
    return static_cast<int>(orbelt_detail::trimToGrid(clamped, m_editBox->minimum(), m_editBox->singleStep()));
}

void ComboSlider::onSliderValueChanged(int value)
{
    const int trimmed = trimValue(value);
    if (trimmed != m_editBox->value())
        m_editBox->setValue(trimmed);
    if (trimmed != value) {
        m_slider->setValue(trimmed);
        return;
    }
    if (m_updateEnabled)
        emit valueChanged(value);
}

void ComboSlider::onComboBoxEditingFinished()
{
    const int value = m_editBox->value();
    const int trimmed = trimValue(value);
    if (trimmed != value)
        m_editBox->setValue(trimmed);
    m_slider->setValue(trimmed);
}
