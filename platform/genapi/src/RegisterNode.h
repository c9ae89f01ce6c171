// Register nodes: bytes of the device as they are.
#pragma once

#include "NodeImpl.h"

namespace GenApi {
class CRegisterNode : public CNodeImpl, virtual public IRegister {
public:
    using CNodeImpl::CNodeImpl;
    void Resolve() override;
    void Set(const uint8_t* pBuffer, int64_t Length, bool Verify = true) override;
    void Get(uint8_t* pBuffer, int64_t Length, bool Verify = false, bool IgnoreCache = false) override;
    int64_t GetLength() override;
    int64_t GetAddress() override;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIRegister; }
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
    void FromString(const GenICam::gcstring& ValueStr, bool Verify = true) override;
    EAccessMode intrinsicAccessMode() const override;
    bool isDeviceRegister() const override { return true; }

private:
    std::vector<uint8_t> m_cached;
};
} // namespace GenApi
