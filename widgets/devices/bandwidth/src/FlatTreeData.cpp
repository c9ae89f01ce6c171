// The flat model behind the bandwidth tree and its discovery of GigE and USB cameras.
#include "orbelt/FlatTreeData.h"

#include "orbelt/UsbTopologyHandle.h"

#include <brasko/Formatting.h>

#include <nimbo/Mivtrace.h>
#include <nimbo/NimboDevice.h>
#include <nimbo/TlFactory.h>

#include <gorsk/Topology.h>

#include <GenICam/CaughtException.h>

#include <QDebug>
#include <QNetworkInterface>

#include <algorithm>
#include <stdexcept>

namespace {

Mivtrace::CatID bandwidthTrace()
{
    static const Mivtrace::CatID category = Mivtrace::LogGetCatID("ardenmoor.Bandwidth");
    return category;
}

SampleData emptySample(const SampleData& previous)
{
    SampleData empty;
    empty.linkThroughputLimit = previous.linkThroughputLimit;
    return empty;
}

// Gives a transport layer back however the step that uses it ends, an exception included.
struct TransportLayerLease {
    TransportLayerLease(Nimbo::ITransportLayer* tl, const std::function<void(Nimbo::ITransportLayer*)>& release)
        : transportLayer(tl), m_release(release)
    {
    }
    ~TransportLayerLease()
    {
        if (!transportLayer)
            return;
        try {
            m_release(transportLayer);
        } catch (...) {
            // Only a release without its creation throws; the refresh's own error matters more.
        }
    }
    TransportLayerLease(const TransportLayerLease&) = delete;
    TransportLayerLease& operator=(const TransportLayerLease&) = delete;

    Nimbo::ITransportLayer* const transportLayer;

private:
    const std::function<void(Nimbo::ITransportLayer*)>& m_release;
};

const Gorsk::Property* property(Gorsk::INode* node, uint32_t id)
{
    Gorsk::INodeProperties* properties = node->GetProperties();
    return properties ? properties->GetById(id) : nullptr;
}

} // namespace

FlatTreeData::FlatTreeData()
    : createTransportLayer(
          [](const Nimbo::String_t& deviceClass) { return Nimbo::CTlFactory::GetInstance().CreateTl(deviceClass); }),
      releaseTransportLayer([](Nimbo::ITransportLayer* tl) { Nimbo::CTlFactory::GetInstance().ReleaseTl(tl); })
{
    reset();
}

FlatTreeData::~FlatTreeData() = default;

void FlatTreeData::reset()
{
    items.clear();
    FlatTreeItem root;
    root.displayName = QStringLiteral("Internal Error");
    items.push_back(root);
    topology.reset();
}

FlatTreeItem& FlatTreeData::item(FlatTreeItemID id)
{
    return items.at(id);
}

const FlatTreeItem& FlatTreeData::item(FlatTreeItemID id) const
{
    return items.at(id);
}

FlatTreeItemID FlatTreeData::addItem(const QString& id, const QString& displayName, FlatTreeItemID parent)
{
    for (FlatTreeItemID child : item(parent).children)
        if (items[child].id == id)
            return child;
    FlatTreeItem fresh;
    fresh.parent = parent;
    fresh.id = id;
    fresh.displayName = displayName;
    items.push_back(fresh);
    const FlatTreeItemID index = items.size() - 1;
    items[parent].children.push_back(index);
    return index;
}

FlatTreeItemID FlatTreeData::addCameraItem(const Nimbo::CDeviceInfo& info, FlatTreeItemID parent,
                                           MeasuringCameraList& list, const QVector<Nimbo::INimboDevice*>& preopened)
{
    const QString fullName = QString::fromLatin1(info.GetFullName().c_str());
    const FlatTreeItemID row = addItem(fullName, formatDeviceName(&info), parent);
    FlatTreeItem& camera = items[row];
    camera.isCamera = true;
    camera.deviceInfo = info;
    camera.camera = findMeasuringCamera(list, info);
    camera.preopenedDevice = nullptr;
    for (Nimbo::INimboDevice* device : preopened) {
        if (device && device->GetDeviceInfo().GetFullName() == info.GetFullName()) {
            camera.preopenedDevice = device;
            break;
        }
    }
    return row;
}

QString FlatTreeData::adapterName(const QString& address)
{
    for (const QNetworkInterface& netInterface : QNetworkInterface::allInterfaces())
        for (const QNetworkAddressEntry& entry : netInterface.addressEntries())
            if (entry.ip().toString() == address)
                return netInterface.humanReadableName();
    return QStringLiteral("Network Interface (") + address + QLatin1Char(')');
}

void FlatTreeData::refresh(MeasuringCameraList& list, const QVector<Nimbo::INimboDevice*>& preopened)
{
    reset();
    Nimbo::CTlFactory& factory = Nimbo::CTlFactory::GetInstance();
    Nimbo::TlInfoList tls;
    factory.EnumerateTls(tls);
    for (const Nimbo::CTlInfo& tl : tls) {
        const Nimbo::String_t deviceClass = tl.GetDeviceClass();
        if (std::find(usableDeviceClasses.begin(), usableDeviceClasses.end(), deviceClass) == usableDeviceClasses.end())
            continue;
        const TransportLayerLease lease(createTransportLayer(deviceClass), releaseTransportLayer);
        Nimbo::ITransportLayer* transportLayer = lease.transportLayer;
        if (!transportLayer)
            continue;
        Nimbo::DeviceInfoList devices;
        transportLayer->EnumerateDevices(devices, false);
        if (devices.empty())
            continue;
        const QString classText = QString::fromLatin1(deviceClass.c_str());
        const QString tlName = QString::fromUtf8(tl.GetFriendlyName().c_str());
        if (deviceClass == "VelmarGigE") {
            for (const Nimbo::CDeviceInfo& device : devices) {
                const FlatTreeItemID tlRow = addItem(classText, tlName, 0);
                const QString address = QString::fromLatin1(device.GetPropertyOrEmpty("Interface").c_str());
                const FlatTreeItemID adapterRow = addItem(address, adapterName(address), tlRow);
                items[adapterRow].isAdapter = true;
                items[adapterRow].isGigE = true;
                items[adapterRow].sample.bytesPerSecondSent = 0;
                const FlatTreeItemID camRow = addCameraItem(device, adapterRow, list, preopened);
                items[camRow].isGigE = true;
            }
        } else if (deviceClass == "VelmarUsb") {
            std::string message;
            if (topology) {
                if (!topology->topology || !topology->topology->Refresh()) {
                    UsbTopologyHandle::statusMessage(1, &message);
                    Mivtrace::LogTrace(bandwidthTrace(), 256, "Refreshing the USB topology failed: '%s'",
                                       message.c_str());
                }
                topology->refreshRoot(procLayer::View_Cameras);
            } else {
                topology.reset(new UsbTopologyHandle());
                topology->open(&topologyStatus, procLayer::View_Cameras, nullptr, 0, 0);
                if (topologyStatus != 0) {
                    UsbTopologyHandle::statusMessage(topologyStatus, &message);
                    Mivtrace::LogTrace(bandwidthTrace(), 256, "Failed to create USB topology information: '%s'",
                                       message.c_str());
                }
            }
            Gorsk::INode* root = topology->root;
            if (!root) {
                Mivtrace::LogTrace(bandwidthTrace(), 256, "Topology returned nullpointer as root node. Done here.");
                topology.reset();
                // The refresh ends here, as the stale-camera pass would drop the cameras still running.
                return;
            }
            const FlatTreeItemID usbRow = addItem(classText, tlName, 0);
            for (size_t i = 0; i < root->GetChildCount(); ++i)
                addUsbNode(root->GetChild(i), usbRow, devices, list, preopened);
        }
    }

    // Cameras that no row holds any more are gone from the SDK: close and drop them.
    const std::vector<CBandwidthMeasuringCamera*> cameras = list.cameras;
    for (CBandwidthMeasuringCamera* camera : cameras) {
        bool held = false;
        for (size_t i = 1; i < items.size() && !held; ++i)
            held = items[i].camera == camera;
        if (!held)
            removeMeasuringCamera(list, camera);
    }
}

void FlatTreeData::addUsbNode(Gorsk::INode* node, FlatTreeItemID parent, const Nimbo::DeviceInfoList& devices,
                              MeasuringCameraList& list, const QVector<Nimbo::INimboDevice*>& preopened)
{
    if (!node)
        return;
    const uint32_t kind = node->GetKind();
    if (kind == Gorsk::NodeKind_Uninitialized) {
        Mivtrace::LogTrace(bandwidthTrace(), 256, "Discovered uninitialized node in USB topology.");
        return;
    }
    if (kind == Gorsk::NodeKind_HostController || kind == Gorsk::NodeKind_RootHub || kind == Gorsk::NodeKind_Hub) {
        const Gorsk::Property* count = property(node, Gorsk::Property_NumberOfU3VDevices);
        if (!count || count->type != 2) {
            Mivtrace::LogTrace(bandwidthTrace(), 128,
                               "Discovered hub/controller without NUMBEROFU3VDEVICESOFSUBTREE property.");
            return;
        }
        if (count->int32Value <= 0)
            return;
        const QString name = QString::fromWCharArray(node->GetName() ? node->GetName() : L"");
        const FlatTreeItemID row = addItem(QString::fromWCharArray(node->GetId() ? node->GetId() : L""), name, parent);
        items[row].displayName = name;
        if (kind == Gorsk::NodeKind_HostController) {
            items[row].isAdapter = true;
            const Gorsk::Property* bandwidth = property(node, Gorsk::Property_Bandwidth);
            items[row].sample.bytesPerSecondSent = bandwidth ? bandwidth->uint64Value : 0;
        }
        for (size_t i = 0; i < node->GetChildCount(); ++i)
            addUsbNode(node->GetChild(i), row, devices, list, preopened);
        return;
    }
    if (kind != Gorsk::NodeKind_U3VDevice)
        return;
    const Gorsk::Property* path = property(node, Gorsk::Property_DeviceInstancePath);
    if (!path || path->type != 6 || !path->stringValue) {
        Mivtrace::LogTrace(bandwidthTrace(), 128, "Discovered U3V node %ls without device instance path property ",
                           node->GetName() ? node->GetName() : L"");
        return;
    }
    const QString instancePath = QString::fromWCharArray(path->stringValue);
    for (const Nimbo::CDeviceInfo& device : devices) {
        if (QString::fromLatin1(device.GetFullName().c_str()).compare(instancePath, Qt::CaseInsensitive) == 0) {
            addCameraItem(device, parent, list, preopened);
            return;
        }
    }
    Mivtrace::LogTrace(bandwidthTrace(), 64, "Failed to match discovered USB Device '%ls' to a Nimbo device",
                       path->stringValue);
}

bool FlatTreeData::enableCamera(FlatTreeItemID id, MeasuringCameraList& list)
{
    if (id >= items.size() || !items[id].isCamera)
        return false;
    FlatTreeItem& row = items[id];
    static const std::string couldNotStart = "Could not start grab.";
    bool result = false;
    bool createdHere = false;
    bool starting = false; // the grab was started here: its failure is this call's
    try {
        if (!row.camera) {
            row.camera = row.preopenedDevice ? wrapPreopenedDevice(list, row.preopenedDevice)
                                             : createMeasuringCamera(list, row.deviceInfo);
            createdHere = true;
            lastError.clear();
            result = true;
        }
        row.sample = emptySample(row.sample);
        if (row.camera && canStartGrab(*row.camera)) {
            row.sample = sample(*row.camera);
            result = true;
            if (list.measuring) {
                // A camera measuring already goes on as it is.
                if (!row.camera->isMeasuringGrab()) {
                    starting = true;
                    startGrab(*row.camera);
                }
                result = row.camera->isMeasuringGrab();
                if (!result)
                    lastError = couldNotStart;
            }
        }
    } catch (const std::exception&) {
        const char* reason = GenICam::CaughtException::Current().Description();
        qWarning().noquote() << QString::fromLatin1(row.deviceInfo.GetFullName().c_str()) << reason;
        lastError = reason;
        // A start that throws fails as one that does not, with the reason added.
        if (starting) {
            lastError = couldNotStart + ' ' + reason;
            result = false;
        }
    }
    // The row shows the camera switched off: the measuring camera made for it goes again.
    if (starting && !result && createdHere) {
        removeMeasuringCamera(list, row.camera);
        row.camera = nullptr;
        row.sample = emptySample(row.sample);
    }
    return result;
}

bool FlatTreeData::disableCamera(FlatTreeItemID id, MeasuringCameraList& list)
{
    if (id >= items.size() || !items[id].isCamera)
        return false;
    if (items[id].camera) {
        removeMeasuringCamera(list, items[id].camera);
        items[id].camera = nullptr;
    }
    // A camera switched on again counts afresh; the earlier counters must not linger in the row.
    items[id].sample = emptySample(items[id].sample);
    return true;
}

void FlatTreeData::resetSamples()
{
    for (FlatTreeItem& row : items)
        if (row.isCamera)
            row.sample = emptySample(row.sample);
}

void FlatTreeData::sampleAll()
{
    for (FlatTreeItem& row : items) {
        if (!row.isCamera || !row.camera)
            continue;
        try {
            row.sample = sample(*row.camera);
        } catch (...) {
            row.sample = emptySample(row.sample);
        }
    }
}

FlatTreeItemID FlatTreeData::findById(const QString& id) const
{
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].id == id)
            return i;
    return 0;
}
