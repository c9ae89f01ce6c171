// Port nodes: where registers reach the device.
#pragma once

#include "NodeImpl.h"

namespace GenApi {
class CPortNode : public CNodeImpl, virtual public IPort {
public:
    using CNodeImpl::CNodeImpl;
    void Read(void* pBuffer, int64_t Address, int64_t Length) override;
    void Write(const void* pBuffer, int64_t Address, int64_t Length) override;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIPort; }
    EAccessMode intrinsicAccessMode() const override { return m_port ? RW : NA; }
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
    bool isDeviceRegister() const override { return true; }
    void connect(IPort* port) { m_port = port; }
    bool connected() const { return m_port != nullptr; }

private:
    IPort* m_port = nullptr;
};
} // namespace GenApi
