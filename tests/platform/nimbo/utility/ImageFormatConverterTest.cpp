// Converter results checked pixel by pixel on small fixtures for every input family.
#include <nimbo/ImageFormatConverter.h>

#include <GenApi/GenApi.h>
#include <GenICam/GenericException.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

using namespace Nimbo;

namespace {

// Packs sample values into a line the way each layout stores them, written independently of the library.
std::vector<uint8_t> packLine(EPixelType type, const std::vector<uint32_t>& values)
{
    std::vector<uint8_t> line;
    const size_t n = values.size();
    switch (type) {
    case PixelType_Mono8:
    case PixelType_BayerRG8:
    case PixelType_BayerGB8:
    case PixelType_BayerGR8:
    case PixelType_BayerBG8:
        for (uint32_t v : values)
            line.push_back(uint8_t(v));
        return line;
    case PixelType_Mono12packed:
    case PixelType_BayerRG12Packed:
    case PixelType_Mono10packed: {
        const bool ten = type == PixelType_Mono10packed;
        const unsigned low = ten ? 2 : 4;
        for (size_t i = 0; i < n; i += 2) {
            const uint32_t a = values[i], b = i + 1 < n ? values[i + 1] : 0;
            line.push_back(uint8_t(a >> low));
            line.push_back(uint8_t((a & ((1u << low) - 1)) | (b & ((1u << low) - 1)) << 4));
            if (i + 1 < n)
                line.push_back(uint8_t(b >> low));
        }
        return line;
    }
    case PixelType_Mono10p:
    case PixelType_Mono12p:
    case PixelType_BayerRG10p:
    case PixelType_Mono4packed:
    case PixelType_Mono1packed: {
        const unsigned bits = BitPerPixel(type);
        line.assign((n * bits + 7) / 8, 0);
        for (size_t i = 0; i < n; ++i)
            for (unsigned b = 0; b < bits; ++b)
                if (values[i] >> b & 1u)
                    line[(i * bits + b) / 8] |= uint8_t(1u << ((i * bits + b) % 8));
        return line;
    }
    default: // 16-bit words
        for (uint32_t v : values) {
            line.push_back(uint8_t(v));
            line.push_back(uint8_t(v >> 8));
        }
        return line;
    }
}

// An image of `lines`, each padded with `padding` bytes of 0xEE.
std::vector<uint8_t> packImage(EPixelType type, const std::vector<std::vector<uint32_t>>& lines, size_t padding)
{
    std::vector<uint8_t> image;
    for (const auto& values : lines) {
        std::vector<uint8_t> line = packLine(type, values);
        EXPECT_EQ(line.size(), ComputeStride(type, uint32_t(values.size())));
        image.insert(image.end(), line.begin(), line.end());
        image.insert(image.end(), padding, 0xEE);
    }
    return image;
}

std::vector<uint8_t> convert(CImageFormatConverter& converter, const std::vector<uint8_t>& input, EPixelType type,
                             uint32_t width, uint32_t height, size_t padding = 0,
                             EImageOrientation orientation = ImageOrientation_TopDown)
{
    std::vector<uint8_t> output(converter.GetBufferSizeForConversion(width, height), 0xCD);
    converter.Convert(output.data(), output.size(), input.data(), input.size(), type, width, height, padding,
                      orientation);
    return output;
}

struct Rgb {
    int r, g, b;
};

Rgb bgraAt(const std::vector<uint8_t>& out, size_t stride, uint32_t x, uint32_t y)
{
    const uint8_t* p = out.data() + y * stride + 4 * x;
    EXPECT_EQ(p[3], 255) << "alpha at " << x << "," << y;
    return {p[2], p[1], p[0]};
}

} // namespace

TEST(ImageFormatConverter, MonoFamilyReducesToEightBits)
{
    struct Row {
        EPixelType type;
        unsigned depth;
    };
    const Row rows[] = {
        {PixelType_Mono8, 8},         {PixelType_Mono10, 10},       {PixelType_Mono12, 12},  {PixelType_Mono16, 16},
        {PixelType_Mono10packed, 10}, {PixelType_Mono12packed, 12}, {PixelType_Mono10p, 10}, {PixelType_Mono12p, 12},
        {PixelType_Mono4packed, 4},   {PixelType_Mono1packed, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(CPixelTypeMapper::GetNameByPixelType(row.type));
        const uint32_t max = (1u << row.depth) - 1;
        // Odd width, so that packed lines end in half a group; two lines with distinct values.
        const std::vector<std::vector<uint32_t>> lines = {{0, max, max / 2, 1 % (max + 1), max - max / 3},
                                                          {max / 3, 0, max, max / 5, max / 7}};
        const size_t padding = 3;
        const auto input = packImage(row.type, lines, padding);
        auto expected = [&](uint32_t v) -> int {
            if (row.depth >= 8)
                return int(v >> (row.depth - 8));
            return int(v * 255 / max);
        };
        for (EPixelType out : {PixelType_Mono8, PixelType_BGRA8packed, PixelType_RGB8packed}) {
            CImageFormatConverter converter;
            converter.SetOutputPixelFormat(out);
            converter.SetOutputPaddingX(2);
            const auto output = convert(converter, input, row.type, 5, 2, padding);
            const size_t bytes = BitPerPixel(out) / 8, stride = 5 * bytes + 2;
            for (uint32_t y = 0; y < 2; ++y)
                for (uint32_t x = 0; x < 5; ++x)
                    for (size_t c = 0; c < std::min<size_t>(bytes, 3); ++c)
                        EXPECT_EQ(output[y * stride + x * bytes + c], expected(lines[y][x]))
                            << "out " << out << " at " << x << "," << y;
            // Output padding is left alone.
            EXPECT_EQ(output[5 * bytes], 0xCD);
        }
    }
}

TEST(ImageFormatConverter, UniformBayerDemosaicsToItsColourForEveryPattern)
{
    // Red 200, green 100, blue 40 on their sites: every interpolated pixel must be exactly that colour.
    struct Row {
        EPixelType type;
        int rx, ry; // red's place in the 2x2 cell
        unsigned shift;
    };
    const Row rows[] = {
        {PixelType_BayerRG8, 0, 0, 0},   {PixelType_BayerGB8, 0, 1, 0},        {PixelType_BayerGR8, 1, 0, 0},
        {PixelType_BayerBG8, 1, 1, 0},   {PixelType_BayerRG12, 0, 0, 4},       {PixelType_BayerBG16, 1, 1, 8},
        {PixelType_BayerRG10p, 0, 0, 2}, {PixelType_BayerRG12Packed, 0, 0, 4},
    };
    for (const Row& row : rows) {
        for (uint32_t w : {2u, 3u, 6u, 7u}) {
            for (uint32_t h : {2u, 5u}) {
                SCOPED_TRACE(testing::Message()
                             << CPixelTypeMapper::GetNameByPixelType(row.type) << " " << w << "x" << h);
                std::vector<std::vector<uint32_t>> lines(h, std::vector<uint32_t>(w));
                for (uint32_t y = 0; y < h; ++y)
                    for (uint32_t x = 0; x < w; ++x) {
                        const bool redX = int(x & 1) == row.rx, redY = int(y & 1) == row.ry;
                        const uint32_t v = redX && redY ? 200 : (!redX && !redY ? 40 : 100);
                        lines[y][x] = v << row.shift;
                    }
                CImageFormatConverter converter;
                converter.SetOutputPixelFormat(PixelType_BGRA8packed);
                const auto output = convert(converter, packImage(row.type, lines, 0), row.type, w, h);
                for (uint32_t y = 0; y < h; ++y)
                    for (uint32_t x = 0; x < w; ++x) {
                        const Rgb c = bgraAt(output, 4 * w, x, y);
                        EXPECT_EQ(c.r, 200) << x << "," << y;
                        EXPECT_EQ(c.g, 100) << x << "," << y;
                        EXPECT_EQ(c.b, 40) << x << "," << y;
                    }
            }
        }
    }
}

TEST(ImageFormatConverter, BayerInterpolatesNeighboursAndHandlesEdges)
{
    // RGGB 4x4 with distinct values; interior pixels checked against bilinear averages by hand.
    const std::vector<std::vector<uint32_t>> v = {
        {10, 20, 30, 40}, {50, 60, 70, 80}, {90, 100, 110, 120}, {130, 140, 150, 160}};
    CImageFormatConverter converter;
    converter.SetOutputPixelFormat(PixelType_RGB8packed);
    auto output = convert(converter, packImage(PixelType_BayerRG8, v, 0), PixelType_BayerRG8, 4, 4);
    auto at = [&](uint32_t x, uint32_t y) {
        const uint8_t* p = &output[y * 12 + x * 3];
        return Rgb{p[0], p[1], p[2]};
    };
    // (1,1) blue site: B own, G from the four sides, R from the diagonals.
    Rgb c = at(1, 1);
    EXPECT_EQ(c.b, 60);
    EXPECT_EQ(c.g, (20 + 50 + 70 + 100 + 2) / 4);
    EXPECT_EQ(c.r, (10 + 30 + 90 + 110 + 2) / 4);
    // (2,2) red site.
    c = at(2, 2);
    EXPECT_EQ(c.r, 110);
    EXPECT_EQ(c.g, (70 + 100 + 120 + 150 + 2) / 4);
    EXPECT_EQ(c.b, (60 + 80 + 140 + 160 + 2) / 4);
    // (2,1) green on a blue line: blue from left and right, red from above and below.
    c = at(2, 1);
    EXPECT_EQ(c.g, 70);
    EXPECT_EQ(c.b, (60 + 80 + 1) / 2);
    EXPECT_EQ(c.r, (30 + 110 + 1) / 2);
    // (1,2) green on a red line.
    c = at(1, 2);
    EXPECT_EQ(c.g, 100);
    EXPECT_EQ(c.r, (90 + 110 + 1) / 2);
    EXPECT_EQ(c.b, (60 + 140 + 1) / 2);
    // Corner (0,0), extended by mirroring: the missing neighbours are the ones across.
    c = at(0, 0);
    EXPECT_EQ(c.r, 10);
    EXPECT_EQ(c.g, (20 + 20 + 50 + 50 + 2) / 4);
    EXPECT_EQ(c.b, 60);
    // Corner (3,3) is a blue site with red on its mirrored diagonals.
    c = at(3, 3);
    EXPECT_EQ(c.b, 160);
    EXPECT_EQ(c.r, 110);

    converter.SetInconvertibleEdgeHandling(InconvertibleEdgeHandling_SetZero);
    output = convert(converter, packImage(PixelType_BayerRG8, v, 0), PixelType_BayerRG8, 4, 4);
    for (uint32_t i = 0; i < 4; ++i) {
        for (auto p : {at(i, 0), at(i, 3), at(0, i), at(3, i)})
            EXPECT_EQ(p.r + p.g + p.b, 0);
    }
    EXPECT_EQ(at(1, 1).b, 60);

    // Bayer to Mono8 is the luminance of the interpolated colour.
    converter.SetOutputPixelFormat(PixelType_Mono8);
    converter.SetInconvertibleEdgeHandling(InconvertibleEdgeHandling_Extend);
    output = convert(converter, packImage(PixelType_BayerRG8, v, 0), PixelType_BayerRG8, 4, 4);
    const double r = 110, g = (70 + 100 + 120 + 150 + 2) / 4, b = (60 + 80 + 140 + 160 + 2) / 4;
    EXPECT_NEAR(output[2 * 4 + 2], 0.299 * r + 0.587 * g + 0.114 * b, 1.0);
}

TEST(ImageFormatConverter, ColourFamiliesKeepTheirComponentOrder)
{
    struct Row {
        EPixelType type;
        std::vector<uint32_t> pixel; // components in memory order for one pixel
        Rgb expected;
    };
    const Row rows[] = {
        {PixelType_RGB8packed, {200, 100, 40}, {200, 100, 40}},
        {PixelType_BGR8packed, {40, 100, 200}, {200, 100, 40}},
        {PixelType_RGBA8packed, {200, 100, 40, 7}, {200, 100, 40}},
        {PixelType_BGRA8packed, {40, 100, 200, 7}, {200, 100, 40}},
        {PixelType_RGB10packed, {800, 400, 160}, {200, 100, 40}},
        {PixelType_BGR12packed, {640, 1600, 3200}, {200, 100, 40}},
        {PixelType_RGB16packed, {200 << 8, 100 << 8, 40 << 8}, {200, 100, 40}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(CPixelTypeMapper::GetNameByPixelType(row.type));
        std::vector<uint32_t> line;
        for (int i = 0; i < 3; ++i) // three equal pixels
            line.insert(line.end(), row.pixel.begin(), row.pixel.end());
        std::vector<uint8_t> input;
        for (uint32_t v : line) {
            if (BitDepth(row.type) > 8) {
                input.push_back(uint8_t(v));
                input.push_back(uint8_t(v >> 8));
            } else {
                input.push_back(uint8_t(v));
            }
        }
        for (EPixelType out : {PixelType_BGRA8packed, PixelType_BGR8packed, PixelType_RGB8packed, PixelType_Mono8}) {
            CImageFormatConverter converter;
            converter.SetOutputPixelFormat(out);
            const auto output = convert(converter, input, row.type, 3, 1);
            for (uint32_t x = 0; x < 3; ++x) {
                const uint8_t* p = &output[x * BitPerPixel(out) / 8];
                if (out == PixelType_Mono8) {
                    EXPECT_NEAR(p[0], 0.299 * 200 + 0.587 * 100 + 0.114 * 40, 1.0);
                } else if (out == PixelType_RGB8packed) {
                    EXPECT_EQ((Rgb{p[0], p[1], p[2]}.r), row.expected.r);
                    EXPECT_EQ(p[1], row.expected.g);
                    EXPECT_EQ(p[2], row.expected.b);
                } else {
                    EXPECT_EQ(p[2], row.expected.r);
                    EXPECT_EQ(p[1], row.expected.g);
                    EXPECT_EQ(p[0], row.expected.b);
                    if (out == PixelType_BGRA8packed) {
                        // Alpha is opaque, except that an image of the output type is copied as it is.
                        EXPECT_EQ(p[3], row.type == PixelType_BGRA8packed ? 7 : 255);
                    }
                }
            }
        }
    }
}

TEST(ImageFormatConverter, PlanarRgbReadsThreePlanes)
{
    // 2x1 pixels, planes R, G, B each one line.
    const std::vector<uint8_t> input = {200, 10, 100, 20, 40, 30};
    CImageFormatConverter converter;
    converter.SetOutputPixelFormat(PixelType_BGR8packed);
    const auto output = convert(converter, input, PixelType_RGB8planar, 2, 1);
    EXPECT_EQ(output, (std::vector<uint8_t>{40, 100, 200, 30, 20, 10}));
}

TEST(ImageFormatConverter, YuvFamiliesFollowBt601FullRange)
{
    // (Y, U, V) triples and their RGB by the floating-point formula.
    const int yuv[][3] = {{128, 128, 128}, {76, 85, 255},   {150, 44, 21},
                          {29, 255, 107},  {255, 128, 128}, {0, 128, 128}};
    auto reference = [](int y, int u, int v) {
        auto c = [](double x) { return int(std::lround(std::min(255.0, std::max(0.0, x)))); };
        return Rgb{c(y + 1.402 * (v - 128)), c(y - 0.344136 * (u - 128) - 0.714136 * (v - 128)),
                   c(y + 1.772 * (u - 128))};
    };
    for (EPixelType type : {PixelType_YUV422_YUYV_Packed, PixelType_YCbCr422_8, PixelType_YUV422packed,
                            PixelType_YUV444packed, PixelType_YUV411packed}) {
        SCOPED_TRACE(CPixelTypeMapper::GetNameByPixelType(type));
        for (const auto& t : yuv) {
            // Four pixels of one colour; the luma of pixel 1 differs to catch a mixed-up luma order.
            const int y0 = t[0], y1 = 255 - t[0], u = t[1], v = t[2];
            std::vector<uint8_t> in;
            switch (type) {
            case PixelType_YUV422packed:
                in = {uint8_t(u), uint8_t(y0), uint8_t(v), uint8_t(y1),
                      uint8_t(u), uint8_t(y0), uint8_t(v), uint8_t(y0)};
                break;
            case PixelType_YUV444packed:
                in = {uint8_t(u), uint8_t(y0), uint8_t(v), uint8_t(u), uint8_t(y1), uint8_t(v),
                      uint8_t(u), uint8_t(y0), uint8_t(v), uint8_t(u), uint8_t(y0), uint8_t(v)};
                break;
            case PixelType_YUV411packed:
                in = {uint8_t(u), uint8_t(y0), uint8_t(y1), uint8_t(v), uint8_t(y0), uint8_t(y0)};
                break;
            default:
                in = {uint8_t(y0), uint8_t(u), uint8_t(y1), uint8_t(v),
                      uint8_t(y0), uint8_t(u), uint8_t(y0), uint8_t(v)};
                break;
            }
            CImageFormatConverter converter;
            converter.SetOutputPixelFormat(PixelType_BGRA8packed);
            const auto output = convert(converter, in, type, 4, 1);
            for (uint32_t x = 0; x < 4; ++x) {
                const Rgb expected = reference(x == 1 ? y1 : y0, u, v);
                const Rgb got = bgraAt(output, 16, x, 0);
                EXPECT_NEAR(got.r, expected.r, 2) << x;
                EXPECT_NEAR(got.g, expected.g, 2) << x;
                EXPECT_NEAR(got.b, expected.b, 2) << x;
            }
            converter.SetOutputPixelFormat(PixelType_Mono8);
            const auto grey = convert(converter, in, type, 4, 1);
            EXPECT_EQ(grey, (std::vector<uint8_t>{uint8_t(y0), uint8_t(y1), uint8_t(y0), uint8_t(y0)}));
        }
    }
}

TEST(ImageFormatConverter, LineOrderAndPaddingOfInputAndOutput)
{
    // Mono8 3x3 stored bottom-up with 2 bytes of input padding, converted to top-down BGR8 with padding 1.
    const std::vector<std::vector<uint32_t>> pictureTopDown = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    const auto input = packImage(PixelType_Mono8, {pictureTopDown[2], pictureTopDown[1], pictureTopDown[0]}, 2);
    CImageFormatConverter converter;
    converter.SetOutputPixelFormat(PixelType_BGR8packed);
    converter.SetOutputPaddingX(1);
    converter.SetOutputOrientation(OutputOrientation_TopDown);
    auto output = convert(converter, input, PixelType_Mono8, 3, 3, 2, ImageOrientation_BottomUp);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 3; ++x)
            EXPECT_EQ(output[y * 10 + 3 * x], pictureTopDown[y][x]);

    // Unchanged keeps bottom-up; the same-type path copies lines and honours padding too.
    converter.SetOutputPixelFormat(PixelType_Mono8);
    converter.SetOutputOrientation(OutputOrientation_Unchanged);
    output = convert(converter, input, PixelType_Mono8, 3, 3, 2, ImageOrientation_BottomUp);
    EXPECT_EQ(output, (std::vector<uint8_t>{7, 8, 9, 0xCD, 4, 5, 6, 0xCD, 1, 2, 3, 0xCD}));
    EXPECT_TRUE(converter.ImageHasDestinationFormat(PixelType_Mono8, 1, ImageOrientation_BottomUp));
    EXPECT_FALSE(converter.ImageHasDestinationFormat(PixelType_Mono8, 0, ImageOrientation_BottomUp));

    converter.SetOutputOrientation(OutputOrientation_BottomUp);
    output = convert(converter, packImage(PixelType_Mono8, pictureTopDown, 0), PixelType_Mono8, 3, 3);
    EXPECT_EQ(output, (std::vector<uint8_t>{7, 8, 9, 0xCD, 4, 5, 6, 0xCD, 1, 2, 3, 0xCD}));
}

TEST(ImageFormatConverter, ImagesConvertIntoOwnedResults)
{
    CNimboImage source;
    const std::vector<uint8_t> pixels = {10, 20, 30, 40};
    source.CopyBuffer(pixels.data(), pixels.size(), PixelType_Mono8, 2, 2, 0);
    CImageFormatConverter converter;
    converter.SetOutputPixelFormat(PixelType_BGRA8packed);
    CNimboImage result;
    converter.Convert(result, source);
    ASSERT_TRUE(result.IsValid());
    EXPECT_EQ(result.GetPixelType(), PixelType_BGRA8packed);
    EXPECT_EQ(result.GetImageSize(), 16u);
    EXPECT_EQ(result.GetPixelData(1, 1).RGB.R, 40u);
    // Converting an image into itself reads a copy of it first.
    converter.SetOutputPixelFormat(PixelType_Mono8);
    converter.Convert(result, result);
    EXPECT_EQ(result.GetPixelType(), PixelType_Mono8);
    EXPECT_EQ(std::vector<uint8_t>(static_cast<const uint8_t*>(result.GetBuffer()),
                                   static_cast<const uint8_t*>(result.GetBuffer()) + 4),
              pixels);
}

TEST(ImageFormatConverter, RefusesWhatItCannotDoSafely)
{
    CImageFormatConverter converter;
    EXPECT_TRUE(CImageFormatConverter::IsSupportedInputFormat(PixelType_BayerGB12p));
    EXPECT_TRUE(CImageFormatConverter::IsSupportedInputFormat(PixelType_YCbCr422_8));
    EXPECT_FALSE(CImageFormatConverter::IsSupportedInputFormat(PixelType_BGR10V1packed));
    EXPECT_FALSE(CImageFormatConverter::IsSupportedInputFormat(PixelType_Undefined));
    EXPECT_THROW(converter.SetOutputPixelFormat(PixelType_Mono16), GenICam::InvalidArgumentException);
    EXPECT_EQ(converter.GetOutputPixelFormat(), PixelType_BGRA8packed);

    std::vector<uint8_t> in(4 * 4), out(4 * 4 * 4);
    // One byte short of the input image, of the output, null buffers, unknown type.
    EXPECT_THROW(converter.Convert(out.data(), out.size(), in.data(), in.size() - 1, PixelType_BayerRG8, 4, 4, 0,
                                   ImageOrientation_TopDown),
                 GenICam::InvalidArgumentException);
    EXPECT_THROW(converter.Convert(out.data(), out.size() - 1, in.data(), in.size(), PixelType_BayerRG8, 4, 4, 0,
                                   ImageOrientation_TopDown),
                 GenICam::InvalidArgumentException);
    EXPECT_THROW(converter.Convert(out.data(), out.size(), in.data(), in.size(), PixelType_Mono8, 4, 4, 1,
                                   ImageOrientation_TopDown),
                 GenICam::InvalidArgumentException); // padding makes the input image larger than its buffer
    EXPECT_THROW(converter.Convert(nullptr, out.size(), in.data(), in.size(), PixelType_Mono8, 4, 4, 0,
                                   ImageOrientation_TopDown),
                 GenICam::InvalidArgumentException);
    EXPECT_THROW(converter.Convert(out.data(), out.size(), in.data(), in.size(), PixelType_BGR10V2packed, 1, 1, 0,
                                   ImageOrientation_TopDown),
                 GenICam::InvalidArgumentException);
    // Empty images convert to nothing without touching memory.
    EXPECT_NO_THROW(
        converter.Convert(out.data(), 0, in.data(), 0, PixelType_BayerRG8, 0, 4, 0, ImageOrientation_TopDown));
}

TEST(ImageFormatConverterNodeMap, NodesReadAndWriteTheParameters)
{
    using namespace GenApi;
    CImageFormatConverter converter;
    INodeMap* map = converter.GetNodeMap();
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map, converter.GetNodeMap());
    CEnumerationPtr format = map->GetNode("OutputPixelFormat");
    CIntegerPtr padding = map->GetNode("OutputPaddingX");
    CEnumerationPtr orientation = map->GetNode("OutputOrientation");
    CEnumerationPtr edges = map->GetNode("InconvertibleEdgeHandling");
    ASSERT_TRUE(format.IsValid() && padding.IsValid() && orientation.IsValid() && edges.IsValid());

    // The C++ side shows in the nodes ...
    EXPECT_EQ(format->ToString(), "BGRa8");
    converter.SetOutputPixelFormat(PixelType_Mono8);
    converter.SetOutputPaddingX(3);
    EXPECT_EQ(format->ToString(), "Mono8");
    EXPECT_EQ(format->GetIntValue(), PixelType_Mono8);
    EXPECT_EQ(padding->GetValue(), 3);

    // ... and the nodes set the C++ side, with the same checks.
    format->FromString("BGR8");
    padding->SetValue(5);
    orientation->FromString("TopDown");
    edges->FromString("SetZero");
    EXPECT_EQ(converter.GetOutputPixelFormat(), PixelType_BGR8packed);
    EXPECT_EQ(converter.GetOutputPaddingX(), 5u);
    EXPECT_EQ(converter.GetOutputOrientation(), OutputOrientation_TopDown);
    EXPECT_EQ(converter.GetInconvertibleEdgeHandling(), InconvertibleEdgeHandling_SetZero);
    EXPECT_ANY_THROW(format->FromString("Mono16"));
    EXPECT_ANY_THROW(padding->SetValue(-1));
    EXPECT_EQ(converter.GetOutputPixelFormat(), PixelType_BGR8packed);

    // Restricting a node (as the display does with padding and edge handling) leaves the C++ side free.
    padding->GetNode()->ImposeAccessMode(RO);
    EXPECT_FALSE(IsWritable(padding));
    converter.SetOutputPaddingX(8);
    EXPECT_EQ(padding->GetValue(), 8);
}

TEST(ImageFormatConverter, BayerMatchesAPlainBilinearReferenceOnNoise)
{
    // Per pixel, with mirrored neighbours, written as plainly as possible; the converter's line loops
    // (pairs of sites, first and last columns) must agree with it everywhere.
    auto reference = [](const std::vector<uint8_t>& v, int w, int h, int rx, int ry, int x, int y) {
        auto at = [&](int i, int j) {
            auto mirror = [](int k, int n) { return k < 0 ? (n > 1 ? 1 : 0) : k >= n ? (n > 1 ? n - 2 : 0) : k; };
            return int(v[size_t(mirror(j, h) * w + mirror(i, w))]);
        };
        const int cross = (at(x - 1, y) + at(x + 1, y) + at(x, y - 1) + at(x, y + 1) + 2) / 4;
        const int diagonal = (at(x - 1, y - 1) + at(x + 1, y - 1) + at(x - 1, y + 1) + at(x + 1, y + 1) + 2) / 4;
        const int horizontal = (at(x - 1, y) + at(x + 1, y) + 1) / 2;
        const int vertical = (at(x, y - 1) + at(x, y + 1) + 1) / 2;
        const bool redLine = (y & 1) == ry, redColumn = (x & 1) == rx;
        if (redLine && redColumn)
            return Rgb{at(x, y), cross, diagonal};
        if (!redLine && !redColumn)
            return Rgb{diagonal, cross, at(x, y)};
        if (redLine)
            return Rgb{horizontal, at(x, y), vertical};
        return Rgb{vertical, at(x, y), horizontal};
    };
    struct Row {
        EPixelType type;
        int rx, ry;
    };
    uint32_t seed = 7;
    for (const Row& row : {Row{PixelType_BayerRG8, 0, 0}, Row{PixelType_BayerGB8, 0, 1}, Row{PixelType_BayerGR8, 1, 0},
                           Row{PixelType_BayerBG8, 1, 1}}) {
        for (const auto& size : {std::pair<int, int>{1, 1}, {1, 4}, {5, 1}, {2, 2}, {7, 5}, {8, 6}}) {
            const int w = size.first, h = size.second;
            SCOPED_TRACE(testing::Message() << CPixelTypeMapper::GetNameByPixelType(row.type) << " " << w << "x" << h);
            std::vector<uint8_t> input(size_t(w * h));
            for (auto& b : input) {
                seed = seed * 1103515245u + 12345u;
                b = uint8_t(seed >> 16);
            }
            CImageFormatConverter converter;
            converter.SetOutputPixelFormat(PixelType_BGRA8packed);
            const auto output = convert(converter, input, row.type, uint32_t(w), uint32_t(h));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const Rgb want = reference(input, w, h, row.rx, row.ry, x, y);
                    const Rgb got = bgraAt(output, size_t(4 * w), uint32_t(x), uint32_t(y));
                    ASSERT_EQ(got.r, want.r) << x << "," << y;
                    ASSERT_EQ(got.g, want.g) << x << "," << y;
                    ASSERT_EQ(got.b, want.b) << x << "," << y;
                }
        }
    }
}

TEST(ImageFormatConverter, OddWidthYuvLinesEndInAHalfGroup)
{
    // Width 3 in YUYV: two groups per line (8 bytes), the last pixel of the second group is not in the image.
    const std::vector<uint8_t> input = {10, 128, 20, 128, 30, 128, 99, 128,  // line 0
                                        40, 128, 50, 128, 60, 128, 99, 128}; // line 1
    CImageFormatConverter converter;
    converter.SetOutputPixelFormat(PixelType_Mono8);
    EXPECT_EQ(convert(converter, input, PixelType_YUV422_YUYV_Packed, 3, 2),
              (std::vector<uint8_t>{10, 20, 30, 40, 50, 60}));
}

namespace {

std::vector<uint8_t> noise(size_t bytes, uint32_t seed)
{
    std::vector<uint8_t> data(bytes);
    for (auto& b : data) {
        seed = seed * 1103515245u + 12345u;
        b = uint8_t(seed >> 16);
    }
    return data;
}

} // namespace

TEST(ImageFormatConverter, Yuv422OrdersMatchTheFormulaAtEveryWidthPaddingAndLineOrder)
{
    struct Order {
        EPixelType type;
        int y0, u, y1, v; // byte offsets in a group of two pixels
    };
    const Order orders[] = {{PixelType_YUV422_YUYV_Packed, 0, 1, 2, 3},
                            {PixelType_YCbCr422_8, 0, 1, 2, 3},
                            {PixelType_YUV422packed, 1, 0, 3, 2}};
    auto reference = [](int y, int u, int v) {
        auto c = [](double x) { return int(std::lround(std::min(255.0, std::max(0.0, x)))); };
        return Rgb{c(y + 1.402 * (v - 128)), c(y - 0.344136 * (u - 128) - 0.714136 * (v - 128)),
                   c(y + 1.772 * (u - 128))};
    };
    // Widths around the vector lengths and the 512-pixel slices of the 3-byte outputs, odd ones ending in
    // half a group.
    for (uint32_t width : {1u, 2u, 3u, 17u, 64u, 515u, 1031u}) {
        for (const Order& order : orders) {
            for (EPixelType out : {PixelType_BGRA8packed, PixelType_RGB8packed, PixelType_BGR8packed, PixelType_Mono8}) {
                SCOPED_TRACE(std::string(CPixelTypeMapper::GetNameByPixelType(order.type)) + " -> " +
                             CPixelTypeMapper::GetNameByPixelType(out) + ", width " + std::to_string(width));
                const uint32_t height = 3;
                const size_t inPadding = 5, outPadding = 3;
                const size_t inStride = ComputeStride(order.type, width, inPadding);
                const auto input = noise(inStride * height, width * 31 + uint32_t(order.type));
                CImageFormatConverter converter;
                converter.SetOutputPixelFormat(out);
                converter.SetOutputPaddingX(outPadding);
                converter.SetOutputOrientation(OutputOrientation_TopDown);
                const auto output = convert(converter, input, order.type, width, height, inPadding,
                                            ImageOrientation_BottomUp);
                const size_t outStride = ComputeStride(out, width, outPadding);
                const size_t bytes = out == PixelType_BGRA8packed ? 4 : out == PixelType_Mono8 ? 1 : 3;
                for (uint32_t y = 0; y < height; ++y) {
                    const uint8_t* line = input.data() + (height - 1 - y) * inStride; // bottom-up input
                    const uint8_t* got = output.data() + y * outStride;
                    for (uint32_t x = 0; x < width; ++x) {
                        const uint8_t* group = line + 4 * (x / 2);
                        const int luma = group[x % 2 ? order.y1 : order.y0];
                        const uint8_t* p = got + x * bytes;
                        if (out == PixelType_Mono8) {
                            ASSERT_EQ(p[0], luma) << x << "," << y;
                            continue;
                        }
                        const Rgb want = reference(luma, group[order.u], group[order.v]);
                        const Rgb have = out == PixelType_RGB8packed ? Rgb{p[0], p[1], p[2]} : Rgb{p[2], p[1], p[0]};
                        ASSERT_NEAR(have.r, want.r, 2) << x << "," << y;
                        ASSERT_NEAR(have.g, want.g, 2) << x << "," << y;
                        ASSERT_NEAR(have.b, want.b, 2) << x << "," << y;
                        if (out == PixelType_BGRA8packed)
                            ASSERT_EQ(p[3], 255) << x << "," << y;
                    }
                    // The output padding is left as it was.
                    for (size_t i = width * bytes; i < outStride; ++i)
                        ASSERT_EQ(got[i], 0xCD) << "padding byte " << i << " of line " << y;
                }
            }
        }
    }
}

TEST(ImageFormatConverter, SplittingLinesOverThreadsGivesTheSameBytesAsOneThread)
{
    struct Case {
        EPixelType in;
        uint32_t width, height;
        EImageOrientation orientation;
    };
    // Bayer and packed inputs go through a plane first; planar RGB reads its planes by the full height.
    const Case cases[] = {{PixelType_YUV422_YUYV_Packed, 37, 29, ImageOrientation_TopDown},
                          {PixelType_YUV422packed, 600, 7, ImageOrientation_BottomUp},
                          {PixelType_BayerRG8, 23, 31, ImageOrientation_BottomUp},
                          {PixelType_BayerGB12Packed, 19, 17, ImageOrientation_TopDown},
                          {PixelType_Mono8, 41, 5, ImageOrientation_TopDown},
                          {PixelType_Mono12, 9, 11, ImageOrientation_BottomUp},
                          {PixelType_RGB8planar, 13, 9, ImageOrientation_TopDown},
                          {PixelType_BGR8packed, 15, 3, ImageOrientation_BottomUp},
                          {PixelType_YUV411packed, 12, 8, ImageOrientation_TopDown}};
    for (const Case& c : cases) {
        for (EPixelType out : {PixelType_BGRA8packed, PixelType_RGB8packed, PixelType_Mono8}) {
            for (auto edges : {InconvertibleEdgeHandling_Extend, InconvertibleEdgeHandling_SetZero}) {
                SCOPED_TRACE(std::string(CPixelTypeMapper::GetNameByPixelType(c.in)) + " -> " +
                             CPixelTypeMapper::GetNameByPixelType(out) + ", edges " + std::to_string(edges));
                const size_t padding = 2;
                const auto input = noise(ComputeBufferSize(c.in, c.width, c.height, padding), c.width * c.height);
                auto run = [&](unsigned threads) {
                    CImageFormatConverter converter;
                    converter.SetOutputPixelFormat(out);
                    converter.SetOutputPaddingX(1);
                    converter.SetInconvertibleEdgeHandling(edges);
                    converter.SetThreadCount(threads);
                    EXPECT_EQ(converter.GetThreadCount(), threads);
                    return convert(converter, input, c.in, c.width, c.height, padding, c.orientation);
                };
                const auto one = run(1);
                EXPECT_EQ(run(2), one);
                EXPECT_EQ(run(4), one);
                EXPECT_EQ(run(0), one);
            }
        }
    }
}

TEST(ImageFormatConverter, ConvertersOnSeveralThreadsShareThePoolSafely)
{
    // Display and recording convert at the same time through the one pool; each gets its own result.
    const uint32_t width = 640, height = 480;
    const auto input = noise(ComputeBufferSize(PixelType_YCbCr422_8, width, height), 7);
    CImageFormatConverter single;
    single.SetThreadCount(1);
    const auto expected = convert(single, input, PixelType_YCbCr422_8, width, height);
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            CImageFormatConverter converter;
            converter.SetThreadCount(4);
            for (int i = 0; i < 20; ++i)
                if (convert(converter, input, PixelType_YCbCr422_8, width, height) != expected)
                    ++mismatches;
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, 0);
}
