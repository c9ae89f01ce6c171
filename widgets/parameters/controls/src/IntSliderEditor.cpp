// The slider editor of integer nodes.
#include "orbelt/IntSliderEditor.h"

#include "LogGuard.h"
#include "NodeText.h"
#include "SliderSteps.h"

#include <GenApi/Integer.h>
#include <GenApi/Pointer.h>

#include <QSlider>

#include <cstdlib>

IntSliderEditor::IntSliderEditor(QWidget* parent) : ComboSlider(parent) {}

void IntSliderEditor::setEditorData(GenApi::INode* node)
{
    using orbelt_detail::clampToInt;
    static const char* const function = "IntSliderEditor::setEditorData";
    GenApi::CIntegerPtr integer(node);
    if (!integer) {
        qWarning("%s is called with non-integer node????", function);
        return;
    }
    QString name;
    if (!orbelt_detail::guardedNodeName(function, node, name))
        return;
    const QByteArray nameText = name.toLatin1();
    orbelt_detail::guarded(
        function, [] { return QStringLiteral("Failed to update the integer value editor"); },
        [&] {
            if (!GenApi::IsReadable(integer)) {
                qWarning("Non-readable slider: %s??????", nameText.constData());
                return;
            }
            const int min = clampToInt(integer->GetMin());
            const int max = clampToInt(integer->GetMax());
            const int value = clampToInt(integer->GetValue(false, false));
            const int increment = clampToInt(integer->GetInc());
            if (max < min)
                qWarning("%s: Feature %s: min value % d > max value %d???", function, nameText.constData(), min, max);
            if (value < min || value > max)
                qWarning("%s: Feature %s: value %d out of range??? min = %d, max = %d", function, nameText.constData(),
                         value, min, max);
            const bool writable = GenApi::IsWritable(integer);
            if (isEnabled() != writable)
                setEnabled(writable);
            bool rangeSet = false;
            if (minimum() != min || maximum() != max || singleStep() != increment) {
                setRangeAndStep(min, max, increment);
                rangeSet = true;
            }
            if (this->value() != value || rangeSet)
                setValue(value);
            // 64 bits: the span of a full int32 range does not fit in 32.
            const long long span = std::llabs(static_cast<long long>(max) - min);
            setPageStep(static_cast<int>(qMin<long long>(orbelt_detail::pageStepFor(span, increment), 2147483647LL)));
        });
}

QVariant IntSliderEditor::editorData()
{
    return QVariant(value());
}
