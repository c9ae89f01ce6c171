// A camera as a device object, over its device backend: open state, node maps, stream grabber, removal callbacks.
#pragma once

#include "CameraPort.h"
#include "RegisterPort.h"
#include "StreamGrabberImpl.h"

#include <nimbo/NimboDevice.h>
#include <nimbo/TransportLayerPlugin.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace Nimbo {

// Threads: operations from any thread, serialised by m_mutex; removal callbacks run on the SDK's
// event thread under m_callbackMutex (recursive, so that a callback may deregister itself). The node
// maps and plug-ins are made by the creating thread and destroyed by the destroying one.
class NimboDeviceImpl : public INimboDevice {
public:
    // Builds the node maps; throws GenICam exceptions when a description cannot be read.
    NimboDeviceImpl(std::shared_ptr<DeviceBackend> camera, const CDeviceInfo& info,
                    const GenICam::gcstring_vector& descriptions);
    ~NimboDeviceImpl() override;

    void Open(AccessModeSet mode) override;
    void Close() override;
    bool IsOpen() const override;
    AccessModeSet AccessMode() const override;
    const CDeviceInfo& GetDeviceInfo() const override { return m_info; }
    GenApi::INodeMap* GetNodeMap() override { return m_nodeMap; }
    GenApi::INodeMap* GetTLNodeMap() override { return m_tlNodeMap; }
    unsigned int GetNumStreamGrabberChannels() const override { return 1; }
    IStreamGrabber* GetStreamGrabber(unsigned int index) override;
    bool IsRemoved() const override { return m_removed.load(); }
    DeviceCallbackHandle RegisterRemovalCallback(DeviceRemovalCallback callback) override;
    bool DeregisterRemovalCallback(DeviceCallbackHandle handle) override;
    IDevicePlugin* GetDevicePlugin() const override { return m_devicePlugin; }

    // Plug-in wiring by the factory.
    void attachPlugin(ITransportLayerPlugin* owner, IDevicePlugin* plugin);
    // Destroys the plug-ins; the factory calls it before the device goes away.
    void releasePlugins();
    const std::shared_ptr<DeviceBackend>& camera() const { return m_camera; }
    // Deletes the device, or, when called from inside one of its own removal callbacks, as soon as
    // those have returned (so that the notice loop never runs on a deleted device).
    void destroy();

private:
    void onCameraRemoved();

    std::shared_ptr<DeviceBackend> m_camera;
    CDeviceInfo m_info;
    CameraPort m_port;
    RegisterPort m_tlPort;
    GenApi::INodeMap* m_nodeMap = nullptr;
    GenApi::INodeMap* m_tlNodeMap = nullptr;
    GenApi::INodeMap* m_sgNodeMap = nullptr;
    std::unique_ptr<StreamGrabberImpl> m_grabber;
    ITransportLayerPlugin* m_pluginOwner = nullptr;
    IDevicePlugin* m_devicePlugin = nullptr;

    mutable std::mutex m_mutex;
    bool m_open = false;
    AccessModeSet m_accessMode;
    std::atomic<bool> m_removed{false};
    int m_listener = 0;

    std::recursive_mutex m_callbackMutex;
    std::thread::id m_noticeThread; // the thread running the removal callbacks, under m_callbackMutex
    bool m_destroyAfterNotice = false;
    std::map<DeviceCallbackHandle, DeviceRemovalCallback> m_callbacks;
    DeviceCallbackHandle m_nextCallback = 1;
};

} // namespace Nimbo
