// Real cameras through Aravis: discovery into our device infos, device info of GigE and USB cameras,
// the switch for real discovery, and the lookups of the devices found.
#include "AravisPrivate.h"

#include "Gvcp.h"
#include "UsbDeviceIds.h"

#include <GenICam/GenericException.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <thread>
#include <tuple>

namespace Nimbo {
namespace aravis {

Mivtrace::CatID traceCategory()
{
    static const Mivtrace::CatID id = Mivtrace::LogGetCatID("Tesvar.RealCameras");
    return id;
}

// Aravis keeps its device lists in globals of its own; every call that touches them is serialised.
std::mutex& aravisMutex()
{
    static std::mutex m;
    return m;
}

std::string text(const char* s)
{
    return s ? s : "";
}

std::string errorText(GError* error)
{
    std::string t = error && error->message ? error->message : "unknown error";
    if (error)
        g_error_free(error);
    return t;
}

std::mutex g_knownMutex;
std::map<std::string, KnownDevice> g_known; // by full name

KnownDevice* knownByMacLocked(uint64_t mac)
{
    // A camera found again under another address or serial number has a new full name; the entry of
    // its old one may stay for a device object that still holds it.
    const std::string text = macText(mac);
    KnownDevice* found = nullptr;
    KnownDevice* twin = nullptr; // another camera of that address in the same discovery
    for (auto& entry : g_known) {
        if (!entry.second.gige || entry.second.info.GetMacAddress() != text.c_str())
            continue;
        if (!found || entry.second.discovery > found->discovery) {
            found = &entry.second;
            twin = nullptr;
        } else if (entry.second.discovery == found->discovery) {
            twin = &entry.second;
        }
    }
    if (!twin)
        return found;
    // Whichever were chosen, the settings might go to a camera the caller did not mean.
    Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning,
                       "Two cameras answer with the MAC address %s (at %s and at %s): settings by that address go to "
                       "neither.",
                       text.c_str(), found->ip.c_str(), twin->ip.c_str());
    return nullptr;
}

namespace {
std::mutex g_sysfsMutex;
std::string g_usbDevices = "/sys/bus/usb/devices";
std::string g_devRoot = "/dev";
} // namespace

void setUsbSysfs(const std::string& usbDevices, const std::string& devRoot)
{
    std::lock_guard<std::mutex> lock(g_sysfsMutex);
    g_usbDevices = usbDevices;
    g_devRoot = devRoot;
}

std::vector<UsbVisionDevice> scanUsbVisionDevices()
{
    std::string usbDevices, devRoot;
    {
        std::lock_guard<std::mutex> lock(g_sysfsMutex);
        usbDevices = g_usbDevices;
        devRoot = g_devRoot;
    }
    return usbVisionDevices(usbDevices, devRoot);
}

UsbAccess usbCameraAccess(const CDeviceInfo& info, std::string* why)
{
    const std::vector<UsbVisionDevice> devices = scanUsbVisionDevices();
    const std::string serial = info.GetSerialNumber().c_str();
    const UsbVisionDevice* device =
        findUsbVisionDevice(devices, serial, info.GetVendorName().c_str(), info.GetModelName().c_str());
    if (!device)
        device = findUsbVisionDevice(devices, serial, std::string(), std::string());
    if (!device) {
        if (why)
            why->clear();
        return UsbAccess::Free;
    }
    return usbAccess(*device, why);
}

namespace {

// The address of the local interface in whose network the camera sits, or an empty text.
std::string localInterfaceFor(uint32_t cameraIp)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return std::string();
    std::string found;
    for (ifaddrs* a = list; a && found.empty(); a = a->ifa_next) {
        if (!a->ifa_addr || !a->ifa_netmask || a->ifa_addr->sa_family != AF_INET)
            continue;
        const uint32_t addr = ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr);
        const uint32_t mask = ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr);
        if ((addr & mask) == (cameraIp & mask))
            found = dottedIp(addr);
    }
    freeifaddrs(list);
    return found;
}

// What Aravis' discovery tells of a GigE camera; taken under aravisMutex.
struct GigEListing {
    std::string deviceId, ip, vendor, model, serial, mac, manufacturerInfo;
};

GigEListing gigeListing(ArvInterface* iface, unsigned index)
{
    GigEListing l;
    l.deviceId = text(arv_interface_get_device_id(iface, index));
    l.ip = text(arv_interface_get_device_address(iface, index));
    l.vendor = text(arv_interface_get_device_vendor(iface, index));
    l.model = text(arv_interface_get_device_model(iface, index));
    l.serial = text(arv_interface_get_device_serial_nbr(iface, index));
    l.mac = text(arv_interface_get_device_physical_id(iface, index));
    l.mac.erase(std::remove(l.mac.begin(), l.mac.end(), ':'), l.mac.end());
    std::transform(l.mac.begin(), l.mac.end(), l.mac.begin(), ::toupper);
    l.manufacturerInfo = text(arv_interface_get_device_manufacturer_info(iface, index));
    return l;
}

std::string macOf(const std::vector<uint8_t>& block)
{
    char macText[13];
    std::snprintf(macText, sizeof macText, "%04X%08X", bigEndian32(block, gvbs::MacHigh) & 0xFFFF,
                  bigEndian32(block, gvbs::MacLow));
    return macText;
}

// The device info of a GigE camera from its listing and its bootstrap block (empty: it did not answer
// the read of it).
CDeviceInfo gigeInfo(GigEListing l, const std::vector<uint8_t>& block)
{
    CDeviceInfo info;
    info.SetTLType("GEV");
    info.SetAddress(l.ip.c_str());
    info.SetIpAddress(l.ip.c_str());
    info.SetPortNr("3956");
    info.SetManufacturerInfo(l.manufacturerInfo.c_str());
    // The bootstrap block holds what discovery does not hand on: names, version, network settings.
    if (!block.empty()) {
        const auto bs = [&block](uint32_t address, uint32_t length) { return bootstrapString(block, address, length); };
        if (!bs(gvbs::ManufacturerName, 32).empty())
            l.vendor = bs(gvbs::ManufacturerName, 32);
        if (!bs(gvbs::ModelName, 32).empty())
            l.model = bs(gvbs::ModelName, 32);
        if (!bs(gvbs::SerialNumber, 16).empty())
            l.serial = bs(gvbs::SerialNumber, 16);
        if (l.manufacturerInfo.empty())
            info.SetManufacturerInfo(bs(gvbs::ManufacturerInfo, 48).c_str());
        info.SetDeviceVersion(bs(gvbs::DeviceVersion, 32).c_str());
        info.SetUserDefinedName(bs(gvbs::UserDefinedName, 16).c_str());
        info.SetSubnetMask(dottedIp(bigEndian32(block, gvbs::CurrentSubnetMask)).c_str());
        info.SetDefaultGateway(dottedIp(bigEndian32(block, gvbs::CurrentGateway)).c_str());
        info.SetIpConfigOptions(std::to_string(bigEndian32(block, gvbs::IpConfigOptions) & 0x7).c_str());
        info.SetIpConfigCurrent(std::to_string(bigEndian32(block, gvbs::IpConfigCurrent) & 0x7).c_str());
        l.mac = macOf(block);
    }
    in_addr a{};
    if (inet_pton(AF_INET, l.ip.c_str(), &a) == 1)
        info.SetInterface(localInterfaceFor(ntohl(a.s_addr)).c_str());
    info.SetMacAddress(l.mac.c_str());
    info.SetVendorName(l.vendor.c_str());
    info.SetModelName(l.model.c_str());
    info.SetSerialNumber(l.serial.c_str());
    info.SetFullName((l.model + "#" + l.ip + ":3956#" + l.serial).c_str());
    info.SetInternalName(("gige:" + l.ip).c_str());
    return info;
}

// The GigE cameras Aravis lists, and those only the broadcast answers of discoverCameras show: the
// bootstrap blocks of the listed ones are read here, outside Aravis' lock.
std::vector<KnownDevice> gigeDevices(const std::vector<GigEListing>& listed,
                                     const std::vector<std::vector<uint8_t>>& answers)
{
    std::vector<KnownDevice> devices;
    std::set<std::string> macs;
    for (const GigEListing& l : listed) {
        std::vector<uint8_t> block;
        if (!readMemory(l.ip, 0, gvbs::IdentityEnd, block)) {
            block.clear();
            Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning,
                               "The camera at %s did not answer the read of its bootstrap registers.", l.ip.c_str());
        }
        KnownDevice d;
        d.gige = true;
        d.deviceId = l.deviceId;
        d.ip = l.ip;
        d.info = gigeInfo(l, block);
        macs.insert(d.info.GetMacAddress().c_str());
        devices.push_back(d);
    }
    for (const std::vector<uint8_t>& block : answers) {
        if (macs.count(macOf(block)))
            continue;
        GigEListing l;
        l.ip = dottedIp(bigEndian32(block, gvbs::CurrentIp));
        l.deviceId = l.ip;
        KnownDevice d;
        d.gige = true;
        d.deviceId = l.deviceId;
        d.ip = l.ip;
        d.info = gigeInfo(l, block);
        if (d.info.GetInterface().empty())
            d.unusable = "its address " + l.ip +
                         " lies outside the subnets of this computer's network adapters; give it one inside them "
                         "with ForceIp (by its MAC address " +
                         std::string(d.info.GetMacAddress().c_str()) + ")";
        devices.push_back(d);
    }
    return devices;
}

CDeviceInfo usbInfo(ArvInterface* iface, unsigned index)
{
    CDeviceInfo info;
    const std::string id = text(arv_interface_get_device_id(iface, index));
    info.SetTLType("U3V");
    info.SetVendorName(text(arv_interface_get_device_vendor(iface, index)).c_str());
    info.SetModelName(text(arv_interface_get_device_model(iface, index)).c_str());
    info.SetSerialNumber(text(arv_interface_get_device_serial_nbr(iface, index)).c_str());
    info.SetManufacturerInfo(text(arv_interface_get_device_manufacturer_info(iface, index)).c_str());
    info.SetGTLDeviceID(id.c_str());
    UsbIds ids;
    // The descriptor texts may differ from the names the camera gives itself; its serial number alone
    // is the fallback.
    const std::string serial = info.GetSerialNumber().c_str();
    if (usbDeviceIds(serial, info.GetVendorName().c_str(), info.GetModelName().c_str(), ids) ||
        usbDeviceIds(serial, std::string(), std::string(), ids)) {
        info.SetVendorId(ids.vendorId.c_str());
        info.SetProductId(ids.productId.c_str());
    }
    info.SetInternalName(("usb:" + text(arv_interface_get_device_physical_id(iface, index))).c_str());
    info.SetFullName(("usb#" + id).c_str());
    return info;
}

// The USB3 Vision cameras of sysfs that Aravis could not list because this user may not open them.
std::vector<KnownDevice> usbCamerasOutOfReach(const std::vector<KnownDevice>& listed)
{
    std::vector<KnownDevice> found;
    for (const UsbVisionDevice& d : scanUsbVisionDevices()) {
        if (std::any_of(listed.begin(), listed.end(), [&d](const KnownDevice& k) {
                return !d.serial.empty() && k.info.GetSerialNumber() == d.serial.c_str();
            }))
            continue;
        KnownDevice k;
        if (usbAccess(d, &k.unusable) != UsbAccess::NoPermission)
            continue;
        k.info.SetTLType("U3V");
        k.info.SetVendorName(d.manufacturer.c_str());
        k.info.SetModelName(d.product.c_str());
        k.info.SetSerialNumber(d.serial.c_str());
        k.info.SetVendorId(d.ids.vendorId.c_str());
        k.info.SetProductId(d.ids.productId.c_str());
        k.info.SetInternalName(("usb:" + d.name).c_str());
        // Named by its place in the USB tree as well: its serial number may be empty.
        k.info.SetFullName(("usb#" + d.name + "#" + d.serial).c_str());
        found.push_back(k);
    }
    return found;
}

std::set<std::string> g_reportedOutOfReach; // full names, under g_knownMutex
uint64_t g_discoveries = 0;                 // under g_knownMutex

} // namespace

bool asyncUsbTransfers(unsigned major, unsigned minor, unsigned micro)
{
    return std::make_tuple(major, minor, micro) >= std::make_tuple(0u, 8u, 28u);
}

bool realCamerasEnabled()
{
    const char* env = std::getenv("NIMBO_REAL_CAMERAS");
    if (!env)
        return true;
    std::string v = env;
    std::transform(v.begin(), v.end(), v.begin(), ::tolower);
    return !(v == "0" || v == "off" || v == "no" || v == "false");
}

std::vector<CDeviceInfo> discover(const std::string& deviceClass)
{
    std::vector<CDeviceInfo> found;
    if (!realCamerasEnabled())
        return found;
    const bool gige = deviceClass == "VelmarGigE";
    std::vector<KnownDevice> devices;
    std::vector<GigEListing> listed;
    // A camera outside every subnet of this host cannot route its answer back by unicast; it may
    // broadcast it, which only a socket bound to no address hears: a discovery of our own, beside
    // Aravis' and as long.
    std::vector<std::vector<uint8_t>> answers;
    std::thread broadcastDiscovery;
    if (gige)
        broadcastDiscovery = std::thread([&answers] { answers = discoverCameras(broadcastTargets(true)); });
    {
        std::lock_guard<std::mutex> lock(aravisMutex());
        ArvInterface* iface = gige ? arv_gv_interface_get_instance() : arv_uv_interface_get_instance();
        if (iface) {
            if (gige)
                arv_set_interface_flags("GigEVision", ARV_GV_INTERFACE_FLAGS_ALLOW_BROADCAST_DISCOVERY_ACK);
            arv_interface_update_device_list(iface);
            const unsigned n = arv_interface_get_n_devices(iface);
            for (unsigned i = 0; i < n; ++i) {
                if (gige) {
                    listed.push_back(gigeListing(iface, i));
                    continue;
                }
                KnownDevice d;
                d.asyncUsb =
                    asyncUsbTransfers(arv_get_major_version(), arv_get_minor_version(), arv_get_micro_version());
                d.deviceId = text(arv_interface_get_device_id(iface, i));
                d.info = usbInfo(iface, i);
                devices.push_back(d);
            }
        }
    }
    if (gige) {
        broadcastDiscovery.join();
        devices = gigeDevices(listed, answers);
    }
    // After the cameras Aravis lists, so that an automatic choice tries those first.
    if (!gige)
        for (KnownDevice& d : usbCamerasOutOfReach(devices))
            devices.push_back(d);
    std::lock_guard<std::mutex> lock(g_knownMutex);
    const uint64_t discovery = ++g_discoveries;
    int index = 0;
    for (KnownDevice& d : devices) {
        d.discovery = discovery;
        d.info.SetDeviceClass(deviceClass.c_str());
        d.info.SetFriendlyName(
            (d.info.GetVendorName() + " " + d.info.GetModelName() + " (" + d.info.GetSerialNumber() + ")").c_str());
        d.info.SetDeviceFactory("VelmarTLFactory");
        d.info.SetXMLSource("Device");
        d.info.SetDeviceIdx(std::to_string(index++).c_str());
        const std::string key = d.info.GetFullName().c_str();
        if (!d.unusable.empty() && g_reportedOutOfReach.insert(key).second) {
            if (d.gige)
                Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning,
                                   "The GigE Vision camera %s answered discovery, but %s.",
                                   d.info.GetFriendlyName().c_str(), d.unusable.c_str());
            else
                Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning,
                                   "The USB3 Vision camera %s is present, but %s: a udev rule must give access to its "
                                   "USB device (see \"Real cameras\" in the README), and the camera be plugged in "
                                   "again.",
                                   d.info.GetFriendlyName().c_str(), d.unusable.c_str());
        }
        auto it = g_known.find(key);
        if (it != g_known.end())
            d.camera = it->second.camera;
        g_known[key] = d;
        found.push_back(d.info);
    }
    // Cameras of this transport layer that are gone, or are found under another name now, are known
    // no more once no device object holds them.
    for (auto it = g_known.begin(); it != g_known.end();) {
        const bool stale = it->second.info.GetDeviceClass() == deviceClass.c_str() &&
                           it->second.discovery != discovery && it->second.camera.expired();
        it = stale ? g_known.erase(it) : std::next(it);
    }
    return found;
}

bool knows(const String_t& fullName, CDeviceInfo* info)
{
    std::lock_guard<std::mutex> lock(g_knownMutex);
    auto it = g_known.find(fullName.c_str());
    if (it == g_known.end())
        return false;
    if (info)
        *info = it->second.info;
    return true;
}

std::shared_ptr<DeviceBackend> createBackend(const String_t& fullName, CDeviceInfo* info)
{
    std::lock_guard<std::mutex> lock(g_knownMutex);
    auto it = g_known.find(fullName.c_str());
    if (it == g_known.end())
        return nullptr;
    if (!it->second.unusable.empty() && it->second.gige)
        GENICAM_THROW(GenICam::RuntimeException, "The camera %s cannot be opened: %s.",
                      it->second.info.GetFriendlyName().c_str(), it->second.unusable.c_str());
    if (!it->second.unusable.empty())
        GENICAM_THROW(GenICam::RuntimeException,
                      "The camera %s cannot be opened: %s. A udev rule gives access to its USB device (see \"Real "
                      "cameras\" in the README); plug the camera in again after adding it.",
                      it->second.info.GetFriendlyName().c_str(), it->second.unusable.c_str());
    auto camera = std::make_shared<AravisCamera>(it->second);
    it->second.camera = camera;
    if (info)
        *info = it->second.info;
    return camera;
}

bool accessible(const String_t& fullName)
{
    KnownDevice known;
    {
        std::lock_guard<std::mutex> lock(g_knownMutex);
        auto it = g_known.find(fullName.c_str());
        if (it == g_known.end())
            return false;
        known = it->second;
    }
    if (!known.unusable.empty())
        return false;
    const auto camera = known.camera.lock();
    if (camera && (camera->isOpen() || !camera->isPlugged()))
        return false;
    if (!known.gige)
        // A device object of this process that holds the camera's interfaces may open it.
        return (camera && camera->holdsDevice()) || usbCameraAccess(known.info) == UsbAccess::Free;
    // Another program holds the control channel.
    std::vector<uint8_t> ccp;
    if (!readMemory(known.ip, gvbs::ControlChannelPrivilege, 4, ccp))
        return false;
    return bigEndian32(ccp, 0) == 0;
}

} // namespace aravis
} // namespace Nimbo
