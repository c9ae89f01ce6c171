// Processor time of the whole process, every thread's, for benchmarks that count what a task costs.
#pragma once

#include <ctime>

namespace benchtime {

// Seconds of processor time the process has used so far.
inline double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace benchtime
