// Shared pieces of the float editors: the range clamp, the commit rule (shared with the program, in
// orbelt/FloatCommit.h) and the tool-tip rule.
#pragma once

#include "LogGuard.h"
#include "orbelt/FloatCommit.h"
#include "orbelt/SpinBox.h"

#include <GenApi/Float.h>
#include <brasko/Formatting.h>

#include <QLocale>
#include <QString>

#include <cmath>

namespace orbelt_detail {

// The value brought into the node's range; the value as it is, after the warning lines, when the range
// cannot be read (an empty pointer included).
template <class FloatPtr>
double clampToNode(const char* function, const FloatPtr& node, double value)
{
    double result = value;
    guarded(
        function, [function] { return QStringLiteral("%1: Failed to assert the range limits!").arg(function); },
        [&] {
            GenApi::IFloat& f = *node;
            const double min = f.GetMin();
            const double max = f.GetMax();
            result = value < min ? min : value > max ? max : value;
        });
    return result;
}

using NimboQt::userChangedValue;

// General notation for bounds beyond 1e9, where fixed notation would give unreadably long numbers. The
// increment is left out when it reads back as 0 at that precision.
inline QString floatRangeToolTip(double boxMin, double boxMax, double largest, double increment, int precision,
                                 const QLocale& locale)
{
    const FormatValueFlags flag =
        largest > 1e9 ? FormatValueFlags(GeneralFormat) : FormatValueFlags(StripTrailingZeros);
    const QString min = formatDoubleValue(boxMin, precision, flag, locale);
    const QString max = formatDoubleValue(boxMax, precision, flag, locale);
    const QString inc = formatDoubleValue(increment, precision, flag, locale);
    // Read back in the locale it was written in: a decimal comma is no end of the number.
    if (locale.toDouble(inc) == 0.0)
        return QStringLiteral("Range: %1..%2").arg(min, max);
    return QStringLiteral("Range: %1..%2 (Increment: %3)").arg(min, max, inc);
}

} // namespace orbelt_detail
