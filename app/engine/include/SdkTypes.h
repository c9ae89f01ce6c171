// The camera SDK and GenICam types that the recording engine is built on.
//
// Each type comes from the platform's own header (GenICam base types, the SDK's pixel types, images,
// image persistence and AVI writer) as soon as the build has it. Until then a minimal local definition
// of what the recording needs keeps the engine building; each piece switches over on its own.
#pragma once

#include <cstddef>
#include <cstdint>

#if __has_include(<GenICam/GenICam.h>)
#include <GenICam/GenICam.h>
#define KALMUTH_LOCAL_GENICAM 0
#else
#define KALMUTH_LOCAL_GENICAM 1
#include <exception>
#include <string>

namespace GenICam {

// 8-bit text, as the SDK passes it.
class gcstring : public std::string {
public:
    using std::string::string;
    gcstring() = default;
    gcstring(const std::string& text) : std::string(text) {}
};

// Failure with a description, the source file and line that raised it and the type name.
class GenericException : public std::exception {
public:
    GenericException(const char* description, const char* sourceFile, unsigned int sourceLine,
                     const char* exceptionType = "GenericException");
    const char* GetDescription() const noexcept { return m_description.c_str(); }
    const char* GetSourceFileName() const noexcept { return m_sourceFile.c_str(); }
    unsigned int GetSourceLine() const noexcept { return m_sourceLine; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    std::string m_description;
    std::string m_sourceFile;
    unsigned int m_sourceLine;
    std::string m_what;
};

class RuntimeException : public GenericException {
public:
    RuntimeException(const char* description, const char* sourceFile, unsigned int sourceLine)
        : GenericException(description, sourceFile, sourceLine, "RuntimeException")
    {
    }
};

} // namespace GenICam
#endif

#if __has_include(<nimbo/PixelType.h>)
#include <nimbo/PixelType.h>
#define KALMUTH_LOCAL_PIXEL_TYPE 0
#else
#define KALMUTH_LOCAL_PIXEL_TYPE 1
namespace Nimbo {

// Pixel formats by their GenICam pixel-format code.
enum EPixelType {
    PixelType_Undefined = -1,
    PixelType_Mono8 = 0x01080001,
    PixelType_Mono16 = 0x01100007,
    PixelType_BayerRG8 = 0x01080009,
    PixelType_RGB8packed = 0x02180014,
    PixelType_BGR8packed = 0x02180015,
    PixelType_BGRA8packed = 0x02200017,
};

// Bits one pixel takes in memory; 0 for unknown types.
unsigned int BitPerPixel(EPixelType pixelType);

} // namespace Nimbo
#endif

#if __has_include(<nimbo/NimboImage.h>) && __has_include(<nimbo/ImagePersistence.h>)
#include <nimbo/ImagePersistence.h>
#include <nimbo/NimboImage.h>
#define KALMUTH_LOCAL_IMAGE 0
#else
#define KALMUTH_LOCAL_IMAGE 1
#include <vector>

namespace Nimbo {

enum EImageOrientation { ImageOrientation_TopDown = 0, ImageOrientation_BottomUp = 1 };

// An image that owns a deep copy of its pixels. Value type; not synchronised.
class CNimboImage {
public:
    CNimboImage() = default;
    void CopyBuffer(const void* buffer, size_t bufferSize, EPixelType pixelType, uint32_t width, uint32_t height,
                    size_t paddingX, EImageOrientation orientation = ImageOrientation_TopDown);
    void Release();
    bool IsValid() const { return !m_data.empty(); }
    const void* GetBuffer() const { return m_data.data(); }
    size_t GetImageSize() const { return m_data.size(); }
    EPixelType GetPixelType() const { return m_pixelType; }
    uint32_t GetWidth() const { return m_width; }
    uint32_t GetHeight() const { return m_height; }
    size_t GetPaddingX() const { return m_paddingX; }
    EImageOrientation GetOrientation() const { return m_orientation; }

private:
    std::vector<uint8_t> m_data;
    EPixelType m_pixelType = PixelType_Undefined;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    size_t m_paddingX = 0;
    EImageOrientation m_orientation = ImageOrientation_TopDown;
};

enum EImageFileFormat { ImageFileFormat_Bmp = 0, ImageFileFormat_Tiff = 1 };

class CImagePersistenceOptions;

// Saving of single images; throws GenICam::RuntimeException on failure.
class CImagePersistence {
public:
    static void Save(EImageFileFormat format, const GenICam::gcstring& fileName, const void* buffer, size_t bufferSize,
                     EPixelType pixelType, uint32_t width, uint32_t height, size_t paddingX,
                     EImageOrientation orientation, CImagePersistenceOptions* options = nullptr);
};

} // namespace Nimbo
#endif

#if __has_include(<nimbo/AviWriter.h>)
#include <nimbo/AviWriter.h>
#else
namespace Nimbo {

// Video for Windows compression settings as the AVI writer takes them (56 bytes on x86-64).
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

// The AVI writer's compression record (72 bytes): codec choice data, then the VfW options.
struct SAviCompressionOptions {
    uint64_t handler = 0;
    bool autoKeyFrames = false;
    bool autoDataRate = false;
    uint32_t dataRate = 20;
    AviCompressOptions compressionOptions{};
};

} // namespace Nimbo
#endif

static_assert(sizeof(Nimbo::SAviCompressionOptions) == 72, "the compression record is persisted as 72 bytes");
