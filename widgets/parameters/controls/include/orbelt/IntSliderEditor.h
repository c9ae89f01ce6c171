// The slider editor of integer nodes.
#pragma once

#include "orbelt/AbstractItemEditor.h"
#include "orbelt/ComboSlider.h"

class ORBELT_EXPORT IntSliderEditor : public ComboSlider, public AbstractItemEditor {
    Q_OBJECT
public:
    explicit IntSliderEditor(QWidget* parent);
    void setEditorData(GenApi::INode* node) override;
    QVariant editorData() override;
};
