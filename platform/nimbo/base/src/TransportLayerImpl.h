// The two emulated transport layers.
#pragma once

#include <nimbo/TransportLayer.h>

namespace Nimbo {

class TlFactoryState;

// Threads: any; stateless apart from its info, devices are kept by the factory.
class TransportLayerImpl : public ITransportLayer {
public:
    TransportLayerImpl(CTlInfo info, TlFactoryState& factory) : m_info(std::move(info)), m_factory(factory) {}
    const CTlInfo& GetTlInfo() const override { return m_info; }
    int EnumerateDevices(DeviceInfoList_t& list, bool append) override;
    INimboDevice* CreateDevice(const CDeviceInfo& info, const GenICam::gcstring_vector& injected) override;
    void DestroyDevice(INimboDevice* device) override;
    bool IsDeviceAccessible(const CDeviceInfo& info, AccessModeSet mode) override;

private:
    CTlInfo m_info;
    TlFactoryState& m_factory;
};

} // namespace Nimbo
