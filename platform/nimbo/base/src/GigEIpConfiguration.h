// A GigE camera's network settings as the transport layer hands them between its cameras' backends.
#pragma once

#include <cstdint>
#include <string>

namespace Nimbo {

// Host order; all zero in a force-IP means "configure yourself again".
struct GigEAddress {
    uint32_t ip = 0, mask = 0, gateway = 0;
};

// The camera's IP configuration register: which methods it uses at power-up.
namespace ipconfig {
constexpr uint32_t LinkLocal = 0x1, Dhcp = 0x2, PersistentIp = 0x4;
} // namespace ipconfig

// Host-order IPv4 as dotted text, and back (false for anything else).
std::string dottedIp(uint32_t address);
bool parseIp(const std::string& text, uint32_t& address);
// A MAC address as the device information carries it: twelve upper-case hex digits.
std::string macText(uint64_t mac);

} // namespace Nimbo
