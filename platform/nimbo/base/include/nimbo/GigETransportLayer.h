// The GigE Vision transport layer ("VelmarGigE") with what only GigE cameras have: their network
// configuration. Reached by a cast of the transport layer CTlFactory::CreateTl("VelmarGigE") gives.
#pragma once

#include <nimbo/TransportLayer.h>

namespace Nimbo {

// Cameras are named by their MAC address: 12 hexadecimal digits, or six pairs separated by ':', '-'
// or ' '. Addresses are dotted IPv4 texts. Every function returns false when no camera of that MAC
// address was found by the last enumeration, when an argument is malformed, or when the camera
// refused or did not answer. Thread-safe.
class IGigETransportLayer : public ITransportLayer {
public:
    // Gives the camera an address until it restarts, also when it sits in another subnet than every
    // network adapter (it is reached by broadcast). Refused while the camera is open.
    virtual bool ForceIp(const String_t& macAddress, const String_t& ipAddress, const String_t& subnetMask,
                         const String_t& defaultGateway) = 0;
    // Makes the camera run its IP configuration again as at power-up: its persistent address when
    // that is enabled, else DHCP, else a link-local address. Refused while the camera is open.
    virtual bool RestartIpConfiguration(const String_t& macAddress) = 0;
    // Chooses how the camera configures itself at power-up; link-local addressing stays enabled.
    virtual bool ChangeIpConfiguration(const String_t& macAddress, bool enablePersistentIp, bool enableDhcp) = 0;
    // Stores the address the camera takes at power-up while its persistent IP is enabled.
    virtual bool SetPersistentIp(const String_t& macAddress, const String_t& ipAddress, const String_t& subnetMask,
                                 const String_t& defaultGateway) = 0;
    // Reads the stored address back; the configuration flags as in ChangeIpConfiguration.
    virtual bool GetPersistentIp(const String_t& macAddress, String_t& ipAddress, String_t& subnetMask,
                                 String_t& defaultGateway, bool* persistentIpEnabled = nullptr,
                                 bool* dhcpEnabled = nullptr) = 0;

protected:
    ~IGigETransportLayer() override = default;
};

} // namespace Nimbo
