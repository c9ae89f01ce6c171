// Status messages and change-callback registrations of the topology libraries.
#include <darnel/Darnel.h>

#include <cstring>
#include <mutex>
#include <set>

namespace Darnel {
namespace {

struct Registration {
    DarnelCallbackParams params;
};

std::mutex g_mutex;
std::set<Registration*>& registrations()
{
    static std::set<Registration*> all;
    return all;
}

const char* messageOf(uint32_t status)
{
    switch (status) {
    case Status_Ok: return "The operation completed successfully.";
    case Status_NotInitialized: return "The topology could not be initialized.";
    case Status_OutOfMemory: return "Not enough memory to create the topology.";
    case Status_InvalidArgument: return "An invalid argument was passed.";
    case Status_BufferTooSmall: return "The buffer is too small.";
    case Status_UnknownRegistration: return "The callback registration is unknown.";
    default: return "Unknown status.";
    }
}

} // namespace

uint32_t DarnelRegisterCallback(const DarnelCallbackParams* params, DarnelRegistration* registration)
{
    if (!params || !registration)
        return Status_InvalidArgument;
    // The stand-in never sees the tree change on its own, so a callback is kept but never called.
    auto* r = new Registration{*params};
    std::lock_guard<std::mutex> lock(g_mutex);
    registrations().insert(r);
    *registration = r;
    return Status_Ok;
}

uint32_t DarnelDeregisterCallback(DarnelRegistration registration)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    auto* r = static_cast<Registration*>(registration);
    if (!registrations().erase(r))
        return Status_UnknownRegistration;
    delete r;
    return Status_Ok;
}

uint32_t GetStatusMessage(uint32_t status, char* buffer, size_t capacity, size_t* length)
{
    if (!length)
        return Status_InvalidArgument;
    const char* text = messageOf(status);
    const size_t needed = std::strlen(text) + 1;
    *length = needed;
    if (!buffer)
        return Status_Ok;
    if (capacity < needed)
        return Status_BufferTooSmall;
    std::memcpy(buffer, text, needed);
    return Status_Ok;
}

} // namespace Darnel
