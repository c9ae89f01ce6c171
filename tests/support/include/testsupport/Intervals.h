// The typical interval of a series of ticks, for tests of timers that must hold their rate.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace testsupport {

// The median of the intervals between consecutive times, in milliseconds (0 with fewer than two).
// A tick made late by a loaded machine, or one it skipped, moves the median little; a timer running
// at half its rate doubles it.
inline double medianIntervalMs(const std::vector<std::chrono::steady_clock::time_point>& times)
{
    if (times.size() < 2)
        return 0.0;
    std::vector<double> intervals;
    intervals.reserve(times.size() - 1);
    for (size_t i = 1; i < times.size(); ++i)
        intervals.push_back(std::chrono::duration<double, std::milli>(times[i] - times[i - 1]).count());
    std::nth_element(intervals.begin(), intervals.begin() + intervals.size() / 2, intervals.end());
    return intervals[intervals.size() / 2];
}

} // namespace testsupport
