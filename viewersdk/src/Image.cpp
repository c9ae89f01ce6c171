// The shared image record and its DIB section.
#include "lorvish/Image.h"

#include "lorvish/StreamBuffer.h"

#include <QAtomicInt>
#include <QVector>
#include <QtDebug>

#include <cerrno>
#include <limits>

namespace Lorvish {

namespace {

int lineOffsetFor(unsigned width, Image::Format format)
{
    const uint64_t bytes = ((uint64_t(Image::bitsPerPixel(format)) * width + 31) >> 3) & ~uint64_t(3);
    // Wider than an int can count: no line offset, and no bitmap either (see below).
    return bytes > uint64_t(std::numeric_limits<int>::max()) ? 0 : int(bytes);
}

const QVector<QRgb>& greyTable()
{
    static const QVector<QRgb> table = [] {
        QVector<QRgb> colors(256);
        for (int i = 0; i < 256; ++i)
            colors[i] = qRgba(i, i, i, 0xFF);
        return colors;
    }();
    return table;
}

} // namespace

// Shared by the copies of one image; immutable after construction but for the count.
class ImagePrivate {
public:
    ImagePrivate(unsigned width, unsigned height, Image::Format format, StreamBuffer* buffer)
        : width(width), height(height), format(format), lineOffset(lineOffsetFor(width, format)), streamBuffer(buffer)
    {
        if (streamBuffer)
            streamBuffer->lock();
        if (!streamBuffer || !streamBuffer->hasImage() || format == Image::FormatInvalid)
            return;
        const bool fits = lineOffset > 0 && width <= unsigned(std::numeric_limits<int>::max()) && height > 0 &&
                          height <= unsigned(std::numeric_limits<int>::max());
        errno = 0;
        bitmap = fits ? DSNewDIBSection(int(width), -int(height), Image::bitsPerPixel(format), true) : nullptr;
        if (!bitmap)
            qCritical("Failed to create a DIBSection. GetLastError=%d", fits ? errno : EINVAL);
    }
    ~ImagePrivate()
    {
        if (streamBuffer)
            streamBuffer->unlock();
        DSDeleteDIBSection(bitmap);
    }
    ImagePrivate(const ImagePrivate&) = delete;
    ImagePrivate& operator=(const ImagePrivate&) = delete;

    QAtomicInt ref{1};
    const unsigned width;
    const unsigned height;
    const Image::Format format;
    const int lineOffset;
    StreamBuffer* const streamBuffer;
    HBITMAP bitmap = nullptr;
};

Image::Image() : d(new ImagePrivate(0, 0, FormatInvalid, nullptr)) {}

Image::Image(unsigned width, unsigned height, Format format, StreamBuffer* buffer)
    : d(new ImagePrivate(width, height, format, buffer))
{
}

Image::Image(const Image& other) : d(other.d), m_qImage(other.m_qImage)
{
    d->ref.ref();
}

Image& Image::operator=(const Image& other)
{
    if (d != other.d) {
        other.d->ref.ref();
        if (!d->ref.deref())
            delete d;
        d = other.d;
    }
    m_qImage = other.m_qImage;
    return *this;
}

Image::~Image()
{
    if (!d->ref.deref())
        delete d;
}

Image Image::ImageFromBuffer(Format format, const StreamBuffer* buffer)
{
    if (!buffer || format == FormatInvalid)
        return Image();
    // Locking is the one change an image makes to its buffer, and the lock count is made for that.
    return Image(buffer->imageWidth(), buffer->imageHeight(), format, const_cast<StreamBuffer*>(buffer));
}

bool Image::isValid() const
{
    return d->format != FormatInvalid && d->bitmap != nullptr;
}

unsigned Image::width() const
{
    return d->width;
}

unsigned Image::height() const
{
    return d->height;
}

Image::Format Image::format() const
{
    return d->format;
}

int Image::lineOffset() const
{
    return d->lineOffset;
}

StreamBuffer* Image::streamBuffer() const
{
    return d->streamBuffer;
}

HBITMAP Image::bitmap() const
{
    return d->bitmap;
}

QSize Image::dimension() const
{
    return QSize(int(d->width), int(d->height));
}

size_t Image::sizeBytes() const
{
    return size_t(d->lineOffset) * d->height;
}

bool Image::isMono() const
{
    return isMono(d->format);
}

bool Image::isMono(Format format)
{
    return format == FormatMono8;
}

int Image::bitsPerPixel(Format format)
{
    return format == FormatMono8 ? 8 : 32;
}

uint8_t* Image::pixelData() const
{
    return isValid() ? static_cast<uint8_t*>(DSGetDIBSectionBits(d->bitmap)) : nullptr;
}

QImage Image::qImage() const
{
    if (m_qImage.isNull() && isValid()) {
        if (isMono()) {
            m_qImage = QImage(pixelData(), int(d->width), int(d->height), d->lineOffset, QImage::Format_Indexed8);
            m_qImage.setColorTable(greyTable());
        } else {
            m_qImage = QImage(pixelData(), int(d->width), int(d->height), d->lineOffset, QImage::Format_RGB32);
        }
    }
    return m_qImage;
}

} // namespace Lorvish
