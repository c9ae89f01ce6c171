// Register nodes, and the register side of every node kind that is a register (IntReg, MaskedIntReg,
// FloatReg, StringReg): the bytes of the device as they are, whatever they mean.
#pragma once

#include "NodeImpl.h"
#include "RegisterAccess.h"

namespace GenApi {
template <class Base>
class CRegisterOf : public Base, virtual public IRegister {
public:
    using Base::Base;
    void Set(const uint8_t* pBuffer, int64_t Length, bool = true) override
    {
        registerSet(this, pBuffer, Length, bytesCache());
    }
    void Get(uint8_t* pBuffer, int64_t Length, bool = false, bool IgnoreCache = false) override
    {
        registerGet(this, pBuffer, Length, IgnoreCache, bytesCache());
    }
    int64_t GetLength() override { return registerLength(this); }
    int64_t GetAddress() override { return registerAddress(this); }

protected:
    // The bytes as the node's cached value: a Register node keeps them; the others cache what they mean.
    virtual std::vector<uint8_t>* bytesCache() { return nullptr; }
};

class CRegisterNode : public CRegisterOf<CNodeImpl> {
public:
    using CRegisterOf::CRegisterOf;
    void Resolve() override;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIRegister; }
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
    void FromString(const GenICam::gcstring& ValueStr, bool Verify = true) override;
    EAccessMode intrinsicAccessMode() const override;
    bool isDeviceRegister() const override { return true; }
    std::string valueKey() override;

protected:
    std::vector<uint8_t>* bytesCache() override { return &m_cached; }

private:
    std::vector<uint8_t> m_cached;
};
} // namespace GenApi
