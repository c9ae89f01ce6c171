// Integer nodes: plain values, registers, bit fields, formulas and converters.
#include "IntegerNode.h"

#include "NodeMapImpl.h"
#include "NodeText.h"
#include "PortNode.h"
#include "RegisterAccess.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <limits>

namespace GenApi {
void CIntegerNode::Resolve()
{
    CNodeImpl::Resolve();
    const std::string& k = kind();
    if (k == "Integer") {
        if (!link("pValue"))
            m_value = property("Value") ? parseInteger(text("Value"), "Value") : 0;
    } else if (k == "IntReg" || k == "MaskedIntReg") {
        m_register = true;
        requireLink(this, "pPort");
        if (!dynamic_cast<CPortNode*>(link("pPort")))
            throw RUNTIME_EXCEPTION("Node '%s': pPort '%s' is not a Port", name().c_str(),
                                    link("pPort")->name().c_str());
        if (property("Length")) {
            const int64_t n = parseInteger(text("Length"), "Length");
            if (n < 1 || n > 8)
                throw RUNTIME_EXCEPTION("Node '%s': an integer register has 1 to 8 bytes, not %" PRId64, name().c_str(),
                                        n);
            bitFieldOf(this, n, CRegisterAccess(this).bigEndian());
        }
    } else if (k == "IntSwissKnife") {
        m_formula = parseFormula("Formula", true);
    } else if (k == "IntConverter") {
        requireLink(this, "pValue");
        m_formulaTo = parseFormula("FormulaTo", true);
        m_formulaFrom = parseFormula("FormulaFrom", true);
    }
}

EAccessMode CIntegerNode::intrinsicAccessMode() const
{
    const std::string& k = kind();
    if (m_register)
        return CRegisterAccess(const_cast<CIntegerNode*>(this)).accessMode();
    if (k == "IntSwissKnife")
        return RO;
    if (CNodeImpl* v = link("pValue"))
        return v->GetAccessMode();
    return RW;
}

int64_t CIntegerNode::decode(const std::vector<uint8_t>& bytes) const
{
    auto self = const_cast<CIntegerNode*>(this);
    const bool big = CRegisterAccess(self).bigEndian();
    const BitField f = bitFieldOf(self, static_cast<int64_t>(bytes.size()), big);
    uint64_t raw = (bytesToRaw(bytes, big) >> f.low) & fieldMask(f.width);
    if (isSigned(self) && f.width < 64 && (raw >> (f.width - 1)) & 1)
        raw |= ~fieldMask(f.width);
    return static_cast<int64_t>(raw);
}

int64_t CIntegerNode::readInteger()
{
    DepthGuard guard(this);
    if (m_cacheValid && IsCachable())
        return m_cached;
    const std::string& k = kind();
    int64_t v = 0;
    if (m_register) {
        std::vector<uint8_t> bytes;
        CRegisterAccess(this).read(bytes);
        v = decode(bytes);
    } else if (k == "IntSwissKnife") {
        v = evalInteger(*m_formula, {});
    } else if (k == "IntConverter") {
        v = evalInteger(*m_formulaFrom, {{"TO", link("pValue")->readInteger()}});
    } else if (CNodeImpl* p = link("pValue")) {
        v = p->readInteger();
    } else {
        v = m_value;
    }
    m_cached = v;
    m_cacheValid = true;
    return v;
}

void CIntegerNode::writeInteger(int64_t value, bool verify)
{
    DepthGuard guard(this);
    const std::string& k = kind();
    m_cacheValid = false;
    if (m_register) {
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
        if (GetCachingMode() == WriteThrough) {
            m_cached = value;
            m_cacheValid = true;
        }
        changed();
    } else if (k == "IntSwissKnife") {
        throw ACCESS_EXCEPTION("Node '%s' is not writable", name().c_str());
    } else if (k == "IntConverter") {
        link("pValue")->writeInteger(evalInteger(*m_formulaTo, {{"FROM", value}}), verify);
    } else if (CNodeImpl* p = link("pValue")) {
        p->writeInteger(value, verify);
    } else {
        m_value = value;
        changed();
    }
}

void CIntegerNode::writeDouble(double value, bool verify)
{
    writeInteger(roundToInteger(this, value), verify);
}

int64_t CIntegerNode::minimum()
{
    DepthGuard guard(this);
    int64_t low = std::numeric_limits<int64_t>::min();
    if (link("pMin") || property("Min")) {
        low = integerOf("Min", "pMin", low);
    } else if (m_register) {
        CRegisterAccess reg(this);
        const BitField f = bitFieldOf(this, reg.length(), reg.bigEndian());
        low = isSigned(this) ? (f.width >= 64 ? low : -(int64_t(1) << (f.width - 1))) : 0;
    } else if (kind() == "IntConverter") {
        auto target = link("pValue");
        const int64_t a = evalInteger(
            *m_formulaFrom, {{"TO", dynamic_cast<IInteger*>(target) ? dynamic_cast<IInteger*>(target)->GetMin() : 0}});
        const int64_t b = evalInteger(
            *m_formulaFrom, {{"TO", dynamic_cast<IInteger*>(target) ? dynamic_cast<IInteger*>(target)->GetMax() : 0}});
        low = std::min(a, b);
    } else if (CNodeImpl* p = link("pValue")) {
        if (auto i = dynamic_cast<CIntegerNode*>(p))
            low = i->minimum();
    }
    return m_hasImposedMin ? std::max(low, m_imposedMin) : low;
}

int64_t CIntegerNode::maximum()
{
    DepthGuard guard(this);
    int64_t high = std::numeric_limits<int64_t>::max();
    if (link("pMax") || property("Max")) {
        high = integerOf("Max", "pMax", high);
    } else if (m_register) {
        CRegisterAccess reg(this);
        const BitField f = bitFieldOf(this, reg.length(), reg.bigEndian());
        if (isSigned(this))
            high = f.width >= 64 ? high : (int64_t(1) << (f.width - 1)) - 1;
        else
            high = f.width >= 63 ? high : static_cast<int64_t>(fieldMask(f.width));
    } else if (kind() == "IntConverter") {
        auto target = dynamic_cast<IInteger*>(link("pValue"));
        const int64_t a = evalInteger(*m_formulaFrom, {{"TO", target ? target->GetMin() : 0}});
        const int64_t b = evalInteger(*m_formulaFrom, {{"TO", target ? target->GetMax() : 0}});
        high = std::max(a, b);
    } else if (CNodeImpl* p = link("pValue")) {
        if (auto i = dynamic_cast<CIntegerNode*>(p))
            high = i->maximum();
    }
    return m_hasImposedMax ? std::min(high, m_imposedMax) : high;
}

void CIntegerNode::checkValue(int64_t value)
{
    const int64_t low = minimum(), high = maximum();
    if (value < low)
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': value %" PRId64 " is below the minimum %" PRId64, name().c_str(),
                                     value, low);
    if (value > high)
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': value %" PRId64 " is above the maximum %" PRId64, name().c_str(),
                                     value, high);
    const int64_t inc = GetInc();
    if (inc > 1 && (static_cast<uint64_t>(value) - static_cast<uint64_t>(low)) % static_cast<uint64_t>(inc) != 0)
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': value %" PRId64 " is not the minimum %" PRId64
                                     " plus a multiple of the increment %" PRId64,
                                     name().c_str(), value, low, inc);
}

void CIntegerNode::SetValue(int64_t value, bool verify)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
    checkValue(value);
    writeInteger(value, verify);
}

IInteger& CIntegerNode::operator=(int64_t value)
{
    SetValue(value);
    return *this;
}

int64_t CIntegerNode::GetValue(bool, bool ignoreCache)
{
    AutoLock lock(m_map->GetLock());
    checkReadable();
    if (ignoreCache)
        invalidateReadingTree();
    return readInteger();
}

int64_t CIntegerNode::GetMin()
{
    AutoLock lock(m_map->GetLock());
    return minimum();
}

int64_t CIntegerNode::GetMax()
{
    AutoLock lock(m_map->GetLock());
    return maximum();
}

EIncMode CIntegerNode::GetIncMode()
{
    return fixedIncrement;
}

int64_t CIntegerNode::GetInc()
{
    AutoLock lock(m_map->GetLock());
    DepthGuard guard(this);
    const int64_t inc = integerOf("Inc", "pInc", 1);
    return inc > 0 ? inc : 1;
}

int64_autovector_t CIntegerNode::GetListOfValidValues(bool)
{
    return int64_autovector_t();
}

ERepresentation CIntegerNode::GetRepresentation()
{
    return representationOf(text("Representation", "PureNumber"));
}

GenICam::gcstring CIntegerNode::GetUnit() const
{
    return text("Unit");
}

void CIntegerNode::ImposeMin(int64_t value)
{
    AutoLock lock(m_map->GetLock());
    m_hasImposedMin = true;
    m_imposedMin = value;
}

void CIntegerNode::ImposeMax(int64_t value)
{
    AutoLock lock(m_map->GetLock());
    m_hasImposedMax = true;
    m_imposedMax = value;
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
