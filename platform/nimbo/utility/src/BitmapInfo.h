// The bitmap information header that BMP files and the video stream format of AVI files share, with the
// grey palette that follows it for 8-bit grey images.
#pragma once

#include "LittleEndian.h"

#include <cstdint>
#include <vector>

namespace Nimbo {
namespace detail {

struct BitmapInfo {
    uint32_t width = 0;
    // A negative height says that the lines are stored top-down.
    int32_t height = 0;
    uint16_t bitsPerPixel = 0;
    // 0 for uncompressed lines (BI_RGB), else the codec's FourCC.
    uint32_t compression = 0;
    uint32_t imageBytes = 0;
    uint32_t pixelsPerMetre = 0;
    // 256 grey levels after the header, as 8-bit grey images need to be read as grey.
    bool greyPalette = false;
};

// Bytes the header and its palette take.
inline uint32_t bitmapInfoBytes(bool greyPalette)
{
    return 40 + (greyPalette ? 256 * 4 : 0);
}

inline void putBitmapInfo(std::vector<uint8_t>& out, const BitmapInfo& info)
{
    put32(out, 40);
    put32(out, info.width);
    put32(out, uint32_t(info.height));
    put16(out, 1); // planes
    put16(out, info.bitsPerPixel);
    put32(out, info.compression);
    put32(out, info.imageBytes);
    put32(out, info.pixelsPerMetre);
    put32(out, info.pixelsPerMetre);
    put32(out, info.greyPalette ? 256 : 0); // colours used
    put32(out, 0);                          // colours important: all
    if (info.greyPalette) {
        for (uint32_t i = 0; i < 256; ++i)
            put32(out, i | i << 8 | i << 16);
    }
}

} // namespace detail
} // namespace Nimbo
