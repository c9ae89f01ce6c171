// Vendor and product id of a USB3 Vision camera, which Aravis' device list does not carry: the
// kernel's sysfs tree has them beside the descriptor texts Aravis does give.
#pragma once

#include <string>

namespace Nimbo {
namespace aravis {

struct UsbIds {
    std::string vendorId, productId; // four hexadecimal digits each, upper case
};

// The ids of the USB device in the sysfs tree at `root` whose serial number, manufacturer and
// product texts read as given (an empty manufacturer or product matches any); false when none does.
bool usbDeviceIds(const std::string& serial, const std::string& manufacturer, const std::string& product, UsbIds& ids,
                  const std::string& root = "/sys/bus/usb/devices");

} // namespace aravis
} // namespace Nimbo
