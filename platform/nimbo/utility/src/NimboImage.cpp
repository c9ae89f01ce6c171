// Images of the camera SDK: copying, attaching, layout and single-pixel reading.
#include <nimbo/NimboImage.h>

#include "Errors.h"
#include "Samples.h"

#include <cstring>
#include <utility>

namespace Nimbo {
namespace {

// Checks the arguments of CopyBuffer/AttachUserBuffer; gives the image size and the stride.
void checkBuffer(const void* buffer, size_t bufferSize, EPixelType pixelType, uint32_t width, uint32_t height,
                 size_t paddingX, size_t& imageSize, size_t& stride)
{
    if (!buffer)
        throwInvalidArgument("The image buffer must not be null.");
    if (!IsValidPixelType(pixelType))
        throwInvalidArgument("Pixel type " + std::to_string(static_cast<int32_t>(pixelType)) + " is not supported.");
    stride = ComputeStride(pixelType, width, paddingX);
    imageSize = ComputeBufferSize(pixelType, width, height, paddingX);
    if (bufferSize < imageSize)
        throwInvalidArgument("The image buffer of " + std::to_string(bufferSize) + " bytes is smaller than the " +
                             std::to_string(imageSize) + " bytes the image needs.");
}

} // namespace

CNimboImage::CNimboImage(const CNimboImage& other)
{
    *this = other;
}

CNimboImage& CNimboImage::operator=(const CNimboImage& other)
{
    if (this == &other)
        return *this;
    if (!other.IsValid()) {
        Release();
        return *this;
    }
    const auto* source = static_cast<const uint8_t*>(other.GetBuffer());
    std::vector<uint8_t> data(source, source + other.m_imageSize);
    m_data.swap(data);
    m_user = nullptr;
    assignLayout(other.m_pixelType, other.m_width, other.m_height, other.m_paddingX, other.m_orientation,
                 other.m_imageSize, other.m_stride);
    return *this;
}

CNimboImage::CNimboImage(CNimboImage&& other) noexcept
{
    *this = std::move(other);
}

CNimboImage& CNimboImage::operator=(CNimboImage&& other) noexcept
{
    if (this == &other)
        return *this;
    m_data = std::move(other.m_data);
    m_user = other.m_user;
    assignLayout(other.m_pixelType, other.m_width, other.m_height, other.m_paddingX, other.m_orientation,
                 other.m_imageSize, other.m_stride);
    other.m_data.clear();
    other.m_user = nullptr;
    other.assignLayout(PixelType_Undefined, 0, 0, 0, ImageOrientation_TopDown, 0, 0);
    return *this;
}

void CNimboImage::assignLayout(EPixelType pixelType, uint32_t width, uint32_t height, size_t paddingX,
                               EImageOrientation orientation, size_t imageSize, size_t stride)
{
    m_pixelType = pixelType;
    m_width = width;
    m_height = height;
    m_paddingX = paddingX;
    m_orientation = orientation;
    m_imageSize = imageSize;
    m_stride = stride;
}

void CNimboImage::CopyBuffer(const void* buffer, size_t bufferSize, EPixelType pixelType, uint32_t width,
                             uint32_t height, size_t paddingX, EImageOrientation orientation)
{
    size_t imageSize = 0, stride = 0;
    checkBuffer(buffer, bufferSize, pixelType, width, height, paddingX, imageSize, stride);
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    // Assigning keeps the allocation of a queue slot that is reused frame after frame.
    m_data.assign(bytes, bytes + imageSize);
    m_user = nullptr;
    assignLayout(pixelType, width, height, paddingX, orientation, imageSize, stride);
}

void CNimboImage::AttachUserBuffer(void* buffer, size_t bufferSize, EPixelType pixelType, uint32_t width,
                                   uint32_t height, size_t paddingX, EImageOrientation orientation)
{
    size_t imageSize = 0, stride = 0;
    checkBuffer(buffer, bufferSize, pixelType, width, height, paddingX, imageSize, stride);
    m_data.clear();
    m_user = static_cast<uint8_t*>(buffer);
    assignLayout(pixelType, width, height, paddingX, orientation, imageSize, stride);
}

void CNimboImage::Reset(EPixelType pixelType, uint32_t width, uint32_t height, size_t paddingX,
                        EImageOrientation orientation)
{
    if (!IsValidPixelType(pixelType))
        throwInvalidArgument("Pixel type " + std::to_string(static_cast<int32_t>(pixelType)) + " is not supported.");
    const size_t stride = ComputeStride(pixelType, width, paddingX);
    const size_t imageSize = ComputeBufferSize(pixelType, width, height, paddingX);
    m_data.assign(imageSize, 0);
    m_user = nullptr;
    assignLayout(pixelType, width, height, paddingX, orientation, imageSize, stride);
}

void CNimboImage::Release()
{
    std::vector<uint8_t>().swap(m_data);
    m_user = nullptr;
    assignLayout(PixelType_Undefined, 0, 0, 0, ImageOrientation_TopDown, 0, 0);
}

const void* CNimboImage::GetBuffer() const
{
    if (!IsValid())
        return nullptr;
    return m_user ? m_user : m_data.data();
}

void* CNimboImage::GetBuffer()
{
    if (!IsValid())
        return nullptr;
    return m_user ? m_user : m_data.data();
}

const uint8_t* CNimboImage::GetLine(uint32_t y) const
{
    if (!IsValid() || y >= m_height)
        return nullptr;
    const uint32_t row = m_orientation == ImageOrientation_BottomUp ? m_height - 1 - y : y;
    return static_cast<const uint8_t*>(GetBuffer()) + size_t(row) * m_stride;
}

SPixelData CNimboImage::GetPixelData(uint32_t x, uint32_t y) const
{
    SPixelData pixel;
    if (!IsValid() || x >= m_width || y >= m_height)
        return pixel;
    const uint8_t* line = GetLine(y);
    const EPixelType type = m_pixelType;
    const unsigned int depth = BitDepth(type);

    const samples::Layout layout = samples::layoutOf(type);
    if (layout != samples::Layout::None) {
        pixel.PixelDataType = PixelDataType_Mono;
        pixel.BitDepth = depth;
        pixel.Mono = samples::readSample(layout, BitPerPixel(type), line, x);
        const EPixelColorFilter filter = GetPixelColorFilter(type);
        if (filter != PCF_Undefined) {
            // The site's own colour: flip the cell's pattern by the pixel's column and row parity.
            const unsigned int cell = unsigned(filter);
            static const EPixelColorFilter flipX[] = {PCF_BayerGR, PCF_BayerBG, PCF_BayerRG, PCF_BayerGB};
            static const EPixelColorFilter flipY[] = {PCF_BayerGB, PCF_BayerRG, PCF_BayerBG, PCF_BayerGR};
            EPixelColorFilter site = EPixelColorFilter(cell);
            if (x & 1)
                site = flipX[site];
            if (y & 1)
                site = flipY[site];
            pixel.BayerFilter = site;
        }
        return pixel;
    }

    const bool words = depth > 8;
    auto component = [&](const uint8_t* at, size_t index) -> uint32_t {
        return words ? samples::readWord(at + 2 * index) : at[index];
    };
    if (IsPlanar(type)) {
        const size_t plane = m_stride * m_height;
        pixel.PixelDataType = PixelDataType_RGB;
        pixel.BitDepth = depth;
        pixel.RGB.R = component(line, x);
        pixel.RGB.G = component(line + plane, x);
        pixel.RGB.B = component(line + 2 * plane, x);
        return pixel;
    }
    switch (type) {
    case PixelType_RGB8packed:
    case PixelType_RGB10packed:
    case PixelType_RGB12packed:
    case PixelType_RGB16packed:
    case PixelType_BGR8packed:
    case PixelType_BGR10packed:
    case PixelType_BGR12packed:
    case PixelType_RGBA8packed:
    case PixelType_BGRA8packed: {
        const bool alpha = type == PixelType_RGBA8packed || type == PixelType_BGRA8packed;
        const size_t first = size_t(x) * (alpha ? 4 : 3);
        const uint32_t c0 = component(line, first), c1 = component(line, first + 1), c2 = component(line, first + 2);
        pixel.PixelDataType = PixelDataType_RGB;
        pixel.BitDepth = depth;
        pixel.RGB.G = c1;
        if (IsBGR(type) || IsBGRA(type)) {
            pixel.RGB.B = c0;
            pixel.RGB.R = c2;
        } else {
            pixel.RGB.R = c0;
            pixel.RGB.B = c2;
        }
        if (alpha)
            pixel.RGB.A = component(line, first + 3);
        return pixel;
    }
    case PixelType_YUV422packed: { // U Y0 V Y1
        const uint8_t* p = line + 4 * (x / 2);
        pixel.YUV = {(x & 1) ? p[3] : p[1], p[0], p[2]};
        break;
    }
    case PixelType_YUV422_YUYV_Packed:
    case PixelType_YCbCr422_8: { // Y0 U Y1 V
        const uint8_t* p = line + 4 * (x / 2);
        pixel.YUV = {(x & 1) ? p[2] : p[0], p[1], p[3]};
        break;
    }
    case PixelType_YUV411packed: { // U Y0 Y1 V Y2 Y3
        const uint8_t* p = line + 6 * (x / 4);
        static const int luma[] = {1, 2, 4, 5};
        pixel.YUV = {p[luma[x % 4]], p[0], p[3]};
        break;
    }
    case PixelType_YUV444packed: { // U Y V
        const uint8_t* p = line + 3 * size_t(x);
        pixel.YUV = {p[1], p[0], p[2]};
        break;
    }
    default: return pixel; // the V1/V2 packed forms have no single-pixel reading
    }
    pixel.PixelDataType = PixelDataType_YUV;
    pixel.BitDepth = 8;
    return pixel;
}

} // namespace Nimbo
