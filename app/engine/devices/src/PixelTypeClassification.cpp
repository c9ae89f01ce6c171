// Classification of 32-bit pixel-type codes as the display pipeline needs it.
#include "PixelTypeClassification.h"

namespace {
const uint32_t kMonoFlag = 0x01000000u;
}

BayerPattern bayerPatternOf(uint32_t pixelType)
{
    switch (pixelType) {
    case 0x01080009:
    case 0x010A0058:
    case 0x010C002B:
    case 0x010C0059:
    case 0x0110000D:
    case 0x01100011:
    case 0x0110002F: return BayerRG;
    case 0x0108000A:
    case 0x010A0054:
    case 0x010C002C:
    case 0x010C0055:
    case 0x0110000E:
    case 0x01100012:
    case 0x01100030: return BayerGB;
    case 0x01080008:
    case 0x010A0056:
    case 0x010C002A:
    case 0x010C0057:
    case 0x0110000C:
    case 0x01100010:
    case 0x0110002E: return BayerGR;
    case 0x0108000B:
    case 0x010A0052:
    case 0x010C002D:
    case 0x010C0053:
    case 0x0110000F:
    case 0x01100013:
    case 0x01100031: return BayerBG;
    default: return BayerNone;
    }
}

bool isBayerPixelType(uint32_t pixelType)
{
    return bayerPatternOf(pixelType) != BayerNone;
}

bool isMonoImagePixelType(uint32_t pixelType)
{
    return (pixelType & kMonoFlag) != 0 && !isBayerPixelType(pixelType);
}
