// Lengths of the recording's time units.
#include "TimeUnit.h"

int64_t timeUnitIntervalMicroseconds(int32_t unit, int32_t value)
{
    int64_t length = 0;
    switch (unit) {
    case TimeUnitMilliseconds: length = 1000; break;
    case TimeUnitSeconds: length = 1000000; break;
    case TimeUnitMinutes: length = 60000000; break;
    case TimeUnitHours: length = 3600000000LL; break;
    case TimeUnitDays: length = 24 * 3600000000LL; break;
    default: return 1000000;
    }
    // Days of a 32-bit count overflow 64-bit microseconds: saturate instead.
    int64_t result = 0;
    if (__builtin_mul_overflow(int64_t(value), length, &result))
        return value < 0 ? INT64_MIN : INT64_MAX;
    return result;
}
