// The spin-box editor of float nodes: steps write the node at once, typed values go through the delegate.
#include "orbelt/FloatEditor.h"

#include "FloatEditing.h"
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

void FloatEditor::setEditorData(GenApi::INode* node)
{
    // Taken at every refresh: the refresh reads the node it is given.
    m_float = node;
    static const orbelt_detail::FloatEditorTexts texts = {
        "FloatEditor::setEditorData", "%s is called with non-float node", "Non-readable comboBox: %s", "floateditor",
        "The minimum value is larger than the to be set node value or the maximum value is smaller than the to be "
        "set node value!"};
    orbelt_detail::FloatEditing::refresh(*this, node, texts);
}

void FloatEditor::setUpControls(GenApi::INode* node)
{
    m_float = node;
    m_node = node;
    if (!m_float)
        throw GenICam::InvalidArgumentException("Dynamic cast on pNode has gone wrong!", "floateditor", __LINE__);
    m_initialised = true;
    initControls(m_float->GetMin(), m_float->GetMax(), m_float->GetValue(false, false), nodeIncrement());
}

double FloatEditor::nodeIncrement()
{
    return m_float->HasInc() ? m_float->GetInc() : 0.0;
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
    if (!m_float)
        return DoubleSpinBox::updateToolTip();
    // The notation follows the edit box's range, the increment is the box's own.
    orbelt_detail::FloatEditing::showToolTip(
        *this, [this] { return qMax(std::fabs(editBox()->maximum()), std::fabs(editBox()->minimum())); },
        [this] { return increment(); });
}

template class orbelt_detail::FloatNodeEditor<FloatEditor>;
