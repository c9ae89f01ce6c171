// The high-resolution performance counter: a monotonic clock in nanoseconds.
#pragma once

#include <cstdint>

namespace os {

// Counts of the monotonic clock; never goes backwards.
int64_t performanceCounter();
// Counts per second (nanoseconds: 1e9).
constexpr int64_t performanceFrequency()
{
    return 1000000000;
}
// Milliseconds of the monotonic clock (a tick count).
uint64_t tickCountMs();

} // namespace os
