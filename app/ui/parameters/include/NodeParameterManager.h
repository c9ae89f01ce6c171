// Owns the camera settings panel's parameter models, binds them to the camera's node map and polls it.
#pragma once

#include "BaseParameterModel.h"
#include "NodeEnumerationMappingLayer.h"

#include <GenApi/NodeMap.h>
#include <nimbo/SafeNodePtr.h>

#include <QList>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

// GUI thread: every member. Node callbacks raised by the poll run in the GUI thread too.
class NodeParameterManager : public QObject {
    Q_OBJECT
public:
    explicit NodeParameterManager(QObject* parent = nullptr);
    ~NodeParameterManager() override;

    // Takes the model over.
    void addModel(BaseParameterModel* model);
    // Binds the models through a mapping layer over nodeMap; ignored while a node map is bound. The
    // binding ends by itself when that node map is destroyed, so the next camera can be bound.
    void setNodeMap(GenApi::INodeMap* nodeMap);
    // The mapping layer over the bound node map; null when none is bound.
    GenApi::INodeMap* nodeMap() const;
    void setEnabled(bool on) { m_enabled = on; }
    void setPolling(bool on);
    int pollInterval() const { return m_pollInterval; }
    const QList<BaseParameterModel*>& models() const { return m_models; }

public slots:
    void onModelUpdated(BaseParameterModel* item);
    void onTimerPoll();
    void clearItems();

private:
    // Watches the camera's node map itself: a node map of our own (the layer) gets no destruction notice.
    Nimbo::CSafeNodeMapPtr m_nodeMap;
    std::unique_ptr<TesvarNodeTools::CNodeEnumerationMappingLayer> m_layer;
    // Layers of earlier cameras, kept until the models that may have been bound through them are gone.
    std::vector<std::unique_ptr<TesvarNodeTools::CNodeEnumerationMappingLayer>> m_retiredLayers;
    QList<BaseParameterModel*> m_models;
    int32_t m_pollInterval = 300;
    QTimer m_timer;
    bool m_polling = false;
    bool m_enabled = true;
};
