// Saving single images as BMP, TIFF, JPEG or PNG files.
#pragma once

#include <nimbo/NimboImage.h>
#include <nimbo/PixelType.h>

#include <GenICam/gcstring.h>

#include <cstddef>
#include <cstdint>

namespace Nimbo {

enum EImageFileFormat {
    ImageFileFormat_Bmp = 0,
    ImageFileFormat_Tiff = 1,
    ImageFileFormat_Jpeg = 2,
    ImageFileFormat_Png = 3,
};

// Settings of one save; only JPEG reads them.
class CImagePersistenceOptions {
public:
    // 1..100; values outside are clamped. The default is 90.
    void SetQuality(int quality) { m_quality = quality < 1 ? 1 : quality > 100 ? 100 : quality; }
    int GetQuality() const { return m_quality; }

private:
    int m_quality = 90;
};

// Stateless; callable from any thread.
//
// What the file holds: BMP 8-bit grey (with a grey colour table) for mono and 24-bit colour for the rest;
// TIFF and PNG 16-bit grey for Mono10/12/16 (values as the camera gives them), 8-bit grey for other mono
// types and 8-bit RGB for the rest; JPEG 8-bit grey or RGB. Bayer and YUV images are converted to colour.
class CImagePersistence {
public:
    // Throws GenICam::InvalidArgumentException for an unknown format, an empty file name, a null or
    // short buffer or a type that cannot be converted, and GenICam::RuntimeException when the file
    // cannot be written (a partly written file is removed).
    static void Save(EImageFileFormat format, const GenICam::gcstring& fileName, const void* buffer, size_t bufferSize,
                     EPixelType pixelType, uint32_t width, uint32_t height, size_t paddingX,
                     EImageOrientation orientation, CImagePersistenceOptions* options = nullptr);
    static void Save(EImageFileFormat format, const GenICam::gcstring& fileName, const CNimboImage& image,
                     CImagePersistenceOptions* options = nullptr);
    // True when Save can write that type in that format.
    static bool CanSaveWithoutConversion(EImageFileFormat format, EPixelType pixelType);
    static bool IsSupportedFormat(EImageFileFormat format);
};

} // namespace Nimbo
