// The editor of boolean nodes.
#include "orbelt/CheckBoxEditor.h"

#include "LogGuard.h"
#include "NodeText.h"

#include <GenApi/Boolean.h>
#include <GenApi/Pointer.h>

CheckBoxEditor::CheckBoxEditor(QWidget* parent) : QCheckBox(parent) {}

void CheckBoxEditor::setEditorData(GenApi::INode* node)
{
    orbelt_detail::guarded(
        "CheckBoxEditor::setEditorData",
        [&] {
            return QStringLiteral("!! Failed to initialize checkbox data for node %1")
                .arg(orbelt_detail::nodeName(node));
        },
        [&] {
            GenApi::CBooleanPtr boolean(node);
            if (!boolean)
                return;
            setChecked(boolean->GetValue(false, false));
            const bool writable = GenApi::IsWritable(boolean);
            if (isEnabled() != writable)
                setEnabled(writable);
        });
}

QVariant CheckBoxEditor::editorData()
{
    return QVariant(isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}
