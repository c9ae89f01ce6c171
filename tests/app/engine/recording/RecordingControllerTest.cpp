// The recording controller: whole recordings to BMP and TIFF sequences, states, pause, drain, failures.
#include "../media/MediaTestSupport.h"
#include "AviMediaWriterAdapter.h"
#include "FakeMediaWriter.h"
#include "MediaWriterFactory.h"
#include "RecordingController.h"
#include "RecordingFrameGate.h"
#include "TestImageFiles.h"
#include "TimeUnitMediaImageController.h"

#include "testsupport/LogCapture.h"
#include "testsupport/TempDir.h"
#include "testsupport/Wait.h"

#include <lorvish/StreamBuffer.h>

#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr uint32_t kWidth = 24;
constexpr uint32_t kHeight = 6;

// What the controller announced, collected from whichever thread emitted it.
class ControllerWatch {
public:
    explicit ControllerWatch(CRecordingController& controller)
    {
        QObject::connect(
            &controller, &CRecordingController::stateChanged, &controller,
            [this](ERecordingState state) { add(m_states, state); }, Qt::DirectConnection);
        QObject::connect(
            &controller, &CRecordingController::recordingFailure, &controller,
            [this](const QString& message, const QString& detail) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_failures.push_back({message, detail});
                m_changed.notify_all();
            },
            Qt::DirectConnection);
        QObject::connect(
            &controller, &CRecordingController::waitingForQueueEmptied, &controller,
            [this] {
                std::lock_guard<std::mutex> lock(m_mutex);
                ++m_waiting;
            },
            Qt::DirectConnection);
    }
    std::vector<ERecordingState> states() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_states;
    }
    std::vector<std::pair<QString, QString>> failures() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_failures;
    }
    int waiting() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_waiting;
    }
    bool waitForState(ERecordingState state, std::chrono::seconds timeout = 10s)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return !m_states.empty() && m_states.back() == state; });
    }
    bool waitForFailure(std::chrono::seconds timeout = 10s)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return !m_failures.empty(); });
    }

private:
    void add(std::vector<ERecordingState>& states, ERecordingState state)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        states.push_back(state);
        m_changed.notify_all();
    }
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<ERecordingState> m_states;
    std::vector<std::pair<QString, QString>> m_failures;
    int m_waiting = 0;
};

// Camera frames: Mono8 stream buffers, each filled with its own number.
class Frames {
public:
    Lorvish::StreamBuffer* make(uint8_t value)
    {
        m_buffers.push_back(std::make_unique<Lorvish::StreamBuffer>(kWidth * kHeight, Nimbo::PixelType_Mono8, kWidth,
                                                                    kHeight, 1, nullptr));
        m_buffers.back()->memset(value);
        return m_buffers.back().get();
    }
    // Hands a frame over as the grab thread does: locked by the caller for the call only.
    static void deliver(CRecordingController& controller, Lorvish::StreamBuffer* buffer)
    {
        buffer->lock();
        controller.onCameraBufferAvailable(buffer);
        buffer->unlock();
    }

private:
    std::vector<std::unique_ptr<Lorvish::StreamBuffer>> m_buffers;
};

// A watched recording of every frame into a fake writer, the set-up most controller tests share.
// Tests take its parts apart: auto& [writer, sampling, controller, watch] = recording;
struct EveryFrameRecording {
    explicit EveryFrameRecording(const CRecordingOptions& options)
        : controller(options, &sampling, &writer, nullptr), watch(controller)
    {
    }
    FakeWriter writer;
    CTimeUnitMediaImageController sampling{false, TimeUnitImages, 0, TimeUnitImages, 1};
    CRecordingController controller;
    ControllerWatch watch;
};

class RecordingControllerTest : public testsupport::TempDirTest {
protected:
    CRecordingOptions sequenceOptions(int32_t imageType) const
    {
        CRecordingOptions options;
        options.OutputType = CRecordingOptions::OutputTypeImageSequence;
        options.ImageOutputType = imageType;
        options.OutputFolder = (stdPath() + "/out").c_str();
        options.SampleRateUnit = TimeUnitImages;
        options.SampleRate = 1;
        options.StopSamplingLimitEnabled = false;
        options.QueueBufferSize = 100;
        return options;
    }

    // Last pixel of each recorded file, in file order, read back with Qt's image readers.
    std::vector<int> recordedValues(const QString& suffix) const
    {
        std::vector<int> values;
        for (const QString& name : QDir(path() + "/out").entryList({"*" + suffix}, QDir::Files, QDir::Name)) {
            const QString file = path() + "/out/" + name;
            if (suffix == ".tiff") {
                uint32_t width = 0, height = 0;
                const auto pixels = readTiff(file.toStdString(), width, height);
                values.push_back(pixels.size() == size_t(kWidth) * kHeight ? pixels.back() : -1);
            } else {
                const QImage image(file, "BMP");
                values.push_back(image.isNull() ? -1 : qGray(image.pixel(kWidth - 1, kHeight - 1)));
            }
        }
        return values;
    }

    QStringList recordedNames() const { return QDir(path() + "/out").entryList(QDir::Files, QDir::Name); }
};

// Waits for the end of a recording that was stopped (or reached its limit), then tears it down.
void finishRecording(CRecordingController* controller, ControllerWatch& watch)
{
    EXPECT_TRUE(watch.waitForState(RecordingStopped));
    controller->finish();
    destroyRecordingController(controller);
}

TEST_F(RecordingControllerTest, SequencesHoldExactlyTheSampledFrames)
{
    const struct {
        const char* name;
        int32_t imageType;
        int32_t rate;
        int32_t imageLimit; // 0: stopped by command after 10 frames
        std::vector<int> expected;
    } cases[] = {
        {"tiff every frame, stop command",
         CRecordingOptions::ImageOutputTypeTiff,
         1,
         0,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"bmp every 3rd, stop command", CRecordingOptions::ImageOutputTypeBmp, 3, 0, {1, 4, 7, 10}},
        {"tiff every 2nd, 3 images", CRecordingOptions::ImageOutputTypeTiff, 2, 3, {1, 3, 5}},
        {"bmp every frame, 4 images", CRecordingOptions::ImageOutputTypeBmp, 1, 4, {1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(path() + "/out").removeRecursively();
        CRecordingOptions options = sequenceOptions(c.imageType);
        options.SampleRate = c.rate;
        options.StopSamplingLimitEnabled = c.imageLimit > 0;
        options.StopSamplingLimitUnit = TimeUnitImages;
        options.StopSamplingLimit = c.imageLimit;
        CRecordingController* controller =
            createRecordingController(options, createMediaWriter, Nimbo::PixelType_Mono8, kWidth, kHeight, nullptr);
        ASSERT_NE(controller, nullptr);
        ControllerWatch watch(*controller);
        controller->start("Velmar cam/01");
        EXPECT_EQ(controller->state(), RecordingActive);
        Frames frames;
        for (uint8_t i = 1; i <= 10; ++i)
            Frames::deliver(*controller, frames.make(i));
        if (c.imageLimit == 0)
            controller->stop();
        finishRecording(controller, watch);
        const QString suffix = c.imageType == CRecordingOptions::ImageOutputTypeTiff ? ".tiff" : ".bmp";
        EXPECT_EQ(recordedValues(suffix), c.expected);
        const QStringList names = recordedNames();
        ASSERT_FALSE(names.isEmpty());
        EXPECT_TRUE(names.front().startsWith("Velmar cam_01_")) << names.front().toStdString();
        EXPECT_TRUE(names.front().endsWith("_0001" + suffix)) << names.front().toStdString();
        const auto states = watch.states();
        ASSERT_GE(states.size(), 2u);
        EXPECT_EQ(states.front(), RecordingActive);
        EXPECT_EQ(states.back(), RecordingStopped);
    }
}

TEST_F(RecordingControllerTest, TimeSamplingAndTimeLimitRecordTheHeldFrameAgain)
{
    CRecordingOptions options = sequenceOptions(CRecordingOptions::ImageOutputTypeTiff);
    options.SampleRateUnit = TimeUnitMilliseconds;
    options.SampleRate = 50;
    options.StopSamplingLimitEnabled = true;
    options.StopSamplingLimitUnit = TimeUnitMilliseconds;
    options.StopSamplingLimit = 300;
    CRecordingController* controller =
        createRecordingController(options, createMediaWriter, Nimbo::PixelType_Mono8, kWidth, kHeight, nullptr);
    ASSERT_NE(controller, nullptr);
    ControllerWatch watch(*controller);
    controller->start("cam");
    Frames frames;
    Frames::deliver(*controller, frames.make(42)); // the only frame the camera ever sends
    finishRecording(controller, watch);
    const auto values = recordedValues(".tiff");
    // At start, then on the ticks at 50 ... 250 ms; the tick at the limit and any later one are not
    // taken. A timer thread held up on a busy machine may take fewer, never more.
    EXPECT_GE(values.size(), 1u);
    EXPECT_LE(values.size(), 6u);
    EXPECT_EQ(values, std::vector<int>(values.size(), 42));
}

// A triggered recording whose trigger never comes, or a camera whose frames are rarer than the limit:
// the limit ends the recording when it fires, through the same stop as the user's.
TEST_F(RecordingControllerTest, TimeLimitStopsARecordingWithoutFramesOrTicks)
{
    for (int32_t sampleUnit : {int32_t(TimeUnitImages), int32_t(TimeUnitHours)}) {
        SCOPED_TRACE(sampleUnit);
        CRecordingOptions options = sequenceOptions(CRecordingOptions::ImageOutputTypeTiff);
        options.SampleRateUnit = sampleUnit;
        options.SampleRate = 1;
        options.StopSamplingLimitEnabled = true;
        options.StopSamplingLimitUnit = TimeUnitMilliseconds;
        options.StopSamplingLimit = 100;
        FakeWriter writer;
        CTimeUnitMediaImageController sampling(true, TimeUnitMilliseconds, 100, sampleUnit, 1);
        CRecordingController controller(options, &sampling, &writer, nullptr);
        ControllerWatch watch(controller);
        controller.start("cam");
        ASSERT_EQ(controller.state(), RecordingActive);
        ASSERT_TRUE(watch.waitForState(RecordingStopped, 60s));
        EXPECT_EQ(watch.states(), (std::vector<ERecordingState>{RecordingActive, RecordingStopped}));
        // A frame that comes afterwards is not recorded.
        Frames frames;
        Frames::deliver(controller, frames.make(7));
        controller.finish();
        EXPECT_TRUE(writer.written().empty());
        EXPECT_EQ(writer.closes(), 1);
    }
}

TEST_F(RecordingControllerTest, StopWithQueuedFramesDrainsThenStops)
{
    FakeWriter writer;
    CTimeUnitMediaImageController sampling(false, TimeUnitImages, 0, TimeUnitImages, 1);
    auto controller = std::make_unique<CRecordingController>(sequenceOptions(1), &sampling, &writer, nullptr);
    ControllerWatch watch(*controller);
    controller->start("cam");
    writer.setGate(false);
    Frames frames;
    for (uint8_t i = 1; i <= 4; ++i)
        Frames::deliver(*controller, frames.make(i));
    ASSERT_TRUE(writer.waitEntered(1));
    controller->stop();
    EXPECT_EQ(controller->state(), RecordingDraining);
    controller->updateStatusInfo();
    EXPECT_EQ(controller->statusInfo().bufferUsed, 3u);
    EXPECT_EQ(controller->statusInfo().bufferCapacity, 100u);
    EXPECT_EQ(controller->statusInfo().state, RecordingDraining);
    writer.setGate(true);
    ASSERT_TRUE(watch.waitForState(RecordingStopped));
    EXPECT_EQ(watch.states(), (std::vector<ERecordingState>{RecordingActive, RecordingDraining, RecordingStopped}));
    EXPECT_EQ(watch.waiting(), 3); // after frames 1 to 3, with frames still queued; frame 4 ends the drain
    controller->finish();
    EXPECT_EQ(writer.written(), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(writer.closes(), 1);
    controller->updateStatusInfo();
    EXPECT_EQ(controller->statusInfo().recordedImages, 4u);
}

TEST_F(RecordingControllerTest, StopRacingTheLastFrameAlwaysEndsStopped)
{
    for (int round = 0; round < 100; ++round) {
        SCOPED_TRACE(round);
        FakeWriter writer;
        CTimeUnitMediaImageController sampling(false, TimeUnitImages, 0, TimeUnitImages, 1);
        auto controller = std::make_unique<CRecordingController>(sequenceOptions(1), &sampling, &writer, nullptr);
        ControllerWatch watch(*controller);
        controller->start("cam");
        Frames frames;
        Frames::deliver(*controller, frames.make(1));
        controller->stop();
        ASSERT_TRUE(watch.waitForState(RecordingStopped, 5s));
        controller->finish();
        EXPECT_EQ(controller->state(), RecordingStopped);
        EXPECT_EQ(writer.written(), std::vector<uint8_t>{1});
    }
}

TEST_F(RecordingControllerTest, PauseChangesOnlyActiveOrPausedRecordings)
{
    EveryFrameRecording recording(sequenceOptions(1));
    auto& [writer, sampling, controller, watch] = recording;
    controller.setPaused(true);
    controller.setPaused(false);
    EXPECT_EQ(controller.state(), RecordingInitializing); // not started yet
    controller.start("cam");
    Frames frames;
    Lorvish::StreamBuffer* first = frames.make(1);
    Frames::deliver(controller, first);
    controller.setPaused(true);
    EXPECT_EQ(controller.state(), RecordingPaused);
    Lorvish::StreamBuffer* whilePaused = frames.make(2);
    Frames::deliver(controller, whilePaused);
    EXPECT_EQ(first->lockCount(), 1);       // still the held frame
    EXPECT_EQ(whilePaused->lockCount(), 0); // not taken
    controller.setPaused(false);
    Frames::deliver(controller, frames.make(3));
    EXPECT_EQ(first->lockCount(), 0); // released once a newer frame is held
    controller.stop();
    ASSERT_TRUE(watch.waitForState(RecordingStopped));
    controller.setPaused(false);
    controller.setPaused(true);
    EXPECT_EQ(controller.state(), RecordingStopped); // a stopped recording stays stopped
    controller.finish();
    EXPECT_EQ(writer.opens(), 1); // pausing neither reopens nor closes
    EXPECT_EQ(writer.written(), (std::vector<uint8_t>{1, 3}));
    // A pause is no gap in the film: the frame after it follows the one before.
    EXPECT_EQ(writer.samples(), (std::vector<uint64_t>{0, 1}));
    EXPECT_EQ(watch.states().front(), RecordingActive);
}

TEST_F(RecordingControllerTest, AbortTwiceChangesNothingTheSecondTime)
{
    EveryFrameRecording recording(sequenceOptions(1));
    auto& [writer, sampling, controller, watch] = recording;
    controller.start("cam");
    controller.abort();
    controller.abort();
    EXPECT_EQ(watch.states(), (std::vector<ERecordingState>{RecordingActive, RecordingStopped}));
    controller.finish();
}

TEST_F(RecordingControllerTest, StartFailuresLeaveTheRecordingInitializing)
{
    QFile blocker(path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    {
        CRecordingOptions options = sequenceOptions(1);
        const QString folder = path() + "/file/100%d sub";
        options.OutputFolder = folder.toUtf8().constData();
        EveryFrameRecording recording(options);
        auto& [writer, sampling, controller, watch] = recording;
        controller.start("cam");
        ASSERT_EQ(watch.failures().size(), 1u);
        EXPECT_EQ(watch.failures()[0].first, "The output folder " + folder + " could not be created.");
        EXPECT_TRUE(watch.failures()[0].second.isEmpty());
        EXPECT_EQ(controller.state(), RecordingInitializing);
        EXPECT_EQ(writer.opens(), 0);
        controller.finish();
    }
    {
        EveryFrameRecording recording(sequenceOptions(1));
        auto& [writer, sampling, controller, watch] = recording;
        writer.refuseOpen();
        testsupport::LogCapture log;
        controller.start("cam");
        ASSERT_EQ(watch.failures().size(), 1u);
        // The message is the writer's reason; its source file and line go to the log only.
        EXPECT_EQ(watch.failures()[0].first, "codec refused");
        EXPECT_TRUE(watch.failures()[0].second.isEmpty()) << watch.failures()[0].second.toStdString();
        EXPECT_TRUE(log.contains("codec refused : RuntimeException thrown (file 'fake.cpp', line 1)"));
        EXPECT_EQ(controller.state(), RecordingInitializing);
        controller.finish();
    }
}

TEST_F(RecordingControllerTest, WriteFailuresEndInFailedWithTheirMessage)
{
    const struct {
        FakeWriter::Failure failure;
        bool compression;
        const char* message;
        bool hasDetail;
        bool lost = true; // the frame is not in the file
    } cases[] = {
        {FakeWriter::Generic, false,
         "An error occurred during recording. Frame could not be written from buffer to disk. The recording was "
         "stopped.",
         true},
        {FakeWriter::Other, false,
         "An error occurred during recording. Frame could not be written from buffer to disk. The recording was "
         "stopped.",
         false},
        {FakeWriter::FileLimit, false,
         "An error occurred during recording. Maximum AVI file size has been reached. The recording was stopped.",
         false, false},
        {FakeWriter::Fatal, true,
         "An error occurred during recording. The codec reported a fatal error. The recording was stopped.\n\nTry "
         "another codec or change the pixel format or image size.",
         true},
        {FakeWriter::Fatal, false, "An unknown fatal error occurred during recording. The recording was stopped.",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        CRecordingOptions options = sequenceOptions(1);
        options.UseCompression = c.compression;
        EveryFrameRecording recording(options);
        auto& [writer, sampling, controller, watch] = recording;
        writer.failOn(2, c.failure);
        controller.start("cam");
        Frames frames;
        Frames::deliver(controller, frames.make(1));
        Frames::deliver(controller, frames.make(2));
        ASSERT_TRUE(watch.waitForFailure());
        EXPECT_EQ(controller.state(), RecordingFailed);
        EXPECT_EQ(watch.failures()[0].first, c.message);
        // The detail says how many frames the failure cost, then the writer's own reason, without the
        // source file and line.
        const QString detail = watch.failures()[0].second;
        EXPECT_EQ(detail.startsWith("1 frame could not be written."), c.lost) << detail.toStdString();
        EXPECT_EQ(detail.contains("\n\n"), c.hasDetail) << detail.toStdString();
        EXPECT_FALSE(detail.contains("thrown (file")) << detail.toStdString();
        // The device context answers a failure with abort.
        controller.abort();
        EXPECT_EQ(controller.state(), RecordingStopped);
        controller.finish();
    }
}

// A writer that fails while it finishes its file (the encoder's flush and trailer, the AVI index) has
// lost the end of the recording: the user is told as for a frame that could not be written, once per
// recording, and the recording, stopped already, stays stopped.
TEST_F(RecordingControllerTest, CloseFailuresAreToldLikeWriteFailures)
{
    const char* const notWritten =
        "An error occurred during recording. Frame could not be written from buffer to disk. The recording was "
        "stopped.";
    const struct {
        const char* name;
        FakeWriter::Failure closeFailure;
        bool frameFails; // frame 1 fails first: that is the one failure told
        const char* message;
        const char* detail;
    } cases[] = {
        {"close fails", FakeWriter::Generic, false, notWritten, "disk full"},
        {"codec fails at close", FakeWriter::Fatal, false,
         "An unknown fatal error occurred during recording. The recording was stopped.", "codec gave up on 0"},
        {"frame and close fail", FakeWriter::Fatal, true, notWritten, "disk full"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EveryFrameRecording recording(sequenceOptions(1));
        auto& [writer, sampling, controller, watch] = recording;
        writer.failClose(c.closeFailure);
        if (c.frameFails)
            writer.failOn(1, FakeWriter::Generic);
        controller.start("cam");
        Frames frames;
        Frames::deliver(controller, frames.make(1));
        ASSERT_TRUE(controller.waitUntilWritten(10s));
        if (c.frameFails) {
            ASSERT_TRUE(watch.waitForFailure());
            controller.abort();
        } else {
            controller.stop();
        }
        ASSERT_TRUE(watch.waitForState(RecordingStopped));
        controller.finish();
        EXPECT_EQ(writer.closes(), 1);
        const auto failures = watch.failures();
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].first, c.message);
        EXPECT_TRUE(failures[0].second.endsWith(c.detail)) << failures[0].second.toStdString();
        EXPECT_EQ(controller.state(), RecordingStopped);
        EXPECT_EQ(watch.states().back(), RecordingStopped);
    }
}

// A file that cannot be finished loses what its writer still held (an encoder's last frames): the
// message counts them, and the recorded count is what the file holds.
TEST_F(RecordingControllerTest, FramesLostWhenTheFileCannotBeFinishedAreCounted)
{
    EveryFrameRecording recording(sequenceOptions(1));
    auto& [writer, sampling, controller, watch] = recording;
    writer.failClose(FakeWriter::Generic, 3);
    controller.start("cam");
    Frames frames;
    for (uint8_t i = 1; i <= 5; ++i)
        Frames::deliver(controller, frames.make(i));
    ASSERT_TRUE(controller.waitUntilWritten(10s));
    controller.stop();
    ASSERT_TRUE(watch.waitForState(RecordingStopped));
    controller.finish();
    const auto failures = watch.failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].second.toStdString(), "3 frames could not be written.\n\ndisk full");
    controller.updateStatusInfo();
    EXPECT_EQ(controller.statusInfo().recordedImages, 2u);
}

// A frame that does not fit the recording (another size than the film's) ends it, but the encoder is
// sound: the frames it took before, still in its open fragment when the failure is told, reach the
// file when it is finished. The message counts only the frame that did not fit.
TEST_F(RecordingControllerTest, FramesBeforeAFrameThatDoesNotFitAreNotCountedLost)
{
    CRecordingOptions options = sequenceOptions(1);
    options.OutputType = CRecordingOptions::OutputTypeVideo;
    options.FpsPlaybackRate = 25.0;
    CRecordingController* controller =
        createRecordingController(options, createMediaWriter, Nimbo::PixelType_Mono8, kWidth, kHeight, nullptr);
    ASSERT_NE(controller, nullptr);
    ControllerWatch watch(*controller);
    controller->start("cam");
    ASSERT_EQ(controller->state(), RecordingActive);
    Frames frames;
    for (uint8_t i = 1; i <= 10; ++i)
        Frames::deliver(*controller, frames.make(i));
    ASSERT_TRUE(controller->waitUntilWritten(10s));
    Lorvish::StreamBuffer narrow(kWidth / 2 * kHeight, Nimbo::PixelType_Mono8, kWidth / 2, kHeight, 1, nullptr);
    Frames::deliver(*controller, &narrow);
    ASSERT_TRUE(watch.waitForFailure());
    controller->abort();
    controller->finish();
    controller->updateStatusInfo();
    const uint64_t recorded = controller->statusInfo().recordedImages;
    destroyRecordingController(controller);
    const auto failures = watch.failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(failures[0].second.startsWith("1 frame could not be written.")) << failures[0].second.toStdString();
    EXPECT_EQ(recorded, 10u);
    const QStringList files = QDir(path() + "/out").entryList({"*.mp4"}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(mediatest::probe(path() + "/out/" + files[0])["nb_read_frames"], "10");
}

// The frame that takes an AVI file past its size limit is in the file: the recording ends with the
// size-limit message and counts what the file holds, that frame included.
TEST_F(RecordingControllerTest, TheFrameCrossingTheAviSizeLimitCountsAsWritten)
{
    CAviMediaWriterAdapter writer(25.0, Nimbo::PixelType_Mono8, kWidth, kHeight, 1, nullptr, 2 * kWidth * kHeight);
    CTimeUnitMediaImageController sampling(false, TimeUnitImages, 0, TimeUnitImages, 1);
    CRecordingController controller(sequenceOptions(1), &sampling, &writer, nullptr);
    ControllerWatch watch(controller);
    controller.start("cam");
    Frames frames;
    for (uint8_t i = 1; i <= 3; ++i)
        Frames::deliver(controller, frames.make(i));
    ASSERT_TRUE(watch.waitForFailure());
    ASSERT_TRUE(controller.waitUntilWritten(10s));
    const auto failures = watch.failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].first,
              "An error occurred during recording. Maximum AVI file size has been reached. The recording was stopped.");
    EXPECT_FALSE(failures[0].second.contains("could not be written")) << failures[0].second.toStdString();
    controller.updateStatusInfo();
    EXPECT_EQ(controller.statusInfo().recordedImages, 3u);
    controller.abort();
    controller.finish();
    const QStringList files = QDir(path() + "/out").entryList({"*.avi"}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(mediatest::probe(path() + "/out/" + files[0])["nb_read_frames"], "3");
}

// Frames queued behind a frame that cannot be written meet the same full disk: one message for the
// user, naming the first failure and how many frames it cost, and the file is still closed.
TEST_F(RecordingControllerTest, QueuedFramesFailingGiveOneMessage)
{
    EveryFrameRecording recording(sequenceOptions(1));
    auto& [writer, sampling, controller, watch] = recording;
    for (uint8_t frame = 2; frame <= 4; ++frame)
        writer.failOn(frame, FakeWriter::Generic);
    controller.start("cam");
    writer.setGate(false);
    Frames frames;
    for (uint8_t i = 1; i <= 4; ++i)
        Frames::deliver(controller, frames.make(i));
    writer.setGate(true);
    ASSERT_TRUE(watch.waitForFailure());
    ASSERT_TRUE(controller.waitUntilWritten(10s));
    Frames::deliver(controller, frames.make(5)); // the recording has ended: not taken
    controller.abort();
    controller.finish();
    const auto failures = watch.failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].first, "An error occurred during recording. Frame could not be written from buffer to disk. "
                                 "The recording was stopped.");
    EXPECT_TRUE(failures[0].second.startsWith("3 frames could not be written.\n\ndisk full"))
        << failures[0].second.toStdString();
    EXPECT_EQ(writer.written(), std::vector<uint8_t>{1});
    EXPECT_EQ(writer.closes(), 1);
    EXPECT_EQ(watch.states(), (std::vector<ERecordingState>{RecordingActive, RecordingFailed, RecordingStopped}));
}

// A frame that cannot be placed into the buffer (memory ran out while copying it; here a buffer too
// short for its picture) ends the recording with its own message, and that is the one message: a frame
// queued before it that then fails to be written, or a writer that then fails to finish its file,
// is not told a second time.
TEST_F(RecordingControllerTest, AFrameNotPlacedIntoTheBufferIsTheOneFailureTold)
{
    const struct {
        const char* name;
        bool queuedFrameFails;
        bool closeFails;
    } cases[] = {{"then a queued frame fails", true, false}, {"then the file cannot be finished", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EveryFrameRecording recording(sequenceOptions(1));
        auto& [writer, sampling, controller, watch] = recording;
        if (c.queuedFrameFails)
            writer.failOn(1, FakeWriter::Generic);
        if (c.closeFails)
            writer.failClose(FakeWriter::Generic);
        controller.start("cam");
        writer.setGate(false);
        Frames frames;
        Frames::deliver(controller, frames.make(1));
        ASSERT_TRUE(writer.waitEntered(1));
        Lorvish::StreamBuffer tooShort(kWidth * kHeight / 2, Nimbo::PixelType_Mono8, kWidth, kHeight, 1, nullptr);
        Frames::deliver(controller, &tooShort);
        ASSERT_TRUE(watch.waitForFailure());
        // The device context answers the failure with abort, and tears the recording down.
        writer.setGate(true);
        ASSERT_TRUE(writer.waitFinished(1));
        controller.abort();
        controller.finish();
        const auto failures = watch.failures();
        ASSERT_EQ(failures.size(), 1u) << failures.back().first.toStdString();
        EXPECT_EQ(failures[0].first, "An error occurred during recording. Frame could not be placed into buffer. The "
                                     "recording was stopped.");
        EXPECT_TRUE(failures[0].second.isEmpty()) << failures[0].second.toStdString();
    }
}

// A stop that comes while the grab thread is copying a due frame into the sink: that frame is
// written, never left in the queue when the recording is finished.
TEST_F(RecordingControllerTest, StopRacingAPushKeepsTheFrame)
{
    constexpr unsigned kSide = 1024; // frames large enough that their copy takes a while
    // The frames are made once: every round hands them back unlocked, and a fresh 40 MB per round would
    // spend the test's time faulting in pages rather than racing.
    std::vector<std::unique_ptr<Lorvish::StreamBuffer>> buffers;
    for (uint8_t i = 1; i <= 40; ++i) {
        buffers.push_back(
            std::make_unique<Lorvish::StreamBuffer>(kSide * kSide, Nimbo::PixelType_Mono8, kSide, kSide, 1, nullptr));
        buffers.back()->memset(i);
    }
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        for (const auto& buffer : buffers)
            ASSERT_EQ(buffer->lockCount(), 0) << "the last round's controller still holds a frame";
        FakeWriter writer;
        CTimeUnitMediaImageController sampling(false, TimeUnitImages, 0, TimeUnitImages, 1);
        auto controller = std::make_unique<CRecordingController>(sequenceOptions(1), &sampling, &writer, nullptr);
        ControllerWatch watch(*controller);
        controller->start("cam");
        std::atomic<bool> ended{false};
        std::thread grab([&] {
            for (auto& buffer : buffers) {
                if (ended)
                    break;
                Frames::deliver(*controller, buffer.get());
            }
        });
        ASSERT_TRUE(writer.waitFinished(1 + round % 3));
        controller->stop();
        ASSERT_TRUE(watch.waitForState(RecordingStopped));
        ended = true;
        grab.join();
        controller->finish();
        controller->updateStatusInfo();
        EXPECT_EQ(controller->statusInfo().bufferUsed, 0u); // nothing left behind in the queue
        EXPECT_EQ(controller->statusInfo().droppedImages, 0u);
        const auto written = writer.written();
        ASSERT_FALSE(written.empty());
        for (size_t i = 0; i < written.size(); ++i)
            EXPECT_EQ(written[i], i + 1);
    }
}

// A sampling controller that holds the first frame call inside onNewImage until released.
class HoldingSampling : public IMediaImageController {
public:
    void onRecordingStarted() override {}
    void start() override {}
    void stop() override {}
    void onNewImage() override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_calls;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_released; });
    }
    bool hasImageLimit() const override { return false; }
    void setImageDueCallback(ImageDueCallback) override {}
    void clearImageDueCallback() override {}
    void setLimitReachedCallback(LimitReachedCallback) override {}
    void clearLimitReachedCallback() override {}

    bool waitForCall()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [this] { return m_calls > 0; });
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_calls = 0;
    bool m_released = false;
};

// The controller is torn down while one grab-thread call is inside it and a second one has passed
// the first state check and waits for the lock: teardown waits for both, and neither touches the
// controller after it has gone (checked by the address sanitizer).
TEST_F(RecordingControllerTest, TeardownWaitsForFrameCallsInProgress)
{
    FakeWriter writer;
    HoldingSampling sampling;
    auto* controller = new CRecordingController(sequenceOptions(1), &sampling, &writer, nullptr);
    controller->start("cam");
    Frames frames;
    Lorvish::StreamBuffer* first = frames.make(1);
    Lorvish::StreamBuffer* second = frames.make(2);
    std::thread inside([&] { Frames::deliver(*controller, first); });
    ASSERT_TRUE(sampling.waitForCall());
    std::thread waiting([&] { Frames::deliver(*controller, second); });
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (controller->frameCallsInProgress() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(controller->frameCallsInProgress(), 2);
    std::thread teardown([&] {
        controller->abort();
        controller->finish();
        delete controller;
    });
    sampling.release();
    inside.join();
    waiting.join();
    teardown.join();
    EXPECT_EQ(first->lockCount(), 0);
    EXPECT_EQ(second->lockCount(), 0);
}

// The camera's frames reach a recording through a gate that stays connected: closing it waits for a
// frame being handed over, and no frame passes afterwards, so the controller may go at once.
TEST_F(RecordingControllerTest, ClosingTheFrameGateWaitsForTheFrameUnderWay)
{
    FakeWriter writer;
    HoldingSampling sampling;
    auto* controller = new CRecordingController(sequenceOptions(1), &sampling, &writer, nullptr);
    controller->start("cam");
    CRecordingFrameGate gate;
    gate.open(controller);
    Frames frames;
    Lorvish::StreamBuffer* first = frames.make(1);
    std::thread grab([&] {
        first->lock();
        gate.deliver(first);
        first->unlock();
    });
    ASSERT_TRUE(sampling.waitForCall());
    std::atomic<bool> closed{false};
    std::thread teardown([&] {
        gate.close();
        closed = true;
    });
    EXPECT_FALSE(testsupport::waitFor([&] { return closed.load(); }, 200)) << "closed with a frame under way";
    sampling.release();
    teardown.join();
    grab.join();
    controller->abort();
    controller->finish();
    delete controller;
    Lorvish::StreamBuffer* later = frames.make(2);
    later->lock();
    gate.deliver(later); // reaches nothing (the address sanitizer would see the controller touched)
    later->unlock();
    EXPECT_EQ(later->lockCount(), 0);
    EXPECT_EQ(first->lockCount(), 0);
}

// Failed or incomplete grabs carry corrupted pictures: they are not recorded, and the status counts
// them with the dropped frames.
TEST_F(RecordingControllerTest, IncompleteFramesAreCountedNotRecorded)
{
    EveryFrameRecording recording(sequenceOptions(1));
    auto& [writer, sampling, controller, watch] = recording;
    controller.start("cam");
    Frames frames;
    for (uint8_t i = 1; i <= 6; ++i) {
        Lorvish::StreamBuffer* buffer = frames.make(i);
        buffer->setComplete(i % 3 != 0);
        Frames::deliver(controller, buffer);
        // A complete frame is held until the next one; an incomplete one is not taken at all.
        EXPECT_EQ(buffer->lockCount(), i % 3 != 0 ? 1 : 0) << "frame " << int(i);
    }
    controller.stop();
    ASSERT_TRUE(watch.waitForState(RecordingStopped));
    controller.finish();
    EXPECT_EQ(writer.written(), (std::vector<uint8_t>{1, 2, 4, 5}));
    // The camera's lost frames keep their time in the film, as frames the full queue refused do.
    EXPECT_EQ(writer.samples(), (std::vector<uint64_t>{0, 1, 3, 4}));
    controller.updateStatusInfo();
    EXPECT_EQ(controller.statusInfo().droppedImages, 2u);
    EXPECT_EQ(controller.statusInfo().recordedImages, 4u);
}

// The status counts a lost grab as a dropped frame where the recording wanted it: where the film has
// an empty place for it, and before the first frame, which would have been the film's first (a camera
// that sends only broken frames shows them all dropped). A grab that was not due (every 3rd frame
// sampled, or sampled by time, where the frame held before is taken again) leaves nothing missing.
TEST_F(RecordingControllerTest, LostGrabsCountAsDroppedOnlyWhereTheRecordingWantedThem)
{
    const struct {
        const char* name;
        int32_t sampleUnit;
        int32_t sampleRate;
        std::vector<bool> complete; // of frames 1, 2, ...
        std::vector<uint8_t> written;
        std::vector<uint64_t> samples;
        uint64_t dropped;
    } cases[] = {
        {"every 3rd frame, the 4th lost",
         TimeUnitImages,
         3,
         {true, false, false, false, true, true, true},
         {1, 7},
         {0, 2},
         1},
        {"every 3rd frame, two not due lost", TimeUnitImages, 3, {true, false, false, true}, {1, 4}, {0, 1}, 0},
        {"every frame, lost before the first", TimeUnitImages, 1, {false, false, true, true}, {3, 4}, {0, 1}, 2},
        {"one frame an hour", TimeUnitHours, 1, {true, false, true, false}, {1}, {0}, 0},
        {"one frame an hour, lost before the first", TimeUnitHours, 1, {false, true, false}, {2}, {0}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWriter writer;
        CTimeUnitMediaImageController sampling(false, TimeUnitImages, 0, c.sampleUnit, c.sampleRate);
        CRecordingController controller(sequenceOptions(1), &sampling, &writer, nullptr);
        ControllerWatch watch(controller);
        controller.start("cam");
        Frames frames;
        for (size_t i = 0; i < c.complete.size(); ++i) {
            Lorvish::StreamBuffer* buffer = frames.make(uint8_t(i + 1));
            buffer->setComplete(c.complete[i]);
            Frames::deliver(controller, buffer);
        }
        controller.stop();
        ASSERT_TRUE(controller.state() == RecordingStopped || watch.waitForState(RecordingStopped));
        controller.updateStatusInfo();
        const RecordingStatusInfo status = controller.statusInfo();
        controller.finish();
        EXPECT_EQ(writer.written(), c.written);
        EXPECT_EQ(writer.samples(), c.samples);
        EXPECT_EQ(status.droppedImages, c.dropped);
    }
}

TEST_F(RecordingControllerTest, FullQueueDropsAndCountsFrames)
{
    FakeWriter writer;
    writer.setGate(false);
    CTimeUnitMediaImageController sampling(false, TimeUnitImages, 0, TimeUnitImages, 1);
    CRecordingOptions options = sequenceOptions(1);
    options.QueueBufferSize = 2;
    CRecordingController controller(options, &sampling, &writer, nullptr);
    controller.start("cam");
    Frames frames;
    Frames::deliver(controller, frames.make(1));
    ASSERT_TRUE(writer.waitEntered(1));
    for (uint8_t i = 2; i <= 6; ++i)
        Frames::deliver(controller, frames.make(i));
    controller.updateStatusInfo();
    EXPECT_EQ(controller.statusInfo().bufferUsed, 2u);
    EXPECT_EQ(controller.statusInfo().droppedImages, 3u);
    writer.setGate(true);
    ControllerWatch watch(controller);
    controller.stop();
    ASSERT_TRUE(controller.state() == RecordingStopped || watch.waitForState(RecordingStopped));
    controller.finish();
    EXPECT_EQ(writer.written(), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(writer.samples(), (std::vector<uint64_t>{0, 1, 2}));
}

// Every frame sampled has its place in the film, written or not: with count sampling every 2nd frame
// and a queue that refuses frames, the frames written keep the places they were sampled at.
TEST_F(RecordingControllerTest, WrittenFramesKeepTheirPlaceInTheSampledSequence)
{
    FakeWriter writer;
    writer.setGate(false);
    CTimeUnitMediaImageController sampling(false, TimeUnitImages, 0, TimeUnitImages, 2);
    CRecordingOptions options = sequenceOptions(1);
    options.QueueBufferSize = 1;
    CRecordingController controller(options, &sampling, &writer, nullptr);
    ControllerWatch watch(controller);
    controller.start("cam");
    Frames frames;
    Frames::deliver(controller, frames.make(1)); // sample 0, taken by the writer thread
    ASSERT_TRUE(writer.waitEntered(1));
    for (uint8_t i = 2; i <= 8; ++i) // 3 (sample 1) queued; 5, 7 (samples 2, 3) refused
        Frames::deliver(controller, frames.make(i));
    writer.setGate(true);
    ASSERT_TRUE(writer.waitFinished(2));
    Frames::deliver(controller, frames.make(9)); // sample 4
    Frames::deliver(controller, frames.make(10));
    ASSERT_TRUE(writer.waitFinished(3));
    Frames::deliver(controller, frames.make(11)); // sample 5
    controller.stop();
    ASSERT_TRUE(controller.state() == RecordingStopped || watch.waitForState(RecordingStopped));
    controller.finish();
    EXPECT_EQ(writer.written(), (std::vector<uint8_t>{1, 3, 9, 11}));
    EXPECT_EQ(writer.samples(), (std::vector<uint64_t>{0, 1, 4, 5}));
    controller.updateStatusInfo();
    EXPECT_EQ(controller.statusInfo().droppedImages, 2u);
}

TEST_F(RecordingControllerTest, UnknownOutputBuildsNoRecording)
{
    for (int32_t outputType : {3, -1}) {
        CRecordingOptions options = sequenceOptions(1);
        options.OutputType = outputType;
        EXPECT_EQ(
            createRecordingController(options, createMediaWriter, Nimbo::PixelType_Mono8, kWidth, kHeight, nullptr),
            nullptr);
    }
    CRecordingOptions options = sequenceOptions(7);
    EXPECT_EQ(createRecordingController(options, createMediaWriter, Nimbo::PixelType_Mono8, kWidth, kHeight, nullptr),
              nullptr);
}

TEST(RecordingControllerNameTest, CameraNamesAreMadeSafeForFileNames)
{
    const struct {
        const char* name;
        const char* expected;
    } cases[] = {
        {"Velmar acA1920 (12345)", "Velmar acA1920 (12345)"},
        {"a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j"},
        {"100%s%n", "100_s_n"},
        {"../..", "_._.."},
        {"line\nbreak", "line_break"},
        {"", "camera"},
        {"   ", "camera"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CRecordingController::fileNameSafe(QString::fromUtf8(c.name)), QString::fromUtf8(c.expected))
            << c.name;
}

} // namespace
