// Layout table of the pixel formats the emulated cameras produce.
#include "PixelFormats.h"

namespace Nimbo {
namespace emulation {

const PixelFormatLayout* findPixelFormat(uint32_t code)
{
    static const PixelFormatLayout table[] = {
        {Mono8, "Mono8", 1, 1, 255},
        {Mono10, "Mono10", 2, 1, 1023},
        {Mono12, "Mono12", 2, 1, 4095},
        {Mono16, "Mono16", 2, 1, 65535},
        {BayerRG8, "BayerRG8", 1, 2, 255},
        {BayerRG12, "BayerRG12", 2, 2, 4095},
        {RGB8, "RGB8", 3, 1, 255},
        {BGR8, "BGR8", 3, 1, 255},
        {YUV422_YUYV_Packed, "YUV422_YUYV_Packed", 2, 2, 255},
        {YCbCr422_8, "YCbCr422_8", 2, 2, 255},
    };
    for (const PixelFormatLayout& layout : table)
        if (layout.code == code)
            return &layout;
    return nullptr;
}

} // namespace emulation
} // namespace Nimbo
