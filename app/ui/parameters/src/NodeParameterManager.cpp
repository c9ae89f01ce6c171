// Binding of the parameter models by name and the 300 ms feature poll.
#include "NodeParameterManager.h"

#include <GenICam/GenericException.h>
#include <orbelt/Helpers.h>

NodeParameterManager::NodeParameterManager(QObject* parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &NodeParameterManager::onTimerPoll);
}

NodeParameterManager::~NodeParameterManager()
{
    if (m_polling)
        m_timer.stop();
    clearItems();
    m_nodeMap.Release();
}

void NodeParameterManager::addModel(BaseParameterModel* model)
{
    if (!model)
        return;
    m_models.append(model);
    connect(model, &BaseParameterModel::modelUpdated, this, &NodeParameterManager::onModelUpdated);
}

void NodeParameterManager::clearItems()
{
    while (!m_models.isEmpty())
        delete m_models.takeFirst();
    // No model can reach an earlier camera's wrappers any more.
    m_retiredLayers.clear();
}

GenApi::INodeMap* NodeParameterManager::nodeMap() const
{
    return m_nodeMap ? m_layer.get() : nullptr;
}

void NodeParameterManager::setNodeMap(GenApi::INodeMap* nodeMap)
{
    if (m_nodeMap || !nodeMap)
        return;
    // The previous camera's layer may still be reachable from models that were not cleared.
    if (m_layer)
        m_retiredLayers.push_back(std::move(m_layer));
    m_layer.reset(new TesvarNodeTools::CNodeEnumerationMappingLayer(nodeMap));
    m_nodeMap = nodeMap;
    for (BaseParameterModel* model : m_models) {
        GenApi::INode* node = m_layer->GetNode(model->name().toUtf8().constData());
        if (node && GenApi::IsAvailable(node->GetAccessMode())) {
            model->setNodeData(node);
            continue;
        }
        node = m_layer->GetNode(model->alternateName().toUtf8().constData());
        if (node && GenApi::IsAvailable(node->GetAccessMode()))
            model->setNodeData(node);
    }
}

void NodeParameterManager::setPolling(bool on)
{
    m_polling = on;
    if (on && !m_timer.isActive())
        m_timer.start(m_pollInterval);
}

void NodeParameterManager::onModelUpdated(BaseParameterModel* item)
{
    if (m_enabled && item)
        item->setNodeData(item->node());
}

void NodeParameterManager::onTimerPoll()
{
    if (!m_enabled)
        return;
    if (m_nodeMap && m_layer) {
        try {
            m_layer->Poll(m_pollInterval);
        } catch (...) {
            qWarning("Failed to run feature polling.");
            warnCurrentException("NodeParameterManager::onTimerPoll");
        }
    }
    if (m_polling)
        m_timer.start(m_pollInterval);
}
