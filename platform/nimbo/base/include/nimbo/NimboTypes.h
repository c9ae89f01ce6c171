// Shared enumerations of the SDK: device access modes, grab status and payload types.
#pragma once

#include <cstdint>

namespace Nimbo {

// Access modes are bit positions of an AccessModeSet.
enum EDeviceAccessMode {
    Stream = 0,
    Control = 1,
    Event = 2,
    Exclusive = 3,
};

// A set of access modes; Control | Exclusive is written AccessModeSet(Control) | Exclusive.
class AccessModeSet {
public:
    AccessModeSet() = default;
    AccessModeSet(EDeviceAccessMode mode) : m_bits(1u << mode) {}
    AccessModeSet operator|(EDeviceAccessMode mode) const { return fromBits(m_bits | (1u << mode)); }
    AccessModeSet operator|(AccessModeSet other) const { return fromBits(m_bits | other.m_bits); }
    bool test(EDeviceAccessMode mode) const { return (m_bits & (1u << mode)) != 0; }
    bool empty() const { return m_bits == 0; }
    unsigned int bits() const { return m_bits; }
    bool operator==(AccessModeSet other) const { return m_bits == other.m_bits; }

private:
    static AccessModeSet fromBits(unsigned int bits)
    {
        AccessModeSet set;
        set.m_bits = bits;
        return set;
    }
    unsigned int m_bits = 0;
};

inline AccessModeSet operator|(EDeviceAccessMode a, EDeviceAccessMode b)
{
    return AccessModeSet(a) | b;
}

enum EGrabStatus {
    _UndefinedGrabStatus = -1,
    Idle = 0,
    Queued = 1,
    Grabbed = 2,
    Canceled = 3,
    Failed = 4,
};

enum EPayloadType {
    PayloadType_Undefined = -1,
    PayloadType_Image = 0,
};

// A registered buffer, as the stream grabber hands it out.
using StreamBufferHandle = void*;

} // namespace Nimbo
