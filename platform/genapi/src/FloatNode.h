// Float nodes: Float, FloatReg, SwissKnife and Converter.
#pragma once

#include "NodeImpl.h"

namespace GenApi {
class CFloatNode : public CNodeImpl, virtual public IFloat {
public:
    using CNodeImpl::CNodeImpl;
    void Resolve() override;

    void SetValue(double Value, bool Verify = true) override;
    IFloat& operator=(double Value) override;
    double GetValue(bool Verify = false, bool IgnoreCache = false) override;
    double operator()() override { return GetValue(); }
    double operator*() override { return GetValue(); }
    double GetMin() override;
    double GetMax() override;
    bool HasInc() override;
    EIncMode GetIncMode() override;
    double GetInc() override;
    double_autovector_t GetListOfValidValues(bool bounded = true) override;
    ERepresentation GetRepresentation() override;
    GenICam::gcstring GetUnit() const override;
    EDisplayNotation GetDisplayNotation() const override;
    int64_t GetDisplayPrecision() const override;
    void ImposeMin(double Value) override;
    void ImposeMax(double Value) override;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIFloat; }
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
    void FromString(const GenICam::gcstring& ValueStr, bool Verify = true) override;

    int64_t readInteger() override;
    double readDouble() override;
    void writeInteger(int64_t value, bool verify) override { writeDouble(static_cast<double>(value), verify); }
    void writeDouble(double value, bool verify) override;
    EAccessMode intrinsicAccessMode() const override;
    bool isDeviceRegister() const override { return m_register; }

private:
    double minimum();
    double maximum();
    void convertedRange(double& low, double& high);
    bool m_register = false;
    double m_value = 0.0;
    double m_cached = 0.0;
    bool m_hasImposedMin = false, m_hasImposedMax = false;
    double m_imposedMin = 0, m_imposedMax = 0;
    std::unique_ptr<CFormula> m_formula, m_formulaTo, m_formulaFrom;
};
} // namespace GenApi
