// Small services of the grab engine: the second warning line of a failure, SDK exceptions and the
// SDK's buffer-size rule.
#pragma once

#include <cstdint>

namespace grab {

// Writes the detail warning for the exception being handled: "<function>: <exception>", or
// "<function>: Unspecified exception occurred." for one of another type. Call only inside a catch block.
void detail(const char* function);

// Writes both warning lines of a failure: `warning` (when given), then the detail line. Call only
// inside a catch block.
void warnFailure(const char* function, const char* warning);

// Runs a step whose failure must not stop what follows: a failure is only warned about. Returns
// whether the step went through.
template <class Step>
bool bestEffort(const char* function, const char* warning, Step&& step)
{
    try {
        step();
        return true;
    } catch (...) {
        warnFailure(function, warning);
        return false;
    }
}

// Runs a step whose failure the caller must see: a failure is warned about and thrown on.
template <class Step>
void warnAndRethrow(const char* function, const char* warning, Step&& step)
{
    try {
        step();
    } catch (...) {
        warnFailure(function, warning);
        throw;
    }
}

[[noreturn]] void throwLogicalError(const char* description);
[[noreturn]] void throwRuntimeError(const char* description);

// Bytes one frame of that pixel type and size takes without line padding; throws for an unknown type.
uint64_t computeBufferSize(uint32_t pixelType, int32_t width, int32_t height);

} // namespace grab
