// Reading recorded image files back with an independent reader (libtiff), for the tests.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

// Reads a grey TIFF with libtiff: the pixels line by line, without padding.
std::vector<uint8_t> readTiff(const std::string& path, uint32_t& width, uint32_t& height)
{
    std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen(path.c_str(), "r"), TIFFClose);
    if (!tiff)
        return {};
    uint16_t samples = 0, bits = 0;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    if (samples != 1 || bits != 8)
        return {};
    std::vector<uint8_t> pixels(size_t(width) * height);
    for (uint32_t y = 0; y < height; ++y)
        if (TIFFReadScanline(tiff.get(), pixels.data() + size_t(y) * width, y) != 1)
            return {};
    return pixels;
}

} // namespace
