// MP4 output through libav: set-up of the muxer and the video stream, conversion of each frame to
// planar YUV 4:2:0, encoding with presentation times in the stream's time base, and the flush.
#include "VideoEncoder.h"

#include "EngineLog.h"
#include "LibavAdapter.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <nimbo/ImageFormatConverter.h>
#include <nimbo/PixelType.h>

#include <QSettings>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <string>

namespace {

const char* const logCategory = "nimbo.utility.VideoEncoderConstants";
const char* const sourceFile = "VideoEncoder.cpp";
// x264's speed setting, see openCodec.
const char* const kSpeedSetting = "ultrafast";
// How long a frame may wait in the encoder, and a fragment stay open, before they are written.
constexpr std::chrono::milliseconds kMostWallTime{1000};
// The smallest bit rate the encoder takes, in bits a second.
constexpr int64_t kSmallestBitRate = 1000;

// Logs the failure and throws it as the GenICam exception `E` with the same text.
template <typename E>
[[noreturn]] __attribute__((format(printf, 3, 4))) void fail(unsigned int line, enginelog::Level level,
                                                             const char* text, ...)
{
    va_list args;
    va_start(args, text);
    const std::string description = enginelog::vformat(256, text, args);
    va_end(args);
    enginelog::write(logCategory, level, "%s", description.c_str());
    throw E(description.c_str(), sourceFile, line);
}

#define FAIL_RUNTIME(...) fail<GenICam::RuntimeException>(__LINE__, enginelog::Failure, __VA_ARGS__)
#define FAIL_ARGUMENT(...) fail<GenICam::InvalidArgumentException>(__LINE__, enginelog::Failure, __VA_ARGS__)

// Where red and blue sit in a pixel of the interleaved 8-bit colour types, and the pixel's size.
struct RgbLayout {
    int bytes = 0; // 0: not such a type
    int red = 0, blue = 0;
};

RgbLayout rgbLayout(Nimbo::EPixelType pixelType)
{
    using namespace Nimbo;
    switch (pixelType) {
    case PixelType_RGB8packed: return {3, 0, 2};
    case PixelType_BGR8packed: return {3, 2, 0};
    case PixelType_RGBA8packed: return {4, 0, 2};
    case PixelType_BGRA8packed: return {4, 2, 0};
    default: return {};
    }
}

bool isMono(Nimbo::EPixelType pixelType)
{
    using namespace Nimbo;
    return pixelType == PixelType_Mono8 || pixelType == PixelType_Mono10 || pixelType == PixelType_Mono12 ||
           pixelType == PixelType_Mono16;
}

bool isPackedYuv(Nimbo::EPixelType pixelType)
{
    using namespace Nimbo;
    return pixelType == PixelType_YUV411packed || pixelType == PixelType_YUV422packed ||
           pixelType == PixelType_YUV444packed || pixelType == PixelType_YUV422_YUYV_Packed ||
           pixelType == PixelType_YCbCr422_8;
}

// Bits of the value in a 16-bit mono pixel.
unsigned int significantBits(Nimbo::EPixelType pixelType)
{
    using namespace Nimbo;
    switch (pixelType) {
    case PixelType_Mono10: return 10;
    case PixelType_Mono12: return 12;
    default: return Nimbo::BitPerPixel(pixelType) == 8 ? 8 : 16;
    }
}

// Full-range BT.601 in 16.16 fixed point, rounded; the same conversion the SDK's converter undoes.
uint8_t lumaOf(int r, int g, int b)
{
    return static_cast<uint8_t>((19595 * r + 38470 * g + 7471 * b + 32768) >> 16);
}

uint8_t chroma(int value)
{
    return static_cast<uint8_t>(std::clamp((value + (128 << 16) + 32768) >> 16, 0, 255));
}

uint8_t mean(unsigned int a, unsigned int b)
{
    return static_cast<uint8_t>((a + b) / 2);
}

uint8_t mean(unsigned int a, unsigned int b, unsigned int c, unsigned int d)
{
    return static_cast<uint8_t>((a + b + c + d) / 4);
}

// Two lines of 4:2:2 pixel pairs into two luma lines and one line of each chroma plane; the first
// luma byte of a pair at offset Y, U at 1 - Y, the second luma and V two bytes after each.
template <int Y>
void pairs422(const uint8_t* __restrict line0, const uint8_t* __restrict line1, uint8_t* __restrict out0,
              uint8_t* __restrict out1, uint8_t* __restrict outU, uint8_t* __restrict outV, uint32_t pairs)
{
    constexpr int U = 1 - Y;
    for (uint32_t i = 0; i < pairs; ++i) {
        const uint8_t* a = line0 + 4 * i;
        const uint8_t* b = line1 + 4 * i;
        out0[2 * i] = a[Y];
        out0[2 * i + 1] = a[Y + 2];
        out1[2 * i] = b[Y];
        out1[2 * i + 1] = b[Y + 2];
        outU[i] = mean(a[U], b[U]);
        outV[i] = mean(a[U + 2], b[U + 2]);
    }
}

} // namespace

VideoEncoder::VideoEncoder(int codecId, double framesPerSecond, int64_t bitRate)
    : m_libav(std::make_unique<LibavAdapter>()), m_codecId(codecId), m_framesPerSecond(framesPerSecond),
      m_bitRate(bitRate)
{
}

VideoEncoder::~VideoEncoder()
{
    try {
        if (isOpen())
            close();
        else
            release(false);
    } catch (const std::exception& e) {
        enginelog::write(logCategory, enginelog::Failure, "Closing the video on destruction failed: %s", e.what());
    }
    m_libav->unload();
}

namespace {

bool convertsDirectly(Nimbo::EPixelType pixelType)
{
    return isMono(pixelType) || isPackedYuv(pixelType) || rgbLayout(pixelType).bytes != 0;
}

} // namespace

bool VideoEncoder::acceptsPixelType(Nimbo::EPixelType pixelType)
{
    return convertsDirectly(pixelType) || Nimbo::CImageFormatConverter::IsSupportedInputFormat(pixelType);
}

int VideoEncoder::threadCount()
{
    QSettings settings;
    const int configured = settings.value("Recording/UseNumberOfThreads", -1).toInt();
    if (configured >= 0)
        return configured;
    const char* processors = std::getenv("NUMBER_OF_PROCESSORS");
    if (!processors)
        return 0;
    // A value that is not a number or out of range throws the standard exception of std::stoi; a
    // negative count, which libav would refuse, leaves the choice to libav.
    return std::max(std::stoi(processors), 0);
}

std::vector<uint8_t> VideoEncoder::picture() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<uint8_t> planes;
    if (!m_frame || !m_frame->data[0])
        return planes;
    const int heights[3] = {m_frame->height, m_frame->height / 2, m_frame->height / 2};
    const int widths[3] = {m_frame->width, m_frame->width / 2, m_frame->width / 2};
    for (int plane = 0; plane < 3; ++plane)
        for (int row = 0; row < heights[plane]; ++row) {
            const uint8_t* line = m_frame->data[plane] + size_t(row) * m_frame->linesize[plane];
            planes.insert(planes.end(), line, line + widths[plane]);
        }
    return planes;
}

bool VideoEncoder::isOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_libav->isLoaded() && m_formatContext && m_formatContext->pb;
}

void VideoEncoder::open(const char* libRoot, const char* fileName, uint32_t width, uint32_t height,
                        Nimbo::EPixelType pixelType)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_formatContext || (m_file && m_file->isOpen()))
        FAIL_RUNTIME("Error the video encoder is already open.");
    if (!acceptsPixelType(pixelType))
        fail<GenICam::RuntimeException>(__LINE__, enginelog::Notice, "Unsupported pixel format.");
    if (!(m_framesPerSecond > 0.0) || !std::isfinite(m_framesPerSecond))
        FAIL_RUNTIME("Invalid playback rate %f.", m_framesPerSecond);

    m_imageCount = 0;
    m_framesInFile = 0;
    m_framesMuxed = 0;
    m_nextPlace = 0;
    m_width = width;
    m_height = height;
    // The YUV 4:2:0 picture needs even sizes, and a YUV 4:1:1 line shares its chroma across four
    // pixels: the last column or row that does not fit is dropped rather than read past the frame.
    m_encodedWidth = pixelType == Nimbo::PixelType_YUV411packed ? width & ~3u : width & ~1u;
    m_encodedHeight = height & ~1u;
    if (m_encodedWidth == 0 || m_encodedHeight == 0)
        FAIL_RUNTIME("Cannot record video frames of %u x %u pixels.", width, height);
    if (m_encodedWidth != width || m_encodedHeight != height)
        enginelog::write(logCategory, enginelog::Notice,
                         "Frames of %u x %u pixels are recorded as %u x %u pixels; the last column or row is dropped.",
                         width, height, m_encodedWidth, m_encodedHeight);

    if (!libRoot || !*libRoot)
        FAIL_RUNTIME("Can't link to libav because of invalid path %s.", libRoot ? libRoot : "");
    m_libav->load(libRoot);

    const bool existed = QFile::exists(QString::fromLocal8Bit(fileName));
    m_file = std::make_unique<QFile>(QString::fromLocal8Bit(fileName));
    if (!m_file->open(QIODevice::ReadWrite)) {
        const std::string why = m_file->errorString().toStdString();
        m_file.reset();
        FAIL_RUNTIME("Can't create video file '%s'. %s.", fileName, why.c_str());
    }
    try {
        setup(fileName);
    } catch (...) {
        release(!existed);
        throw;
    }
}

void VideoEncoder::setup(const char* fileName)
{
    const LibavAdapter& av = *m_libav;
    if (!av.isLoaded()) {
        // The loader's own reason (a library missing, an entry point missing) is what the user needs.
        if (av.loadError().empty())
            FAIL_RUNTIME("Libav adapter was not initialized.");
        FAIL_RUNTIME("Libav adapter was not initialized. %s", av.loadError().c_str());
    }

    const AVOutputFormat* outputFormat = av.av_guess_format(nullptr, "video.mp4", nullptr);
    if (!outputFormat || outputFormat->video_codec == AV_CODEC_ID_NONE || (outputFormat->flags & AVFMT_NOFILE))
        FAIL_RUNTIME("Error in finding output codec.");
    m_formatContext = av.avformat_alloc_context();
    if (!m_formatContext)
        FAIL_RUNTIME("Error in allocating memory.");
    m_formatContext->oformat = outputFormat;

    // The container's default codec is used; m_codecId does not choose another.
    const AVCodec* codec = av.avcodec_find_encoder(outputFormat->video_codec);
    if (!codec)
        FAIL_RUNTIME("Could not find encoder with id %i on your system.", static_cast<int>(outputFormat->video_codec));
    m_stream = av.avformat_new_stream(m_formatContext, codec);
    if (!m_stream)
        FAIL_RUNTIME("Could not create stream on your system.");
    m_codec = codec;
    m_threads = threadCount();

    m_packet = av.av_packet_alloc();
    m_frame = av.av_frame_alloc();
    if (!m_packet || !m_frame)
        FAIL_RUNTIME("Error in allocating memory.");
    // Any positive rate as its exact fraction (29.97 is 2997/100, one frame an hour 1/3600).
    m_rate = av.av_d2q(m_framesPerSecond, INT_MAX);
    if (m_rate.num <= 0 || m_rate.den <= 0)
        FAIL_RUNTIME("Invalid playback rate %f.", m_framesPerSecond);
    m_globalHeader = (outputFormat->flags & AVFMT_GLOBALHEADER) != 0;
    openCodec();
    m_stream->time_base = m_codecContext->time_base;
    m_stream->avg_frame_rate = m_rate;
    int result = av.avcodec_parameters_from_context(m_stream->codecpar, m_codecContext);
    if (result < 0)
        FAIL_RUNTIME("Could not open codec. This is caused by wrong AVCodecContext settings. %s.",
                     reason(result).c_str());
    // The picture's planes, once the codec has accepted the size.
    m_frame->width = static_cast<int>(m_encodedWidth);
    m_frame->height = static_cast<int>(m_encodedHeight);
    m_frame->format = AV_PIX_FMT_YUV420P;
    if (av.av_frame_get_buffer(m_frame, 0) < 0)
        FAIL_RUNTIME("Error in allocating memory.");
    result = av.avio_open2(&m_formatContext->pb, fileName, AVIO_FLAG_WRITE, nullptr, nullptr);
    if (result < 0)
        FAIL_RUNTIME("Error opening file. %s.", reason(result).c_str());
    // Fragmented MP4, each fragment handed to the system as soon as it is complete: a program that
    // is killed or loses power leaves a file that players read up to its last fragment, where a
    // plain MP4 is unreadable without the index written at the end.
    m_formatContext->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    AVDictionary* options = nullptr;
    av.av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    const int header = writeResult(av.avformat_write_header(m_formatContext, &options));
    av.av_dict_free(&options);
    if (header < 0)
        FAIL_RUNTIME("Could not write file header. %s.", reason(header).c_str());
    m_headerWritten = true;
    m_completeBytes = m_file->size();
}

void VideoEncoder::openCodec()
{
    const LibavAdapter& av = *m_libav;
    m_codecContext = av.avcodec_alloc_context3(m_codec);
    if (!m_codecContext)
        FAIL_RUNTIME("Error in allocating memory.");
    m_codecContext->thread_count = m_threads;
    m_codecContext->bit_rate = std::max<int64_t>(m_bitRate, m_codecContext->bit_rate);
    // x264 counts the rate in whole kilobits a second: a rate below one (a small region at a slow
    // playback rate or a low quality) would count as none, which it refuses; it gets the smallest.
    if (m_codecContext->bit_rate > 0 && m_codecContext->bit_rate < kSmallestBitRate)
        m_codecContext->bit_rate = kSmallestBitRate;
    m_codecContext->width = static_cast<int>(m_encodedWidth);
    m_codecContext->height = static_cast<int>(m_encodedHeight);
    m_codecContext->time_base = AVRational{m_rate.den, m_rate.num};
    m_codecContext->framerate = m_rate;
    m_codecContext->pix_fmt = AV_PIX_FMT_YUV420P;
    if (m_globalHeader)
        m_codecContext->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // Every input family is stored the same way, full range with the BT.601 matrix (how the camera
    // delivers YCbCr and how the SDK's converter reads it), and the file says so: players that are
    // told nothing guess limited range and crush the shadows.
    m_codecContext->color_range = AVCOL_RANGE_JPEG;
    m_codecContext->colorspace = AVCOL_SPC_SMPTE170M;
    m_codecContext->color_primaries = AVCOL_PRI_BT709;
    m_codecContext->color_trc = AVCOL_TRC_BT709;
    // A key frame about every second of playback starts a fragment.
    m_codecContext->gop_size = std::max(1, static_cast<int>(std::lround(m_framesPerSecond)));
    // Frames leave the encoder in the order they came, so an encoder drained in the middle of a
    // recording hands over to the next one with no decode time running backwards. Each frame is then
    // decoded when it is shown and lasts until the next one's time: a film with frames the recording
    // lost keeps the recording's length (with reordering the container counts the length in decoding
    // times, which such gaps shift).
    m_codecContext->max_b_frames = 0;
    // x264's fastest setting: a recording at a camera's full rate must not lose frames to the
    // encoder. It compresses less well than the slower settings, so the same bit rate buys a
    // somewhat plainer picture; it looks at no frame ahead, so it holds no more frames than its
    // threads encode at once. Another encoder ignores the option.
    if (m_codecContext->priv_data)
        av.av_opt_set(m_codecContext->priv_data, "preset", kSpeedSetting, 0);
    const int result = av.avcodec_open2(m_codecContext, m_codec, nullptr);
    if (result < 0)
        FAIL_RUNTIME("Could not open codec. This is caused by wrong AVCodecContext settings. %s.",
                     reason(result).c_str());
}

void VideoEncoder::restartCodec()
{
    const LibavAdapter& av = *m_libav;
    // Everything the encoder holds is written; the next encoder starts with a key frame.
    if (av.avcodec_send_frame(m_codecContext, nullptr) >= 0)
        writePackets();
    m_held.clear();
    av.avcodec_free_context(&m_codecContext);
    m_codecContext = nullptr;
    openCodec();
    // The file's header described the first encoder's parameter sets: its successor must use the same.
    const AVCodecParameters* parameters = m_stream->codecpar;
    if (m_codecContext->extradata_size != parameters->extradata_size ||
        (parameters->extradata_size > 0 &&
         std::memcmp(m_codecContext->extradata, parameters->extradata, size_t(parameters->extradata_size)) != 0))
        FAIL_RUNTIME("Could not open codec. The encoder changed its parameter sets in the middle of the recording.");
}

void VideoEncoder::keepWithinWallTime(bool slow)
{
    // Frames that come slowly (a time-lapse, a triggered camera, a pause) would otherwise wait in
    // the encoder's threads for the frames behind them, and in the open fragment for the next key
    // frame, which a time-lapse reaches only after minutes: a program killed meanwhile would leave
    // them out of the file. A frame stays in memory about a second at most in each, and frames that
    // come a second or more apart are written as they come.
    const auto now = std::chrono::steady_clock::now();
    bool flush = slow || (m_fragmentStarted && now - *m_fragmentStarted >= kMostWallTime);
    if (!m_held.empty() && (slow || now - m_held.front() >= kMostWallTime)) {
        restartCodec();
        flush = true;
    }
    if (!flush || !m_fragmentStarted)
        return;
    // The muxer would start the next fragment where this one's last frame ends; the next frame comes
    // at its own time, later when frames the recording lost lie between: the next fragment says when.
    m_libav->av_opt_set(m_formatContext->priv_data, "movflags", "+frag_discont", 0);
    const int result = writeResult(m_libav->av_write_frame(m_formatContext, nullptr));
    if (result < 0)
        failWrite(result);
    m_fragmentStarted.reset();
    m_completeBytes = m_file->size();
    fileComplete(m_framesMuxed);
}

void VideoEncoder::fileComplete(int64_t frames)
{
    // A file removed meanwhile (its folder deleted) takes every frame with it: said at once, rather
    // than counting frames that no file holds.
    struct stat status;
    if (::fstat(m_file->handle(), &status) == 0 && status.st_nlink == 0) {
        m_framesInFile = 0;
        FAIL_RUNTIME("Failed to write data to disk. The file was removed.");
    }
    m_framesInFile = int32_t(frames);
}

void VideoEncoder::addFrame(const void* buffer, size_t bufferSize, Nimbo::EPixelType pixelType, uint32_t width,
                            uint32_t height, size_t paddingX, bool bottomUp, int64_t place)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // Without a codec context after an encoder that could not be made again, nothing more is taken.
    if (!m_libav->isLoaded() || !m_formatContext || !m_formatContext->pb || !m_codecContext) {
        enginelog::write(logCategory, enginelog::Failure, "The video encoder is not open.");
        throw GenICam::RuntimeException("The video encoder is not open", sourceFile, __LINE__);
    }
    if (!buffer)
        FAIL_ARGUMENT("Cannot write video frame. The pointer to the image buffer must not be null.");
    if (width != m_width)
        FAIL_ARGUMENT("Cannot write video frame. Unexpected image frame width %u, expected width is %u pixel.", width,
                      m_width);
    if (height != m_height)
        FAIL_ARGUMENT("Cannot write video frame. Unexpected image frame height %u, expected height is %u lines.",
                      height, m_height);
    if (!acceptsPixelType(pixelType) || (pixelType == Nimbo::PixelType_YUV411packed && m_encodedWidth % 4 != 0))
        FAIL_ARGUMENT("Cannot convert source pixel type %d to destination pixel type %d.", static_cast<int>(pixelType),
                      static_cast<int>(AV_PIX_FMT_YUV420P));
    // Every line but the last is a full stride; the last needs only its pixels.
    const size_t stride = Nimbo::ComputeStride(pixelType, width, paddingX);
    const size_t lineBytes = Nimbo::ComputeStride(pixelType, width, 0);
    const size_t required = stride * (height - 1) + lineBytes;
    if (bufferSize < required)
        FAIL_ARGUMENT("Cannot write video frame. The passed input buffer size %zu is too small. The minimum expected "
                      "buffer size is %zu.",
                      bufferSize, required);

    // The encoder normally let go of the last picture; when it still holds it, libav gives the frame
    // fresh planes.
    if (m_libav->av_frame_make_writable(m_frame) < 0)
        FAIL_RUNTIME("Could not allocate frame %d.", m_imageCount.load());
    if (convertsDirectly(pixelType)) {
        // A bottom-up frame is read from its last line upwards.
        const auto* first = static_cast<const uint8_t*>(buffer) + (bottomUp ? stride * (height - 1) : 0);
        convert(first, bottomUp ? -static_cast<ptrdiff_t>(stride) : static_cast<ptrdiff_t>(stride), pixelType);
    } else {
        // Other types (Bayer, packed 10/12 bits, planar, 10/12/16-bit colour) go through the SDK
        // converter first: mono to Mono8, colour to BGR8 with its chroma kept.
        if (!m_converter)
            m_converter = std::make_unique<Nimbo::CImageFormatConverter>();
        const Nimbo::EPixelType intermediate = Nimbo::IsMono(pixelType) && !Nimbo::IsBayer(pixelType)
                                                   ? Nimbo::PixelType_Mono8
                                                   : Nimbo::PixelType_BGR8packed;
        m_converter->SetOutputPixelFormat(intermediate);
        m_converter->SetOutputPaddingX(0);
        m_converter->SetOutputOrientation(Nimbo::OutputOrientation_TopDown);
        m_converted.resize(m_converter->GetBufferSizeForConversion(width, height));
        m_converter->Convert(m_converted.data(), m_converted.size(), buffer, bufferSize, pixelType, width, height,
                             paddingX, bottomUp ? Nimbo::ImageOrientation_BottomUp : Nimbo::ImageOrientation_TopDown);
        convert(m_converted.data(), static_cast<ptrdiff_t>(Nimbo::ComputeStride(intermediate, width, 0)), intermediate);
    }

    // A frame is shown at its place, in frames of the codec's time base (packets are rescaled to the
    // stream's): a frame the recording lost before it leaves the frame before on screen for its time,
    // so the film plays as long as the recording ran. Times only ever grow.
    const int64_t shown = std::max(place, m_nextPlace);
    m_frame->pts = shown;
    const int sent = m_libav->avcodec_send_frame(m_codecContext, m_frame);
    if (sent < 0)
        FAIL_RUNTIME("Error during encode frame %d. %s.", m_imageCount.load(), reason(sent).c_str());
    const auto now = std::chrono::steady_clock::now();
    // Frames a second or more apart: whatever the encoder holds would wait that long again. The first
    // frame is written at once as well: nothing tells how long the next one takes (a time-lapse of one
    // frame an hour), and the file then holds, and the recording counts, the frame from the start.
    const bool slow = !m_lastFrame || now - *m_lastFrame >= kMostWallTime;
    m_lastFrame = now;
    m_held.push_back(now);
    m_nextPlace = shown + 1;
    ++m_imageCount;
    writePackets();
    keepWithinWallTime(slow);
}

std::string VideoEncoder::reason(int code) const
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (m_libav->av_strerror(code, text, sizeof text) < 0 || !*text)
        return "libav error " + std::to_string(code);
    return text;
}

int VideoEncoder::writeResult(int result) const
{
    // The muxer may answer a count of bytes (the trailer does) and leave a write the system refused
    // in the I/O context: the file is short all the same.
    if (result >= 0 && m_formatContext && m_formatContext->pb && m_formatContext->pb->error < 0)
        return m_formatContext->pb->error;
    return result;
}

void VideoEncoder::writePackets()
{
    const LibavAdapter& av = *m_libav;
    for (;;) {
        const int result = av.avcodec_receive_packet(m_codecContext, m_packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return;
        if (result < 0)
            FAIL_RUNTIME("Error during encode frame %d. %s.", m_imageCount.load(), reason(result).c_str());
        // One packet per frame, in the order the frames came.
        if (!m_held.empty())
            m_held.pop_front();
        // A frame lasts one frame of playback; the muxer needs it for a fragment that ends with it.
        if (m_packet->duration == 0)
            m_packet->duration = 1;
        const bool key = (m_packet->flags & AV_PKT_FLAG_KEY) != 0;
        av.av_packet_rescale_ts(m_packet, m_codecContext->time_base, m_stream->time_base);
        m_packet->stream_index = m_stream->index;
        // The muxer takes the packet's data and leaves the packet blank.
        const int written = writeResult(av.av_interleaved_write_frame(m_formatContext, m_packet));
        if (written < 0) {
            av.av_packet_unref(m_packet);
            failWrite(written);
        }
        // Each packet that completes a fragment has reached the file whole; a key frame opens the next.
        // A fragment is written when the packet that opens the next one comes: when the file grew,
        // it holds every packet before this one.
        const int64_t size = m_file->size();
        const bool grew = size != m_completeBytes;
        m_completeBytes = size;
        if (grew)
            fileComplete(m_framesMuxed);
        ++m_framesMuxed;
        if (key || !m_fragmentStarted)
            m_fragmentStarted = std::chrono::steady_clock::now();
    }
}

void VideoEncoder::failWrite(int code)
{
    m_writeFailed = true;
    FAIL_RUNTIME("Failed to write data to disk. %s.", reason(code).c_str());
}

void VideoEncoder::close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_file || !m_file->isOpen() || !m_libav->isLoaded() || !m_formatContext) {
        release(false);
        return;
    }
    const LibavAdapter& av = *m_libav;
    try {
        if (m_codecContext && av.avcodec_send_frame(m_codecContext, nullptr) >= 0)
            writePackets();
        if (m_headerWritten) {
            const int trailer = writeResult(av.av_write_trailer(m_formatContext));
            if (trailer < 0)
                failWrite(trailer);
            // Closing hands the last buffered bytes to the system, which may refuse them too.
            const int closed = av.avio_closep(&m_formatContext->pb);
            if (closed < 0)
                failWrite(closed);
            fileComplete(m_framesMuxed);
        }
    } catch (...) {
        release(false);
        throw;
    }
    release(false);
}

void VideoEncoder::release(bool removeFile)
{
    const LibavAdapter& av = *m_libav;
    if (m_formatContext) {
        if (m_formatContext->pb)
            av.avio_closep(&m_formatContext->pb);
        av.avformat_free_context(m_formatContext);
    }
    m_formatContext = nullptr;
    m_stream = nullptr;
    if (m_codecContext)
        av.avcodec_free_context(&m_codecContext);
    m_codecContext = nullptr;
    if (m_packet)
        av.av_packet_free(&m_packet);
    m_packet = nullptr;
    if (m_frame)
        av.av_frame_free(&m_frame);
    m_frame = nullptr;
    m_headerWritten = false;
    m_held.clear();
    m_fragmentStarted.reset();
    m_lastFrame.reset();
    if (m_file) {
        // A write the system cut short leaves part of a fragment at the end, and libav's reader gives
        // up on a file whose last fragment index is cut: the file ends where it was last complete.
        // libav has let go of the file by now and writes nothing more into it.
        if (m_writeFailed && !removeFile)
            m_file->resize(m_completeBytes);
        m_file->close();
        if (removeFile)
            m_file->remove();
        m_file.reset();
    }
    m_writeFailed = false;
    m_completeBytes = 0;
}

void VideoEncoder::convert(const uint8_t* source, ptrdiff_t stride, Nimbo::EPixelType pixelType)
{
    using namespace Nimbo;
    const uint32_t width = m_encodedWidth;
    const uint32_t height = m_encodedHeight;
    // The picture is written straight into the frame's own planes, which libav then only references.
    uint8_t* luma = m_frame->data[0];
    uint8_t* planeU = m_frame->data[1];
    uint8_t* planeV = m_frame->data[2];
    const size_t lumaStride = static_cast<size_t>(m_frame->linesize[0]);
    const size_t chromaStride = static_cast<size_t>(m_frame->linesize[1]);
    const uint32_t chromaWidth = width / 2;

    if (isMono(pixelType)) {
        const unsigned int bits = significantBits(pixelType);
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* line = source + ptrdiff_t(y) * stride;
            uint8_t* out = luma + y * lumaStride;
            if (bits == 8) {
                std::memcpy(out, line, width);
            } else {
                for (uint32_t x = 0; x < width; ++x) {
                    const unsigned int value = line[2 * x] | (line[2 * x + 1] << 8);
                    out[x] = static_cast<uint8_t>(std::min(value >> (bits - 8), 255u));
                }
            }
        }
        for (uint32_t row = 0; row < height / 2; ++row) {
            std::memset(planeU + row * chromaStride, 128, chromaWidth);
            std::memset(planeV + row * chromaStride, 128, chromaWidth);
        }
        return;
    }

    if (isPackedYuv(pixelType)) {
        // 4:2:2 groups of two pixels: where the first luma and U lie; the second luma and V follow two
        // bytes after each.
        const int y422 = pixelType == PixelType_YUV422packed ? 1 : 0;
        for (uint32_t y = 0; y < height; y += 2) {
            const uint8_t* line0 = source + ptrdiff_t(y) * stride;
            const uint8_t* line1 = line0 + stride;
            uint8_t* out0 = luma + y * lumaStride;
            uint8_t* out1 = out0 + lumaStride;
            uint8_t* outU = planeU + (y / 2) * chromaStride;
            uint8_t* outV = planeV + (y / 2) * chromaStride;
            if (pixelType != PixelType_YUV444packed && pixelType != PixelType_YUV411packed) {
                // The colour cameras' own format: a loop of its own, which the compiler vectorises.
                if (y422 == 0) // Y0 U Y1 V
                    pairs422<0>(line0, line1, out0, out1, outU, outV, width / 2);
                else // U Y0 V Y1
                    pairs422<1>(line0, line1, out0, out1, outU, outV, width / 2);
                continue;
            }
            for (uint32_t x = 0; x < width; x += 2) {
                switch (pixelType) {
                case PixelType_YUV444packed: { // U Y V per pixel
                    const uint8_t* a = line0 + 3 * x;
                    const uint8_t* b = line1 + 3 * x;
                    out0[x] = a[1], out0[x + 1] = a[4], out1[x] = b[1], out1[x + 1] = b[4];
                    outU[x / 2] = mean(a[0], a[3], b[0], b[3]);
                    outV[x / 2] = mean(a[2], a[5], b[2], b[5]);
                    break;
                }
                default: { // YUV 4:1:1, U Y0 Y1 V Y2 Y3 per four pixels; the width is a multiple of 4
                    const size_t group = (x / 4) * 6;
                    const int offset = (x % 4) == 0 ? 1 : 4;
                    const uint8_t* a = line0 + group;
                    const uint8_t* b = line1 + group;
                    out0[x] = a[offset], out0[x + 1] = a[offset + 1];
                    out1[x] = b[offset], out1[x + 1] = b[offset + 1];
                    outU[x / 2] = mean(a[0], b[0]);
                    outV[x / 2] = mean(a[3], b[3]);
                    break;
                }
                }
            }
        }
        return;
    }

    // Interleaved 8-bit colour (Bayer arrives here already demosaiced to BGR8 by the SDK's converter,
    // as the live view shows it): each 2 x 2 block gives four luma samples and the chroma of its
    // mean colour.
    const RgbLayout layout = rgbLayout(pixelType);
    const int bytes = layout.bytes;
    for (uint32_t y = 0; y < height; y += 2) {
        const uint8_t* lines[2] = {source + ptrdiff_t(y) * stride, source + ptrdiff_t(y + 1) * stride};
        uint8_t* outs[2] = {luma + y * lumaStride, luma + (y + 1) * lumaStride};
        uint8_t* outU = planeU + (y / 2) * chromaStride;
        uint8_t* outV = planeV + (y / 2) * chromaStride;
        for (uint32_t x = 0; x < width; x += 2) {
            int sumR = 0, sumG = 0, sumB = 0;
            for (int row = 0; row < 2; ++row) {
                for (uint32_t column = x; column < x + 2; ++column) {
                    const uint8_t* pixel = lines[row] + size_t(column) * bytes;
                    const int r = pixel[layout.red], g = pixel[1], b = pixel[layout.blue];
                    outs[row][column] = lumaOf(r, g, b);
                    sumR += r, sumG += g, sumB += b;
                }
            }
            // The block's sums are four times its mean: the coefficients take a quarter.
            outU[x / 2] = chroma((-11059 * sumR - 21709 * sumG + 32768 * sumB) / 4);
            outV[x / 2] = chroma((32768 * sumR - 27439 * sumG - 5329 * sumB) / 4);
        }
    }
}
