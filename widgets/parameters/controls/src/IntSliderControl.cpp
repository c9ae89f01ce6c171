// A ComboSlider bound to an integer node.
#include "orbelt/IntSliderControl.h"

#include "LogGuard.h"

#include <brasko/MessageFunctions.h>

#include <QSlider>

namespace NimboQt {

IntSliderControl::IntSliderControl(QWidget* parent) : ComboSlider(parent)
{
    connect(this, &ComboSlider::valueChanged, this, &IntSliderControl::setNodeValue);
}

void IntSliderControl::setNode(GenApi::INode* node)
{
    m_node = node;
    updateWidget();
}

void IntSliderControl::setNodeValue(int newVal)
{
    if (newVal == m_lastValue)
        return;
    m_lastValue = newVal;
    if (!isEnabled())
        return;
    reportExceptions(QStringLiteral("NimboQt::IntSliderControl::setNodeValue"),
                     QStringLiteral("Failed to set integer value"), [&] { m_node->SetValue(newVal, true); });
}

void IntSliderControl::updateWidget()
{
    using orbelt_detail::clampToInt;
    orbelt_detail::guarded(
        "NimboQt::IntSliderControl::updateWidget",
        [] { return QStringLiteral("Failed to update the integer value editor"); },
        [&] {
            const bool writable = m_node && GenApi::IsWritable(m_node.get());
            const int min = clampToInt(m_node->GetMin());
            const int max = clampToInt(m_node->GetMax());
            const int value = clampToInt(m_node->GetValue(false, false));
            const int increment = clampToInt(m_node->GetInc());
            if (isEnabled() != writable)
                setEnabled(writable);
            if (min != minimum() || max != maximum())
                setRange(min, max);
            if (value != m_lastValue) {
                m_lastValue = clampToInt(m_node->GetValue(false, false));
                setValue(m_lastValue);
            }
            if (increment != singleStep())
                setSingleStep(increment);
        });
}

} // namespace NimboQt
