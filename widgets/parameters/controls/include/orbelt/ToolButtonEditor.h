// The editor of command nodes: a button that stays pressed until the command reports done.
#pragma once

#include "orbelt/AbstractItemEditor.h"

#include <GenApi/Command.h>
#include <nimbo/SafeNodePtr.h>

#include <QToolButton>

class ORBELT_EXPORT ToolButtonEditor : public QToolButton, public AbstractItemEditor {
    Q_OBJECT
public:
    explicit ToolButtonEditor(QWidget* parent);
    void setEditorData(GenApi::INode* node) override;
    QVariant editorData() override;

private:
    Nimbo::CSafeCommandPtr m_command;
};
