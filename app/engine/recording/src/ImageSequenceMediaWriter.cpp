// The BMP and TIFF sequence writers.
#include "ImageSequenceMediaWriter.h"

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

void CImageSequenceMediaWriter::write(uint32_t number, const void* buffer, size_t bufferSize,
                                      Nimbo::EPixelType pixelType, uint32_t width, uint32_t height, uint32_t paddingX)
{
    Nimbo::CImagePersistence::Save(m_format, GenICam::gcstring(fileName(number)), buffer, bufferSize, pixelType, width,
                                   height, paddingX, Nimbo::ImageOrientation_TopDown, nullptr);
    // Counted once the file is whole: a frame that could not be saved is not a recorded one.
    ++m_written;
}
