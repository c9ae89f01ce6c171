// String and StringReg nodes.
#pragma once

#include "NodeImpl.h"
#include "RegisterNode.h"

namespace GenApi {
class CStringNode : public CNodeImpl, virtual public IString {
public:
    using CNodeImpl::CNodeImpl;
    void Resolve() override;
    void SetValue(const GenICam::gcstring& Value, bool Verify = true) override;
    IString& operator=(const GenICam::gcstring& Value) override;
    GenICam::gcstring GetValue(bool Verify = false, bool IgnoreCache = false) override;
    GenICam::gcstring operator()() override { return GetValue(); }
    GenICam::gcstring operator*() override { return GetValue(); }
    int64_t GetMaxLength() override;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIString; }
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
    void FromString(const GenICam::gcstring& ValueStr, bool Verify = true) override;
    EAccessMode intrinsicAccessMode() const override;
    bool isDeviceRegister() const override { return m_register; }
    std::string readText() override;
    void writeText(const std::string& value, bool verify) override;
    std::string valueKey() override { return keyOf(readText()); }
    int64_t readInteger() override;

private:
    int64_t maxLength();
    bool m_register = false;
    std::string m_value, m_cached;
};

// StringReg: a string that is a register.
class CStringRegNode : public CRegisterOf<CStringNode> {
public:
    using CRegisterOf::CRegisterOf;
};
} // namespace GenApi
