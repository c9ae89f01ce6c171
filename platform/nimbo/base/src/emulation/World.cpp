// Parsing of the camera list and the device infos of the emulated cameras.
#include "World.h"

#include <nimbo/Mivtrace.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstdlib>
#include <sstream>

namespace Nimbo {
namespace emulation {
namespace {

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    if (!text.empty() && text.back() == separator)
        parts.emplace_back();
    return parts;
}

std::string trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

struct HostInterface {
    uint32_t address = 0x7F000001; // host order
    uint32_t mask = 0xFF000000;
};

// The first IPv4 interface that is up and not the loopback, else the loopback.
HostInterface hostInterface()
{
    HostInterface result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return result;
    for (ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET || !(it->ifa_flags & IFF_UP) ||
            (it->ifa_flags & IFF_LOOPBACK))
            continue;
        result.address = ntohl(reinterpret_cast<sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr);
        result.mask =
            it->ifa_netmask ? ntohl(reinterpret_cast<sockaddr_in*>(it->ifa_netmask)->sin_addr.s_addr) : 0xFFFFFF00;
        break;
    }
    freeifaddrs(list);
    return result;
}

Mivtrace::CatID traceCategory()
{
    static const Mivtrace::CatID id = Mivtrace::LogGetCatID("Tesvar.Emulation");
    return id;
}

// The address properties and the names that carry the address.
void applyAddress(CDeviceInfo& info, const std::string& modelName, const std::string& serial, const GigEAddress& a)
{
    info.SetAddress(dottedIp(a.ip).c_str());
    info.SetIpAddress(dottedIp(a.ip).c_str());
    info.SetSubnetMask(dottedIp(a.mask).c_str());
    info.SetDefaultGateway(dottedIp(a.gateway).c_str());
    info.SetFullName((modelName + "#" + dottedIp(a.ip) + ":3956#" + serial).c_str());
    info.SetInternalName(("gige:" + dottedIp(a.ip)).c_str());
}

GigEAddress addressOf(const CDeviceInfo& info)
{
    GigEAddress a;
    parseIp(info.GetIpAddress().c_str(), a.ip);
    parseIp(info.GetSubnetMask().c_str(), a.mask);
    parseIp(info.GetDefaultGateway().c_str(), a.gateway);
    return a;
}

void setCurrentAddress(EmulatedCamera& camera, const GigEAddress& a)
{
    camera.setIntValue("GevCurrentIPAddress", a.ip);
    camera.setIntValue("GevCurrentSubnetMask", a.mask);
    camera.setIntValue("GevCurrentDefaultGateway", a.gateway);
}

GigEAddress persistentAddress(const EmulatedCamera& camera)
{
    GigEAddress a;
    a.ip = static_cast<uint32_t>(camera.intValue("GevPersistentIPAddress"));
    a.mask = static_cast<uint32_t>(camera.intValue("GevPersistentSubnetMask"));
    a.gateway = static_cast<uint32_t>(camera.intValue("GevPersistentDefaultGateway"));
    return a;
}

uint32_t ipConfigurationOf(const EmulatedCamera& camera)
{
    return ipconfig::LinkLocal |
           (camera.intValue("GevCurrentIPConfigurationPersistentIP") != 0 ? ipconfig::PersistentIp : 0) |
           (camera.intValue("GevCurrentIPConfigurationDHCP") != 0 ? ipconfig::Dhcp : 0);
}

} // namespace

CDeviceInfo makeDeviceInfo(const EmulatedCamera& camera)
{
    const CameraModel& m = camera.model();
    CDeviceInfo info;
    info.SetDeviceClass(m.deviceClass.c_str());
    info.SetModelName(m.modelName.c_str());
    info.SetVendorName(m.vendorName.c_str());
    info.SetSerialNumber(camera.serial().c_str());
    info.SetFriendlyName((m.vendorName + " " + m.modelName + " (" + camera.serial() + ")").c_str());
    info.SetUserDefinedName("");
    info.SetDeviceVersion(m.deviceVersion.c_str());
    info.SetDeviceFactory("VelmarTLFactory");
    info.SetXMLSource("Device");
    info.SetDeviceIdx(std::to_string(camera.index()).c_str());
    if (m.transport == "usb") {
        info.SetTLType("U3V");
        info.SetVendorId("2676");
        info.SetProductId(m.productId.c_str());
        const std::string guid = "{" + m.productId + "-2676-4E00-8000-" + camera.serial() + "}";
        info.SetFullName(("\\\\?\\usb#vid_2676&pid_" + m.productId + "#" + camera.serial() + "#" + guid).c_str());
        info.SetDeviceGUID(guid.c_str());
        info.SetInternalName(("usb:" + camera.serial()).c_str());
        info.SetDriverKeyName(("{36fc9e60-c465-11cf-8056-444553540000}\\" + std::to_string(camera.index())).c_str());
        info.SetUsbDriverTypeName("Velmar USB driver");
        info.SetGTLInterfaceID("USB3 Host Controller");
        info.SetGTLDeviceID(camera.serial().c_str());
        info.SetManufacturerInfo("none");
    } else {
        const HostInterface host = hostInterface();
        // The camera sits in the interface's network; keep it off the interface's own address.
        uint32_t hostPart = (200u + static_cast<uint32_t>(camera.index())) & ~host.mask;
        if (hostPart == 0 || ((host.address & host.mask) | hostPart) == host.address)
            hostPart = (hostPart + 1) & ~host.mask;
        const uint32_t address = (host.address & host.mask) | hostPart;
        info.SetTLType("GEV");
        applyAddress(info, m.modelName, camera.serial(), {address, host.mask, (host.address & host.mask) | 1});
        info.SetInterface(dottedIp(host.address).c_str());
        info.SetMacAddress(
            macText(0x003053000000ull | (std::strtoull(camera.serial().c_str(), nullptr, 10) & 0xFFFFF)).c_str());
        info.SetIpConfigOptions("7");
        info.SetIpConfigCurrent("5");
        info.SetPortNr("3956");
    }
    return info;
}

World& World::instance()
{
    static World world;
    return world;
}

World::World() = default;

void World::ensureConfigured()
{
    if (m_configured)
        return;
    m_configured = true;
    const char* env = std::getenv("NIMBO_EMULATION");
    bool ok = true;
    m_cameras = build(env ? env : "", ok);
}

std::vector<CameraEntry> World::build(const std::string& cameraList, bool& ok)
{
    std::vector<CameraEntry> cameras;
    ok = true;
    const std::string entries = trim(cameraList);
    if (entries.empty()) {
        auto camera = std::make_shared<EmulatedCamera>(defaultModel("usb"), "21000001", 0);
        cameras.push_back({camera, makeDeviceInfo(*camera), {}});
    } else if (entries != "none") {
        int index = 0;
        for (const std::string& rawEntry : split(entries, ';')) {
            const std::string entry = trim(rawEntry);
            if (entry.empty())
                continue;
            const std::vector<std::string> fields = split(entry, ':');
            const std::string transport = fields.empty() ? "" : trim(fields[0]);
            if ((transport != "usb" && transport != "gige") || fields.size() < 2 || fields.size() > 3) {
                Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning, "Ignoring emulated camera '%s'.",
                                   entry.c_str());
                ok = false;
                continue;
            }
            auto model = findModel(trim(fields[1]));
            if (!model || model->transport != transport) {
                Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning,
                                   "Ignoring emulated camera '%s': no %s model of that name.", entry.c_str(),
                                   transport.c_str());
                ok = false;
                continue;
            }
            std::string serial = fields.size() == 3 ? trim(fields[2]) : std::to_string(21000001 + index);
            bool duplicate = serial.empty();
            for (const CameraEntry& e : cameras)
                duplicate = duplicate || e.camera->serial() == serial;
            if (duplicate) {
                Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning,
                                   "Ignoring emulated camera '%s': its serial number is empty or taken.",
                                   entry.c_str());
                ok = false;
                continue;
            }
            auto camera = std::make_shared<EmulatedCamera>(model, serial, index++);
            CameraEntry e{camera, makeDeviceInfo(*camera), {}};
            if (model->transport == "gige") {
                e.startup = addressOf(e.info);
                setCurrentAddress(*camera, e.startup);
            }
            cameras.push_back(e);
        }
    }
    return cameras;
}

bool World::configure(const std::string& cameraList)
{
    bool ok = true;
    std::vector<CameraEntry> cameras = build(cameraList, ok);
    std::vector<CameraEntry> previous;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_configured = true;
        previous.swap(m_cameras);
        m_cameras = std::move(cameras);
        m_enumerationFailures.clear();
    }
    // Devices still holding an old camera see it go away.
    for (CameraEntry& e : previous)
        e.camera->unplug();
    return ok;
}

void World::failEnumerations(const std::string& deviceClass, unsigned count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_enumerationFailures[deviceClass] = count;
}

bool World::takeEnumerationFailure(const std::string& deviceClass)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_enumerationFailures.find(deviceClass);
    if (it == m_enumerationFailures.end() || it->second == 0)
        return false;
    --it->second;
    return true;
}

std::vector<CameraEntry> World::plugged(const std::string& deviceClass)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ensureConfigured();
    std::vector<CameraEntry> result;
    for (const CameraEntry& e : m_cameras)
        if (e.camera->model().deviceClass == deviceClass && e.camera->isPlugged())
            result.push_back(e);
    return result;
}

std::shared_ptr<EmulatedCamera> World::find(const String_t& fullName, CDeviceInfo* info)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ensureConfigured();
    for (const CameraEntry& e : m_cameras)
        if (e.info.GetFullName() == fullName) {
            if (info)
                *info = e.info;
            return e.camera;
        }
    return nullptr;
}

std::shared_ptr<EmulatedCamera> World::findBySerial(const std::string& serial)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ensureConfigured();
    for (const CameraEntry& e : m_cameras)
        if (e.camera->serial() == serial)
            return e.camera;
    return nullptr;
}

std::vector<std::string> World::serials()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ensureConfigured();
    std::vector<std::string> result;
    for (const CameraEntry& e : m_cameras)
        result.push_back(e.camera->serial());
    return result;
}

CameraEntry* World::findByMacLocked(uint64_t mac)
{
    ensureConfigured();
    const std::string text = macText(mac);
    for (CameraEntry& e : m_cameras)
        if (e.camera->model().transport == "gige" && e.camera->isPlugged() && e.info.GetMacAddress() == text.c_str())
            return &e;
    return nullptr;
}

std::optional<bool> World::forceIp(uint64_t mac, const GigEAddress& address)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    CameraEntry* e = findByMacLocked(mac);
    if (!e)
        return std::nullopt;
    if (e->camera->isOpen())
        return false;
    GigEAddress next = address;
    if (address.ip == 0 && address.mask == 0 && address.gateway == 0) {
        const GigEAddress persistent = persistentAddress(*e->camera);
        next = (ipConfigurationOf(*e->camera) & ipconfig::PersistentIp) && persistent.ip != 0 ? persistent : e->startup;
    } else if (address.ip == 0 || address.mask == 0) {
        return false;
    }
    applyAddress(e->info, e->camera->model().modelName, e->camera->serial(), next);
    setCurrentAddress(*e->camera, next);
    return true;
}

std::optional<bool> World::setPersistentIp(uint64_t mac, const GigEAddress& address)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    CameraEntry* e = findByMacLocked(mac);
    if (!e)
        return std::nullopt;
    e->camera->setIntValue("GevPersistentIPAddress", address.ip);
    e->camera->setIntValue("GevPersistentSubnetMask", address.mask);
    e->camera->setIntValue("GevPersistentDefaultGateway", address.gateway);
    return true;
}

std::optional<bool> World::setIpConfiguration(uint64_t mac, uint32_t configuration)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    CameraEntry* e = findByMacLocked(mac);
    if (!e)
        return std::nullopt;
    e->camera->setIntValue("GevCurrentIPConfigurationPersistentIP", (configuration & ipconfig::PersistentIp) != 0);
    e->camera->setIntValue("GevCurrentIPConfigurationDHCP", (configuration & ipconfig::Dhcp) != 0);
    e->info.SetIpConfigCurrent(std::to_string(ipConfigurationOf(*e->camera)).c_str());
    return true;
}

std::optional<bool> World::ipConfiguration(uint64_t mac, GigEAddress& persistent, uint32_t& configuration)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    CameraEntry* e = findByMacLocked(mac);
    if (!e)
        return std::nullopt;
    persistent = persistentAddress(*e->camera);
    configuration = ipConfigurationOf(*e->camera);
    return true;
}

} // namespace emulation
} // namespace Nimbo
