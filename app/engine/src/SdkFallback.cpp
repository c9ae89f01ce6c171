// Local definitions of the few SDK and GenICam services the recording uses, for builds in which the
// platform libraries are not present yet (see SdkTypes.h).
#include "SdkTypes.h"

#if KALMUTH_LOCAL_GENICAM
namespace GenICam {

GenericException::GenericException(const char* description, const char* sourceFile, unsigned int sourceLine,
                                   const char* exceptionType)
    : m_description(description ? description : ""), m_sourceFile(sourceFile ? sourceFile : ""),
      m_sourceLine(sourceLine)
{
    m_what = m_description + " : " + (exceptionType ? exceptionType : "GenericException") + " thrown (file '" +
             m_sourceFile + "', line " + std::to_string(m_sourceLine) + ")";
}

} // namespace GenICam
#endif

#if KALMUTH_LOCAL_PIXEL_TYPE
namespace Nimbo {

unsigned int BitPerPixel(EPixelType pixelType)
{
    // The GenICam code keeps the bits per pixel in its second byte.
    return pixelType == PixelType_Undefined ? 0u : (static_cast<uint32_t>(pixelType) >> 16) & 0xFFu;
}

} // namespace Nimbo
#endif

#if KALMUTH_LOCAL_IMAGE
#include <tiffio.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace Nimbo {

void CNimboImage::CopyBuffer(const void* buffer, size_t bufferSize, EPixelType pixelType, uint32_t width,
                             uint32_t height, size_t paddingX, EImageOrientation orientation)
{
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    m_data.assign(bytes, bytes + bufferSize);
    m_pixelType = pixelType;
    m_width = width;
    m_height = height;
    m_paddingX = paddingX;
    m_orientation = orientation;
}

void CNimboImage::Release()
{
    m_data.clear();
    m_data.shrink_to_fit();
    m_pixelType = PixelType_Undefined;
    m_width = m_height = 0;
    m_paddingX = 0;
}

namespace {

[[noreturn]] void fail(const std::string& text)
{
    throw GenICam::RuntimeException(text.c_str(), __FILE__, __LINE__);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void put16(uint8_t* at, uint32_t value)
{
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

void put32(uint8_t* at, uint32_t value)
{
    put16(at, value & 0xFFFF);
    put16(at + 2, value >> 16);
}

// Bottom-up BMP: 8-bit grey with a grey colour table, 24-bit BGR or 32-bit BGRA.
void saveBmp(const std::string& fileName, const uint8_t* pixels, size_t stride, EPixelType pixelType, uint32_t width,
             uint32_t height, bool topDown)
{
    const uint32_t channels = pixelType == PixelType_Mono8 ? 1 : pixelType == PixelType_BGRA8packed ? 4 : 3;
    const bool swapRgb = pixelType == PixelType_RGB8packed;
    const uint32_t rowBytes = (width * channels + 3u) & ~3u;
    const uint32_t paletteBytes = channels == 1 ? 1024 : 0;
    const uint32_t offset = 14 + 40 + paletteBytes;
    uint8_t header[14 + 40] = {};
    header[0] = 'B';
    header[1] = 'M';
    put32(header + 2, offset + rowBytes * height);
    put32(header + 10, offset);
    put32(header + 14, 40);
    put32(header + 18, width);
    put32(header + 22, height);
    put16(header + 26, 1);
    put16(header + 28, uint16_t(channels * 8));
    put32(header + 34, rowBytes * height);
    put32(header + 38, 2835);
    put32(header + 42, 2835);
    if (channels == 1) {
        put32(header + 46, 256);
        put32(header + 50, 256);
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "wb"));
    if (!file)
        fail("Could not create the file " + fileName);
    bool ok = std::fwrite(header, sizeof header, 1, file.get()) == 1;
    if (channels == 1) {
        uint8_t palette[1024];
        for (uint32_t i = 0; i < 256; ++i) {
            palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = uint8_t(i);
            palette[4 * i + 3] = 0;
        }
        ok = ok && std::fwrite(palette, sizeof palette, 1, file.get()) == 1;
    }
    std::vector<uint8_t> row(rowBytes, 0);
    for (uint32_t y = 0; ok && y < height; ++y) {
        const uint32_t sourceRow = topDown ? height - 1 - y : y;
        const uint8_t* source = pixels + size_t(sourceRow) * stride;
        std::memcpy(row.data(), source, size_t(width) * channels);
        if (swapRgb)
            for (uint32_t x = 0; x < width; ++x)
                std::swap(row[3 * x], row[3 * x + 2]);
        ok = std::fwrite(row.data(), rowBytes, 1, file.get()) == 1;
    }
    if (!ok || std::fflush(file.get()) != 0)
        fail("Could not write the file " + fileName);
}

void saveTiff(const std::string& fileName, const uint8_t* pixels, size_t stride, EPixelType pixelType, uint32_t width,
              uint32_t height, bool topDown)
{
    const bool mono = pixelType == PixelType_Mono8 || pixelType == PixelType_Mono16;
    const uint16_t samples = mono ? 1 : 3;
    const uint16_t bits = pixelType == PixelType_Mono16 ? 16 : 8;
    TIFFSetWarningHandler(nullptr);
    TIFF* tiff = TIFFOpen(fileName.c_str(), "w");
    if (!tiff)
        fail("Could not create the file " + fileName);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, mono ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    const size_t rowBytes = size_t(width) * samples * (bits / 8);
    std::vector<uint8_t> row(rowBytes);
    bool ok = true;
    for (uint32_t y = 0; ok && y < height; ++y) {
        const uint32_t sourceRow = topDown ? y : height - 1 - y;
        std::memcpy(row.data(), pixels + size_t(sourceRow) * stride, rowBytes);
        if (pixelType == PixelType_BGR8packed)
            for (uint32_t x = 0; x < width; ++x)
                std::swap(row[3 * x], row[3 * x + 2]);
        ok = TIFFWriteScanline(tiff, row.data(), y, 0) == 1;
    }
    TIFFClose(tiff);
    if (!ok)
        fail("Could not write the file " + fileName);
}

} // namespace

void CImagePersistence::Save(EImageFileFormat format, const GenICam::gcstring& fileName, const void* buffer,
                             size_t bufferSize, EPixelType pixelType, uint32_t width, uint32_t height, size_t paddingX,
                             EImageOrientation orientation, CImagePersistenceOptions*)
{
    const bool bmpType = pixelType == PixelType_Mono8 || pixelType == PixelType_RGB8packed ||
                         pixelType == PixelType_BGR8packed || pixelType == PixelType_BGRA8packed;
    const bool tiffType = pixelType == PixelType_Mono8 || pixelType == PixelType_Mono16 ||
                          pixelType == PixelType_RGB8packed || pixelType == PixelType_BGR8packed;
    if ((format == ImageFileFormat_Bmp && !bmpType) || (format == ImageFileFormat_Tiff && !tiffType) ||
        (format != ImageFileFormat_Bmp && format != ImageFileFormat_Tiff))
        fail("The image format cannot be saved in this file format.");
    if (buffer == nullptr || width == 0 || height == 0)
        fail("The image is empty.");
    const size_t stride = size_t(width) * BitPerPixel(pixelType) / 8 + paddingX;
    if (bufferSize < stride * height)
        fail("The buffer is smaller than the image it is said to hold.");
    const auto* pixels = static_cast<const uint8_t*>(buffer);
    const bool topDown = orientation == ImageOrientation_TopDown;
    if (format == ImageFileFormat_Bmp)
        saveBmp(fileName.c_str(), pixels, stride, pixelType, width, height, topDown);
    else
        saveTiff(fileName.c_str(), pixels, stride, pixelType, width, height, topDown);
}

} // namespace Nimbo
#endif
