// Real GigE Vision and USB3 Vision cameras through Aravis: discovery, and the device backend over
// one camera. Aravis serves as transport only (discovery, register access, the camera's own
// description, streams, heartbeat); features go through our node-map engine.
#pragma once

#include "../DeviceBackend.h"
#include "../GigEIpConfiguration.h"

#include <nimbo/DeviceInfo.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Nimbo {
namespace aravis {

// Discovery of real cameras: on unless NIMBO_REAL_CAMERAS is "0", "off", "no" or "false".
bool realCamerasEnabled();

// Devices of one transport layer ("VelmarGigE" or "VelmarUsb"); empty when discovery is off, when
// Aravis finds none, or when the transport cannot be used on this machine (never an error).
std::vector<CDeviceInfo> discover(const std::string& deviceClass);

// The backend of a device found by the last discovery; null when the full name is unknown.
// Throws a GenICam exception when the camera cannot be reached.
std::shared_ptr<DeviceBackend> createBackend(const String_t& fullName, CDeviceInfo* info);

// True when the full name belongs to a real camera found by discovery.
bool knows(const String_t& fullName, CDeviceInfo* info = nullptr);

// False when the camera is open in this process or another program holds its control channel.
bool accessible(const String_t& fullName);

// The network configuration of the real GigE cameras found by the last discovery, named by MAC
// address: the calls the emulated cameras answer too. nullopt when no such camera is known.
class GigENetwork {
public:
    // An all-zero address makes the camera run its IP configuration again.
    std::optional<bool> forceIp(uint64_t mac, const GigEAddress& address);
    std::optional<bool> setPersistentIp(uint64_t mac, const GigEAddress& address);
    std::optional<bool> setIpConfiguration(uint64_t mac, uint32_t configuration);
    std::optional<bool> ipConfiguration(uint64_t mac, GigEAddress& persistent, uint32_t& configuration);
};
GigENetwork& gigeNetwork();

} // namespace aravis
} // namespace Nimbo
