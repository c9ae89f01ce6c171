// DIB sections in memory and the helpers around them.
#include "lorvish/DIBSection.h"

#include <QImage>
#include <QPainter>
#include <QRect>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace Lorvish {

namespace {

// Sizes beyond this would not fit the signed line offsets and header fields that callers use.
constexpr uint64_t kMaxImageBytes = std::numeric_limits<int32_t>::max();
constexpr size_t kTableEntries = 256;

RgbQuad quad(uint8_t red, uint8_t green, uint8_t blue)
{
    return RgbQuad{blue, green, red, 0};
}

std::vector<RgbQuad> spectrumTable()
{
    std::vector<RgbQuad> table;
    table.reserve(kTableEntries);
    for (const PaletteEntry& entry : DSNewSpectrumPalette().entries)
        table.push_back(quad(entry.peRed, entry.peGreen, entry.peBlue));
    return table;
}

std::vector<RgbQuad> colorTableFor(int bitCount, bool greyTable)
{
    switch (bitCount) {
    case 1: return {quad(0, 0, 0), quad(0xFF, 0xFF, 0xFF)};
    case 4:
        return {quad(0x00, 0x00, 0x00), quad(0x80, 0x00, 0x00), quad(0x00, 0x80, 0x00), quad(0x80, 0x80, 0x00),
                quad(0x00, 0x00, 0x80), quad(0x80, 0x00, 0x80), quad(0x00, 0x80, 0x80), quad(0xC0, 0xC0, 0xC0),
                quad(0x80, 0x80, 0x80), quad(0xFF, 0x00, 0x00), quad(0x00, 0xFF, 0x00), quad(0xFF, 0xFF, 0x00),
                quad(0x00, 0x00, 0xFF), quad(0xFF, 0x00, 0xFF), quad(0x00, 0xFF, 0xFF), quad(0xFF, 0xFF, 0xFF)};
    case 8: {
        if (!greyTable)
            return spectrumTable();
        std::vector<RgbQuad> table;
        table.reserve(kTableEntries);
        for (size_t i = 0; i < kTableEntries; ++i)
            table.push_back(quad(uint8_t(i), uint8_t(i), uint8_t(i)));
        return table;
    }
    default: return {};
    }
}

uint64_t lineBytes(uint64_t width, uint64_t bitCount)
{
    return ((width * bitCount + 31) >> 5) * 4;
}

// A view of the section as a QImage over its bits (copied only for 4 bits per pixel, which QImage
// cannot hold), with lines in top-down order.
QImage imageOf(const DIBSection& section)
{
    const int width = section.header.biWidth;
    const int height = std::abs(section.header.biHeight);
    const int stride = static_cast<int>(section.stride);
    QVector<QRgb> colors;
    for (const RgbQuad& entry : section.colorTable)
        colors.push_back(qRgb(entry.rgbRed, entry.rgbGreen, entry.rgbBlue));
    QImage image;
    switch (section.header.biBitCount) {
    case 1:
        image = QImage(section.bits, width, height, stride, QImage::Format_Mono);
        image.setColorTable(colors);
        break;
    case 4: {
        image = QImage(width, height, QImage::Format_Indexed8);
        if (image.isNull())
            return image;
        image.setColorTable(colors);
        for (int y = 0; y < height; ++y) {
            const uint8_t* source = section.bits + size_t(y) * section.stride;
            uchar* target = image.scanLine(y);
            for (int x = 0; x < width; ++x)
                target[x] = (x % 2) ? (source[x / 2] & 0x0F) : (source[x / 2] >> 4);
        }
        break;
    }
    case 8:
        image = QImage(section.bits, width, height, stride, QImage::Format_Indexed8);
        image.setColorTable(colors);
        break;
    case 16: image = QImage(section.bits, width, height, stride, QImage::Format_RGB555); break;
    case 24: image = QImage(section.bits, width, height, stride, QImage::Format_BGR888); break;
    case 32: image = QImage(section.bits, width, height, stride, QImage::Format_RGB32); break;
    default: return QImage();
    }
    if (section.header.biHeight > 0)
        image = image.mirrored(false, true); // bottom-up: the first line in memory is the bottom one
    return image;
}

} // namespace

HBITMAP DSNewDIBSection(int width, int height, int bitCount, bool greyTable)
{
    switch (bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: errno = EINVAL; return nullptr;
    }
    if (width <= 0 || height == 0 || height == std::numeric_limits<int>::min()) {
        errno = EINVAL;
        return nullptr;
    }
    const uint64_t stride = lineBytes(uint64_t(width), uint64_t(bitCount));
    const uint64_t lines = uint64_t(std::abs(height));
    if (stride * lines > kMaxImageBytes) {
        errno = EINVAL;
        return nullptr;
    }
    auto* section = new (std::nothrow) DIBSection{};
    if (!section) {
        errno = ENOMEM;
        return nullptr;
    }
    section->stride = size_t(stride);
    section->imageBytes = size_t(stride * lines);
    // Rounded up to the alignment, as aligned_alloc asks; QImage wants at least 4-byte aligned lines.
    const size_t allocation = (section->imageBytes + 15) & ~size_t(15);
    section->bits = static_cast<uint8_t*>(std::aligned_alloc(16, allocation));
    if (!section->bits) {
        delete section;
        errno = ENOMEM;
        return nullptr;
    }
    std::memset(section->bits, 0, allocation);

    BitmapInfoHeader& header = section->header;
    header.biSize = sizeof(BitmapInfoHeader);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = uint16_t(bitCount);
    header.biCompression = BI_RGB;
    header.biSizeImage = uint32_t(section->imageBytes);
    if (bitCount == 16) {
        header.biCompression = BI_BITFIELDS;
        section->masks[0] = 0x7C00;
        section->masks[1] = 0x03E0;
        section->masks[2] = 0x001F;
    } else if (bitCount == 32) {
        header.biCompression = BI_BITFIELDS;
        section->masks[0] = 0xFF0000;
        section->masks[1] = 0x00FF00;
        section->masks[2] = 0x0000FF;
    }
    section->colorTable = colorTableFor(bitCount, greyTable);
    if (bitCount == 4 || bitCount == 8)
        header.biClrUsed = uint32_t(section->colorTable.size());
    return section;
}

bool DSDeleteDIBSection(HBITMAP bitmap)
{
    if (!bitmap)
        return false;
    std::free(bitmap->bits);
    delete bitmap;
    return true;
}

LogicalPalette DSNewSpectrumPalette()
{
    LogicalPalette palette;
    palette.entries.reserve(kTableEntries);
    for (unsigned i = 0; i < kTableEntries; ++i)
        palette.entries.push_back(
            PaletteEntry{uint8_t((i % 8) * 32), uint8_t(((i / 8) % 8) * 32), uint8_t((i / 64) * 64), 0});
    return palette;
}

LogicalPalette DSNewPaletteForDIBSection(HBITMAP bitmap)
{
    if (!bitmap || bitmap->header.biBitCount > 8)
        return DSNewSpectrumPalette();
    LogicalPalette palette;
    const size_t count = size_t(1) << bitmap->header.biBitCount;
    for (size_t i = 0; i < count; ++i) {
        const RgbQuad entry = i < bitmap->colorTable.size() ? bitmap->colorTable[i] : RgbQuad{0, 0, 0, 0};
        palette.entries.push_back(PaletteEntry{entry.rgbRed, entry.rgbGreen, entry.rgbBlue, 0});
    }
    return palette;
}

bool DSDrawDIBSectionOnDC(QPainter* dc, HBITMAP bitmap, const QRect& rect)
{
    if (!dc || !dc->isActive() || !bitmap || !bitmap->bits)
        return false;
    const QImage image = imageOf(*bitmap);
    if (image.isNull())
        return false;
    dc->drawImage(rect, image);
    return true;
}

BitmapInfo* DSGetBITMAPINFOForDIBSection(HBITMAP bitmap)
{
    if (!bitmap)
        return nullptr;
    const bool bitfields = bitmap->header.biCompression == BI_BITFIELDS;
    const size_t maskBytes = bitfields ? sizeof(bitmap->masks) : 0;
    const size_t total = sizeof(BitmapInfoHeader) + maskBytes + kTableEntries * sizeof(RgbQuad);
    auto* block = static_cast<uint8_t*>(std::calloc(1, total));
    if (!block)
        return nullptr;
    auto* info = reinterpret_cast<BitmapInfo*>(block);
    info->bmiHeader = bitmap->header;
    if (bitfields)
        std::memcpy(block + sizeof(BitmapInfoHeader), bitmap->masks, maskBytes);
    uint8_t* table = block + sizeof(BitmapInfoHeader) + maskBytes;
    if (bitmap->header.biBitCount <= 8) {
        std::memcpy(table, bitmap->colorTable.data(), bitmap->colorTable.size() * sizeof(RgbQuad));
    } else {
        const std::vector<RgbQuad> spectrum = spectrumTable();
        std::memcpy(table, spectrum.data(), spectrum.size() * sizeof(RgbQuad));
        info->bmiHeader.biClrUsed = uint32_t(kTableEntries);
    }
    return info;
}

void* DSGetDIBSectionBits(HBITMAP bitmap)
{
    return bitmap ? bitmap->bits : nullptr;
}

size_t DSImageBytes(const BitmapInfo* info)
{
    if (!info)
        return 0;
    const BitmapInfoHeader& header = info->bmiHeader;
    if (header.biCompression == BI_RLE8 || header.biCompression == BI_RLE4)
        return header.biSizeImage;
    // Top-down headers carry a negative height; the byte count is positive all the same.
    const uint64_t width = uint64_t(std::abs(int64_t(header.biWidth)));
    const uint64_t height = uint64_t(std::abs(int64_t(header.biHeight)));
    return size_t(lineBytes(width * header.biPlanes, header.biBitCount) * height);
}

uint32_t DSColorTableSize(const BitmapInfo* info)
{
    if (!info)
        return 0;
    const BitmapInfoHeader& header = info->bmiHeader;
    uint64_t entries = header.biClrUsed;
    if (entries == 0 && header.biBitCount <= 8) {
        const unsigned exponent = unsigned(header.biBitCount) * header.biPlanes;
        entries = exponent < 32 ? (uint64_t(1) << exponent) : 0;
    }
    uint64_t bytes = entries * sizeof(RgbQuad);
    if (header.biCompression == BI_BITFIELDS)
        bytes += 3 * sizeof(uint32_t);
    return bytes > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max() : uint32_t(bytes);
}

size_t DSTotalBytes(const BitmapInfo* info)
{
    if (!info)
        return 0;
    return sizeof(BitmapInfoHeader) + DSColorTableSize(info) + DSImageBytes(info);
}

} // namespace Lorvish
