// The logic integer and float nodes share, instantiated for both.
#include "NumberNode.h"

#include "NodeMapImpl.h"
#include "NodeText.h"
#include "RegisterAccess.h"

#include <algorithm>
#include <cfloat>
#include <cinttypes>
#include <cmath>
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
    if (auto i = dynamic_cast<IInteger*>(node)) {
        low = static_cast<double>(i->GetMin());
        high = static_cast<double>(i->GetMax());
    } else if (auto f = dynamic_cast<IFloat*>(node)) {
        low = f->GetMin();
        high = f->GetMax();
    }
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
    switch (m_form) {
    case Form::Plain:
        if (!link("pValue") && property("Value")) {
            if constexpr (isInteger<T>)
                m_value = parseInteger(text("Value"), "Value");
            else
                m_value = parseDouble(text("Value"), "Value");
        }
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
EAccessMode CNumberNode<T, I>::intrinsicAccessMode() const
{
    if (m_form == Form::Register)
        return CRegisterAccess(const_cast<CNumberNode*>(this)).accessMode();
    if (m_form == Form::SwissKnife)
        return RO;
    if (CNodeImpl* v = link("pValue"))
        return v->GetAccessMode();
    return RW;
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
    case Form::Plain:
        if (CNodeImpl* p = link("pValue"))
            v = readAs<T>(p);
        else
            v = m_value;
        break;
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
    switch (m_form) {
    case Form::Register: {
        const T stored = writeRegister(value);
        keepWritten(m_cached, stored);
        changed();
        break;
    }
    case Form::SwissKnife: throw ACCESS_EXCEPTION("Node '%s' is not writable", name().c_str());
    case Form::Converter: writeAs<T>(link("pValue"), evaluate(*m_formulaTo, "FROM", value), verify); break;
    case Form::Plain:
        if (CNodeImpl* p = link("pValue")) {
            writeAs<T>(p, value, verify);
        } else {
            m_value = value;
            changed();
        }
        break;
    }
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
// compute in integers like their values, unless the integer arithmetic wrapped around 64 bits (the double
// result lies beyond them, or far from the integer one): then the bound saturates.
template <class T, class I>
T CNumberNode<T, I>::convertBound(double to, double converted)
{
    if constexpr (isInteger<T>) {
        if (std::fabs(converted) >= 9.2233720368547758e18)
            return toLimit<T>(converted);
        const int64_t i = evalInteger(*m_formulaFrom, {{"TO", toLimit<int64_t>(to)}});
        const bool wrapped = std::fabs(static_cast<double>(i) - converted) > 1e-3 * std::fabs(converted) + 1e3;
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
    } else if (CNodeImpl* p = link("pValue")) {
        double a, b;
        rangeOf(p, a, b);
        low = toLimit<T>(a);
        high = toLimit<T>(b);
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
void CNumberNode<T, I>::checkValue(T value)
{
    T low, high;
    limits(low, high);
    if constexpr (isInteger<T>) {
        if (value < low)
            throw OUT_OF_RANGE_EXCEPTION("Node '%s': value %" PRId64 " is below the minimum %" PRId64, name().c_str(),
                                         value, low);
        if (value > high)
            throw OUT_OF_RANGE_EXCEPTION("Node '%s': value %" PRId64 " is above the maximum %" PRId64,
                                         name().c_str(), value, high);
    } else {
        if (std::isnan(value) || value < low)
            throw OUT_OF_RANGE_EXCEPTION("Node '%s': value %g is below the minimum %g", name().c_str(), value, low);
        if (value > high)
            throw OUT_OF_RANGE_EXCEPTION("Node '%s': value %g is above the maximum %g", name().c_str(), value, high);
    }
}

template <class T, class I>
void CNumberNode<T, I>::SetValue(T value, bool verify)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
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
