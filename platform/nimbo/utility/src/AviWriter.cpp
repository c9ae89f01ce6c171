// RIFF AVI writing: headers, one video stream of uncompressed DIB or Motion JPEG frames, the index.
#include <nimbo/AviWriter.h>

#include <nimbo/ImageFormatConverter.h>

#include "Errors.h"
#include "JpegCodec.h"
#include "BitmapInfo.h"
#include "LittleEndian.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>

namespace Nimbo {
namespace {

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAviifKeyFrame = 0x10;
constexpr uint32_t kScale = 10000;
// Offsets of the fields that follow the frames written (from the start of the file).
constexpr size_t kRiffSize = 4;
constexpr size_t kAvihMaxBytesPerSec = 32 + 4;
constexpr size_t kAvihFlags = 32 + 12;
constexpr size_t kAvihTotalFrames = 32 + 16;
constexpr size_t kAvihSuggestedBuffer = 32 + 28;

void set32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + size_t(i)] = uint8_t(value >> (8 * i));
}

using detail::BitmapInfo;
using detail::bitmapInfoBytes;
using detail::put16;
using detail::put32;
using detail::putBitmapInfo;

void putFourCC(std::vector<uint8_t>& out, const char* code)
{
    out.insert(out.end(), code, code + 4);
}

size_t dibStride(EPixelType type, uint32_t width)
{
    return (size_t(width) * (BitPerPixel(type) / 8) + 3) / 4 * 4;
}

// The playback rate as the stream header's rate over scale: over 10000 where that holds it exactly
// (29.97 is 299700 / 10000), else the closest fraction of 32-bit terms (one frame every four hours is
// 1 / 14400). False for a rate that no such fraction can hold.
bool streamRate(double framesPerSecond, uint32_t& rate, uint32_t& scale)
{
    constexpr double kMax = double(std::numeric_limits<uint32_t>::max());
    const double scaled = framesPerSecond * kScale;
    if (!(framesPerSecond > 0.0) || !(scaled <= kMax))
        return false;
    const double whole = std::round(scaled);
    if (whole >= 1.0 && std::fabs(scaled - whole) <= 1e-6 * whole) {
        rate = uint32_t(whole);
        scale = kScale;
        return true;
    }
    // Continued fraction convergents, as long as both terms fit.
    uint64_t num0 = 0, num1 = 1, den0 = 1, den1 = 0;
    double rest = framesPerSecond;
    for (int step = 0; step < 64; ++step) {
        const double term = std::floor(rest);
        if (term > kMax)
            break;
        const uint64_t num2 = uint64_t(term) * num1 + num0;
        const uint64_t den2 = uint64_t(term) * den1 + den0;
        if (num2 > uint64_t(kMax) || den2 > uint64_t(kMax))
            break;
        num0 = num1, num1 = num2, den0 = den1, den1 = den2;
        const double fraction = rest - term;
        if (fraction <= 1e-9 || std::fabs(double(num1) / double(den1) - framesPerSecond) <= 1e-12 * framesPerSecond)
            break;
        rest = 1.0 / fraction;
    }
    if (num1 == 0 || den1 == 0)
        return false;
    rate = uint32_t(num1);
    scale = uint32_t(den1);
    return true;
}

struct InstalledCodecs {
    std::mutex mutex;
    std::map<uint32_t, std::shared_ptr<IAviCodec>> codecs;
};

InstalledCodecs& installedCodecs()
{
    static InstalledCodecs* installed = new InstalledCodecs; // never destroyed: codecs outlive statics
    return *installed;
}

std::shared_ptr<IAviCodec> installedCodec(uint32_t handler)
{
    InstalledCodecs& installed = installedCodecs();
    std::lock_guard<std::mutex> lock(installed.mutex);
    const auto it = installed.codecs.find(handler);
    return it == installed.codecs.end() ? nullptr : it->second;
}

} // namespace

void InstallAviCodec(uint32_t fccHandler, std::shared_ptr<IAviCodec> codec)
{
    InstalledCodecs& installed = installedCodecs();
    std::lock_guard<std::mutex> lock(installed.mutex);
    if (codec)
        installed.codecs[fccHandler] = std::move(codec);
    else
        installed.codecs.erase(fccHandler);
}

CAviWriter::CAviWriter() = default;

CAviWriter::~CAviWriter()
{
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; the file is as complete as it could be made.
    }
}

template <typename E>
void CAviWriter::fail(const std::string& text)
{
    const int error = errno;
    if (m_fd >= 0) {
        // Whatever part of a frame reached the disk is taken off: the file ends with the frames
        // written whole, which the headers then count.
        if (ftruncate(m_fd, off_t(m_position)) == 0)
            complete();
        ::close(m_fd);
    }
    m_fd = -1;
    const std::string reason = error ? std::string(": ") + std::strerror(error) : std::string();
    const std::string message = "AVI file '" + m_fileName + "': " + text + reason;
    throw E(message.c_str(), __FILE__, __LINE__);
}

void CAviWriter::failStart(const std::string& text)
{
    const int error = errno;
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_fileName.c_str());
    }
    m_fd = -1;
    errno = error;
    fail<AviWriterFatalException>(text);
}

bool CAviWriter::writeAt(uint64_t offset, std::initializer_list<std::pair<const void*, size_t>> parts)
{
    // One system call for a frame's header, pixels and padding, however many the system needs.
    iovec vectors[4];
    int count = 0;
    for (const auto& part : parts)
        if (part.second > 0 && count < 4)
            vectors[count++] = iovec{const_cast<void*>(part.first), part.second};
    iovec* next = vectors;
    while (count > 0) {
        const ssize_t written = ::pwritev(m_fd, next, count, off_t(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        offset += uint64_t(written);
        size_t done = size_t(written);
        while (count > 0 && done >= next->iov_len) {
            done -= next->iov_len;
            ++next;
            --count;
        }
        if (count > 0) {
            next->iov_base = static_cast<uint8_t*>(next->iov_base) + done;
            next->iov_len -= done;
        }
    }
    return true;
}

bool CAviWriter::writeCounts(uint64_t riffEnd, bool indexed)
{
    const uint32_t frames = uint32_t(m_frames.size());
    const double seconds = frames ? double(frames) * m_scale / m_rate : 0.0;
    const uint32_t bytesPerSecond = seconds > 0 ? uint32_t(std::min(double(m_dataBytes) / seconds, 4e9)) : 0;
    const uint32_t largest = frames ? m_largestChunk + 8 : 0;
    set32(m_header, kRiffSize, uint32_t(riffEnd - 8));
    set32(m_header, kAvihMaxBytesPerSec, bytesPerSecond);
    set32(m_header, kAvihFlags, indexed ? kAvifHasIndex : 0);
    set32(m_header, kAvihTotalFrames, frames);
    set32(m_header, kAvihSuggestedBuffer, largest);
    set32(m_header, size_t(m_strhLength), frames);
    set32(m_header, size_t(m_strhLength) + 4, largest);
    set32(m_header, size_t(m_moviSize), uint32_t(m_position - uint64_t(m_moviStart)));
    // The headers fill less than a page: rewritten in one write, they never show half old counts.
    return writeAt(0, {{m_header.data(), m_header.size()}});
}

int CAviWriter::complete()
{
    std::vector<uint8_t> index;
    putFourCC(index, "idx1");
    put32(index, uint32_t(16 * m_frames.size()));
    for (const IndexEntry& entry : m_frames) {
        putFourCC(index, compressed() ? "00dc" : "00db");
        put32(index, entry.key ? kAviifKeyFrame : 0);
        put32(index, entry.offset);
        put32(index, entry.size);
    }
    errno = 0;
    if (writeAt(m_position, {{index.data(), index.size()}}) && writeCounts(m_position + index.size(), true))
        return 0;
    // No room for the whole index, or for the headers that would say it is there: the file ends with
    // its frames and says it has no index.
    const int error = errno;
    if (ftruncate(m_fd, off_t(m_position)) != 0)
        return error;
    writeCounts(m_position, false);
    return error;
}

void CAviWriter::Open(const std::string& fileName, double framesPerSecondPlayback, EPixelType pixelType, uint32_t width,
                      uint32_t height, EImageOrientation orientation, const SAviCompressionOptions* compressionOptions)
{
    if (IsOpen())
        throwInvalidArgument("The AVI writer is already open.");
    if (fileName.empty())
        throwInvalidArgument("The AVI file name must not be empty.");
    if (pixelType != PixelType_Mono8 && pixelType != PixelType_BGR8packed && pixelType != PixelType_BGRA8packed)
        throwInvalidArgument("AVI files hold Mono8, BGR8packed or BGRA8packed frames, not pixel type " +
                             std::to_string(int32_t(pixelType)) + ".");
    if (width == 0 || height == 0 || width > 0x7FFF || height > 0x7FFF)
        throwInvalidArgument("An AVI frame of " + std::to_string(width) + " x " + std::to_string(height) +
                             " pixels is not possible.");
    uint32_t rate = 0, scale = 1;
    if (!streamRate(std::fabs(framesPerSecondPlayback), rate, scale))
        throwInvalidArgument("The playback rate of an AVI file must be positive.");

    m_handler = compressionOptions ? compressionOptions->compressionOptions.fccHandler : 0;
    std::shared_ptr<IAviCodec> codec = compressionOptions ? installedCodec(m_handler) : nullptr;
    if (codec && !codec->AcceptsFormat(pixelType, width, height)) {
        const std::string message = "AVI file '" + fileName + "': the codec does not take frames of pixel type " +
                                    std::to_string(int32_t(pixelType)) + " and " + std::to_string(width) + " x " +
                                    std::to_string(height) + " pixels.";
        throw AviWriterFatalException(message.c_str(), __FILE__, __LINE__);
    }

    m_fileName = fileName;
    m_pixelType = pixelType;
    m_width = width;
    m_height = height;
    m_orientation = orientation;
    m_codec = std::move(codec);
    m_mjpeg = !m_codec && m_handler == AviFourCC('M', 'J', 'P', 'G');
    const uint32_t quality = compressionOptions ? compressionOptions->compressionOptions.dwQuality : 0;
    m_quality = quality == 0 ? 75 : int(std::min<uint32_t>(quality, 10000) / 100);
    if (m_quality < 1)
        m_quality = 1;
    m_scale = scale;
    m_rate = rate;
    m_frameBytes = dibStride(pixelType, width) * height;
    m_dataBytes = 0;
    m_largestChunk = 0;
    m_frames.clear();
    m_emptyFrames = 0;

    errno = 0;
    m_fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0)
        failStart("cannot create the file");
    writeHeaders();
}

void CAviWriter::writeHeaders()
{
    const bool grey = m_pixelType == PixelType_Mono8;
    const uint32_t strfBytes = bitmapInfoBytes(grey);
    const uint32_t strlBytes = 4 + (8 + 56) + (8 + strfBytes);
    const uint32_t hdrlBytes = 4 + (8 + 56) + (8 + strlBytes);
    // A frame of a slow time-lapse lasts longer than the field can count.
    const uint32_t usPerFrame = uint32_t(std::min(std::round(1e6 * m_scale / m_rate), 4294967295.0));

    std::vector<uint8_t> h;
    putFourCC(h, "RIFF");
    put32(h, 0); // counts: written with the counts below
    putFourCC(h, "AVI ");
    putFourCC(h, "LIST");
    put32(h, hdrlBytes);
    putFourCC(h, "hdrl");
    putFourCC(h, "avih");
    put32(h, 56);
    put32(h, usPerFrame);
    put32(h, 0); // max bytes per second: a count
    put32(h, 0);
    put32(h, 0); // flags: whether the index is there, a count
    put32(h, 0); // total frames: a count
    put32(h, 0);
    put32(h, 1); // streams
    put32(h, 0); // suggested buffer size: a count
    put32(h, m_width);
    put32(h, m_height);
    for (int i = 0; i < 4; ++i)
        put32(h, 0);

    putFourCC(h, "LIST");
    put32(h, strlBytes);
    putFourCC(h, "strl");
    putFourCC(h, "strh");
    put32(h, 56);
    putFourCC(h, "vids");
    if (m_codec)
        put32(h, m_handler);
    else
        putFourCC(h, m_mjpeg ? "MJPG" : "DIB ");
    put32(h, 0); // flags
    put32(h, 0); // priority and language
    put32(h, 0); // initial frames
    put32(h, m_scale);
    put32(h, m_rate);
    put32(h, 0); // start
    m_strhLength = long(h.size());
    put32(h, 0);           // length in frames: a count
    put32(h, 0);           // suggested buffer size: a count
    put32(h, 0xFFFFFFFFu); // default quality
    put32(h, 0);           // sample size: varies
    put16(h, 0);           // frame rectangle
    put16(h, 0);
    put16(h, m_width);
    put16(h, m_height);

    putFourCC(h, "strf");
    put32(h, strfBytes);
    BitmapInfo info;
    info.width = m_width;
    // Uncompressed frames stored top-down say so with a negative height, as DIBs do.
    const bool topDown = !compressed() && m_orientation == ImageOrientation_TopDown;
    info.height = topDown ? -int32_t(m_height) : int32_t(m_height);
    info.bitsPerPixel = uint16_t(m_mjpeg ? 24 : BitPerPixel(m_pixelType));
    if (m_codec)
        info.compression = m_handler;
    else if (m_mjpeg)
        info.compression = AviFourCC('M', 'J', 'P', 'G');
    info.imageBytes = m_mjpeg ? m_width * m_height * 3 : uint32_t(m_frameBytes);
    info.greyPalette = grey;
    putBitmapInfo(h, info);

    putFourCC(h, "LIST");
    m_moviSize = long(h.size());
    put32(h, 0); // a count
    m_moviStart = long(h.size());
    putFourCC(h, "movi");
    m_header = std::move(h);
    m_position = uint64_t(m_header.size());
    // A file of no frames yet, and says so.
    errno = 0;
    if (!writeCounts(m_position, false))
        failStart("cannot write the headers");
}

bool CAviWriter::CanAddWithoutConversion(EPixelType pixelType, uint32_t width, uint32_t height, size_t paddingX,
                                         EImageOrientation orientation) const
{
    if (!IsOpen() || compressed() || pixelType != m_pixelType || width != m_width || height != m_height)
        return false;
    return ComputeStride(pixelType, width, paddingX) == dibStride(pixelType, width) && orientation == m_orientation;
}

bool CAviWriter::CanAddWithoutConversion(const CNimboImage& image) const
{
    return image.IsValid() && CanAddWithoutConversion(image.GetPixelType(), image.GetWidth(), image.GetHeight(),
                                                      image.GetPaddingX(), image.GetOrientation());
}

void CAviWriter::Add(const CNimboImage& image, EKeyFrameSelection keyFrameSelection)
{
    if (!image.IsValid())
        throwInvalidArgument("The image to add is not valid.");
    Add(image.GetBuffer(), image.GetImageSize(), image.GetPixelType(), image.GetWidth(), image.GetHeight(),
        image.GetPaddingX(), image.GetOrientation(), keyFrameSelection);
}

void CAviWriter::Add(const void* buffer, size_t bufferSize, EPixelType pixelType, uint32_t width, uint32_t height,
                     size_t paddingX, EImageOrientation orientation, EKeyFrameSelection keyFrameSelection)
{
    if (!IsOpen())
        throwRuntime("The AVI writer is not open.");
    if (!buffer)
        throwInvalidArgument("The frame buffer must not be null.");
    if (width != m_width || height != m_height)
        throwInvalidArgument("Frame of " + std::to_string(width) + " x " + std::to_string(height) +
                             " pixels added to an AVI file of " + std::to_string(m_width) + " x " +
                             std::to_string(m_height) + ".");
    const bool key = keyFrameSelection != KeyFrameSelection_NoKeyFrame;
    if (CanAddWithoutConversion(pixelType, width, height, paddingX, orientation)) {
        if (bufferSize < m_frameBytes)
            throwInvalidArgument("The frame buffer is smaller than its image.");
        writeFrame(static_cast<const uint8_t*>(buffer), m_frameBytes, key);
        return;
    }
    CImageFormatConverter converter;
    converter.SetOutputPixelFormat(m_pixelType);
    if (m_codec) {
        converter.SetOutputOrientation(OutputOrientation_TopDown);
        m_staging.resize(converter.GetBufferSizeForConversion(width, height));
        converter.Convert(m_staging.data(), m_staging.size(), buffer, bufferSize, pixelType, width, height, paddingX,
                          orientation);
        try {
            m_codec->Compress(m_staging.data(), m_staging.size(), m_encoded);
        } catch (const std::exception& e) {
            errno = 0;
            fail<AviWriterFatalException>(std::string("the codec failed: ") + e.what());
        }
        writeFrame(m_encoded.data(), m_encoded.size(), key);
        return;
    }
    if (m_mjpeg) {
        converter.SetOutputOrientation(OutputOrientation_TopDown);
        m_staging.resize(converter.GetBufferSizeForConversion(width, height));
        converter.Convert(m_staging.data(), m_staging.size(), buffer, bufferSize, pixelType, width, height, paddingX,
                          orientation);
        const JpegInput input = m_pixelType == PixelType_Mono8        ? JpegInput::Grey
                                : m_pixelType == PixelType_BGR8packed ? JpegInput::BGR
                                                                      : JpegInput::BGRA;
        std::string error;
        if (!encodeJpeg(m_staging.data(), ComputeStride(m_pixelType, width), width, height, input, m_quality, m_encoded,
                        error)) {
            errno = 0;
            fail<AviWriterFatalException>("the Motion JPEG codec failed: " + error);
        }
        writeFrame(m_encoded.data(), m_encoded.size(), key);
        return;
    }
    // DIB lines are padded to four bytes and stored in the file's line order.
    converter.SetOutputPaddingX(ComputePaddingX(dibStride(m_pixelType, width), m_pixelType, width));
    converter.SetOutputOrientation(m_orientation == ImageOrientation_TopDown ? OutputOrientation_TopDown
                                                                             : OutputOrientation_BottomUp);
    m_staging.resize(m_frameBytes);
    converter.Convert(m_staging.data(), m_staging.size(), buffer, bufferSize, pixelType, width, height, paddingX,
                      orientation);
    writeFrame(m_staging.data(), m_staging.size(), key);
}

void CAviWriter::AddEmptyFrames(uint64_t count)
{
    if (!IsOpen())
        throwRuntime("The AVI writer is not open.");
    // A chunk without data: readers advance the stream's time by one frame and show the frame before.
    for (uint64_t i = 0; i < count; ++i) {
        writeFrame(nullptr, 0, false);
        ++m_emptyFrames;
    }
}

void CAviWriter::writeFrame(const uint8_t* data, size_t size, bool key)
{
    // A plain AVI addresses everything with 32-bit offsets: refuse the frame that would break them.
    const uint64_t chunk = 8 + size + (size & 1);
    const uint64_t indexAfter = 8 + 16 * uint64_t(m_frames.size() + 1);
    if (m_position + chunk + indexAfter > 0xFFFFFFFFull) {
        errno = 0;
        Close();
        const std::string message = "AVI file '" + m_fileName + "': the file size limit of 4 GiB is reached.";
        throw AviWriterFatalException(message.c_str(), __FILE__, __LINE__);
    }
    std::vector<uint8_t> header;
    putFourCC(header, compressed() ? "00dc" : "00db");
    put32(header, uint32_t(size));
    const uint8_t pad = 0;
    errno = 0;
    if (!writeAt(m_position, {{header.data(), header.size()}, {data, size}, {&pad, size & 1}}))
        fail<AviWriterIoException>("cannot write frame " + std::to_string(m_frames.size() + 1));
    const uint32_t largestBefore = m_largestChunk;
    m_frames.push_back({uint32_t(m_position - uint64_t(m_moviStart)), uint32_t(size), key});
    m_position += chunk;
    m_dataBytes += size;
    m_largestChunk = std::max(m_largestChunk, uint32_t(size));
    // The frame is in the file before the headers count it. Counting every frame costs one small
    // write in place, and a recording killed at any moment, a pause included, leaves all its frames
    // counted.
    if (!writeCounts(m_position, false)) {
        // The headers still count the frames before it: the frame is taken off again.
        const int error = errno;
        m_frames.pop_back();
        m_position -= chunk;
        m_dataBytes -= size;
        m_largestChunk = largestBefore;
        errno = error;
        fail<AviWriterIoException>("cannot write the headers");
    }
    // A file removed meanwhile (its folder deleted) takes every frame with it: said at once, rather
    // than counting frames that no file holds.
    if (removed()) {
        errno = 0;
        fail<AviWriterIoException>("the file was removed");
    }
}

bool CAviWriter::removed() const
{
    struct stat status;
    return ::fstat(m_fd, &status) == 0 && status.st_nlink == 0;
}

void CAviWriter::Close()
{
    if (m_fd < 0)
        return;
    const int error = complete();
    const bool gone = removed();
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (gone) {
        errno = 0;
        fail<AviWriterIoException>("the file was removed");
    }
    if (error || !closed) {
        // The first failure's reason is the one to tell; closing after it may set another.
        errno = error ? error : errno;
        fail<AviWriterIoException>("cannot complete the file");
    }
}

} // namespace Nimbo
