// The common part of the camera settings panel's parameter models: names, bound node and node callback.
#pragma once

#include <GenApi/Node.h>
#include <GenApi/Value.h>
#include <nimbo/SafeNodePtr.h>

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVariant>

Q_DECLARE_METATYPE(GenApi::INode*)

// GUI thread: every member. The node callback runs in the thread that changed or polled the node;
// the models' own writes and the manager's poll come from the GUI thread.
class BaseParameterModel : public QObject {
    Q_OBJECT
public:
    BaseParameterModel(QString name, QString alternateName);
    ~BaseParameterModel() override;

    // Binds the model on the first call, then refreshes its control from the node.
    virtual void setNodeData(GenApi::INode* node) = 0;
    virtual QVariant value() const = 0;

    QString name() const { return m_name; }
    QString alternateName() const { return m_alternateName; }
    GenApi::INode* node() const { return m_pNode; }

    // Takes the node and attaches the node callback; false when the model was bound already.
    bool initMemberVariables(GenApi::INode* node);
    // The node callback: pulls a value that a range change left outside back to the nearest limit,
    // otherwise reports the change.
    void onUpdateNode(GenApi::INode* node);

signals:
    void modelUpdated(BaseParameterModel* item);

protected:
    bool m_initialized = false;
    QString m_name;
    QString m_alternateName;
    Nimbo::CSafeNodeRefPtr m_pNode;
    Nimbo::CSafeNodePtr<GenApi::IValue> m_pValue;
    GenApi::CallbackHandleType m_hCallback = 0;
    bool m_adjusting = false;
};

namespace parametermodel_detail {
// The node's name for a warning about a failure: empty when even the name cannot be had.
QByteArray nameForWarning(GenApi::INode* node);
} // namespace parametermodel_detail
