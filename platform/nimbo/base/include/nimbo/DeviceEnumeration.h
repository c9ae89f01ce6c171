// Every transport layer with the devices found on it, in one call: what device lists and scans ask the
// SDK for.
#pragma once

#include <nimbo/DeviceInfo.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace Nimbo {

// One entry per transport layer, in the factory's order, with the devices found on it.
using TlDeviceList = std::vector<std::pair<CTlInfo, DeviceInfoList_t>>;

// How EnumerateTlsAndDevices goes through the transport layers. Everything empty: every transport layer
// with its devices, silently, and the first failure ends the enumeration.
struct TlEnumeration {
    // Which transport layers have an entry; every one when empty.
    std::function<bool(const CTlInfo& tl)> accept;
    // False lists the transport layers alone: none is created, every device list stays empty.
    bool devices = true;
    // When set, what each transport layer holds is reported to it a line at a time, before the
    // transport layer is released: "Enumerated '<friendly name>' and found <n> devices.", then
    // "    Found '<friendly name>'" for each device.
    std::function<void(const std::string& line)> report;
    // Called when creating a transport layer or enumerating its devices throws, once the transport
    // layer has gone back to the factory, inside the exception's handler (so `throw;` reaches the
    // exception, and rethrowing it ends the enumeration). When it returns, the transport layer's entry
    // keeps the devices listed before the failure and the enumeration goes on. Without it the exception
    // ends the enumeration.
    std::function<void(const CTlInfo& tl)> failed;
};

// Thread-safe, as the factory is. A transport layer that cannot be created has an entry with no
// devices. Exceptions of the transport-layer list itself always pass through.
TlDeviceList EnumerateTlsAndDevices(const TlEnumeration& how = TlEnumeration());

} // namespace Nimbo
