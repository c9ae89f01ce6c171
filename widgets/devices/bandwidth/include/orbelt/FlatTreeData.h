// The flat model behind the bandwidth tree: transport layers, adapters or hubs and their cameras.
#pragma once

#include "orbelt/BandwidthMeasuringCamera.h"
#include "orbelt/Export.h"

#include <nimbo/DeviceInfo.h>

#include <GenICam/gcstring_vector.h>

#include <QString>
#include <QVector>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
struct UsbTopologyHandle;
namespace Gorsk {
class INode;
}
namespace Nimbo {
class INimboDevice;
class ITransportLayer;
} // namespace Nimbo

// Index into FlatTreeData::items; 0 is the hidden root.
using FlatTreeItemID = uint64_t;

struct ORBELT_EXPORT FlatTreeItem {
    FlatTreeItemID parent = 0;
    QString id;
    QString displayName;
    std::vector<FlatTreeItemID> children;
    SampleData sample;
    CBandwidthMeasuringCamera* camera = nullptr; // not owned; the camera list owns it
    bool isAdapter = false;
    bool isCamera = false;
    bool isGigE = false;
    Nimbo::CDeviceInfo deviceInfo;
    QTreeWidgetItem* treeItem = nullptr;
    Nimbo::INimboDevice* preopenedDevice = nullptr;
    QWidget* limitEditor = nullptr;
};

// GUI thread only.
struct ORBELT_EXPORT FlatTreeData {
    FlatTreeData();
    ~FlatTreeData();
    FlatTreeData(const FlatTreeData&) = delete;
    FlatTreeData& operator=(const FlatTreeData&) = delete;

    void reset();
    FlatTreeItemID addItem(const QString& id, const QString& displayName, FlatTreeItemID parent);
    FlatTreeItemID addCameraItem(const Nimbo::CDeviceInfo& info, FlatTreeItemID parent, MeasuringCameraList& list,
                                 const QVector<Nimbo::INimboDevice*>& preopened);
    void refresh(MeasuringCameraList& list, const QVector<Nimbo::INimboDevice*>& preopened);
    bool enableCamera(FlatTreeItemID id, MeasuringCameraList& list);
    bool disableCamera(FlatTreeItemID id, MeasuringCameraList& list);
    void resetSamples();
    void sampleAll();
    FlatTreeItemID findById(const QString& id) const;
    FlatTreeItem& item(FlatTreeItemID id);
    const FlatTreeItem& item(FlatTreeItemID id) const;
    void setUsableDeviceClasses(const GenICam::gcstring_vector& classes) { usableDeviceClasses = classes; }

    // The host interface's name for the address, else "Network Interface (<address>)".
    static QString adapterName(const QString& address);

    // Where refresh() takes its transport layers from and gives them back to: the SDK's factory, unless
    // a test puts in its own.
    std::function<Nimbo::ITransportLayer*(const Nimbo::String_t& deviceClass)> createTransportLayer;
    std::function<void(Nimbo::ITransportLayer*)> releaseTransportLayer;

    std::vector<FlatTreeItem> items;
    std::unique_ptr<UsbTopologyHandle> topology;
    uint32_t topologyStatus = 0;
    std::string lastError;
    GenICam::gcstring_vector usableDeviceClasses;

private:
    void addUsbNode(Gorsk::INode* node, FlatTreeItemID parent, const Nimbo::DeviceInfoList& devices,
                    MeasuringCameraList& list, const QVector<Nimbo::INimboDevice*>& preopened);
};
