// The flat slider: the linear scale forwards to the base, the logarithmic scale maps positions in log2.
#include "FlatDoubleComboSlider.h"

#include <orbelt/SpinBox.h>

#include <QSlider>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {
// log2 needs a positive argument: a minimum of 0 or below counts as 1.
double safeLog2(long long value)
{
    return std::log2(static_cast<double>(std::max(1LL, value)));
}

// Truncation toward zero that forgives the rounding error of pow/log2, so that the maximum position
// gives the maximum and not one less.
double truncTolerant(double value)
{
    return std::trunc(value + (value >= 0 ? 1e-9 : -1e-9) * std::max(1.0, std::fabs(value)));
}
} // namespace

FlatDoubleComboSlider::FlatDoubleComboSlider(QWidget* parent, int scale) : DoubleComboSlider(parent), m_scale(scale)
{
    connect(editBox(), &QDoubleSpinBox::editingFinished, this, &FlatDoubleComboSlider::onSpinBoxEditingFinished);
    connect(slider(), &QSlider::valueChanged, this, &FlatDoubleComboSlider::onSliderValueChanged);
    if (isLogarithmic()) {
        disconnect(editBox(), &NimboQtDoubleSpinBox::stepTriggered, nullptr, nullptr);
        connect(editBox(), &NimboQtDoubleSpinBox::stepTriggered, this, &FlatDoubleComboSlider::onSpinBoxStepTriggered);
    }
}

void FlatDoubleComboSlider::updateLog2PerPosition()
{
    m_log2PerPosition = (m_log2Max - m_log2Min) / (m_sliderMax - m_sliderMin);
}

int FlatDoubleComboSlider::positionToValue(int position) const
{
    const double value = truncTolerant(std::exp2((position - m_sliderMin) * m_log2PerPosition + m_log2Min));
    const long long low = std::max<long long>(1, m_intMin);
    const long long high = std::max<long long>(low, m_intMax);
    return static_cast<int>(std::clamp<double>(value, static_cast<double>(low), static_cast<double>(high)));
}

double FlatDoubleComboSlider::positionFor(double value) const
{
    // An empty range (minimum = maximum) has no log2 step: every value sits at the first position.
    if (m_log2PerPosition <= 0.0 || !std::isfinite(m_log2PerPosition))
        return m_sliderMin;
    const double position =
        truncTolerant((std::log2(std::max(1.0, value)) - m_log2Min) / m_log2PerPosition + m_sliderMin);
    return std::clamp<double>(position, m_sliderMin, m_sliderMax);
}

int FlatDoubleComboSlider::valueToPosition(int value) const
{
    return static_cast<int>(positionFor(value));
}

bool FlatDoubleComboSlider::takeExactValue(int position)
{
    // A pending exact value that the slider did not move for would otherwise be handed out for the
    // user's next move to another position, and that move would be lost.
    const bool valid = m_hasExactValue && position == m_exactPosition;
    m_hasExactValue = false;
    return valid;
}

int FlatDoubleComboSlider::intValue()
{
    if (!isLogarithmic())
        return DoubleComboSlider::intValue();
    if (takeExactValue(slider()->value()))
        return m_exactValue;
    return positionToValue(slider()->value());
}

int FlatDoubleComboSlider::trimSliderValue(int value) const
{
    if (!isLogarithmic())
        return DoubleComboSlider::trimSliderValue(value);
    if (slider()->singleStep() == 0 || intIncrement() == 0)
        return value;
    return static_cast<int>(value - (static_cast<long long>(value) - m_intMin) % intIncrement());
}

void FlatDoubleComboSlider::setIntValue(int value)
{
    if (!isLogarithmic()) {
        DoubleComboSlider::setIntValue(value);
        return;
    }
    m_exactValue = value;
    m_hasExactValue = true;
    m_hasBase = true;
    m_exactPosition = valueToPosition(value);
    slider()->setValue(m_exactPosition);
}

void FlatDoubleComboSlider::setIntMinimum(int min)
{
    if (!isLogarithmic()) {
        DoubleComboSlider::setIntMinimum(min);
        return;
    }
    setIntRange(min, m_intMax);
}

void FlatDoubleComboSlider::setIntMaximum(int max)
{
    if (!isLogarithmic()) {
        DoubleComboSlider::setIntMaximum(max);
        return;
    }
    setIntRange(m_intMin, max);
}

void FlatDoubleComboSlider::setIntRange(int min, int max)
{
    if (!isLogarithmic()) {
        DoubleComboSlider::setIntRange(min, max);
        return;
    }
    m_intMin = min;
    m_log2Min = safeLog2(min);
    m_intMax = max;
    m_log2Max = safeLog2(max);
    updateLog2PerPosition();
    emit rangeChanged(min, max);
    updateToolTip();
}

void FlatDoubleComboSlider::initControls(double minRangeLimit, double maxRangeLimit, int value, int minIntRangeLimit,
                                         int maxIntRangeLimit, int intIncrement)
{
    if (!isLogarithmic()) {
        DoubleComboSlider::initControls(minRangeLimit, maxRangeLimit, value, minIntRangeLimit, maxIntRangeLimit,
                                        intIncrement);
        return;
    }
    setRange(minRangeLimit, maxRangeLimit);
    slider()->setSingleStep(1);
    slider()->setRange(m_sliderMin, m_sliderMax);
    setRangeStepAndIncrement(minIntRangeLimit, maxIntRangeLimit, intIncrement);
    setIntValue(value);
}

// A step moves the value by whole increments from the exact value the slider stands for: one position
// spans several increments near the top of a wide range and less than one near its bottom, so a target
// computed from the truncated value of a position can land on the same position, or a few increments
// off. The slider goes where the new value stands (never against the step) and the new value goes out
// exactly, by the slider's own move or, when the step is smaller than a position, directly.
void FlatDoubleComboSlider::onSpinBoxStepTriggered(int val)
{
    const int position = slider()->value();
    const long long current = steppingBase(position);
    const long long low = std::max(1, m_intMin);
    const long long high = std::max<long long>(low, m_intMax);
    const long long target = std::clamp(current + static_cast<long long>(intIncrement()) * val, low, high);
    // At the end of the range nothing moves and nothing is written: no update is expected, or the next
    // refresh would overwrite what the user types into the box.
    if (target == current)
        return;
    enableUpdate(true);
    int next = valueToPosition(static_cast<int>(target));
    next = target > current ? std::max(next, position) : std::min(next, position);
    m_exactValue = static_cast<int32_t>(target);
    m_exactPosition = next;
    m_hasBase = true;
    if (next != position) {
        m_hasExactValue = true;
        slider()->setValue(next);
        return;
    }
    m_hasExactValue = false;
    emit valueChanged(m_exactValue);
}

long long FlatDoubleComboSlider::steppingBase(int position) const
{
    if (m_hasBase && position == m_exactPosition)
        return m_exactValue;
    return positionToValue(position);
}

void FlatDoubleComboSlider::onSpinBoxEditingFinished()
{
    emit editingFinished();
}

void FlatDoubleComboSlider::onSliderValueChanged(int val)
{
    if (!isLogarithmic()) {
        emit valueChanged(val);
        return;
    }
    // A move elsewhere (the user's drag) ends what the exact value stood for.
    if (val != m_exactPosition)
        m_hasBase = false;
    emit valueChanged(takeExactValue(val) ? m_exactValue : positionToValue(val));
}
