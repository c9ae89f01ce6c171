// The displayable picture made from a stream buffer: an implicitly shared 8-bit grey or 32-bit
// colour DIB section that keeps its buffer locked while any copy lives.
#pragma once

#include <lorvish/DIBSection.h>
#include <lorvish/Export.h>

#include <QImage>
#include <QMetaType>
#include <QSize>

#include <cstddef>
#include <cstdint>

namespace Lorvish {

class StreamBuffer;
class ImagePrivate;

// Copies may live and die in different threads: the shared record's count is atomic and the
// last release, in whichever thread, unlocks the buffer and frees the bitmap. One Image object
// itself is used by one thread at a time (qImage() fills its cache without a lock).
class LORVISH_EXPORT Image {
public:
    enum Format { FormatInvalid = -1, FormatMono8 = 0, FormatRgb32 = 1 };

    // Empty: 0 x 0, FormatInvalid, no buffer, no bitmap.
    Image();
    // Locks buffer when it is not null. The bitmap, top-down, is made only for a buffer that holds
    // an image (not a test buffer) and a valid format; otherwise the image is not valid.
    Image(unsigned width, unsigned height, Format format, StreamBuffer* buffer);
    Image(const Image& other);
    Image& operator=(const Image& other);
    ~Image();

    // An image of the buffer's size; the empty image for a null buffer or FormatInvalid.
    static Image ImageFromBuffer(Format format, const StreamBuffer* buffer);

    bool isValid() const;
    unsigned width() const;
    unsigned height() const;
    Format format() const;
    // Bytes per line of the bitmap.
    int lineOffset() const;
    StreamBuffer* streamBuffer() const;
    HBITMAP bitmap() const;
    operator HBITMAP() const { return bitmap(); }
    QSize dimension() const;
    size_t sizeBytes() const;
    bool isMono() const;
    static bool isMono(Format format);
    static int bitsPerPixel(Format format);
    // The bitmap's bits when valid, else null.
    uint8_t* pixelData() const;
    // A view over the bitmap without copying (Indexed8 with a grey table, or RGB32); null when not
    // valid. It stays usable only while an Image sharing this record lives.
    QImage qImage() const;

private:
    ImagePrivate* d;
    mutable QImage m_qImage;
};

} // namespace Lorvish

Q_DECLARE_METATYPE(Lorvish::Image)
