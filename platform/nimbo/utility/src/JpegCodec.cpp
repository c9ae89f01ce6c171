// JPEG compression through libjpeg, its fatal errors turned into a return value.
#include "JpegCodec.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace Nimbo {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// libjpeg's default would end the process; jump back to the caller instead.
void onError(j_common_ptr info)
{
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

void onMessage(j_common_ptr, int) {}

// Runs the compression; kept free of objects with destructors because longjmp may leave it.
bool compress(jpeg_compress_struct& info, ErrorManager& errors, const uint8_t* pixels, size_t stride, uint32_t width,
              uint32_t height, J_COLOR_SPACE space, int components, int quality, unsigned char** memory,
              unsigned long* memorySize)
{
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.emit_message = onMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, memory, memorySize);
    info.image_width = width;
    info.image_height = height;
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + size_t(info.next_scanline) * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

bool encodeJpeg(const uint8_t* pixels, size_t stride, uint32_t width, uint32_t height, JpegInput input, int quality,
                std::vector<uint8_t>& out, std::string& error)
{
    if (width == 0 || height == 0 || width > 65500 || height > 65500) {
        error = "JPEG cannot hold an image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels.";
        return false;
    }
    J_COLOR_SPACE space = JCS_GRAYSCALE;
    int components = 1;
    switch (input) {
    case JpegInput::Grey: break;
    case JpegInput::RGB: space = JCS_RGB, components = 3; break;
    case JpegInput::BGR: space = JCS_EXT_BGR, components = 3; break;
    case JpegInput::BGRA: space = JCS_EXT_BGRA, components = 4; break;
    }
    jpeg_compress_struct info{};
    ErrorManager errors{};
    unsigned char* memory = nullptr;
    unsigned long memorySize = 0;
    const bool ok =
        compress(info, errors, pixels, stride, width, height, space, components, quality, &memory, &memorySize);
    if (ok)
        out.assign(memory, memory + memorySize);
    else
        error = errors.message;
    std::free(memory);
    return ok;
}

} // namespace Nimbo
