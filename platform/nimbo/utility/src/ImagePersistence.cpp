// Image files: BMP and TIFF written here, PNG through libpng, JPEG through libjpeg.
#include <nimbo/ImagePersistence.h>

#include <nimbo/ImageFormatConverter.h>

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

    // Creates (or truncates) the file and writes every piece; false with errno set on failure.
    bool write(const std::string& fileName)
    {
        const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0)
            return false;
        bool ok = writeAll(fd);
        const int error = errno;
        if (::close(fd) != 0 && ok)
            return false;
        errno = error;
        return ok;
    }

private:
    bool writeAll(int fd)
    {
        size_t next = 0;
        while (next < m_pieces.size()) {
            const int count = int(std::min<size_t>(m_pieces.size() - next, IOV_MAX));
            const ssize_t written = ::writev(fd, m_pieces.data() + next, count);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            // A short write leaves the rest of a piece for the next call.
            size_t left = size_t(written);
            while (next < m_pieces.size() && left >= m_pieces[next].iov_len)
                left -= m_pieces[next++].iov_len;
            if (left > 0) {
                m_pieces[next].iov_base = static_cast<uint8_t*>(m_pieces[next].iov_base) + left;
                m_pieces[next].iov_len -= left;
            }
        }
        return true;
    }

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

[[noreturn]] void writeFailed(const std::string& fileName, const std::string& reason)
{
    std::remove(fileName.c_str());
    throwRuntime("Could not write the image file '" + fileName + "': " + reason);
}

using detail::put16;
using detail::put32;

void saveBmp(const std::string& fileName, const Picture& picture)
{
    const bool grey = picture.stored == Stored::Grey8;
    const uint32_t bytesPerPixel = grey ? 1 : 3;
    const uint64_t lineBytes = (uint64_t(picture.width) * bytesPerPixel + 3) / 4 * 4;
    const uint32_t paletteBytes = grey ? 256 * 4 : 0;
    const uint64_t dataBytes = lineBytes * picture.height;
    const uint64_t fileBytes = 14 + 40 + paletteBytes + dataBytes;
    if (fileBytes > 0xFFFFFFFFu || picture.width > 0x7FFFFFFFu || picture.height > 0x7FFFFFFFu)
        throwInvalidArgument("The image is too large for a BMP file.");

    std::vector<uint8_t> header;
    header.reserve(14 + 40 + paletteBytes);
    header.push_back('B');
    header.push_back('M');
    put32(header, uint32_t(fileBytes));
    put32(header, 0);
    put32(header, 14 + 40 + paletteBytes);
    put32(header, 40);
    put32(header, picture.width);
    put32(header, picture.height); // positive: bottom-up lines, which every reader takes
    put16(header, 1);
    put16(header, uint16_t(bytesPerPixel * 8));
    put32(header, 0); // no compression
    put32(header, uint32_t(dataBytes));
    put32(header, 2835); // 72 dpi
    put32(header, 2835);
    put32(header, grey ? 256 : 0);
    put32(header, 0);
    if (grey) {
        for (uint32_t i = 0; i < 256; ++i)
            put32(header, i | i << 8 | i << 16);
    }

    // Lines go to the file bottom-up, each followed by its padding to four bytes; a picture already
    // stored bottom-up without padding is one piece.
    static const uint8_t zeros[4] = {0, 0, 0, 0};
    const size_t pixelBytes = size_t(picture.width) * bytesPerPixel;
    GatheredFile file;
    file.add(header.data(), header.size());
    for (uint32_t y = picture.height; y-- > 0;) {
        file.add(picture.line(y), pixelBytes);
        file.add(zeros, size_t(lineBytes - pixelBytes));
    }
    if (!file.write(fileName))
        writeFailed(fileName, std::strerror(errno));
}

// A baseline TIFF of one uncompressed strip: the header, one directory and the lines, written with one
// gathering write (lines that do not lie top-down one after the other become pieces of their own, so
// no line is copied). Fields are little-endian ("II"), which is also the order 16-bit samples have in
// memory on the little-endian machines this runs on.
void saveTiff(const std::string& fileName, const Picture& picture)
{
    const bool grey = picture.stored != Stored::RGB8;
    const uint16_t bits = picture.stored == Stored::Grey16 ? 16 : 8;
    const uint16_t samples = grey ? 1 : 3;
    const size_t lineBytes = size_t(picture.width) * samples * (bits / 8);
    const uint64_t dataBytes = uint64_t(lineBytes) * picture.height;
    if (dataBytes > 0xFFFFFF00u)
        throwInvalidArgument("The image is too large for a TIFF file.");

    enum : uint16_t { Short = 3, Long = 4 };
    constexpr uint32_t kEntries = 11;
    constexpr uint32_t kDirectory = 8;
    constexpr uint32_t kDirectoryBytes = 2 + kEntries * 12 + 4;
    // Three samples' bit counts do not fit into their entry and follow the directory.
    const uint32_t bitsAt = kDirectory + kDirectoryBytes;
    const uint32_t dataAt = bitsAt + (samples > 1 ? 2u * samples : 0u);

    std::vector<uint8_t> header;
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
    entry(256, Long, 1, picture.width);                        // ImageWidth
    entry(257, Long, 1, picture.height);                       // ImageLength
    entry(258, Short, samples, samples > 1 ? bitsAt : bits);   // BitsPerSample
    entry(259, Short, 1, 1);                                   // Compression: none
    entry(262, Short, 1, grey ? 1 : 2);                        // Photometric: black is zero, or RGB
    entry(273, Long, 1, dataAt);                               // StripOffsets
    entry(274, Short, 1, 1);                                   // Orientation: top left
    entry(277, Short, 1, samples);                             // SamplesPerPixel
    entry(278, Long, 1, picture.height);                       // RowsPerStrip
    entry(279, Long, 1, uint32_t(dataBytes));                  // StripByteCounts
    entry(284, Short, 1, 1);                                   // PlanarConfiguration: contiguous
    put32(header, 0);                                          // no further directory
    for (uint16_t i = 0; samples > 1 && i < samples; ++i)
        put16(header, bits);

    GatheredFile file;
    file.add(header.data(), header.size());
    for (uint32_t y = 0; y < picture.height; ++y)
        file.add(picture.line(y), lineBytes);
    if (!file.write(fileName))
        writeFailed(fileName, std::strerror(errno));
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
        writeFailed(fileName, std::strerror(errno));
    PngState state{};
    bool ok = writePng(file.get(), picture, rows.data(), state);
    const bool closed = std::fclose(file.release()) == 0;
    if (!ok || !closed)
        writeFailed(fileName, ok ? "write error" : state.message);
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
        writeFailed(fileName, std::strerror(errno));
    const bool ok = std::fwrite(data.data(), 1, data.size(), file.get()) == data.size();
    if (!ok || std::fclose(file.release()) != 0)
        writeFailed(fileName, "write error");
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
    } else {
        // A sequence recorder saves frame after frame on one thread: the converted picture reuses that
        // thread's memory instead of allocating (and clearing) a new frame each time. BMP lines are
        // converted bottom-up, the order the file keeps them in.
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
    case ImageFileFormat_Bmp: saveBmp(name, picture); break;
    case ImageFileFormat_Tiff: saveTiff(name, picture); break;
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
