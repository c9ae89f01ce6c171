// The refresh that both float editors run from setEditorData: the checks before it, the float node read
// and checked, and the edit box brought up to date.
#pragma once

#include "FloatRange.h"
#include "LogGuard.h"
#include "NodeText.h"
#include "orbelt/DoubleComboSlider.h"
#include "orbelt/FloatNodeEditor.h"

#include <GenApi/Float.h>
#include <GenApi/Types.h>
#include <GenICam/GenericException.h>

#include <QByteArray>
#include <QString>

#include <type_traits>

namespace orbelt_detail {

template <class Editor>
double FloatNodeEditor<Editor>::adjustRangeLimits(double value)
{
    static const QByteArray function = QByteArray(Editor::staticMetaObject.className()) + "::adjustRangeLimits";
    return clampToNode(function.constData(), m_float, value);
}

// What tells one editor's refreshes from the other's in the log.
struct FloatEditorTexts {
    const char* function;        // the editor's setEditorData
    const char* nonFloat;        // warning format, with the function
    const char* nonReadable;     // warning format, with the node's name
    const char* source;          // of the errors a refresh raises
    const char* valueOutOfRange; // error text for a value outside the node's own range
};

// A friend of both editors. Of an editor it uses, besides what its control base and its float node half
// (FloatNodeEditor: m_float, value()) offer:
//   m_initialised, set by the first refresh;
//   setUpControls(node): binds the node and sets the controls up from it, on the first refresh;
//   nodeIncrement(): the editor's step, the float's increment or its alias's, read after the value;
class FloatEditing {
public:
    // The tool tip of a bound editor, on the editor and each of its parts: the edit box's range and the
    // increment at the node's display precision, in general notation when largest (which the editor
    // takes from the box's range or the node's) passes 1e9. A reading that fails leaves the old tip.
    template <class Editor, class Largest, class Increment>
    static void showToolTip(Editor& editor, Largest largest, Increment increment)
    {
        guardedToolTip([&] {
            const int precision = clampToInt(editor.m_float->GetDisplayPrecision());
            const QString text = floatRangeToolTip(editor.editBox()->minimum(), editor.editBox()->maximum(), largest(),
                                                   increment(), precision, editor.locale());
            editor.editBox()->setToolTip(text);
            if constexpr (std::is_base_of<DoubleComboSlider, Editor>::value)
                editor.slider()->setToolTip(text);
            editor.setToolTip(text);
        });
    }

    template <class Editor>
    static void refresh(Editor& editor, GenApi::INode* node, const FloatEditorTexts& texts)
    {
        QString name;
        if (!mayRefresh(editor, node, texts, name))
            return;
        guarded(
            texts.function,
            [&] { return QStringLiteral("%1: Failed to update the float value editor comboBox!").arg(name); },
            [&] {
                if (!editor.m_initialised) {
                    editor.setUpControls(node);
                    editor.updateToolTip();
                }
                GenApi::IFloat* floatNode = editor.m_float.get();
                const bool writable = GenApi::IsWritable(floatNode);
                const double min = floatNode->GetMin();
                const double max = floatNode->GetMax();
                if (max < min)
                    throw GenICam::InvalidArgumentException("The minimum value is larger than the maximum value!",
                                                            texts.source, __LINE__);
                const double value = floatNode->GetValue(false, false);
                if (value < min || value > max)
                    throw GenICam::InvalidArgumentException(texts.valueOutOfRange, texts.source, __LINE__);
                const auto increment = editor.nodeIncrement();
                const int decimals = clampToInt(floatNode->GetDisplayPrecision());
                if (editor.isEnabled() != writable)
                    editor.setEnabled(writable);
                if (editor.editBox()->decimals() != decimals)
                    editor.setDecimals(decimals);
                const bool limitsChanged = editor.checkIfLimitsChanged(min, max, increment);
                if (limitsChanged) {
                    editor.setRangeStepAndIncrement(min, max, increment);
                    editor.updateToolTip();
                }
                if (value != editor.value() || limitsChanged)
                    editor.setValue(value);
            });
    }

private:
    // A float node that can be read, and no refresh while the user types unless one is expected (which it
    // then uses up). False when there is nothing to show; name is then the node's name.
    template <class Editor>
    static bool mayRefresh(Editor& editor, GenApi::INode* node, const FloatEditorTexts& texts, QString& name)
    {
        auto* floatNode = dynamic_cast<GenApi::IFloat*>(node);
        if (!floatNode) {
            qWarning(texts.nonFloat, texts.function);
            return false;
        }
        if (!guardedNodeName(texts.function, node, name))
            return false;
        if (!GenApi::IsReadable(floatNode)) {
            qWarning(texts.nonReadable, name.toLatin1().constData());
            return false;
        }
        if (editor.hasFocus()) {
            if (!editor.isUpdateExspected())
                return false;
            editor.enableUpdate(false);
        }
        return true;
    }
};

} // namespace orbelt_detail
