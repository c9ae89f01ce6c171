// Image files: BMP and TIFF written here, PNG through libpng, JPEG through libjpeg.
#include <nimbo/ImagePersistence.h>

#include <nimbo/ImageFormatConverter.h>

#include "BitmapInfo.h"
#include "Errors.h"
#include "JpegCodec.h"
#include "LittleEndian.h"

#include <fcntl.h>
#include <limits.h>
#include <png.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace Nimbo {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const
    {
        if (file)
            std::fclose(file);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// What a file stores: 8-bit grey, 16-bit grey (little-endian words in memory) or 8-bit colour.
enum class Stored { Grey8, Grey16, RGB8, BGR8 };

// A picture in the layout a file writer wants; its lines lie bottom-up in memory when bottomUp is set.
struct Picture {
    const uint8_t* pixels = nullptr;
    size_t stride = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    Stored stored = Stored::Grey8;
    bool bottomUp = false;

    // Line y counted from the top of the picture.
    const uint8_t* line(uint32_t y) const { return pixels + size_t(bottomUp ? height - 1 - y : y) * stride; }
};

// A new file written through its descriptor; the writes go on after a short write or a signal.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // Creates (or truncates) the file; false with errno set on failure.
    bool create(const std::string& fileName)
    {
        m_fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        m_created = m_fd >= 0;
        return m_created;
    }

    // Whether the name is this file's: what stood there before could be written over, or nothing did.
    bool created() const { return m_created; }

    bool write(const void* data, size_t size)
    {
        iovec piece{const_cast<void*>(data), size};
        return writeAll(&piece, 1);
    }

    // Writes every piece (their bases and lengths are used up on the way); false with errno set.
    bool writeAll(iovec* pieces, size_t count)
    {
        size_t next = 0;
        while (next < count) {
            if (pieces[next].iov_len == 0) {
                ++next;
                continue;
            }
            const int now = int(std::min<size_t>(count - next, IOV_MAX));
            const ssize_t written = ::writev(m_fd, pieces + next, now);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            // A short write leaves the rest of a piece for the next call.
            size_t left = size_t(written);
            while (next < count && left >= pieces[next].iov_len)
                left -= pieces[next++].iov_len;
            if (left > 0) {
                pieces[next].iov_base = static_cast<uint8_t*>(pieces[next].iov_base) + left;
                pieces[next].iov_len -= left;
            }
        }
        return true;
    }

    // Closes the file; false with errno set when the system reports a failure at the close.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd >= 0 && ::close(fd) == 0;
    }

    // Closes the file after writing that succeeded or not (`written`); false when either failed, with
    // errno of the first failure.
    bool finish(bool written)
    {
        const int error = errno;
        const bool closed = close();
        if (!written)
            errno = error;
        return written && closed;
    }

private:
    int m_fd = -1;
    bool m_created = false;
};

// The pieces of one file, written with as few system calls as the system takes: lines that follow each
// other in memory become one piece, and writev takes up to IOV_MAX pieces a call.
class GatheredFile {
public:
    void add(const void* data, size_t size)
    {
        if (size == 0)
            return;
        auto* bytes = static_cast<uint8_t*>(const_cast<void*>(data));
        if (!m_pieces.empty()) {
            iovec& last = m_pieces.back();
            if (static_cast<uint8_t*>(last.iov_base) + last.iov_len == bytes) {
                last.iov_len += size;
                return;
            }
        }
        m_pieces.push_back(iovec{bytes, size});
    }

    // Creates (or truncates) `file` under the name and writes every piece; false with errno set on failure.
    bool write(OutputFile& file, const std::string& fileName)
    {
        return file.create(fileName) && file.finish(file.writeAll(m_pieces.data(), m_pieces.size()));
    }

private:
    std::vector<iovec> m_pieces;
};

bool isWordMono(EPixelType type)
{
    return type == PixelType_Mono10 || type == PixelType_Mono12 || type == PixelType_Mono16;
}

Stored storedFor(EImageFileFormat format, EPixelType type)
{
    const bool mono = IsMonoImage(type);
    switch (format) {
    case ImageFileFormat_Bmp: return mono ? Stored::Grey8 : Stored::BGR8;
    case ImageFileFormat_Tiff:
    case ImageFileFormat_Png:
        if (isWordMono(type))
            return Stored::Grey16;
        return mono ? Stored::Grey8 : Stored::RGB8;
    default: return mono ? Stored::Grey8 : Stored::RGB8;
    }
}

EPixelType typeOf(Stored stored)
{
    switch (stored) {
    case Stored::Grey8: return PixelType_Mono8;
    case Stored::RGB8: return PixelType_RGB8packed;
    case Stored::BGR8: return PixelType_BGR8packed;
    case Stored::Grey16: break;
    }
    return PixelType_Mono16;
}

// A file the save created, or wrote over, and could not finish is taken away. A name it could not open
// for writing at all is not its own (a folder, a read-only file stand there) and is left as it is.
[[noreturn]] void writeFailed(const std::string& fileName, const std::string& reason, bool created)
{
    if (created)
        std::remove(fileName.c_str());
    throwRuntime("Could not write the image file '" + fileName + "': " + reason);
}

using detail::BitmapInfo;
using detail::bitmapInfoBytes;
using detail::put16;
using detail::put32;
using detail::putBitmapInfo;

// What a BMP or TIFF file holds before its lines, how many bytes a line takes in the file (padding
// included) and whether the file keeps its lines bottom-up.
struct FileLayout {
    std::vector<uint8_t> header;
    size_t lineBytes = 0;
    bool bottomUp = false;
};

FileLayout bmpLayout(uint32_t width, uint32_t height, Stored stored)
{
    const bool grey = stored == Stored::Grey8;
    const uint32_t bytesPerPixel = grey ? 1 : 3;
    const uint64_t lineBytes = (uint64_t(width) * bytesPerPixel + 3) / 4 * 4;
    const uint64_t dataBytes = lineBytes * height;
    const uint64_t fileBytes = 14 + bitmapInfoBytes(grey) + dataBytes;
    if (fileBytes > 0xFFFFFFFFu || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu)
        throwInvalidArgument("The image is too large for a BMP file.");

    FileLayout layout;
    layout.lineBytes = size_t(lineBytes);
    layout.bottomUp = true; // a positive height: bottom-up lines, which every reader takes
    std::vector<uint8_t>& header = layout.header;
    header.reserve(14 + bitmapInfoBytes(grey));
    header.push_back('B');
    header.push_back('M');
    put32(header, uint32_t(fileBytes));
    put32(header, 0);
    put32(header, 14 + bitmapInfoBytes(grey));
    BitmapInfo info;
    info.width = width;
    info.height = int32_t(height);
    info.bitsPerPixel = uint16_t(bytesPerPixel * 8);
    info.imageBytes = uint32_t(dataBytes);
    info.pixelsPerMetre = 2835; // 72 dpi
    info.greyPalette = grey;
    putBitmapInfo(header, info);
    return layout;
}

// A baseline TIFF of one uncompressed strip. Fields are little-endian ("II"), which is also the order
// 16-bit samples have in memory on the little-endian machines this runs on.
FileLayout tiffLayout(uint32_t width, uint32_t height, Stored stored)
{
    const bool grey = stored != Stored::RGB8;
    const uint16_t bits = stored == Stored::Grey16 ? 16 : 8;
    const uint16_t samples = grey ? 1 : 3;
    const size_t lineBytes = size_t(width) * samples * (bits / 8);
    const uint64_t dataBytes = uint64_t(lineBytes) * height;
    if (dataBytes > 0xFFFFFF00u)
        throwInvalidArgument("The image is too large for a TIFF file.");

    enum : uint16_t { Short = 3, Long = 4 };
    constexpr uint32_t kEntries = 11;
    constexpr uint32_t kDirectory = 8;
    constexpr uint32_t kDirectoryBytes = 2 + kEntries * 12 + 4;
    // Three samples' bit counts do not fit into their entry and follow the directory.
    const uint32_t bitsAt = kDirectory + kDirectoryBytes;
    const uint32_t dataAt = bitsAt + (samples > 1 ? 2u * samples : 0u);

    FileLayout layout;
    layout.lineBytes = lineBytes;
    std::vector<uint8_t>& header = layout.header;
    header.reserve(dataAt);
    header.push_back('I');
    header.push_back('I');
    put16(header, 42);
    put32(header, kDirectory);
    put16(header, kEntries);
    // Entries in ascending tag order; a SHORT value sits in the entry's first two bytes.
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        put16(header, tag);
        put16(header, type);
        put32(header, count);
        if (type == Short && count == 1) {
            put16(header, value);
            put16(header, 0);
        } else {
            put32(header, value);
        }
    };
    entry(256, Long, 1, width);                                // ImageWidth
    entry(257, Long, 1, height);                               // ImageLength
    entry(258, Short, samples, samples > 1 ? bitsAt : bits);   // BitsPerSample
    entry(259, Short, 1, 1);                                   // Compression: none
    entry(262, Short, 1, grey ? 1 : 2);                        // Photometric: black is zero, or RGB
    entry(273, Long, 1, dataAt);                               // StripOffsets
    entry(274, Short, 1, 1);                                   // Orientation: top left
    entry(277, Short, 1, samples);                             // SamplesPerPixel
    entry(278, Long, 1, height);                               // RowsPerStrip
    entry(279, Long, 1, uint32_t(dataBytes));                  // StripByteCounts
    entry(284, Short, 1, 1);                                   // PlanarConfiguration: contiguous
    put32(header, 0);                                          // no further directory
    for (uint16_t i = 0; samples > 1 && i < samples; ++i)
        put16(header, bits);
    return layout;
}

// A BMP or TIFF file of a picture already in the stored form: the header and the lines in the file's
// order, each followed by its padding, with one gathering write (lines that follow each other in memory
// in the file's order become one piece, so no line is copied).
void saveLines(const std::string& fileName, const Picture& picture, const FileLayout& layout)
{
    static const uint8_t zeros[4] = {0, 0, 0, 0};
    const size_t pixelBytes = ComputeStride(typeOf(picture.stored), picture.width);
    GatheredFile pieces;
    pieces.add(layout.header.data(), layout.header.size());
    for (uint32_t i = 0; i < picture.height; ++i) {
        pieces.add(picture.line(layout.bottomUp ? picture.height - 1 - i : i), pixelBytes);
        pieces.add(zeros, layout.lineBytes - pixelBytes);
    }
    OutputFile file;
    if (!pieces.write(file, fileName))
        writeFailed(fileName, std::strerror(errno), file.created());
}

FileLayout layoutFor(EImageFileFormat format, uint32_t width, uint32_t height, Stored stored)
{
    return format == ImageFileFormat_Bmp ? bmpLayout(width, height, stored) : tiffLayout(width, height, stored);
}

// Whether a converter turns each line into its stored form from that line alone: not so for Bayer
// patterns, which read the lines around, nor for planar types, whose planes lie a whole image apart.
bool convertsLineByLine(EPixelType type)
{
    return GetPixelColorFilter(type) == PCF_Undefined && !IsPlanar(type);
}

// A BMP or TIFF file of an image that needs converting, converted and written a band of lines at a time:
// the converted band is still in the processor's cache when the write copies it into the file, so the
// frame crosses memory once on its way to the file instead of three times through a whole converted
// copy.
void saveConvertedBands(EImageFileFormat format, const std::string& fileName, const CNimboImage& source, Stored stored)
{
    const uint32_t width = source.GetWidth();
    const uint32_t height = source.GetHeight();
    const FileLayout layout = layoutFor(format, width, height, stored);
    const EPixelType storedType = typeOf(stored);
    CImageFormatConverter converter;
    converter.SetOutputPixelFormat(storedType);
    // The file's line padding is the converter's output padding, zeroed once and left alone by it.
    converter.SetOutputPaddingX(layout.lineBytes - ComputeStride(storedType, width));
    converter.SetOutputOrientation(layout.bottomUp ? OutputOrientation_BottomUp : OutputOrientation_TopDown);
    converter.SetThreadCount(1); // a band is too small to share; a recorder saves on several threads instead

    constexpr size_t kBandBytes = 128 * 1024;
    const uint32_t bandLines = uint32_t(std::min<size_t>(height, std::max<size_t>(1, kBandBytes / layout.lineBytes)));
    // Reused from file to file by the thread that saves a sequence.
    thread_local std::vector<uint8_t> band;
    band.assign(size_t(bandLines) * layout.lineBytes, 0);

    const auto* pixels = static_cast<const uint8_t*>(source.GetBuffer());
    const size_t stride = source.GetStride();
    const bool sourceBottomUp = source.GetOrientation() == ImageOrientation_BottomUp;
    OutputFile file;
    bool ok = file.create(fileName) && file.write(layout.header.data(), layout.header.size());
    // Bands in the file's order; a band holds the picture's lines [first, first + lines).
    try {
        for (uint32_t done = 0; ok && done < height;) {
            const uint32_t lines = std::min(bandLines, height - done);
            const uint32_t first = layout.bottomUp ? height - done - lines : done;
            // Where those lines start in the source's memory, whose line order may differ from the picture's.
            const size_t offset = size_t(sourceBottomUp ? height - first - lines : first) * stride;
            converter.Convert(band.data(), band.size(), pixels + offset, source.GetImageSize() - offset,
                              source.GetPixelType(), width, lines, source.GetPaddingX(), source.GetOrientation());
            ok = file.write(band.data(), size_t(lines) * layout.lineBytes);
            done += lines;
        }
    } catch (...) {
        // No half-written file is left behind.
        file.close();
        if (file.created())
            std::remove(fileName.c_str());
        throw;
    }
    if (!file.finish(ok))
        writeFailed(fileName, std::strerror(errno), file.created());
}

struct PngState {
    std::jmp_buf jump;
    char message[256];
};

void onPngError(png_structp png, png_const_charp message)
{
    auto* state = static_cast<PngState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message);
    std::longjmp(state->jump, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// Kept free of objects with destructors, as libpng leaves it through longjmp on an error.
bool writePng(std::FILE* file, const Picture& picture, const uint8_t* const* rows, PngState& state)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, onPngError, onPngWarning);
    if (!png) {
        std::snprintf(state.message, sizeof state.message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(state.jump)) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    const int bits = picture.stored == Stored::Grey16 ? 16 : 8;
    const int colour = picture.stored == Stored::RGB8 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY;
    png_set_IHDR(png, info, picture.width, picture.height, bits, colour, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (bits == 16)
        png_set_swap(png); // memory holds little-endian words, PNG wants big-endian
    for (uint32_t y = 0; y < picture.height; ++y)
        png_write_row(png, const_cast<png_bytep>(rows[y]));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

void savePng(const std::string& fileName, const Picture& picture)
{
    if (picture.width > 0x7FFFFFFFu || picture.height > 0x7FFFFFFFu)
        throwInvalidArgument("The image is too large for a PNG file.");
    std::vector<const uint8_t*> rows(picture.height);
    for (uint32_t y = 0; y < picture.height; ++y)
        rows[y] = picture.line(y);
    FilePtr file(std::fopen(fileName.c_str(), "wb"));
    if (!file)
        writeFailed(fileName, std::strerror(errno), false);
    PngState state{};
    bool ok = writePng(file.get(), picture, rows.data(), state);
    const bool closed = std::fclose(file.release()) == 0;
    if (!ok || !closed)
        writeFailed(fileName, ok ? "write error" : state.message, true);
}

void saveJpeg(const std::string& fileName, const Picture& picture, int quality)
{
    std::vector<uint8_t> data;
    std::string error;
    const JpegInput input = picture.stored == Stored::Grey8 ? JpegInput::Grey : JpegInput::RGB;
    if (!encodeJpeg(picture.pixels, picture.stride, picture.width, picture.height, input, quality, data, error))
        throwInvalidArgument("Could not compress the image as JPEG: " + error);
    FilePtr file(std::fopen(fileName.c_str(), "wb"));
    if (!file)
        writeFailed(fileName, std::strerror(errno), false);
    const bool ok = std::fwrite(data.data(), 1, data.size(), file.get()) == data.size();
    if (!ok || std::fclose(file.release()) != 0)
        writeFailed(fileName, "write error", true);
}

} // namespace

bool CImagePersistence::IsSupportedFormat(EImageFileFormat format)
{
    return format == ImageFileFormat_Bmp || format == ImageFileFormat_Tiff || format == ImageFileFormat_Jpeg ||
           format == ImageFileFormat_Png;
}

bool CImagePersistence::CanSaveWithoutConversion(EImageFileFormat format, EPixelType pixelType)
{
    if (!IsSupportedFormat(format) || !IsValidPixelType(pixelType))
        return false;
    const Stored stored = storedFor(format, pixelType);
    return stored == Stored::Grey16 ? isWordMono(pixelType) : typeOf(stored) == pixelType;
}

void CImagePersistence::Save(EImageFileFormat format, const GenICam::gcstring& fileName, const void* buffer,
                             size_t bufferSize, EPixelType pixelType, uint32_t width, uint32_t height, size_t paddingX,
                             EImageOrientation orientation, CImagePersistenceOptions* options)
{
    if (!IsSupportedFormat(format))
        throwInvalidArgument("Unknown image file format " + std::to_string(int(format)) + ".");
    if (fileName.empty())
        throwInvalidArgument("The file name must not be empty.");
    if (width == 0 || height == 0)
        throwInvalidArgument("An image file cannot hold an empty image.");
    if (!CImageFormatConverter::IsSupportedInputFormat(pixelType))
        throwInvalidArgument("Cannot save images of pixel type " + std::to_string(int32_t(pixelType)) + ".");
    CNimboImage source; // checks the buffer against the layout
    source.AttachUserBuffer(const_cast<void*>(buffer), bufferSize, pixelType, width, height, paddingX, orientation);

    const Stored stored = storedFor(format, pixelType);
    CNimboImage converted;
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.stored = stored;
    if (stored == Stored::Grey16 || typeOf(stored) == pixelType) {
        // Mono10/12/16 lines and already fitting lines are written from the buffer itself, in either line
        // order and with any padding; only the JPEG encoder wants them top-down in memory.
        if (orientation == ImageOrientation_TopDown || format != ImageFileFormat_Jpeg) {
            picture.pixels = static_cast<const uint8_t*>(source.GetBuffer());
            picture.stride = source.GetStride();
            picture.bottomUp = orientation == ImageOrientation_BottomUp;
        } else {
            converted.Reset(pixelType, width, height);
            for (uint32_t y = 0; y < height; ++y)
                std::memcpy(static_cast<uint8_t*>(converted.GetBuffer()) + size_t(y) * converted.GetStride(),
                            source.GetLine(y), converted.GetStride());
            picture.pixels = static_cast<const uint8_t*>(converted.GetBuffer());
            picture.stride = converted.GetStride();
        }
    } else if ((format == ImageFileFormat_Bmp || format == ImageFileFormat_Tiff) && convertsLineByLine(pixelType)) {
        saveConvertedBands(format, fileName.c_str(), source, stored);
        return;
    } else {
        // PNG and JPEG files, and Bayer or planar images, are converted whole. A sequence recorder saves
        // frame after frame on one thread: the converted picture reuses that thread's memory instead of
        // allocating (and clearing) a new frame each time. BMP lines are converted bottom-up, the order
        // the file keeps them in.
        thread_local std::vector<uint8_t> scratch;
        const bool bottomUp = format == ImageFileFormat_Bmp;
        CImageFormatConverter converter;
        converter.SetOutputPixelFormat(typeOf(stored));
        converter.SetOutputOrientation(bottomUp ? OutputOrientation_BottomUp : OutputOrientation_TopDown);
        scratch.resize(converter.GetBufferSizeForConversion(width, height));
        converter.Convert(scratch.data(), scratch.size(), source.GetBuffer(), source.GetImageSize(), pixelType, width,
                          height, paddingX, orientation);
        picture.pixels = scratch.data();
        picture.stride = ComputeStride(typeOf(stored), width);
        picture.bottomUp = bottomUp;
    }

    const std::string name = fileName.c_str();
    switch (format) {
    case ImageFileFormat_Bmp:
    case ImageFileFormat_Tiff: saveLines(name, picture, layoutFor(format, width, height, stored)); break;
    case ImageFileFormat_Png: savePng(name, picture); break;
    case ImageFileFormat_Jpeg: saveJpeg(name, picture, options ? options->GetQuality() : 90); break;
    }
}

void CImagePersistence::Save(EImageFileFormat format, const GenICam::gcstring& fileName, const CNimboImage& image,
                             CImagePersistenceOptions* options)
{
    if (!image.IsValid())
        throwInvalidArgument("The image to save is not valid.");
    Save(format, fileName, image.GetBuffer(), image.GetImageSize(), image.GetPixelType(), image.GetWidth(),
         image.GetHeight(), image.GetPaddingX(), image.GetOrientation(), options);
}

} // namespace Nimbo
