// The BMP and TIFF sequence writers.
#include "ImageSequenceMediaWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

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
    // Written under a name of its own, the file gets its number once it is whole and every frame
    // before it has its own: a recording killed at any moment leaves whole files without a gap.
    const std::string partName = name + kPartSuffix;
    std::exception_ptr failure;
    try {
        // A file the save could not finish is removed by the save itself.
        Nimbo::CImagePersistence::Save(m_format, GenICam::gcstring(partName), buffer, bufferSize, pixelType, width,
                                       height, paddingX, Nimbo::ImageOrientation_TopDown, nullptr);
    } catch (...) {
        failure = std::current_exception();
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!failure) {
        // Written: it belongs to the sequence once every frame before it is, or it is taken back.
        m_settledChanged.wait(lock, [&] { return m_settled + 1 >= number || (m_failure && m_failedAt < number); });
        if (m_failure && m_failedAt < number) {
            std::remove(partName.c_str());
            failure = m_failure;
        } else {
            // Every frame before it has its number: none fails from now on, and this one takes its own.
            lock.unlock();
            failure = giveNumber(partName, name);
            lock.lock();
            if (!failure)
                ++m_written; // counted once the file is whole and in the sequence
        }
    }
    if (failure && (!m_failure || number < m_failedAt)) {
        m_failure = failure;
        m_failedAt = number;
    }
    settleLocked(number);
    lock.unlock();
    m_settledChanged.notify_all();
    if (failure)
        std::rethrow_exception(failure);
}

std::exception_ptr CImageSequenceMediaWriter::giveNumber(const std::string& partName, const std::string& name)
{
    // Renaming replaces a file standing at the name, as saving over it would; what may not be written
    // over (a read-only file, a folder) is left as it is, as the save would leave it.
    const int existing = ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    const bool refused = existing < 0 && errno != ENOENT;
    if (existing >= 0)
        ::close(existing);
    if (!refused && std::rename(partName.c_str(), name.c_str()) == 0)
        return nullptr;
    const std::string text = "Could not write the image file '" + name + "': " + std::strerror(errno);
    std::remove(partName.c_str());
    return std::make_exception_ptr(GenICam::RuntimeException(text.c_str(), __FILE__, __LINE__));
}
