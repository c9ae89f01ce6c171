// USB ids from sysfs.
#include "UsbDeviceIds.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <fstream>

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

std::string hexId(std::string text)
{
    if (text.size() != 4 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return std::string();
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return text;
}

} // namespace

bool usbDeviceIds(const std::string& serial, const std::string& manufacturer, const std::string& product, UsbIds& ids,
                  const std::string& root)
{
    if (serial.empty())
        return false;
    DIR* dir = opendir(root.c_str());
    if (!dir)
        return false;
    bool found = false;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string folder = root + "/" + entry->d_name;
        if (attribute(folder, "serial") != serial)
            continue;
        if ((!manufacturer.empty() && attribute(folder, "manufacturer") != manufacturer) ||
            (!product.empty() && attribute(folder, "product") != product))
            continue;
        UsbIds candidate{hexId(attribute(folder, "idVendor")), hexId(attribute(folder, "idProduct"))};
        if (candidate.vendorId.empty() || candidate.productId.empty())
            continue;
        ids = candidate;
        found = true;
        break;
    }
    closedir(dir);
    return found;
}

} // namespace aravis
} // namespace Nimbo
