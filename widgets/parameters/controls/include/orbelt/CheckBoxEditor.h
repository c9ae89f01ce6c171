// The editor of boolean nodes.
#pragma once

#include "orbelt/AbstractItemEditor.h"

#include <QCheckBox>

// GUI thread only, as are all value editors.
class ORBELT_EXPORT CheckBoxEditor : public QCheckBox, public AbstractItemEditor {
    Q_OBJECT
public:
    explicit CheckBoxEditor(QWidget* parent);
    void setEditorData(GenApi::INode* node) override;
    QVariant editorData() override;
};
