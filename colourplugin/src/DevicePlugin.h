// The device plug-in: serves one qualifying device and creates its stream-grabber plug-ins.
#pragma once

#include <nimbo/TransportLayerPlugin.h>

#include <atomic>
#include <cstdint>

namespace Huvane {

// Threads: the SDK calls it from the threads that open, grab with and destroy the device; the device
// pointer is set once before any other call, the count is atomic.
class CDevicePlugin : public Nimbo::IDevicePlugin {
public:
    CDevicePlugin() = default;
    ~CDevicePlugin() override = default;

    void SetDevice(Nimbo::INimboDevice* device) override { m_device = device; }
    Nimbo::IStreamGrabberPlugin* CreateStreamGrabberPlugin(Nimbo::IStreamGrabber* grabber) override;
    void DestroyStreamGrabberPlugin(Nimbo::IStreamGrabberPlugin* plugin) override;
    void OnDeviceOpened() override {}
    GenApi::INodeMap* GetNodeMap() override;
    void OnDeviceClosing() override {}
    void OnReserved() override {}

    Nimbo::INimboDevice* device() const { return m_device; }
    int32_t streamGrabberPluginCount() const { return m_streamGrabberPlugins; }

private:
    std::atomic<int32_t> m_streamGrabberPlugins{0};
    Nimbo::INimboDevice* m_device = nullptr; // not owned
};

} // namespace Huvane
