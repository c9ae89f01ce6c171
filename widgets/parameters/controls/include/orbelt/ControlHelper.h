// Announces that a node changed, so that the node-bound controls refresh themselves.
#pragma once

#include "orbelt/Export.h"

#include <QObject>

namespace NimboQt {

// GUI thread only: connect nodeUpdated to the updateWidget slots of the controls.
class ORBELT_EXPORT ControlHelper : public QObject {
    Q_OBJECT
public:
    explicit ControlHelper(QObject* parent = nullptr) : QObject(parent) {}

signals:
    void nodeUpdated();
};

} // namespace NimboQt
