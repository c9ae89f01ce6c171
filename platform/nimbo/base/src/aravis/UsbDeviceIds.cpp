// USB3 Vision cameras in sysfs.
#include "UsbDeviceIds.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>

namespace Nimbo {
namespace aravis {

namespace {

// The first line of a sysfs attribute; empty when it cannot be read.
std::string attribute(const std::string& folder, const char* name)
{
    std::ifstream in(folder + "/" + name);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    return line;
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return text;
}

std::string hexId(std::string text)
{
    if (text.size() != 4 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return std::string();
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return text;
}

UsbIds idsOf(const std::string& folder)
{
    return UsbIds{hexId(attribute(folder, "idVendor")), hexId(attribute(folder, "idProduct"))};
}

// An empty manufacturer or product matches any.
bool textsMatch(const std::string& serial, const std::string& manufacturer, const std::string& product,
                const std::string& hasSerial, const std::string& hasManufacturer, const std::string& hasProduct)
{
    return !serial.empty() && hasSerial == serial && (manufacturer.empty() || hasManufacturer == manufacturer) &&
           (product.empty() || hasProduct == product);
}

std::vector<std::string> entries(const std::string& root)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(root.c_str())) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

bool usbDeviceIds(const std::string& serial, const std::string& manufacturer, const std::string& product, UsbIds& ids,
                  const std::string& root)
{
    for (const std::string& name : entries(root)) {
        const std::string folder = root + "/" + name;
        if (!textsMatch(serial, manufacturer, product, attribute(folder, "serial"), attribute(folder, "manufacturer"),
                        attribute(folder, "product")))
            continue;
        const UsbIds candidate = idsOf(folder);
        if (candidate.vendorId.empty() || candidate.productId.empty())
            continue;
        ids = candidate;
        return true;
    }
    return false;
}

std::vector<UsbVisionDevice> usbVisionDevices(const std::string& root, const std::string& devRoot)
{
    // Interfaces sit beside their devices, named "<device>:<configuration>.<interface>".
    std::map<std::string, bool> claimed; // USB3 Vision devices by name
    for (const std::string& name : entries(root)) {
        const auto colon = name.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string folder = root + "/" + name;
        if (lower(attribute(folder, "bInterfaceClass")) != "ef" ||
            lower(attribute(folder, "bInterfaceSubClass")) != "05")
            continue;
        // A program that claims an interface through usbfs binds it to the "usbfs" driver.
        struct stat link;
        const bool bound = lstat((folder + "/driver").c_str(), &link) == 0;
        claimed[name.substr(0, colon)] |= bound;
    }
    std::vector<UsbVisionDevice> devices;
    for (const auto& c : claimed) {
        const std::string folder = root + "/" + c.first;
        struct stat st;
        if (stat(folder.c_str(), &st) != 0)
            continue;
        UsbVisionDevice d;
        d.name = c.first;
        d.serial = attribute(folder, "serial");
        d.manufacturer = attribute(folder, "manufacturer");
        d.product = attribute(folder, "product");
        d.ids = idsOf(folder);
        d.claimed = c.second;
        const std::string bus = attribute(folder, "busnum"), number = attribute(folder, "devnum");
        char node[64] = "";
        if (!bus.empty() && !number.empty() && std::all_of(bus.begin(), bus.end(), ::isdigit) &&
            std::all_of(number.begin(), number.end(), ::isdigit) && bus.size() < 4 && number.size() < 4)
            std::snprintf(node, sizeof node, "/bus/usb/%03d/%03d", std::stoi(bus), std::stoi(number));
        if (node[0])
            d.node = devRoot + node;
        devices.push_back(d);
    }
    return devices;
}

const UsbVisionDevice* findUsbVisionDevice(const std::vector<UsbVisionDevice>& devices, const std::string& serial,
                                           const std::string& manufacturer, const std::string& product)
{
    for (const UsbVisionDevice& d : devices)
        if (textsMatch(serial, manufacturer, product, d.serial, d.manufacturer, d.product))
            return &d;
    return nullptr;
}

UsbAccess usbAccess(const UsbVisionDevice& device, std::string* why)
{
    const auto result = [why](UsbAccess access, const std::string& text) {
        if (why)
            *why = text;
        return access;
    };
    if (device.node.empty())
        return result(UsbAccess::NoPermission, "its USB device node is unknown");
    if (access(device.node.c_str(), R_OK | W_OK) != 0)
        return result(UsbAccess::NoPermission,
                      "this user may not read and write " + device.node + " (" + std::strerror(errno) + ")");
    if (device.claimed)
        return result(UsbAccess::InUse, "another program holds its USB interfaces");
    return result(UsbAccess::Free, std::string());
}

} // namespace aravis
} // namespace Nimbo
