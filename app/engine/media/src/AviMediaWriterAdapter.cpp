// The media writer of AVI recordings: the pixel type that the codec takes, the file-size limit and
// the translation of the SDK writer's fatal failures.
#include "AviMediaWriterAdapter.h"

#include "MediaWriterExceptions.h"

#include <nimbo/AviWriter.h>

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <algorithm>

namespace {

const char* const sourceFile = "avimediawriteradapter.cpp";

struct Candidate {
    Nimbo::EPixelType type;
    const char* name;
};

const Candidate monoCandidates[] = {{Nimbo::PixelType_Mono8, "Nimbo::PixelType_Mono8"},
                                    {Nimbo::PixelType_BGR8packed, "Nimbo::PixelType_BGR8packed"},
                                    {Nimbo::PixelType_BGRA8packed, "Nimbo::PixelType_BGRA8packed"}};
const Candidate colourCandidates[] = {{Nimbo::PixelType_BGR8packed, "Nimbo::PixelType_BGR8packed"},
                                      {Nimbo::PixelType_Mono8, "Nimbo::PixelType_Mono8"},
                                      {Nimbo::PixelType_BGRA8packed, "Nimbo::PixelType_BGRA8packed"}};

} // namespace

CAviMediaWriterAdapter::CAviMediaWriterAdapter(double fpsPlaybackRate, Nimbo::EPixelType pixelType, uint32_t width,
                                               uint32_t height, int32_t orientation,
                                               const Nimbo::SAviCompressionOptions* compressionOptions,
                                               uint64_t sizeLimit)
    : m_writer(std::make_unique<Nimbo::CAviWriter>()), m_fpsPlaybackRate(fpsPlaybackRate), m_pixelType(pixelType),
      m_chosenPixelType(Nimbo::PixelType_Undefined), m_width(width), m_height(height), m_orientation(orientation),
      m_compressionRecord(compressionOptions ? *compressionOptions : Nimbo::SAviCompressionOptions{}),
      m_compressionOptions(compressionOptions ? &m_compressionRecord : nullptr), m_sizeLimit(sizeLimit)
{
}

CAviMediaWriterAdapter::~CAviMediaWriterAdapter()
{
    try {
        if (m_writer->IsOpen())
            m_writer->Close();
    } catch (...) {
        // The file stays as far as it was written; a destructor reports nothing.
    }
}

void CAviMediaWriterAdapter::open(const GenICam::gcstring& baseName)
{
    const std::string fileName = std::string(baseName.c_str()) + ".avi";
    m_chosenPixelType = choosePixelType();
    m_limitReached = false;
    try {
        m_writer->Open(fileName, m_fpsPlaybackRate, m_chosenPixelType, m_width, m_height,
                       static_cast<Nimbo::EImageOrientation>(m_orientation), m_compressionOptions);
    } catch (const Nimbo::AviWriterFatalException& e) {
        throwFatalMediaWriterException(sourceFile, __LINE__, "%s", e.GetDescription());
    } catch (const GenICam::InvalidArgumentException& e) {
        // A size or rate the file cannot hold ends the start like the writer's own failures, so that
        // its reason reaches the user.
        throwFatalMediaWriterException(sourceFile, __LINE__, "%s", e.GetDescription());
    }
    m_imageCount = 0;
    m_bytesWritten = 0;
    m_nextSample = 0;
}

Nimbo::EPixelType CAviMediaWriterAdapter::choosePixelType() const
{
    const bool mono = m_pixelType == Nimbo::PixelType_Mono8;
    if (!m_compressionOptions)
        return mono ? Nimbo::PixelType_Mono8 : Nimbo::PixelType_BGR8packed;
    for (const Candidate& candidate : mono ? monoCandidates : colourCandidates)
        if (codecAccepts(candidate.type))
            return candidate.type;
    throw GenICam::RuntimeException(
        "Failed to start recording, because the codec doesn\u2019t support the pixel format or image size.", sourceFile,
        __LINE__);
}

// Tries the codec on a temporary file with the recording's size, orientation and compression.
bool CAviMediaWriterAdapter::codecAccepts(Nimbo::EPixelType candidate) const
{
    QTemporaryFile reserved(QDir::temp().filePath(QStringLiteral("kalmuth-probe-XXXXXX.avi")));
    if (!reserved.open())
        return false;
    const std::string probeName = reserved.fileName().toStdString();
    reserved.close();
    bool accepted = false;
    try {
        Nimbo::CAviWriter probe;
        probe.Open(probeName, m_fpsPlaybackRate, candidate, m_width, m_height,
                   static_cast<Nimbo::EImageOrientation>(m_orientation), m_compressionOptions);
        probe.Close();
        accepted = true;
    } catch (const std::exception&) {
        accepted = false;
    }
    QFile::remove(QString::fromStdString(probeName));
    return accepted;
}

bool CAviMediaWriterAdapter::isOpen() const
{
    return m_writer->IsOpen();
}

void CAviMediaWriterAdapter::close()
{
    try {
        m_writer->Close();
    } catch (const Nimbo::AviWriterFatalException& e) {
        throwFatalMediaWriterException(sourceFile, __LINE__, "%s", e.GetDescription());
    }
}

void CAviMediaWriterAdapter::add(const Nimbo::CNimboImage& image)
{
    addSampled(image, m_nextSample, 0);
}

void CAviMediaWriterAdapter::addSampled(const Nimbo::CNimboImage& image, uint64_t sample, uint32_t)
{
    if (m_limitReached)
        return;
    try {
        if (sample > m_nextSample)
            m_writer->AddEmptyFrames(sample - m_nextSample);
        m_writer->Add(image, Nimbo::KeyFrameSelection_Auto);
    } catch (const Nimbo::AviWriterFatalException& e) {
        throwFatalMediaWriterException(sourceFile, __LINE__, "%s", e.GetDescription());
    }
    m_nextSample = std::max(sample, m_nextSample) + 1;
    checkLimit();
}

void CAviMediaWriterAdapter::add(const void* buffer, size_t bufferSize, Nimbo::EPixelType pixelType, uint32_t width,
                                 uint32_t height, uint32_t paddingX)
{
    if (m_limitReached)
        return;
    try {
        m_writer->Add(buffer, bufferSize, pixelType, width, height, paddingX, Nimbo::ImageOrientation_TopDown,
                      Nimbo::KeyFrameSelection_Auto);
    } catch (const Nimbo::AviWriterFatalException& e) {
        throwFatalMediaWriterException(sourceFile, __LINE__, "%s", e.GetDescription());
    }
    ++m_nextSample;
    checkLimit();
}

// The frame that crosses the limit is in the file; the recording stops with it and no frame follows.
void CAviMediaWriterAdapter::checkLimit()
{
    m_imageCount = static_cast<uint32_t>(m_writer->GetCountOfAddedImages());
    m_bytesWritten = m_writer->GetImageDataBytesWritten();
    if (m_bytesWritten.load() > m_sizeLimit) {
        m_limitReached = true;
        throwMediaFileLimitReachedException(sourceFile, __LINE__, "2GB limit of AVI file reached.");
    }
}

bool CAviMediaWriterAdapter::acceptsImageAsIs(const Nimbo::CNimboImage& image) const
{
    return m_writer->CanAddWithoutConversion(image);
}

bool CAviMediaWriterAdapter::acceptsBufferAsIs(Nimbo::EPixelType pixelType, uint32_t width, uint32_t height,
                                               uint32_t paddingX) const
{
    return m_writer->CanAddWithoutConversion(pixelType, width, height, paddingX, Nimbo::ImageOrientation_TopDown);
}

uint32_t CAviMediaWriterAdapter::imageCount() const
{
    return m_imageCount.load();
}

uint64_t CAviMediaWriterAdapter::bytesWritten() const
{
    return m_bytesWritten.load();
}
