// The check-box model of a boolean feature.
#include "BooleanParameterModel.h"

#include <GenICam/GenericException.h>
#include <orbelt/Helpers.h>

#include <QCheckBox>

using parametermodel_detail::nameForWarning;

BooleanParameterModel::BooleanParameterModel(QCheckBox* checkBox, QString name, QString alternateName)
    : BaseParameterModel(std::move(name), std::move(alternateName)), m_pCheckBox(checkBox)
{
    connect(m_pCheckBox, &QCheckBox::stateChanged, this, &BooleanParameterModel::onStateChanged);
    m_pCheckBox->setEnabled(false);
}

QVariant BooleanParameterModel::value() const
{
    return QString(m_pCheckBox->isChecked() ? "1" : "0");
}

void BooleanParameterModel::setCompanionWidget(QWidget* widget)
{
    m_pCompanion = widget;
    if (m_pCompanion)
        m_pCompanion->setEnabled(m_pCheckBox->isEnabled());
}

void BooleanParameterModel::setControlsEnabled(bool enabled)
{
    if (enabled == m_pCheckBox->isEnabled())
        return;
    m_pCheckBox->setEnabled(enabled);
    if (m_pCompanion)
        m_pCompanion->setEnabled(enabled);
}

void BooleanParameterModel::bind(GenApi::INode* node)
{
    m_pBoolean = node;
    if (!m_pBoolean) {
        throw INVALID_ARGUMENT_EXCEPTION("Dynamic cast on pNode has gone wrong!");
    }
    m_initialized = initMemberVariables(node);
}

void BooleanParameterModel::setNodeData(GenApi::INode* node)
{
    if (!node || !dynamic_cast<GenApi::IBoolean*>(node))
        return;
    try {
        if (!m_initialized)
            bind(node);
        // A node that cannot be read (one that became unavailable) has nothing to show or to set, as a
        // feature the camera lacks: the box waits disabled until the node can be read again, and the read
        // below says why.
        if (!GenApi::IsReadable(m_pBoolean->GetAccessMode()))
            setControlsEnabled(false);
        m_pCheckBox->setChecked(m_pBoolean->GetValue(false, false));
        setControlsEnabled(GenApi::IsWritable(m_pBoolean->GetAccessMode()));
    } catch (...) {
        qWarning("Failed to initialize checkbox data for node %s", nameForWarning(node).constData());
        warnCurrentException("BooleanParameterModel::setNodeData");
    }
}

void BooleanParameterModel::onStateChanged(int state)
{
    try {
        const bool target = state == Qt::Checked;
        if (m_pBoolean->GetValue(false, false) != target)
            m_pBoolean->SetValue(target, true);
    } catch (...) {
        qWarning("%s: Failed to set the node value on state changed signal!",
                 nameForWarning(m_pNode.get()).constData());
        warnCurrentException("BooleanParameterModel::onStateChanged");
    }
}
