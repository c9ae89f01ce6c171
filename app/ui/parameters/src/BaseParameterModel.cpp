// The parameter models' common binding, node callback and range correction.
#include "BaseParameterModel.h"

#include <GenApi/Float.h>
#include <GenApi/Integer.h>
#include <GenApi/NodeCallback.h>
#include <GenICam/GenericException.h>
#include <orbelt/Helpers.h>

#include <QDebug>

namespace parametermodel_detail {
void warnCurrentException(const char* function)
{
    try {
        throw;
    } catch (const GenICam::GenericException& e) {
        qWarning().noquote().nospace() << function << ": " << e;
    } catch (const std::exception& e) {
        qWarning().noquote().nospace() << function << ": " << e;
    } catch (...) {
        qWarning("%s: Unspecified exception occurred.", function);
    }
}
} // namespace parametermodel_detail

using parametermodel_detail::warnCurrentException;

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
            if (auto* integer = dynamic_cast<GenApi::IInteger*>(node)) {
                const int64_t value = integer->GetValue(false, false);
                const int64_t min = integer->GetMin();
                const int64_t max = integer->GetMax();
                if (value < min) {
                    m_adjusting = true;
                    integer->SetValue(min, true);
                } else if (value > max) {
                    m_adjusting = true;
                    integer->SetValue(max, true);
                }
            } else if (auto* floating = dynamic_cast<GenApi::IFloat*>(node)) {
                const double value = floating->GetValue(false, false);
                const double min = floating->GetMin();
                const double max = floating->GetMax();
                if (value < min) {
                    m_adjusting = true;
                    floating->SetValue(min, true);
                } else if (value > max) {
                    m_adjusting = true;
                    floating->SetValue(max, true);
                }
            }
        }
    } catch (...) {
        QByteArray nodeName;
        try {
            nodeName = node->GetName().c_str();
        } catch (...) {
        }
        qWarning("Failed to adjust a node: %s", nodeName.constData());
        warnCurrentException("BaseParameterModel::onUpdateNode");
    }
    if (!m_adjusting)
        emit modelUpdated(this);
    m_adjusting = false;
}
