// The stream buffer: lock counting, pixel access and format records.
#include "lorvish/StreamBuffer.h"

#include "lorvish/Trace.h"

#include <log4cpp/Category.hh>

#include <cstdlib>
#include <cstring>
#include <new>
#include <initializer_list>

namespace Lorvish {

namespace {

// Frame-sized blocks come zeroed from the system as fresh pages, which are only touched once the
// camera fills them; zeroing them here again would cost every grab start a pass over the whole pool.
uint8_t* allocateZeroed(unsigned size)
{
    void* data = std::calloc(size > 0 ? size : 1, 1);
    if (!data)
        throw std::bad_alloc();
    return static_cast<uint8_t*>(data);
}

bool isOneOf(Nimbo::EPixelType pixelType, std::initializer_list<Nimbo::EPixelType> types)
{
    for (Nimbo::EPixelType type : types)
        if (pixelType == type)
            return true;
    return false;
}

// Pixels are read as little-endian 16-bit words.
uint16_t word(const uint8_t* pixel, int index)
{
    return uint16_t(pixel[2 * index] | (pixel[2 * index + 1] << 8));
}

} // namespace

using namespace Nimbo;

bool isPackedMonoPixelType(EPixelType pixelType)
{
    return isOneOf(pixelType, {PixelType_Mono10p, PixelType_Mono10packed, PixelType_Mono12packed, PixelType_Mono12p,
                               PixelType_Mono1packed, PixelType_Mono2packed, PixelType_Mono4packed});
}

bool isPackedBayerPixelType(EPixelType pixelType)
{
    return isOneOf(pixelType, {PixelType_BayerBG10p, PixelType_BayerGB10p, PixelType_BayerGR10p, PixelType_BayerRG10p,
                               PixelType_BayerGR12Packed, PixelType_BayerRG12Packed, PixelType_BayerGB12Packed,
                               PixelType_BayerBG12Packed, PixelType_BayerBG12p, PixelType_BayerGB12p,
                               PixelType_BayerGR12p, PixelType_BayerRG12p});
}

bool isRGB12V1PackedPixelType(EPixelType pixelType)
{
    return pixelType == PixelType_RGB12V1packed;
}

bool isBGR10VPackedPixelType(EPixelType pixelType)
{
    return isOneOf(pixelType, {PixelType_BGR10V1packed, PixelType_BGR10V2packed});
}

bool isPackedPixelType(EPixelType pixelType)
{
    return isPackedMonoPixelType(pixelType) || isPackedBayerPixelType(pixelType) ||
           isRGB12V1PackedPixelType(pixelType) || isBGR10VPackedPixelType(pixelType);
}

StreamBuffer::StreamBuffer(unsigned size, Nimbo::EPixelType imageFormat, unsigned width, unsigned height,
                           unsigned generationCount, GenApi::INodeMap* nodeMap)
    : m_rawData(allocateZeroed(size)), m_generationCount(generationCount), m_size(size), m_imageWidth(width),
      m_imageHeight(height), m_imageFormat(imageFormat), m_nodeMap(nodeMap)
{
}

StreamBuffer::~StreamBuffer()
{
    std::free(m_rawData);
}

unsigned StreamBuffer::setImageWidth(unsigned width)
{
    const unsigned previous = m_imageWidth;
    m_imageWidth = width;
    return previous;
}

unsigned StreamBuffer::setImageHeight(unsigned height)
{
    const unsigned previous = m_imageHeight;
    m_imageHeight = height;
    return previous;
}

unsigned StreamBuffer::setPaddingX(unsigned paddingX)
{
    const unsigned previous = m_paddingX;
    m_paddingX = paddingX;
    return previous;
}

Nimbo::EPixelType StreamBuffer::setImageFormat(Nimbo::EPixelType imageFormat)
{
    const Nimbo::EPixelType previous = m_imageFormat;
    m_imageFormat = imageFormat;
    return previous;
}

unsigned StreamBuffer::bitPerPixel() const
{
    if (m_imageFormat == PixelType_Undefined)
        return 0;
    return unsigned(Nimbo::BitPerPixel(m_imageFormat));
}

void StreamBuffer::memset(uint8_t value)
{
    if (m_rawData)
        std::memset(m_rawData, value, m_size);
}

void StreamBuffer::lock()
{
    m_lockCount.fetch_add(1, std::memory_order_acq_rel);
}

void StreamBuffer::unlock()
{
    int32_t current = m_lockCount.load(std::memory_order_acquire);
    do {
        if (current <= 0) {
            // Decrementing here would leave the count below zero, and the buffer would never come
            // home again: refuse instead.
            GetLazyTraceStructInstance_().streamBuffer->warn("unlock without lock refused : %lx",
                                                             reinterpret_cast<unsigned long>(m_handle));
            return;
        }
    } while (!m_lockCount.compare_exchange_weak(current, current - 1, std::memory_order_acq_rel));
    if (current == 1) {
        GetLazyTraceStructInstance_().streamBuffer->debug("back to home : %lx",
                                                          reinterpret_cast<unsigned long>(m_handle));
        emit backToHome(this);
    }
}

void* StreamBuffer::getPixelAddress(unsigned x, unsigned y) const
{
    if (!m_rawData || x >= m_imageWidth || y >= m_imageHeight || isPackedPixelType(m_imageFormat))
        return nullptr;
    const unsigned bits = bitPerPixel();
    if (bits == 0 || bits % 8 != 0)
        return nullptr;
    const uint64_t pixelBytes = bits / 8;
    const uint64_t lineBytes = pixelBytes * m_imageWidth + m_paddingX;
    const uint64_t offset = lineBytes * y + pixelBytes * x;
    if (offset + pixelBytes > m_size)
        return nullptr; // the buffer is smaller than its format says
    return m_rawData + offset;
}

bool StreamBuffer::getRGB(unsigned x, unsigned y, RGBEx* out) const
{
    if (!out)
        return false;
    const auto* pixel = static_cast<const uint8_t*>(getPixelAddress(x, y));
    if (!pixel)
        return false;
    const uint16_t w0 = word(pixel, 0);
    switch (m_imageFormat) {
    case PixelType_Mono10: *out = RGBEx(w0 & 0x3FF, w0 & 0x3FF, w0 & 0x3FF); return true;
    case PixelType_Mono12: *out = RGBEx(w0 & 0xFFF, w0 & 0xFFF, w0 & 0xFFF); return true;
    case PixelType_Mono16: *out = RGBEx(w0, w0, w0); return true;
    case PixelType_RGB10packed: *out = RGBEx(w0 & 0x3FF, word(pixel, 1) & 0x3FF, word(pixel, 2) & 0x3FF); return true;
    case PixelType_BGR10packed: *out = RGBEx(word(pixel, 2) & 0x3FF, word(pixel, 1) & 0x3FF, w0 & 0x3FF); return true;
    case PixelType_RGB12packed: *out = RGBEx(w0 & 0xFFF, word(pixel, 1) & 0xFFF, word(pixel, 2) & 0xFFF); return true;
    case PixelType_BGR12packed: *out = RGBEx(word(pixel, 2) & 0xFFF, word(pixel, 1) & 0xFFF, w0 & 0xFFF); return true;
    default: return false;
    }
}

void StreamBuffer::SImageFormatFromBuffer(Nimbo::SImageFormat& format, const StreamBuffer& buffer)
{
    format.width = buffer.imageWidth();
    format.height = buffer.imageHeight();
    format.pixelType = buffer.imageFormat();
    format.lineBytes = isPackedPixelType(buffer.imageFormat())
                           ? 0
                           : uint32_t((uint64_t(buffer.imageWidth()) * buffer.bitPerPixel()) / 8);
}

void StreamBuffer::SImageFormatExFromBuffer(SImageFormatEx& format, const StreamBuffer& buffer)
{
    SImageFormatFromBuffer(format, buffer);
    format.nodeMap = buffer.nodeMap();
}

} // namespace Lorvish
