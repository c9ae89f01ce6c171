// A ComboSlider bound to an integer node.
#pragma once

#include "orbelt/ComboSlider.h"

#include <GenApi/Integer.h>
#include <nimbo/SafeNodePtr.h>

namespace NimboQt {

// GUI thread only. The node is given with setNode; updateWidget reads it back into the control.
class ORBELT_EXPORT IntSliderControl : public ComboSlider {
    Q_OBJECT
public:
    explicit IntSliderControl(QWidget* parent = nullptr);
    // Connects valueChanged to setNodeValue and shows the node.
    void setNode(GenApi::INode* node);

public slots:
    void updateWidget();
    void setNodeValue(int newVal);

private:
    Nimbo::CSafeIntegerPtr m_node;
    int m_lastValue = 0;
};

} // namespace NimboQt
