// A port over a small set of 64-bit registers, for the transport-layer and stream-grabber node maps.
#pragma once

#include <GenApi/Port.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace Nimbo {

// Threads: any; m_values and the hooks are guarded by m_mutex. The hooks run outside it: they take the
// owner's own locks, which the owner also holds while it reads the port.
class RegisterPort : public GenApi::IPort {
public:
    using ReadHook = std::function<bool(int64_t address, int64_t& value)>; // true: value supplied
    using WriteHook = std::function<bool(int64_t address, int64_t value)>; // false: rejected
    void define(int64_t address, int64_t value) { m_values[address] = value; }
    void setHooks(ReadHook read, WriteHook write);
    int64_t value(int64_t address) const;
    void set(int64_t address, int64_t value);

    GenApi::EAccessMode GetAccessMode() const override { return GenApi::RW; }
    void Read(void* buffer, int64_t address, int64_t length) override;
    void Write(const void* buffer, int64_t address, int64_t length) override;

private:
    mutable std::mutex m_mutex;
    std::map<int64_t, int64_t> m_values;
    ReadHook m_read;
    WriteHook m_write;
};

} // namespace Nimbo
