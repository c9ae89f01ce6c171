// The parameter models' common binding, node callback and range correction.
#include "BaseParameterModel.h"

#include <GenApi/Float.h>
#include <GenApi/Integer.h>
#include <GenApi/NodeCallback.h>
#include <GenICam/GenericException.h>
#include <orbelt/Helpers.h>

#include <QDebug>

namespace parametermodel_detail {
QByteArray nameForWarning(GenApi::INode* node)
{
    try {
        return node ? QByteArray(node->GetName().c_str()) : QByteArray();
    } catch (...) {
        return QByteArray();
    }
}
} // namespace parametermodel_detail

using parametermodel_detail::nameForWarning;

namespace {
// Brings a value a range change has left outside back to the nearer limit. `adjusting` is set before
// the write, whose own callback must stay silent.
template <class Number, class Value>
void clampToRange(Number* number, bool& adjusting)
{
    const Value value = number->GetValue(false, false);
    const Value min = number->GetMin();
    const Value max = number->GetMax();
    if (value < min) {
        adjusting = true;
        number->SetValue(min, true);
    } else if (value > max) {
        adjusting = true;
        number->SetValue(max, true);
    }
}
} // namespace

BaseParameterModel::BaseParameterModel(QString name, QString alternateName)
    : QObject(nullptr), m_name(std::move(name)), m_alternateName(std::move(alternateName))
{
    static const int registered = qRegisterMetaType<GenApi::INode*>("GenApi::INode*");
    Q_UNUSED(registered);
}

BaseParameterModel::~BaseParameterModel()
{
    // A handle whose node map is gone is unknown by now; Deregister then just says false.
    if (m_hCallback)
        GenApi::Deregister(m_hCallback);
}

bool BaseParameterModel::initMemberVariables(GenApi::INode* node)
{
    if (m_initialized)
        return false;
    if (node) {
        m_pValue = node;
        m_pNode = node;
        try {
            m_hCallback = GenApi::Register(node, *this, &BaseParameterModel::onUpdateNode, GenApi::cbPostInsideLock);
            if (!m_hCallback)
                throw RUNTIME_EXCEPTION("The node refused the callback");
        } catch (...) {
            qWarning("Failed to register callback");
            warnCurrentException("BaseParameterModel::initMemberVariables");
        }
    }
    return true;
}

void BaseParameterModel::onUpdateNode(GenApi::INode* node)
{
    if (!node || node != m_pNode.get() || m_adjusting)
        return;
    try {
        if (GenApi::IsWritable(node->GetAccessMode())) {
            if (auto* integer = dynamic_cast<GenApi::IInteger*>(node))
                clampToRange<GenApi::IInteger, int64_t>(integer, m_adjusting);
            else if (auto* floating = dynamic_cast<GenApi::IFloat*>(node))
                clampToRange<GenApi::IFloat, double>(floating, m_adjusting);
        }
    } catch (...) {
        qWarning("Failed to adjust a node: %s", nameForWarning(node).constData());
        warnCurrentException("BaseParameterModel::onUpdateNode");
    }
    if (!m_adjusting)
        emit modelUpdated(this);
    m_adjusting = false;
}
