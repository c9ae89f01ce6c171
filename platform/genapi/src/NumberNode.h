// What integer and float nodes share: where the value lives (the node itself, pValue, a register, a formula
// or a converter over another node), its limits with their impositions, the range check and the cache.
// CIntegerNode and CFloatNode add what differs: the register's bytes, the increment and the text forms.
#pragma once

#include "NodeImpl.h"

#include <map>
#include <memory>
#include <vector>

namespace GenApi {
template <class T, class Interface>
class CNumberNode : public CNodeImpl, virtual public Interface {
public:
    using CNodeImpl::CNodeImpl;
    void Resolve() override;

    void SetValue(T Value, bool Verify = true) override;
    Interface& operator=(T Value) override
    {
        SetValue(Value);
        return *this;
    }
    T GetValue(bool Verify = false, bool IgnoreCache = false) override;
    T operator()() override { return GetValue(); }
    T operator*() override { return GetValue(); }
    T GetMin() override;
    T GetMax() override;
    ERepresentation GetRepresentation() override;
    GenICam::gcstring GetUnit() const override;
    void ImposeMin(T Value) override;
    void ImposeMax(T Value) override;

    // Both limits in one pass, for a node whose range follows this one's (with the lock held): asked
    // one at a time, each node along a chain of pValue links would ask the next one twice.
    void limitsAsDoubles(double& low, double& high);

    int64_t readInteger() override;
    double readDouble() override;
    std::string valueKey() override { return keyOf(readValue()); }
    void writeInteger(int64_t value, bool verify) override;
    void writeDouble(double value, bool verify) override;
    EAccessMode intrinsicAccessMode() const override;
    bool isDeviceRegister() const override { return m_form == Form::Register; }

protected:
    // The node kinds by where their value comes from (IntReg and FloatReg are both registers, ...).
    enum class Form { Plain, Register, SwissKnife, Converter };

    // The register's bytes as a number and back; writeRegister returns the value as the register holds it.
    virtual void resolveRegister() = 0;
    virtual T readRegister() = 0;
    virtual T writeRegister(T value) = 0;
    // The values the register's width and sign allow.
    virtual void registerRange(T& low, T& high) = 0;
    // The increment values step by, when the node has one.
    virtual bool increment(T& inc) = 0;
    // Throws OutOfRangeException for a value the node does not take, naming its limits and increment.
    void checkValue(T value);

    T readValue();
    void writeValue(T value, bool verify);
    // The limits, with Min/pMin and Max/pMax before what the value's source allows, and the impositions last.
    void limits(T& low, T& high);
    // The values of a ValidValueSet (the node then steps through a list), within the limits when bounded.
    bool hasValidValueSet() const { return !m_validValues.empty(); }
    std::vector<T> validValues(bool bounded);

    Form m_form = Form::Plain;

private:
    // Where the value lives for a plain node: another node, or a value of this node's own (the one for
    // the selector's current index, with ValueIndexed).
    CNodeImpl* source(T*& own);
    void derivedRange(T& low, T& high);
    void convertedRange(T& low, T& high);
    T convertBound(double to, double converted);
    T evaluate(const CFormula& formula, const char* variable, T value);

    T m_value = T(); // Value, or ValueDefault of an indexed node
    T m_cached = T();
    bool m_indexed = false;
    std::map<int64_t, T> m_indexedValues;
    std::map<int64_t, CNodeImpl*> m_indexedNodes;
    std::vector<T> m_validValues;
    bool m_hasImposedMin = false, m_hasImposedMax = false;
    T m_imposedMin = T(), m_imposedMax = T();
    std::unique_ptr<CFormula> m_formula, m_formulaTo, m_formulaFrom;
};

// The limits of an integer or float node, as doubles; other nodes are unbounded.
void rangeOf(CNodeImpl* node, double& low, double& high);
} // namespace GenApi
