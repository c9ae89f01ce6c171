// The line editor of integer nodes.
#pragma once

#include "orbelt/AbstractItemEditor.h"

#include <QLineEdit>

class ORBELT_EXPORT IntEditor : public QLineEdit, public AbstractItemEditor {
    Q_OBJECT
public:
    explicit IntEditor(QWidget* parent);
    void setEditorData(GenApi::INode* node) override;
    QVariant editorData() override;
};
