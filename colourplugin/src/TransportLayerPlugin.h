// The transport-layer plug-in object that the SDK's factory creates once per loaded module.
#pragma once

#include <nimbo/TransportLayerPlugin.h>

#include <atomic>
#include <cstdint>

namespace Huvane {

// Whether the plug-in serves a camera of that model: "qv" at the start, at least three characters, and
// not "ZRX" at the end.
bool isQualifyingModel(const GenICam::gcstring& modelName);

// Threads: the SDK calls it from whichever thread creates or destroys a device; the count is atomic.
class CTransportLayerPlugin : public Nimbo::ITransportLayerPlugin {
public:
    CTransportLayerPlugin() = default;
    ~CTransportLayerPlugin() override = default;

    Nimbo::IDevicePlugin* CreateDevicePlugin(const Nimbo::CDeviceInfo& info) override;
    void DestroyDevicePlugin(Nimbo::IDevicePlugin* plugin) override;
    void ContributeDescriptions(const Nimbo::CDeviceInfo& info, Nimbo::IDescriptionReceiver* receiver) override;
    void OnReserved() override {}

    // Device plug-ins created and not yet destroyed.
    int32_t devicePluginCount() const { return m_devicePlugins; }

private:
    std::atomic<int32_t> m_devicePlugins{0};
};

} // namespace Huvane
