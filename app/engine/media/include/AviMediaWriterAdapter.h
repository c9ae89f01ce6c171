// The media writer of AVI recordings, over the SDK's AVI writer.
#pragma once

#include "MediaWriter.h"

#include <nimbo/AviWriter.h>

#include <atomic>
#include <cstdint>
#include <memory>

// Threads: open, isOpen and close on the thread that starts and ends the recording, add on the
// sink's writer thread; the recording never runs them at the same time. imageCount and
// bytesWritten read atomic copies that add refreshes, so the status thread may call them any time.
class CAviMediaWriterAdapter : public IMediaWriter {
public:
    // The AVI format's 32-bit offsets end near 2^31; the recording stops below that.
    static constexpr uint64_t defaultSizeLimit = 2100000000;

    // `orientation` is the line order stored in the file; `compressionOptions` is null for
    // uncompressed frames, else copied: the writer keeps the record it was made with. `sizeLimit` is the bytes of image
    // data after which the recording stops.
    CAviMediaWriterAdapter(double fpsPlaybackRate, Nimbo::EPixelType pixelType, uint32_t width, uint32_t height,
                           int32_t orientation, const Nimbo::SAviCompressionOptions* compressionOptions,
                           uint64_t sizeLimit = defaultSizeLimit);
    ~CAviMediaWriterAdapter() override;

    void open(const GenICam::gcstring& baseName) override;
    bool isOpen() const override;
    void close() override;
    // Both add operations throw MediaFileLimitReachedException after the frame that takes the image
    // data past the size limit; later frames are dropped without a further report.
    void add(const Nimbo::CNimboImage& image) override;
    void add(const void* buffer, size_t bufferSize, Nimbo::EPixelType pixelType, uint32_t width, uint32_t height,
             uint32_t paddingX) override;
    // Frames the recording lost before this one become empty frames, so the film keeps its length.
    // The frame that crosses the size limit throws as add does.
    void addSampled(const Nimbo::CNimboImage& image, uint64_t sample, uint32_t place) override;
    bool acceptsImageAsIs(const Nimbo::CNimboImage& image) const override;
    bool acceptsBufferAsIs(Nimbo::EPixelType pixelType, uint32_t width, uint32_t height,
                           uint32_t paddingX) const override;
    uint32_t imageCount() const override;
    uint64_t bytesWritten() const override;

    // The pixel type stored in the file: chosen at open, Undefined before.
    Nimbo::EPixelType chosenPixelType() const { return m_chosenPixelType; }

private:
    Nimbo::EPixelType choosePixelType() const;
    bool codecAccepts(Nimbo::EPixelType candidate) const;
    void checkLimit();

    std::unique_ptr<Nimbo::CAviWriter> m_writer;
    double m_fpsPlaybackRate;
    Nimbo::EPixelType m_pixelType;
    Nimbo::EPixelType m_chosenPixelType;
    uint32_t m_width;
    uint32_t m_height;
    int32_t m_orientation;
    // The writer's own compression record; m_compressionOptions points at it, or is null for
    // uncompressed frames.
    Nimbo::SAviCompressionOptions m_compressionRecord;
    const Nimbo::SAviCompressionOptions* m_compressionOptions;
    uint64_t m_sizeLimit;
    bool m_limitReached = false;
    uint64_t m_nextSample = 0; // the place in the sampled sequence after the last frame written
    std::atomic<uint32_t> m_imageCount{0};
    std::atomic<uint64_t> m_bytesWritten{0};
};
