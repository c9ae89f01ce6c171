// An image of the camera SDK: pixels (owned copy or attached user buffer), their type, size and layout.
#pragma once

#include <nimbo/PixelType.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Nimbo {

// Order of the lines in memory: top-down has the top line first.
enum EImageOrientation { ImageOrientation_TopDown = 0, ImageOrientation_BottomUp = 1 };

// What kind of value a pixel-data record holds.
enum EPixelDataType { PixelDataType_Unknown = 0, PixelDataType_Mono = 1, PixelDataType_RGB = 2, PixelDataType_YUV = 3 };

// The value of one pixel, its components as stored (not scaled to 8 bits).
struct SPixelData {
    EPixelDataType PixelDataType = PixelDataType_Unknown;
    unsigned int BitDepth = 0;
    struct {
        uint32_t R = 0, G = 0, B = 0, A = 0;
    } RGB;
    struct {
        uint32_t Y = 0, U = 0, V = 0;
    } YUV;
    uint32_t Mono = 0;
    // For Bayer types: the colour filter of this pixel's site.
    EPixelColorFilter BayerFilter = PCF_Undefined;
};

// Value type, not synchronised: one thread at a time. Copies are deep copies into owned memory, also
// of an image that is attached to a user buffer.
class CNimboImage {
public:
    CNimboImage() = default;
    CNimboImage(const CNimboImage& other);
    CNimboImage& operator=(const CNimboImage& other);
    CNimboImage(CNimboImage&& other) noexcept;
    CNimboImage& operator=(CNimboImage&& other) noexcept;
    ~CNimboImage() = default;

    // Copies ComputeBufferSize(pixelType, width, height, paddingX) bytes out of `buffer`. Throws
    // GenICam::InvalidArgumentException for a null buffer, an unknown pixel type or a buffer smaller
    // than that size; the image is unchanged then.
    void CopyBuffer(const void* buffer, size_t bufferSize, EPixelType pixelType, uint32_t width, uint32_t height,
                    size_t paddingX, EImageOrientation orientation = ImageOrientation_TopDown);
    // Uses the caller's memory without copying; it must outlive the image (or the next Release).
    // Same checks as CopyBuffer.
    void AttachUserBuffer(void* buffer, size_t bufferSize, EPixelType pixelType, uint32_t width, uint32_t height,
                          size_t paddingX, EImageOrientation orientation = ImageOrientation_TopDown);
    // Makes an owned, zeroed image of that layout (reusing the allocation when it is large enough).
    void Reset(EPixelType pixelType, uint32_t width, uint32_t height, size_t paddingX = 0,
               EImageOrientation orientation = ImageOrientation_TopDown);
    void Release();

    bool IsValid() const { return m_pixelType != PixelType_Undefined; }
    bool IsUserBufferAttached() const { return m_user != nullptr; }
    const void* GetBuffer() const;
    void* GetBuffer();
    size_t GetImageSize() const { return m_imageSize; }
    EPixelType GetPixelType() const { return m_pixelType; }
    uint32_t GetWidth() const { return m_width; }
    uint32_t GetHeight() const { return m_height; }
    size_t GetPaddingX() const { return m_paddingX; }
    EImageOrientation GetOrientation() const { return m_orientation; }
    // Bytes from one line to the next; 0 for an invalid image.
    size_t GetStride() const { return m_stride; }
    // Start of line y counted from the top of the picture, whatever the orientation; null when out of range.
    const uint8_t* GetLine(uint32_t y) const;

    // The pixel at (x, y), y counted from the top. Packed and planar types are decoded; an invalid image,
    // a position outside it or a type without a single-pixel reading gives PixelDataType_Unknown.
    SPixelData GetPixelData(uint32_t x, uint32_t y) const;

private:
    void assignLayout(EPixelType pixelType, uint32_t width, uint32_t height, size_t paddingX,
                      EImageOrientation orientation, size_t imageSize, size_t stride);

    std::vector<uint8_t> m_data;
    uint8_t* m_user = nullptr;
    EPixelType m_pixelType = PixelType_Undefined;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    size_t m_paddingX = 0;
    size_t m_stride = 0;
    size_t m_imageSize = 0;
    EImageOrientation m_orientation = ImageOrientation_TopDown;
};

} // namespace Nimbo
