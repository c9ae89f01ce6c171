// The frame buffer that travels through acquisition, conversion, display and recording, counted by
// an explicit lock count and sent home when its last holder lets go.
#pragma once

#include <lorvish/Export.h>
#include <lorvish/RGBEx.h>
#include <lorvish/SImageFormatEx.h>

#include <GenApi/GenApi.h>
#include <nimbo/PixelType.h>

#include <QObject>

#include <atomic>
#include <cstdint>

namespace Lorvish {

// Threads: lock() and unlock() may be called from any thread at any time; backToHome is emitted in
// the thread whose unlock() released the last lock. Every other member belongs to the owner (the
// grab engine), which sets fields only while no other thread holds the buffer; holders only read.
class LORVISH_EXPORT StreamBuffer : public QObject {
    Q_OBJECT

public:
    // The fifth argument is the generation count; the line padding starts at 0. No parent.
    StreamBuffer(unsigned size, Nimbo::EPixelType imageFormat, unsigned width, unsigned height,
                 unsigned generationCount, GenApi::INodeMap* nodeMap);
    ~StreamBuffer() override;

    unsigned size() const { return m_size; }
    uint8_t* rawData() const { return m_rawData; }
    unsigned imageWidth() const { return m_imageWidth; }
    unsigned imageHeight() const { return m_imageHeight; }
    unsigned paddingX() const { return m_paddingX; }
    Nimbo::EPixelType imageFormat() const { return m_imageFormat; }
    unsigned generationCount() const { return m_generationCount; }
    void* handle() const { return m_handle; }
    bool hasImage() const { return m_hasImage; }
    bool isChunked() const { return m_isChunked; }
    GenApi::INodeMap* nodeMap() const { return m_nodeMap; }
    // Current holders; for diagnostics, as it may change at any moment.
    int lockCount() const { return m_lockCount.load(); }

    // These four return the previous value.
    unsigned setImageWidth(unsigned width);
    unsigned setImageHeight(unsigned height);
    unsigned setPaddingX(unsigned paddingX);
    Nimbo::EPixelType setImageFormat(Nimbo::EPixelType imageFormat);
    void setGenerationCount(unsigned generationCount) { m_generationCount = generationCount; }
    void setHandle(void* handle) { m_handle = handle; }
    void setHasImage(bool hasImage) { m_hasImage = hasImage; }

    // False while the buffer holds a failed or incomplete grab result: its pixels may be partly old
    // or missing, fit to look at but not to keep. The grab engine sets it with every result.
    bool isComplete() const { return m_complete; }
    void setComplete(bool complete) { m_complete = complete; }

    void markAsTestBuffer() { m_hasImage = false; }
    bool isTestBuffer() const { return !m_hasImage && m_rawData != nullptr; }
    // 0 for the undefined pixel type (-1).
    unsigned bitPerPixel() const;
    // Fills all size() bytes.
    void memset(uint8_t value);

    void lock();
    // The caller that releases the last lock emits backToHome. An unlock without a lock is refused
    // and logged: the count never goes below zero, so the next round trip still comes home.
    void unlock();

    // Line bytes are 0 for packed pixel types, else width * bits per pixel / 8.
    static void SImageFormatFromBuffer(Nimbo::SImageFormat& format, const StreamBuffer& buffer);
    static void SImageFormatExFromBuffer(SImageFormatEx& format, const StreamBuffer& buffer);

signals:
    void backToHome(Lorvish::StreamBuffer* buffer);

private:
    friend struct StreamBufferTestAccess;

    // Address of a pixel honouring the line padding; null outside the image or the buffer, for
    // packed pixel types and for pixel sizes that are not whole bytes.
    void* getPixelAddress(unsigned x, unsigned y) const;
    // The components of a 10-, 12- or 16-bit mono or 10- or 12-bit RGB/BGR pixel; false (out
    // unchanged) for every other pixel type or position.
    bool getRGB(unsigned x, unsigned y, RGBEx* out) const;

    uint8_t* m_rawData;
    unsigned m_generationCount;
    bool m_hasImage = true;
    bool m_isChunked = false;
    bool m_complete = true;
    unsigned m_size;
    unsigned m_imageWidth;
    unsigned m_imageHeight;
    unsigned m_paddingX = 0;
    Nimbo::EPixelType m_imageFormat;
    std::atomic<int32_t> m_lockCount{0};
    void* m_handle = nullptr;
    GenApi::INodeMap* m_nodeMap;
};

// Pixel-type predicates on the 32-bit GenICam pixel-format codes.
bool isPackedMonoPixelType(Nimbo::EPixelType pixelType);
bool isPackedBayerPixelType(Nimbo::EPixelType pixelType);
bool isRGB12V1PackedPixelType(Nimbo::EPixelType pixelType);
bool isBGR10VPackedPixelType(Nimbo::EPixelType pixelType);
// The union of the four above.
bool isPackedPixelType(Nimbo::EPixelType pixelType);

} // namespace Lorvish
