// MP4 output through libav: muxer and video stream set-up, conversion of each frame to planar
// YUV 4:2:0, encoding and writing of the packets.
#pragma once

#include "SdkTypes.h"

extern "C" {
#include <libavutil/rational.h>
}

#include <QFile>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class LibavAdapter;
namespace Nimbo {
class CImageFormatConverter;
}
struct AVCodec;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

// The file is fragmented MP4: each fragment reaches the disk whole, so a recording cut off without its
// trailer (the program killed) reads up to its last fragment. A fragment ends at each key frame (about
// a second of playback) and after about a second of wall time, a frame waits at most about a second
// in the encoder's threads, and a frame that comes a second or more after the one before is written
// at once, so a time-lapse loses no more than a fast recording. These are checked as frames come:
// the last second or so before frames stop coming (a pause) waits for the next frame or the close.
//
// Threads: open and close run on the thread that starts and ends the recording, addFrame on the
// sink's writer thread; m_mutex serialises the three and guards every member but m_imageCount and
// m_framesInFile, which the status thread reads at any time.
class VideoEncoder {
public:
    // `framesPerSecond` may have a fraction (29.97) or be below 1; `bitRate` in bits per second.
    VideoEncoder(int codecId, double framesPerSecond, int64_t bitRate);
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Loads libav from `libRoot` and creates the file. Throws GenICam::RuntimeException with the
    // reason; a failed open leaves no file and nothing allocated.
    void open(const char* libRoot, const char* fileName, uint32_t width, uint32_t height, Nimbo::EPixelType pixelType);
    // Encodes one frame whose lines are `paddingX` bytes longer than the pixels need; a bottom-up
    // frame holds its last line first. `place` is when it is shown, in frames of the playback rate
    // from the first one (frames the recording could not write leave their places empty); -1 is the
    // place after the frame before, and a place not after it is taken as that one. Throws
    // GenICam::InvalidArgumentException for a frame that does not fit the recording and
    // GenICam::RuntimeException when libav fails.
    void addFrame(const void* buffer, size_t bufferSize, Nimbo::EPixelType pixelType, uint32_t width, uint32_t height,
                  size_t paddingX = 0, bool bottomUp = false, int64_t place = -1);
    // Flushes the encoder, writes the trailer and frees everything; throws when the flush could not
    // be written (everything is freed all the same).
    void close();
    bool isOpen() const;
    // Frames the file holds: those of its complete fragments, every frame once it is finished. Frames
    // the encoder or the open fragment still hold are not in it yet, and are lost when the file cannot
    // be finished.
    int32_t imageCount() const { return m_framesInFile.load(); }
    uint64_t bytesWritten() const { return 0; }

    // Whether frames of this pixel type can be recorded.
    static bool acceptsPixelType(Nimbo::EPixelType pixelType);
    // The thread count handed to libav: the "Recording/UseNumberOfThreads" setting, when negative
    // the environment variable NUMBER_OF_PROCESSORS, 0 (libav chooses) when that is unset.
    static int threadCount();
    // A copy of the last converted picture, planes packed (luma, then U, then V); empty when closed.
    std::vector<uint8_t> picture() const;
    // Size of the encoded pictures: the frame size rounded down to even numbers.
    uint32_t encodedWidth() const { return m_encodedWidth; }
    uint32_t encodedHeight() const { return m_encodedHeight; }

private:
    void setup(const char* fileName);
    // Makes and opens the codec context with the recording's settings.
    void openCodec();
    // Drains the encoder into the file and continues with a fresh one of the same settings.
    void restartCodec();
    // Writes what has waited in memory about a second of wall time, and everything when `slow`, the
    // frame just sent having come a second or more after the one before.
    void keepWithinWallTime(bool slow);
    // `stride` is negative for a frame read from its last line upwards.
    void convert(const uint8_t* source, ptrdiff_t stride, Nimbo::EPixelType pixelType);
    void writePackets();
    // A muxer call's result, or the I/O context's write error when the call itself answered success.
    int writeResult(int result) const;
    // libav's words for a failure code (the system's own for a failed write), added to a failure's text.
    std::string reason(int code) const;
    // Frees every libav object and closes the file; the file is removed when `removeFile` is set, and
    // after a failed write cut back to its last complete fragment.
    void release(bool removeFile);
    // A write the system refused: the file keeps what was complete before it.
    [[noreturn]] void failWrite(int code);
    // The file holds `frames` frames whole, unless it was removed meanwhile, which fails.
    void fileComplete(int64_t frames);

    mutable std::mutex m_mutex;
    std::atomic<int32_t> m_imageCount{0};   // frames taken by the encoder since open
    std::atomic<int32_t> m_framesInFile{0}; // frames in the file's complete fragments
    int64_t m_framesMuxed = 0;              // packets handed to the muxer
    std::unique_ptr<LibavAdapter> m_libav;
    std::unique_ptr<QFile> m_file;
    AVFormatContext* m_formatContext = nullptr;
    AVStream* m_stream = nullptr;
    AVCodecContext* m_codecContext = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr; // its planes receive every converted picture, reused frame after frame
    bool m_headerWritten = false;
    // Size of the file when the last write left it complete (the header, then each fragment), and
    // whether a write failed since: a failed write may have cut a fragment, which is then taken off.
    int64_t m_completeBytes = 0;
    bool m_writeFailed = false;
    int64_t m_nextPlace = 0;          // the place after the last frame sent, in frames
    const AVCodec* m_codec = nullptr; // the container's default encoder
    int m_threads = 0;
    AVRational m_rate{0, 1}; // the playback rate as a fraction
    bool m_globalHeader = false;
    // When each frame the encoder still holds was handed to it, oldest first.
    std::deque<std::chrono::steady_clock::time_point> m_held;
    // When the last frame came.
    std::optional<std::chrono::steady_clock::time_point> m_lastFrame;
    // When the open fragment got its first frame; empty while it has none.
    std::optional<std::chrono::steady_clock::time_point> m_fragmentStarted;
    std::unique_ptr<Nimbo::CImageFormatConverter> m_converter; // for the types converted in two steps
    std::vector<uint8_t> m_converted;
    int m_codecId;
    double m_framesPerSecond;
    int64_t m_bitRate;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    uint32_t m_encodedWidth = 0;
    uint32_t m_encodedHeight = 0;
};
