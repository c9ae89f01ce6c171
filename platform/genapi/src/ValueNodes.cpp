// The node kinds: integers, floats, booleans, enumerations, commands, strings, registers, ports, categories.
#include "NodeImpl.h"

#include "NodeMapImpl.h"

#include <algorithm>
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <limits>

namespace GenApi {
namespace {
std::string trimmedText(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    const size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// A user's text as an integer: decimal, or hexadecimal with 0x; nothing may follow the number.
bool textToInteger(const std::string& raw, int64_t& value)
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

bool textToDouble(const std::string& raw, double& value)
{
    const std::string t = trimmedText(raw);
    char* end = nullptr;
    value = std::strtod(t.c_str(), &end);
    return !t.empty() && end != t.c_str() && *end == '\0';
}

ERepresentation representationOf(const std::string& text)
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
int64_t roundToInteger(const CNodeImpl* node, double value)
{
    if (!(value > -9.2233720368547758e18 && value < 9.2233720368547758e18))
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': %g does not fit a 64-bit integer", node->name().c_str(), value);
    return static_cast<int64_t>(std::llround(value));
}

void requireLink(const CNodeImpl* node, const char* linkName)
{
    if (!node->link(linkName))
        throw RUNTIME_EXCEPTION("Node '%s' (%s) has no %s", node->name().c_str(), node->kind().c_str(), linkName);
}
} // namespace

// ---------------------------------------------------------------------------------------------- registers

int64_t CRegisterAccess::address()
{
    uint64_t a = 0; // addresses wrap like the device's address arithmetic
    for (const auto& p : m_node->m_definition.properties) {
        if (p.name == "Address")
            a += static_cast<uint64_t>(m_node->parseInteger(p.text, "Address"));
    }
    for (CNodeImpl* n : m_node->links("pAddress"))
        a += static_cast<uint64_t>(n->readInteger());
    if (CNodeImpl* index = m_node->link("pIndex")) {
        const XmlProperty* p = m_node->property("pIndex");
        int64_t offset = 1;
        if (const std::string* o = p->attribute("Offset"))
            offset = m_node->parseInteger(*o, "Offset");
        else if (const std::string* po = p->attribute("pOffset")) {
            CNodeImpl* n = m_node->map()->find(trimmedText(*po));
            if (!n)
                throw RUNTIME_EXCEPTION("Node '%s': pOffset refers to the unknown node '%s'", m_node->name().c_str(),
                                        po->c_str());
            offset = n->readInteger();
        }
        a += static_cast<uint64_t>(index->readInteger()) * static_cast<uint64_t>(offset);
    }
    return static_cast<int64_t>(a);
}

int64_t CRegisterAccess::length()
{
    const int64_t n = m_node->integerOf("Length", "pLength", 4);
    // A length from a broken description must not make us allocate gigabytes.
    if (n <= 0 || n > (int64_t(1) << 24))
        throw RUNTIME_EXCEPTION("Node '%s': register length %" PRId64 " is out of range", m_node->name().c_str(), n);
    return n;
}

EAccessMode CRegisterAccess::accessMode() const
{
    const XmlProperty* p = m_node->property("AccessMode");
    static const std::string none;
    const std::string& raw = p ? p->text : none;
    // The common exact spellings need no copy; anything else is trimmed first.
    const bool exact = raw == "RO" || raw == "WO" || raw == "RW";
    const std::string mode = exact ? std::string() : trimmedText(raw);
    const std::string& m0 = exact ? raw : mode;
    EAccessMode m = m0 == "RO" ? RO : m0 == "WO" ? WO : RW;
    auto port = dynamic_cast<CPortNode*>(m_node->link("pPort"));
    if (!port || !port->connected())
        return NA;
    return m;
}

bool CRegisterAccess::bigEndian() const
{
    return trimmedText(m_node->text("Endianess", "LittleEndian")) == "BigEndian";
}

void CRegisterAccess::read(std::vector<uint8_t>& bytes)
{
    auto port = dynamic_cast<CPortNode*>(m_node->link("pPort"));
    if (!port || !port->connected())
        throw ACCESS_EXCEPTION("Node '%s': its port is not connected", m_node->name().c_str());
    bytes.assign(static_cast<size_t>(length()), 0);
    port->Read(bytes.data(), address(), static_cast<int64_t>(bytes.size()));
}

void CRegisterAccess::write(const std::vector<uint8_t>& bytes)
{
    auto port = dynamic_cast<CPortNode*>(m_node->link("pPort"));
    if (!port || !port->connected())
        throw ACCESS_EXCEPTION("Node '%s': its port is not connected", m_node->name().c_str());
    port->Write(bytes.data(), address(), static_cast<int64_t>(bytes.size()));
}
} // namespace GenApi

namespace GenApi {
namespace {
// Bit positions (counted from the least significant bit) and width of an integer register's field.
struct BitField {
    int low = 0;
    int width = 64;
};

BitField bitFieldOf(CNodeImpl* node, int64_t length, bool bigEndian)
{
    const int bits = static_cast<int>(length * 8);
    BitField f;
    f.low = 0;
    f.width = bits;
    if (node->kind() != "MaskedIntReg")
        return f;
    int64_t lsb, msb;
    if (node->property("Bit")) {
        lsb = msb = node->parseInteger(node->text("Bit"), "Bit");
    } else {
        lsb = node->property("LSB") ? node->parseInteger(node->text("LSB"), "LSB") : (bigEndian ? bits - 1 : 0);
        msb = node->property("MSB") ? node->parseInteger(node->text("MSB"), "MSB") : (bigEndian ? 0 : bits - 1);
    }
    // Big-endian registers number their bits from the most significant one.
    if (bigEndian) {
        lsb = bits - 1 - lsb;
        msb = bits - 1 - msb;
    }
    if (lsb < 0 || msb < lsb || msb >= bits)
        throw RUNTIME_EXCEPTION("Node '%s': bit field LSB..MSB lies outside its %d-bit register", node->name().c_str(),
                                bits);
    f.low = static_cast<int>(lsb);
    f.width = static_cast<int>(msb - lsb + 1);
    return f;
}

uint64_t fieldMask(int width)
{
    return width >= 64 ? ~uint64_t(0) : ((uint64_t(1) << width) - 1);
}

uint64_t bytesToRaw(const std::vector<uint8_t>& bytes, bool bigEndian)
{
    uint64_t raw = 0;
    const size_t n = std::min<size_t>(bytes.size(), 8);
    for (size_t i = 0; i < n; ++i) {
        const size_t k = bigEndian ? i : n - 1 - i;
        raw = (raw << 8) | bytes[k];
    }
    return raw;
}

void rawToBytes(uint64_t raw, std::vector<uint8_t>& bytes, bool bigEndian)
{
    const size_t n = bytes.size();
    for (size_t i = 0; i < n; ++i) {
        const size_t k = bigEndian ? n - 1 - i : i;
        bytes[k] = static_cast<uint8_t>(raw & 0xFF);
        raw >>= 8;
    }
}

bool isSigned(CNodeImpl* node)
{
    return trimmedText(node->text("Sign", "Unsigned")) == "Signed";
}

int64_t truncateToInteger(double v)
{
    if (!(v > -9.2233720368547758e18 && v < 9.2233720368547758e18))
        return v > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(v);
}
} // namespace

// ---------------------------------------------------------------------------------------------- integers

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

// ---------------------------------------------------------------------------------------------- floats

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

// ---------------------------------------------------------------------------------------------- booleans

void CBooleanNode::Resolve()
{
    CNodeImpl::Resolve();
    m_on = property("OnValue") ? parseInteger(text("OnValue"), "OnValue") : 1;
    m_off = property("OffValue") ? parseInteger(text("OffValue"), "OffValue") : 0;
    if (!link("pValue")) {
        const std::string v = trimmedText(text("Value", "0"));
        m_value = v == "true" || v == "True" ? m_on : v == "false" || v == "False" ? m_off : parseInteger(v, "Value");
    }
}

EAccessMode CBooleanNode::intrinsicAccessMode() const
{
    if (CNodeImpl* v = link("pValue"))
        return v->GetAccessMode();
    return RW;
}

int64_t CBooleanNode::readInteger()
{
    DepthGuard guard(this);
    if (m_cacheValid && IsCachable())
        return m_cached;
    CNodeImpl* p = link("pValue");
    m_cached = p ? p->readInteger() : m_value;
    m_cacheValid = true;
    return m_cached;
}

void CBooleanNode::writeInteger(int64_t value, bool verify)
{
    DepthGuard guard(this);
    m_cacheValid = false;
    if (CNodeImpl* p = link("pValue")) {
        p->writeInteger(value, verify);
    } else {
        m_value = value;
        changed();
    }
}

void CBooleanNode::SetValue(bool value, bool verify)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
    writeInteger(value ? m_on : m_off, verify);
}

bool CBooleanNode::GetValue(bool, bool ignoreCache)
{
    AutoLock lock(m_map->GetLock());
    checkReadable();
    if (ignoreCache)
        invalidateReadingTree();
    return readInteger() == m_on;
}

GenICam::gcstring CBooleanNode::ToString(bool verify, bool ignoreCache)
{
    return GetValue(verify, ignoreCache) ? "1" : "0";
}

void CBooleanNode::FromString(const GenICam::gcstring& text, bool verify)
{
    std::string t = trimmedText(text.str());
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (t == "1" || t == "true")
        SetValue(true, verify);
    else if (t == "0" || t == "false")
        SetValue(false, verify);
    else
        throw INVALID_ARGUMENT_EXCEPTION("Node '%s': '%s' is not a boolean", name().c_str(), text.c_str());
}

// ---------------------------------------------------------------------------------------------- enumerations

void CEnumEntryNode::Resolve()
{
    CNodeImpl::Resolve();
    m_value = property("Value") ? parseInteger(text("Value"), "Value") : 0;
    m_numeric =
        property("NumericValue") ? parseDouble(text("NumericValue"), "NumericValue") : static_cast<double>(m_value);
    m_symbolic = trimmedText(text("Symbolic", name()));
}

GenICam::gcstring CEnumEntryNode::ToString(bool, bool)
{
    return m_symbolic;
}

void CEnumerationNode::Resolve()
{
    CNodeImpl::Resolve();
    for (CNodeImpl* n : links("pEnumEntry")) {
        auto entry = dynamic_cast<CEnumEntryNode*>(n);
        if (!entry)
            throw RUNTIME_EXCEPTION("Node '%s': '%s' is not an EnumEntry", name().c_str(), n->name().c_str());
        m_entries.push_back(entry);
    }
    if (!link("pValue"))
        m_value = property("Value") ? parseInteger(text("Value"), "Value") : 0;
}

EAccessMode CEnumerationNode::intrinsicAccessMode() const
{
    if (CNodeImpl* v = link("pValue"))
        return v->GetAccessMode();
    return RW;
}

CEnumEntryNode* CEnumerationNode::entryFor(int64_t value) const
{
    for (CEnumEntryNode* e : m_entries)
        if (e->GetValue() == value)
            return e;
    return nullptr;
}

int64_t CEnumerationNode::readInteger()
{
    DepthGuard guard(this);
    if (m_cacheValid && IsCachable())
        return m_cached;
    CNodeImpl* p = link("pValue");
    m_cached = p ? p->readInteger() : m_value;
    m_cacheValid = true;
    return m_cached;
}

void CEnumerationNode::writeInteger(int64_t value, bool verify)
{
    DepthGuard guard(this);
    m_cacheValid = false;
    if (CNodeImpl* p = link("pValue")) {
        p->writeInteger(value, verify);
    } else {
        m_value = value;
        changed();
    }
}

void CEnumerationNode::GetSymbolics(StringList_t& symbolics)
{
    AutoLock lock(m_map->GetLock());
    symbolics.clear();
    for (CEnumEntryNode* e : m_entries)
        if (IsAvailable(e->GetAccessMode()))
            symbolics.push_back(e->GetSymbolic());
}

void CEnumerationNode::GetEntries(NodeList_t& entries)
{
    entries.assign(m_entries.begin(), m_entries.end());
}

IEnumeration& CEnumerationNode::operator=(const GenICam::gcstring& text)
{
    FromString(text);
    return *this;
}

void CEnumerationNode::SetIntValue(int64_t value, bool verify)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
    CEnumEntryNode* entry = entryFor(value);
    if (!entry)
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': no entry has the value %" PRId64, name().c_str(), value);
    if (!IsAvailable(entry->GetAccessMode()))
        throw ACCESS_EXCEPTION("Node '%s': entry '%s' is not available", name().c_str(), entry->GetSymbolic().c_str());
    writeInteger(value, verify);
}

int64_t CEnumerationNode::GetIntValue(bool, bool ignoreCache)
{
    AutoLock lock(m_map->GetLock());
    checkReadable();
    if (ignoreCache)
        invalidateReadingTree();
    return readInteger();
}

IEnumEntry* CEnumerationNode::GetEntryByName(const GenICam::gcstring& symbolic)
{
    for (CEnumEntryNode* e : m_entries)
        if (e->GetSymbolic() == symbolic)
            return e;
    return nullptr;
}

IEnumEntry* CEnumerationNode::GetEntry(const int64_t value)
{
    return entryFor(value);
}

IEnumEntry* CEnumerationNode::GetCurrentEntry(bool verify, bool ignoreCache)
{
    AutoLock lock(m_map->GetLock());
    return entryFor(GetIntValue(verify, ignoreCache));
}

GenICam::gcstring CEnumerationNode::ToString(bool verify, bool ignoreCache)
{
    AutoLock lock(m_map->GetLock());
    const int64_t v = GetIntValue(verify, ignoreCache);
    CEnumEntryNode* e = entryFor(v);
    if (!e)
        throw RUNTIME_EXCEPTION("Node '%s': the value %" PRId64 " has no entry", name().c_str(), v);
    return e->GetSymbolic();
}

void CEnumerationNode::FromString(const GenICam::gcstring& text, bool verify)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
    IEnumEntry* entry = GetEntryByName(GenICam::gcstring(trimmedText(text.str())));
    if (!entry)
        throw INVALID_ARGUMENT_EXCEPTION("Node '%s' has no entry '%s'", name().c_str(), text.c_str());
    if (!IsAvailable(entry->GetAccessMode()))
        throw ACCESS_EXCEPTION("Node '%s': entry '%s' is not available", name().c_str(), text.c_str());
    writeInteger(entry->GetValue(), verify);
}

// ---------------------------------------------------------------------------------------------- commands

EAccessMode CCommandNode::intrinsicAccessMode() const
{
    if (CNodeImpl* v = link("pValue"))
        return v->GetAccessMode();
    return WO;
}

int64_t CCommandNode::readInteger()
{
    CNodeImpl* p = link("pValue");
    return p ? p->readInteger() : m_value;
}

void CCommandNode::Execute(bool verify)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
    DepthGuard guard(this);
    const int64_t commandValue = integerOf("CommandValue", "pCommandValue", 1);
    if (CNodeImpl* p = link("pValue")) {
        p->writeInteger(commandValue, verify);
    } else {
        // A command without a register is done at once.
        m_value = 0;
        changed();
    }
}

bool CCommandNode::IsDone(bool)
{
    AutoLock lock(m_map->GetLock());
    CNodeImpl* p = link("pValue");
    if (!p || !IsReadable(p->GetAccessMode()))
        return true;
    DepthGuard guard(this);
    p->invalidateReadingTree();
    return p->readInteger() != integerOf("CommandValue", "pCommandValue", 1);
}

GenICam::gcstring CCommandNode::ToString(bool, bool)
{
    checkReadable();
    return IsDone() ? "0" : "1";
}

void CCommandNode::FromString(const GenICam::gcstring& text, bool verify)
{
    const std::string t = trimmedText(text.str());
    if (t == "1" || t == "true" || t == "True")
        Execute(verify);
    else if (!(t == "0" || t == "false" || t == "False"))
        throw INVALID_ARGUMENT_EXCEPTION("Node '%s': '%s' does not execute a command", name().c_str(), text.c_str());
}

// ---------------------------------------------------------------------------------------------- strings

void CStringNode::Resolve()
{
    CNodeImpl::Resolve();
    if (kind() == "StringReg") {
        m_register = true;
        requireLink(this, "pPort");
        if (!dynamic_cast<CPortNode*>(link("pPort")))
            throw RUNTIME_EXCEPTION("Node '%s': pPort '%s' is not a Port", name().c_str(),
                                    link("pPort")->name().c_str());
    } else {
        m_value = text("Value");
    }
}

EAccessMode CStringNode::intrinsicAccessMode() const
{
    if (m_register)
        return CRegisterAccess(const_cast<CStringNode*>(this)).accessMode();
    return RW;
}

std::string CStringNode::readText()
{
    DepthGuard guard(this);
    if (!m_register)
        return m_value;
    if (m_cacheValid && IsCachable())
        return m_cached;
    std::vector<uint8_t> bytes;
    CRegisterAccess(this).read(bytes);
    const auto end = std::find(bytes.begin(), bytes.end(), uint8_t(0));
    m_cached.assign(bytes.begin(), end);
    m_cacheValid = true;
    return m_cached;
}

int64_t CStringNode::readInteger()
{
    throw RUNTIME_EXCEPTION("Node '%s' is a string, not a number", name().c_str());
}

int64_t CStringNode::GetMaxLength()
{
    AutoLock lock(m_map->GetLock());
    return m_register ? CRegisterAccess(this).length() : 0x7FFFFFFF;
}

void CStringNode::SetValue(const GenICam::gcstring& value, bool)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
    DepthGuard guard(this);
    const int64_t maxLength = GetMaxLength();
    if (static_cast<int64_t>(value.size()) > maxLength)
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': %zu characters exceed the length %" PRId64, name().c_str(),
                                     value.size(), maxLength);
    if (m_register) {
        std::vector<uint8_t> bytes(static_cast<size_t>(maxLength), 0);
        std::copy(value.str().begin(), value.str().end(), bytes.begin());
        m_cacheValid = false;
        CRegisterAccess(this).write(bytes);
        if (GetCachingMode() == WriteThrough) {
            m_cached = value.str();
            m_cacheValid = true;
        }
    } else {
        m_value = value.str();
    }
    changed();
}

IString& CStringNode::operator=(const GenICam::gcstring& value)
{
    SetValue(value);
    return *this;
}

GenICam::gcstring CStringNode::GetValue(bool, bool ignoreCache)
{
    AutoLock lock(m_map->GetLock());
    checkReadable();
    if (ignoreCache)
        invalidateReadingTree();
    return readText();
}

GenICam::gcstring CStringNode::ToString(bool verify, bool ignoreCache)
{
    return GetValue(verify, ignoreCache);
}

void CStringNode::FromString(const GenICam::gcstring& text, bool verify)
{
    SetValue(text, verify);
}

// ---------------------------------------------------------------------------------------------- registers

EAccessMode CRegisterNode::intrinsicAccessMode() const
{
    return CRegisterAccess(const_cast<CRegisterNode*>(this)).accessMode();
}

int64_t CRegisterNode::GetLength()
{
    AutoLock lock(m_map->GetLock());
    DepthGuard guard(this);
    return CRegisterAccess(this).length();
}

int64_t CRegisterNode::GetAddress()
{
    AutoLock lock(m_map->GetLock());
    DepthGuard guard(this);
    return CRegisterAccess(this).address();
}

void CRegisterNode::Get(uint8_t* buffer, int64_t length, bool, bool ignoreCache)
{
    AutoLock lock(m_map->GetLock());
    checkReadable();
    DepthGuard guard(this);
    const int64_t own = CRegisterAccess(this).length();
    if (!buffer || length < 0 || length > own)
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': cannot read %" PRId64 " bytes of a %" PRId64 "-byte register",
                                     name().c_str(), length, own);
    if (ignoreCache || !m_cacheValid || !IsCachable()) {
        CRegisterAccess(this).read(m_cached);
        m_cacheValid = true;
    }
    std::copy(m_cached.begin(), m_cached.begin() + length, buffer);
}

void CRegisterNode::Set(const uint8_t* buffer, int64_t length, bool)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
    DepthGuard guard(this);
    const int64_t own = CRegisterAccess(this).length();
    if (!buffer || length != own)
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': cannot write %" PRId64 " bytes to a %" PRId64 "-byte register",
                                     name().c_str(), length, own);
    std::vector<uint8_t> bytes(buffer, buffer + length);
    m_cacheValid = false;
    CRegisterAccess(this).write(bytes);
    if (GetCachingMode() == WriteThrough) {
        m_cached = bytes;
        m_cacheValid = true;
    }
    changed();
}

GenICam::gcstring CRegisterNode::ToString(bool verify, bool ignoreCache)
{
    AutoLock lock(m_map->GetLock());
    std::vector<uint8_t> bytes(static_cast<size_t>(GetLength()));
    Get(bytes.data(), static_cast<int64_t>(bytes.size()), verify, ignoreCache);
    std::string out = "0x";
    char hex[3];
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        out += hex;
    }
    return out;
}

void CRegisterNode::FromString(const GenICam::gcstring& text, bool verify)
{
    std::string t = trimmedText(text.str());
    if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
        t = t.substr(2);
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < t.size() + 1 && i < t.size(); i += 2) {
        if (i + 1 >= t.size() || !std::isxdigit(static_cast<unsigned char>(t[i])) ||
            !std::isxdigit(static_cast<unsigned char>(t[i + 1])))
            throw INVALID_ARGUMENT_EXCEPTION("Node '%s': '%s' is not a hexadecimal byte string", name().c_str(),
                                             text.c_str());
        bytes.push_back(static_cast<uint8_t>(std::stoi(t.substr(i, 2), nullptr, 16)));
    }
    Set(bytes.data(), static_cast<int64_t>(bytes.size()), verify);
}

// ---------------------------------------------------------------------------------------------- ports

void CPortNode::Read(void* buffer, int64_t address, int64_t length)
{
    AutoLock lock(m_map->GetLock());
    if (!m_port)
        throw ACCESS_EXCEPTION("Port '%s' is not connected", name().c_str());
    if (length < 0 || (length > 0 && !buffer))
        throw INVALID_ARGUMENT_EXCEPTION("Port '%s': bad read of %" PRId64 " bytes", name().c_str(), length);
    m_port->Read(buffer, address, length);
}

void CPortNode::Write(const void* buffer, int64_t address, int64_t length)
{
    AutoLock lock(m_map->GetLock());
    if (!m_port)
        throw ACCESS_EXCEPTION("Port '%s' is not connected", name().c_str());
    if (length < 0 || (length > 0 && !buffer))
        throw INVALID_ARGUMENT_EXCEPTION("Port '%s': bad write of %" PRId64 " bytes", name().c_str(), length);
    m_port->Write(buffer, address, length);
}

GenICam::gcstring CPortNode::ToString(bool, bool)
{
    return GenICam::gcstring();
}

// ---------------------------------------------------------------------------------------------- categories

void CCategoryNode::GetFeatures(FeatureList_t& features) const
{
    features.clear();
    for (CNodeImpl* n : links("pFeature"))
        features.push_back(n);
}

GenICam::gcstring CCategoryNode::ToString(bool, bool)
{
    return GenICam::gcstring();
}
} // namespace GenApi
