// Pixel-type table, layout queries, line and buffer arithmetic and the name mapper.
#include <nimbo/PixelType.h>

#include "Errors.h"

#include <cstring>
#include <limits>
#include <string>

namespace Nimbo {
namespace {

constexpr uint32_t kMonoFlag = 0x01000000u;
constexpr uint32_t kColorFlag = 0x02000000u;

enum Family : uint8_t { FamMono, FamBayer, FamRGB, FamBGR, FamRGBA, FamBGRA, FamYUV };

struct PixelTypeInfo {
    EPixelType type;
    const char* name;  // SFNC 2 spelling, the one GetNameByPixelType answers
    const char* alias; // SFNC 1 spelling where it differs, else null
    Family family;
    uint8_t bitDepth;
    bool packed;
    bool planar;
    EPixelColorFilter filter;
};

// One row per type; every query below reads this table so that the answers cannot disagree.
const PixelTypeInfo kTypes[] = {
    {PixelType_Mono1packed, "Mono1p", nullptr, FamMono, 1, true, false, PCF_Undefined},
    {PixelType_Mono2packed, "Mono2p", nullptr, FamMono, 2, true, false, PCF_Undefined},
    {PixelType_Mono4packed, "Mono4p", nullptr, FamMono, 4, true, false, PCF_Undefined},
    {PixelType_Mono8, "Mono8", nullptr, FamMono, 8, false, false, PCF_Undefined},
    {PixelType_Mono8signed, "Mono8s", "Mono8Signed", FamMono, 8, false, false, PCF_Undefined},
    {PixelType_Mono10, "Mono10", nullptr, FamMono, 10, false, false, PCF_Undefined},
    {PixelType_Mono10packed, "Mono10Packed", nullptr, FamMono, 10, true, false, PCF_Undefined},
    {PixelType_Mono12, "Mono12", nullptr, FamMono, 12, false, false, PCF_Undefined},
    {PixelType_Mono12packed, "Mono12Packed", nullptr, FamMono, 12, true, false, PCF_Undefined},
    {PixelType_Mono16, "Mono16", nullptr, FamMono, 16, false, false, PCF_Undefined},
    {PixelType_Mono10p, "Mono10p", nullptr, FamMono, 10, true, false, PCF_Undefined},
    {PixelType_Mono12p, "Mono12p", nullptr, FamMono, 12, true, false, PCF_Undefined},

    {PixelType_BayerGR8, "BayerGR8", nullptr, FamBayer, 8, false, false, PCF_BayerGR},
    {PixelType_BayerRG8, "BayerRG8", nullptr, FamBayer, 8, false, false, PCF_BayerRG},
    {PixelType_BayerGB8, "BayerGB8", nullptr, FamBayer, 8, false, false, PCF_BayerGB},
    {PixelType_BayerBG8, "BayerBG8", nullptr, FamBayer, 8, false, false, PCF_BayerBG},
    {PixelType_BayerGR10, "BayerGR10", nullptr, FamBayer, 10, false, false, PCF_BayerGR},
    {PixelType_BayerRG10, "BayerRG10", nullptr, FamBayer, 10, false, false, PCF_BayerRG},
    {PixelType_BayerGB10, "BayerGB10", nullptr, FamBayer, 10, false, false, PCF_BayerGB},
    {PixelType_BayerBG10, "BayerBG10", nullptr, FamBayer, 10, false, false, PCF_BayerBG},
    {PixelType_BayerGR12, "BayerGR12", nullptr, FamBayer, 12, false, false, PCF_BayerGR},
    {PixelType_BayerRG12, "BayerRG12", nullptr, FamBayer, 12, false, false, PCF_BayerRG},
    {PixelType_BayerGB12, "BayerGB12", nullptr, FamBayer, 12, false, false, PCF_BayerGB},
    {PixelType_BayerBG12, "BayerBG12", nullptr, FamBayer, 12, false, false, PCF_BayerBG},
    {PixelType_BayerGR12Packed, "BayerGR12Packed", nullptr, FamBayer, 12, true, false, PCF_BayerGR},
    {PixelType_BayerRG12Packed, "BayerRG12Packed", nullptr, FamBayer, 12, true, false, PCF_BayerRG},
    {PixelType_BayerGB12Packed, "BayerGB12Packed", nullptr, FamBayer, 12, true, false, PCF_BayerGB},
    {PixelType_BayerBG12Packed, "BayerBG12Packed", nullptr, FamBayer, 12, true, false, PCF_BayerBG},
    {PixelType_BayerGR16, "BayerGR16", nullptr, FamBayer, 16, false, false, PCF_BayerGR},
    {PixelType_BayerRG16, "BayerRG16", nullptr, FamBayer, 16, false, false, PCF_BayerRG},
    {PixelType_BayerGB16, "BayerGB16", nullptr, FamBayer, 16, false, false, PCF_BayerGB},
    {PixelType_BayerBG16, "BayerBG16", nullptr, FamBayer, 16, false, false, PCF_BayerBG},
    {PixelType_BayerBG10p, "BayerBG10p", nullptr, FamBayer, 10, true, false, PCF_BayerBG},
    {PixelType_BayerGB10p, "BayerGB10p", nullptr, FamBayer, 10, true, false, PCF_BayerGB},
    {PixelType_BayerGR10p, "BayerGR10p", nullptr, FamBayer, 10, true, false, PCF_BayerGR},
    {PixelType_BayerRG10p, "BayerRG10p", nullptr, FamBayer, 10, true, false, PCF_BayerRG},
    {PixelType_BayerBG12p, "BayerBG12p", nullptr, FamBayer, 12, true, false, PCF_BayerBG},
    {PixelType_BayerGB12p, "BayerGB12p", nullptr, FamBayer, 12, true, false, PCF_BayerGB},
    {PixelType_BayerGR12p, "BayerGR12p", nullptr, FamBayer, 12, true, false, PCF_BayerGR},
    {PixelType_BayerRG12p, "BayerRG12p", nullptr, FamBayer, 12, true, false, PCF_BayerRG},

    {PixelType_RGB8packed, "RGB8", "RGB8Packed", FamRGB, 8, false, false, PCF_Undefined},
    {PixelType_BGR8packed, "BGR8", "BGR8Packed", FamBGR, 8, false, false, PCF_Undefined},
    {PixelType_RGBA8packed, "RGBa8", "RGBA8Packed", FamRGBA, 8, false, false, PCF_Undefined},
    {PixelType_BGRA8packed, "BGRa8", "BGRA8Packed", FamBGRA, 8, false, false, PCF_Undefined},
    {PixelType_RGB10packed, "RGB10", "RGB10Packed", FamRGB, 10, false, false, PCF_Undefined},
    {PixelType_BGR10packed, "BGR10", "BGR10Packed", FamBGR, 10, false, false, PCF_Undefined},
    {PixelType_RGB12packed, "RGB12", "RGB12Packed", FamRGB, 12, false, false, PCF_Undefined},
    {PixelType_BGR12packed, "BGR12", "BGR12Packed", FamBGR, 12, false, false, PCF_Undefined},
    {PixelType_RGB16packed, "RGB16", "RGB16Packed", FamRGB, 16, false, false, PCF_Undefined},
    {PixelType_BGR10V1packed, "BGR10V1Packed", nullptr, FamBGR, 10, true, false, PCF_Undefined},
    {PixelType_BGR10V2packed, "BGR10V2Packed", nullptr, FamBGR, 10, true, false, PCF_Undefined},
    {PixelType_RGB12V1packed, "RGB12V1Packed", nullptr, FamRGB, 12, true, false, PCF_Undefined},
    {PixelType_RGB8planar, "RGB8_Planar", "RGB8Planar", FamRGB, 8, false, true, PCF_Undefined},
    {PixelType_RGB10planar, "RGB10_Planar", "RGB10Planar", FamRGB, 10, false, true, PCF_Undefined},
    {PixelType_RGB12planar, "RGB12_Planar", "RGB12Planar", FamRGB, 12, false, true, PCF_Undefined},
    {PixelType_RGB16planar, "RGB16_Planar", "RGB16Planar", FamRGB, 16, false, true, PCF_Undefined},

    {PixelType_YUV411packed, "YUV411_8_UYYVYY", "YUV411Packed", FamYUV, 8, false, false, PCF_Undefined},
    {PixelType_YUV422packed, "YUV422_8_UYVY", "YUV422Packed", FamYUV, 8, false, false, PCF_Undefined},
    {PixelType_YUV444packed, "YUV8_UYV", "YUV444Packed", FamYUV, 8, false, false, PCF_Undefined},
    {PixelType_YUV422_YUYV_Packed, "YUV422_8", "YUV422_YUYV_Packed", FamYUV, 8, false, false, PCF_Undefined},
    {PixelType_YCbCr422_8, "YCbCr422_8", nullptr, FamYUV, 8, false, false, PCF_Undefined},
};

const PixelTypeInfo* find(EPixelType type)
{
    for (const PixelTypeInfo& info : kTypes)
        if (info.type == type)
            return &info;
    return nullptr;
}

unsigned int bitsOf(EPixelType type)
{
    return (static_cast<uint32_t>(type) >> 16) & 0xFFu;
}

unsigned int gcd(unsigned int a, unsigned int b)
{
    while (b) {
        const unsigned int r = a % b;
        a = b;
        b = r;
    }
    return a;
}

// Bytes of one line of one plane; 64-bit so that no width can overflow it.
uint64_t lineBytes(const PixelTypeInfo& info, uint32_t width)
{
    const unsigned int increment = PixelIncrementX(info.type);
    uint64_t pixels = width;
    if (info.family == FamYUV)
        pixels = (pixels + increment - 1) / increment * increment; // a line holds whole chroma groups
    unsigned int bits = bitsOf(info.type);
    if (info.planar)
        bits /= 3;
    return (pixels * bits + 7) / 8;
}

} // namespace

unsigned int BitPerPixel(EPixelType pixelType)
{
    return pixelType == PixelType_Undefined ? 0u : bitsOf(pixelType);
}

bool IsValidPixelType(EPixelType pixelType)
{
    return find(pixelType) != nullptr;
}

bool IsMono(EPixelType pixelType)
{
    return pixelType != PixelType_Undefined && (static_cast<uint32_t>(pixelType) & kMonoFlag) != 0;
}

bool IsBayer(EPixelType pixelType)
{
    return GetPixelColorFilter(pixelType) != PCF_Undefined;
}

bool IsMonoImage(EPixelType pixelType)
{
    return IsMono(pixelType) && !IsBayer(pixelType);
}

bool IsColor(EPixelType pixelType)
{
    return pixelType != PixelType_Undefined && (static_cast<uint32_t>(pixelType) & kColorFlag) != 0;
}

namespace {
bool isFamily(EPixelType type, Family family)
{
    const PixelTypeInfo* info = find(type);
    return info && info->family == family;
}
} // namespace

bool IsRGB(EPixelType pixelType)
{
    return isFamily(pixelType, FamRGB);
}

bool IsBGR(EPixelType pixelType)
{
    return isFamily(pixelType, FamBGR);
}

bool IsRGBA(EPixelType pixelType)
{
    return isFamily(pixelType, FamRGBA);
}

bool IsBGRA(EPixelType pixelType)
{
    return isFamily(pixelType, FamBGRA);
}

bool IsYUV(EPixelType pixelType)
{
    return isFamily(pixelType, FamYUV);
}

bool IsPlanar(EPixelType pixelType)
{
    const PixelTypeInfo* info = find(pixelType);
    return info && info->planar;
}

bool IsPacked(EPixelType pixelType)
{
    const PixelTypeInfo* info = find(pixelType);
    return info && info->packed;
}

EPixelColorFilter GetPixelColorFilter(EPixelType pixelType)
{
    const PixelTypeInfo* info = find(pixelType);
    return info ? info->filter : PCF_Undefined;
}

unsigned int BitDepth(EPixelType pixelType)
{
    const PixelTypeInfo* info = find(pixelType);
    return info ? info->bitDepth : 0u;
}

unsigned int PixelIncrementX(EPixelType pixelType)
{
    switch (pixelType) {
    case PixelType_YUV411packed: return 4;
    case PixelType_YUV422packed:
    case PixelType_YUV422_YUYV_Packed:
    case PixelType_YCbCr422_8: return 2;
    default: break;
    }
    const unsigned int bits = BitPerPixel(pixelType);
    if (bits == 0)
        return 1;
    // The smallest pixel count whose bits fill whole bytes.
    return 8 / gcd(bits, 8);
}

bool ComputeStride(size_t& strideBytes, EPixelType pixelType, uint32_t width, size_t paddingX)
{
    const PixelTypeInfo* info = find(pixelType);
    if (!info)
        return false;
    const uint64_t bytes = lineBytes(*info, width);
    if (paddingX > std::numeric_limits<size_t>::max() - bytes)
        return false;
    strideBytes = static_cast<size_t>(bytes) + paddingX;
    return true;
}

size_t ComputeStride(EPixelType pixelType, uint32_t width, size_t paddingX)
{
    size_t stride = 0;
    if (!find(pixelType))
        throwInvalidArgument("Pixel type " + std::to_string(static_cast<int32_t>(pixelType)) + " is not supported.");
    if (!ComputeStride(stride, pixelType, width, paddingX))
        throwOutOfRange("The line length does not fit the address space.");
    return stride;
}

size_t ComputePaddingX(size_t strideBytes, EPixelType pixelType, uint32_t width)
{
    const size_t line = ComputeStride(pixelType, width, 0);
    if (strideBytes < line)
        throwInvalidArgument("The stride of " + std::to_string(strideBytes) + " bytes is smaller than a line of " +
                             std::to_string(width) + " pixels (" + std::to_string(line) + " bytes).");
    return strideBytes - line;
}

size_t ComputeBufferSize(EPixelType pixelType, uint32_t width, uint32_t height, size_t paddingX)
{
    const size_t stride = ComputeStride(pixelType, width, paddingX);
    const size_t planes = IsPlanar(pixelType) ? 3 : 1;
    const size_t max = std::numeric_limits<size_t>::max();
    if (height != 0 && stride > max / height / planes)
        throwOutOfRange("The image size does not fit the address space.");
    return stride * height * planes;
}

EPixelType CPixelTypeMapper::GetNimboPixelTypeByName(const char* name)
{
    if (!name)
        return PixelType_Undefined;
    for (const PixelTypeInfo& info : kTypes) {
        if (std::strcmp(info.name, name) == 0 || (info.alias && std::strcmp(info.alias, name) == 0))
            return info.type;
    }
    return PixelType_Undefined;
}

EPixelType CPixelTypeMapper::GetNimboPixelTypeByName(const std::string& name)
{
    return GetNimboPixelTypeByName(name.c_str());
}

const char* CPixelTypeMapper::GetNameByPixelType(EPixelType pixelType)
{
    const PixelTypeInfo* info = find(pixelType);
    return info ? info->name : "";
}

} // namespace Nimbo
