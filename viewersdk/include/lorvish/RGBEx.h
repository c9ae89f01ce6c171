// One pixel's colour components.
#pragma once

#include <cstdint>

namespace Lorvish {

struct RGBEx {
    RGBEx() = default;
    RGBEx(unsigned red, unsigned green, unsigned blue) : red(red), green(green), blue(blue) {}

    uint32_t red = 0;
    uint32_t green = 0;
    uint32_t blue = 0;
};

} // namespace Lorvish
