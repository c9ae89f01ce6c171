// Reading single samples of every mono, Bayer, packed and 16-bit layout; shared by images and the converter.
#pragma once

#include <nimbo/PixelType.h>

#include <cstddef>
#include <cstdint>

namespace Nimbo {
namespace samples {

// How the samples of a one-component (mono or Bayer) type are laid out in a line.
enum class Layout : uint8_t {
    Bytes8,    // one byte per sample
    Words16,   // one little-endian 16-bit word per sample
    GigE10,    // two samples in three bytes, high bits in bytes 0 and 2, low bits in byte 1
    GigE12,    // as GigE10 with four low bits per sample
    BitStream, // samples follow each other least significant bit first (the "p" types)
    None,      // not a one-component type
};

Layout layoutOf(EPixelType type);

inline uint32_t readWord(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8;
}

// The sample at index x of a line; the line must hold ComputeStride(type, x + 1) bytes at least.
inline uint32_t readSample(Layout layout, unsigned int bits, const uint8_t* line, size_t x)
{
    switch (layout) {
    case Layout::Bytes8: return line[x];
    case Layout::Words16: return readWord(line + 2 * x);
    case Layout::GigE10: {
        const uint8_t* p = line + 3 * (x / 2);
        return (x & 1) ? (uint32_t(p[2]) << 2 | ((p[1] >> 4) & 0x3u)) : (uint32_t(p[0]) << 2 | (p[1] & 0x3u));
    }
    case Layout::GigE12: {
        const uint8_t* p = line + 3 * (x / 2);
        return (x & 1) ? (uint32_t(p[2]) << 4 | (p[1] >> 4)) : (uint32_t(p[0]) << 4 | (p[1] & 0xFu));
    }
    case Layout::BitStream: {
        const size_t bit = x * bits;
        const uint8_t* p = line + bit / 8;
        const unsigned int shift = unsigned(bit % 8);
        // Only the bytes the sample touches are read, so the last sample of a line stays inside it.
        const unsigned int count = (shift + bits + 7) / 8;
        uint32_t value = 0;
        for (unsigned int i = 0; i < count; ++i)
            value |= uint32_t(p[i]) << (8 * i);
        return (value >> shift) & ((1u << bits) - 1u);
    }
    case Layout::None: break;
    }
    return 0;
}

} // namespace samples
} // namespace Nimbo
