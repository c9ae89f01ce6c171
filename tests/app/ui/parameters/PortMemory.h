// Device memory behind a port, for node maps whose values change without a node write.
#pragma once

#include <GenApi/GenApi.h>

#include <cstring>
#include <vector>

namespace parametertest {
class PortMemory : public GenApi::IPort {
public:
    GenApi::EAccessMode GetAccessMode() const override { return GenApi::RW; }
    void Read(void* buffer, int64_t address, int64_t length) override
    {
        check(address, length);
        std::memcpy(buffer, bytes.data() + address, static_cast<size_t>(length));
    }
    void Write(const void* buffer, int64_t address, int64_t length) override
    {
        if (refuseWrites)
            throw ACCESS_EXCEPTION("the camera refuses the write");
        check(address, length);
        std::memcpy(bytes.data() + address, buffer, static_cast<size_t>(length));
    }
    std::vector<uint8_t> bytes = std::vector<uint8_t>(64, 0);
    // A camera that refuses writes without changing any access mode (a value it rejects, a busy device).
    bool refuseWrites = false;

private:
    void check(int64_t address, int64_t length) const
    {
        if (address < 0 || length < 0 || static_cast<size_t>(address + length) > bytes.size())
            throw OUT_OF_RANGE_EXCEPTION("outside the memory");
    }
};
} // namespace parametertest
