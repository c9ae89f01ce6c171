// Linear and S-shaped tone curves for the camera's lookup table.
#include "ToneCurve.h"

#include <algorithm>
#include <cmath>

namespace Huvane {
namespace ToneCurve {

namespace {
constexpr double Pi = 3.14159265358979323846;

// Absorbs the rounding of the curve arithmetic, so that a curve meant to hit an integer (the identity
// above all) is not cut to the integer below it.
constexpr double RoundingSlack = 1e-9;

uint32_t clampCut(double value, uint32_t largest)
{
    // !(value > 0) also catches NaN, which must never reach the integer conversion.
    if (!(value > 0.0))
        return 0;
    value += RoundingSlack;
    if (value >= double(largest))
        return largest;
    return static_cast<uint32_t>(value);
}
} // namespace

double shape(double p, double x)
{
    if (std::fabs(p) < 1e-12)
        return x;
    // The radicand is never negative for the parameters that shapeParameter gives; rounding can make it so.
    const double radicand = std::max(0.0, 4.0 * p * p + 8.0 * p * x - 4.0 * p + 1.0);
    return (0.5 * std::sqrt(radicand) + p - p * x - 0.5) / p;
}

double shapeParameter(double h)
{
    return (std::fabs(h + 1.0) - (h * h / 2.0 + h) - 0.5) / (h * h + 2.0 * h + 1.0);
}

void fillLinear(std::vector<uint32_t>& table, double b, double c, uint32_t largest, uint32_t step)
{
    if (largest == 0) {
        // A one-entry table has no slope to speak of; its only input is black.
        std::fill(table.begin(), table.end(), 0u);
        return;
    }
    const double v = largest;
    const double k = std::tan((c + 1.0) * Pi / 4.0);
    for (size_t i = 0; i < table.size(); ++i) {
        const double y = ((double(i) * step / v - (1.0 - b) * 0.5) * k + (b + 1.0) * 0.5) * v;
        table[i] = clampCut(y, largest);
    }
}

void fillSCurve(std::vector<uint32_t>& table, double b, double c, uint32_t largest, uint32_t step)
{
    if (table.empty())
        return;
    const double v = largest;
    const double t = step == 0 ? 1.0 : double(step);
    const double k = std::tan((0.5 - std::cos((c + 1.0) * Pi * 0.5) * 0.5) * Pi / 2.0);
    const double e = (0.5 - b * 0.5) * v; // pivot input
    const double g = (b * 0.5 + 0.5) * v; // pivot output

    // A segment of zero width or height (brightness at either end) collapses to its end value; the
    // formulas would divide by zero there.
    const size_t lowerEnd = std::min(table.size() - 1, static_cast<size_t>(std::max(0.0, std::floor(e / t))));
    const double lowerP = (e > 0.0 && g > 0.0) ? shapeParameter(e * k / g) : 0.0;
    for (size_t i = 0; i <= lowerEnd; ++i) {
        double y;
        if (g <= 0.0)
            y = 0.0;
        else if (e <= 0.0)
            y = g;
        else
            y = g * shape(lowerP, double(i) * t / e);
        table[i] = clampCut(y, largest);
    }
    const double upperP = (v - e > 0.0 && v - g > 0.0) ? shapeParameter((v - e) * k / (v - g)) : 0.0;
    for (size_t i = lowerEnd + 1; i < table.size(); ++i) {
        double y;
        if (v - g <= 0.0 || v - e <= 0.0)
            y = v;
        else
            y = v - (v - g) * shape(upperP, (v - double(i) * t) / (v - e));
        table[i] = clampCut(y, largest);
    }
}

} // namespace ToneCurve
} // namespace Huvane
