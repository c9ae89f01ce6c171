// The set of emulated cameras of the process, made from NIMBO_EMULATION or by the test control.
#pragma once

#include "../GigEIpConfiguration.h"
#include "EmulatedCamera.h"

#include <nimbo/DeviceInfo.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Nimbo {
namespace emulation {

struct CameraEntry {
    std::shared_ptr<EmulatedCamera> camera;
    CDeviceInfo info;
    // A GigE camera's address at start-up, which DHCP or link-local addressing give it again; the
    // rest of its network configuration is in its features.
    GigEAddress startup;
};

// Threads: any; m_cameras and m_enumerationFailures are guarded by m_mutex. Cameras themselves are
// thread-safe.
class World {
public:
    static World& instance();

    bool configure(const std::string& cameraList);
    // Cameras of one device class that are plugged in.
    std::vector<CameraEntry> plugged(const std::string& deviceClass);
    // The camera (plugged or not) of that full name; null when unknown.
    std::shared_ptr<EmulatedCamera> find(const String_t& fullName, CDeviceInfo* info = nullptr);
    std::shared_ptr<EmulatedCamera> findBySerial(const std::string& serial);
    std::vector<std::string> serials();

    // The next `count` device enumerations of the device class are to fail; configure() drops those left.
    void failEnumerations(const std::string& deviceClass, unsigned count);
    // True, and one fewer left, when this enumeration of the device class is to fail.
    bool takeEnumerationFailure(const std::string& deviceClass);

    // The network configuration of the GigE camera with that MAC address; nullopt when no emulated
    // camera has it. A force-IP with an all-zero address runs the camera's configuration again;
    // both are refused (false) while the camera is open.
    std::optional<bool> forceIp(uint64_t mac, const GigEAddress& address);
    std::optional<bool> setPersistentIp(uint64_t mac, const GigEAddress& address);
    std::optional<bool> setIpConfiguration(uint64_t mac, uint32_t configuration);
    std::optional<bool> ipConfiguration(uint64_t mac, GigEAddress& persistent, uint32_t& configuration);

private:
    World();
    void ensureConfigured();
    static std::vector<CameraEntry> build(const std::string& cameraList, bool& ok);
    CameraEntry* findByMacLocked(uint64_t mac);
    std::mutex m_mutex;
    bool m_configured = false;
    std::vector<CameraEntry> m_cameras;
    std::map<std::string, unsigned> m_enumerationFailures;
};

// The device info of a camera; GigE cameras are given an address in the network of a real local
// IPv4 interface.
CDeviceInfo makeDeviceInfo(const EmulatedCamera& camera);

} // namespace emulation
} // namespace Nimbo
