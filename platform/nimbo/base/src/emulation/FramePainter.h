// Paints emulated frames from precomputed pattern lines, so that a frame costs one copy per row.
#pragma once

#include "PixelFormats.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Nimbo {
namespace emulation {

// What the image processing of an emulated camera does to the scene.
struct PaintSettings {
    uint32_t pixelFormat = Mono8;
    int sensorWidth = 640;
    int sensorHeight = 480;
    bool colourSensor = false;
    bool testPattern = false; // a grey diagonal sawtooth that no processing touches
    double brightness = 1.0;  // exposure and gain together, 1.0 = the nominal exposure
    double whiteBalance[3] = {1.0, 1.0, 1.0};
    bool colourTransformation = false;
    double matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    bool lutEnable = false;
    std::vector<uint32_t> lut; // 4096 entries of 12-bit values, applied when enabled
    bool gammaEnable = false;
    double gamma = 1.0;
};

// Not synchronised: the owning camera configures and paints from its frame thread only, and
// configure() is cheap enough (a few lines) to run whenever a setting changed.
class FramePainter {
public:
    FramePainter();
    // Rebuilds the pattern lines; false for a pixel format that cannot be painted.
    bool configure(const PaintSettings& settings);
    // Bytes of one frame of that size, 0 when not configured.
    size_t frameSize(int width, int height) const;
    // Paints the frame of number `frame` (the pattern moves with it) into dst. Returns the bytes
    // written, 0 when the buffer is too small or the area lies outside the sensor.
    size_t paint(uint8_t* dst, size_t capacity, int width, int height, int offsetX, int offsetY, uint64_t frame) const;

    static constexpr int kPeriod = 256; // pixels after which a pattern line repeats
    static constexpr int kBands = 8;    // horizontal bands with different lines

private:
    const PixelFormatLayout* m_layout = nullptr;
    int m_sensorWidth = 0;
    int m_sensorHeight = 0;
    int m_lineLength = 0; // pixels per line: one period plus the sensor width
    bool m_testPattern = false;
    std::vector<uint8_t> m_lines; // [band][parity][lineLength * bytesPerPixel]
};

} // namespace emulation
} // namespace Nimbo
