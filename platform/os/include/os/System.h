// Facts about the operating system and the no-op stand-ins of Windows-only services.
#pragma once

#include <string>

namespace os {

struct OsVersion {
    std::string name;         // "Linux"
    std::string prettyName;   // PRETTY_NAME of /etc/os-release, e.g. "Debian GNU/Linux 12 (bookworm)"
    std::string distribution; // ID of /etc/os-release, e.g. "debian"
    std::string version;      // VERSION_ID of /etc/os-release, e.g. "12"
    std::string kernel;       // uname release, e.g. "6.1.0-18-amd64"
    std::string machine;      // uname machine, e.g. "x86_64"
};

// Reads /etc/os-release (or the given file) and uname. Missing fields stay empty.
OsVersion osVersion(const std::string& osReleasePath = "/etc/os-release");

// Value of an environment variable; false when it is not set.
bool environmentVariable(const std::string& name, std::string& value);

// Keeping the system awake while grabbing has no counterpart here: the calls keep their sites.
class PowerRequest {
public:
    PowerRequest() = default;
    bool keepAwake()
    {
        m_active = true;
        return true;
    }
    void release() { m_active = false; }
    bool isActive() const { return m_active; }

private:
    bool m_active = false;
};

// COM does not exist here; threads still call these where they would initialise it.
enum class ComApartment { SingleThreaded, MultiThreaded };
inline bool comInitialize(ComApartment)
{
    return true;
}
inline void comUninitialize() {}

} // namespace os
