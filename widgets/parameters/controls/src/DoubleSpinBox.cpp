// A double edit box alone, with a range, an increment and a computed page step.
#include "orbelt/DoubleSpinBox.h"

#include "FloatRange.h"
#include "orbelt/SpinBox.h"

#include <GenICam/GenericException.h>
#include <brasko/Formatting.h>

#include <QHBoxLayout>

#include <cfloat>

DoubleSpinBox::DoubleSpinBox(QWidget* parent, GenApi::ERepresentation representation)
    : QWidget(parent), m_editBox(new NimboQtDoubleSpinBox(this)), m_focusWatcher(new SpinBoxEventCatcher()),
      m_minRangeLimit(-DBL_MAX), m_maxRangeLimit(DBL_MAX)
{
    auto* layout = new QHBoxLayout(this);
    layout->setMargin(0);
    layout->addWidget(m_editBox);
    setContentsMargins(1, 0, 1, 0);
    m_editBox->setRange(-DBL_MAX, DBL_MAX);
    m_editBox->setAccelerated(true);
    if (representation == GenApi::PureNumber)
        m_editBox->setButtonSymbols(QAbstractSpinBox::NoButtons);
    m_editBox->installEventFilter(m_focusWatcher);
    connect(m_focusWatcher, &SpinBoxEventCatcher::focusEvent, this, &DoubleSpinBox::onSpinBoxFocusEventTriggered);
}

DoubleSpinBox::~DoubleSpinBox()
{
    delete m_editBox;
    delete m_focusWatcher;
}

double DoubleSpinBox::minimum() const
{
    return m_editBox->minimum();
}
double DoubleSpinBox::maximum() const
{
    return m_editBox->maximum();
}
int DoubleSpinBox::decimals() const
{
    return m_editBox->decimals();
}
int DoubleSpinBox::pageStep() const
{
    return static_cast<int>(m_editBox->pageStep());
}

void DoubleSpinBox::setEditBoxWidth(int width)
{
    m_editBoxWidth = width;
    m_editBox->setMinimumWidth(width);
}

void DoubleSpinBox::setValue(double value)
{
    m_editBox->setValue(value);
}

void DoubleSpinBox::setMinimum(double value)
{
    m_editBox->setMinimum(value);
    updateToolTip();
}

void DoubleSpinBox::setMaximum(double value)
{
    m_editBox->setMaximum(value);
    updateToolTip();
}

void DoubleSpinBox::setDecimals(int decimals)
{
    m_editBox->setDecimals(decimals);
    updateToolTip();
}

void DoubleSpinBox::setIncrement(double increment)
{
    m_increment = increment;
}

void DoubleSpinBox::setRange(double min, double max)
{
    m_minRangeLimit = min;
    m_maxRangeLimit = max;
    m_editBox->setRange(min, max);
    updateToolTip();
}

void DoubleSpinBox::setPageStep()
{
    // Each bound divided first: over the full double range the difference itself would be infinite.
    double page = m_maxRangeLimit / 20 - m_minRangeLimit / 20;
    if (2 * m_increment > page)
        page = 2 * m_increment;
    m_editBox->setPageStep(page);
}

void DoubleSpinBox::setRangeStepAndIncrement(double minRangeLimit, double maxRangeLimit, double increment)
{
    setRange(minRangeLimit, maxRangeLimit);
    setIncrement(increment);
    setPageStep();
    if (increment == 0.0)
        m_editBox->setButtonSymbols(QAbstractSpinBox::NoButtons);
}

void DoubleSpinBox::initControls(double minRangeLimit, double maxRangeLimit, double value, double increment)
{
    setValue(value);
    setRangeStepAndIncrement(minRangeLimit, maxRangeLimit, increment);
}

void DoubleSpinBox::onSpinBoxFocusEventTriggered(bool focus)
{
    m_hasFocus = focus;
    m_updateExpected = !focus;
}

bool DoubleSpinBox::checkIfLimitsChanged(double min, double max, double increment) const
{
    return min != m_minRangeLimit || max != m_maxRangeLimit || increment != m_increment;
}

void DoubleSpinBox::updateToolTip()
{
    orbelt_detail::guardedToolTip([&] {
        const QString text = orbelt_detail::floatRangeToolTip(m_editBox->minimum(), m_editBox->maximum(), 0.0,
                                                              m_increment, m_editBox->decimals(), locale());
        m_editBox->setToolTip(text);
        setToolTip(text);
    });
}
