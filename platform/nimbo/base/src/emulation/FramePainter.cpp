// Pattern lines for every band and row parity, encoded once per setting change in the target format.
#include "FramePainter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Nimbo {
namespace emulation {
namespace {

struct Rgb {
    double r, g, b;
};

// The scene: colour bars whose brightness ramps inside each bar and differs per band (12-bit range).
Rgb scene(int u, int band)
{
    static const Rgb bars[8] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0},
                                {1, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0.2, 0.2, 0.2}};
    const int phase = u % FramePainter::kPeriod;
    const int barWidth = FramePainter::kPeriod / 8;
    const Rgb& bar = bars[phase / barWidth];
    const double level = 600.0 + 250.0 * band + 20.0 * (phase % barWidth); // at most 3000 before processing
    return {bar.r * level + 100, bar.g * level + 100, bar.b * level + 100};
}

uint32_t clamp12(double v)
{
    if (!(v > 0))
        return 0;
    return v >= 4095.0 ? 4095u : static_cast<uint32_t>(v + 0.5);
}

void put16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

} // namespace

FramePainter::FramePainter() = default;

bool FramePainter::configure(const PaintSettings& s)
{
    const PixelFormatLayout* layout = findPixelFormat(s.pixelFormat);
    if (!layout || s.sensorWidth <= 0 || s.sensorHeight <= 0) {
        m_layout = nullptr;
        return false;
    }
    m_layout = layout;
    m_sensorWidth = s.sensorWidth;
    m_sensorHeight = s.sensorHeight;
    m_lineLength = kPeriod + s.sensorWidth + 2; // room for the phase step of odd offsets
    m_testPattern = s.testPattern;
    const int bpp = layout->bytesPerPixel;
    const size_t lineBytes = static_cast<size_t>(m_lineLength) * bpp;
    m_lines.assign(lineBytes * 2 * kBands, 0);

    // Processed 12-bit RGB of one period per band; a line repeats it.
    std::vector<uint32_t> rgb(static_cast<size_t>(kPeriod) * 3);
    const bool lut = s.lutEnable && s.lut.size() >= 4096;
    const bool gamma = s.gammaEnable && s.gamma > 0 && std::fabs(s.gamma - 1.0) > 1e-9;
    for (int band = 0; band < kBands; ++band) {
        for (int u = 0; u < kPeriod; ++u) {
            uint32_t out[3];
            if (s.testPattern) {
                out[0] = out[1] = out[2] = static_cast<uint32_t>(u % 256) << 4;
            } else {
                Rgb c = scene(u, band);
                if (!s.colourSensor) {
                    const double y = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
                    c = {y, y, y};
                }
                double v[3] = {c.r * s.brightness * s.whiteBalance[0], c.g * s.brightness * s.whiteBalance[1],
                               c.b * s.brightness * s.whiteBalance[2]};
                if (s.colourTransformation) {
                    const double* m = s.matrix;
                    const double t[3] = {m[0] * v[0] + m[1] * v[1] + m[2] * v[2],
                                         m[3] * v[0] + m[4] * v[1] + m[5] * v[2],
                                         m[6] * v[0] + m[7] * v[1] + m[8] * v[2]};
                    std::copy(t, t + 3, v);
                }
                for (int k = 0; k < 3; ++k) {
                    uint32_t x = clamp12(v[k]);
                    if (lut)
                        x = std::min<uint32_t>(s.lut[x], 4095u);
                    if (gamma)
                        x = clamp12(4095.0 * std::pow(x / 4095.0, 1.0 / s.gamma));
                    out[k] = x;
                }
            }
            std::copy(out, out + 3, &rgb[static_cast<size_t>(u) * 3]);
        }
        for (int parity = 0; parity < 2; ++parity) {
            uint8_t* line = &m_lines[(static_cast<size_t>(band) * 2 + parity) * lineBytes];
            for (int u = 0; u < m_lineLength; ++u) {
                const uint32_t* c = &rgb[static_cast<size_t>(u % kPeriod) * 3];
                const uint32_t luma = s.colourSensor ? clamp12(0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2]) : c[1];
                uint8_t* p = line + static_cast<size_t>(u) * bpp;
                switch (layout->code) {
                case Mono8: p[0] = static_cast<uint8_t>(luma >> 4); break;
                case Mono10: put16(p, luma >> 2); break;
                case Mono12: put16(p, luma); break;
                case Mono16: put16(p, luma << 4); break;
                case BayerRG8:
                case BayerRG12: {
                    // RG on even rows, GB on odd rows.
                    const uint32_t v = parity == 0 ? ((u & 1) ? c[1] : c[0]) : ((u & 1) ? c[2] : c[1]);
                    if (layout->code == BayerRG8)
                        p[0] = static_cast<uint8_t>(v >> 4);
                    else
                        put16(p, v);
                    break;
                }
                case RGB8:
                    p[0] = static_cast<uint8_t>(c[0] >> 4);
                    p[1] = static_cast<uint8_t>(c[1] >> 4);
                    p[2] = static_cast<uint8_t>(c[2] >> 4);
                    break;
                case BGR8:
                    p[0] = static_cast<uint8_t>(c[2] >> 4);
                    p[1] = static_cast<uint8_t>(c[1] >> 4);
                    p[2] = static_cast<uint8_t>(c[0] >> 4);
                    break;
                case YUV422_YUYV_Packed:
                case YCbCr422_8: {
                    // Y of this pixel, then U for even and V for odd pixels from the pair's first pixel.
                    const uint32_t* first = &rgb[static_cast<size_t>((u & ~1) % kPeriod) * 3];
                    const double r = first[0] / 16.0, g = first[1] / 16.0, b = first[2] / 16.0;
                    const double chroma =
                        (u & 1) ? 128 + 0.5 * r - 0.419 * g - 0.081 * b : 128 - 0.169 * r - 0.331 * g + 0.5 * b;
                    p[0] = static_cast<uint8_t>(luma >> 4);
                    p[1] = static_cast<uint8_t>(std::lround(std::clamp(chroma, 0.0, 255.0)));
                    break;
                }
                default: break;
                }
            }
        }
    }
    return true;
}

size_t FramePainter::frameSize(int width, int height) const
{
    if (!m_layout || width <= 0 || height <= 0)
        return 0;
    return static_cast<size_t>(width) * height * m_layout->bytesPerPixel;
}

size_t FramePainter::paint(uint8_t* dst, size_t capacity, int width, int height, int offsetX, int offsetY,
                           uint64_t frame) const
{
    const size_t size = frameSize(width, height);
    if (size == 0 || size > capacity || offsetX < 0 || offsetY < 0 || offsetX + width > m_sensorWidth ||
        offsetY + height > m_sensorHeight)
        return 0;
    const int bpp = m_layout->bytesPerPixel;
    const size_t lineBytes = static_cast<size_t>(m_lineLength) * bpp;
    const size_t rowBytes = static_cast<size_t>(width) * bpp;
    const int bandHeight = std::max(1, m_sensorHeight / kBands);
    const int align = m_layout->alignment;
    // The test pattern steps one pixel per frame; the scene two, so that Bayer and YUV phases hold.
    const uint64_t shift = m_testPattern ? frame : frame * 2;
    for (int row = 0; row < height; ++row) {
        const int y = offsetY + row;
        const int band = m_testPattern ? 0 : (y / bandHeight) % kBands;
        const int parity = y & 1;
        int start = static_cast<int>((static_cast<uint64_t>(offsetX) + static_cast<uint64_t>(y) + shift) % kPeriod);
        start -= start % align;
        // Bayer lines keep the sensor's colour phase: an odd offset starts on the other colour.
        if (align == 2 && (offsetX & 1) && m_layout->code != YUV422_YUYV_Packed && m_layout->code != YCbCr422_8)
            start += 1;
        const uint8_t* src =
            &m_lines[(static_cast<size_t>(band) * 2 + parity) * lineBytes] + static_cast<size_t>(start) * bpp;
        std::memcpy(dst + row * rowBytes, src, rowBytes);
    }
    return size;
}

} // namespace emulation
} // namespace Nimbo
