// Pixel-type codes, layout queries, stride, padding and buffer sizes, and the name mapper.
#include <nimbo/PixelType.h>

#include <gtest/gtest.h>

#include <limits>
#include <GenICam/GenericException.h>

using namespace Nimbo;

TEST(PixelType, IsThirtyTwoBitsWideAndKeepsHighBitCodes)
{
    static_assert(sizeof(EPixelType) == 4, "pixel types are 32-bit values");
    EXPECT_EQ(static_cast<uint32_t>(PixelType_Mono1packed), 0x8101000Cu);
    EXPECT_EQ(static_cast<int32_t>(PixelType_Undefined), -1);
}

TEST(PixelType, ClassificationTable)
{
    struct Row {
        EPixelType type;
        unsigned bits;
        unsigned depth;
        bool mono, monoImage, bayer, color, packed, yuv;
        EPixelColorFilter filter;
    };
    const Row rows[] = {
        {PixelType_Mono8, 8, 8, true, true, false, false, false, false, PCF_Undefined},
        {PixelType_Mono12, 16, 12, true, true, false, false, false, false, PCF_Undefined},
        {PixelType_Mono12packed, 12, 12, true, true, false, false, true, false, PCF_Undefined},
        {PixelType_Mono10p, 10, 10, true, true, false, false, true, false, PCF_Undefined},
        {PixelType_Mono4packed, 4, 4, true, true, false, false, true, false, PCF_Undefined},
        {PixelType_BayerRG8, 8, 8, true, false, true, false, false, false, PCF_BayerRG},
        {PixelType_BayerGB10p, 10, 10, true, false, true, false, true, false, PCF_BayerGB},
        {PixelType_BayerGR12Packed, 12, 12, true, false, true, false, true, false, PCF_BayerGR},
        {PixelType_BayerBG16, 16, 16, true, false, true, false, false, false, PCF_BayerBG},
        {PixelType_RGB8packed, 24, 8, false, false, false, true, false, false, PCF_Undefined},
        {PixelType_BGRA8packed, 32, 8, false, false, false, true, false, false, PCF_Undefined},
        {PixelType_BGR12packed, 48, 12, false, false, false, true, false, false, PCF_Undefined},
        {PixelType_BGR10V1packed, 32, 10, false, false, false, true, true, false, PCF_Undefined},
        {PixelType_RGB12V1packed, 36, 12, false, false, false, true, true, false, PCF_Undefined},
        {PixelType_YUV422_YUYV_Packed, 16, 8, false, false, false, true, false, true, PCF_Undefined},
        {PixelType_YUV411packed, 12, 8, false, false, false, true, false, true, PCF_Undefined},
        {PixelType_Undefined, 0, 0, false, false, false, false, false, false, PCF_Undefined},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << static_cast<uint32_t>(row.type));
        EXPECT_EQ(BitPerPixel(row.type), row.bits);
        EXPECT_EQ(BitDepth(row.type), row.depth);
        EXPECT_EQ(IsMono(row.type), row.mono);
        EXPECT_EQ(IsMonoImage(row.type), row.monoImage);
        EXPECT_EQ(IsBayer(row.type), row.bayer);
        EXPECT_EQ(IsColor(row.type), row.color);
        EXPECT_EQ(IsPacked(row.type), row.packed);
        EXPECT_EQ(IsYUV(row.type), row.yuv);
        EXPECT_EQ(GetPixelColorFilter(row.type), row.filter);
        EXPECT_EQ(IsValidPixelType(row.type), row.type != PixelType_Undefined);
    }
}

TEST(PixelType, StrideRoundsPackedLinesAndChromaGroups)
{
    struct Row {
        EPixelType type;
        uint32_t width;
        size_t stride;
    };
    const Row rows[] = {
        {PixelType_Mono8, 5, 5},         {PixelType_Mono16, 5, 10},
        {PixelType_Mono12packed, 3, 5}, // 36 bits -> 5 bytes
        {PixelType_Mono12packed, 4, 6},  {PixelType_Mono10p, 4, 5},
        {PixelType_Mono10p, 5, 7}, // 50 bits -> 7 bytes
        {PixelType_Mono1packed, 9, 2},   {PixelType_RGB8packed, 3, 9},
        {PixelType_BGRA8packed, 3, 12},  {PixelType_YUV422_YUYV_Packed, 3, 8}, // odd width still ends on a whole pair
        {PixelType_YUV411packed, 5, 12}, // two groups of four pixels, six bytes each
        {PixelType_RGB8planar, 4, 4},    // one plane
        {PixelType_Mono8, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << static_cast<uint32_t>(row.type) << std::dec
                                        << " w=" << row.width);
        EXPECT_EQ(ComputeStride(row.type, row.width), row.stride);
        EXPECT_EQ(ComputeStride(row.type, row.width, 3), row.stride + 3);
        size_t stride = 0;
        EXPECT_TRUE(ComputeStride(stride, row.type, row.width, 0));
        EXPECT_EQ(stride, row.stride);
        EXPECT_EQ(ComputePaddingX(row.stride + 7, row.type, row.width), 7u);
    }
}

TEST(PixelType, BufferSizeCountsPaddingAndPlanes)
{
    EXPECT_EQ(ComputeBufferSize(PixelType_Mono8, 640, 480), 640u * 480u);
    EXPECT_EQ(ComputeBufferSize(PixelType_BayerRG12, 10, 4, 2), (20u + 2u) * 4u);
    EXPECT_EQ(ComputeBufferSize(PixelType_RGB8planar, 4, 2), 3u * 4u * 2u);
    EXPECT_EQ(ComputeBufferSize(PixelType_BGR8packed, 7, 0), 0u);
    // Sizes beyond 4 GiB are computed without wrapping; a product past size_t is refused.
    const uint32_t big = std::numeric_limits<uint32_t>::max();
    EXPECT_EQ(ComputeBufferSize(PixelType_Mono16, big, 3), size_t(big) * 2u * 3u);
    EXPECT_THROW(ComputeBufferSize(PixelType_Mono16, big, big), GenICam::OutOfRangeException);
}

TEST(PixelType, UnknownTypesAndImpossibleStridesAreRefused)
{
    const EPixelType bogus = static_cast<EPixelType>(0x01080099);
    size_t stride = 42;
    EXPECT_FALSE(ComputeStride(stride, bogus, 10));
    EXPECT_FALSE(ComputeStride(stride, PixelType_Undefined, 10));
    EXPECT_EQ(stride, 42u);
    EXPECT_THROW(ComputeStride(bogus, 10), GenICam::InvalidArgumentException);
    EXPECT_THROW(ComputeBufferSize(PixelType_Undefined, 10, 10), GenICam::InvalidArgumentException);
    EXPECT_THROW(ComputePaddingX(9, PixelType_Mono8, 10), GenICam::InvalidArgumentException);
    EXPECT_THROW(ComputeStride(PixelType_Mono8, 10, std::numeric_limits<size_t>::max()), GenICam::OutOfRangeException);
    EXPECT_EQ(BitPerPixel(bogus), 8u); // the code's own bit field, as the display needs for unknown types
}

TEST(PixelTypeMapper, MapsBothNamingGenerations)
{
    struct Row {
        const char* name;
        EPixelType type;
    };
    const Row rows[] = {
        {"Mono8", PixelType_Mono8},
        {"Mono12Packed", PixelType_Mono12packed},
        {"Mono12p", PixelType_Mono12p},
        {"BayerRG8", PixelType_BayerRG8},
        {"BayerBG12Packed", PixelType_BayerBG12Packed},
        {"RGB8", PixelType_RGB8packed},
        {"RGB8Packed", PixelType_RGB8packed},
        {"BGR8Packed", PixelType_BGR8packed},
        {"BGRa8", PixelType_BGRA8packed},
        {"YUV422Packed", PixelType_YUV422packed},
        {"YUV422_YUYV_Packed", PixelType_YUV422_YUYV_Packed},
        {"YCbCr422_8", PixelType_YCbCr422_8},
        {"mono8", PixelType_Undefined},
        {"", PixelType_Undefined},
        {"Mono8 ", PixelType_Undefined},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(CPixelTypeMapper::GetNimboPixelTypeByName(row.name), row.type);
        EXPECT_EQ(CPixelTypeMapper::GetNimboPixelTypeByName(std::string(row.name)), row.type);
    }
    EXPECT_EQ(CPixelTypeMapper::GetNimboPixelTypeByName(static_cast<const char*>(nullptr)), PixelType_Undefined);
    EXPECT_STREQ(CPixelTypeMapper::GetNameByPixelType(PixelType_BayerRG8), "BayerRG8");
    EXPECT_STREQ(CPixelTypeMapper::GetNameByPixelType(PixelType_Undefined), "");
}

TEST(PixelTypeMapper, EveryNameRoundTrips)
{
    for (uint32_t code = 0x01080001; code <= 0x0110003F; ++code) {
        for (uint32_t high : {0x01000000u, 0x02000000u}) {
            const auto type = static_cast<EPixelType>((code & 0x00FFFFFF) | high);
            if (!IsValidPixelType(type))
                continue;
            EXPECT_EQ(CPixelTypeMapper::GetNimboPixelTypeByName(CPixelTypeMapper::GetNameByPixelType(type)), type);
        }
    }
}
