// The spin-box editor of float nodes: steps write the node at once, typed values go through the delegate.
#pragma once

#include "orbelt/AbstractItemEditor.h"
#include "orbelt/DoubleSpinBox.h"

#include <GenApi/Float.h>
#include <nimbo/SafeNodePtr.h>

namespace orbelt_detail {
class FloatEditing;
}

// GUI thread only.
class ORBELT_EXPORT FloatEditor : public DoubleSpinBox, public AbstractItemEditor {
    Q_OBJECT
public:
    FloatEditor(QWidget* parent, GenApi::ERepresentation representation);

    void setEditorData(GenApi::INode* node) override;
    QVariant editorData() override;
    double value();

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
    double adjustRangeLimits(double value);

    Nimbo::CSafeFloatPtr m_float;
    Nimbo::CSafeNodeRefPtr m_node;
    bool m_initialised = false;
};
