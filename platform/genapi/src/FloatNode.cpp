// Float nodes: IEEE registers, the increment, the display and the text forms.
#include "FloatNode.h"

#include "NodeMapImpl.h"
#include "NodeText.h"
#include "RegisterAccess.h"

#include <algorithm>
#include <cfloat>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace GenApi {
void CFloatNode::Resolve()
{
    CNumberNode::Resolve();
    if (const XmlProperty* p = property("DisplayPrecision"))
        parseInteger(p->text, "DisplayPrecision");
}

void CFloatNode::resolveRegister()
{
    if (property("Length")) {
        const int64_t n = parseInteger(text("Length"), "Length");
        if (n != 4 && n != 8)
            throw RUNTIME_EXCEPTION("Node '%s': a float register has 4 or 8 bytes, not %" PRId64, name().c_str(), n);
    }
}

double CFloatNode::readRegister()
{
    CRegisterAccess reg(this);
    std::vector<uint8_t> bytes;
    reg.read(bytes);
    const uint64_t raw = bytesToRaw(bytes, reg.bigEndian());
    if (bytes.size() == 4) {
        const uint32_t r32 = static_cast<uint32_t>(raw);
        float f;
        std::memcpy(&f, &r32, 4);
        return f;
    }
    if (bytes.size() == 8) {
        double v;
        std::memcpy(&v, &raw, 8);
        return v;
    }
    throw RUNTIME_EXCEPTION("Node '%s': a float register has 4 or 8 bytes", name().c_str());
}

double CFloatNode::writeRegister(double value)
{
    CRegisterAccess reg(this);
    std::vector<uint8_t> bytes(static_cast<size_t>(reg.length()), 0);
    uint64_t raw = 0;
    if (bytes.size() == 4) {
        const float f = static_cast<float>(value);
        uint32_t r32;
        std::memcpy(&r32, &f, 4);
        raw = r32;
    } else if (bytes.size() == 8) {
        std::memcpy(&raw, &value, 8);
    } else {
        throw RUNTIME_EXCEPTION("Node '%s': a float register has 4 or 8 bytes", name().c_str());
    }
    rawToBytes(raw, bytes, reg.bigEndian());
    reg.write(bytes);
    return bytes.size() == 4 ? static_cast<double>(static_cast<float>(value)) : value;
}

void CFloatNode::registerRange(double& low, double& high)
{
    low = -DBL_MAX;
    high = DBL_MAX;
}

bool CFloatNode::increment(double& inc)
{
    if (!HasInc())
        return false;
    inc = GetInc();
    return true;
}

bool CFloatNode::HasInc()
{
    return property("Inc") || link("pInc");
}

EIncMode CFloatNode::GetIncMode()
{
    return hasValidValueSet() ? listIncrement : HasInc() ? fixedIncrement : noIncrement;
}

double CFloatNode::GetInc()
{
    AutoLock lock(nodeMapLock());
    DepthGuard guard(this);
    return doubleOf("Inc", "pInc", 0.0);
}

double_autovector_t CFloatNode::GetListOfValidValues(bool bounded)
{
    return validValues(bounded);
}

EDisplayNotation CFloatNode::GetDisplayNotation() const
{
    const std::string n = trimmedText(text("DisplayNotation", "Automatic"));
    return n == "Fixed" ? fnFixed : n == "Scientific" ? fnScientific : fnAutomatic;
}

int64_t CFloatNode::GetDisplayPrecision() const
{
    const XmlProperty* p = property("DisplayPrecision");
    return p ? parseInteger(p->text, "DisplayPrecision") : 6;
}

GenICam::gcstring CFloatNode::ToString(bool verify, bool ignoreCache)
{
    const double v = GetValue(verify, ignoreCache);
    const int precision = static_cast<int>(std::clamp<int64_t>(GetDisplayPrecision(), 0, 17));
    char buffer[512];
    switch (GetDisplayNotation()) {
    case fnFixed: std::snprintf(buffer, sizeof buffer, "%.*f", precision, v); break;
    case fnScientific: std::snprintf(buffer, sizeof buffer, "%.*e", precision, v); break;
    default: std::snprintf(buffer, sizeof buffer, "%.*g", precision > 0 ? precision : 6, v);
    }
    return buffer;
}

void CFloatNode::FromString(const GenICam::gcstring& text, bool verify)
{
    double v = 0.0;
    if (!textToDouble(text.str(), v))
        throw INVALID_ARGUMENT_EXCEPTION("Node '%s': '%s' is not a number", name().c_str(), text.c_str());
    SetValue(v, verify);
}
} // namespace GenApi
