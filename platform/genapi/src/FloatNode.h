// Float nodes: Float, FloatReg, SwissKnife and Converter.
#pragma once

#include "NumberNode.h"
#include "RegisterNode.h"

namespace GenApi {
class CFloatNode : public CNumberNode<double, IFloat> {
public:
    using CNumberNode::CNumberNode;
    void Resolve() override;

    bool HasInc() override;
    EIncMode GetIncMode() override;
    double GetInc() override;
    double_autovector_t GetListOfValidValues(bool bounded = true) override;
    EDisplayNotation GetDisplayNotation() const override;
    int64_t GetDisplayPrecision() const override;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIFloat; }
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
    void FromString(const GenICam::gcstring& ValueStr, bool Verify = true) override;

protected:
    void resolveRegister() override;
    double readRegister() override;
    double writeRegister(double value) override;
    void registerRange(double& low, double& high) override;
    bool increment(double& inc) override;
};

// FloatReg: a float that is a register.
class CFloatRegNode : public CRegisterOf<CFloatNode> {
public:
    using CRegisterOf::CRegisterOf;
};
} // namespace GenApi
