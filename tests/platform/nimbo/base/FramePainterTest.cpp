// Frames painted from pattern lines: sizes, geometry, colour phase and the visible processing.
#include "emulation/FramePainter.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

using namespace Nimbo::emulation;

namespace {

PaintSettings settings(uint32_t format, bool colour = true)
{
    PaintSettings s;
    s.pixelFormat = format;
    s.sensorWidth = 64;
    s.sensorHeight = 48;
    s.colourSensor = colour;
    return s;
}

std::vector<uint8_t> paint(const PaintSettings& s, int w, int h, int ox = 0, int oy = 0, uint64_t frame = 0)
{
    FramePainter painter;
    EXPECT_TRUE(painter.configure(s));
    std::vector<uint8_t> image(painter.frameSize(w, h));
    EXPECT_EQ(painter.paint(image.data(), image.size(), w, h, ox, oy, frame), image.size());
    return image;
}

double mean(const std::vector<uint8_t>& v)
{
    return v.empty() ? 0 : std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

} // namespace

TEST(FramePainterTest, FrameSizeFollowsFormatAndArea)
{
    struct Case {
        uint32_t format;
        size_t bytesPerPixel;
    };
    const Case cases[] = {{Mono8, 1},     {Mono10, 2},   {Mono12, 2},
                          {Mono16, 2},    {BayerRG8, 1}, {BayerRG12, 2},
                          {RGB8, 3},      {BGR8, 3},     {YUV422_YUYV_Packed, 2},
                          {YCbCr422_8, 2}};
    for (const Case& c : cases) {
        FramePainter painter;
        ASSERT_TRUE(painter.configure(settings(c.format))) << std::hex << c.format;
        EXPECT_EQ(painter.frameSize(20, 10), 200 * c.bytesPerPixel);
        std::vector<uint8_t> image(painter.frameSize(20, 10) + 7, 0xAB);
        EXPECT_EQ(painter.paint(image.data(), image.size(), 20, 10, 4, 6, 3), 200 * c.bytesPerPixel);
        EXPECT_EQ(image.back(), 0xAB) << "painted beyond the frame";
        // A too small buffer and an area beyond the sensor paint nothing.
        EXPECT_EQ(painter.paint(image.data(), 200 * c.bytesPerPixel - 1, 20, 10, 0, 0, 0), 0u);
        EXPECT_EQ(painter.paint(image.data(), image.size(), 20, 10, 50, 0, 0), 0u);
        EXPECT_EQ(painter.paint(image.data(), image.size(), 20, 10, 0, 40, 0), 0u);
        EXPECT_EQ(painter.paint(image.data(), image.size(), 20, 10, -2, 0, 0), 0u);
    }
    FramePainter painter;
    EXPECT_FALSE(painter.configure(settings(0x12345678)));
    EXPECT_EQ(painter.frameSize(20, 10), 0u);
}

TEST(FramePainterTest, TestPatternIsAnExactMovingDiagonalSawtooth)
{
    PaintSettings s = settings(Mono8, false);
    s.testPattern = true;
    s.brightness = 3.0; // processing never touches the test pattern
    for (uint64_t frame : {0u, 1u, 300u}) {
        const auto image = paint(s, 32, 16, 6, 5, frame);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x)
                ASSERT_EQ(image[y * 32 + x], static_cast<uint8_t>((x + 6 + y + 5 + frame) % 256))
                    << "x " << x << " y " << y << " frame " << frame;
    }
}

TEST(FramePainterTest, BayerKeepsTheSensorColourPhaseAtAnyOffset)
{
    // Only red light: red sites sit on even rows and even sensor columns.
    PaintSettings s = settings(BayerRG8);
    s.whiteBalance[1] = s.whiteBalance[2] = 0.0;
    for (int ox : {0, 1, 2, 3})
        for (int oy : {0, 1}) {
            const auto image = paint(s, 16, 8, ox, oy, 5);
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 16; ++x) {
                    const bool redSite = ((y + oy) % 2 == 0) && ((x + ox) % 2 == 0);
                    const uint8_t v = image[y * 16 + x];
                    if (redSite)
                        EXPECT_GT(v, 0) << "ox " << ox << " oy " << oy << " x " << x << " y " << y;
                    else
                        EXPECT_EQ(v, 0) << "ox " << ox << " oy " << oy << " x " << x << " y " << y;
                }
        }
}

TEST(FramePainterTest, PatternMovesFromFrameToFrame)
{
    const PaintSettings s = settings(Mono8);
    EXPECT_NE(paint(s, 64, 48, 0, 0, 0), paint(s, 64, 48, 0, 0, 1));
    EXPECT_EQ(paint(s, 64, 48, 0, 0, 7), paint(s, 64, 48, 0, 0, 7));
}

TEST(FramePainterTest, ProcessingVisiblyChangesTheImage)
{
    const PaintSettings base = settings(RGB8);
    const auto reference = paint(base, 64, 48);
    const double referenceMean = mean(reference);

    PaintSettings brighter = base;
    brighter.brightness = 1.5;
    EXPECT_GT(mean(paint(brighter, 64, 48)), referenceMean * 1.2);

    PaintSettings darker = base;
    darker.brightness = 0.5;
    EXPECT_LT(mean(paint(darker, 64, 48)), referenceMean * 0.8);

    // White balance scales one channel.
    PaintSettings blue = base;
    blue.whiteBalance[2] = 0.25;
    const auto tinted = paint(blue, 64, 48);
    double sumRef = 0, sumTinted = 0, sumRefRed = 0, sumTintedRed = 0;
    for (size_t i = 0; i < reference.size(); i += 3) {
        sumRefRed += reference[i];
        sumTintedRed += tinted[i];
        sumRef += reference[i + 2];
        sumTinted += tinted[i + 2];
    }
    EXPECT_LT(sumTinted, sumRef * 0.5);
    EXPECT_EQ(sumTintedRed, sumRefRed);

    // A matrix that swaps red and blue.
    PaintSettings swapped = base;
    swapped.colourTransformation = true;
    const double swap[9] = {0, 0, 1, 0, 1, 0, 1, 0, 0};
    std::copy(swap, swap + 9, swapped.matrix);
    const auto swappedImage = paint(swapped, 64, 48);
    for (size_t i = 0; i < reference.size(); i += 3) {
        ASSERT_EQ(swappedImage[i], reference[i + 2]);
        ASSERT_EQ(swappedImage[i + 2], reference[i]);
    }

    // An inverting lookup table.
    PaintSettings inverted = base;
    inverted.lutEnable = true;
    inverted.lut.resize(4096);
    for (uint32_t i = 0; i < 4096; ++i)
        inverted.lut[i] = 4095 - i;
    const auto invertedImage = paint(inverted, 64, 48);
    for (size_t i = 0; i < reference.size(); ++i)
        ASSERT_NEAR(invertedImage[i], 255 - reference[i], 1) << i;

    PaintSettings gamma = base;
    gamma.gammaEnable = true;
    gamma.gamma = 2.2;
    EXPECT_GT(mean(paint(gamma, 64, 48)), referenceMean * 1.1);
}

TEST(FramePainterTest, SixteenBitFormatsCarryTheirDynamicRange)
{
    struct Case {
        uint32_t format;
        unsigned maxValue;
    };
    PaintSettings bright = settings(Mono8, false);
    bright.brightness = 100.0; // saturates every pixel
    for (const Case c : {Case{Mono10, 1023}, Case{Mono12, 4095}, Case{Mono16, 65520}}) {
        bright.pixelFormat = c.format;
        const auto image = paint(bright, 8, 4);
        for (size_t i = 0; i < image.size(); i += 2)
            ASSERT_EQ(image[i] | (image[i + 1] << 8), c.maxValue) << std::hex << c.format;
    }
}
