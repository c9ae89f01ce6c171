// Appending little-endian fields to a byte vector, as the RIFF and BMP headers store them.
#pragma once

#include <cstdint>
#include <vector>

namespace Nimbo {
namespace detail {

inline void put16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

inline void put32(std::vector<uint8_t>& out, uint32_t value)
{
    put16(out, value & 0xFFFFu);
    put16(out, value >> 16);
}

} // namespace detail
} // namespace Nimbo
