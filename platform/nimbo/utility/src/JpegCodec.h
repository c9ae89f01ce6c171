// JPEG compression of 8-bit grey, RGB, BGR and BGRA lines into memory, shared by image files and AVI frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Nimbo {

enum class JpegInput { Grey, RGB, BGR, BGRA };

// Compresses a top-down picture; false with a reason in `error` when libjpeg refuses.
bool encodeJpeg(const uint8_t* pixels, size_t stride, uint32_t width, uint32_t height, JpegInput input, int quality,
                std::vector<uint8_t>& out, std::string& error);

} // namespace Nimbo
