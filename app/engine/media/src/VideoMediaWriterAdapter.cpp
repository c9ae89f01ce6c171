// The media writer of MP4 recordings: file naming and the translation of encoder failures.
#include "VideoMediaWriterAdapter.h"

#include "MediaWriterExceptions.h"
#include "VideoEncoder.h"

namespace {
const char* const sourceFile = "VideoMediaWriterAdapter.cpp";
}

CVideoMediaWriterAdapter::CVideoMediaWriterAdapter(const GenICam::gcstring& libavFolder, double fpsPlaybackRate,
                                                   Nimbo::EPixelType pixelType, uint32_t width, uint32_t height,
                                                   int32_t codecId, int64_t bitRate)
    : m_encoder(std::make_unique<VideoEncoder>(codecId, fpsPlaybackRate, bitRate)), m_fpsPlaybackRate(fpsPlaybackRate),
      m_pixelType(pixelType), m_width(width), m_height(height), m_libavFolder(libavFolder)
{
}

CVideoMediaWriterAdapter::~CVideoMediaWriterAdapter()
{
    // The encoder's destructor closes an open file.
    m_encoder.reset();
}

void CVideoMediaWriterAdapter::open(const GenICam::gcstring& baseName)
{
    const std::string fileName = std::string(baseName.c_str()) + ".mp4";
    try {
        m_encoder->open(m_libavFolder.c_str(), fileName.c_str(), m_width, m_height, m_pixelType);
    } catch (const GenICam::GenericException& e) {
        // Every reason a recording cannot start reaches the user's message, not only the log. Other
        // exceptions (a thread count that is no number) carry no words for the user and pass on.
        throwFatalMediaWriterException(sourceFile, __LINE__, "%s", e.GetDescription());
    }
}

bool CVideoMediaWriterAdapter::isOpen() const
{
    return m_encoder->isOpen();
}

void CVideoMediaWriterAdapter::close()
{
    m_encoder->close();
}

void CVideoMediaWriterAdapter::add(const Nimbo::CNimboImage& image)
{
    addSampled(image, UINT64_MAX, 0);
}

void CVideoMediaWriterAdapter::addSampled(const Nimbo::CNimboImage& image, uint64_t sample, uint32_t)
{
    if (!image.IsValid())
        throwFatalMediaWriterException(sourceFile, __LINE__, "%s",
                                       "Cannot write video frame. The passed image is invalid.");
    // Beyond what a time can hold, the place is the one after the frame before.
    const int64_t place = sample > uint64_t(INT64_MAX) ? -1 : int64_t(sample);
    addFrame(image.GetBuffer(), image.GetImageSize(), image.GetPixelType(), image.GetWidth(), image.GetHeight(),
             image.GetPaddingX(), image.GetOrientation() == Nimbo::ImageOrientation_BottomUp, place);
}

void CVideoMediaWriterAdapter::add(const void* buffer, size_t bufferSize, Nimbo::EPixelType pixelType, uint32_t width,
                                   uint32_t height, uint32_t paddingX)
{
    addFrame(buffer, bufferSize, pixelType, width, height, paddingX, false);
}

void CVideoMediaWriterAdapter::addFrame(const void* buffer, size_t bufferSize, Nimbo::EPixelType pixelType,
                                        uint32_t width, uint32_t height, size_t paddingX, bool bottomUp, int64_t place)
{
    try {
        m_encoder->addFrame(buffer, bufferSize, pixelType, width, height, paddingX, bottomUp, place);
    } catch (const GenICam::InvalidArgumentException& e) {
        // A frame that does not fit the recording ends it; libav failures pass unchanged.
        throwFatalMediaWriterException(sourceFile, __LINE__, "%s", e.GetDescription());
    }
}

bool CVideoMediaWriterAdapter::acceptsImageAsIs(const Nimbo::CNimboImage&) const
{
    return false;
}

bool CVideoMediaWriterAdapter::acceptsBufferAsIs(Nimbo::EPixelType, uint32_t, uint32_t, uint32_t) const
{
    return false;
}

uint32_t CVideoMediaWriterAdapter::imageCount() const
{
    return static_cast<uint32_t>(m_encoder->imageCount());
}

uint64_t CVideoMediaWriterAdapter::bytesWritten() const
{
    return m_encoder->bytesWritten();
}
