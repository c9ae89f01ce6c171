// Sample layouts of the one-component pixel types.
#include "Samples.h"

namespace Nimbo {
namespace samples {

Layout layoutOf(EPixelType type)
{
    if (!IsMono(type) || !IsValidPixelType(type))
        return Layout::None;
    switch (type) {
    case PixelType_Mono10packed: return Layout::GigE10;
    case PixelType_Mono12packed:
    case PixelType_BayerGR12Packed:
    case PixelType_BayerRG12Packed:
    case PixelType_BayerGB12Packed:
    case PixelType_BayerBG12Packed: return Layout::GigE12;
    default: break;
    }
    if (IsPacked(type))
        return Layout::BitStream;
    return BitPerPixel(type) == 8 ? Layout::Bytes8 : Layout::Words16;
}

} // namespace samples
} // namespace Nimbo
