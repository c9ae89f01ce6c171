// Integer nodes: Integer, IntReg, MaskedIntReg, IntSwissKnife and IntConverter.
#pragma once

#include "NumberNode.h"
#include "RegisterNode.h"

namespace GenApi {
class CIntegerNode : public CNumberNode<int64_t, IInteger> {
public:
    using CNumberNode::CNumberNode;

    EIncMode GetIncMode() override;
    int64_t GetInc() override;
    int64_autovector_t GetListOfValidValues(bool bounded = true) override;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIInteger; }
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
    void FromString(const GenICam::gcstring& ValueStr, bool Verify = true) override;

protected:
    void resolveRegister() override;
    int64_t readRegister() override;
    int64_t writeRegister(int64_t value) override;
    void registerRange(int64_t& low, int64_t& high) override;
    bool increment(int64_t& inc) override;
};

// IntReg and MaskedIntReg: integers that are registers.
class CIntRegNode : public CRegisterOf<CIntegerNode> {
public:
    using CRegisterOf::CRegisterOf;
};
} // namespace GenApi
