// Device objects of the transport layers, whatever backend stands behind them.
#include "NimboDeviceImpl.h"

#include "emulation/CameraModel.h"

#include <GenApi/NodeMapFactory.h>
#include <GenICam/GenericException.h>

namespace Nimbo {

using namespace emulation;

NimboDeviceImpl::NimboDeviceImpl(std::shared_ptr<DeviceBackend> camera, const CDeviceInfo& info,
                                 const GenICam::gcstring_vector& descriptions)
    : m_camera(std::move(camera)), m_info(info), m_port(m_camera)
{
    const std::string deviceClass = m_camera->deviceClass();
    if (deviceClass == "VelmarGigE") {
        m_tlPort.define(tlreg::HeartbeatTimeout, 3000);
        m_tlPort.define(tlreg::ReadTimeout, 500);
        m_tlPort.define(tlreg::WriteTimeout, 500);
        m_tlPort.define(tlreg::CommandDuplicationEnable, 0);
        m_tlPort.define(tlreg::MaxRetryCountWrite, 3);
    } else {
        m_tlPort.define(tlreg::MaxTransferSize, 262144);
    }
    // What the backend carries to the camera goes there; the rest stays in the device's memory.
    std::weak_ptr<DeviceBackend> weakCamera = m_camera;
    m_tlPort.setHooks(
        [weakCamera](int64_t address, int64_t& value) {
            auto camera = weakCamera.lock();
            return camera && camera->readTransportRegister(address, value);
        },
        [weakCamera](int64_t address, int64_t value) {
            if (auto camera = weakCamera.lock())
                camera->writeTransportRegister(address, value);
            return true;
        });
    m_grabber.reset(new StreamGrabberImpl(m_camera));
    try {
        // The transport's own registers go below the camera's description: a node of the camera wins.
        GenICam::gcstring_vector merged = m_camera->transportDescriptions();
        merged.insert(merged.end(), descriptions.begin(), descriptions.end());
        m_nodeMap = GenApi::CreateNodeMap(m_camera->description(), merged, "Device");
        m_nodeMap->Connect(&m_port, "Device");
        m_camera->attachNodeMap(m_nodeMap);
        const std::map<std::string, std::string> fixed = m_camera->fixedSettings();
        m_tlNodeMap = GenApi::CreateNodeMap(
            transportLayerDescription(deviceClass, m_camera->minimumHeartbeatTimeout(), fixed).c_str(),
            GenICam::gcstring_vector(), "TransportLayer");
        m_tlNodeMap->Connect(&m_tlPort, "Device");
        m_sgNodeMap =
            GenApi::CreateNodeMap(streamGrabberDescription(deviceClass, m_camera->streamsPackets(), fixed).c_str(),
                                  GenICam::gcstring_vector(), "StreamGrabber");
        m_sgNodeMap->Connect(&m_grabber->port(), "Device");
        m_grabber->setNodeMap(m_sgNodeMap);
        m_grabber->setDeviceNodeMap(m_nodeMap);
    } catch (...) {
        m_camera->attachNodeMap(nullptr);
        GenApi::DestroyNodeMap(m_sgNodeMap);
        GenApi::DestroyNodeMap(m_tlNodeMap);
        GenApi::DestroyNodeMap(m_nodeMap);
        throw;
    }
    m_listener = m_camera->addRemovalListener([this] { onCameraRemoved(); });
    if (!m_camera->isPlugged())
        m_removed = true; // unplugged while being created; its notice went to no one
}

NimboDeviceImpl::~NimboDeviceImpl()
{
    // Waits for a removal notice in progress, so that no callback runs into a destroyed device.
    m_camera->removeRemovalListener(m_listener);
    {
        std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
        m_callbacks.clear();
    }
    try {
        Close();
    } catch (...) {
        // A removed camera may refuse the last register writes.
    }
    releasePlugins();
    m_grabber->setNodeMap(nullptr);
    m_grabber->setDeviceNodeMap(nullptr);
    m_grabber.reset();
    m_camera->attachNodeMap(nullptr);
    GenApi::DestroyNodeMap(m_sgNodeMap);
    GenApi::DestroyNodeMap(m_tlNodeMap);
    GenApi::DestroyNodeMap(m_nodeMap);
}

void NimboDeviceImpl::attachPlugin(ITransportLayerPlugin* owner, IDevicePlugin* plugin)
{
    m_pluginOwner = owner;
    m_devicePlugin = plugin;
    plugin->SetDevice(this);
    if (IStreamGrabberPlugin* sg = plugin->CreateStreamGrabberPlugin(m_grabber.get()))
        m_grabber->setPlugin(sg);
}

void NimboDeviceImpl::releasePlugins()
{
    if (!m_devicePlugin)
        return;
    if (IStreamGrabberPlugin* sg = m_grabber ? m_grabber->plugin() : nullptr) {
        m_grabber->setPlugin(nullptr);
        m_devicePlugin->DestroyStreamGrabberPlugin(sg);
    }
    m_pluginOwner->DestroyDevicePlugin(m_devicePlugin);
    m_devicePlugin = nullptr;
    m_pluginOwner = nullptr;
}

void NimboDeviceImpl::Open(AccessModeSet mode)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_open)
            return;
        if (m_removed)
            GENICAM_THROW(GenICam::RuntimeException, "Cannot open %s: the device has been removed.",
                          m_info.GetFriendlyName().c_str());
        std::string why;
        if (!m_camera->tryOpen(&why))
            GENICAM_THROW(GenICam::RuntimeException, "Cannot open %s: %s", m_info.GetFriendlyName().c_str(),
                          why.c_str());
        m_open = true;
        m_accessMode = mode;
    }
    if (m_devicePlugin)
        m_devicePlugin->OnDeviceOpened();
}

void NimboDeviceImpl::Close()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_open)
            return;
    }
    if (m_devicePlugin)
        m_devicePlugin->OnDeviceClosing();
    m_grabber->Close();
    std::lock_guard<std::mutex> lock(m_mutex);
    // A camera that went away and came back belongs to no one: only close what this device opened.
    if (!m_removed)
        m_camera->close();
    m_open = false;
    m_accessMode = AccessModeSet();
}

bool NimboDeviceImpl::IsOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open;
}

AccessModeSet NimboDeviceImpl::AccessMode() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_accessMode;
}

IStreamGrabber* NimboDeviceImpl::GetStreamGrabber(unsigned int index)
{
    return index == 0 ? m_grabber.get() : nullptr;
}

DeviceCallbackHandle NimboDeviceImpl::RegisterRemovalCallback(DeviceRemovalCallback callback)
{
    std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
    const DeviceCallbackHandle handle = m_nextCallback++;
    m_callbacks[handle] = std::move(callback);
    return handle;
}

bool NimboDeviceImpl::DeregisterRemovalCallback(DeviceCallbackHandle handle)
{
    std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
    return m_callbacks.erase(handle) != 0;
}

void NimboDeviceImpl::onCameraRemoved()
{
    if (m_removed.exchange(true))
        return;
    bool destroyNow = false;
    {
        std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
        m_noticeThread = std::this_thread::get_id();
        const auto callbacks = m_callbacks;
        for (const auto& c : callbacks) {
            if (m_destroyAfterNotice)
                break;
            if (m_callbacks.count(c.first) && c.second)
                c.second(this);
        }
        m_noticeThread = std::thread::id();
        destroyNow = m_destroyAfterNotice;
    }
    if (destroyNow)
        delete this;
}

void NimboDeviceImpl::destroy()
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_callbackMutex);
        if (m_noticeThread == std::this_thread::get_id()) {
            m_destroyAfterNotice = true;
            return;
        }
    }
    delete this;
}

} // namespace Nimbo
