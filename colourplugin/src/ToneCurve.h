// Lookup-table curves that carry brightness and contrast out in the camera.
#pragma once

#include <cstdint>
#include <vector>

namespace Huvane {

// Pure functions. Brightness and contrast run from -1.0 to +1.0 with 0.0 neutral. Each fills every entry
// of table (entry i is the output for input i x step), clamped to 0 .. largest; with brightness and
// contrast 0.0 and largest = size - 1, step 1 both give the identity.
namespace ToneCurve {
void fillLinear(std::vector<uint32_t>& table, double brightness, double contrast, uint32_t largest, uint32_t step);
void fillSCurve(std::vector<uint32_t>& table, double brightness, double contrast, uint32_t largest, uint32_t step);

// The shape function of one S-curve segment, and its parameter for an end-slope ratio.
double shape(double p, double x);
double shapeParameter(double slopeRatio);
} // namespace ToneCurve

} // namespace Huvane
