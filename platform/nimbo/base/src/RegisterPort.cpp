// Register port of the transport-layer and stream-grabber node maps.
#include "RegisterPort.h"

#include <GenICam/GenericException.h>

#include <cstring>

namespace Nimbo {

void RegisterPort::setHooks(ReadHook read, WriteHook write)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_read = std::move(read);
    m_write = std::move(write);
}

int64_t RegisterPort::value(int64_t address) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_values.find(address);
    return it == m_values.end() ? 0 : it->second;
}

void RegisterPort::set(int64_t address, int64_t value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_values[address] = value;
}

void RegisterPort::Read(void* buffer, int64_t address, int64_t length)
{
    int64_t value;
    ReadHook read;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_values.find(address);
        if (!buffer || it == m_values.end() || length <= 0 || length > 8)
            GENICAM_THROW(GenICam::InvalidArgumentException, "No register at address 0x%llx with length %lld.",
                          static_cast<unsigned long long>(address), static_cast<long long>(length));
        value = it->second;
        read = m_read;
    }
    if (read)
        read(address, value);
    std::memcpy(buffer, &value, static_cast<size_t>(length));
}

void RegisterPort::Write(const void* buffer, int64_t address, int64_t length)
{
    WriteHook write;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!buffer || m_values.find(address) == m_values.end() || length != 8)
            GENICAM_THROW(GenICam::InvalidArgumentException, "No register at address 0x%llx with length %lld.",
                          static_cast<unsigned long long>(address), static_cast<long long>(length));
        write = m_write;
    }
    int64_t value;
    std::memcpy(&value, buffer, 8);
    if (write && !write(address, value))
        GENICAM_THROW(GenICam::AccessException, "The register at address 0x%llx refused the value %lld.",
                      static_cast<unsigned long long>(address), static_cast<long long>(value));
    std::lock_guard<std::mutex> lock(m_mutex);
    m_values[address] = value;
}

} // namespace Nimbo
