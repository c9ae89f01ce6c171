// The spin-box editor of float nodes: steps write the node at once, typed values go through the delegate.
#include "orbelt/FloatEditor.h"

#include "FloatRange.h"
#include "LogGuard.h"
#include "NodeText.h"
#include "orbelt/SpinBox.h"

#include <QSlider>

FloatEditor::FloatEditor(QWidget* parent, GenApi::ERepresentation representation)
    : DoubleSpinBox(parent, representation)
{
    connect(editBox(), &QDoubleSpinBox::editingFinished, this, &FloatEditor::onSpinBoxEditingFinished);
    connect(editBox(), &NimboQtDoubleSpinBox::stepTriggered, this, &FloatEditor::onSpinBoxStepTriggered);
}

double FloatEditor::adjustRangeLimits(double value)
{
    return orbelt_detail::clampToNode("FloatEditor::adjustRangeLimits", m_float, value);
}

QVariant FloatEditor::editorData()
{
    return QVariant(value());
}

double FloatEditor::value()
{
    return adjustRangeLimits(editBox()->value());
}

void FloatEditor::setEditorData(GenApi::INode* node)
{
    static const char* const function = "FloatEditor::setEditorData";
    m_float = node;
    if (!m_float) {
        qWarning("%s is called with non-float node", function);
        return;
    }
    QString name;
    if (!orbelt_detail::guardedNodeName(function, node, name))
        return;
    if (!GenApi::IsReadable(m_float.get())) {
        qWarning("Non-readable comboBox: %s", name.toLatin1().constData());
        return;
    }
    // While the user types, only an expected update (after a step or an explicit release) is shown.
    if (hasFocus()) {
        if (!isUpdateExspected())
            return;
        enableUpdate(false);
    }
    orbelt_detail::guarded(
        function, [&] { return QStringLiteral("%1: Failed to update the float value editor comboBox!").arg(name); },
        [&] {
            if (!m_initialised) {
                m_float = node;
                m_node = node;
                if (!m_float)
                    throw GenICam::InvalidArgumentException("Dynamic cast on pNode has gone wrong!", "floateditor",
                                                            __LINE__);
                m_initialised = true;
                initControls(m_float->GetMin(), m_float->GetMax(), m_float->GetValue(false, false),
                             m_float->HasInc() ? m_float->GetInc() : 0.0);
                updateToolTip();
            }
            const bool writable = GenApi::IsWritable(m_float.get());
            const double min = m_float->GetMin();
            const double max = m_float->GetMax();
            if (max < min)
                throw GenICam::InvalidArgumentException("The minimum value is larger than the maximum value!",
                                                        "floateditor", __LINE__);
            const double value = m_float->GetValue(false, false);
            if (value < min || value > max)
                throw GenICam::InvalidArgumentException(
                    "The minimum value is larger than the to be set node value or the maximum value is smaller "
                    "than the to be set node value!",
                    "floateditor", __LINE__);
            const double increment = m_float->HasInc() ? m_float->GetInc() : 0.0;
            const int decimals = orbelt_detail::clampToInt(m_float->GetDisplayPrecision());
            if (isEnabled() != writable)
                setEnabled(writable);
            if (editBox()->decimals() != decimals)
                setDecimals(decimals);
            const bool limitsChanged = checkIfLimitsChanged(min, max, increment);
            if (limitsChanged) {
                setRangeStepAndIncrement(min, max, increment);
                updateToolTip();
            }
            if (value != adjustRangeLimits(editBox()->value()) || limitsChanged)
                setValue(value);
        });
}

void FloatEditor::onSpinBoxStepTriggered(int steps)
{
    if (increment() == 0.0)
        return;
    QString name;
    orbelt_detail::guarded(
        "FloatEditor::onSpinBoxStepTriggered",
        [&] {
            return QStringLiteral("%1: Failed to set the value for the float node on a spin box step triggered event!")
                .arg(orbelt_detail::nodeName(m_node.get()));
        },
        [&] {
            const double current = m_float->GetValue(false, false);
            enableUpdate(true);
            const double page = editBox()->pageStep();
            double target;
            if (steps == 10)
                target = current + page;
            else if (steps == -10)
                target = current - page;
            else
                target = current + steps * increment();
            m_float->SetValue(adjustRangeLimits(target), true);
        });
}

void FloatEditor::onSpinBoxEditingFinished()
{
    enableUpdate(true);
    if (orbelt_detail::userChangedValue(*editBox(), m_float))
        emit boxValueChanged();
}

void FloatEditor::updateToolTip()
{
    orbelt_detail::guardedToolTip([&] {
        if (!m_float) {
            DoubleSpinBox::updateToolTip();
            return;
        }
        const int precision = orbelt_detail::clampToInt(m_float->GetDisplayPrecision());
        const double largest = qMax(std::fabs(editBox()->maximum()), std::fabs(editBox()->minimum()));
        const QString text = orbelt_detail::floatRangeToolTip(editBox()->minimum(), editBox()->maximum(), largest,
                                                              nullptr, increment(), precision, locale());
        editBox()->setToolTip(text);
        setToolTip(text);
    });
}
