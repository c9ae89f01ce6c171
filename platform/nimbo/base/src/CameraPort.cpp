// Port access to a device backend; failures become GenICam exceptions.
#include "CameraPort.h"

#include <GenICam/GenericException.h>

namespace Nimbo {
namespace {

void check(PortStatus status, const DeviceBackend& camera, int64_t address, int64_t length)
{
    switch (status) {
    case PortStatus::Ok: return;
    case PortStatus::Removed:
        GENICAM_THROW(GenICam::AccessException, "The device has been removed (serial %s).", camera.label().c_str());
    case PortStatus::BadAddress:
        GENICAM_THROW(GenICam::InvalidArgumentException, "No register at address 0x%llx with length %lld.",
                      static_cast<unsigned long long>(address), static_cast<long long>(length));
    case PortStatus::Rejected: GENICAM_THROW(GenICam::AccessException, "%s", camera.lastError().c_str());
    }
}

} // namespace

GenApi::EAccessMode CameraPort::GetAccessMode() const
{
    return m_camera->isPlugged() ? GenApi::RW : GenApi::NA;
}

void CameraPort::Read(void* buffer, int64_t address, int64_t length)
{
    check(m_camera->read(buffer, address, length), *m_camera, address, length);
}

void CameraPort::Write(const void* buffer, int64_t address, int64_t length)
{
    check(m_camera->write(buffer, address, length), *m_camera, address, length);
}

} // namespace Nimbo
