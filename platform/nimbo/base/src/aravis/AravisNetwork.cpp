// The network configuration of real GigE cameras: force-IP by MAC address over GVCP, and the
// persistent address and configuration flags in the camera's bootstrap registers.
#include "AravisPrivate.h"

#include "Gvcp.h"

#include <cstdio>

namespace Nimbo {
namespace aravis {

namespace {

std::optional<KnownDevice> knownByMac(uint64_t mac)
{
    std::lock_guard<std::mutex> lock(g_knownMutex);
    if (const KnownDevice* known = knownByMacLocked(mac))
        return *known;
    return std::nullopt;
}

// Writes the registers in order through the control channel: the program's own when it has the
// camera open, else one taken for these writes alone. False when another program holds control.
bool writeRegisters(const KnownDevice& known, const std::vector<std::pair<uint32_t, uint32_t>>& registers)
{
    if (auto camera = known.camera.lock())
        if (camera->isOpen()) {
            bool ok = true;
            for (size_t i = 0; ok && i < registers.size(); ++i)
                ok = camera->writeWord(registers[i].first, registers[i].second);
            for (const auto& r : registers)
                camera->invalidateRegisters({r.first});
            return ok;
        }
    GError* error = nullptr;
    ArvDevice* device;
    {
        std::lock_guard<std::mutex> lock(aravisMutex());
        device = arv_open_device(known.ip.c_str(), &error);
    }
    if (!device) {
        Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning, "Cannot reach the camera at %s: %s",
                           known.ip.c_str(), errorText(error).c_str());
        return false;
    }
    bool ok = arv_gv_device_is_controller(ARV_GV_DEVICE(device));
    for (size_t i = 0; ok && i < registers.size(); ++i) {
        ok = arv_device_write_register(device, registers[i].first, registers[i].second, &error);
        if (!ok)
            Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning, "The camera at %s refused a write: %s",
                               known.ip.c_str(), errorText(error).c_str());
    }
    {
        // Releasing the device gives its control channel back.
        std::lock_guard<std::mutex> lock(aravisMutex());
        g_object_unref(device);
    }
    return ok;
}

} // namespace

std::optional<bool> GigENetwork::forceIp(uint64_t mac, const GigEAddress& address)
{
    const std::optional<KnownDevice> known = knownByMac(mac);
    if (!known)
        return std::nullopt;
    if (auto camera = known->camera.lock())
        if (camera->isOpen())
            return false;
    // Broadcast on every adapter reaches a camera in a foreign subnet, as discovery heard it (on this
    // host too, through the loopback interface); its last address reaches one behind a router.
    std::vector<GvcpTarget> targets = broadcastTargets(true);
    targets.push_back({known->ip, 0});
    const bool acknowledged = aravis::forceIp(targets, mac, address.ip, address.mask, address.gateway);
    if (acknowledged && address.ip != 0) {
        // Until the next discovery, calls by MAC address reach the camera at the address it has taken.
        std::lock_guard<std::mutex> lock(g_knownMutex);
        if (KnownDevice* moved = knownByMacLocked(mac)) {
            moved->ip = dottedIp(address.ip);
            moved->info.SetIpAddress(moved->ip.c_str());
            moved->info.SetSubnetMask(dottedIp(address.mask).c_str());
            moved->info.SetDefaultGateway(dottedIp(address.gateway).c_str());
        }
    }
    return acknowledged;
}

std::optional<bool> GigENetwork::setPersistentIp(uint64_t mac, const GigEAddress& address)
{
    const std::optional<KnownDevice> known = knownByMac(mac);
    if (!known)
        return std::nullopt;
    return writeRegisters(*known, {{gvbs::PersistentIp, address.ip},
                                   {gvbs::PersistentSubnetMask, address.mask},
                                   {gvbs::PersistentGateway, address.gateway}});
}

std::optional<bool> GigENetwork::setIpConfiguration(uint64_t mac, uint32_t configuration)
{
    const std::optional<KnownDevice> known = knownByMac(mac);
    if (!known)
        return std::nullopt;
    std::vector<uint8_t> current;
    if (!readMemory(known->ip, gvbs::IpConfigCurrent, 4, current))
        return false;
    // The register's other bits stay as the camera has them.
    const uint32_t methods = ipconfig::LinkLocal | ipconfig::Dhcp | ipconfig::PersistentIp;
    const uint32_t value = (bigEndian32(current, 0) & ~methods) | configuration | ipconfig::LinkLocal;
    return writeRegisters(*known, {{gvbs::IpConfigCurrent, value}});
}

std::optional<bool> GigENetwork::ipConfiguration(uint64_t mac, GigEAddress& persistent, uint32_t& configuration)
{
    const std::optional<KnownDevice> known = knownByMac(mac);
    if (!known)
        return std::nullopt;
    std::vector<uint8_t> config, addresses;
    // Reads need no control: they work while another program holds the camera.
    if (!readMemory(known->ip, gvbs::IpConfigCurrent, 4, config) ||
        !readMemory(known->ip, gvbs::PersistentIp, gvbs::PersistentGateway + 4 - gvbs::PersistentIp, addresses))
        return false;
    configuration = bigEndian32(config, 0) & (ipconfig::LinkLocal | ipconfig::Dhcp | ipconfig::PersistentIp);
    persistent.ip = bigEndian32(addresses, 0);
    persistent.mask = bigEndian32(addresses, gvbs::PersistentSubnetMask - gvbs::PersistentIp);
    persistent.gateway = bigEndian32(addresses, gvbs::PersistentGateway - gvbs::PersistentIp);
    return true;
}

GigENetwork& gigeNetwork()
{
    static GigENetwork network;
    return network;
}

} // namespace aravis
} // namespace Nimbo
