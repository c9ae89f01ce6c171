// The pixel formats the emulated cameras produce: their codes (the SDK's pixel-type values) and layout.
#pragma once

#include <cstdint>
#include <string>

namespace Nimbo {
namespace emulation {

enum PixelFormatCode : uint32_t {
    Mono8 = 0x01080001,
    Mono10 = 0x01100003,
    Mono12 = 0x01100005,
    Mono16 = 0x01100007,
    BayerRG8 = 0x01080009,
    BayerRG12 = 0x01100011,
    RGB8 = 0x02180014,
    BGR8 = 0x02180015,
    YUV422_YUYV_Packed = 0x02100032,
    YCbCr422_8 = 0x0210003B,
};

struct PixelFormatLayout {
    uint32_t code;
    const char* name;
    int bytesPerPixel;
    int alignment; // pixels a line slice must start on (Bayer phase, YUV pairs)
    int dynamicRangeMax;
};

// Null for a code the emulation does not paint.
const PixelFormatLayout* findPixelFormat(uint32_t code);

} // namespace emulation
} // namespace Nimbo
