// Monotonic clock readings.
#include "os/Clock.h"

#include <time.h>

namespace os {

int64_t performanceCounter()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

uint64_t tickCountMs()
{
    return static_cast<uint64_t>(performanceCounter() / 1000000);
}

} // namespace os
