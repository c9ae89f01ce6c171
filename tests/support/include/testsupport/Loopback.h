// Whether this process sees only the loopback network interface: the condition under which tests and
// benchmarks that discover cameras may broadcast. Needs no test framework, so benchmarks use it too.
#pragma once

#include <ifaddrs.h>

#include <string>

namespace testsupport {

// True when every network interface of this process is the loopback one.
inline bool loopbackOnly()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool only = true;
    for (ifaddrs* a = list; a; a = a->ifa_next)
        only = only && a->ifa_name && std::string(a->ifa_name) == "lo";
    freeifaddrs(list);
    return only;
}

} // namespace testsupport
