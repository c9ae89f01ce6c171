// Shared pieces of the float editors: the range clamp and the tool-tip rule.
#pragma once

#include <GenApi/Float.h>
#include <brasko/Formatting.h>

#include <QLocale>
#include <QString>

#include <cmath>

namespace orbelt_detail {

inline double clampToNode(GenApi::IFloat& node, double value)
{
    const double min = node.GetMin();
    const double max = node.GetMax();
    if (value < min)
        value = min;
    if (value > max)
        value = max;
    return value;
}

// General notation for bounds beyond 1e9, where fixed notation would give unreadably long numbers.
inline QString floatRangeToolTip(double boxMin, double boxMax, double largest, const QString* increment,
                                 double incrementValue, int precision, const QLocale& locale)
{
    const FormatValueFlags flag =
        largest > 1e9 ? FormatValueFlags(GeneralFormat) : FormatValueFlags(StripTrailingZeros);
    const QString min = formatDoubleValue(boxMin, precision, flag, locale);
    const QString max = formatDoubleValue(boxMax, precision, flag, locale);
    const QString inc = increment ? *increment : formatDoubleValue(incrementValue, precision, flag, locale);
    if (inc.toDouble() == 0.0)
        return QStringLiteral("Range: %1..%2").arg(min, max);
    return QStringLiteral("Range: %1..%2 (Increment: %3)").arg(min, max, inc);
}

} // namespace orbelt_detail
