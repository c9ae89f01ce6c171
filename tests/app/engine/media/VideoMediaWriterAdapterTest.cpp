// The MP4 media writer: file naming, the failures it turns into FatalMediaWriterException and the
// ones it passes on, and its counters.
#include "LibavAdapter.h"
#include "MediaTestSupport.h"
#include "MediaWriterExceptions.h"
#include "VideoMediaWriterAdapter.h"

#include <testsupport/TempDir.h>

#include <QFile>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

class VideoMediaWriterAdapterTest : public testsupport::TempDirTest {
protected:
    void TearDown() override { libavfiles::utilLibrary = m_util; }

    std::unique_ptr<IMediaWriter> makeWriter(double fps = 30.0)
    {
        return std::make_unique<CVideoMediaWriterAdapter>(GenICam::gcstring(stdPath().c_str()), fps,
                                                          Nimbo::PixelType_BayerGB8, 64, 48, 0, 2580480);
    }

    std::string m_util = libavfiles::utilLibrary;
};

TEST_F(VideoMediaWriterAdapterTest, WritesBaseNameDotMp4)
{
    auto writer = makeWriter();
    writer->open(stdFilePath("cam_20240101_120000000").c_str());
    EXPECT_TRUE(writer->isOpen());
    const auto frame = mediatest::makeFrame(Nimbo::PixelType_BayerGB8, 64, 48, 4);
    for (int i = 0; i < 6; ++i)
        writer->add(frame.data(), frame.size(), Nimbo::PixelType_BayerGB8, 64, 48, 4);
    EXPECT_EQ(writer->bytesWritten(), 0u);
    EXPECT_FALSE(writer->acceptsBufferAsIs(Nimbo::PixelType_BayerGB8, 64, 48, 0));
    writer->close();
    EXPECT_FALSE(writer->isOpen());
    EXPECT_EQ(writer->imageCount(), 6u);

    const auto info = mediatest::probe(filePath("cam_20240101_120000000.mp4"));
    ASSERT_EQ(info.count("error"), 0u) << info.at("error");
    EXPECT_EQ(info.at("nb_read_frames"), "6");
    EXPECT_EQ(info.at("r_frame_rate"), "30/1");
}

// Frames the recording sampled but could not write leave their time in the film: the frames written
// are shown at the times they were sampled at, and the film plays as long as the recording ran, the
// gaps between fragments included.
TEST_F(VideoMediaWriterAdapterTest, FramesAreShownAtTheTimesTheyWereSampledAt)
{
    // Frames that come quickly share a fragment; frames a second or more apart are written one by one.
    for (const bool slow : {false, true}) {
        SCOPED_TRACE(slow ? "slow frames" : "quick frames");
        const QString name = slow ? "gaps-slow" : "gaps";
        auto writer = makeWriter(10.0);
        writer->open(stdFilePath(name).c_str());
        const auto frame = mediatest::makeFrame(Nimbo::PixelType_BayerGB8, 64, 48);
        Nimbo::CNimboImage image;
        image.CopyBuffer(frame.data(), frame.size(), Nimbo::PixelType_BayerGB8, 64, 48, 0);
        auto next = std::chrono::steady_clock::now();
        for (uint64_t sample : {0, 1, 5, 9}) {
            while (slow && std::chrono::steady_clock::now() < next)
                std::this_thread::sleep_until(next);
            next = std::chrono::steady_clock::now() + std::chrono::milliseconds(1100);
            writer->addSampled(image, sample, 0);
        }
        writer->close();
        EXPECT_EQ(writer->imageCount(), 4u);
        const auto info = mediatest::probe(filePath(name + ".mp4"));
        ASSERT_EQ(info.count("error"), 0u) << info.at("error");
        EXPECT_EQ(info.at("nb_read_frames"), "4");
        EXPECT_EQ(mediatest::filmTimesDiffer(filePath(name + ".mp4"), {0.0, 0.1, 0.5, 0.9}, 1.0), "");
    }
}

// Images keep their line padding; the writer records them like raw buffers.
TEST_F(VideoMediaWriterAdapterTest, AddsSdkImages)
{
    auto writer = makeWriter();
    writer->open(stdFilePath("images").c_str());
    const auto frame = mediatest::makeFrame(Nimbo::PixelType_BayerGB8, 64, 48, 5);
    Nimbo::CNimboImage image;
    image.CopyBuffer(frame.data(), frame.size(), Nimbo::PixelType_BayerGB8, 64, 48, 5);
    for (int i = 0; i < 4; ++i)
        writer->add(image);
    EXPECT_FALSE(writer->acceptsImageAsIs(image));
    writer->close();
    const auto info = mediatest::probe(filePath("images.mp4"));
    ASSERT_EQ(info.count("error"), 0u) << info.at("error");
    EXPECT_EQ(info.at("nb_read_frames"), "4");
    const mediatest::PlaneStatistics stats = mediatest::decodeFirstFrame(filePath("images.mp4"), 64, 48);
    ASSERT_TRUE(stats.valid);
    // The Bayer mosaic is red; padding read as pixels would brighten and grey it.
    EXPECT_GT(stats.meanV, 170.0);
}

// A bottom-up image is recorded the right way up, directly and through the SDK converter.
TEST_F(VideoMediaWriterAdapterTest, BottomUpImagesAreTurned)
{
    for (const Nimbo::EPixelType type : {Nimbo::PixelType_Mono8, Nimbo::PixelType_Mono12packed}) {
        SCOPED_TRACE(Nimbo::CPixelTypeMapper::GetNameByPixelType(type));
        CVideoMediaWriterAdapter writer(GenICam::gcstring(stdPath().c_str()), 25.0, type, 64, 48, 0, 400000);
        writer.open(stdFilePath("turned").c_str());
        // In memory the first half is dark and the second bright: the picture's bottom is dark.
        const auto dark = mediatest::makeFrame(type, 64, 48, 0, 40);
        const auto bright = mediatest::makeFrame(type, 64, 48, 0, 200);
        std::vector<uint8_t> frame(dark.begin(), dark.begin() + dark.size() / 2);
        frame.insert(frame.end(), bright.begin() + bright.size() / 2, bright.end());
        Nimbo::CNimboImage image;
        image.CopyBuffer(frame.data(), frame.size(), type, 64, 48, 0, Nimbo::ImageOrientation_BottomUp);
        writer.add(image);
        writer.close();
        const mediatest::PlaneStatistics stats = mediatest::decodeFirstFrame(filePath("turned.mp4"), 64, 48);
        ASSERT_TRUE(stats.valid);
        EXPECT_GT(stats.meanTopY, 150.0);
        EXPECT_LT(stats.meanBottomY, 80.0);
        QFile::remove(filePath("turned.mp4"));
    }
}

// The reason a recording cannot start travels in the exception's description.
TEST_F(VideoMediaWriterAdapterTest, StartFailuresAreFatalWithTheirReason)
{
    libavfiles::utilLibrary = "libavutil-absent.so.57";
    auto writer = makeWriter();
    try {
        writer->open(stdFilePath("clip").c_str());
        ADD_FAILURE() << "no exception";
    } catch (const FatalMediaWriterException& e) {
        // The loader's reason follows the message.
        EXPECT_EQ(
            std::string(e.GetDescription()).rfind("Libav adapter was not initialized. libavutil-absent.so.57: ", 0), 0u)
            << e.GetDescription();
        EXPECT_STREQ(e.GetExceptionType(), "FatalMediaWriterException");
    }
    EXPECT_FALSE(writer->isOpen());
    EXPECT_TRUE(entries().isEmpty());
}

TEST_F(VideoMediaWriterAdapterTest, FramesThatDoNotFitAreFatalOthersPassUnchanged)
{
    auto writer = makeWriter();
    const auto frame = mediatest::makeFrame(Nimbo::PixelType_BayerGB8, 64, 48);
    // Not open: the encoder's runtime failure passes as it is.
    EXPECT_THROW(writer->add(frame.data(), frame.size(), Nimbo::PixelType_BayerGB8, 64, 48, 0),
                 GenICam::RuntimeException);

    writer->open(stdFilePath("clip").c_str());
    try {
        writer->add(frame.data(), frame.size(), Nimbo::PixelType_BayerGB8, 32, 48, 0);
        ADD_FAILURE() << "no exception";
    } catch (const FatalMediaWriterException& e) {
        EXPECT_STREQ(e.GetDescription(),
                     "Cannot write video frame. Unexpected image frame width 32, expected width is 64 pixel.");
    }
    EXPECT_THROW(writer->add(Nimbo::CNimboImage()), FatalMediaWriterException);
    EXPECT_EQ(writer->imageCount(), 0u);
    writer->close();
}

// A writer destroyed while open leaves a finished file.
TEST_F(VideoMediaWriterAdapterTest, DestructionClosesTheFile)
{
    {
        auto writer = makeWriter(12.5);
        writer->open(stdFilePath("clip").c_str());
        const auto frame = mediatest::makeFrame(Nimbo::PixelType_BayerGB8, 64, 48);
        for (int i = 0; i < 3; ++i)
            writer->add(frame.data(), frame.size(), Nimbo::PixelType_BayerGB8, 64, 48, 0);
    }
    const auto info = mediatest::probe(filePath("clip.mp4"));
    ASSERT_EQ(info.count("error"), 0u) << info.at("error");
    EXPECT_EQ(info.at("nb_read_frames"), "3");
    EXPECT_EQ(info.at("r_frame_rate"), "25/2");
}

} // namespace
