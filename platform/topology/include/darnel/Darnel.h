// Status messages of the topology libraries and registration of change callbacks.
#pragma once

#include <cstddef>
#include <cstdint>

#define DARNEL_EXPORT __attribute__((visibility("default")))

namespace Darnel {

// Status codes.
constexpr uint32_t Status_Ok = 0;
constexpr uint32_t Status_NotInitialized = 1;
constexpr uint32_t Status_OutOfMemory = 0xE2000004u;
constexpr uint32_t Status_InvalidArgument = 0xE2000008u;
constexpr uint32_t Status_BufferTooSmall = 0xE2000010u;
constexpr uint32_t Status_UnknownRegistration = 0xE2000020u;

typedef void (*DarnelCallback)(uint32_t kind, uint64_t context);

struct DarnelCallbackParams {
    uint32_t kind = 0; // 3: changes of the USB tree
    DarnelCallback callback = nullptr;
    uint64_t reserved = 0;
    uint64_t context = 0;
};

typedef void* DarnelRegistration;

// A null callback registers nothing but still hands out a handle that deregistration accepts.
DARNEL_EXPORT uint32_t DarnelRegisterCallback(const DarnelCallbackParams* params, DarnelRegistration* registration);
DARNEL_EXPORT uint32_t DarnelDeregisterCallback(DarnelRegistration registration);
// With a null buffer: the length including the terminating zero into *length. Otherwise fills the
// buffer when *length is large enough, else Status_BufferTooSmall.
DARNEL_EXPORT uint32_t GetStatusMessage(uint32_t status, char* buffer, size_t capacity, size_t* length);

} // namespace Darnel
