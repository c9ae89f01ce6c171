// The editor of enumeration nodes: a combo box of the entries the current visibility offers.
#pragma once

#include "orbelt/AbstractItemEditor.h"

#include <GenApi/Types.h>

#include <QComboBox>

// GUI thread only. The visibility belongs to the tree and is read on every refresh.
class ORBELT_EXPORT EnumEditor : public QComboBox, public AbstractItemEditor {
    Q_OBJECT
public:
    EnumEditor(QWidget* parent, GenApi::EVisibility* visibility);
    ~EnumEditor() override;

    void setEditorData(GenApi::INode* node) override;
    QVariant editorData() override;
    void showPopup() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool isPopupVisible() const { return m_popup != nullptr; }

protected:
    void addItem(GenApi::INode* entry);

private:
    QWidget* m_popup = nullptr;
    GenApi::EVisibility* m_visibility;
};
