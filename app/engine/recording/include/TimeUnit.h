// Units of a recording's sampling step and stop limit, and their lengths.
#pragma once

#include <cstdint>

enum ETimeUnit : int32_t {
    TimeUnitImages = 0, // counted in frames, no time
    TimeUnitMilliseconds = 1,
    TimeUnitSeconds = 2,
    TimeUnitMinutes = 3,
    TimeUnitHours = 4,
    TimeUnitDays = 5,
};

// Length of `value` units in microseconds, 64-bit. Images and unknown units count as one second
// (whatever the value), so a stray setting still gives a usable interval. Saturates on overflow.
int64_t timeUnitIntervalMicroseconds(int32_t unit, int32_t value);

// True for the units that measure time (milliseconds to days); images and unknown values are not.
inline bool isTimeUnit(int32_t unit)
{
    return unit != TimeUnitImages;
}
