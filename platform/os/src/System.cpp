// Operating-system name and version from /etc/os-release and uname; environment access.
#include "os/System.h"

#include <sys/utsname.h>

#include <cstdlib>
#include <fstream>

namespace os {

namespace {

std::string unquote(std::string value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size())
            ++i;
        out += value[i];
    }
    return out;
}

} // namespace

OsVersion osVersion(const std::string& osReleasePath)
{
    OsVersion version;
    version.name = "Linux";
    std::ifstream in(osReleasePath);
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos || line.empty() || line[0] == '#')
            continue;
        const std::string key = line.substr(0, equals);
        const std::string value = unquote(line.substr(equals + 1));
        if (key == "PRETTY_NAME")
            version.prettyName = value;
        else if (key == "ID")
            version.distribution = value;
        else if (key == "VERSION_ID")
            version.version = value;
    }
    utsname names{};
    if (uname(&names) == 0) {
        version.kernel = names.release;
        version.machine = names.machine;
    }
    return version;
}

bool environmentVariable(const std::string& name, std::string& value)
{
    if (name.empty())
        return false;
    const char* text = std::getenv(name.c_str());
    if (!text)
        return false;
    value = text;
    return true;
}

} // namespace os
