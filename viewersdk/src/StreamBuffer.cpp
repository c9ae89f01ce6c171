// The stream buffer: lock counting, pixel access and format records.
#include "lorvish/StreamBuffer.h"

#include "lorvish/Trace.h"

#include <log4cpp/Category.hh>

#include <cstring>

namespace Lorvish {

namespace {

constexpr uint32_t kUndefinedPixelType = 0xFFFFFFFFu;

uint32_t code(Nimbo::EPixelType pixelType)
{
    return static_cast<uint32_t>(pixelType);
}

bool isOneOf(Nimbo::EPixelType pixelType, std::initializer_list<uint32_t> codes)
{
    for (uint32_t c : codes)
        if (code(pixelType) == c)
            return true;
    return false;
}

uint16_t word(const uint8_t* pixel, int index)
{
    return uint16_t(pixel[2 * index] | (pixel[2 * index + 1] << 8));
}

} // namespace

bool isPackedMonoPixelType(Nimbo::EPixelType pixelType)
{
    return isOneOf(pixelType, {0x010A0046, 0x010C0004, 0x010C0006, 0x010C0047, 0x8101000C, 0x8102000D, 0x8104000E});
}

bool isPackedBayerPixelType(Nimbo::EPixelType pixelType)
{
    return isOneOf(pixelType, {0x010A0052, 0x010A0054, 0x010A0056, 0x010A0058, 0x010C002A, 0x010C002B, 0x010C002C,
                               0x010C002D, 0x010C0053, 0x010C0055, 0x010C0057, 0x010C0059});
}

bool isRGB12V1PackedPixelType(Nimbo::EPixelType pixelType)
{
    return code(pixelType) == 0x02240034;
}

bool isBGR10VPackedPixelType(Nimbo::EPixelType pixelType)
{
    return isOneOf(pixelType, {0x0220001C, 0x0220001D});
}

bool isPackedPixelType(Nimbo::EPixelType pixelType)
{
    return isPackedMonoPixelType(pixelType) || isPackedBayerPixelType(pixelType) ||
           isRGB12V1PackedPixelType(pixelType) || isBGR10VPackedPixelType(pixelType);
}

StreamBuffer::StreamBuffer(unsigned size, Nimbo::EPixelType imageFormat, unsigned width, unsigned height,
                           unsigned generationCount, GenApi::INodeMap* nodeMap)
    : m_rawData(new uint8_t[size]()), m_generationCount(generationCount), m_size(size), m_imageWidth(width),
      m_imageHeight(height), m_imageFormat(imageFormat), m_nodeMap(nodeMap)
{
}

StreamBuffer::~StreamBuffer()
{
    delete[] m_rawData;
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
    if (code(m_imageFormat) == kUndefinedPixelType)
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
    switch (code(m_imageFormat)) {
    case 0x01100003: *out = RGBEx(word(pixel, 0) & 0x3FF, word(pixel, 0) & 0x3FF, word(pixel, 0) & 0x3FF); return true;
    case 0x01100005: *out = RGBEx(word(pixel, 0) & 0xFFF, word(pixel, 0) & 0xFFF, word(pixel, 0) & 0xFFF); return true;
    case 0x01100007: *out = RGBEx(word(pixel, 0), word(pixel, 0), word(pixel, 0)); return true;
    case 0x02300018: *out = RGBEx(word(pixel, 0) & 0x3FF, word(pixel, 1) & 0x3FF, word(pixel, 2) & 0x3FF); return true;
    case 0x02300019: *out = RGBEx(word(pixel, 2) & 0x3FF, word(pixel, 1) & 0x3FF, word(pixel, 0) & 0x3FF); return true;
    case 0x0230001A: *out = RGBEx(word(pixel, 0) & 0xFFF, word(pixel, 1) & 0xFFF, word(pixel, 2) & 0xFFF); return true;
    case 0x0230001B: *out = RGBEx(word(pixel, 2) & 0xFFF, word(pixel, 1) & 0xFFF, word(pixel, 0) & 0xFFF); return true;
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
