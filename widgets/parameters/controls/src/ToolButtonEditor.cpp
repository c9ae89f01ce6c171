// The editor of command nodes: a button that stays pressed until the command reports done.
#include "orbelt/ToolButtonEditor.h"

#include "LogGuard.h"
#include "NodeText.h"

ToolButtonEditor::ToolButtonEditor(QWidget* parent) : QToolButton(parent)
{
    setAutoRaise(false);
    setText(QStringLiteral("Execute"));
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setContentsMargins(0, 0, 0, 0);
}

void ToolButtonEditor::setEditorData(GenApi::INode* node)
{
    orbelt_detail::guarded(
        "ToolButtonEditor::setEditorData",
        [&] {
            return QStringLiteral("!! Failed to initialize button data for node %1").arg(orbelt_detail::nodeName(node));
        },
        [&] {
            if (!dynamic_cast<GenApi::ICommand*>(node))
                return;
            m_command = node;
            setChecked(!m_command->IsDone(true));
            const bool writable = GenApi::IsWritable(m_command.get());
            if (isEnabled() != writable)
                setEnabled(writable);
        });
}

QVariant ToolButtonEditor::editorData()
{
    const bool wasChecked = isChecked();
    orbelt_detail::guarded(
        "ToolButtonEditor::editorData", [] { return QStringLiteral("!! Failed to set button state"); },
        [&] {
            if (m_command)
                setChecked(!m_command->IsDone(true));
        });
    return wasChecked ? QVariant(QStringLiteral("1")) : QVariant();
}
