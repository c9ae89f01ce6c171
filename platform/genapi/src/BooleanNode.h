// Boolean nodes.
#pragma once

#include "NodeImpl.h"

namespace GenApi {
class CBooleanNode : public CNodeImpl, virtual public IBoolean {
public:
    using CNodeImpl::CNodeImpl;
    void Resolve() override;
    void SetValue(bool Value, bool Verify = true) override;
    void operator=(bool Value) override { SetValue(Value); }
    bool GetValue(bool Verify = false, bool IgnoreCache = false) override;
    bool operator()() override { return GetValue(); }
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIBoolean; }
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
    void FromString(const GenICam::gcstring& ValueStr, bool Verify = true) override;

    int64_t readInteger() override;
    void writeInteger(int64_t value, bool verify) override;
    std::string valueKey() override { return keyOf(readInteger() == m_on); }
    EAccessMode intrinsicAccessMode() const override;

private:
    int64_t m_value = 0, m_on = 1, m_off = 0, m_cached = 0;
};
} // namespace GenApi
