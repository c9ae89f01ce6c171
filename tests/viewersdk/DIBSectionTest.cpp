// DIB sections in memory: creation, header sizes, colour tables and drawing.
#include <lorvish/DIBSection.h>

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace Lorvish;

namespace {

struct SectionDeleter {
    void operator()(DIBSection* section) const { DSDeleteDIBSection(section); }
};
using Section = std::unique_ptr<DIBSection, SectionDeleter>;

struct InfoDeleter {
    void operator()(BitmapInfo* info) const { std::free(info); }
};
using Info = std::unique_ptr<BitmapInfo, InfoDeleter>;

BitmapInfo headerOnly(int width, int height, int bitCount, uint32_t compression, uint32_t clrUsed = 0)
{
    BitmapInfo info{};
    info.bmiHeader.biSize = 40;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = uint16_t(bitCount);
    info.bmiHeader.biCompression = compression;
    info.bmiHeader.biClrUsed = clrUsed;
    return info;
}

const RgbQuad* tableOf(const BitmapInfo* info)
{
    const size_t masks = info->bmiHeader.biCompression == BI_BITFIELDS ? 12 : 0;
    return reinterpret_cast<const RgbQuad*>(reinterpret_cast<const uint8_t*>(info) + 40 + masks);
}

} // namespace

TEST(DIBSectionTest, SizesOfHeadersByBitCount)
{
    const struct {
        int width;
        int height;
        int bitCount;
        uint32_t compression;
        uint32_t clrUsed;
        uint32_t tableBytes;
        size_t imageBytes;
    } cases[] = {
        {3, 2, 8, BI_RGB, 0, 1024, 8},  // 3 bytes per line padded to 4
        {3, -2, 8, BI_RGB, 0, 1024, 8}, // top-down: still a positive byte count
        {3, -2, 32, BI_BITFIELDS, 0, 12, 24},  {5, 1, 1, BI_RGB, 0, 8, 4},
        {9, 1, 4, BI_RGB, 16, 64, 8},          {7, 3, 24, BI_RGB, 0, 0, 72}, // 21 bytes per line padded to 24
        {2, 2, 16, BI_BITFIELDS, 0, 12, 8},    {8, 4, 8, BI_RGB, 20, 80, 32},
        {70000, -1, 32, BI_RGB, 0, 0, 280000}, // wider than a 16-bit count of line words
    };
    for (const auto& c : cases) {
        const BitmapInfo info = headerOnly(c.width, c.height, c.bitCount, c.compression, c.clrUsed);
        EXPECT_EQ(DSColorTableSize(&info), c.tableBytes) << c.width << "x" << c.height << "@" << c.bitCount;
        EXPECT_EQ(DSImageBytes(&info), c.imageBytes) << c.width << "x" << c.height << "@" << c.bitCount;
        EXPECT_EQ(DSTotalBytes(&info), 40 + c.tableBytes + c.imageBytes);
    }
    BitmapInfo rle = headerOnly(100, 100, 8, BI_RLE8);
    rle.bmiHeader.biSizeImage = 1234;
    EXPECT_EQ(DSImageBytes(&rle), 1234u);
    EXPECT_EQ(DSImageBytes(nullptr), 0u);
    EXPECT_EQ(DSColorTableSize(nullptr), 0u);
}

TEST(DIBSectionTest, NewSectionsCarryTheirTablesAndMasks)
{
    Section grey(DSNewDIBSection(3, -2, 8, true));
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->header.biSize, 40u);
    EXPECT_EQ(grey->header.biPlanes, 1);
    EXPECT_EQ(grey->header.biHeight, -2);
    EXPECT_EQ(grey->header.biClrUsed, 256u);
    EXPECT_EQ(grey->stride, 4u);
    ASSERT_EQ(grey->colorTable.size(), 256u);
    EXPECT_EQ(grey->colorTable[77].rgbRed, 77);
    EXPECT_EQ(grey->colorTable[77].rgbBlue, 77);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(DSGetDIBSectionBits(grey.get())) % 4, 0u);

    Section spectrum(DSNewDIBSection(4, 4, 8, false));
    ASSERT_TRUE(spectrum);
    const LogicalPalette palette = DSNewSpectrumPalette();
    ASSERT_EQ(palette.entries.size(), 256u);
    EXPECT_EQ(palette.palVersion, 0x300);
    // Entry 203 = 3 + 8 * 1 + 64 * 3.
    EXPECT_EQ(palette.entries[203].peRed, 96);
    EXPECT_EQ(palette.entries[203].peGreen, 32);
    EXPECT_EQ(palette.entries[203].peBlue, 192);
    EXPECT_EQ(spectrum->colorTable[203].rgbRed, 96);
    EXPECT_EQ(spectrum->colorTable[203].rgbBlue, 192);

    Section vga(DSNewDIBSection(4, 4, 4, false));
    ASSERT_TRUE(vga);
    EXPECT_EQ(vga->header.biClrUsed, 16u);
    EXPECT_EQ(vga->colorTable[9].rgbRed, 0xFF);
    EXPECT_EQ(vga->colorTable[9].rgbGreen, 0);
    EXPECT_EQ(DSNewPaletteForDIBSection(vga.get()).entries.size(), 16u);

    Section rgb16(DSNewDIBSection(2, 2, 16, false));
    ASSERT_TRUE(rgb16);
    EXPECT_EQ(rgb16->header.biCompression, BI_BITFIELDS);
    EXPECT_EQ(rgb16->masks[0], 0x7C00u);
    Section rgb32(DSNewDIBSection(2, 2, 32, false));
    ASSERT_TRUE(rgb32);
    EXPECT_EQ(rgb32->header.biCompression, BI_BITFIELDS);
    EXPECT_EQ(rgb32->masks[0], 0xFF0000u);
    EXPECT_TRUE(rgb32->colorTable.empty());
    EXPECT_EQ(DSNewPaletteForDIBSection(rgb32.get()).entries.size(), 256u);
}

TEST(DIBSectionTest, ImpossibleSectionsAreRefused)
{
    const struct {
        int width;
        int height;
        int bitCount;
    } cases[] = {{0, 4, 8}, {4, 0, 8}, {-1, 4, 8}, {4, 4, 12}, {4, 4, 0}, {1 << 20, 1 << 20, 32}};
    for (const auto& c : cases) {
        errno = 0;
        EXPECT_EQ(DSNewDIBSection(c.width, c.height, c.bitCount, true), nullptr) << c.width << "x" << c.height;
        EXPECT_EQ(errno, EINVAL);
    }
    EXPECT_FALSE(DSDeleteDIBSection(nullptr));
}

TEST(DIBSectionTest, BitmapInfoCopiesTheHeaderWithTableOrSpectrum)
{
    Section grey(DSNewDIBSection(5, -3, 8, true));
    ASSERT_TRUE(grey);
    Info greyInfo(DSGetBITMAPINFOForDIBSection(grey.get()));
    ASSERT_TRUE(greyInfo);
    EXPECT_EQ(std::memcmp(&greyInfo->bmiHeader, &grey->header, 40), 0);
    EXPECT_EQ(tableOf(greyInfo.get())[200].rgbGreen, 200);
    EXPECT_EQ(DSColorTableSize(greyInfo.get()), 1024u);

    Section colour(DSNewDIBSection(5, -3, 32, false));
    ASSERT_TRUE(colour);
    Info colourInfo(DSGetBITMAPINFOForDIBSection(colour.get()));
    ASSERT_TRUE(colourInfo);
    EXPECT_EQ(colourInfo->bmiHeader.biClrUsed, 256u);
    uint32_t masks[3];
    std::memcpy(masks, reinterpret_cast<const uint8_t*>(colourInfo.get()) + 40, sizeof(masks));
    EXPECT_EQ(masks[0], 0xFF0000u);
    EXPECT_EQ(masks[2], 0x0000FFu);
    EXPECT_EQ(tableOf(colourInfo.get())[203].rgbBlue, 192);
    // 256 spectrum entries and the masks: 1,036 bytes after the header.
    EXPECT_EQ(DSColorTableSize(colourInfo.get()), 1036u);
    EXPECT_EQ(DSGetBITMAPINFOForDIBSection(nullptr), nullptr);
}

TEST(DIBSectionTest, DrawsTopDownAndBottomUpSectionsTheRightWayUp)
{
    for (int height : {-2, 2}) {
        Section section(DSNewDIBSection(2, height, 32, false));
        ASSERT_TRUE(section);
        auto* pixels = reinterpret_cast<uint32_t*>(section->bits);
        pixels[0] = pixels[1] = 0x00FF0000; // first line in memory red
        pixels[2] = pixels[3] = 0x000000FF; // second blue
        QImage target(4, 4, QImage::Format_RGB32);
        target.fill(Qt::black);
        {
            QPainter painter(&target);
            EXPECT_TRUE(DSDrawDIBSectionOnDC(&painter, section.get(), QRect(0, 0, 4, 4)));
        }
        const QRgb top = height < 0 ? qRgb(255, 0, 0) : qRgb(0, 0, 255);
        const QRgb bottom = height < 0 ? qRgb(0, 0, 255) : qRgb(255, 0, 0);
        EXPECT_EQ(target.pixel(1, 0), top) << height;
        EXPECT_EQ(target.pixel(3, 3), bottom) << height;
    }
}

TEST(DIBSectionTest, DrawsIndexedSectionsThroughTheirTable)
{
    Section grey(DSNewDIBSection(2, -1, 8, true));
    Section vga(DSNewDIBSection(2, -1, 4, false));
    ASSERT_TRUE(grey && vga);
    grey->bits[0] = 0x40;
    grey->bits[1] = 0xC0;
    vga->bits[0] = 0x9C; // red, then blue
    QImage target(2, 2, QImage::Format_RGB32);
    QPainter painter(&target);
    EXPECT_TRUE(DSDrawDIBSectionOnDC(&painter, grey.get(), QRect(0, 0, 2, 1)));
    EXPECT_TRUE(DSDrawDIBSectionOnDC(&painter, vga.get(), QRect(0, 1, 2, 1)));
    painter.end();
    EXPECT_EQ(target.pixel(0, 0), qRgb(0x40, 0x40, 0x40));
    EXPECT_EQ(target.pixel(1, 0), qRgb(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(target.pixel(0, 1), qRgb(0xFF, 0, 0));
    EXPECT_EQ(target.pixel(1, 1), qRgb(0, 0, 0xFF));

    EXPECT_FALSE(DSDrawDIBSectionOnDC(nullptr, grey.get(), QRect(0, 0, 2, 2)));
    QPainter inactive;
    EXPECT_FALSE(DSDrawDIBSectionOnDC(&inactive, grey.get(), QRect(0, 0, 2, 2)));
}
