// The media writer of MP4 recordings, over the libav video encoder.
#pragma once

#include "MediaWriter.h"

#include <cstdint>
#include <memory>

class VideoEncoder;

// Threads: as IMediaWriter; the encoder serialises open, add and close and keeps its image count
// readable from any thread. The fields set by the constructor do not change.
class CVideoMediaWriterAdapter : public IMediaWriter {
public:
    CVideoMediaWriterAdapter(const GenICam::gcstring& libavFolder, double fpsPlaybackRate, Nimbo::EPixelType pixelType,
                             uint32_t width, uint32_t height, int32_t codecId, int64_t bitRate);
    ~CVideoMediaWriterAdapter() override;

    // Opens base name + ".mp4"; any failure to start is thrown as FatalMediaWriterException with
    // the reason in its text.
    void open(const GenICam::gcstring& baseName) override;
    bool isOpen() const override;
    void close() override;
    void add(const Nimbo::CNimboImage& image) override;
    void add(const void* buffer, size_t bufferSize, Nimbo::EPixelType pixelType, uint32_t width, uint32_t height,
             uint32_t paddingX) override;
    bool acceptsImageAsIs(const Nimbo::CNimboImage& image) const override;
    bool acceptsBufferAsIs(Nimbo::EPixelType pixelType, uint32_t width, uint32_t height,
                           uint32_t paddingX) const override;
    // Shows the frame at the time of its place in the recording's sampled sequence.
    void addSampled(const Nimbo::CNimboImage& image, uint64_t sample, uint32_t place) override;
    uint32_t imageCount() const override;
    uint64_t bytesWritten() const override;

private:
    void addFrame(const void* buffer, size_t bufferSize, Nimbo::EPixelType pixelType, uint32_t width, uint32_t height,
                  size_t paddingX, bool bottomUp, int64_t place = -1);

    std::unique_ptr<VideoEncoder> m_encoder;
    double m_fpsPlaybackRate;
    Nimbo::EPixelType m_pixelType;
    uint32_t m_width;
    uint32_t m_height;
    GenICam::gcstring m_libavFolder;
};
