// Images: copying and attaching buffers with their checks, deep copies, line order and pixel reading.
#include <nimbo/NimboImage.h>

#include <GenICam/GenericException.h>
#include <gtest/gtest.h>

#include <vector>

using namespace Nimbo;

TEST(NimboImage, CopyOwnsAndAttachSharesTheBuffer)
{
    std::vector<uint8_t> pixels = {1, 2, 3, 0, 4, 5, 6, 0}; // 3x2 Mono8 with one padding byte
    CNimboImage copied, attached;
    copied.CopyBuffer(pixels.data(), pixels.size(), PixelType_Mono8, 3, 2, 1);
    attached.AttachUserBuffer(pixels.data(), pixels.size(), PixelType_Mono8, 3, 2, 1);
    pixels[4] = 40;
    EXPECT_EQ(copied.GetPixelData(0, 1).Mono, 4u);
    EXPECT_EQ(attached.GetPixelData(0, 1).Mono, 40u);
    EXPECT_TRUE(attached.IsUserBufferAttached());
    EXPECT_EQ(attached.GetBuffer(), pixels.data());
    EXPECT_EQ(copied.GetStride(), 4u);
    EXPECT_EQ(copied.GetImageSize(), 8u);

    // A copy of an attached image is an owned deep copy; moving leaves the source empty.
    CNimboImage deep(attached);
    EXPECT_FALSE(deep.IsUserBufferAttached());
    EXPECT_NE(deep.GetBuffer(), pixels.data());
    CNimboImage moved(std::move(deep));
    EXPECT_FALSE(deep.IsValid());
    EXPECT_EQ(moved.GetPixelData(0, 1).Mono, 40u);
    moved.Release();
    EXPECT_FALSE(moved.IsValid());
    EXPECT_EQ(moved.GetBuffer(), nullptr);
    EXPECT_EQ(moved.GetPixelData(0, 0).PixelDataType, PixelDataType_Unknown);
}

TEST(NimboImage, RefusesBuffersThatDoNotHoldTheImage)
{
    std::vector<uint8_t> pixels(12);
    CNimboImage image;
    image.CopyBuffer(pixels.data(), pixels.size(), PixelType_Mono8, 4, 3, 0);
    EXPECT_THROW(image.CopyBuffer(pixels.data(), 11, PixelType_Mono8, 4, 3, 0), GenICam::InvalidArgumentException);
    EXPECT_THROW(image.CopyBuffer(nullptr, 12, PixelType_Mono8, 4, 3, 0), GenICam::InvalidArgumentException);
    EXPECT_THROW(image.AttachUserBuffer(pixels.data(), 12, PixelType_Mono16, 4, 3, 0),
                 GenICam::InvalidArgumentException);
    EXPECT_THROW(image.CopyBuffer(pixels.data(), 12, PixelType_Undefined, 4, 3, 0), GenICam::InvalidArgumentException);
    // A failed call leaves the image as it was.
    EXPECT_EQ(image.GetWidth(), 4u);
    EXPECT_EQ(image.GetPixelType(), PixelType_Mono8);
    EXPECT_FALSE(image.IsUserBufferAttached());
}

TEST(NimboImage, PixelDataOfEachFamily)
{
    struct Row {
        EPixelType type;
        std::vector<uint8_t> bytes; // a 2x1 image
        uint32_t x;
        EPixelDataType kind;
        uint32_t a, b, c; // mono / R G B / Y U V
    };
    const Row rows[] = {
        {PixelType_Mono8, {7, 9}, 1, PixelDataType_Mono, 9, 0, 0},
        {PixelType_Mono12, {0xFF, 0x0F, 0x34, 0x02}, 1, PixelDataType_Mono, 0x234, 0, 0},
        {PixelType_Mono12packed, {0xAB, 0x21, 0xCD}, 0, PixelDataType_Mono, 0xAB1, 0, 0},
        {PixelType_Mono12packed, {0xAB, 0x21, 0xCD}, 1, PixelDataType_Mono, 0xCD2, 0, 0},
        {PixelType_Mono12p, {0xAB, 0x21, 0xCD}, 1, PixelDataType_Mono, 0xCD2, 0, 0},
        {PixelType_Mono12p, {0xAB, 0x21, 0xCD}, 0, PixelDataType_Mono, 0x1AB, 0, 0},
        {PixelType_BGR8packed, {1, 2, 3, 4, 5, 6}, 1, PixelDataType_RGB, 6, 5, 4},
        {PixelType_RGB12packed, {1, 0, 2, 0, 3, 0, 0xFF, 0x0F, 5, 0, 6, 0}, 1, PixelDataType_RGB, 0xFFF, 5, 6},
        {PixelType_YUV422_YUYV_Packed, {10, 20, 30, 40}, 1, PixelDataType_YUV, 30, 20, 40},
        {PixelType_YUV422packed, {10, 20, 30, 40}, 1, PixelDataType_YUV, 40, 10, 30},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(CPixelTypeMapper::GetNameByPixelType(row.type));
        CNimboImage image;
        image.CopyBuffer(row.bytes.data(), row.bytes.size(), row.type, 2, 1, 0);
        const SPixelData p = image.GetPixelData(row.x, 0);
        EXPECT_EQ(p.PixelDataType, row.kind);
        EXPECT_EQ(p.BitDepth, BitDepth(row.type));
        std::vector<uint32_t> got;
        if (row.kind == PixelDataType_Mono)
            got = {p.Mono, 0, 0};
        else if (row.kind == PixelDataType_RGB)
            got = {p.RGB.R, p.RGB.G, p.RGB.B};
        else
            got = {p.YUV.Y, p.YUV.U, p.YUV.V};
        EXPECT_EQ(got, (std::vector<uint32_t>{row.a, row.b, row.c}));
        EXPECT_EQ(image.GetPixelData(2, 0).PixelDataType, PixelDataType_Unknown);
        EXPECT_EQ(image.GetPixelData(0, 1).PixelDataType, PixelDataType_Unknown);
    }
}

TEST(NimboImage, BayerSitesAndBottomUpLines)
{
    const std::vector<uint8_t> pixels = {1, 2, 3, 4}; // 2x2, stored bottom-up: top line is {3, 4}
    CNimboImage image;
    image.CopyBuffer(pixels.data(), pixels.size(), PixelType_BayerGR8, 2, 2, 0, ImageOrientation_BottomUp);
    EXPECT_EQ(image.GetPixelData(0, 0).Mono, 3u);
    EXPECT_EQ(image.GetLine(1), image.GetBuffer());
    EXPECT_EQ(image.GetLine(2), nullptr);
    // GR cell: G R on the top line, B G below.
    EXPECT_EQ(image.GetPixelData(0, 0).BayerFilter, PCF_BayerGR);
    EXPECT_EQ(image.GetPixelData(1, 0).BayerFilter, PCF_BayerRG);
    EXPECT_EQ(image.GetPixelData(0, 1).BayerFilter, PCF_BayerBG);
    EXPECT_EQ(image.GetPixelData(1, 1).BayerFilter, PCF_BayerGB);
}
