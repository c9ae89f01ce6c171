// Port nodes.
#include "PortNode.h"

#include "NodeMapImpl.h"

#include <cinttypes>

namespace GenApi {
void CPortNode::Read(void* buffer, int64_t address, int64_t length)
{
    AutoLock lock(m_map->GetLock());
    if (!m_port)
        throw ACCESS_EXCEPTION("Port '%s' is not connected", name().c_str());
    if (length < 0 || (length > 0 && !buffer))
        throw INVALID_ARGUMENT_EXCEPTION("Port '%s': bad read of %" PRId64 " bytes", name().c_str(), length);
    m_port->Read(buffer, address, length);
}

void CPortNode::Write(const void* buffer, int64_t address, int64_t length)
{
    AutoLock lock(m_map->GetLock());
    if (!m_port)
        throw ACCESS_EXCEPTION("Port '%s' is not connected", name().c_str());
    if (length < 0 || (length > 0 && !buffer))
        throw INVALID_ARGUMENT_EXCEPTION("Port '%s': bad write of %" PRId64 " bytes", name().c_str(), length);
    m_port->Write(buffer, address, length);
}

GenICam::gcstring CPortNode::ToString(bool, bool)
{
    return GenICam::gcstring();
}
} // namespace GenApi
