// Text forms of GigE addresses, shared by the emulated cameras and the real ones.
#include "GigEIpConfiguration.h"

#include <arpa/inet.h>

#include <cstdio>

namespace Nimbo {

std::string dottedIp(uint32_t address)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

bool parseIp(const std::string& text, uint32_t& address)
{
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1)
        return false;
    address = ntohl(a.s_addr);
    return true;
}

std::string macText(uint64_t mac)
{
    char text[13];
    std::snprintf(text, sizeof text, "%012llX", static_cast<unsigned long long>(mac & 0xFFFFFFFFFFFFull));
    return text;
}

} // namespace Nimbo
