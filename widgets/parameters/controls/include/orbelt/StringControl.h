// A line edit bound to a string-valued node.
#pragma once

#include "orbelt/Export.h"

#include <GenApi/Node.h>
#include <nimbo/SafeNodePtr.h>

#include <QLineEdit>

namespace NimboQt {

// GUI thread only. The node is given with setNode; editingFinished writes it.
class ORBELT_EXPORT StringControl : public QLineEdit {
    Q_OBJECT
public:
    explicit StringControl(QWidget* parent = nullptr);
    void setNode(GenApi::INode* node);

public slots:
    void updateWidget();
    void updateNode();

private:
    Nimbo::CSafeNodeRefPtr m_node;
};

} // namespace NimboQt
