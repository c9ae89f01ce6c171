// The MP4 encoder: files that ffprobe reads with the expected frames, size, rate and colour for every
// kind of pixel type, odd sizes and padded lines; refused frames; failed starts that leave nothing.
#include "LibavAdapter.h"
#include "MediaTestSupport.h"
#include "MediaWriterFactory.h"
#include "VideoEncoder.h"

#include <testsupport/FileSizeLimit.h>
#include <testsupport/LogCapture.h>
#include <testsupport/TempDir.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <gtest/gtest.h>
#include <log4cpp/Priority.hh>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

using Nimbo::EPixelType;

class VideoEncoderTest : public testsupport::TempDirTest {
protected:
    // A folder without libav of its own: the libraries come from the system's path.
    std::string libRoot() const { return stdPath(); }

    // Records `frames` frames of one kind and closes the file.
    void record(const QString& name, EPixelType type, uint32_t width, uint32_t height, int frames, double fps = 25.0,
                size_t paddingX = 0)
    {
        VideoEncoder encoder(0, fps, 400000);
        encoder.open(libRoot().c_str(), stdFilePath(name).c_str(), width, height, type);
        const std::vector<uint8_t> frame = mediatest::makeFrame(type, width, height, paddingX);
        for (int i = 0; i < frames; ++i)
            encoder.addFrame(frame.data(), frame.size(), type, width, height, paddingX);
        encoder.close();
        EXPECT_FALSE(encoder.isOpen());
        EXPECT_EQ(encoder.imageCount(), frames); // the finished file holds them all
    }
};

struct ColourCase {
    EPixelType type;
    uint32_t width, height;
    size_t paddingX;
    bool colour;
};

// Names the case in test lists instead of dumping its bytes.
void PrintTo(const ColourCase& c, std::ostream* os)
{
    *os << "pixel type 0x" << std::hex << static_cast<uint32_t>(c.type) << std::dec << ", " << c.width << "x"
        << c.height << " + " << c.paddingX;
}

class VideoEncoderColourTest : public VideoEncoderTest, public ::testing::WithParamInterface<ColourCase> {};

// Each recording is read back: frame count, the even size, the duration and the colour of the
// picture (mono grey, colour types red: U below and V above neutral). The padding bytes are bright,
// so lines read at the wrong stride would show bright pixels.
TEST_P(VideoEncoderColourTest, RecordsFramesWithTheirColour)
{
    const ColourCase c = GetParam();
    testsupport::LogCapture log;
    record("clip.mp4", c.type, c.width, c.height, 10, 25.0, c.paddingX);

    const auto info = mediatest::probe(filePath("clip.mp4"));
    ASSERT_EQ(info.count("error"), 0u) << info.at("error");
    const int width = int(c.width & ~1u), height = int(c.height & ~1u);
    EXPECT_EQ(info.at("width"), std::to_string(width));
    EXPECT_EQ(info.at("height"), std::to_string(height));
    EXPECT_EQ(info.at("nb_read_frames"), "10");
    EXPECT_EQ(info.at("pix_fmt"), "yuvj420p"); // 4:2:0 at full range, as ffprobe names it
    EXPECT_EQ(info.at("r_frame_rate"), "25/1");
    EXPECT_NEAR(std::stod(info.at("duration")), 0.4, 0.001);
    if ((c.width | c.height) & 1u) {
        EXPECT_TRUE(log.contains("are recorded as " + std::to_string(width) + " x " + std::to_string(height)));
    }

    const mediatest::PlaneStatistics stats = mediatest::decodeFirstFrame(filePath("clip.mp4"), width, height);
    ASSERT_TRUE(stats.valid);
    if (c.colour) {
        EXPECT_LT(stats.meanU, 118.0);
        EXPECT_GT(stats.meanV, 170.0);
    } else {
        EXPECT_NEAR(stats.meanU, 128.0, 2.0);
        EXPECT_NEAR(stats.meanV, 128.0, 2.0);
        EXPECT_NEAR(stats.meanY, 60.0, 4.0);
        EXPECT_LT(stats.maxY, 90);
    }
}

INSTANTIATE_TEST_SUITE_P(PixelTypes, VideoEncoderColourTest,
                         ::testing::Values(ColourCase{Nimbo::PixelType_Mono8, 64, 48, 0, false},
                                           ColourCase{Nimbo::PixelType_Mono8, 65, 49, 3, false},
                                           ColourCase{Nimbo::PixelType_Mono12, 64, 48, 4, false},
                                           ColourCase{Nimbo::PixelType_BayerRG8, 64, 48, 0, true},
                                           ColourCase{Nimbo::PixelType_BayerRG8, 67, 47, 5, true},
                                           ColourCase{Nimbo::PixelType_BayerBG12, 64, 48, 0, true},
                                           ColourCase{Nimbo::PixelType_RGB8packed, 64, 48, 0, true},
                                           ColourCase{Nimbo::PixelType_BGR8packed, 63, 48, 7, true},
                                           ColourCase{Nimbo::PixelType_BGRA8packed, 64, 48, 0, true},
                                           ColourCase{Nimbo::PixelType_YUV422_YUYV_Packed, 64, 48, 0, true},
                                           ColourCase{Nimbo::PixelType_YUV422_YUYV_Packed, 65, 49, 2, true},
                                           ColourCase{Nimbo::PixelType_YUV422packed, 64, 48, 6, true},
                                           ColourCase{Nimbo::PixelType_YUV444packed, 64, 48, 0, true},
                                           ColourCase{Nimbo::PixelType_YUV411packed, 64, 48, 0, true},
                                           // Through the SDK converter first.
                                           ColourCase{Nimbo::PixelType_Mono12packed, 64, 48, 3, false},
                                           ColourCase{Nimbo::PixelType_BGR12packed, 65, 48, 2, true}),
                         [](const ::testing::TestParamInfo<ColourCase>& info) {
                             std::string name = Nimbo::CPixelTypeMapper::GetNameByPixelType(info.param.type);
                             name += "_" + std::to_string(info.param.width) + "x" + std::to_string(info.param.height) +
                                     "_padding" + std::to_string(info.param.paddingX);
                             for (char& character : name)
                                 if (!isalnum(static_cast<unsigned char>(character)))
                                     character = '_';
                             return name;
                         });

// A colour chart of eight patches, 32 x 32 pixels each, in two rows of four: dark and light greys
// that show a wrong range at once, and colours that show a wrong matrix.
struct Rgb {
    int r, g, b;
};
constexpr uint32_t kPatch = 32, kChartWidth = 4 * kPatch, kChartHeight = 2 * kPatch;
const Rgb kChart[8] = {{200, 60, 50},   {60, 170, 70}, {50, 80, 200},   {220, 200, 60},
                       {128, 128, 128}, {24, 24, 24},  {240, 240, 240}, {170, 90, 160}};

Rgb chartAt(uint32_t x, uint32_t y)
{
    return kChart[(y / kPatch) * 4 + x / kPatch];
}

// Full-range BT.601, as the camera delivers YCbCr and the SDK's converter reads it.
int lumaOf(const Rgb& c)
{
    return std::clamp(int(std::lround(0.299 * c.r + 0.587 * c.g + 0.114 * c.b)), 0, 255);
}

std::vector<uint8_t> chartFrame(EPixelType type)
{
    using namespace Nimbo;
    const size_t stride = ComputeStride(type, kChartWidth, 0);
    std::vector<uint8_t> frame(stride * kChartHeight);
    for (uint32_t y = 0; y < kChartHeight; ++y) {
        uint8_t* line = frame.data() + y * stride;
        for (uint32_t x = 0; x < kChartWidth; ++x) {
            const Rgb c = chartAt(x, y);
            switch (type) {
            case PixelType_RGB8packed: line[3 * x] = c.r, line[3 * x + 1] = c.g, line[3 * x + 2] = c.b; break;
            case PixelType_BGR8packed: line[3 * x] = c.b, line[3 * x + 1] = c.g, line[3 * x + 2] = c.r; break;
            case PixelType_BayerRG8: line[x] = (y % 2 == 0 && x % 2 == 0) ? c.r : (y % 2 && x % 2) ? c.b : c.g; break;
            case PixelType_Mono8: line[x] = uint8_t(lumaOf(c)); break;
            case PixelType_YCbCr422_8: { // Y0 Cb Y1 Cr; both pixels of a pair lie in one patch
                const double cb = 128.0 - 0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b;
                const double cr = 128.0 + 0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b;
                line[2 * x] = uint8_t(lumaOf(c));
                line[2 * x + 1] = uint8_t(std::clamp(int(std::lround(x % 2 ? cr : cb)), 0, 255));
                break;
            }
            default: break;
            }
        }
    }
    return frame;
}

// The first frame decoded by ffmpeg to RGB, as players show it.
std::vector<uint8_t> decodeToRgb(const QString& fileName)
{
    QByteArray raw;
    const QString error = mediatest::runTool(
        QStringLiteral("ffmpeg"),
        {"-v", "error", "-i", fileName, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"}, &raw);
    if (!error.isEmpty() || size_t(raw.size()) != size_t(kChartWidth) * kChartHeight * 3)
        return {};
    return std::vector<uint8_t>(raw.begin(), raw.end());
}

class VideoEncoderChartTest : public VideoEncoderTest, public ::testing::WithParamInterface<EPixelType> {};

// Every input family ends up in the file the same way and is tagged so: the chart decoded by ffmpeg
// matches the source patches (the mono chart its greys).
TEST_P(VideoEncoderChartTest, ChartDecodesToItsColours)
{
    const EPixelType type = GetParam();
    {
        VideoEncoder encoder(0, 25.0, 8000000);
        encoder.open(libRoot().c_str(), stdFilePath("chart.mp4").c_str(), kChartWidth, kChartHeight, type);
        const std::vector<uint8_t> frame = chartFrame(type);
        for (int i = 0; i < 5; ++i)
            encoder.addFrame(frame.data(), frame.size(), type, kChartWidth, kChartHeight);
        encoder.close();
    }
    QByteArray tags;
    ASSERT_EQ(mediatest::runTool(QStringLiteral("ffprobe"),
                                 {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                  "stream=color_range,color_space,color_primaries,color_transfer", "-of",
                                  "default=noprint_wrappers=1", filePath("chart.mp4")},
                                 &tags),
              QString());
    EXPECT_TRUE(tags.contains("color_range=pc")) << tags.toStdString();
    EXPECT_TRUE(tags.contains("color_space=smpte170m")) << tags.toStdString();
    EXPECT_TRUE(tags.contains("color_primaries=bt709")) << tags.toStdString();
    EXPECT_TRUE(tags.contains("color_transfer=bt709")) << tags.toStdString();

    const std::vector<uint8_t> rgb = decodeToRgb(filePath("chart.mp4"));
    ASSERT_FALSE(rgb.empty());
    const bool mono = type == Nimbo::PixelType_Mono8;
    for (int patch = 0; patch < 8; ++patch) {
        SCOPED_TRACE(patch);
        // The middle of the patch, away from the edges that demosaicing and chroma blend.
        const uint32_t left = (patch % 4) * kPatch + 10, top = (patch / 4) * kPatch + 10;
        double sum[3] = {0, 0, 0};
        for (uint32_t y = top; y < top + 12; ++y)
            for (uint32_t x = left; x < left + 12; ++x)
                for (int channel = 0; channel < 3; ++channel)
                    sum[channel] += rgb[(size_t(y) * kChartWidth + x) * 3 + channel];
        const Rgb source = kChart[patch];
        const int grey = lumaOf(source);
        const int expected[3] = {mono ? grey : source.r, mono ? grey : source.g, mono ? grey : source.b};
        for (int channel = 0; channel < 3; ++channel)
            EXPECT_NEAR(sum[channel] / 144.0, expected[channel], 6.0) << "channel " << channel;
    }
}

INSTANTIATE_TEST_SUITE_P(InputFamilies, VideoEncoderChartTest,
                         ::testing::Values(Nimbo::PixelType_YCbCr422_8, Nimbo::PixelType_BayerRG8,
                                           Nimbo::PixelType_RGB8packed, Nimbo::PixelType_BGR8packed,
                                           Nimbo::PixelType_Mono8),
                         [](const ::testing::TestParamInfo<EPixelType>& info) {
                             std::string name = Nimbo::CPixelTypeMapper::GetNameByPixelType(info.param);
                             for (char& character : name)
                                 if (!isalnum(static_cast<unsigned char>(character)))
                                     character = '_';
                             return name;
                         });

// A recording cut off without its trailer (the program killed, the power lost) is read by players
// up to about a second before the cut: what the file holds while still open is such a file.
TEST_F(VideoEncoderTest, FileCutOffWithoutTrailerStaysReadable)
{
    constexpr int kFrames = 100; // 4 s at 25 frames per second
    VideoEncoder encoder(0, 25.0, 400000);
    encoder.open(libRoot().c_str(), stdFilePath("live.mp4").c_str(), 64, 48, Nimbo::PixelType_BayerRG8);
    for (int i = 0; i < kFrames; ++i) {
        auto frame = mediatest::makeFrame(Nimbo::PixelType_BayerRG8, 64, 48);
        frame[size_t(i) % frame.size()] ^= 0x55; // frames that differ, as a camera's do
        encoder.addFrame(frame.data(), frame.size(), Nimbo::PixelType_BayerRG8, 64, 48);
    }
    ASSERT_TRUE(QFile::copy(filePath("live.mp4"), filePath("cut.mp4")));
    encoder.close();

    QByteArray output;
    mediatest::runTool(QStringLiteral("ffprobe"),
                       {"-v", "quiet", "-count_frames", "-select_streams", "v:0", "-show_entries",
                        "stream=nb_read_frames", "-of", "default=noprint_wrappers=1:nokey=1", filePath("cut.mp4")},
                       &output);
    bool isNumber = false;
    const int readable = output.trimmed().toInt(&isNumber);
    ASSERT_TRUE(isNumber) << output.toStdString();
    EXPECT_GE(readable, kFrames - 2 * 25) << "frames readable from the cut file";
    EXPECT_LE(readable, kFrames);
    EXPECT_EQ(mediatest::probe(filePath("live.mp4")).at("nb_read_frames"), std::to_string(kFrames));
}

// A time-lapse plays far faster than it is recorded: here 100 frames a second of playback from frames
// that come four a second. Its key frames are a hundred frames apart, and the encoder's threads hold a
// dozen frames, yet a file cut off while recording holds every frame but those of the last two seconds
// or so: what stays in memory is bounded by the wall time, not only by the frame count. Frames that
// come more than a second apart are in the file as soon as they are added.
TEST_F(VideoEncoderTest, SlowFramesReachTheFileWithinSeconds)
{
    using Clock = std::chrono::steady_clock;
    constexpr int kQuickFrames = 14;                // 250 ms apart
    constexpr int kSlowFrames = 2;                  // 1100 ms apart
    constexpr uint32_t kWidth = 640, kHeight = 480; // tall enough for a dozen encoding threads
    VideoEncoder encoder(0, 100.0, 4000000);
    encoder.open(libRoot().c_str(), stdFilePath("lapse.mp4").c_str(), kWidth, kHeight, Nimbo::PixelType_Mono8);
    auto frame = mediatest::makeFrame(Nimbo::PixelType_Mono8, kWidth, kHeight);
    std::vector<Clock::time_point> added;
    auto add = [&](std::chrono::milliseconds pace) {
        if (!added.empty()) // the camera's pace
            std::this_thread::sleep_until(added.back() + pace);
        std::fill(frame.begin(), frame.begin() + (added.size() + 1) * kWidth * 4, uint8_t(200)); // frames differ
        added.push_back(Clock::now());
        encoder.addFrame(frame.data(), frame.size(), Nimbo::PixelType_Mono8, kWidth, kHeight);
    };
    // A file without a single fragment has no frame count ("N/A").
    auto readable = [&](const QString& name) {
        const auto info = mediatest::probe(filePath(name));
        EXPECT_EQ(info.count("error"), 0u) << (info.count("error") ? info.at("error") : "");
        return info.count("nb_read_frames") ? QString::fromStdString(info.at("nb_read_frames")).toInt() : 0;
    };

    for (int i = 0; i < kQuickFrames; ++i)
        add(std::chrono::milliseconds(250));
    ASSERT_TRUE(QFile::copy(filePath("lapse.mp4"), filePath("quick.mp4")));
    const auto lastAdded = added.back();
    const int older = int(std::count_if(added.begin(), added.end(), [&](Clock::time_point t) {
        return lastAdded - t >= std::chrono::milliseconds(2100);
    }));
    ASSERT_GE(older, 1) << "the frames came too fast for this test";
    for (int i = 0; i < kSlowFrames; ++i)
        add(std::chrono::milliseconds(1100));
    ASSERT_TRUE(QFile::copy(filePath("lapse.mp4"), filePath("slow.mp4")));
    encoder.close();

    const int quick = readable("quick.mp4");
    EXPECT_GE(quick, older) << "frames readable from the file cut while frames came four a second";
    EXPECT_LE(quick, kQuickFrames);
    EXPECT_EQ(readable("slow.mp4"), kQuickFrames + kSlowFrames)
        << "frames readable from the file cut after slow frames";
    EXPECT_EQ(readable("lapse.mp4"), kQuickFrames + kSlowFrames);
}

TEST_F(VideoEncoderTest, YuvFourOneOneDropsColumnsThatDoNotFillAGroup)
{
    record("clip.mp4", Nimbo::PixelType_YUV411packed, 66, 48, 3);
    const auto info = mediatest::probe(filePath("clip.mp4"));
    ASSERT_EQ(info.count("error"), 0u) << info.at("error");
    EXPECT_EQ(info.at("width"), "64");
    EXPECT_EQ(info.at("nb_read_frames"), "3");
}

// Rates with a fraction and below one give the exact time base.
TEST_F(VideoEncoderTest, FractionalAndSlowRates)
{
    const struct {
        double fps;
        const char* rate;
        double duration;
    } cases[] = {{29.97, "2997/100", 10 / 29.97},
                 {0.5, "1/2", 20.0},
                 {7.5, "15/2", 10 / 7.5},
                 {1.0 / 3600, "1/3600", 36000.0}}; // one frame an hour plays as one
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        record("rate.mp4", Nimbo::PixelType_Mono8, 32, 32, 10, c.fps);
        const auto info = mediatest::probe(filePath("rate.mp4"));
        ASSERT_EQ(info.count("error"), 0u) << info.at("error");
        // ffprobe guesses the rate of a fragmented file from its times (29.97 may read 30000/1001).
        const std::string rate = info.at("r_frame_rate");
        const size_t slash = rate.find('/');
        ASSERT_NE(slash, std::string::npos) << rate;
        EXPECT_NEAR(std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1)), c.fps, c.fps * 1e-4) << rate;
        EXPECT_EQ(info.at("nb_read_frames"), "10");
        EXPECT_NEAR(std::stod(info.at("duration")), c.duration, c.duration * 1e-3);
        QFile::remove(filePath("rate.mp4"));
    }
}

// Whatever bit rate the quality setting gives records: a small region at a slow playback rate gives a
// few hundred bits a second, below the thousand that the encoder counts in, and the lowest quality none.
TEST_F(VideoEncoderTest, EveryBitRateTheQualityGivesRecords)
{
    const struct {
        uint32_t side;
        double fps;
        int quality;
    } cases[] = {{64, 1.0, 85}, {64, 1.0, 1}, {64, 0.01, 100}, {64, 25.0, 0}, {2, 1000.0, 100}, {64, 1000.0, 100}};
    for (const auto& c : cases) {
        const int64_t bitRate = videoBitRate(c.side, c.side, c.fps, c.quality);
        SCOPED_TRACE(testing::Message() << c.side << " x " << c.side << " at " << c.fps << " frames a second, quality "
                                        << c.quality << ": " << bitRate << " bits a second");
        {
            VideoEncoder encoder(0, c.fps, bitRate);
            encoder.open(libRoot().c_str(), stdFilePath("rate.mp4").c_str(), c.side, c.side, Nimbo::PixelType_Mono8);
            const auto frame = mediatest::makeFrame(Nimbo::PixelType_Mono8, c.side, c.side);
            for (int i = 0; i < 3; ++i)
                encoder.addFrame(frame.data(), frame.size(), Nimbo::PixelType_Mono8, c.side, c.side);
            encoder.close();
        }
        const auto info = mediatest::probe(filePath("rate.mp4"));
        ASSERT_EQ(info.count("error"), 0u) << info.at("error");
        EXPECT_EQ(info.at("nb_read_frames"), "3");
        QFile::remove(filePath("rate.mp4"));
    }
}

TEST_F(VideoEncoderTest, MonoStagingPictureHasNeutralChroma)
{
    VideoEncoder encoder(0, 25.0, 1000000);
    encoder.open(libRoot().c_str(), stdFilePath("mono.mp4").c_str(), 1280, 720, Nimbo::PixelType_Mono8);
    const auto frame = mediatest::makeFrame(Nimbo::PixelType_Mono8, 1280, 720, 0, 77);
    encoder.addFrame(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 1280, 720);
    const std::vector<uint8_t> staging = encoder.picture();
    ASSERT_EQ(staging.size(), 1382400u);
    EXPECT_EQ(std::count(staging.begin(), staging.begin() + 921600, 77), 921600);
    EXPECT_EQ(std::count(staging.begin() + 921600, staging.end(), 128), 460800);
    encoder.close();
    EXPECT_TRUE(encoder.picture().empty());
}

TEST_F(VideoEncoderTest, RefusesFramesThatDoNotFit)
{
    VideoEncoder encoder(0, 25.0, 400000);
    encoder.open(libRoot().c_str(), stdFilePath("clip.mp4").c_str(), 64, 48, Nimbo::PixelType_YUV411packed);
    const auto frame = mediatest::makeFrame(Nimbo::PixelType_YUV411packed, 64, 48);
    ASSERT_EQ(frame.size(), 64u * 48u * 3u / 2u);
    const struct {
        const void* buffer;
        size_t size;
        EPixelType type;
        uint32_t width, height;
        size_t paddingX;
        const char* message;
    } cases[] = {
        {nullptr, frame.size(), Nimbo::PixelType_YUV411packed, 64, 48, 0,
         "Cannot write video frame. The pointer to the image buffer must not be null."},
        {frame.data(), frame.size(), Nimbo::PixelType_YUV411packed, 32, 48, 0,
         "Cannot write video frame. Unexpected image frame width 32, expected width is 64 pixel."},
        {frame.data(), frame.size(), Nimbo::PixelType_YUV411packed, 64, 50, 0,
         "Cannot write video frame. Unexpected image frame height 50, expected height is 48 lines."},
        {frame.data(), frame.size() - 1, Nimbo::PixelType_YUV411packed, 64, 48, 0,
         "Cannot write video frame. The passed input buffer size 4607 is too small. The minimum expected buffer "
         "size is 4608."},
        // Padding makes every line but the last longer.
        {frame.data(), frame.size(), Nimbo::PixelType_YUV411packed, 64, 48, 2,
         "Cannot write video frame. The passed input buffer size 4608 is too small. The minimum expected buffer "
         "size is 4702."},
        {frame.data(), frame.size(), Nimbo::PixelType_BGR10V1packed, 64, 48, 0,
         "Cannot convert source pixel type 35651612 to destination pixel type 0."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        try {
            encoder.addFrame(c.buffer, c.size, c.type, c.width, c.height, c.paddingX);
            ADD_FAILURE() << "no exception";
        } catch (const GenICam::InvalidArgumentException& e) {
            EXPECT_STREQ(e.GetDescription(), c.message);
        }
    }
    // The real size of a YUV 4:1:1 frame is enough, and the refused frames did not count.
    encoder.addFrame(frame.data(), frame.size(), Nimbo::PixelType_YUV411packed, 64, 48);
    encoder.close();
    EXPECT_EQ(encoder.imageCount(), 1);
    EXPECT_EQ(mediatest::probe(filePath("clip.mp4")).at("nb_read_frames"), "1");
}

TEST_F(VideoEncoderTest, FramesNeedAnOpenEncoder)
{
    VideoEncoder encoder(0, 25.0, 400000);
    const auto frame = mediatest::makeFrame(Nimbo::PixelType_Mono8, 16, 16);
    testsupport::LogCapture log;
    try {
        encoder.addFrame(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 16, 16);
        ADD_FAILURE() << "no exception";
    } catch (const GenICam::RuntimeException& e) {
        EXPECT_STREQ(e.GetDescription(), "The video encoder is not open");
    }
    EXPECT_TRUE(log.contains("The video encoder is not open."));
    // Closing an encoder that never opened does nothing.
    EXPECT_NO_THROW(encoder.close());
    EXPECT_FALSE(encoder.isOpen());
}

// libav and its encoders tell what they do through libav's log: those lines go to the recording's log
// at debug level, and a recording prints nothing on the terminal.
TEST_F(VideoEncoderTest, LibavLinesGoToTheRecordingLogNotTheTerminal)
{
    testsupport::LogCapture log;
    std::fflush(stderr);
    const int terminal = ::dup(2);
    const int captured = ::open(stdFilePath("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(terminal, 0);
    ASSERT_GE(captured, 0);
    ::dup2(captured, 2);
    record("quiet.mp4", Nimbo::PixelType_Mono8, 64, 32, 30);
    std::fflush(stderr);
    ::dup2(terminal, 2);
    ::close(terminal);
    ::close(captured);
    QFile printed(filePath("stderr.txt"));
    ASSERT_TRUE(printed.open(QIODevice::ReadOnly));
    EXPECT_EQ(printed.readAll().toStdString(), "");
    bool encoderLines = false;
    for (const testsupport::CapturedMessage& message : log.messages())
        encoderLines =
            encoderLines || (message.category == "Tesvar.Recording" && message.priority == log4cpp::Priority::DEBUG &&
                             message.text.find("[libx264 @ ") != std::string::npos);
    EXPECT_TRUE(encoderLines) << "x264's lines are not in the recording's log";
}

// A full disk, wherever it stops the file: the failure keeps its text and adds the system's reason.
// The disk that is full from the start is /dev/full; the one that fills later is a file size limit.
// At close the encoder's last frames and the trailer are lost, and everything is freed all the same.
TEST_F(VideoEncoderTest, AFullDiskFailsWithTheSystemsReason)
{
    enum Where { Header, Frame, Close };
    const struct {
        const char* name;
        Where where;
        const char* description;
    } cases[] = {
        {"header", Header, "Could not write file header. No space left on device."},
        {"frame", Frame, "Failed to write data to disk. File too large."},
        {"close", Close, "Failed to write data to disk. File too large."},
    };
    const auto frame = mediatest::makeFrame(Nimbo::PixelType_Mono8, 64, 32);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = filePath(QString(c.name) + ".mp4");
        if (c.where == Header) {
            ASSERT_TRUE(QFile::link("/dev/full", file));
        }
        VideoEncoder encoder(0, 25.0, 400000);
        std::string failure;
        try {
            encoder.open(libRoot().c_str(), file.toStdString().c_str(), 64, 32, Nimbo::PixelType_Mono8);
            // The first frame is written at once; then fragments reach the disk a second of frames
            // apart: enough frames for one of them.
            encoder.addFrame(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 64, 32);
            const int frames = c.where == Frame ? 200 : 20;
            testsupport::FileSizeLimit full(uint64_t(QFileInfo(file).size()));
            ASSERT_TRUE(full.isActive());
            for (int i = 1; i < frames; ++i)
                encoder.addFrame(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 64, 32);
            encoder.close();
            ADD_FAILURE() << "the full disk went unnoticed";
        } catch (const GenICam::RuntimeException& e) {
            failure = e.GetDescription();
        }
        EXPECT_EQ(failure, c.description);
        if (c.where != Frame) {
            EXPECT_FALSE(encoder.isOpen());
        }
    }
}

// A disk that fills cuts the fragment being written wherever its room ends, in the fragment's index as
// well as in its pictures, in the middle of the recording or at its end: the file keeps the fragments
// that were complete and players read them (a cut index makes the whole file unreadable to libav).
TEST_F(VideoEncoderTest, ADiskThatFillsLeavesTheCompleteFragmentsReadable)
{
    constexpr int kFramesBefore = 60; // 25 frames a second: the first fragment is on the disk
    for (const uint64_t room : {1, 60, 150, 250, 400, 900, 1800, 3500}) {
        SCOPED_TRACE(room);
        const QString file = filePath(QStringLiteral("full%1.mp4").arg(room));
        VideoEncoder encoder(0, 25.0, 400000);
        encoder.open(libRoot().c_str(), file.toStdString().c_str(), 64, 48, Nimbo::PixelType_BayerRG8);
        auto frame = mediatest::makeFrame(Nimbo::PixelType_BayerRG8, 64, 48);
        int added = 0;
        bool failed = false;
        {
            std::unique_ptr<testsupport::FileSizeLimit> full;
            try {
                for (; added < kFramesBefore + 300; ++added) {
                    if (added == kFramesBefore) {
                        full = std::make_unique<testsupport::FileSizeLimit>(uint64_t(QFileInfo(file).size()) + room);
                        ASSERT_TRUE(full->isActive());
                    }
                    frame[size_t(added) % frame.size()] ^= 0x55; // frames that differ, as a camera's do
                    encoder.addFrame(frame.data(), frame.size(), Nimbo::PixelType_BayerRG8, 64, 48);
                }
                encoder.close();
            } catch (const GenICam::RuntimeException& e) {
                failed = true;
                EXPECT_EQ(std::string(e.GetDescription()), "Failed to write data to disk. File too large.");
            }
            try {
                encoder.close();
            } catch (const GenICam::RuntimeException&) {
            }
        }
        EXPECT_TRUE(failed) << "the disk never filled";
        const auto info = mediatest::probe(file);
        if (info.count("error")) {
            ADD_FAILURE() << info.at("error");
            continue;
        }
        bool isNumber = false;
        const int readable = QString::fromStdString(info.at("nb_read_frames")).toInt(&isNumber);
        EXPECT_TRUE(isNumber) << info.at("nb_read_frames");
        EXPECT_GE(readable, 25);
        EXPECT_LE(readable, added);
    }
}

// A file removed while it is written (its folder deleted, say) takes the frames written into it with
// it: the encoder says so when a fragment is complete, or at the close, and counts no frame in a file.
TEST_F(VideoEncoderTest, AFileRemovedWhileRecordingIsAFailure)
{
    const auto frame = mediatest::makeFrame(Nimbo::PixelType_Mono8, 64, 48);
    for (const bool atClose : {false, true}) {
        SCOPED_TRACE(atClose ? "removed before the close" : "removed while recording");
        ASSERT_TRUE(QDir().mkpath(filePath("out")));
        VideoEncoder encoder(0, 25.0, 400000);
        encoder.open(libRoot().c_str(), stdFilePath("out/removed.mp4").c_str(), 64, 48, Nimbo::PixelType_Mono8);
        encoder.addFrame(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 64, 48); // in the file at once
        ASSERT_TRUE(QDir(filePath("out")).removeRecursively());
        // Past the next key frame, which completes the fragment before it; the close fails as well.
        for (int i = 0; !atClose && i < 30; ++i) {
            try {
                encoder.addFrame(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 64, 48);
            } catch (const GenICam::RuntimeException& e) {
                EXPECT_STREQ(e.GetDescription(), "Failed to write data to disk. The file was removed.");
                break;
            }
            EXPECT_LT(i, 29) << "the removal went unnoticed while recording";
        }
        try {
            encoder.close();
            ADD_FAILURE() << "the removal went unnoticed at the close";
        } catch (const GenICam::RuntimeException& e) {
            EXPECT_STREQ(e.GetDescription(), "Failed to write data to disk. The file was removed.");
        }
        EXPECT_EQ(encoder.imageCount(), 0);
        EXPECT_FALSE(encoder.isOpen());
    }
}

// The encoder's count is of the frames its file holds: all of them once it is finished, and those of
// the complete fragments when the disk fills in the middle of the recording or when it is finished.
TEST_F(VideoEncoderTest, TheCountIsWhatTheFileHolds)
{
    const struct {
        const char* name;
        int framesBeforeFull; // -1: the disk never fills
        uint64_t room;        // bytes left then
    } cases[] = {{"finished", -1, 0}, {"full while recording", 60, 900}, {"full at the end", 90, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = filePath(QString(c.name) + ".mp4");
        VideoEncoder encoder(0, 25.0, 400000);
        encoder.open(libRoot().c_str(), file.toStdString().c_str(), 64, 48, Nimbo::PixelType_BayerRG8);
        auto frame = mediatest::makeFrame(Nimbo::PixelType_BayerRG8, 64, 48);
        int sent = 0;
        {
            std::unique_ptr<testsupport::FileSizeLimit> full;
            try {
                for (; sent < 90; ++sent) {
                    if (sent == c.framesBeforeFull) {
                        full = std::make_unique<testsupport::FileSizeLimit>(uint64_t(QFileInfo(file).size()) + c.room);
                        ASSERT_TRUE(full->isActive());
                    }
                    frame[size_t(sent) % frame.size()] ^= 0x55; // frames that differ, as a camera's do
                    encoder.addFrame(frame.data(), frame.size(), Nimbo::PixelType_BayerRG8, 64, 48);
                }
                if (c.framesBeforeFull == 90) {
                    full = std::make_unique<testsupport::FileSizeLimit>(uint64_t(QFileInfo(file).size()));
                    ASSERT_TRUE(full->isActive());
                }
                encoder.close();
            } catch (const GenICam::RuntimeException&) {
                try {
                    encoder.close();
                } catch (const GenICam::RuntimeException&) {
                }
            }
        }
        const auto info = mediatest::probe(file);
        ASSERT_EQ(info.count("error"), 0u) << info.at("error");
        EXPECT_EQ(std::to_string(encoder.imageCount()), info.at("nb_read_frames"));
        if (c.framesBeforeFull < 0)
            EXPECT_EQ(encoder.imageCount(), sent);
        else
            EXPECT_LT(encoder.imageCount(), sent) << "the disk filled without a frame lost";
    }
}

// Starts that fail name their reason and leave neither a file nor an open encoder behind.
TEST_F(VideoEncoderTest, FailedStartsLeaveNothing)
{
    struct Case {
        const char* name;
        std::string libRoot;
        QString file;
        EPixelType type;
        uint32_t width;
        const char* message;
        uint32_t height = 48;
    };
    const Case cases[] = {
        {"pixel type", libRoot(), filePath("a.mp4"), Nimbo::PixelType_BGR10V1packed, 64, "Unsupported pixel format."},
        {"empty folder", "", filePath("a.mp4"), Nimbo::PixelType_Mono8, 64,
         "Can't link to libav because of invalid path ."},
        {"size", libRoot(), filePath("a.mp4"), Nimbo::PixelType_Mono8, 1,
         "Cannot record video frames of 1 x 48 pixels."},
        {"folder missing", libRoot(), filePath("missing/a.mp4"), Nimbo::PixelType_Mono8, 64,
         "Can't create video file '"},
        // libav refuses the size after the file, the muxer and the codec context exist.
        {"codec", libRoot(), filePath("a.mp4"), Nimbo::PixelType_Mono8, 16384,
         "Could not open codec. This is caused by wrong AVCodecContext settings.", 16384},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VideoEncoder encoder(0, 25.0, 400000);
        try {
            encoder.open(c.libRoot.c_str(), c.file.toLocal8Bit().constData(), c.width, c.height, c.type);
            ADD_FAILURE() << "no exception";
        } catch (const GenICam::RuntimeException& e) {
            EXPECT_EQ(std::string(e.GetDescription()).find(c.message), 0u) << e.GetDescription();
        }
        EXPECT_FALSE(encoder.isOpen());
        EXPECT_TRUE(entries().isEmpty());
    }
}

class VideoEncoderLibavTest : public VideoEncoderTest {
protected:
    void TearDown() override { libavfiles::formatLibrary = m_format; }
    std::string m_format = libavfiles::formatLibrary;
};

// Without libav the start fails with its message and removes the file it created; with libav
// back, the same encoder records again.
TEST_F(VideoEncoderLibavTest, MissingLibavFailsAndRecordingWorksAgain)
{
    VideoEncoder encoder(0, 25.0, 400000);
    libavfiles::formatLibrary = "libavformat-absent.so.59";
    try {
        encoder.open(libRoot().c_str(), stdFilePath("a.mp4").c_str(), 64, 48, Nimbo::PixelType_Mono8);
        ADD_FAILURE() << "no exception";
    } catch (const GenICam::RuntimeException& e) {
        // The loader's reason follows: which library, and why it could not be loaded.
        const std::string description = e.GetDescription();
        EXPECT_EQ(description.rfind("Libav adapter was not initialized. ", 0), 0u) << description;
        EXPECT_NE(description.find("libavformat-absent.so.59: cannot open shared object file"), std::string::npos)
            << description;
    }
    EXPECT_FALSE(encoder.isOpen());
    EXPECT_FALSE(QFile::exists(filePath("a.mp4")));

    libavfiles::formatLibrary = m_format;
    encoder.open(libRoot().c_str(), stdFilePath("a.mp4").c_str(), 64, 48, Nimbo::PixelType_Mono8);
    EXPECT_TRUE(encoder.isOpen());
    try {
        encoder.open(libRoot().c_str(), stdFilePath("b.mp4").c_str(), 64, 48, Nimbo::PixelType_Mono8);
        ADD_FAILURE() << "no exception";
    } catch (const GenICam::RuntimeException& e) {
        EXPECT_STREQ(e.GetDescription(), "Error the video encoder is already open.");
    }
    const auto frame = mediatest::makeFrame(Nimbo::PixelType_Mono8, 64, 48);
    for (int i = 0; i < 5; ++i)
        encoder.addFrame(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 64, 48);
    encoder.close();
    EXPECT_EQ(mediatest::probe(filePath("a.mp4")).at("nb_read_frames"), "5");
}

// An encoder destroyed while open finishes its file.
TEST_F(VideoEncoderTest, DestructionFinishesTheFile)
{
    {
        VideoEncoder encoder(0, 25.0, 400000);
        encoder.open(libRoot().c_str(), stdFilePath("a.mp4").c_str(), 64, 48, Nimbo::PixelType_BayerRG8);
        const auto frame = mediatest::makeFrame(Nimbo::PixelType_BayerRG8, 64, 48);
        for (int i = 0; i < 4; ++i)
            encoder.addFrame(frame.data(), frame.size(), Nimbo::PixelType_BayerRG8, 64, 48);
    }
    EXPECT_EQ(mediatest::probe(filePath("a.mp4")).at("nb_read_frames"), "4");
}

class ThreadCountTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* value = std::getenv("NUMBER_OF_PROCESSORS");
        m_hadValue = value != nullptr;
        if (value)
            m_value = value;
        QSettings().remove("Recording/UseNumberOfThreads");
        unsetenv("NUMBER_OF_PROCESSORS");
    }
    void TearDown() override
    {
        QSettings().remove("Recording/UseNumberOfThreads");
        if (m_hadValue)
            setenv("NUMBER_OF_PROCESSORS", m_value.c_str(), 1);
        else
            unsetenv("NUMBER_OF_PROCESSORS");
    }

private:
    bool m_hadValue = false;
    std::string m_value;
};

TEST_F(ThreadCountTest, SettingThenEnvironmentThenLibavsChoice)
{
    EXPECT_EQ(VideoEncoder::threadCount(), 0);
    setenv("NUMBER_OF_PROCESSORS", "6", 1);
    EXPECT_EQ(VideoEncoder::threadCount(), 6);
    QSettings().setValue("Recording/UseNumberOfThreads", 2);
    EXPECT_EQ(VideoEncoder::threadCount(), 2);
    QSettings().setValue("Recording/UseNumberOfThreads", -1);
    setenv("NUMBER_OF_PROCESSORS", "-4", 1);
    EXPECT_EQ(VideoEncoder::threadCount(), 0);
    setenv("NUMBER_OF_PROCESSORS", "many", 1);
    EXPECT_THROW(VideoEncoder::threadCount(), std::invalid_argument);
}

} // namespace
