// USB3 Vision cameras as the kernel's sysfs tree shows them: the vendor and product ids Aravis' device
// list does not carry, the cameras Aravis cannot list because this user may not open them, and whether
// a program holds a camera's interfaces.
#pragma once

#include <string>
#include <vector>

namespace Nimbo {
namespace aravis {

struct UsbIds {
    std::string vendorId, productId; // four hexadecimal digits each, upper case
};

// The ids of the USB device in the sysfs tree at `root` whose serial number, manufacturer and
// product texts read as given (an empty manufacturer or product matches any); false when none does.
bool usbDeviceIds(const std::string& serial, const std::string& manufacturer, const std::string& product, UsbIds& ids,
                  const std::string& root = "/sys/bus/usb/devices");

// A USB device with an interface of class EF, subclass 05 (USB3 Vision).
struct UsbVisionDevice {
    std::string name; // in sysfs, e.g. "2-1"
    std::string serial, manufacturer, product;
    UsbIds ids;
    std::string node;     // the device node a program opens, e.g. "/dev/bus/usb/002/004"
    bool claimed = false; // one of its USB3 Vision interfaces is bound to a driver: a program holds it
};

// The USB3 Vision devices of the sysfs tree at `root` (the flat folder of devices and interfaces),
// by name; their device nodes below `devRoot`.
std::vector<UsbVisionDevice> usbVisionDevices(const std::string& root = "/sys/bus/usb/devices",
                                              const std::string& devRoot = "/dev");

// The device whose serial number, manufacturer and product texts read as given (an empty
// manufacturer or product matches any); null when none does.
const UsbVisionDevice* findUsbVisionDevice(const std::vector<UsbVisionDevice>& devices, const std::string& serial,
                                           const std::string& manufacturer, const std::string& product);

// What this process may do with a camera: open it, or not, because a program holds its interfaces
// or because this user may not read and write its device node.
enum class UsbAccess { Free, InUse, NoPermission };
UsbAccess usbAccess(const UsbVisionDevice& device, std::string* why = nullptr);

} // namespace aravis
} // namespace Nimbo
