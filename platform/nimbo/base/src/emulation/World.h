// The set of emulated cameras of the process, made from NIMBO_EMULATION or by the test control.
#pragma once

#include "EmulatedCamera.h"

#include <nimbo/DeviceInfo.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Nimbo {
namespace emulation {

struct CameraEntry {
    std::shared_ptr<EmulatedCamera> camera;
    CDeviceInfo info;
};

// Threads: any; m_cameras is guarded by m_mutex. Cameras themselves are thread-safe.
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

private:
    World();
    void ensureConfigured();
    static std::vector<CameraEntry> build(const std::string& cameraList, bool& ok);
    std::mutex m_mutex;
    bool m_configured = false;
    std::vector<CameraEntry> m_cameras;
};

// The device info of a camera; GigE cameras are given an address in the network of a real local
// IPv4 interface.
CDeviceInfo makeDeviceInfo(const EmulatedCamera& camera);

} // namespace emulation
} // namespace Nimbo
