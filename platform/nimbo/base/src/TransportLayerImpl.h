// The two transport layers.
#pragma once

#include <nimbo/GigETransportLayer.h>
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

// The GigE transport layer: the common part, and the network configuration of emulated and real
// cameras alike. Threads: any.
class GigETransportLayerImpl : public IGigETransportLayer {
public:
    GigETransportLayerImpl(CTlInfo info, TlFactoryState& factory) : m_common(std::move(info), factory) {}
    const CTlInfo& GetTlInfo() const override { return m_common.GetTlInfo(); }
    int EnumerateDevices(DeviceInfoList_t& list, bool append) override
    {
        return m_common.EnumerateDevices(list, append);
    }
    INimboDevice* CreateDevice(const CDeviceInfo& info, const GenICam::gcstring_vector& injected) override
    {
        return m_common.CreateDevice(info, injected);
    }
    void DestroyDevice(INimboDevice* device) override { m_common.DestroyDevice(device); }
    bool IsDeviceAccessible(const CDeviceInfo& info, AccessModeSet mode) override
    {
        return m_common.IsDeviceAccessible(info, mode);
    }

    bool ForceIp(const String_t& macAddress, const String_t& ipAddress, const String_t& subnetMask,
                 const String_t& defaultGateway) override;
    bool RestartIpConfiguration(const String_t& macAddress) override;
    bool ChangeIpConfiguration(const String_t& macAddress, bool enablePersistentIp, bool enableDhcp) override;
    bool SetPersistentIp(const String_t& macAddress, const String_t& ipAddress, const String_t& subnetMask,
                         const String_t& defaultGateway) override;
    bool GetPersistentIp(const String_t& macAddress, String_t& ipAddress, String_t& subnetMask,
                         String_t& defaultGateway, bool* persistentIpEnabled, bool* dhcpEnabled) override;

private:
    TransportLayerImpl m_common;
};

} // namespace Nimbo
