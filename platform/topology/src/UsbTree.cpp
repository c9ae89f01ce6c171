// The machine's USB tree: host controllers, hubs and devices from sysfs, the SDK's real USB cameras
// in the places sysfs shows them, and its emulated USB cameras under an emulated host controller.
#include "TopologyNode.h"

#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace Gorsk {
namespace detail {
namespace {

std::wstring widen(const std::string& text)
{
    // sysfs texts and the SDK's names are ASCII in practice; other bytes pass through one by one.
    return std::wstring(text.begin(), text.end());
}

std::string readLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

long readNumber(const fs::path& file, int base = 10, long fallback = 0)
{
    const std::string text = readLine(file);
    if (text.empty())
        return fallback;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, base);
    return end == text.c_str() ? fallback : value;
}

// Usable bytes per second of a link of `mbits`: USB 3 spends a fifth of the raw rate on coding.
uint64_t usableBytesPerSecond(long mbits)
{
    return mbits > 0 ? static_cast<uint64_t>(mbits) * 100000u : 0;
}

uint32_t functionKind(long interfaceClass)
{
    switch (interfaceClass) {
    case 0x01: return NodeKind_AudioFunction;
    case 0x02:
    case 0x0A: return NodeKind_CommunicationFunction;
    case 0x03: return NodeKind_HidFunction;
    case 0x08: return NodeKind_StorageFunction;
    case 0x0E: return NodeKind_VideoFunction;
    default: return NodeKind_OtherFunction;
    }
}

void describeDevice(Node& node, const fs::path& dir, const std::string& location)
{
    NodeProperties& p = node.properties();
    p.setString(Property_Location, widen(location));
    p.setString(Property_Manufacturer, widen(readLine(dir / "manufacturer")));
    p.setString(Property_Product, widen(readLine(dir / "product")));
    p.setInt32(Property_Speed, static_cast<int32_t>(readNumber(dir / "speed")));
}

std::wstring nameOf(const fs::path& dir, const char* fallback)
{
    const std::string product = readLine(dir / "product");
    return widen(product.empty() ? std::string(fallback) : product);
}

bool allOf(const std::string& text, const char* allowed)
{
    return !text.empty() && text.find_first_not_of(allowed) == std::string::npos;
}

bool isBus(const std::string& name)
{
    return name.compare(0, 3, "usb") == 0 && allOf(name.substr(3), "0123456789");
}

// "<bus>-<port>[.<port>...]"; the bus number goes to *bus.
bool isDevice(const std::string& name, std::string* bus)
{
    const size_t dash = name.find('-');
    if (dash == std::string::npos || !allOf(name.substr(0, dash), "0123456789") ||
        !allOf(name.substr(dash + 1), "0123456789."))
        return false;
    *bus = name.substr(0, dash);
    return true;
}

// "<device>:<configuration>.<interface>"; the device's name goes to *device.
bool isFunction(const std::string& name, std::string* device)
{
    const size_t colon = name.find(':');
    std::string bus;
    if (colon == std::string::npos || !isDevice(name.substr(0, colon), &bus) ||
        !allOf(name.substr(colon + 1), "0123456789."))
        return false;
    *device = name.substr(0, colon);
    return true;
}

struct SysfsReader {
    fs::path root;
    std::map<std::string, Node*> byLocation; // "1-2.3" and "usb1" to their nodes
    // The USB3 Vision functions, in the order read, with the folder of their device.
    std::vector<std::pair<Node*, fs::path>> cameras;

    void read(Node& top)
    {
        std::error_code error;
        if (!fs::is_directory(root, error))
            return;
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(root, error))
            names.push_back(entry.path().filename().string());
        // Parents before children: "1-2" sorts before "1-2.1" when sorted by length first.
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        std::string part;
        for (const std::string& name : names)
            if (isBus(name))
                addController(top, name);
        for (const std::string& name : names)
            if (isDevice(name, &part))
                addDevice(name, part);
        for (const std::string& name : names)
            if (isFunction(name, &part))
                addFunction(name, part);
    }

    void addController(Node& top, const std::string& name)
    {
        const fs::path dir = root / name;
        std::error_code error;
        // The controller is the device the root hub hangs on (a PCI function, usually).
        const fs::path controller = fs::canonical(dir, error).parent_path();
        const std::string controllerId = error ? name : controller.filename().string();
        Node* hc = top.addChild(NodeKind_HostController, nameOf(dir, "USB Host Controller"), widen(controllerId));
        const long speed = readNumber(dir / "speed");
        hc->properties().setString(Property_Description, widen(readLine(dir / "product")));
        hc->properties().setUInt64(Property_MaxBandwidth, static_cast<uint64_t>(std::max(speed, 0L)) * 125000u);
        hc->properties().setUInt64(Property_Bandwidth, usableBytesPerSecond(speed));
        Node* hub = hc->addChild(NodeKind_RootHub, L"USB Root Hub", widen(name));
        describeDevice(*hub, dir, name);
        hub->properties().setInt32(Property_HubPortCount, static_cast<int32_t>(readNumber(dir / "maxchild")));
        byLocation[readLine(dir / "busnum")] = hub;
        byLocation[name] = hub;
    }

    void addDevice(const std::string& name, const std::string& busNumber)
    {
        const fs::path dir = root / name;
        const size_t dot = name.rfind('.');
        auto parent = byLocation.find(dot == std::string::npos ? busNumber : name.substr(0, dot));
        if (parent == byLocation.end())
            return;
        const bool isHub = readNumber(dir / "bDeviceClass", 16) == 0x09;
        Node* node =
            parent->second->addChild(isHub ? NodeKind_Hub : NodeKind_Device, nameOf(dir, "USB Device"), widen(name));
        describeDevice(*node, dir, name);
        if (isHub)
            node->properties().setInt32(Property_HubPortCount, static_cast<int32_t>(readNumber(dir / "maxchild")));
        byLocation[name] = node;
    }

    void addFunction(const std::string& name, const std::string& deviceName)
    {
        auto device = byLocation.find(deviceName);
        if (device == byLocation.end() || device->second->GetKind() != NodeKind_Device)
            return;
        const fs::path dir = root / name;
        const long cls = readNumber(dir / "bInterfaceClass", 16);
        const long subclass = readNumber(dir / "bInterfaceSubClass", 16);
        std::string text = readLine(dir / "interface");
        if (cls == 0xEF && subclass == 0x05) {
            // A U3V device's control, event and streaming interfaces make one U3V function.
            for (const auto& child : device->second->children())
                if (child->GetKind() == NodeKind_U3VDevice)
                    return;
            Node* u3v = device->second->addChild(NodeKind_U3VDevice, device->second->GetName(), widen(name));
            u3v->properties().setString(Property_FunctionName, device->second->GetName());
            cameras.emplace_back(u3v, root / deviceName);
            return;
        }
        if (text.empty())
            text = "USB Interface";
        Node* f = device->second->addChild(functionKind(cls), widen(text), widen(name));
        f->properties().setString(Property_FunctionName, widen(text));
    }
};

// What the SDK tells of a USB3 Vision camera, on the node of its function; the bandwidth manager finds
// the camera by its full name there.
void describeCamera(NodeProperties& p, const Nimbo::CDeviceInfo& info, int32_t index)
{
    p.setString(Property_U3VVendor, widen(info.GetVendorName().c_str()));
    p.setString(Property_U3VModel, widen(info.GetModelName().c_str()));
    p.setString(Property_U3VSerial, widen(info.GetSerialNumber().c_str()));
    p.setString(Property_U3VVersion, widen(info.GetDeviceVersion().c_str()));
    p.setString(Property_U3VUserName, widen(info.GetUserDefinedName().c_str()));
    p.setInt32(Property_U3VDeviceIndex, index);
    p.setString(Property_DeviceInstancePath, widen(info.GetFullName().c_str()));
}

// The cameras of the SDK's USB transport layer (only that one: discovering GigE cameras broadcasts on
// the network, and they have no place here).
Nimbo::DeviceInfoList usbCameras()
{
    Nimbo::DeviceInfoList devices;
    Nimbo::ITransportLayer* usb = nullptr;
    try {
        usb = Nimbo::CTlFactory::GetInstance().CreateTl("VelmarUsb");
        if (usb)
            usb->EnumerateDevices(devices, false);
    } catch (...) {
        devices.clear(); // no SDK, no cameras
    }
    if (usb)
        Nimbo::CTlFactory::GetInstance().ReleaseTl(usb);
    return devices;
}

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return text;
}

// A real camera is the USB device the SDK names by its place in the USB tree (a camera this user may
// not open, which the SDK found in sysfs), else the device of the same vendor and product id and serial
// number, which two cameras may share: each function takes the first camera of the SDK's list that
// matches, in the order sysfs shows them.
void placeRealCameras(const std::vector<std::pair<Node*, fs::path>>& functions,
                      const std::vector<const Nimbo::CDeviceInfo*>& cameras)
{
    std::vector<bool> placed(cameras.size(), false);
    std::vector<const Nimbo::CDeviceInfo*> chosen(functions.size(), nullptr);
    const auto match = [&](bool byPlace) {
        for (size_t f = 0; f < functions.size(); ++f) {
            if (chosen[f])
                continue;
            const fs::path& dir = functions[f].second;
            const std::string place = "usb:" + dir.filename().string();
            const std::string vendor = upper(readLine(dir / "idVendor")), product = upper(readLine(dir / "idProduct"));
            const std::string serial = readLine(dir / "serial");
            for (size_t i = 0; i < cameras.size(); ++i) {
                const Nimbo::CDeviceInfo& info = *cameras[i];
                const bool matches = byPlace ? info.GetInternalName() == place.c_str()
                                             : !vendor.empty() && upper(info.GetVendorId().c_str()) == vendor &&
                                                   upper(info.GetProductId().c_str()) == product &&
                                                   serial == info.GetSerialNumber().c_str();
                if (placed[i] || !matches)
                    continue;
                placed[i] = true;
                chosen[f] = &info;
                break;
            }
        }
    };
    match(true);
    match(false);
    int32_t index = 0;
    for (size_t f = 0; f < functions.size(); ++f)
        if (chosen[f])
            describeCamera(functions[f].first->properties(), *chosen[f], index++);
}

void addEmulatedCameras(Node& top, const std::vector<const Nimbo::CDeviceInfo*>& usb)
{
    if (usb.empty())
        return;
    Node* hc = top.addChild(NodeKind_HostController, L"Emulated USB 3.0 eXtensible Host Controller", L"emulated-xhci");
    hc->properties().setString(Property_Description, L"Emulated USB 3.0 eXtensible Host Controller");
    hc->properties().setUInt64(Property_MaxBandwidth, 625000000u);
    hc->properties().setUInt64(Property_Bandwidth, usableBytesPerSecond(5000));
    Node* hub = hc->addChild(NodeKind_RootHub, L"USB Root Hub", L"emulated-usb");
    hub->properties().setInt32(Property_HubPortCount, static_cast<int32_t>(usb.size()));
    hub->properties().setInt32(Property_Speed, 5000);
    int port = 1;
    for (const Nimbo::CDeviceInfo* info : usb) {
        const std::string location = "emulated-" + std::to_string(port);
        const std::wstring name = widen(info->GetVendorName().c_str()) + L" " + widen(info->GetModelName().c_str());
        Node* device = hub->addChild(NodeKind_Device, name, widen(location));
        device->properties().setString(Property_Location, widen(location));
        device->properties().setString(Property_Manufacturer, widen(info->GetVendorName().c_str()));
        device->properties().setString(Property_Product, widen(info->GetModelName().c_str()));
        device->properties().setInt32(Property_Speed, 5000);
        Node* u3v = device->addChild(NodeKind_U3VDevice, name, widen(location + ":1.0"));
        u3v->properties().setString(Property_FunctionName, name);
        describeCamera(u3v->properties(), *info, port - 1);
        ++port;
    }
}

} // namespace

void readMachineTree(Node& top)
{
    const char* override = std::getenv("NIMBO_TOPOLOGY_SYSFS");
    SysfsReader reader;
    reader.root = override && *override ? fs::path(override) : fs::path("/sys/bus/usb/devices");
    reader.read(top);
    const Nimbo::DeviceInfoList cameras = usbCameras();
    const std::vector<std::string> serials = Nimbo::Emulation::SerialNumbers();
    const std::set<std::string> emulatedSerials(serials.begin(), serials.end());
    std::vector<const Nimbo::CDeviceInfo*> real, emulated;
    for (const Nimbo::CDeviceInfo& info : cameras)
        (emulatedSerials.count(info.GetSerialNumber().c_str()) ? emulated : real).push_back(&info);
    placeRealCameras(reader.cameras, real);
    addEmulatedCameras(top, emulated);
}

} // namespace detail
} // namespace Gorsk
