// Lengths of the recording's time units.
#include "TimeUnit.h"

int64_t timeUnitIntervalMicroseconds(int32_t unit, int32_t value)
{
    const int64_t v = value;
    switch (unit) {
    case TimeUnitMilliseconds: return v * 1000;
    case TimeUnitSeconds: return v * 1000000;
    case TimeUnitMinutes: return v * 60000000;
    case TimeUnitHours: return v * 3600000000LL;
    case TimeUnitDays: return v * 24 * 3600000000LL;
    default: return 1000000;
    }
}
