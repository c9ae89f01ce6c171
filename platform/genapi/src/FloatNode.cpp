// Float nodes: plain values, IEEE registers, formulas and converters.
#include "FloatNode.h"

#include "NodeMapImpl.h"
#include "NodeText.h"
#include "PortNode.h"
#include "RegisterAccess.h"

#include <algorithm>
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace GenApi {
namespace {
int64_t truncateToInteger(double v)
{
    if (!(v > -9.2233720368547758e18 && v < 9.2233720368547758e18))
        return v > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(v);
}
} // namespace

void CFloatNode::Resolve()
{
    CNodeImpl::Resolve();
    const std::string& k = kind();
    if (k == "Float") {
        if (!link("pValue"))
            m_value = property("Value") ? parseDouble(text("Value"), "Value") : 0.0;
    } else if (k == "FloatReg") {
        m_register = true;
        requireLink(this, "pPort");
        if (!dynamic_cast<CPortNode*>(link("pPort")))
            throw RUNTIME_EXCEPTION("Node '%s': pPort '%s' is not a Port", name().c_str(),
                                    link("pPort")->name().c_str());
        if (property("Length")) {
            const int64_t n = parseInteger(text("Length"), "Length");
            if (n != 4 && n != 8)
                throw RUNTIME_EXCEPTION("Node '%s': a float register has 4 or 8 bytes, not %" PRId64, name().c_str(),
                                        n);
        }
    } else if (k == "SwissKnife") {
        m_formula = parseFormula("Formula", true);
    } else if (k == "Converter") {
        requireLink(this, "pValue");
        m_formulaTo = parseFormula("FormulaTo", true);
        m_formulaFrom = parseFormula("FormulaFrom", true);
    }
    if (const XmlProperty* p = property("DisplayPrecision"))
        parseInteger(p->text, "DisplayPrecision");
}

EAccessMode CFloatNode::intrinsicAccessMode() const
{
    if (m_register)
        return CRegisterAccess(const_cast<CFloatNode*>(this)).accessMode();
    if (kind() == "SwissKnife")
        return RO;
    if (CNodeImpl* v = link("pValue"))
        return v->GetAccessMode();
    return RW;
}

double CFloatNode::readDouble()
{
    DepthGuard guard(this);
    if (m_cacheValid && IsCachable())
        return m_cached;
    const std::string& k = kind();
    double v = 0.0;
    if (m_register) {
        CRegisterAccess reg(this);
        std::vector<uint8_t> bytes;
        reg.read(bytes);
        const uint64_t raw = bytesToRaw(bytes, reg.bigEndian());
        if (bytes.size() == 4) {
            const uint32_t r32 = static_cast<uint32_t>(raw);
            float f;
            std::memcpy(&f, &r32, 4);
            v = f;
        } else if (bytes.size() == 8) {
            std::memcpy(&v, &raw, 8);
        } else {
            throw RUNTIME_EXCEPTION("Node '%s': a float register has 4 or 8 bytes", name().c_str());
        }
    } else if (k == "SwissKnife") {
        v = evalDouble(*m_formula, {});
    } else if (k == "Converter") {
        v = evalDouble(*m_formulaFrom, {{"TO", link("pValue")->readDouble()}});
    } else if (CNodeImpl* p = link("pValue")) {
        v = p->readDouble();
    } else {
        v = m_value;
    }
    m_cached = v;
    m_cacheValid = true;
    return v;
}

int64_t CFloatNode::readInteger()
{
    return truncateToInteger(readDouble());
}

void CFloatNode::writeDouble(double value, bool verify)
{
    DepthGuard guard(this);
    const std::string& k = kind();
    m_cacheValid = false;
    if (m_register) {
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
        if (GetCachingMode() == WriteThrough) {
            m_cached = bytes.size() == 4 ? static_cast<double>(static_cast<float>(value)) : value;
            m_cacheValid = true;
        }
        changed();
    } else if (k == "SwissKnife") {
        throw ACCESS_EXCEPTION("Node '%s' is not writable", name().c_str());
    } else if (k == "Converter") {
        const double to = evalDouble(*m_formulaTo, {{"FROM", value}});
        CNodeImpl* target = link("pValue");
        if (dynamic_cast<IInteger*>(target) || dynamic_cast<IEnumeration*>(target) || dynamic_cast<IBoolean*>(target))
            target->writeInteger(roundToInteger(this, to), verify);
        else
            target->writeDouble(to, verify);
    } else if (CNodeImpl* p = link("pValue")) {
        p->writeDouble(value, verify);
    } else {
        m_value = value;
        changed();
    }
}

void CFloatNode::convertedRange(double& low, double& high)
{
    CNodeImpl* target = link("pValue");
    double tmin = -DBL_MAX, tmax = DBL_MAX;
    if (auto i = dynamic_cast<IInteger*>(target)) {
        tmin = static_cast<double>(i->GetMin());
        tmax = static_cast<double>(i->GetMax());
    } else if (auto f = dynamic_cast<IFloat*>(target)) {
        tmin = f->GetMin();
        tmax = f->GetMax();
    }
    const double a = evalDouble(*m_formulaFrom, {{"TO", tmin}});
    const double b = evalDouble(*m_formulaFrom, {{"TO", tmax}});
    low = std::isnan(a) || std::isnan(b) ? -DBL_MAX : std::min(a, b);
    high = std::isnan(a) || std::isnan(b) ? DBL_MAX : std::max(a, b);
}

double CFloatNode::minimum()
{
    DepthGuard guard(this);
    double low = -DBL_MAX;
    if (link("pMin") || property("Min")) {
        low = doubleOf("Min", "pMin", low);
    } else if (kind() == "Converter") {
        double high;
        convertedRange(low, high);
    } else if (auto f = dynamic_cast<CFloatNode*>(link("pValue"))) {
        low = f->minimum();
    } else if (auto i = dynamic_cast<IInteger*>(link("pValue"))) {
        low = static_cast<double>(i->GetMin());
    }
    return m_hasImposedMin ? std::max(low, m_imposedMin) : low;
}

double CFloatNode::maximum()
{
    DepthGuard guard(this);
    double high = DBL_MAX;
    if (link("pMax") || property("Max")) {
        high = doubleOf("Max", "pMax", high);
    } else if (kind() == "Converter") {
        double low;
        convertedRange(low, high);
    } else if (auto f = dynamic_cast<CFloatNode*>(link("pValue"))) {
        high = f->maximum();
    } else if (auto i = dynamic_cast<IInteger*>(link("pValue"))) {
        high = static_cast<double>(i->GetMax());
    }
    return m_hasImposedMax ? std::min(high, m_imposedMax) : high;
}

void CFloatNode::SetValue(double value, bool verify)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
    const double low = minimum(), high = maximum();
    if (std::isnan(value) || value < low)
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': value %g is below the minimum %g", name().c_str(), value, low);
    if (value > high)
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': value %g is above the maximum %g", name().c_str(), value, high);
    writeDouble(value, verify);
}

IFloat& CFloatNode::operator=(double value)
{
    SetValue(value);
    return *this;
}

double CFloatNode::GetValue(bool, bool ignoreCache)
{
    AutoLock lock(m_map->GetLock());
    checkReadable();
    if (ignoreCache)
        invalidateReadingTree();
    return readDouble();
}

double CFloatNode::GetMin()
{
    AutoLock lock(m_map->GetLock());
    return minimum();
}

double CFloatNode::GetMax()
{
    AutoLock lock(m_map->GetLock());
    return maximum();
}

bool CFloatNode::HasInc()
{
    return property("Inc") || link("pInc");
}

EIncMode CFloatNode::GetIncMode()
{
    return HasInc() ? fixedIncrement : noIncrement;
}

double CFloatNode::GetInc()
{
    AutoLock lock(m_map->GetLock());
    DepthGuard guard(this);
    return doubleOf("Inc", "pInc", 0.0);
}

double_autovector_t CFloatNode::GetListOfValidValues(bool)
{
    return double_autovector_t();
}

ERepresentation CFloatNode::GetRepresentation()
{
    return representationOf(text("Representation", "PureNumber"));
}

GenICam::gcstring CFloatNode::GetUnit() const
{
    return text("Unit");
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

void CFloatNode::ImposeMin(double value)
{
    AutoLock lock(m_map->GetLock());
    m_hasImposedMin = true;
    m_imposedMin = value;
}

void CFloatNode::ImposeMax(double value)
{
    AutoLock lock(m_map->GetLock());
    m_hasImposedMax = true;
    m_imposedMax = value;
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
