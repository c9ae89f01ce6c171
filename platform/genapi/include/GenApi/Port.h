// The port interface: byte access to a device's register space.
#pragma once

#include <GenApi/Base.h>

namespace GenApi {
class IPort : virtual public IBase {
public:
    virtual void Read(void* pBuffer, int64_t Address, int64_t Length) = 0;
    virtual void Write(const void* pBuffer, int64_t Address, int64_t Length) = 0;
};
} // namespace GenApi
