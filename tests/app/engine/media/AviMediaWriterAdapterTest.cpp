// The AVI media writer: the pixel type stored for each camera and codec, files that ffprobe reads,
// the size limit that stops the recording once, and the start that no candidate type allows.
#include "AviMediaWriterAdapter.h"
#include "MediaTestSupport.h"
#include "MediaWriterExceptions.h"

#include <nimbo/AviWriter.h>

#include <testsupport/TempDir.h>

#include <QDir>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

Nimbo::SAviCompressionOptions motionJpeg()
{
    Nimbo::SAviCompressionOptions options;
    options.compressionOptions.fccType = Nimbo::AviFourCC('v', 'i', 'd', 's');
    options.compressionOptions.fccHandler = Nimbo::AviFourCC('M', 'J', 'P', 'G');
    return options;
}

class AviMediaWriterAdapterTest : public testsupport::TempDirTest {
protected:
    // The codec probe writes to the system's temporary folder, which other test programs share; this
    // test gives it a folder of its own, so that what the probe leaves behind is the probe's alone.
    void SetUp() override
    {
        TempDirTest::SetUp();
        m_savedTmp = qgetenv("TMPDIR");
        m_hadTmp = qEnvironmentVariableIsSet("TMPDIR");
        ASSERT_TRUE(QDir(path()).mkpath("tmp"));
        qputenv("TMPDIR", filePath("tmp").toLocal8Bit());
    }
    void TearDown() override
    {
        if (m_hadTmp)
            qputenv("TMPDIR", m_savedTmp);
        else
            qunsetenv("TMPDIR");
    }
    QStringList probeLeftovers() const
    {
        return QDir(filePath("tmp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

private:
    QByteArray m_savedTmp;
    bool m_hadTmp = false;
};

struct AviCase {
    const char* name;
    Nimbo::EPixelType camera;
    bool compressed;
    Nimbo::EPixelType stored;
    const char* codec;
};

TEST_F(AviMediaWriterAdapterTest, StoresTheTypeTheCodecTakesAndFfprobeReadsTheFile)
{
    const AviCase cases[] = {
        {"mono raw", Nimbo::PixelType_Mono8, false, Nimbo::PixelType_Mono8, "rawvideo"},
        {"bayer raw", Nimbo::PixelType_BayerRG8, false, Nimbo::PixelType_BGR8packed, "rawvideo"},
        {"mono jpeg", Nimbo::PixelType_Mono8, true, Nimbo::PixelType_Mono8, "mjpeg"},
        {"rgb jpeg", Nimbo::PixelType_RGB8packed, true, Nimbo::PixelType_BGR8packed, "mjpeg"},
    };
    const Nimbo::SAviCompressionOptions options = motionJpeg();
    for (const AviCase& c : cases) {
        SCOPED_TRACE(c.name);
        CAviMediaWriterAdapter writer(29.97, c.camera, 64, 48, 1, c.compressed ? &options : nullptr);
        writer.open(stdFilePath(c.name).c_str());
        EXPECT_TRUE(writer.isOpen());
        EXPECT_EQ(writer.chosenPixelType(), c.stored);
        const auto frame = mediatest::makeFrame(c.camera, 64, 48, 2);
        for (int i = 0; i < 5; ++i)
            writer.add(frame.data(), frame.size(), c.camera, 64, 48, 2);
        EXPECT_EQ(writer.imageCount(), 5u);
        EXPECT_GT(writer.bytesWritten(), 0u);
        writer.close();
        EXPECT_FALSE(writer.isOpen());
        // The probe leaves no temporary file behind.
        EXPECT_EQ(QDir::temp().path(), filePath("tmp"));
        EXPECT_TRUE(probeLeftovers().isEmpty()) << probeLeftovers().join(", ").toStdString();

        const auto info = mediatest::probe(filePath(QString(c.name) + ".avi"));
        ASSERT_EQ(info.count("error"), 0u) << info.at("error");
        EXPECT_EQ(info.at("codec_name"), c.codec);
        EXPECT_EQ(info.at("width"), "64");
        EXPECT_EQ(info.at("height"), "48");
        EXPECT_EQ(info.at("nb_read_frames"), "5");
        EXPECT_EQ(info.at("r_frame_rate"), "2997/100");
    }
}

// Frames the recording sampled but could not write are empty chunks, which players show as the frame
// before: the frames written keep the times they were sampled at, and the film plays as long as the
// recording ran. The count is of the frames written.
TEST_F(AviMediaWriterAdapterTest, FramesAreShownAtTheTimesTheyWereSampledAt)
{
    const Nimbo::SAviCompressionOptions options = motionJpeg();
    for (const bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "mjpeg" : "raw");
        const QString name = compressed ? "gaps-mjpeg" : "gaps-raw";
        CAviMediaWriterAdapter writer(10.0, Nimbo::PixelType_Mono8, 64, 48, 1, compressed ? &options : nullptr);
        writer.open(stdFilePath(name).c_str());
        const auto frame = mediatest::makeFrame(Nimbo::PixelType_Mono8, 64, 48);
        Nimbo::CNimboImage image;
        image.CopyBuffer(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 64, 48, 0);
        for (uint64_t sample : {0, 1, 5, 9})
            writer.addSampled(image, sample, 0);
        EXPECT_EQ(writer.imageCount(), 4u);
        EXPECT_EQ(writer.bytesWritten(), compressed ? writer.bytesWritten() : 4u * 64u * 48u);
        writer.close();
        const auto info = mediatest::probe(filePath(name + ".avi"));
        ASSERT_EQ(info.count("error"), 0u) << info.at("error");
        EXPECT_EQ(info.at("nb_read_frames"), "4");
        EXPECT_EQ(mediatest::filmTimesDiffer(filePath(name + ".avi"), {0.0, 0.1, 0.5, 0.9}, 1.0), "");
    }
}

// The writer keeps the compression record it was made with: the options it was given may go at once
// (the recording's options are a copy that the controller need not keep for it).
TEST_F(AviMediaWriterAdapterTest, KeepsItsOwnCompressionRecord)
{
    auto given = std::make_unique<Nimbo::SAviCompressionOptions>(motionJpeg());
    CAviMediaWriterAdapter writer(25.0, Nimbo::PixelType_Mono8, 64, 48, 1, given.get());
    // What the caller's record holds afterwards is no longer the writer's.
    given->compressionOptions.fccHandler = Nimbo::AviFourCC('X', 'X', 'X', 'X');
    given.reset();
    writer.open(stdFilePath("kept").c_str());
    const auto frame = mediatest::makeFrame(Nimbo::PixelType_Mono8, 64, 48, 0);
    for (int i = 0; i < 3; ++i)
        writer.add(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 64, 48, 0);
    writer.close();
    const auto info = mediatest::probe(filePath("kept.avi"));
    ASSERT_EQ(info.count("error"), 0u) << info.at("error");
    EXPECT_EQ(info.at("codec_name"), "mjpeg");
    EXPECT_EQ(info.at("nb_read_frames"), "3");
}

// Past the limit the frame is kept, the failure is reported once and later frames are dropped.
TEST_F(AviMediaWriterAdapterTest, SizeLimitStopsTheRecordingOnce)
{
    const uint64_t frameBytes = 64 * 48;
    CAviMediaWriterAdapter writer(25.0, Nimbo::PixelType_Mono8, 64, 48, 1, nullptr, 3 * frameBytes);
    writer.open(stdFilePath("limit").c_str());
    const auto frame = mediatest::makeFrame(Nimbo::PixelType_Mono8, 64, 48);
    for (int i = 0; i < 3; ++i)
        writer.add(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 64, 48, 0);
    try {
        writer.add(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 64, 48, 0);
        ADD_FAILURE() << "no exception";
    } catch (const MediaFileLimitReachedException& e) {
        EXPECT_STREQ(e.GetDescription(), "2GB limit of AVI file reached.");
    }
    EXPECT_NO_THROW(writer.add(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 64, 48, 0));
    EXPECT_EQ(writer.imageCount(), 4u);
    writer.close();
    EXPECT_EQ(mediatest::probe(filePath("limit.avi")).at("nb_read_frames"), "4");
    EXPECT_EQ(CAviMediaWriterAdapter::defaultSizeLimit, 2100000000u);
}

// An installed compressor that takes frames of one pixel type only, storing them as they come.
class OneTypeCodec : public Nimbo::IAviCodec {
public:
    explicit OneTypeCodec(Nimbo::EPixelType accepted) : m_accepted(accepted) {}
    bool AcceptsFormat(Nimbo::EPixelType pixelType, uint32_t, uint32_t) const override
    {
        return pixelType == m_accepted;
    }
    void Compress(const uint8_t* frame, size_t size, std::vector<uint8_t>& out) override
    {
        out.assign(frame, frame + size);
        lastSize = size;
    }
    std::atomic<size_t> lastSize{0};

private:
    Nimbo::EPixelType m_accepted;
};

// A compressor installed for as long as the test needs it.
class InstalledCodec {
public:
    InstalledCodec(uint32_t handler, std::shared_ptr<Nimbo::IAviCodec> codec) : m_handler(handler)
    {
        Nimbo::InstallAviCodec(handler, std::move(codec));
    }
    ~InstalledCodec() { Nimbo::InstallAviCodec(m_handler, nullptr); }
    InstalledCodec(const InstalledCodec&) = delete;
    InstalledCodec& operator=(const InstalledCodec&) = delete;

private:
    uint32_t m_handler;
};

// With a compressor that takes only 32-bit frames, the probe finds the two other candidates refused and
// records BGRA, from a mono and from a colour camera alike.
TEST_F(AviMediaWriterAdapterTest, ProbeFallsThroughToTheTypeTheCodecTakes)
{
    const uint32_t handler = Nimbo::AviFourCC('T', 'S', 'T', '4');
    auto bgraOnly = std::make_shared<OneTypeCodec>(Nimbo::PixelType_BGRA8packed);
    const InstalledCodec installed(handler, bgraOnly);
    Nimbo::SAviCompressionOptions options;
    options.compressionOptions.fccType = Nimbo::AviFourCC('v', 'i', 'd', 's');
    options.compressionOptions.fccHandler = handler;

    for (const Nimbo::EPixelType camera : {Nimbo::PixelType_Mono8, Nimbo::PixelType_BayerRG8}) {
        SCOPED_TRACE(camera);
        const std::string file = stdFilePath("bgra" + QString::number(camera));
        CAviMediaWriterAdapter writer(25.0, camera, 64, 48, 1, &options);
        writer.open(file.c_str());
        EXPECT_EQ(writer.chosenPixelType(), Nimbo::PixelType_BGRA8packed);
        const auto frame = mediatest::makeFrame(camera, 64, 48);
        for (int i = 0; i < 3; ++i)
            writer.add(frame.data(), frame.size(), camera, 64, 48, 0);
        EXPECT_EQ(writer.imageCount(), 3u);
        EXPECT_EQ(bgraOnly->lastSize, 64u * 48u * 4u);
        writer.close();
        EXPECT_TRUE(probeLeftovers().isEmpty()) << probeLeftovers().join(", ").toStdString();
    }
}

// No candidate type that the compressor takes, be it for the size (Motion JPEG) or the type (an
// installed compressor of RGBA frames only): the recording does not start and leaves no file.
TEST_F(AviMediaWriterAdapterTest, NoCandidateTypeMeansNoStart)
{
    const uint32_t handler = Nimbo::AviFourCC('T', 'S', 'T', '5');
    const InstalledCodec installed(handler, std::make_shared<OneTypeCodec>(Nimbo::PixelType_RGBA8packed));
    Nimbo::SAviCompressionOptions rgbaOnly = motionJpeg();
    rgbaOnly.compressionOptions.fccHandler = handler;
    const struct {
        const char* name;
        Nimbo::SAviCompressionOptions options;
        uint32_t width, height;
    } cases[] = {{"size", motionJpeg(), 40000, 2}, {"type", rgbaOnly, 64, 48}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CAviMediaWriterAdapter writer(25.0, Nimbo::PixelType_BayerRG8, c.width, c.height, 1, &c.options);
        try {
            writer.open(stdFilePath(c.name).c_str());
            ADD_FAILURE() << "no exception";
        } catch (const GenICam::RuntimeException& e) {
            EXPECT_STREQ(
                e.GetDescription(),
                "Failed to start recording, because the codec doesn\u2019t support the pixel format or image size.");
        }
        EXPECT_FALSE(writer.isOpen());
        EXPECT_TRUE(entries().isEmpty());
        EXPECT_TRUE(probeLeftovers().isEmpty());
    }
}

// The SDK writer's refusals end the start as fatal failures that carry their reason.
TEST_F(AviMediaWriterAdapterTest, RefusedStartsAreFatalWithTheirReason)
{
    const struct {
        const char* name;
        uint32_t width;
        double fps;
        QString file;
        const char* reason;
    } cases[] = {
        {"no folder", 64, 25.0, filePath("missing/clip"), "cannot create the file"},
        {"size", 40000, 25.0, filePath("clip"), "An AVI frame of 40000 x 48 pixels is not possible."},
        {"rate", 64, 0.0, filePath("clip"), "The playback rate of an AVI file must be positive."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CAviMediaWriterAdapter writer(c.fps, Nimbo::PixelType_Mono8, c.width, 48, 1, nullptr);
        try {
            writer.open(c.file.toStdString().c_str());
            ADD_FAILURE() << "no exception";
        } catch (const FatalMediaWriterException& e) {
            EXPECT_NE(std::string(e.GetDescription()).find(c.reason), std::string::npos) << e.GetDescription();
        }
        EXPECT_FALSE(writer.isOpen());
    }
    EXPECT_TRUE(entries().isEmpty());
}

} // namespace
