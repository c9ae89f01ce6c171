// Recordings through the device context on emulated cameras: teardown while frames stream, the
// playback rate of every sampling, time-lapses, and failures told to the user.
#include "Camera.h"
#include "DeviceContext.h"
#include "GrabDevice.h"
#include "RecordingController.h"
#include "TimeUnitMediaImageController.h"
#include "../media/MediaTestSupport.h"
#include "../recording/FakeMediaWriter.h"

#include "testsupport/EmulatedCameras.h"
#include "testsupport/FileSizeLimit.h"
#include "testsupport/LogCapture.h"
#include "testsupport/TempDir.h"
#include "testsupport/Wait.h"

#include <brasko/AsyncErrorQueue.h>
#include <nimbo/Emulation.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <log4cpp/Priority.hh>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::waitFor;

// The two video formats, each recording of a test is made in.
const struct VideoFormat {
    const char* name;
    int32_t outputType;
    const char* suffix;
} kVideoFormats[] = {{"mp4", CRecordingOptions::OutputTypeVideo, "*.mp4"},
                     {"avi", CRecordingOptions::OutputTypeAvi, "*.avi"}};

// Keeps the last recording status the context handed to its window.
class StatusWindow : public NullDeviceContextWindow {
public:
    explicit StatusWindow(RecordingStatusInfo* status) : m_status(status) {}
    void setRecordingStatus(const RecordingStatusInfo& status) override { *m_status = status; }

private:
    RecordingStatusInfo* m_status; // owned by the test, outlives the window
};

class DeviceContextRecordingTest : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        QSettings().clear();
        ASSERT_TRUE(Nimbo::Emulation::Configure("usb:vxUsb1920m:50000001;usb:vxUsb1920m:50000002"));
    }
    void TearDown() override
    {
        for (DeviceContext* context : m_contexts) {
            context->shutDown();
            delete context;
        }
        m_contexts.clear();
        QCoreApplication::processEvents();
        Nimbo::Emulation::Configure("");
        TempDirTest::TearDown();
    }

    // A context on the camera with this serial number, opened with 64 x 32 frames at `framesPerSecond`
    // and showing its live view.
    DeviceContext* liveCamera(const std::string& serial, double framesPerSecond)
    {
        const Nimbo::CDeviceInfo info = testsupport::emulatedCamera(serial);
        DeviceContext* context =
            createDeviceContext(info, nullptr, nullptr, 0x1000000,
                                [this](DeviceContext&, QMdiArea*) { return new StatusWindow(&m_status); });
        m_contexts.push_back(context);
        EXPECT_TRUE(context->attachAndOpenDevice(&info));
        grab::GrabNodeMap* map = context->camera()->getFeatures();
        map->setIntValue("Width", 64);
        map->setIntValue("Height", 32);
        map->setIntValue("ExposureTimeRaw", 100);
        map->setBoolValue("AcquisitionFrameRateEnable", true);
        map->setFloatValue("AcquisitionFrameRate", framesPerSecond);
        context->startContinuousShot(false);
        EXPECT_TRUE(context->camera()->isGrabbing());
        return context;
    }

    CRecordingOptions options(int32_t outputType, const QString& folder) const
    {
        CRecordingOptions options;
        options.OutputType = outputType;
        options.OutputFolder = folder.toUtf8().constData();
        options.UseCompression = false;
        options.SampleRateUnit = TimeUnitImages;
        options.SampleRate = 1;
        options.StopSamplingLimitEnabled = false;
        return options;
    }

    // The recording status as the context reports it now.
    RecordingStatusInfo status(DeviceContext& context)
    {
        m_status = RecordingStatusInfo{};
        context.updateImageWindowRecordingStatus();
        return m_status;
    }

    Nimbo::NimboAutoInitTerm m_sdk;
    std::vector<DeviceContext*> m_contexts;
    RecordingStatusInfo m_status;
};

// Recordings started and torn down over and over while the camera streams as fast as it can: the
// teardown never overlaps a frame the grab thread is handing over, however the two meet (the address
// and thread sanitizers watch the controller's memory).
TEST_F(DeviceContextRecordingTest, TeardownNeverMeetsAFrameUnderWay)
{
    DeviceContext* context = liveCamera("50000001", 5000.0);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        CRecordingOptions recording = options(CRecordingOptions::OutputTypeAvi, path() + "/stress");
        context->startRecording(&recording);
        ASSERT_TRUE(context->hasRecordingController());
        context->stopRecording();
        ASSERT_TRUE(waitFor([&] { return !context->hasRecordingController(); }));
    }
    EXPECT_TRUE(context->camera()->isGrabbing());
    EXPECT_EQ(QDir(path() + "/stress").entryList({"*.avi"}, QDir::Files).size(), 300);
}

// The disk fills once every frame is in the file, while the writer finishes it (the encoder's last
// frames and trailer, the AVI index and header): the end of the recording is lost, and the user is told.
TEST_F(DeviceContextRecordingTest, AFailureAtCloseIsShownToTheUser)
{
    DeviceContext* context = liveCamera("50000001", 100.0);
    for (const VideoFormat& c : kVideoFormats) {
        SCOPED_TRACE(c.name);
        const QString folder = path() + "/" + c.name;
        QSignalSpy shown(GetTheGlobalAsyncErrorQueue(), &AsyncErrorQueue::displayError);
        CRecordingOptions recording = options(c.outputType, folder);
        context->startRecording(&recording);
        ASSERT_TRUE(waitFor([&] { return status(*context).recordedImages >= 20; }));
        // Paused, the writer comes to rest with every frame taken written.
        context->pauseRecording();
        ASSERT_TRUE(context->isRecordingPaused());
        uint64_t written = 0;
        int unchanged = 0;
        ASSERT_TRUE(waitFor([&] {
            const RecordingStatusInfo now = status(*context);
            unchanged = now.bufferUsed == 0 && now.recordedImages == written ? unchanged + 1 : 0;
            written = now.recordedImages;
            return unchanged >= 50;
        }));
        const QStringList files = QDir(folder).entryList({c.suffix}, QDir::Files);
        ASSERT_EQ(files.size(), 1);
        {
            testsupport::FileSizeLimit full(uint64_t(QFileInfo(folder + "/" + files[0]).size()));
            ASSERT_TRUE(full.isActive());
            context->stopRecording();
            ASSERT_TRUE(waitFor([&] { return !context->hasRecordingController(); }));
        }
        ASSERT_TRUE(waitFor([&] {
            QCoreApplication::processEvents();
            return !shown.isEmpty();
        }));
        EXPECT_EQ(shown.at(0).at(0).value<AsyncErrorQueue::ErrorSeverity>(), AsyncErrorQueue::Critical);
        EXPECT_EQ(shown.at(0).at(1).toString(), "An error occurred during recording. Frame could not be written "
                                                "from buffer to disk. The recording was stopped.");
        // The detail gives the system's reason, and neither source file nor line.
        const QString detail = shown.at(0).at(2).toString();
        EXPECT_TRUE(detail.endsWith("File too large") || detail.endsWith("File too large.")) << detail.toStdString();
        EXPECT_FALSE(detail.contains("thrown (file")) << detail.toStdString();
    }
}

// A recording whose file cannot be finished is told when it ends, and its failure ends no other
// recording: one started before the failure's notice is handled (the record key pressed again at once)
// goes on.
TEST_F(DeviceContextRecordingTest, AFailureAtCloseEndsNoRecordingStartedAfterIt)
{
    DeviceContext* context = liveCamera("50000001", 100.0);
    int made = 0;
    context->setRecordingControllerFactory([&](const CRecordingOptions& recording, Nimbo::EPixelType, uint32_t,
                                               uint32_t) {
        auto* sampling = new CTimeUnitMediaImageController(recording.StopSamplingLimitEnabled,
                                                           recording.StopSamplingLimitUnit, recording.StopSamplingLimit,
                                                           recording.SampleRateUnit, recording.SampleRate);
        auto* writer = new FakeWriter;
        if (made++ == 0)
            writer->failClose(FakeWriter::Generic);
        return new CRecordingController(recording, sampling, writer, nullptr);
    });
    QSignalSpy shown(GetTheGlobalAsyncErrorQueue(), &AsyncErrorQueue::displayError);
    CRecordingOptions first = options(CRecordingOptions::OutputTypeAvi, path() + "/first");
    context->startRecording(&first);
    ASSERT_TRUE(waitFor([&] { return status(*context).recordedImages >= 5; }));
    CRecordingOptions second = options(CRecordingOptions::OutputTypeAvi, path() + "/second");
    bool restarted = false;
    QObject::connect(context, qOverload<>(&DeviceContext::recordingStateChanged), [&] {
        if (!restarted && !context->hasRecordingController()) {
            restarted = true;
            context->startRecording(&second);
        }
    });
    context->stopRecording();
    ASSERT_TRUE(waitFor([&] { return restarted && !shown.isEmpty(); }));
    EXPECT_EQ(shown.at(0).at(1).toString(), "An error occurred during recording. Frame could not be written from "
                                            "buffer to disk. The recording was stopped.");
    EXPECT_EQ(shown.at(0).at(2).toString(), "disk full");
    ASSERT_TRUE(waitFor([&] { return status(*context).recordedImages >= 5 || !context->isRecordingActive(); }));
    EXPECT_TRUE(context->isRecordingActive()) << "the second recording was ended by the first one's failure";
    EXPECT_EQ(shown.size(), 1);
}

// A frame that the writer was still at when the context shut down, and that fails as the recording is
// torn down (the drain's bound ran out, the writer thread is being joined), is told, and the shut-down
// ends: the writer thread's report does not wait for the lock the shut-down holds.
TEST_F(DeviceContextRecordingTest, AFrameFailingAsTheRecordingIsTornDownIsToldAndTheShutDownEnds)
{
    DeviceContext* context = liveCamera("50000001", 100.0);
    context->setDrainTimeout(100);
    FakeWriter* writer = nullptr;
    context->setRecordingControllerFactory([&](const CRecordingOptions& recording, Nimbo::EPixelType, uint32_t,
                                               uint32_t) {
        auto* sampling = new CTimeUnitMediaImageController(recording.StopSamplingLimitEnabled,
                                                           recording.StopSamplingLimitUnit, recording.StopSamplingLimit,
                                                           recording.SampleRateUnit, recording.SampleRate);
        writer = new FakeWriter;
        writer->setGate(false);
        for (int first = 0; first < 256; ++first)
            writer->failOn(uint8_t(first), FakeWriter::Generic);
        return new CRecordingController(recording, sampling, writer, nullptr);
    });
    QSignalSpy shown(GetTheGlobalAsyncErrorQueue(), &AsyncErrorQueue::displayError);
    CRecordingOptions recording = options(CRecordingOptions::OutputTypeAvi, path() + "/torn");
    context->startRecording(&recording);
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(writer->waitEntered(1));
    testsupport::LogCapture log;
    // The writer goes on, and fails, once the drain has given up and the teardown is under way.
    std::thread opener([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!log.contains("The recording was ended before its buffer was written") &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        writer->setGate(true);
    });
    context->shutDown();
    opener.join();
    ASSERT_TRUE(waitFor([&] { return !shown.isEmpty(); }));
    EXPECT_EQ(shown.at(0).at(1).toString(), "An error occurred during recording. Frame could not be written from "
                                            "buffer to disk. The recording was stopped.");
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.size(), 1);
}

// Played back, a recording lasts as long as it was recorded, whatever the camera's rate and the
// sampling: the automatic playback rate is what was recorded per second. A slow and a fast camera
// record at the same time, each recording ending itself after 2 s. A recording stopped at some moment
// shows its last frame for one frame's time, which the comparison allows.
TEST_F(DeviceContextRecordingTest, RecordingsPlayAsLongAsTheyWereRecorded)
{
    constexpr double kSeconds = 2.0;
    const struct {
        const char* name;
        DeviceContext* context;
    } cameras[] = {{"slow", liveCamera("50000001", 10.0)}, {"fast", liveCamera("50000002", 50.0)}};
    const struct {
        const char* name;
        int32_t unit;
        int32_t rate;
    } samplings[] = {{"every 40 ms", TimeUnitMilliseconds, 40}, {"every 2nd frame", TimeUnitImages, 2}};
    for (const auto& sampling : samplings) {
        for (const VideoFormat& format : kVideoFormats) {
            SCOPED_TRACE(std::string(sampling.name) + ", " + format.name);
            std::vector<CRecordingOptions> recordings;
            for (const auto& camera : cameras) {
                CRecordingOptions recording =
                    options(format.outputType, path() + "/" + sampling.name + format.name + camera.name);
                recording.SampleRateUnit = sampling.unit;
                recording.SampleRate = sampling.rate;
                recording.StopSamplingLimitEnabled = true;
                recording.StopSamplingLimitUnit = TimeUnitSeconds;
                recording.StopSamplingLimit = int32_t(kSeconds);
                recordings.push_back(recording);
            }
            for (size_t i = 0; i < recordings.size(); ++i) {
                cameras[i].context->startRecording(&recordings[i]);
                ASSERT_TRUE(cameras[i].context->isRecordingActive());
            }
            ASSERT_TRUE(waitFor(
                [&] {
                    return !cameras[0].context->hasRecordingController() &&
                           !cameras[1].context->hasRecordingController();
                },
                30000));
            for (size_t i = 0; i < recordings.size(); ++i) {
                SCOPED_TRACE(cameras[i].name);
                const QString folder = QString::fromUtf8(recordings[i].OutputFolder.c_str());
                const QStringList files = QDir(folder).entryList({format.suffix}, QDir::Files);
                ASSERT_EQ(files.size(), 1);
                const auto info = mediatest::probe(folder + "/" + files[0]);
                ASSERT_EQ(info.count("error"), 0u) << info.at("error");
                const std::string rate = info.at("r_frame_rate");
                const size_t slash = rate.find('/');
                ASSERT_NE(slash, std::string::npos) << rate;
                const double framesPerSecond = std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1));
                const double playing = std::stod(info.at("duration"));
                EXPECT_NEAR(playing, kSeconds, 0.05 * kSeconds + 1.0 / framesPerSecond)
                    << info.at("nb_read_frames") << " frames at " << rate;
            }
        }
    }
}

// One frame an hour: the recording starts, takes its first frame at once and leaves a file that
// plays, a time-lapse at the camera's rate.
TEST_F(DeviceContextRecordingTest, OneFrameAnHourStartsAndPlays)
{
    DeviceContext* context = liveCamera("50000001", 20.0);
    for (const VideoFormat& c : kVideoFormats) {
        SCOPED_TRACE(c.name);
        const QString folder = path() + "/" + c.name;
        QSignalSpy shown(GetTheGlobalAsyncErrorQueue(), &AsyncErrorQueue::displayError);
        CRecordingOptions recording = options(c.outputType, folder);
        recording.SampleRateUnit = TimeUnitHours;
        recording.SampleRate = 1;
        context->startRecording(&recording);
        EXPECT_TRUE(context->isRecordingActive());
        EXPECT_DOUBLE_EQ(recording.FpsPlaybackRate, 20.0);
        ASSERT_TRUE(
            waitFor([&] { return status(*context).recordedImages >= 1 || !context->hasRecordingController(); }));
        context->stopRecording();
        ASSERT_TRUE(waitFor([&] { return !context->hasRecordingController(); }));
        QCoreApplication::processEvents();
        EXPECT_TRUE(shown.isEmpty()) << shown.at(0).at(1).toString().toStdString();
        const QStringList files = QDir(folder).entryList({c.suffix}, QDir::Files);
        ASSERT_EQ(files.size(), 1);
        const auto info = mediatest::probe(folder + "/" + files[0]);
        ASSERT_EQ(info.count("error"), 0u) << info.at("error");
        EXPECT_EQ(info.at("nb_read_frames"), "1");
        EXPECT_EQ(info.at("r_frame_rate"), "20/1");
    }
}

// A recording from the start of the grab to the closing of the camera leaves its steps in the durable
// log and the sequence trace, each line in its own category at its own level, whichever part of the
// engine wrote it: the grab, the context, the recording controller or the MP4 writer's libav loader.
TEST_F(DeviceContextRecordingTest, EachStepIsLoggedInItsCategoryAtItsLevel)
{
    testsupport::LogCapture log;
    DeviceContext* context = liveCamera("50000001", 100.0);
    const std::string camera = context->camera()->getName().toStdString();
    CRecordingOptions recording = options(CRecordingOptions::OutputTypeVideo, path() + "/log");
    context->startRecording(&recording);
    ASSERT_TRUE(waitFor([&] { return status(*context).recordedImages >= 3; }));
    context->stopRecording();
    ASSERT_TRUE(waitFor([&] { return !context->hasRecordingController(); }));
    // A file stands where the output folder would be made.
    QFile blocker(path() + "/blocked");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    CRecordingOptions refused = options(CRecordingOptions::OutputTypeVideo, path() + "/blocked/out");
    context->startRecording(&refused);
    ASSERT_TRUE(waitFor([&] { return !context->hasRecordingController(); }));
    context->closeCamera();
    context->shutDown();

    using log4cpp::Priority;
    const struct {
        const char* category;
        int priority;
        std::string text; // the line, or its beginning where it goes on with a path, an address or a count
    } lines[] = {
        {"Tesvar.Base", Priority::INFO, "Starting continuous shot on \"" + camera + "\"."},
        {"Tesvar.Base", Priority::INFO, "Continuous shot on \"" + camera + "\" has been started."},
        {"Tesvar.Base", Priority::INFO, "Start recording."},
        {"Tesvar.Recording", Priority::INFO, "Start creating CRecordingController"},
        {"Tesvar.Recording", Priority::INFO, "Finished creating CRecordingController"},
        {"Tesvar.Recording", Priority::INFO, "Recording settings:\n OutputType: 0\n"},
        {"Tesvar.Recording", Priority::INFO, "Before emit state changed. 1"},
        {"nimbo.utility.LibavAdapter", Priority::INFO, "Loading libav encode "},
        {"nimbo.utility.LibavAdapter", Priority::INFO, ": Successfully loaded libav format Adapter ID="},
        {"Tesvar.Base", Priority::INFO, "Stop recording."},
        {"Tesvar.Recording", Priority::INFO, "Start destroying CRecordingController"},
        {"Tesvar.Recording", Priority::INFO, "Finished destroying CRecordingController"},
        {"nimbo.utility.LibavAdapter", Priority::INFO, "Unloaded libav encode Adapter ID="},
        {"Tesvar.Base", Priority::INFO, "Recording has been stopped."},
        {"Tesvar.Recording", Priority::WARN,
         "The output folder " + path().toStdString() + "/blocked/out could not be created."},
        {"Tesvar.Base", Priority::INFO, "Stopping continuous shot on \"" + camera + "\"."},
        {"Tesvar.Base", Priority::INFO, "Continuous shot on \"" + camera + "\" has been stopped. (Images: "},
        {"Ardenmoor.Sequence", Priority::DEBUG, "DeviceContext::onCameraClosed(): entering..."},
        {"Ardenmoor.Sequence.RemoveCamera", Priority::DEBUG, "DeviceContext::shutDown(): entering..."},
    };
    const std::vector<testsupport::CapturedMessage> messages = log.messages();
    for (const auto& line : lines) {
        bool found = false;
        for (const auto& message : messages)
            found = found || (message.source == testsupport::CapturedMessage::Source::Log4cpp &&
                              message.category == line.category && message.priority == line.priority &&
                              message.text.rfind(line.text, 0) == 0);
        EXPECT_TRUE(found) << line.category << " at " << line.priority << ": " << line.text;
    }
}

// The playback rate a recording is given is logged in the shortest form that reads back as the same
// number: a rate of a third of a thousand is not cut to six digits, and a whole rate has no fraction.
TEST_F(DeviceContextRecordingTest, ThePlaybackRateIsLoggedAsTheNumberItIs)
{
    DeviceContext* context = liveCamera("50000001", 20.0);
    const struct {
        const char* name;
        int32_t unit;
        int32_t rate;
        const char* logged;
    } cases[] = {
        {"every 3 ms", TimeUnitMilliseconds, 3, "333.3333333333333"},
        {"every 7 ms", TimeUnitMilliseconds, 7, "142.85714285714286"},
        {"every 40 ms", TimeUnitMilliseconds, 40, "25"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingOptions recording = options(CRecordingOptions::OutputTypeAvi, path() + "/" + c.name);
        recording.SampleRateUnit = c.unit;
        recording.SampleRate = c.rate;
        recording.AutomaticFpsPlayback = true;
        testsupport::LogCapture log;
        context->startRecording(&recording);
        const std::string line = std::string("Playback frame rate set to \"") + c.logged + "\".";
        EXPECT_EQ(log.count(line), 1u) << "the rate is " << recording.FpsPlaybackRate;
        EXPECT_EQ(std::stod(c.logged), recording.FpsPlaybackRate);
        context->stopRecording();
        ASSERT_TRUE(waitFor([&] { return !context->hasRecordingController(); }));
    }
}

} // namespace
