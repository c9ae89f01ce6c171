// The slider editor of float nodes with an integer alias: the box shows the float, the slider the alias.
#pragma once

#include "orbelt/DoubleComboSlider.h"
#include "orbelt/FloatNodeEditor.h"

#include <GenApi/Integer.h>
#include <GenApi/Types.h>
#include <nimbo/SafeNodePtr.h>

namespace orbelt_detail {
class FloatEditing;
}

// GUI thread owns every member. The alias callback (onAliasNodeUpdate) runs in whichever thread
// changed the alias; it reads no member but the alias pointer and re-posts itself to the GUI thread.
class ORBELT_EXPORT FloatSliderEditor : public DoubleComboSlider,
                                        public orbelt_detail::FloatNodeEditor<FloatSliderEditor> {
    Q_OBJECT
public:
    explicit FloatSliderEditor(QWidget* parent);
    ~FloatSliderEditor() override;

    void setEditorData(GenApi::INode* node) override;
    // The clamped value, in place of the control's plain one.
    using FloatNodeEditor::value;

signals:
    void boxValueChanged();

protected slots:
    void onSpinBoxEditingFinished();
    void onSliderValueChanged(int val);
    void onAliasNodeUpdateImpl(GenApi::INode* pAlias);
    void updateToolTip() override;

protected:
    void onAliasNodeUpdate(GenApi::INode* node);

private:
    // The refresh shared with the other float editor uses the set-up and the step below.
    friend class orbelt_detail::FloatEditing;
    void setUpControls(GenApi::INode* node);
    int nodeIncrement();
    bool initMemberVariables(GenApi::INode* node);

    bool m_initialised = false;
    Nimbo::CSafeNodeRefPtr m_node;
    Nimbo::CSafeNodeRefPtr m_alias;
    Nimbo::CSafeIntegerPtr m_aliasInteger;
    GenApi::CallbackHandleType m_aliasCallback = 0;
};

extern template class orbelt_detail::FloatNodeEditor<FloatSliderEditor>;
