// The entries of an enumeration.
#pragma once

#include "NodeImpl.h"

namespace GenApi {
class CEnumEntryNode : public CNodeImpl, virtual public IEnumEntry {
public:
    using CNodeImpl::CNodeImpl;
    void Resolve() override;
    int64_t GetValue() override { return m_value; }
    GenICam::gcstring GetSymbolic() const override { return m_symbolic; }
    // Without a DisplayName of its own an entry shows its symbol, not its node name.
    GenICam::gcstring GetDisplayName() const override { return text("DisplayName", m_symbolic); }
    double GetNumericValue() override { return m_numeric; }
    bool IsSelfClearing() override { return text("IsSelfClearing") == "Yes"; }
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIEnumEntry; }
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
    EAccessMode intrinsicAccessMode() const override { return RO; }
    int64_t readInteger() override { return m_value; }

private:
    int64_t m_value = 0;
    double m_numeric = 0.0;
    std::string m_symbolic;
};
} // namespace GenApi
