// The spin-box editor of float nodes: steps write the node at once, typed values go through the delegate.
#pragma once

#include "orbelt/DoubleSpinBox.h"
#include "orbelt/FloatNodeEditor.h"

#include <nimbo/SafeNodePtr.h>

namespace orbelt_detail {
class FloatEditing;
}

// GUI thread only.
class ORBELT_EXPORT FloatEditor : public DoubleSpinBox, public orbelt_detail::FloatNodeEditor<FloatEditor> {
    Q_OBJECT
public:
    FloatEditor(QWidget* parent, GenApi::ERepresentation representation);

    void setEditorData(GenApi::INode* node) override;

signals:
    void boxValueChanged();

public slots:
    void onSpinBoxEditingFinished();
    void onSpinBoxStepTriggered(int steps);

protected slots:
    void updateToolTip() override;

private:
    // The refresh shared with the other float editor uses the set-up and the step below.
    friend class orbelt_detail::FloatEditing;
    void setUpControls(GenApi::INode* node);
    double nodeIncrement();

    Nimbo::CSafeNodeRefPtr m_node;
    bool m_initialised = false;
};

extern template class orbelt_detail::FloatNodeEditor<FloatEditor>;
