// Whole recordings from the SDK's emulated mono camera through the grab engine into image sequences.
#include "../media/MediaTestSupport.h"
#include "CameraConfiguration.h"
#include "LibavAdapter.h"
#include "MediaWriterFactory.h"
#include "RecordingController.h"
#include "StdFeatureListCamera.h"
#include "TestImageFiles.h"

#include "testsupport/FileSizeLimit.h"
#include "testsupport/LogCapture.h"
#include "testsupport/TempDir.h"

#include <lorvish/StreamBuffer.h>
#include <nimbo/Emulation.h>
#include <nimbo/NimboDevice.h>
#include <nimbo/TlFactory.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>
#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace {

using testsupport::waitFor;

class EmulatedRecordingTest : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        ASSERT_TRUE(Nimbo::Emulation::Configure("usb:vxUsb1920m:40000002"));
        Nimbo::DeviceInfoList_t devices;
        Nimbo::CTlFactory::GetInstance().EnumerateDevices(devices);
        ASSERT_EQ(devices.size(), 1u);
        Nimbo::INimboDevice* device = Nimbo::CTlFactory::GetInstance().CreateDevice(devices[0]);
        ASSERT_NE(device, nullptr);
        m_camera = std::make_unique<StdFeatureListCamera>(devices[0], nullptr, 0x2000000);
        m_camera->setBufferReturnTimeout(2000);
        m_camera->attachNimboDevice(device);
        m_camera->open();
        ASSERT_TRUE(m_camera->isOpen());
        CameraConfiguration::applyDefaultConfiguration(*m_camera);
        grab::GrabNodeMap* map = m_camera->getFeatures();
        map->setIntValue("Width", 320);
        map->setIntValue("Height", 200);
        map->setBoolValue("AcquisitionFrameRateEnable", true);
        map->setFloatValue("AcquisitionFrameRate", 100.0);
    }
    void TearDown() override
    {
        if (m_camera)
            m_camera->shutDown();
        m_camera.reset();
        QCoreApplication::processEvents();
    }

    Nimbo::NimboAutoInitTerm m_init;
    std::unique_ptr<StdFeatureListCamera> m_camera;
};

// What a recording run by `runRecording` left: the failure told (message and detail), whether it
// stopped by itself, and its status once finished.
struct RecordingRun {
    QString failure;
    QString detail;
    bool stopped = false;
    RecordingStatusInfo status;
};

// Records the camera's frames through a controller built for `options` with `createWriter` until the
// recording stops by its limit, then stops the grab, finishes the recording (through `finish` when
// given) and destroys it.
RecordingRun runRecording(Camera& camera, const CRecordingOptions& options,
                          const MediaWriterFactory& createWriter = createMediaWriter,
                          const std::function<void(CRecordingController&)>& finish = {})
{
    RecordingRun run;
    CRecordingController* controller =
        createRecordingController(options, createWriter, Nimbo::PixelType_Mono8, 320, 200, nullptr);
    if (!controller) {
        run.failure = QStringLiteral("no controller");
        return run;
    }
    std::atomic<bool> stopped{false};
    QObject::connect(
        controller, &CRecordingController::stateChanged, controller,
        [&](ERecordingState state) { stopped = stopped || state == RecordingStopped; }, Qt::DirectConnection);
    QObject::connect(
        controller, &CRecordingController::recordingFailure, controller,
        [&](const QString& message, const QString& detail) {
            if (run.failure.isEmpty())
                run.failure = message, run.detail = detail;
        },
        Qt::DirectConnection);
    QObject::connect(&camera, &Camera::bufferAvailable, controller, &CRecordingController::onCameraBufferAvailable,
                     Qt::DirectConnection);
    controller->start(camera.getName());
    if (controller->state() == RecordingActive) {
        camera.startContinuousShot();
        run.stopped = waitFor([&] { return bool(stopped); }, 60000);
        if (!run.stopped && run.failure.isEmpty())
            run.failure = QStringLiteral("the recording did not stop");
        camera.stopGrab();
    }
    QObject::disconnect(&camera, nullptr, controller, nullptr);
    if (finish)
        finish(*controller);
    else
        controller->finish();
    controller->updateStatusInfo();
    run.status = controller->statusInfo();
    destroyRecordingController(controller);
    return run;
}

TEST_F(EmulatedRecordingTest, LimitedRecordingsHoldExactlyTheirFrames)
{
    const struct {
        const char* name;
        int32_t imageType;
        int32_t sampleUnit;
        int32_t sampleRate;
        int32_t imageLimit;
    } cases[] = {
        {"tiff, every 2nd frame, 5 images", CRecordingOptions::ImageOutputTypeTiff, TimeUnitImages, 2, 5},
        {"bmp, every 30 ms, 4 images", CRecordingOptions::ImageOutputTypeBmp, TimeUnitMilliseconds, 30, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = path() + "/" + QString::number(c.imageType);
        CRecordingOptions options;
        options.OutputType = CRecordingOptions::OutputTypeImageSequence;
        options.ImageOutputType = c.imageType;
        options.OutputFolder = folder.toUtf8().constData();
        options.SampleRateUnit = c.sampleUnit;
        options.SampleRate = c.sampleRate;
        options.StopSamplingLimitEnabled = true;
        options.StopSamplingLimitUnit = TimeUnitImages;
        options.StopSamplingLimit = c.imageLimit;
        const RecordingRun run = runRecording(*m_camera, options);
        ASSERT_TRUE(run.stopped) << run.failure.toStdString();

        const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
        ASSERT_EQ(names.size(), c.imageLimit);
        for (int i = 0; i < names.size(); ++i) {
            SCOPED_TRACE(names[i].toStdString());
            const QString number = QString("_%1.").arg(i + 1, 4, 10, QChar('0'));
            EXPECT_TRUE(names[i].contains(number));
            const QString file = folder + "/" + names[i];
            if (c.imageType == CRecordingOptions::ImageOutputTypeTiff) {
                uint32_t width = 0, height = 0;
                EXPECT_EQ(readTiff(file.toStdString(), width, height).size(), 320u * 200u);
                EXPECT_EQ(width, 320u);
                EXPECT_EQ(height, 200u);
            } else {
                const QImage image(file, "BMP");
                EXPECT_EQ(image.size(), QSize(320, 200));
            }
        }
    }
}

// Records `limit` frames of every grabbed frame through a controller; returns the failure message, if any.
QString recordFrames(Camera& camera, CRecordingOptions& options, int limit)
{
    options.SampleRateUnit = TimeUnitImages;
    options.SampleRate = 1;
    options.StopSamplingLimitEnabled = true;
    options.StopSamplingLimitUnit = TimeUnitImages;
    options.StopSamplingLimit = limit;
    return runRecording(camera, options).failure;
}

// The two video formats, with the pattern of their files' names.
const struct VideoFormat {
    const char* name;
    int32_t outputType;
    const char* suffix;
} kVideoFormats[] = {
    {"mp4", CRecordingOptions::OutputTypeVideo, "*.mp4"},
    {"avi", CRecordingOptions::OutputTypeAvi, "*.avi"},
};

TEST_F(EmulatedRecordingTest, VideoRecordingsHoldExactlyTheirFrames)
{
    for (const VideoFormat& c : kVideoFormats) {
        SCOPED_TRACE(c.name);
        const QString folder = path() + "/" + c.name;
        CRecordingOptions options;
        options.OutputType = c.outputType;
        options.UseCompression = false;
        options.FpsPlaybackRate = 25.0;
        options.OutputFolder = folder.toUtf8().constData();
        ASSERT_EQ(recordFrames(*m_camera, options, 12), QString());
        const QStringList names = QDir(folder).entryList({c.suffix}, QDir::Files);
        ASSERT_EQ(names.size(), 1);
        auto info = mediatest::probe(folder + "/" + names[0]);
        EXPECT_EQ(info["error"], "");
        EXPECT_EQ(info["nb_read_frames"], "12");
        EXPECT_EQ(info["width"], "320");
        EXPECT_EQ(info["height"], "200");
    }
}

// A writer on a disk too slow for every frame: each frame takes a while before it is written.
class SlowWriter : public IMediaWriter {
public:
    explicit SlowWriter(IMediaWriter* writer) : m_writer(writer) {}
    void open(const GenICam::gcstring& baseName) override { m_writer->open(baseName); }
    bool isOpen() const override { return m_writer->isOpen(); }
    void close() override { m_writer->close(); }
    void add(const Nimbo::CNimboImage& image) override { addSampled(image, UINT64_MAX, 0); }
    void add(const void* buffer, size_t size, Nimbo::EPixelType type, uint32_t width, uint32_t height,
             uint32_t paddingX) override
    {
        m_writer->add(buffer, size, type, width, height, paddingX);
    }
    void addSampled(const Nimbo::CNimboImage& image, uint64_t sample, uint32_t place) override
    {
        QThread::msleep(30);
        m_writer->addSampled(image, sample, place);
    }
    bool acceptsImageAsIs(const Nimbo::CNimboImage& image) const override { return m_writer->acceptsImageAsIs(image); }
    bool acceptsBufferAsIs(Nimbo::EPixelType type, uint32_t width, uint32_t height, uint32_t paddingX) const override
    {
        return m_writer->acceptsBufferAsIs(type, width, height, paddingX);
    }
    uint32_t imageCount() const override { return m_writer->imageCount(); }
    uint64_t bytesWritten() const override { return m_writer->bytesWritten(); }

private:
    std::unique_ptr<IMediaWriter> m_writer;
};

// Every frame of a 100 fps camera for a second, into a queue of two frames on a disk that writes
// one frame in 30 ms: most frames are refused, and the status counts them, but the film shows the
// frames written at the times they were taken and plays as long as the recording ran.
TEST_F(EmulatedRecordingTest, DroppedFramesDoNotShortenTheFilm)
{
    for (const VideoFormat& c : kVideoFormats) {
        SCOPED_TRACE(c.name);
        const QString folder = path() + "/slow-" + c.name;
        CRecordingOptions options;
        options.OutputType = c.outputType;
        options.OutputFolder = folder.toUtf8().constData();
        options.FpsPlaybackRate = 100.0;
        options.QueueBufferSize = 2;
        options.SampleRateUnit = TimeUnitImages;
        options.SampleRate = 1;
        options.StopSamplingLimitEnabled = true;
        options.StopSamplingLimitUnit = TimeUnitSeconds;
        options.StopSamplingLimit = 1;
        const MediaWriterFactory slow = [](CRecordingOptions& writerOptions, Nimbo::EPixelType type, uint32_t width,
                                           uint32_t height) -> IMediaWriter* {
            IMediaWriter* writer = createMediaWriter(writerOptions, type, width, height);
            return writer ? new SlowWriter(writer) : nullptr;
        };
        const RecordingRun run = runRecording(*m_camera, options, slow);
        ASSERT_TRUE(run.stopped) << run.failure.toStdString();
        const RecordingStatusInfo& status = run.status;

        EXPECT_GT(status.droppedImages, 0u);
        const QStringList names = QDir(folder).entryList({c.suffix}, QDir::Files);
        ASSERT_EQ(names.size(), 1);
        const QString file = folder + "/" + names[0];
        const auto info = mediatest::probe(file);
        EXPECT_EQ(info.count("error"), 0u);
        EXPECT_EQ(info.at("nb_read_frames"), std::to_string(status.recordedImages));
        // Every frame sampled was written or refused; the film ends with the last one written, so
        // only the refused frames after it are missing from its length, a few at most.
        const double sampled = double(status.recordedImages + status.droppedImages);
        const double frames = mediatest::playingTime(file) * options.FpsPlaybackRate;
        EXPECT_LE(frames, sampled + 0.01);
        EXPECT_GE(frames, 0.7 * sampled) << status.recordedImages << " written, " << status.droppedImages << " refused";
        const std::vector<double> times = mediatest::frameTimes(file);
        ASSERT_EQ(times.size(), size_t(status.recordedImages));
        // Shown at the times they were taken: gaps where frames were refused.
        EXPECT_GT(times.back() * options.FpsPlaybackRate, double(times.size()));
    }
}

// An MP4 that cannot be finished (the disk full as it closes) loses the frames the encoder and the open
// fragment still held: the message counts them, and the recorded count is what the file holds.
TEST_F(EmulatedRecordingTest, CountsMatchTheFileWhenItCannotBeFinished)
{
    constexpr int kFrames = 40;
    const QString folder = path() + "/unfinished";
    CRecordingOptions options;
    options.OutputType = CRecordingOptions::OutputTypeVideo;
    options.FpsPlaybackRate = 25.0;
    options.OutputFolder = folder.toUtf8().constData();
    options.SampleRateUnit = TimeUnitImages;
    options.SampleRate = 1;
    options.StopSamplingLimitEnabled = true;
    options.StopSamplingLimitUnit = TimeUnitImages;
    options.StopSamplingLimit = kFrames;
    QString file;
    const RecordingRun run = runRecording(*m_camera, options, createMediaWriter, [&](CRecordingController& controller) {
        const QStringList names = QDir(folder).entryList({"*.mp4"}, QDir::Files);
        if (names.size() == 1)
            file = folder + "/" + names[0];
        testsupport::FileSizeLimit full(uint64_t(QFileInfo(file).size()));
        EXPECT_TRUE(full.isActive());
        controller.finish();
    });
    ASSERT_TRUE(run.stopped);
    ASSERT_FALSE(file.isEmpty());
    const RecordingStatusInfo& status = run.status;
    const QString& detail = run.detail;

    EXPECT_EQ(status.droppedImages, 0u);
    const auto info = mediatest::probe(file);
    ASSERT_EQ(info.count("error"), 0u) << info.at("error");
    EXPECT_EQ(info.at("nb_read_frames"), std::to_string(status.recordedImages));
    // The last frames are in the open fragment, unless a frame a second late (a machine that busy)
    // had it written just before the end.
    const uint64_t lost = uint64_t(kFrames) - status.recordedImages;
    const QString counted = lost == 1 ? QStringLiteral("1 frame could not be written.")
                                      : QStringLiteral("%1 frames could not be written.").arg(lost);
    if (lost > 0)
        EXPECT_TRUE(detail.startsWith(counted)) << detail.toStdString();
    else
        EXPECT_FALSE(detail.contains("could not be written.")) << detail.toStdString();
}

TEST_F(EmulatedRecordingTest, MissingLibavIsReportedToTheUserAndRecordingWorksAgain)
{
    const std::string original = libavfiles::encodeLibrary;
    libavfiles::encodeLibrary = "libavcodec-not-installed.so.59";
    CRecordingOptions options;
    options.OutputType = CRecordingOptions::OutputTypeVideo;
    options.FpsPlaybackRate = 25.0;
    options.OutputFolder = (path() + "/missing").toUtf8().constData();
    const QString failure = recordFrames(*m_camera, options, 3);
    libavfiles::encodeLibrary = original;
    // The user learns why: the loader's own words, naming the library.
    EXPECT_TRUE(failure.contains("Libav adapter was not initialized.")) << failure.toStdString();
    EXPECT_TRUE(failure.contains("libavcodec-not-installed.so.59: cannot open shared object file"))
        << failure.toStdString();
    EXPECT_TRUE(QDir(path() + "/missing").entryList({"*.mp4"}, QDir::Files).isEmpty());

    options.OutputFolder = (path() + "/again").toUtf8().constData();
    ASSERT_EQ(recordFrames(*m_camera, options, 3), QString());
    const QStringList names = QDir(path() + "/again").entryList({"*.mp4"}, QDir::Files);
    ASSERT_EQ(names.size(), 1);
    EXPECT_EQ(mediatest::probe(path() + "/again/" + names[0])["nb_read_frames"], "3");
}

// A thread count in NUMBER_OF_PROCESSORS that is no number stops the MP4 start with the standard
// exception of the number's reading: the user reads the message of a start that failed for an unknown
// reason (not the bare name of the function that threw), the exception's text goes to the log, and no
// file is left.
TEST_F(EmulatedRecordingTest, ThreadCountThatIsNoNumberFailsTheStartForAnUnknownReason)
{
    const char* previous = std::getenv("NUMBER_OF_PROCESSORS");
    const std::string saved = previous ? previous : "";
    setenv("NUMBER_OF_PROCESSORS", "many", 1);
    CRecordingOptions options;
    options.OutputType = CRecordingOptions::OutputTypeVideo;
    options.FpsPlaybackRate = 25.0;
    options.OutputFolder = (path() + "/threads").toUtf8().constData();
    testsupport::LogCapture log;
    const QString failure = recordFrames(*m_camera, options, 3);
    if (previous)
        setenv("NUMBER_OF_PROCESSORS", saved.c_str(), 1);
    else
        unsetenv("NUMBER_OF_PROCESSORS");
    EXPECT_EQ(failure.toStdString(), "Recording could not be started because an unknown error occurred.");
    EXPECT_TRUE(log.contains("stoi"));
    EXPECT_TRUE(QDir(path() + "/threads").entryList({"*.mp4"}, QDir::Files).isEmpty());
}

} // namespace
