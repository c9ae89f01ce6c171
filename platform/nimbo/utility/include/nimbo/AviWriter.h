// Writer of AVI video files (RIFF, codecs uncompressed "DIB " and Motion JPEG "MJPG") and its compression record.
#pragma once

#include <nimbo/NimboImage.h>
#include <nimbo/PixelType.h>

#include <GenICam/GenericException.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Nimbo {

// Compression settings in the Video for Windows layout (56 bytes on x86-64). The writer reads
// fccHandler (an installed codec's code chooses it, "MJPG" Motion JPEG, anything else uncompressed
// frames) and dwQuality (0..10000, 0 meaning the default of 7500); the other fields are kept for the
// settings dialog.
struct AviCompressOptions {
    uint32_t fccType;
    uint32_t fccHandler;
    uint32_t dwKeyFrameEvery;
    uint32_t dwQuality;
    uint32_t dwBytesPerSecond;
    uint32_t dwFlags;
    void* lpFormat;
    uint32_t cbFormat;
    void* lpParms;
    uint32_t cbParms;
    uint32_t dwInterleaveEvery;
};

// The AVI writer's compression record, persisted byte for byte by the recording options: the codec
// choice, two flags, a data rate, then the Video for Windows options.
struct SAviCompressionOptions {
    uint64_t handler = 0;
    bool autoKeyFrames = false;
    bool autoDataRate = false;
    uint32_t dataRate = 20;
    AviCompressOptions compressionOptions{};
};
static_assert(sizeof(SAviCompressionOptions) == 72, "the compression record is persisted as 72 bytes");
static_assert(sizeof(AviCompressOptions) == 56, "the Video for Windows options are 56 bytes");

// Four-character code as AVI files store it (first character in the low byte).
constexpr uint32_t AviFourCC(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}

// A compressor installed for the AVI writer, found by the compression record's fccHandler the way
// Video for Windows finds its installed compressors. Called on the thread that writes the file.
class IAviCodec {
public:
    virtual ~IAviCodec() = default;
    // Whether the codec takes frames of this type and size; asked when a file is opened.
    virtual bool AcceptsFormat(EPixelType pixelType, uint32_t width, uint32_t height) const = 0;
    // Compresses one frame of the accepted type (top-down lines without padding) into `out`; throws
    // when it cannot.
    virtual void Compress(const uint8_t* frame, size_t size, std::vector<uint8_t>& out) = 0;
};

// Installs `codec` under the four-character code, in place of one installed before and of the
// built-in codec of that code; null uninstalls. Files already open keep the codec they were opened
// with. Thread-safe.
void InstallAviCodec(uint32_t fccHandler, std::shared_ptr<IAviCodec> codec);

// Which frames the index marks as key frames. Every frame of both codecs stands alone, so Auto marks
// all of them.
enum EKeyFrameSelection {
    KeyFrameSelection_NoKeyFrame = 0,
    KeyFrameSelection_KeyFrame = 1,
    KeyFrameSelection_Auto = 2
};

// A failure that leaves the file unusable for further frames: the codec failed, the file cannot be
// created, or it reached the 4 GiB that its offsets can address.
GENICAM_DECLARE_EXCEPTION(AviWriterFatalException, GenICam::RuntimeException);
// The system refused to write the open file (a full disk, for one); the description ends with the
// system's reason. Not an AviWriterFatalException: the codec is not at fault.
GENICAM_DECLARE_EXCEPTION(AviWriterIoException, GenICam::RuntimeException);

// Writes one AVI file. Not synchronised: one thread at a time (the recording's writer thread).
//
// The file says what it holds at every moment: its headers' sizes and frame counts are brought up to
// date with every frame added, so a program killed meanwhile leaves a file that players read whole. A write that fails
// (a full disk) ends the file with the frames written whole: the cut frame is taken off, the headers count the others,
// and their index follows where the disk still has room for it. The index is written at the end only, and the headers
// say whether it is there.
class CAviWriter {
public:
    CAviWriter();
    ~CAviWriter(); // closes an open file
    CAviWriter(const CAviWriter&) = delete;
    CAviWriter& operator=(const CAviWriter&) = delete;

    // Creates the file. `pixelType` is the type stored in the file: Mono8, BGR8packed or BGRA8packed;
    // added frames are converted to it. `orientation` is the line order stored in uncompressed frames
    // (bottom-up is the classic DIB order). Without options the frames are stored uncompressed.
    // Throws GenICam::InvalidArgumentException for bad arguments or when already open,
    // AviWriterFatalException when the codec does not take the frames or the file cannot be created.
    void Open(const std::string& fileName, double framesPerSecondPlayback, EPixelType pixelType, uint32_t width,
              uint32_t height, EImageOrientation orientation = ImageOrientation_BottomUp,
              const SAviCompressionOptions* compressionOptions = nullptr);
    bool IsOpen() const { return m_fd >= 0; }
    // Writes the index and the final counts; a file that is not open is ignored. Throws
    // AviWriterIoException when the file cannot be completed (it is closed all the same, its
    // headers true for its frames, without the index that did not fit) or was removed meanwhile.
    void Close();

    // Adds one frame of the size given at Open. Throws GenICam::InvalidArgumentException for a frame
    // of another size, a short buffer or a type the converter cannot read, GenICam::RuntimeException when
    // not open, AviWriterIoException when writing fails or the file was removed meanwhile,
    // AviWriterFatalException when the codec fails or the file would pass 4 GiB. The last three close
    // the file with the frames written before.
    void Add(const void* buffer, size_t bufferSize, EPixelType pixelType, uint32_t width, uint32_t height,
             size_t paddingX, EImageOrientation orientation = ImageOrientation_TopDown,
             EKeyFrameSelection keyFrameSelection = KeyFrameSelection_Auto);
    void Add(const CNimboImage& image, EKeyFrameSelection keyFrameSelection = KeyFrameSelection_Auto);

    // True when a frame of that layout is written without conversion.
    bool CanAddWithoutConversion(EPixelType pixelType, uint32_t width, uint32_t height, size_t paddingX,
                                 EImageOrientation orientation) const;
    bool CanAddWithoutConversion(const CNimboImage& image) const;

    // Adds `count` frames that hold no picture, standing for frames the recording lost: players show
    // the frame before for their time, so the film keeps its length. Throws as Add for a file that is
    // not open, that cannot be written or that would pass 4 GiB.
    void AddEmptyFrames(uint64_t count);

    // Frames added with a picture.
    size_t GetCountOfAddedImages() const { return m_frames.size() - m_emptyFrames; }
    // Every frame of the film, the empty ones included.
    size_t GetCountOfFrames() const { return m_frames.size(); }
    // Bytes of frame data written so far (chunk payloads, without headers and index).
    uint64_t GetImageDataBytesWritten() const { return m_dataBytes; }

private:
    struct IndexEntry {
        uint32_t offset;
        uint32_t size;
        bool key;
    };
    // Frames go through a codec (Motion JPEG or an installed one) rather than as DIB lines.
    bool compressed() const { return m_mjpeg || m_codec != nullptr; }
    void writeHeaders();
    void writeFrame(const uint8_t* data, size_t size, bool key);
    // Writes up to four parts one after the other at `offset`, however the system splits the write; false
    // with errno set when it refuses.
    bool writeAt(uint64_t offset, std::initializer_list<std::pair<const void*, size_t>> parts);
    // Rewrites the headers for the frames written so far; the RIFF chunk ends at `riffEnd`, and
    // `indexed` says an index follows the frames.
    bool writeCounts(uint64_t riffEnd, bool indexed);
    // Appends the index and writes the final counts; without room for the index, the file ends with
    // its last frame and the headers say there is none. The first failure's errno, 0 on success.
    int complete();
    // Ends the file with the frames written whole (see complete), closes it and throws E with the text
    // and the reason in errno, if any.
    template <typename E>
    [[noreturn]] void fail(const std::string& text);
    // Closes and removes a file whose start failed, and throws AviWriterFatalException.
    [[noreturn]] void failStart(const std::string& text);
    // Whether the open file has lost its name (removed with its folder, say).
    bool removed() const;

    int m_fd = -1;
    std::string m_fileName;
    EPixelType m_pixelType = PixelType_Undefined;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    EImageOrientation m_orientation = ImageOrientation_BottomUp;
    bool m_mjpeg = false;
    std::shared_ptr<IAviCodec> m_codec; // an installed codec the frames go through
    uint32_t m_handler = 0;             // its four-character code
    int m_quality = 75;
    uint32_t m_rate = 0;
    uint32_t m_scale = 1;
    size_t m_frameBytes = 0; // one uncompressed DIB frame
    uint64_t m_dataBytes = 0;
    uint32_t m_largestChunk = 0;
    long m_moviStart = 0;          // offset of the 'movi' list type, the base of the index offsets
    long m_moviSize = 0;           // offset of the 'movi' list's size field
    long m_strhLength = 0;         // offset of the stream header's length field
    uint64_t m_position = 0;       // bytes in the file so far: the headers and the frames written whole
    std::vector<uint8_t> m_header; // the headers as last written, rewritten with new counts
    std::vector<IndexEntry> m_frames;
    size_t m_emptyFrames = 0; // entries of m_frames without a picture
    std::vector<uint8_t> m_staging;
    std::vector<uint8_t> m_encoded;
};

} // namespace Nimbo
