// Command nodes.
#pragma once

#include "NodeImpl.h"

namespace GenApi {
class CCommandNode : public CNodeImpl, virtual public ICommand {
public:
    using CNodeImpl::CNodeImpl;
    void Execute(bool Verify = true) override;
    void operator()() override { Execute(); }
    bool IsDone(bool Verify = true) override;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfICommand; }
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
    void FromString(const GenICam::gcstring& ValueStr, bool Verify = true) override;
    EAccessMode intrinsicAccessMode() const override;
    int64_t readInteger() override;
    // Whether it is still running.
    std::string valueKey() override { return keyOf(!IsDone()); }

private:
    int64_t m_value = 0;
};
} // namespace GenApi
