// The step arithmetic of the slider controls: values trimmed onto an increment's grid, and page steps.
#pragma once

#include <QtGlobal>

namespace orbelt_detail {

// value moved onto the grid of step that runs through origin: down above origin, up below it (the
// remainder of a truncating division takes the dividend's sign); unchanged for step 0. In 64 bits, so
// that the span between two int32 values cannot overflow.
inline long long trimToGrid(long long value, long long origin, long long step)
{
    return step == 0 ? value : value - (value - origin) % step;
}

// A twentieth of the span, or two increments when that is more.
inline long long pageStepFor(long long span, long long increment)
{
    return qMax(span / 20, 2 * increment);
}

} // namespace orbelt_detail
