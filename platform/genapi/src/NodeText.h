// Texts of the description and of users as numbers and names, shared by the node kinds.
#pragma once

#include "NodeImpl.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

namespace GenApi {
inline std::string trimmedText(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    const size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// A user's text as an integer: decimal, or hexadecimal with 0x; nothing may follow the number.
inline bool textToInteger(const std::string& raw, int64_t& value)
{
    const std::string t = trimmedText(raw);
    if (t.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
        value = static_cast<int64_t>(std::strtoull(t.c_str() + 2, &end, 16));
    else
        value = std::strtoll(t.c_str(), &end, 10);
    return end != t.c_str() && *end == '\0' && errno != ERANGE;
}

inline bool textToDouble(const std::string& raw, double& value)
{
    const std::string t = trimmedText(raw);
    char* end = nullptr;
    value = std::strtod(t.c_str(), &end);
    return !t.empty() && end != t.c_str() && *end == '\0';
}

inline ERepresentation representationOf(const std::string& text)
{
    static const std::pair<const char*, ERepresentation> names[] = {
        {"Linear", Linear},       {"Logarithmic", Logarithmic}, {"Boolean", Boolean},      {"PureNumber", PureNumber},
        {"HexNumber", HexNumber}, {"IPV4Address", IPV4Address}, {"MACAddress", MACAddress}};
    const std::string t = trimmedText(text);
    for (const auto& n : names)
        if (t == n.first)
            return n.second;
    return PureNumber;
}

// Rounds a double written into an integer node; values beyond 64 bits are refused, not wrapped.
inline int64_t roundToInteger(const CNodeImpl* node, double value)
{
    if (!(value > -9.2233720368547758e18 && value < 9.2233720368547758e18))
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': %g does not fit a 64-bit integer", node->name().c_str(), value);
    return static_cast<int64_t>(std::llround(value));
}

inline void requireLink(const CNodeImpl* node, const char* linkName)
{
    if (!node->link(linkName))
        throw RUNTIME_EXCEPTION("Node '%s' (%s) has no %s", node->name().c_str(), node->kind().c_str(), linkName);
}

// An access mode as descriptions and users write it.
inline const char* accessModeName(EAccessMode mode)
{
    switch (mode) {
    case NI: return "NI";
    case NA: return "NA";
    case WO: return "WO";
    case RO: return "RO";
    case RW: return "RW";
    default: return "undefined";
    }
}
} // namespace GenApi
