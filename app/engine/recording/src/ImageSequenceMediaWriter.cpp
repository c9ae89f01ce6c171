// The BMP and TIFF sequence writers.
#include "ImageSequenceMediaWriter.h"

#include <algorithm>
#include <cstdio>

CImageSequenceMediaWriter::CImageSequenceMediaWriter(Nimbo::EImageFileFormat format, const char* extension)
    : m_format(format), m_extension(extension)
{
}

void CImageSequenceMediaWriter::open(const GenICam::gcstring& baseName)
{
    // The counter is kept: a writer opened again goes on numbering where it stopped.
    m_baseName = baseName;
    m_open = true;
}

std::string CImageSequenceMediaWriter::fileName(uint32_t number) const
{
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%04u", number);
    return std::string(m_baseName.c_str()) + suffix + m_extension;
}

void CImageSequenceMediaWriter::add(const Nimbo::CNimboImage& image)
{
    addAt(image, claimPlace());
}

void CImageSequenceMediaWriter::add(const void* buffer, size_t bufferSize, Nimbo::EPixelType pixelType, uint32_t width,
                                    uint32_t height, uint32_t paddingX)
{
    write(claimPlace(), buffer, bufferSize, pixelType, width, height, paddingX);
}

void CImageSequenceMediaWriter::addAt(const Nimbo::CNimboImage& image, uint32_t number)
{
    write(number, image.GetBuffer(), image.GetImageSize(), image.GetPixelType(), image.GetWidth(), image.GetHeight(),
          static_cast<uint32_t>(image.GetPaddingX()));
}

void CImageSequenceMediaWriter::settleLocked(uint32_t number)
{
    m_settledLater.insert(number);
    while (!m_settledLater.empty() && *m_settledLater.begin() <= m_settled + 1) {
        m_settled = std::max(m_settled, *m_settledLater.begin());
        m_settledLater.erase(m_settledLater.begin());
    }
}

void CImageSequenceMediaWriter::write(uint32_t number, const void* buffer, size_t bufferSize,
                                      Nimbo::EPixelType pixelType, uint32_t width, uint32_t height, uint32_t paddingX)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_failure && number > m_failedAt) {
            settleLocked(number);
            m_settledChanged.notify_all();
            std::rethrow_exception(m_failure);
        }
    }
    const std::string name = fileName(number);
    try {
        // A file the save could not finish is removed by the save itself.
        Nimbo::CImagePersistence::Save(m_format, GenICam::gcstring(name), buffer, bufferSize, pixelType, width, height,
                                       paddingX, Nimbo::ImageOrientation_TopDown, nullptr);
    } catch (...) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_failure || number < m_failedAt) {
                m_failure = std::current_exception();
                m_failedAt = number;
            }
            settleLocked(number);
        }
        m_settledChanged.notify_all();
        throw;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    // Written: it belongs to the sequence once every frame before it is, or it is taken back.
    m_settledChanged.wait(lock, [&] { return m_settled + 1 >= number || (m_failure && m_failedAt < number); });
    const bool withdrawn = m_failure && m_failedAt < number;
    if (withdrawn)
        std::remove(name.c_str());
    else
        ++m_written; // counted once the file is whole and in the sequence
    settleLocked(number);
    const std::exception_ptr failure = m_failure;
    lock.unlock();
    m_settledChanged.notify_all();
    if (withdrawn)
        std::rethrow_exception(failure);
}
