// A double edit box beside an integer slider; the two scales are independent and a derived class maps them.
#include "orbelt/DoubleComboSlider.h"

#include "FloatRange.h"
#include "SliderSteps.h"
#include "orbelt/SpinBox.h"

#include <GenICam/GenericException.h>
#include <brasko/Formatting.h>

#include <QSlider>

#include <climits>
#include <cstdlib>

DoubleComboSlider::DoubleComboSlider(QWidget* parent) : EditBoxSlider(parent), m_focusWatcher(new SpinBoxEventCatcher())
{
    m_editBox->setAccelerated(true);
    m_editBox->installEventFilter(m_focusWatcher);
    m_slider->setRange(INT_MIN, INT_MAX);
    connect(m_editBox, &NimboQtDoubleSpinBox::stepTriggered, this, &DoubleComboSlider::onSpinBoxStepTriggered);
    connect(m_focusWatcher, &SpinBoxEventCatcher::focusEvent, this, &DoubleComboSlider::onSpinBoxFocusEventTriggered);
}

DoubleComboSlider::~DoubleComboSlider()
{
    delete m_editBox;
    delete m_slider;
    delete m_focusWatcher;
}

double DoubleComboSlider::value() const
{
    return m_editBox->value();
}
double DoubleComboSlider::minimum() const
{
    return m_editBox->minimum();
}
double DoubleComboSlider::maximum() const
{
    return m_editBox->maximum();
}
int DoubleComboSlider::decimals() const
{
    return m_editBox->decimals();
}
int DoubleComboSlider::intValue() const
{
    return m_slider->value();
}
int DoubleComboSlider::intMinimum() const
{
    return m_slider->minimum();
}
int DoubleComboSlider::intMaximum() const
{
    return m_slider->maximum();
}

void DoubleComboSlider::setValue(double value)
{
    m_editBox->setValue(value);
}

void DoubleComboSlider::setIntValue(int value)
{
    m_slider->setValue(value);
}

void DoubleComboSlider::setMinimum(double value)
{
    m_minRangeLimit = value;
    m_editBox->setMinimum(value);
    updateToolTip();
}

void DoubleComboSlider::setMaximum(double value)
{
    m_maxRangeLimit = value;
    m_editBox->setMaximum(value);
    updateToolTip();
}

void DoubleComboSlider::setRange(double min, double max)
{
    m_minRangeLimit = min;
    m_maxRangeLimit = max;
    m_editBox->setRange(min, max);
    updateToolTip();
}

void DoubleComboSlider::setDecimals(int decimals)
{
    m_editBox->setDecimals(decimals);
    updateToolTip();
}

void DoubleComboSlider::setIntMinimum(int value)
{
    m_slider->setMinimum(value);
    updateToolTip();
    emit rangeChanged(value, m_slider->maximum());
}

void DoubleComboSlider::setIntMaximum(int value)
{
    m_slider->setMaximum(value);
    updateToolTip();
    emit rangeChanged(m_slider->minimum(), value);
}

void DoubleComboSlider::setIntRange(int min, int max)
{
    m_slider->setRange(min, max);
    updateToolTip();
    emit rangeChanged(min, max);
}

void DoubleComboSlider::setIntIncrement(int increment)
{
    m_intIncrement = increment;
}

void DoubleComboSlider::setPageStep()
{
    // In 64 bits: the full int32 span would overflow, and a wrapped negative span gives a nonsense step.
    const long long span = std::llabs(static_cast<long long>(m_slider->maximum()) - m_slider->minimum());
    long long page = orbelt_detail::pageStepFor(span, m_intIncrement);
    if (m_slider->singleStep() != 0)
        page = orbelt_detail::trimToGrid(page, m_slider->minimum(), m_intIncrement);
    m_slider->setPageStep(static_cast<int>(qBound<long long>(0, page, INT_MAX)));
    updateToolTip();
}

void DoubleComboSlider::setRangeStepAndIncrement(int min, int max, int increment)
{
    setIntRange(min, max);
    setIntIncrement(increment);
    setPageStep();
}

void DoubleComboSlider::setRangeStepAndIncrement(double min, double max, int increment)
{
    setRange(min, max);
    setIntIncrement(increment);
    setPageStep();
}

void DoubleComboSlider::initControls(double minRangeLimit, double maxRangeLimit, int value, int minIntRangeLimit,
                                     int maxIntRangeLimit, int intIncrement)
{
    setRange(minRangeLimit, maxRangeLimit);
    m_slider->setSingleStep(intIncrement);
    setIntValue(value);
    setRangeStepAndIncrement(minIntRangeLimit, maxIntRangeLimit, intIncrement);
}

void DoubleComboSlider::onSpinBoxStepTriggered(int steps)
{
    const long long page = m_slider->pageStep();
    const long long current = m_slider->value();
    long long target;
    if (steps == 10)
        target = current + page;
    else if (steps == -10)
        target = current - page;
    else
        target = current + static_cast<long long>(m_intIncrement) * steps;
    // The update the move will bring is expected before the move: its write may report back at once.
    const bool wasExpected = m_updateExpected;
    m_updateExpected = true;
    // The slider clamps to its range; the sum is bounded first so that it cannot wrap around.
    m_slider->setValue(static_cast<int>(qBound<long long>(INT_MIN, target, INT_MAX)));
    // At the end of its range the slider stays: nothing is written, no update comes, and a flag left set
    // would let the next refresh overwrite what the user types into the box.
    if (m_slider->value() == current)
        m_updateExpected = wasExpected;
}

void DoubleComboSlider::onSpinBoxFocusEventTriggered(bool focus)
{
    m_hasFocus = focus;
    m_updateExpected = !focus;
}

bool DoubleComboSlider::checkIfLimitsChanged(int min, int max, int increment) const
{
    return min != m_slider->minimum() || max != m_slider->maximum() || increment != m_intIncrement;
}

bool DoubleComboSlider::checkIfLimitsChanged(double min, double max, int increment) const
{
    return min != m_minRangeLimit || max != m_maxRangeLimit || increment != m_intIncrement;
}

int DoubleComboSlider::trimSliderValue(int value) const
{
    if (m_slider->singleStep() == 0)
        return value;
    return static_cast<int>(orbelt_detail::trimToGrid(value, m_slider->minimum(), m_intIncrement));
}

void DoubleComboSlider::updateToolTip()
{
    orbelt_detail::guardedToolTip([&] {
        const QString text = orbelt_detail::floatRangeToolTip(m_editBox->minimum(), m_editBox->maximum(), 0.0, 0.0,
                                                              m_editBox->decimals(), locale());
        m_slider->setToolTip(text);
        m_editBox->setToolTip(text);
        setToolTip(text);
    });
}
