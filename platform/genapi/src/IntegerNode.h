// Integer nodes: Integer, IntReg, MaskedIntReg, IntSwissKnife and IntConverter.
#pragma once

#include "NodeImpl.h"

namespace GenApi {
class CIntegerNode : public CNodeImpl, virtual public IInteger {
public:
    using CNodeImpl::CNodeImpl;
    void Resolve() override;

    void SetValue(int64_t Value, bool Verify = true) override;
    IInteger& operator=(int64_t Value) override;
    int64_t GetValue(bool Verify = false, bool IgnoreCache = false) override;
    int64_t operator()() override { return GetValue(); }
    int64_t operator*() override { return GetValue(); }
    int64_t GetMin() override;
    int64_t GetMax() override;
    EIncMode GetIncMode() override;
    int64_t GetInc() override;
    int64_autovector_t GetListOfValidValues(bool bounded = true) override;
    ERepresentation GetRepresentation() override;
    GenICam::gcstring GetUnit() const override;
    void ImposeMin(int64_t Value) override;
    void ImposeMax(int64_t Value) override;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIInteger; }
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
    void FromString(const GenICam::gcstring& ValueStr, bool Verify = true) override;

    int64_t readInteger() override;
    double readDouble() override { return static_cast<double>(readInteger()); }
    void writeInteger(int64_t value, bool verify) override;
    void writeDouble(double value, bool verify) override;
    EAccessMode intrinsicAccessMode() const override;
    bool isDeviceRegister() const override { return m_register; }

private:
    int64_t minimum();
    int64_t maximum();
    void checkValue(int64_t value);
    void storeRaw(int64_t value, bool verify);
    int64_t decode(const std::vector<uint8_t>& bytes) const;
    bool m_register = false;
    int64_t m_value = 0;
    int64_t m_cached = 0;
    bool m_hasImposedMin = false, m_hasImposedMax = false;
    int64_t m_imposedMin = 0, m_imposedMax = 0;
    std::unique_ptr<CFormula> m_formula, m_formulaTo, m_formulaFrom;
};
} // namespace GenApi
