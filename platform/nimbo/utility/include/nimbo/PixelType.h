// Pixel types of the camera SDK stand-in: their 32-bit codes, layout queries and buffer arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Nimbo {

// The code layout follows the GenICam pixel-format naming: bit 24 mono, bit 25 colour, bits 16..23
// the bits one pixel occupies, the low 16 bits the format id. The SDK's own packed 1/2/4-bit mono
// types carry bit 31; they are written through int32_t so that the type stays 32 bits wide.
enum EPixelType : int32_t {
    PixelType_Undefined = -1,

    PixelType_Mono1packed = static_cast<int32_t>(0x8101000Cu),
    PixelType_Mono2packed = static_cast<int32_t>(0x8102000Du),
    PixelType_Mono4packed = static_cast<int32_t>(0x8104000Eu),

    PixelType_Mono8 = 0x01080001,
    PixelType_Mono8signed = 0x01080002,
    PixelType_Mono10 = 0x01100003,
    PixelType_Mono10packed = 0x010C0004,
    PixelType_Mono12 = 0x01100005,
    PixelType_Mono12packed = 0x010C0006,
    PixelType_Mono16 = 0x01100007,
    PixelType_Mono10p = 0x010A0046,
    PixelType_Mono12p = 0x010C0047,

    PixelType_BayerGR8 = 0x01080008,
    PixelType_BayerRG8 = 0x01080009,
    PixelType_BayerGB8 = 0x0108000A,
    PixelType_BayerBG8 = 0x0108000B,
    PixelType_BayerGR10 = 0x0110000C,
    PixelType_BayerRG10 = 0x0110000D,
    PixelType_BayerGB10 = 0x0110000E,
    PixelType_BayerBG10 = 0x0110000F,
    PixelType_BayerGR12 = 0x01100010,
    PixelType_BayerRG12 = 0x01100011,
    PixelType_BayerGB12 = 0x01100012,
    PixelType_BayerBG12 = 0x01100013,
    PixelType_BayerGR12Packed = 0x010C002A,
    PixelType_BayerRG12Packed = 0x010C002B,
    PixelType_BayerGB12Packed = 0x010C002C,
    PixelType_BayerBG12Packed = 0x010C002D,
    PixelType_BayerGR16 = 0x0110002E,
    PixelType_BayerRG16 = 0x0110002F,
    PixelType_BayerGB16 = 0x01100030,
    PixelType_BayerBG16 = 0x01100031,
    PixelType_BayerBG10p = 0x010A0052,
    PixelType_BayerGB10p = 0x010A0054,
    PixelType_BayerGR10p = 0x010A0056,
    PixelType_BayerRG10p = 0x010A0058,
    PixelType_BayerBG12p = 0x010C0053,
    PixelType_BayerGB12p = 0x010C0055,
    PixelType_BayerGR12p = 0x010C0057,
    PixelType_BayerRG12p = 0x010C0059,

    PixelType_RGB8packed = 0x02180014,
    PixelType_BGR8packed = 0x02180015,
    PixelType_RGBA8packed = 0x02200016,
    PixelType_BGRA8packed = 0x02200017,
    PixelType_RGB10packed = 0x02300018,
    PixelType_BGR10packed = 0x02300019,
    PixelType_RGB12packed = 0x0230001A,
    PixelType_BGR12packed = 0x0230001B,
    PixelType_RGB16packed = 0x02300033,
    PixelType_BGR10V1packed = 0x0220001C,
    PixelType_BGR10V2packed = 0x0220001D,
    PixelType_RGB12V1packed = 0x02240034,
    PixelType_RGB8planar = 0x02180021,
    PixelType_RGB10planar = 0x02300022,
    PixelType_RGB12planar = 0x02300023,
    PixelType_RGB16planar = 0x02300024,

    PixelType_YUV411packed = 0x020C001E,
    PixelType_YUV422packed = 0x0210001F,
    PixelType_YUV444packed = 0x02180020,
    PixelType_YUV422_YUYV_Packed = 0x02100032,
    PixelType_YCbCr422_8 = 0x0210003B,
};

// Width, height, line bytes and pixel type of an image, in that order.
struct SImageFormat {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t lineBytes = 0;
    EPixelType pixelType = PixelType_Undefined;
};

// Colour-filter arrangement of a Bayer type, the top-left 2x2 cell read row by row.
enum EPixelColorFilter {
    PCF_BayerRG = 0,
    PCF_BayerGB = 1,
    PCF_BayerGR = 2,
    PCF_BayerBG = 3,
    PCF_Undefined = 4,
};

// Bits one pixel occupies in memory; 0 for PixelType_Undefined.
unsigned int BitPerPixel(EPixelType pixelType);

// True for every code this SDK knows.
bool IsValidPixelType(EPixelType pixelType);

// Mono flag set (Bayer types included, as in the code layout).
bool IsMono(EPixelType pixelType);
// Mono flag set and not Bayer: a grey image.
bool IsMonoImage(EPixelType pixelType);
bool IsBayer(EPixelType pixelType);
// Colour flag set: RGB, BGR, their alpha forms and YUV.
bool IsColor(EPixelType pixelType);
bool IsRGB(EPixelType pixelType);
bool IsBGR(EPixelType pixelType);
bool IsRGBA(EPixelType pixelType);
bool IsBGRA(EPixelType pixelType);
bool IsYUV(EPixelType pixelType);
bool IsPlanar(EPixelType pixelType);
// Bits of neighbouring pixels share bytes (10p, 12p, 12Packed, the 1/2/4-bit mono types, V1/V2 forms).
bool IsPacked(EPixelType pixelType);
EPixelColorFilter GetPixelColorFilter(EPixelType pixelType);
// Significant bits of one colour component (Mono12 -> 12, RGB8packed -> 8, BGR10V1packed -> 10).
unsigned int BitDepth(EPixelType pixelType);
// Pixels after which the memory layout repeats: 2 for YUV 4:2:2 and 12Packed pairs, 4 for YUV 4:1:1 and
// 10p groups, 8 for the 1-bit type, and so on; 1 for byte-aligned single pixels.
unsigned int PixelIncrementX(EPixelType pixelType);

// Bytes of one line (of one plane for planar types) of `width` pixels followed by `paddingX` padding
// bytes. Packed types round the line up to whole bytes; YUV types round the width up to a whole
// chroma group. Throws GenICam::InvalidArgumentException for an unknown type.
size_t ComputeStride(EPixelType pixelType, uint32_t width, size_t paddingX = 0);
// Same computation without exceptions: false for an unknown type.
bool ComputeStride(size_t& strideBytes, EPixelType pixelType, uint32_t width, size_t paddingX = 0);
// Padding that makes a line of `width` pixels exactly `strideBytes` long; throws
// GenICam::InvalidArgumentException when the line does not fit the stride.
size_t ComputePaddingX(size_t strideBytes, EPixelType pixelType, uint32_t width);
// Bytes of an image of `height` lines; planar types hold three planes. Throws
// GenICam::InvalidArgumentException for an unknown type and
// GenICam::OutOfRangeException when the product does not fit size_t.
size_t ComputeBufferSize(EPixelType pixelType, uint32_t width, uint32_t height, size_t paddingX = 0);

// Pixel-format names as cameras show them in their PixelFormat enumeration, SFNC 1 and SFNC 2 spellings.
class CPixelTypeMapper {
public:
    // PixelType_Undefined for a name nobody knows; the comparison is exact (case matters).
    static EPixelType GetNimboPixelTypeByName(const char* name);
    static EPixelType GetNimboPixelTypeByName(const std::string& name);
    // The SFNC 2 name of a type, or an empty text for an unknown type. The text lives for the process.
    static const char* GetNameByPixelType(EPixelType pixelType);
};

} // namespace Nimbo
