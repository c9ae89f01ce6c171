// In-memory device-independent bitmaps ("DIB sections"): a bitmap header, its colour table or
// masks and its bits, drawn with QPainter. Helpers whose names begin with DS.
#pragma once

#include <lorvish/Export.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class QPainter;
class QRect;

namespace Lorvish {

struct RgbQuad {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};

// The 40-byte bitmap header of the BMP and AVI formats. A negative height marks a top-down bitmap.
struct BitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40, "the header is written to files as it is");

// The header followed by the masks (for BI_BITFIELDS) and the colour table, as one block.
struct BitmapInfo {
    BitmapInfoHeader bmiHeader;
    RgbQuad bmiColors[1];
};

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;

struct PaletteEntry {
    uint8_t peRed;
    uint8_t peGreen;
    uint8_t peBlue;
    uint8_t peFlags;
};

struct LogicalPalette {
    uint16_t palVersion = 0x300;
    std::vector<PaletteEntry> entries;
};

// One DIB section. Lines are 4-byte aligned; line 0 in memory is the top line when the header's
// height is negative, else the bottom one. Used by one thread at a time.
struct DIBSection {
    BitmapInfoHeader header;
    uint32_t masks[3];               // meaningful for BI_BITFIELDS
    std::vector<RgbQuad> colorTable; // empty above 8 bits per pixel
    size_t stride;                   // bytes per line
    size_t imageBytes;               // stride * lines
    uint8_t* bits;                   // owned, 16-byte aligned
};

using HBITMAP = DIBSection*;

// A new section, or null with errno set (EINVAL for a zero or too large size or an unsupported bit
// count: 1, 4, 8, 16, 24 and 32 are supported; ENOMEM). The bits start zeroed.
LORVISH_EXPORT HBITMAP DSNewDIBSection(int width, int height, int bitCount, bool greyTable);
// Frees the section; false for null.
LORVISH_EXPORT bool DSDeleteDIBSection(HBITMAP bitmap);
LORVISH_EXPORT LogicalPalette DSNewSpectrumPalette();
LORVISH_EXPORT LogicalPalette DSNewPaletteForDIBSection(HBITMAP bitmap);
// Stretches the whole bitmap into rect; false when there is nothing to draw or nothing to draw on.
LORVISH_EXPORT bool DSDrawDIBSectionOnDC(QPainter* dc, HBITMAP bitmap, const QRect& rect);
// A malloc'ed copy of the header, masks and colour table; the caller frees it with free().
LORVISH_EXPORT BitmapInfo* DSGetBITMAPINFOForDIBSection(HBITMAP bitmap);
LORVISH_EXPORT void* DSGetDIBSectionBits(HBITMAP bitmap);
// Bytes of the bits a header describes, always positive (top-down headers included).
LORVISH_EXPORT size_t DSImageBytes(const BitmapInfo* info);
// Bytes of the colour table, plus 12 for the masks of BI_BITFIELDS.
LORVISH_EXPORT uint32_t DSColorTableSize(const BitmapInfo* info);
// Header, colour table and bits.
LORVISH_EXPORT size_t DSTotalBytes(const BitmapInfo* info);

} // namespace Lorvish
