// Integer nodes: registers with their bit fields, the increment, and the text forms.
#include "IntegerNode.h"

#include "NodeMapImpl.h"
#include "NodeText.h"
#include "RegisterAccess.h"

#include <cinttypes>
#include <cstdio>

namespace GenApi {
void CIntegerNode::resolveRegister()
{
    if (property("Length")) {
        const int64_t n = parseInteger(text("Length"), "Length");
        if (n < 1 || n > 8)
            throw RUNTIME_EXCEPTION("Node '%s': an integer register has 1 to 8 bytes, not %" PRId64, name().c_str(), n);
        bitFieldOf(this, n, CRegisterAccess(this).bigEndian());
    }
}

int64_t CIntegerNode::readRegister()
{
    CRegisterAccess reg(this);
    std::vector<uint8_t> bytes;
    reg.read(bytes);
    const bool big = reg.bigEndian();
    const BitField f = bitFieldOf(this, static_cast<int64_t>(bytes.size()), big);
    uint64_t raw = (bytesToRaw(bytes, big) >> f.low) & fieldMask(f.width);
    if (isSigned(this) && f.width < 64 && (raw >> (f.width - 1)) & 1)
        raw |= ~fieldMask(f.width);
    return static_cast<int64_t>(raw);
}

int64_t CIntegerNode::writeRegister(int64_t value)
{
    CRegisterAccess reg(this);
    const int64_t length = reg.length();
    if (length > 8)
        throw RUNTIME_EXCEPTION("Node '%s': an integer register has 1 to 8 bytes", name().c_str());
    const bool big = reg.bigEndian();
    std::vector<uint8_t> bytes(static_cast<size_t>(length), 0);
    const BitField f = bitFieldOf(this, length, big);
    uint64_t raw = static_cast<uint64_t>(value);
    if (f.width < static_cast<int>(length * 8)) {
        // The other bits of the register keep their value.
        if (IsReadable(reg.accessMode()))
            reg.read(bytes);
        const uint64_t mask = fieldMask(f.width) << f.low;
        raw = (bytesToRaw(bytes, big) & ~mask) | ((raw << f.low) & mask);
    }
    rawToBytes(raw, bytes, big);
    reg.write(bytes);
    return value;
}

void CIntegerNode::registerRange(int64_t& low, int64_t& high)
{
    CRegisterAccess reg(this);
    const BitField f = bitFieldOf(this, reg.length(), reg.bigEndian());
    if (isSigned(this)) {
        if (f.width < 64) {
            low = -(int64_t(1) << (f.width - 1));
            high = (int64_t(1) << (f.width - 1)) - 1;
        }
    } else {
        low = 0;
        if (f.width < 63)
            high = static_cast<int64_t>(fieldMask(f.width));
    }
}

bool CIntegerNode::increment(int64_t& inc)
{
    inc = GetInc();
    return true;
}

EIncMode CIntegerNode::GetIncMode()
{
    return hasValidValueSet() ? listIncrement : fixedIncrement;
}

int64_t CIntegerNode::GetInc()
{
    AutoLock lock(nodeMapLock());
    DepthGuard guard(this);
    const int64_t inc = integerOf("Inc", "pInc", 1);
    return inc > 0 ? inc : 1;
}

int64_autovector_t CIntegerNode::GetListOfValidValues(bool bounded)
{
    return validValues(bounded);
}

GenICam::gcstring CIntegerNode::ToString(bool verify, bool ignoreCache)
{
    const int64_t v = GetValue(verify, ignoreCache);
    char buffer[64];
    switch (GetRepresentation()) {
    case HexNumber: std::snprintf(buffer, sizeof buffer, "0x%" PRIx64, static_cast<uint64_t>(v)); break;
    case IPV4Address:
        std::snprintf(buffer, sizeof buffer, "%u.%u.%u.%u", unsigned((v >> 24) & 0xFF), unsigned((v >> 16) & 0xFF),
                      unsigned((v >> 8) & 0xFF), unsigned(v & 0xFF));
        break;
    case MACAddress:
        std::snprintf(buffer, sizeof buffer, "%02X:%02X:%02X:%02X:%02X:%02X", unsigned((v >> 40) & 0xFF),
                      unsigned((v >> 32) & 0xFF), unsigned((v >> 24) & 0xFF), unsigned((v >> 16) & 0xFF),
                      unsigned((v >> 8) & 0xFF), unsigned(v & 0xFF));
        break;
    default: std::snprintf(buffer, sizeof buffer, "%" PRId64, v);
    }
    return buffer;
}

void CIntegerNode::FromString(const GenICam::gcstring& text, bool verify)
{
    int64_t v = 0;
    unsigned a, b, c, d;
    char tail;
    if (GetRepresentation() == IPV4Address && std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) == 4 &&
        a < 256 && b < 256 && c < 256 && d < 256)
        v = (int64_t(a) << 24) | (int64_t(b) << 16) | (int64_t(c) << 8) | int64_t(d);
    else if (!textToInteger(text.str(), v))
        throw INVALID_ARGUMENT_EXCEPTION("Node '%s': '%s' is not an integer", name().c_str(), text.c_str());
    SetValue(v, verify);
}
} // namespace GenApi
