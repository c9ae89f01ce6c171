// The logic integer and float nodes share, instantiated for both.
#include "NumberNode.h"

#include "NodeMapImpl.h"
#include "NodeText.h"
#include "RegisterAccess.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <type_traits>

namespace GenApi {
namespace {
template <class T>
constexpr bool isInteger = std::is_integral<T>::value;

template <class T>
T lowest()
{
    return isInteger<T> ? std::numeric_limits<T>::min() : -std::numeric_limits<T>::max();
}

template <class T>
T highest()
{
    return std::numeric_limits<T>::max();
}

// A double as a limit of type T: integers saturate at the ends of 64 bits instead of wrapping.
template <class T>
T toLimit(double v)
{
    if constexpr (isInteger<T>) {
        if (std::isnan(v))
            return 0;
        if (v <= -9.2233720368547758e18)
            return std::numeric_limits<int64_t>::min();
        if (v >= 9.2233720368547758e18)
            return std::numeric_limits<int64_t>::max();
        return static_cast<int64_t>(v);
    } else {
        return v;
    }
}

template <class T>
T readAs(CNodeImpl* node)
{
    if constexpr (isInteger<T>)
        return node->readInteger();
    else
        return node->readDouble();
}

template <class T>
void writeAs(CNodeImpl* node, T value, bool verify)
{
    if constexpr (isInteger<T>)
        node->writeInteger(value, verify);
    else
        node->writeDouble(value, verify);
}
} // namespace

void rangeOf(CNodeImpl* node, double& low, double& high)
{
    low = -DBL_MAX;
    high = DBL_MAX;
    if (auto i = dynamic_cast<CNumberNode<int64_t, IInteger>*>(node))
        i->limitsAsDoubles(low, high);
    else if (auto f = dynamic_cast<CNumberNode<double, IFloat>*>(node))
        f->limitsAsDoubles(low, high);
}

template <class T, class I>
void CNumberNode<T, I>::Resolve()
{
    CNodeImpl::Resolve();
    const std::string& k = kind();
    const auto endsWith = [&k](const char* tail) {
        const size_t n = std::char_traits<char>::length(tail);
        return k.size() >= n && k.compare(k.size() - n, n, tail) == 0;
    };
    m_form = endsWith("Reg")          ? Form::Register
             : endsWith("SwissKnife") ? Form::SwissKnife
             : endsWith("Converter")  ? Form::Converter
                                      : Form::Plain;
    const auto number = [this](const std::string& text, const char* what) -> T {
        if constexpr (isInteger<T>)
            return parseInteger(text, what);
        else
            return parseDouble(text, what);
    };
    if (const XmlProperty* set = property("ValidValueSet")) {
        // Values separated by semicolons (commas and spaces are taken too).
        std::string item;
        for (char c : set->text + ";") {
            if (c == ';' || c == ',' || std::isspace(static_cast<unsigned char>(c))) {
                if (!item.empty())
                    m_validValues.push_back(number(item, "ValidValueSet"));
                item.clear();
            } else {
                item += c;
            }
        }
        std::sort(m_validValues.begin(), m_validValues.end());
    }
    switch (m_form) {
    case Form::Plain:
        if (!link("pValue") && property("Value"))
            m_value = number(text("Value"), "Value");
        // A value per entry of the selector in pIndex, and a default for the other entries.
        for (const XmlProperty& p : m_definition.properties) {
            if (p.name != "ValueIndexed" && p.name != "pValueIndexed")
                continue;
            const std::string* index = p.attribute("Index");
            if (!index || !link("pIndex"))
                throw RUNTIME_EXCEPTION("Node '%s': %s needs an Index and a pIndex", name().c_str(), p.name.c_str());
            m_indexed = true;
            const int64_t at = parseInteger(*index, "Index");
            if (p.name == "ValueIndexed")
                m_indexedValues[at] = number(p.text, "ValueIndexed");
            else
                m_indexedNodes[at] = m_map->find(trimmedText(p.text)); // Resolve has refused unknown ones
        }
        if (property("ValueDefault"))
            m_value = number(text("ValueDefault"), "ValueDefault");
        break;
    case Form::Register:
        resolveRegisterAccess(this);
        resolveRegister();
        break;
    case Form::SwissKnife: m_formula = parseFormula("Formula", true); break;
    case Form::Converter:
        requireLink(this, "pValue");
        m_formulaTo = parseFormula("FormulaTo", true);
        m_formulaFrom = parseFormula("FormulaFrom", true);
        break;
    }
}

template <class T, class I>
CNodeImpl* CNumberNode<T, I>::source(T*& own)
{
    own = nullptr;
    if (!m_indexed) {
        if (CNodeImpl* p = link("pValue"))
            return p;
        own = &m_value;
        return nullptr;
    }
    const int64_t index = link("pIndex")->readInteger();
    auto n = m_indexedNodes.find(index);
    if (n != m_indexedNodes.end())
        return n->second;
    auto v = m_indexedValues.find(index);
    if (v != m_indexedValues.end()) {
        own = &v->second;
        return nullptr;
    }
    if (CNodeImpl* d = link("pValueDefault"))
        return d;
    own = &m_value;
    return nullptr;
}

template <class T, class I>
EAccessMode CNumberNode<T, I>::intrinsicAccessMode() const
{
    if (m_form == Form::Register)
        return CRegisterAccess(const_cast<CNumberNode*>(this)).accessMode();
    if (m_form == Form::SwissKnife)
        return RO;
    if (m_form == Form::Converter)
        return link("pValue")->GetAccessMode();
    T* own;
    CNodeImpl* p = const_cast<CNumberNode*>(this)->source(own);
    return p ? p->GetAccessMode() : RW;
}

template <class T, class I>
T CNumberNode<T, I>::evaluate(const CFormula& formula, const char* variable, T value)
{
    if constexpr (isInteger<T>) {
        std::map<std::string, int64_t> extra;
        if (variable)
            extra[variable] = value;
        return evalInteger(formula, extra);
    } else {
        std::map<std::string, double> extra;
        if (variable)
            extra[variable] = value;
        return evalDouble(formula, extra);
    }
}

template <class T, class I>
T CNumberNode<T, I>::readValue()
{
    DepthGuard guard(this);
    if (m_cacheValid && IsCachable())
        return m_cached;
    T v = T();
    switch (m_form) {
    case Form::Register: v = readRegister(); break;
    case Form::SwissKnife: v = evaluate(*m_formula, nullptr, T()); break;
    case Form::Converter: v = evaluate(*m_formulaFrom, "TO", readAs<T>(link("pValue"))); break;
    case Form::Plain: {
        T* own;
        CNodeImpl* p = source(own);
        v = p ? readAs<T>(p) : *own;
        break;
    }
    }
    m_cached = v;
    m_cacheValid = true;
    return v;
}

template <class T, class I>
void CNumberNode<T, I>::writeValue(T value, bool verify)
{
    DepthGuard guard(this);
    m_cacheValid = false;
    T written = value;
    switch (m_form) {
    case Form::Register: {
        written = writeRegister(value);
        keepWritten(m_cached, written);
        changed();
        break;
    }
    case Form::SwissKnife: throw ACCESS_EXCEPTION("Node '%s' is not writable", name().c_str());
    case Form::Converter: writeAs<T>(link("pValue"), evaluate(*m_formulaTo, "FROM", value), verify); break;
    case Form::Plain: {
        T* own;
        if (CNodeImpl* p = source(own)) {
            writeAs<T>(p, value, verify);
        } else {
            *own = value;
            changed();
        }
        break;
    }
    }
    noteWritten(keyOf(written));
}

template <class T, class I>
int64_t CNumberNode<T, I>::readInteger()
{
    if constexpr (isInteger<T>)
        return readValue();
    else
        return toLimit<int64_t>(std::trunc(readValue()));
}

template <class T, class I>
double CNumberNode<T, I>::readDouble()
{
    return static_cast<double>(readValue());
}

template <class T, class I>
void CNumberNode<T, I>::writeInteger(int64_t value, bool verify)
{
    writeValue(static_cast<T>(value), verify);
}

template <class T, class I>
void CNumberNode<T, I>::writeDouble(double value, bool verify)
{
    if constexpr (isInteger<T>)
        writeValue(roundToInteger(this, value), verify);
    else
        writeValue(value, verify);
}

// A bound of the target through FormulaFrom (converted: the same computed in doubles). Integer converters
// compute in integers like their values, unless the bound has a fraction integers would cut, or the integer
// arithmetic wrapped around 64 bits (the result lies beyond them, or far from the double one): then the
// double result serves, saturated at the ends of 64 bits.
template <class T, class I>
T CNumberNode<T, I>::convertBound(double to, double converted)
{
    if constexpr (isInteger<T>) {
        if (std::fabs(converted) >= 9.2233720368547758e18 || to != std::trunc(to))
            return toLimit<T>(converted);
        const int64_t i = evalInteger(*m_formulaFrom, {{"TO", toLimit<int64_t>(to)}});
        const bool wrapped = std::fabs(static_cast<double>(i) - converted) > 1e-6 * std::fabs(converted) + 1.0;
        return wrapped ? toLimit<T>(converted) : i;
    } else {
        (void)to;
        return converted;
    }
}

template <class T, class I>
void CNumberNode<T, I>::convertedRange(T& low, T& high)
{
    double tmin, tmax;
    rangeOf(link("pValue"), tmin, tmax);
    const double da = evalDouble(*m_formulaFrom, {{"TO", tmin}});
    const double db = evalDouble(*m_formulaFrom, {{"TO", tmax}});
    if (std::isnan(da) || std::isnan(db))
        return; // a formula without a usable range leaves the node unbounded
    const T a = convertBound(tmin, da), b = convertBound(tmax, db);
    low = std::min(a, b);
    high = std::max(a, b);
}

template <class T, class I>
void CNumberNode<T, I>::derivedRange(T& low, T& high)
{
    low = lowest<T>();
    high = highest<T>();
    if (m_form == Form::Register) {
        registerRange(low, high);
    } else if (m_form == Form::Converter) {
        convertedRange(low, high);
    } else {
        T* own;
        if (CNodeImpl* p = source(own)) {
            double a, b;
            rangeOf(p, a, b);
            low = toLimit<T>(a);
            high = toLimit<T>(b);
        }
    }
}

template <class T, class I>
void CNumberNode<T, I>::limits(T& low, T& high)
{
    DepthGuard guard(this);
    const bool ownMin = link("pMin") || property("Min");
    const bool ownMax = link("pMax") || property("Max");
    low = lowest<T>();
    high = highest<T>();
    if (!ownMin || !ownMax)
        derivedRange(low, high);
    if constexpr (isInteger<T>) {
        if (ownMin)
            low = integerOf("Min", "pMin", low);
        if (ownMax)
            high = integerOf("Max", "pMax", high);
    } else {
        if (ownMin)
            low = doubleOf("Min", "pMin", low);
        if (ownMax)
            high = doubleOf("Max", "pMax", high);
    }
    if (m_hasImposedMin)
        low = std::max(low, m_imposedMin);
    if (m_hasImposedMax)
        high = std::min(high, m_imposedMax);
}

template <class T, class I>
void CNumberNode<T, I>::limitsAsDoubles(double& low, double& high)
{
    T l, h;
    limits(l, h);
    low = static_cast<double>(l);
    high = static_cast<double>(h);
}

// The refusal names the limits and the increment, so that a user sees what the node takes.
template <class T, class I>
void CNumberNode<T, I>::checkValue(T value)
{
    T low, high, inc = T();
    limits(low, high);
    const bool stepped = increment(inc) && inc > 0;
    const auto number = [](T v) {
        char text[64];
        if constexpr (isInteger<T>)
            std::snprintf(text, sizeof text, "%" PRId64, v);
        else
            std::snprintf(text, sizeof text, "%.10g", v);
        return std::string(text);
    };
    const std::string limitsText = "minimum " + number(low) + ", maximum " + number(high) +
                                   (stepped ? ", increment " + number(inc) : std::string());
    bool inRange = value >= low && value <= high; // false for NaN
    if (!inRange)
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': value %s is out of range: %s", name().c_str(), number(value).c_str(),
                                     limitsText.c_str());
    if (!m_validValues.empty()) {
        const bool listed = std::any_of(m_validValues.begin(), m_validValues.end(), [value](T v) {
            return isInteger<T> ? v == value : std::fabs(static_cast<double>(v - value)) <= 1e-9 * std::fabs(double(v));
        });
        if (!listed) {
            std::string list;
            for (T v : m_validValues)
                list += (list.empty() ? "" : ", ") + number(v);
            throw OUT_OF_RANGE_EXCEPTION("Node '%s': value %s is not one of the valid values %s", name().c_str(),
                                         number(value).c_str(), list.c_str());
        }
        return;
    }
    if constexpr (isInteger<T>) {
        if (stepped && (static_cast<uint64_t>(value) - static_cast<uint64_t>(low)) % static_cast<uint64_t>(inc) != 0)
            throw OUT_OF_RANGE_EXCEPTION("Node '%s': value %s is not the minimum plus a multiple of the increment: %s",
                                         name().c_str(), number(value).c_str(), limitsText.c_str());
    }
}

template <class T, class I>
std::vector<T> CNumberNode<T, I>::validValues(bool bounded)
{
    AutoLock lock(nodeMapLock());
    if (!bounded)
        return m_validValues;
    T low, high;
    limits(low, high);
    std::vector<T> values;
    for (T v : m_validValues)
        if (v >= low && v <= high)
            values.push_back(v);
    return values;
}

template <class T, class I>
void CNumberNode<T, I>::SetValue(T value, bool verify)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
    // Without Verify the caller takes the range into its own hands.
    if (verify)
        checkValue(value);
    writeValue(value, verify);
}

template <class T, class I>
T CNumberNode<T, I>::GetValue(bool, bool ignoreCache)
{
    return checkedRead(ignoreCache, [this] { return readValue(); });
}

template <class T, class I>
T CNumberNode<T, I>::GetMin()
{
    AutoLock lock(m_map->GetLock());
    T low, high;
    limits(low, high);
    return low;
}

template <class T, class I>
T CNumberNode<T, I>::GetMax()
{
    AutoLock lock(m_map->GetLock());
    T low, high;
    limits(low, high);
    return high;
}

template <class T, class I>
ERepresentation CNumberNode<T, I>::GetRepresentation()
{
    return representationOf(text("Representation", "PureNumber"));
}

template <class T, class I>
GenICam::gcstring CNumberNode<T, I>::GetUnit() const
{
    return text("Unit");
}

template <class T, class I>
void CNumberNode<T, I>::ImposeMin(T value)
{
    AutoLock lock(m_map->GetLock());
    m_hasImposedMin = true;
    m_imposedMin = value;
}

template <class T, class I>
void CNumberNode<T, I>::ImposeMax(T value)
{
    AutoLock lock(m_map->GetLock());
    m_hasImposedMax = true;
    m_imposedMax = value;
}

template class CNumberNode<int64_t, IInteger>;
template class CNumberNode<double, IFloat>;
} // namespace GenApi
