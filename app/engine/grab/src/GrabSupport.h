// Small services of the grab engine: the second warning line of a failure, SDK exceptions and the
// SDK's buffer-size rule.
#pragma once

#include <cstdint>

namespace grab {

// Writes the detail warning for the exception being handled: "<function>: <exception>", or
// "<function>: Unspecified exception occurred." for one of another type. Call only inside a catch block.
void detail(const char* function);

[[noreturn]] void throwLogicalError(const char* description);
[[noreturn]] void throwRuntimeError(const char* description);

// Bytes one frame of that pixel type and size takes without line padding; throws for an unknown type.
uint64_t computeBufferSize(uint32_t pixelType, int32_t width, int32_t height);

} // namespace grab
