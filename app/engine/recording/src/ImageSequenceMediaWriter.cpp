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
    add(image.GetBuffer(), image.GetImageSize(), image.GetPixelType(), image.GetWidth(), image.GetHeight(),
        static_cast<uint32_t>(image.GetPaddingX()));
}

void CImageSequenceMediaWriter::add(const void* buffer, size_t bufferSize, Nimbo::EPixelType pixelType, uint32_t width,
                                    uint32_t height, uint32_t paddingX)
{
    const uint32_t number = ++m_counter;
    Nimbo::CImagePersistence::Save(m_format, GenICam::gcstring(fileName(number)), buffer, bufferSize, pixelType, width,
                                   height, paddingX, Nimbo::ImageOrientation_TopDown, nullptr);
}
