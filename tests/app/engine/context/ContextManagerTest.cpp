// The whole engine headless on emulated cameras, driven through the context manager.
#include "Camera.h"
#include "ContextManager.h"
#include "CreateDeviceThread.h"
#include "DeviceContext.h"
#include "GrabDevice.h"

#include "testsupport/LingeringThread.h"
#include "testsupport/LogCapture.h"
#include "testsupport/RunOnThreadOf.h"
#include "testsupport/TempDir.h"
#include "testsupport/Wait.h"

#include <GenApi/GenApi.h>
#include <brasko/AsyncErrorQueue.h>
#include <nimbo/Emulation.h>
#include <nimbo/NimboDevice.h>
#include <nimbo/TlFactory.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <memory>
#include <vector>

Q_DECLARE_METATYPE(Nimbo::INimboDevice*)

namespace {

using testsupport::waitFor;

constexpr const char* kSerial = "40000002";

// Records what the engine tells its image window; images arrive in the converter's thread.
struct TestWindow : IDeviceContextWindow {
    std::atomic<int> images{0};
    std::atomic<int> shows{0};
    std::atomic<int> perfUpdates{0};
    std::atomic<uint32_t> lastImageCounter{0};
    std::atomic<int> stateChanges{0};
    bool hidden = true;
    bool* disposed = nullptr;
    std::vector<RecordingStatusInfo>* statuses = nullptr; // owned by the test: outlives the window

    void setDeviceName(const QString&) override {}
    void setImage(const Lorvish::Image&) override { ++images; }
    bool isWindowHidden() const override { return hidden; }
    void showWindow() override
    {
        hidden = false;
        ++shows;
    }
    void giveFocus() override {}
    void closeWindow() override { hidden = true; }
    void shutDownAndDispose() override
    {
        if (disposed)
            *disposed = true;
        delete this;
    }
    void setWhiteBalancePickerEnabled(bool enabled) override { whiteBalancePicker = enabled ? 1 : 0; }
    void recordingStateChanged(ERecordingState) override { ++stateChanges; }
    void setRecordingStatus(const RecordingStatusInfo& status) override
    {
        if (statuses)
            statuses->push_back(status);
    }
    void setPerfData(double, uint64_t, bool) override { ++perfUpdates; }
    void clearPerfData() override {}
    void updateImageCounter(uint32_t images, uint32_t) override { lastImageCounter = images; }
    bool saveImage(const QString&) override { return false; }
    bool hasImage() const override { return images > 0; }
    void zoomIn() override { ++zooms; }
    bool canZoomIn() const override { return true; }
    void pauseUpdates(bool pause) override { paused = pause; }

    std::atomic<int> zooms{0};
    std::atomic<int> whiteBalancePicker{-1};
    bool paused = false;
};

class ContextManagerTest : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        qRegisterMetaType<Nimbo::INimboDevice*>("Nimbo::INimboDevice*");
        qRegisterMetaType<Camera*>("Camera*");
        QSettings().clear();
        ASSERT_TRUE(Nimbo::Emulation::Configure(std::string("usb:vxUsb1920m:") + kSerial));
        Nimbo::CTlFactory::GetInstance().EnumerateDevices(m_devices);
        ASSERT_EQ(m_devices.size(), 1u);
    }
    void TearDown() override
    {
        if (m_manager)
            m_manager->shutDown();
        m_manager.reset();
        QCoreApplication::processEvents();
        Nimbo::Emulation::Configure("");
        TempDirTest::TearDown();
    }

    std::unique_ptr<ContextManager> makeManager()
    {
        return std::make_unique<ContextManager>(nullptr, nullptr, [this](DeviceContext&, QMdiArea*) {
            m_window = new TestWindow;
            return m_window;
        });
    }

    // Makes the device current and opens it at a small size and a brisk rate.
    void openDevice()
    {
        m_manager = makeManager();
        m_manager->changeCurrentDevice(&m_devices[0]);
        m_manager->openActiveDevice();
        ASSERT_TRUE(m_manager->isDeviceOpen());
        grab::GrabNodeMap* map = m_manager->currentCamera()->getFeatures();
        map->setIntValue("Width", 320);
        map->setIntValue("Height", 200);
        map->setBoolValue("AcquisitionFrameRateEnable", true);
        map->setFloatValue("AcquisitionFrameRate", 100.0);
    }

    CRecordingOptions tiffOptions(const QString& folder, int limit)
    {
        CRecordingOptions options;
        options.OutputType = CRecordingOptions::OutputTypeImageSequence;
        options.ImageOutputType = CRecordingOptions::ImageOutputTypeTiff;
        options.OutputFolder = folder.toUtf8().constData();
        options.SampleRateUnit = TimeUnitImages;
        options.SampleRate = 1;
        options.StopSamplingLimitEnabled = limit > 0;
        options.StopSamplingLimitUnit = TimeUnitImages;
        options.StopSamplingLimit = limit;
        return options;
    }

    // The three ways a grab starts: a live view, a one-shot, a recording (of TIFF images into `folder`).
    struct GrabStart {
        const char* name;
        std::function<void(ContextManager&)> start;
    };
    std::vector<GrabStart> grabStarts(const QString& folder)
    {
        return {
            {"live view", [](ContextManager& cm) { cm.startContinuousShot(); }},
            {"one shot", [](ContextManager& cm) { cm.startOneShot(); }},
            {"recording",
             [this, folder](ContextManager& cm) {
                 CRecordingOptions options = tiffOptions(folder, 0);
                 cm.startRecording(&options);
             }},
        };
    }

    Nimbo::NimboAutoInitTerm m_sdk;
    Nimbo::DeviceInfoList_t m_devices;
    std::unique_ptr<ContextManager> m_manager;
    TestWindow* m_window = nullptr;
};

TEST_F(ContextManagerTest, OpeningMakesOneContextAnnouncesNodeMapsAndIsNotRepeated)
{
    m_manager = makeManager();
    QSignalSpy cameraChanged(m_manager.get(), &ContextManager::cameraChanged);
    QSignalSpy nodemaps(m_manager.get(), &ContextManager::nodemapAvailable);
    QSignalSpy opened(m_manager.get(), &ContextManager::deviceOpened);

    m_manager->changeCurrentDevice(nullptr);
    EXPECT_EQ(m_manager->currentCamera(), nullptr);
    m_manager->changeCurrentDevice(&m_devices[0]);
    Camera* camera = m_manager->currentCamera();
    ASSERT_NE(camera, nullptr);
    m_manager->changeCurrentDevice(&m_devices[0]);
    EXPECT_EQ(m_manager->currentCamera(), camera);
    EXPECT_EQ(cameraChanged.count(), 1);
    EXPECT_FALSE(m_manager->isDeviceOpen());

    testsupport::LogCapture log;
    m_manager->openActiveDevice();
    ASSERT_TRUE(m_manager->isDeviceOpen());
    EXPECT_TRUE(m_manager->isDeviceOpenAndIdle());
    EXPECT_TRUE(m_manager->isDeviceReadyToRecord());
    EXPECT_EQ(m_manager->openDeviceCount(), 1u);
    QVector<Nimbo::INimboDevice*> devices{nullptr, nullptr, nullptr};
    EXPECT_EQ(m_manager->openDevices(devices), 1u);
    EXPECT_EQ(devices, QVector<Nimbo::INimboDevice*>{camera->getNimboDevice()});
    EXPECT_EQ(opened.count(), 1);
    EXPECT_EQ(cameraChanged.count(), 2);
    QStringList roles;
    for (const auto& args : nodemaps)
        roles << args.at(3).toString();
    EXPECT_TRUE(roles.contains("Camera"));
    EXPECT_TRUE(roles.contains("TransportLayer"));
    EXPECT_TRUE(roles.contains("StreamParameters"));
    EXPECT_EQ(log.count("has been opened."), 1u);

    // Opening an open camera again does nothing.
    log.clear();
    m_manager->openActiveDevice();
    EXPECT_EQ(log.count("Opening"), 0u);
    EXPECT_EQ(opened.count(), 1);
}

TEST_F(ContextManagerTest, DeviceQuestionsFollowTheCameraState)
{
    using Question = bool (ContextManager::*)(const Nimbo::CDeviceInfo*);
    struct Row {
        const char* name;
        Question question;
        bool withoutCamera, open, grabbing, recording;
    };
    const Row rows[] = {
        {"open", &ContextManager::isDeviceOpen, false, true, true, true},
        {"idle", &ContextManager::isDeviceIdle, false, true, false, false},
        {"grabbing", &ContextManager::isDeviceGrabbing, false, false, true, true},
        {"ready to record", &ContextManager::isDeviceReadyToRecord, false, true, true, false},
        {"recording", &ContextManager::isDeviceRecording, false, false, false, true},
        {"file accessible", &ContextManager::isDeviceFileAccessible, false, false, false, false},
        {"open and idle", &ContextManager::isDeviceOpenAndIdle, false, true, false, false},
        {"ready for one shot", &ContextManager::isDeviceReadyForOneShot, false, true, false, false},
    };
    const auto expectColumn = [&](bool Row::*expected, const char* state) {
        for (const Row& row : rows)
            EXPECT_EQ((m_manager.get()->*row.question)(nullptr), row.*expected) << row.name << " " << state;
    };
    m_manager = makeManager();
    expectColumn(&Row::withoutCamera, "without camera");
    openDevice();
    expectColumn(&Row::open, "open");
    m_manager->startContinuousShot();
    expectColumn(&Row::grabbing, "grabbing");
    CRecordingOptions options = tiffOptions(path() + "/questions", 0);
    m_manager->startRecording(&options);
    ASSERT_TRUE(m_manager->isDeviceRecording());
    expectColumn(&Row::recording, "recording");
    m_manager->shutDown();
}

TEST_F(ContextManagerTest, LiveViewIsPacedByTheThrottleAndCountedByThePerfTimer)
{
    openDevice();
    ASSERT_TRUE(m_manager->isThrottleEnabled());
    EXPECT_EQ(m_manager->throttleInterval(), 20u);
    std::atomic<int> ticks{0};
    const QMetaObject::Connection tickCounter = m_manager->connectToThrottleTick(m_manager.get(), [&] { ++ticks; });

    m_manager->startContinuousShot();
    ASSERT_TRUE(m_manager->isDeviceGrabbing());
    ASSERT_NE(m_window, nullptr);
    EXPECT_FALSE(m_window->isWindowHidden());
    EXPECT_TRUE(waitFor([&] { return m_window->images >= 5 && ticks >= 5; }));
    EXPECT_TRUE(waitFor([&] { return m_window->perfUpdates > 0 && m_window->lastImageCounter > 0; }));
    EXPECT_EQ(m_manager->grabbingDeviceCount(), 1u);
    // Stopping the throttle waits for a tick in progress; no tick reaches the counter afterwards.
    m_manager->enableFpsThrottle(false);
    QObject::disconnect(tickCounter);

    m_manager->stopGrab();
    EXPECT_FALSE(m_manager->isDeviceGrabbing());
    EXPECT_TRUE(m_manager->isDeviceIdle());

    // Closing the window stops a grab but keeps the window, which the next start shows again.
    m_manager->startContinuousShot();
    m_window->closeWindow();
    m_manager->currentContext()->imageWindowClosed();
    EXPECT_FALSE(m_manager->isDeviceGrabbing());
    TestWindow* window = m_window;
    m_manager->startContinuousShot();
    EXPECT_EQ(m_window, window);
    EXPECT_FALSE(window->isWindowHidden());
    EXPECT_EQ(window->shows, 2);
}

TEST_F(ContextManagerTest, ThrottlePeriodFollowsTheMaxFpsSetting)
{
    const struct {
        int maxFps;
        bool enabled;
        unsigned interval;
    } cases[] = {{0, false, 0}, {30, true, 33}, {50, true, 20}, {-5, false, 0}, {1000, true, 1}, {2500, true, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maxFps);
        QSettings().setValue("Display/MaxFps", c.maxFps);
        auto manager = makeManager();
        EXPECT_EQ(manager->isThrottleEnabled(), c.enabled);
        EXPECT_EQ(manager->throttleInterval(), c.interval);
        QSignalSpy enabled(manager.get(), &ContextManager::throttleTimerEnabled);
        manager->enableFpsThrottle(c.enabled); // unchanged: no notice
        EXPECT_EQ(enabled.count(), 0);
        manager.reset();
        EXPECT_EQ(QSettings().value("Display/MaxFps").toInt(), c.maxFps);
    }
}

TEST_F(ContextManagerTest, RecordingFromIdleWritesTiffSequenceAndStopsItsGrab)
{
    openDevice();
    QSignalSpy recordingState(m_manager.get(), &ContextManager::recordingStateChanged);
    const QString folder = path() + "/fromIdle";
    CRecordingOptions options = tiffOptions(folder, 5);

    m_manager->startRecording(&options);
    EXPECT_TRUE(m_manager->isDeviceGrabbing());
    EXPECT_TRUE(m_manager->isDeviceRecording());
    ASSERT_TRUE(waitFor([&] { return !m_manager->isDeviceRecording(); }));
    EXPECT_FALSE(m_manager->isDeviceGrabbing());
    EXPECT_TRUE(m_manager->isDeviceReadyToRecord());
    EXPECT_GE(recordingState.count(), 1);
    EXPECT_GE(m_window->stateChanges, 1);
    EXPECT_EQ(QDir(folder).entryList({"*.tiff", "*.tif"}, QDir::Files).size(), 5);
}

TEST_F(ContextManagerTest, SecondRecordingIsRefusedAndLiveViewOutlivesTheRecording)
{
    openDevice();
    m_manager->startContinuousShot();
    ASSERT_TRUE(m_manager->isDeviceGrabbing());
    const QString folder = path() + "/live";
    CRecordingOptions first = tiffOptions(folder, 0);
    m_manager->startRecording(&first);
    ASSERT_TRUE(m_manager->isDeviceRecording());

    testsupport::LogCapture log;
    CRecordingOptions second = tiffOptions(path() + "/second", 0);
    m_manager->startRecording(&second);
    EXPECT_TRUE(log.contains("Recording could not be started because another recording is already in progress."));
    EXPECT_TRUE(m_manager->isDeviceRecording());
    EXPECT_FALSE(QDir(path() + "/second").exists());

    ASSERT_TRUE(waitFor([&] { return !QDir(folder).entryList(QDir::Files).isEmpty(); }));
    m_manager->stopRecording();
    ASSERT_TRUE(waitFor([&] { return !m_manager->isDeviceRecording(); }));
    EXPECT_TRUE(m_manager->isDeviceGrabbing());
}

TEST_F(ContextManagerTest, SurpriseRemovalTearsTheContextDownAndNamesTheDevice)
{
    openDevice();
    m_manager->startContinuousShot();
    CRecordingOptions options = tiffOptions(path() + "/removed", 0);
    m_manager->startRecording(&options);
    Camera* camera = m_manager->currentCamera();
    QSignalSpy removed(m_manager.get(), &ContextManager::surpriseRemoved);
    QSignalSpy cameraRemoved(m_manager.get(), &ContextManager::cameraRemoved);
    QSignalSpy shutDownNotice(m_manager.get(), &ContextManager::notifyDeviceShutDown);

    ASSERT_TRUE(Nimbo::Emulation::Unplug(kSerial));
    ASSERT_TRUE(waitFor([&] { return removed.count() > 0; }));
    EXPECT_EQ(removed.at(0).at(0).toString().toStdString(), std::string(m_devices[0].GetFullName().c_str()));
    ASSERT_EQ(cameraRemoved.count(), 1);
    EXPECT_EQ(cameraRemoved.at(0).at(0).value<Camera*>(), camera);
    EXPECT_GE(shutDownNotice.count(), 1);
    EXPECT_EQ(m_manager->currentCamera(), nullptr);
    EXPECT_EQ(m_manager->contextOf(&m_devices[0]), nullptr);
    EXPECT_EQ(m_manager->openDeviceCount(), 0u);
    QCoreApplication::processEvents(); // the context's deferred deletion
}

// The camera unplugged after its open and before the removal callback is registered: the SDK's notice went
// to no one, yet the context goes as for any unplug, and the camera plugged in again opens again.
TEST_F(ContextManagerTest, AnUnplugDuringTheOpenIsNotLost)
{
    m_manager = makeManager();
    QSignalSpy removed(m_manager.get(), &ContextManager::surpriseRemoved);
    QSignalSpy shutDownNotice(m_manager.get(), &ContextManager::notifyDeviceShutDown);
    bool unplugged = false;
    // The camera object tells of the open from inside it, before the manager registers its callback.
    const QMetaObject::Connection unplug = QObject::connect(
        m_manager.get(), &ContextManager::deviceOpened, m_manager.get(),
        [&] {
            if (unplugged)
                return;
            unplugged = true;
            EXPECT_TRUE(Nimbo::Emulation::Unplug(kSerial));
            Nimbo::Emulation::WaitForEvents();
        },
        Qt::DirectConnection);
    m_manager->changeCurrentDevice(&m_devices[0]);
    m_manager->openActiveDevice();
    ASSERT_TRUE(unplugged);
    ASSERT_TRUE(waitFor([&] { return removed.count() > 0; })) << "the unplug was lost";
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(0).toString().toStdString(), std::string(m_devices[0].GetFullName().c_str()));
    EXPECT_GE(shutDownNotice.count(), 1);
    EXPECT_EQ(m_manager->currentCamera(), nullptr);
    EXPECT_EQ(m_manager->contextOf(&m_devices[0]), nullptr);
    EXPECT_EQ(m_manager->openDeviceCount(), 0u);
    QObject::disconnect(unplug);

    ASSERT_TRUE(Nimbo::Emulation::Replug(kSerial));
    m_manager->changeCurrentDevice(&m_devices[0]);
    m_manager->openActiveDevice();
    EXPECT_TRUE(m_manager->isDeviceOpen()) << "the camera plugged in again did not open";
    QCoreApplication::processEvents();
    EXPECT_EQ(removed.count(), 1);
}

// Above 1000 frames per second the throttle ticks every millisecond: the live view keeps running.
TEST_F(ContextManagerTest, MaxFpsAboveOneThousandKeepsTheLiveViewRunning)
{
    QSettings().setValue("Display/MaxFps", 5000);
    openDevice();
    EXPECT_TRUE(m_manager->isThrottleEnabled());
    EXPECT_EQ(m_manager->throttleInterval(), 1u);
    m_manager->startContinuousShot();
    ASSERT_TRUE(waitFor([&] { return m_window->images >= 5; }));
}

// Ticks come every millisecond from the timer's thread while the GUI thread removes and deletes the
// device's context again and again: no tick may reach a context being torn down.
TEST_F(ContextManagerTest, ThrottleTicksNeverReachARemovedContext)
{
    QSettings().setValue("Display/MaxFps", 5000);
    openDevice();
    ASSERT_EQ(m_manager->throttleInterval(), 1u);
    for (int round = 0; round < 15; ++round) {
        if (round > 0) {
            m_manager->changeCurrentDevice(&m_devices[0]);
            m_manager->openActiveDevice();
            ASSERT_TRUE(m_manager->isDeviceOpen()) << round;
        }
        m_manager->startContinuousShot();
        ASSERT_TRUE(waitFor([&] { return m_window->images >= 1; })) << round;
        m_manager->removeDevice(&m_devices[0], true);
        ASSERT_EQ(m_manager->contextOf(&m_devices[0]), nullptr) << round;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// Frames already queued when the camera goes are written and the file is finished; the recording
// status shows the drain down to an empty buffer.
TEST_F(ContextManagerTest, SurpriseRemovalDuringARecordingWritesItsQueuedFrames)
{
    openDevice();
    std::vector<RecordingStatusInfo> statuses;
    const QString folder = path() + "/drained";
    CRecordingOptions options = tiffOptions(folder, 0);
    options.QueueBufferSize = 1000;
    m_manager->startRecording(&options);
    ASSERT_TRUE(m_manager->isDeviceRecording());
    m_window->statuses = &statuses;
    ASSERT_TRUE(waitFor([&] { return QDir(folder).entryList({"*.tiff"}, QDir::Files).size() >= 10; }));
    QSignalSpy removed(m_manager.get(), &ContextManager::surpriseRemoved);
    testsupport::LogCapture log;
    ASSERT_TRUE(Nimbo::Emulation::Unplug(kSerial));
    ASSERT_TRUE(waitFor([&] { return removed.count() > 0; }));
    ASSERT_FALSE(statuses.empty());
    const RecordingStatusInfo last = statuses.back();
    EXPECT_EQ(last.bufferUsed, 0u);
    EXPECT_EQ(uint64_t(QDir(folder).entryList({"*.tiff"}, QDir::Files).size()), last.recordedImages);
    EXPECT_FALSE(log.contains("queued frames were not written"));
    QCoreApplication::processEvents();
}

// The removal notice carries the device's full name: a notice whose name is not the context's does
// not tear it down, even when the device address matches (it may have been reused).
TEST_F(ContextManagerTest, SurpriseRemovalIsMatchedByTheFullName)
{
    openDevice();
    QSignalSpy removed(m_manager.get(), &ContextManager::surpriseRemoved);
    const auto device = reinterpret_cast<uintptr_t>(m_manager->currentCamera()->getNimboDevice());
    ASSERT_TRUE(QMetaObject::invokeMethod(m_manager.get(), "surpriseRemove", Qt::DirectConnection,
                                          Q_ARG(uintptr_t, device), Q_ARG(QString, QString("another camera"))));
    EXPECT_EQ(removed.count(), 0);
    EXPECT_TRUE(m_manager->isDeviceOpen());
    const QString fullName = QString::fromUtf8(m_devices[0].GetFullName().c_str());
    ASSERT_TRUE(QMetaObject::invokeMethod(m_manager.get(), "surpriseRemove", Qt::DirectConnection,
                                          Q_ARG(uintptr_t, device), Q_ARG(QString, fullName)));
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(0).toString(), fullName);
    EXPECT_EQ(m_manager->openDeviceCount(), 0u);
    QCoreApplication::processEvents();
}

TEST_F(ContextManagerTest, RemovalOfAnUnknownDeviceOnlyLogs)
{
    openDevice();
    QSignalSpy removed(m_manager.get(), &ContextManager::surpriseRemoved);
    testsupport::LogCapture log;
    m_manager->surpriseRemove(uintptr_t(0x1234));
    EXPECT_TRUE(log.contains("ContextManager::surpriseRemove: entering..."));
    EXPECT_TRUE(log.contains("ContextManager::surpriseRemove: leaving..."));
    EXPECT_EQ(removed.count(), 0);
    EXPECT_TRUE(m_manager->isDeviceOpen());
}

TEST_F(ContextManagerTest, CloseAndShutDownLeaveNothingRunning)
{
    openDevice();
    QSignalSpy closed(m_manager.get(), &ContextManager::deviceClosed);
    QSignalSpy cameraChanged(m_manager.get(), &ContextManager::cameraChanged);
    m_manager->startContinuousShot();
    bool disposed = false;
    m_window->disposed = &disposed;
    m_manager->closeActiveDevice();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(disposed);
    EXPECT_EQ(m_manager->currentCamera(), nullptr);
    ASSERT_GE(cameraChanged.count(), 1);
    EXPECT_EQ(cameraChanged.last().at(0).value<Camera*>(), nullptr);
    QCoreApplication::processEvents();

    // The device can be opened again, and shutting down stops its grab and recording.
    m_manager->changeCurrentDevice(&m_devices[0]);
    m_manager->openActiveDevice();
    ASSERT_TRUE(m_manager->isDeviceOpen());
    m_manager->startContinuousShot();
    CRecordingOptions options = tiffOptions(path() + "/shutdown", 0);
    m_manager->startRecording(&options);
    Camera* camera = m_manager->currentCamera();
    QSignalSpy notice(m_manager.get(), &ContextManager::notifyDeviceShutDown);
    m_manager->shutDown();
    EXPECT_EQ(notice.count(), 1);
    EXPECT_FALSE(camera->isGrabbing());
    EXPECT_FALSE(camera->isOpen());
    EXPECT_FALSE(m_manager->isDeviceRecording());
}

TEST_F(ContextManagerTest, SavingWithoutImageWindowWarns)
{
    m_manager = makeManager();
    m_manager->saveCurrentContextImage(path() + "/none.png"); // no context: nothing
    m_manager->changeCurrentDevice(&m_devices[0]);
    testsupport::LogCapture log;
    m_manager->saveCurrentContextImage(path() + "/none.png");
    EXPECT_TRUE(log.contains("Failed to save image because there is no image window"));
}

TEST_F(ContextManagerTest, RecordingThatCannotStartIsTornDownAndStopsItsGrab)
{
    openDevice();
    // A file where the output folder should be: the folder cannot be made.
    QFile blocker(path() + "/blocked");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    CRecordingOptions options = tiffOptions(path() + "/blocked/sub", 3);
    testsupport::LogCapture log;
    m_manager->startRecording(&options);
    ASSERT_TRUE(waitFor([&] { return !m_manager->isDeviceRecording(); }));
    EXPECT_TRUE(log.contains("could not be created"));
    EXPECT_TRUE(waitFor([&] { return !m_manager->isDeviceGrabbing(); }));
    // The next recording starts normally.
    CRecordingOptions next = tiffOptions(path() + "/next", 2);
    m_manager->startRecording(&next);
    EXPECT_TRUE(m_manager->isDeviceRecording());
    ASSERT_TRUE(waitFor([&] { return !m_manager->isDeviceRecording(); }));
    EXPECT_EQ(QDir(path() + "/next").entryList(QDir::Files).size(), 2);
}

TEST_F(ContextManagerTest, PauseTogglesBetweenRecordingAndPaused)
{
    openDevice();
    m_manager->pauseRecording(); // no recording: nothing
    CRecordingOptions options = tiffOptions(path() + "/pause", 0);
    m_manager->startRecording(&options);
    DeviceContext* context = m_manager->currentContext();
    ASSERT_TRUE(context->isRecordingActive());
    m_manager->pauseRecording();
    EXPECT_TRUE(context->isRecordingPaused());
    m_manager->pauseRecording();
    EXPECT_TRUE(context->isRecordingActive());
    m_manager->stopRecording();
    ASSERT_TRUE(waitFor([&] { return !m_manager->isDeviceRecording(); }));
}

TEST_F(ContextManagerTest, TriggerPortIsAppliedOnlyWhenItChanges)
{
    openDevice();
    grab::GrabNodeMap* map = m_manager->currentCamera()->getFeatures();
    const struct {
        CRecordingOptions::ETriggerPort port;
        const char* source;
        const char* mode;
    } cases[] = {{CRecordingOptions::TriggerPortOne, "Line3", "On"},
                 {CRecordingOptions::TriggerPortTwo, "Line1", "On"},
                 {CRecordingOptions::TriggerPortNone, "Line1", "Off"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        m_manager->changeCurrentTriggerPort(c.port);
        EXPECT_EQ(map->enumValue("TriggerMode"), c.mode);
        if (std::string(c.mode) == "On") {
            EXPECT_EQ(map->enumValue("TriggerSource"), c.source);
        }
    }
    // The port already applied is not applied again, even when the camera was changed meanwhile.
    map->setEnumValue("TriggerMode", "On");
    m_manager->changeCurrentTriggerPort(CRecordingOptions::TriggerPortNone);
    EXPECT_EQ(map->enumValue("TriggerMode"), "On");
}

// A camera that offers no trigger on the line of the port chosen runs free, with a warning naming the line:
// it neither waits for software triggers nor goes on triggering on the other port's line.
TEST_F(ContextManagerTest, APortWhoseLineTheCameraLacksLeavesItRunningFree)
{
    openDevice();
    grab::GrabNodeMap* map = m_manager->currentCamera()->getFeatures();
    m_manager->currentCamera()->getNodeMap()->GetNode("EnumEntry_TriggerSource_Line3")->ImposeAccessMode(GenApi::NA);
    m_manager->changeCurrentTriggerPort(CRecordingOptions::TriggerPortTwo);
    EXPECT_EQ(map->enumValue("TriggerMode"), "On");
    testsupport::LogCapture log;
    m_manager->changeCurrentTriggerPort(CRecordingOptions::TriggerPortOne);
    EXPECT_EQ(map->enumValue("TriggerMode"), "Off");
    EXPECT_TRUE(log.contains("no frame-start trigger on \"Line3\""));
    m_manager->startContinuousShot();
    EXPECT_TRUE(waitFor([&] { return m_window->images > 0; })) << "the camera waits for a trigger that never comes";
}

// The trigger port chosen, before any camera was there too (the one kept from the last run), is what the
// camera does after every open, though the default configuration switches triggers off: in a live view it
// sends a frame for each edge of its line and none by itself, and so again once plugged in anew.
TEST_F(ContextManagerTest, TheChosenTriggerPortHoldsAfterEveryOpen)
{
    m_manager = makeManager();
    m_manager->changeCurrentTriggerPort(CRecordingOptions::TriggerPortOne);
    QSignalSpy removed(m_manager.get(), &ContextManager::surpriseRemoved);
    const auto framesGrabbed = [&] {
        uint32_t images = 0;
        uint32_t errors = 0;
        m_manager->currentCamera()->getCounterData(images, errors);
        return images;
    };
    for (const char* round : {"first open", "plugged in again"}) {
        SCOPED_TRACE(round);
        m_manager->changeCurrentDevice(&m_devices[0]);
        m_manager->openActiveDevice();
        ASSERT_TRUE(m_manager->isDeviceOpen());
        grab::GrabNodeMap* map = m_manager->currentCamera()->getFeatures();
        EXPECT_EQ(map->enumValue("TriggerMode"), "On");
        EXPECT_EQ(map->enumValue("TriggerSource"), "Line3");
        map->setIntValue("Width", 320);
        map->setIntValue("Height", 200);
        map->setBoolValue("AcquisitionFrameRateEnable", true);
        map->setFloatValue("AcquisitionFrameRate", 100.0);
        m_manager->startContinuousShot();
        ASSERT_TRUE(m_manager->isDeviceGrabbing());
        for (uint32_t edge = 1; edge <= 3; ++edge) {
            ASSERT_TRUE(Nimbo::Emulation::FireLineEdge(kSerial, "Line3"));
            ASSERT_TRUE(waitFor([&] { return framesGrabbed() >= edge; })) << "no frame for edge " << edge;
        }
        // No edge, no frame: running free, the camera would send thirty in this time.
        EXPECT_FALSE(waitFor([&] { return framesGrabbed() > 3; }, 300)) << "the camera sends frames by itself";
        m_manager->stopGrab();

        ASSERT_TRUE(Nimbo::Emulation::Unplug(kSerial));
        ASSERT_TRUE(waitFor([&] { return removed.count() > 0; }));
        removed.clear();
        QCoreApplication::processEvents(); // the context's deferred deletion
        ASSERT_TRUE(Nimbo::Emulation::Replug(kSerial));
    }

    // A port chosen later holds for the next open as well; so does free run.
    const struct {
        CRecordingOptions::ETriggerPort port;
        const char* mode;
        const char* source;
    } ports[] = {{CRecordingOptions::TriggerPortTwo, "On", "Line1"}, {CRecordingOptions::TriggerPortNone, "Off", ""}};
    for (const auto& p : ports) {
        SCOPED_TRACE(p.port);
        m_manager->changeCurrentTriggerPort(p.port);
        m_manager->closeActiveDevice();
        QCoreApplication::processEvents();
        m_manager->changeCurrentDevice(&m_devices[0]);
        m_manager->openActiveDevice();
        ASSERT_TRUE(m_manager->isDeviceOpen());
        grab::GrabNodeMap* map = m_manager->currentCamera()->getFeatures();
        EXPECT_EQ(map->enumValue("TriggerMode"), p.mode);
        if (*p.source) {
            EXPECT_EQ(map->enumValue("TriggerSource"), p.source);
        }
    }
}

// A live view or a recording asked of a camera that is not open (never opened, or its open failed) does
// nothing: no image window, no warning about a pixel format that a closed camera does not have.
TEST_F(ContextManagerTest, StartingOnACameraThatIsNotOpenDoesNothing)
{
    struct InUseReset {
        ~InUseReset() { Nimbo::Emulation::SetInUseElsewhere(kSerial, false); }
    } inUseReset;
    const std::vector<GrabStart> starts = grabStarts(path() + "/closed");
    for (bool failedOpen : {false, true}) {
        m_manager = makeManager();
        m_window = nullptr;
        m_manager->changeCurrentDevice(&m_devices[0]);
        if (failedOpen) {
            ASSERT_TRUE(Nimbo::Emulation::SetInUseElsewhere(kSerial, true));
            m_manager->openActiveDevice();
            QCoreApplication::processEvents();
        }
        ASSERT_FALSE(m_manager->isDeviceOpen());
        for (const auto& s : starts) {
            SCOPED_TRACE(testing::Message() << s.name << (failedOpen ? " after a failed open" : " before the open"));
            QSignalSpy reports(GetTheGlobalAsyncErrorQueue(), &AsyncErrorQueue::displayError);
            testsupport::LogCapture log;
            s.start(*m_manager);
            QCoreApplication::processEvents();
            EXPECT_EQ(m_window, nullptr) << "an image window was made";
            EXPECT_TRUE(reports.isEmpty());
            EXPECT_FALSE(log.contains("Unsupported Pixel Format"));
            EXPECT_FALSE(m_manager->isDeviceGrabbing());
            EXPECT_FALSE(m_manager->isDeviceRecording());
        }
        EXPECT_FALSE(QDir(path() + "/closed").exists());
        Nimbo::Emulation::SetInUseElsewhere(kSerial, false);
        m_manager->shutDown();
        m_manager.reset();
        QCoreApplication::processEvents();
    }
}

TEST_F(ContextManagerTest, FailedOpenLeavesTheCameraDetached)
{
    ASSERT_TRUE(Nimbo::Emulation::SetInUseElsewhere(kSerial, true));
    m_manager = makeManager();
    m_manager->changeCurrentDevice(&m_devices[0]);
    QSignalSpy reports(GetTheGlobalAsyncErrorQueue(), &AsyncErrorQueue::displayError);
    m_manager->openActiveDevice();
    // The user is told, with the SDK's reason as the detail.
    ASSERT_TRUE(testsupport::waitFor([&] {
        QCoreApplication::processEvents();
        return !reports.isEmpty();
    }));
    EXPECT_EQ(reports.at(0).at(0).value<AsyncErrorQueue::ErrorSeverity>(), AsyncErrorQueue::Critical);
    EXPECT_EQ(reports.at(0).at(1).toString(), "Failed to open the camera.");
    EXPECT_FALSE(reports.at(0).at(2).toString().isEmpty());
    EXPECT_FALSE(m_manager->isDeviceOpen());
    EXPECT_FALSE(m_manager->currentCamera()->isAttached());
    EXPECT_FALSE(m_manager->isDeviceReadyForOneShot());
    Nimbo::Emulation::SetInUseElsewhere(kSerial, false);
    m_manager->openActiveDevice();
    EXPECT_TRUE(m_manager->isDeviceOpen());
}

// A camera that refuses AcquisitionStart is told to the user and left idle, not "grabbing" with a
// running thread and no frames: the tool bar offers the live view again, and a recording started then
// starts no grab and no recording; once the camera accepts the start, both run.
TEST_F(ContextManagerTest, AFailedAcquisitionStartLeavesTheCameraIdle)
{
    openDevice();
    GenApi::INode* start = m_manager->currentCamera()->getNodeMap()->GetNode("AcquisitionStart");
    ASSERT_NE(start, nullptr);
    const std::vector<GrabStart> cases = grabStarts(path() + "/refused");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start->ImposeAccessMode(GenApi::RO);
        QSignalSpy reports(GetTheGlobalAsyncErrorQueue(), &AsyncErrorQueue::displayError);
        c.start(*m_manager);
        ASSERT_TRUE(waitFor([&] {
            QCoreApplication::processEvents();
            return !reports.isEmpty();
        }));
        EXPECT_EQ(reports.at(0).at(1).toString(), "Failed to start the image acquisition");
        EXPECT_FALSE(m_manager->isDeviceGrabbing());
        EXPECT_TRUE(m_manager->isDeviceIdle());
        EXPECT_FALSE(m_manager->isDeviceRecording());
        EXPECT_EQ(m_manager->currentCamera()->getState(), Camera::Open);
    }
    EXPECT_FALSE(QDir(path() + "/refused").exists());

    start->ImposeAccessMode(GenApi::RW);
    m_manager->startContinuousShot();
    EXPECT_TRUE(m_manager->isDeviceGrabbing());
    EXPECT_TRUE(waitFor([&] { return m_window->images > 0; }));
}

// Device creation waits handling events. A request reaching the manager meanwhile (a second open, a
// scan result that chooses the device or no longer lists it) neither creates the device a second time
// nor replaces or removes what is being opened; another device may be opened meanwhile. The first
// creation is held until the posted request has run.
TEST_F(ContextManagerTest, RequestsDuringDeviceCreationNeitherRepeatNorRemoveIt)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure(std::string("usb:vxUsb1920m:") + kSerial + ";usb:vxUsb1920m:40000009"));
    Nimbo::DeviceInfoList_t devices;
    Nimbo::CTlFactory::GetInstance().EnumerateDevices(devices);
    ASSERT_EQ(devices.size(), 2u);
    struct Case {
        const char* name;
        std::function<void(ContextManager&)> during;
        int creations;
        uint64_t openDevices;
        bool refused; // a second creation was asked for and refused
    };
    const Case cases[] = {
        {"second open request", [](ContextManager& cm) { cm.openActiveDevice(); }, 1, 1, true},
        {"scan result choosing the same device",
         [&](ContextManager& cm) {
             cm.changeCurrentDevice(&devices[0]);
             cm.openActiveDevice();
         },
         1, 1, true},
        {"scan result choosing another device",
         [&](ContextManager& cm) {
             cm.changeCurrentDevice(&devices[1]);
             cm.openActiveDevice();
         },
         2, 2, false},
        {"scan result dropping the device", [&](ContextManager& cm) { cm.removeDevice(&devices[0], true); }, 1, 1,
         false},
        {"second open request, then a scan result dropping the device",
         [&](ContextManager& cm) {
             cm.openActiveDevice();
             cm.removeDevice(&devices[0], true);
         },
         1, 1, true},
        {"scan result dropping the device, then a second open request",
         [&](ContextManager& cm) {
             cm.removeDevice(&devices[0], true);
             cm.openActiveDevice();
         },
         1, 1, true},
    };
    struct HookRemover {
        ~HookRemover() { CreateDeviceThread::setCreationHook({}); }
    } hookRemover;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_manager = makeManager();
        std::atomic<int> creations{0};
        std::atomic<bool> handled{false};
        ContextManager* manager = m_manager.get();
        CreateDeviceThread::setCreationHook([&](const Nimbo::CDeviceInfo&) {
            if (creations++ > 0)
                return;
            handled = testsupport::runOnThreadOf(manager, [&] { c.during(*manager); });
        });
        m_manager->changeCurrentDevice(&devices[0]);
        Camera* camera = m_manager->currentCamera();
        testsupport::LogCapture log;
        QSignalSpy failed(m_manager.get(), &ContextManager::deviceOpenFailed);
        QSignalSpy cameraChanged(m_manager.get(), &ContextManager::cameraChanged);
        m_manager->openActiveDevice();
        CreateDeviceThread::setCreationHook({});

        // The settings panel is told last of the camera the commands go to, whichever open ended last.
        ASSERT_FALSE(cameraChanged.isEmpty());
        EXPECT_EQ(cameraChanged.last().at(0).value<Camera*>(), m_manager->currentCamera())
            << "the panel shows another camera than the one the commands go to";

        // A request refused because the device is being made is no failure of the open under way,
        // which the device manager would take for one and give the device up.
        EXPECT_EQ(failed.count(), 0);
        EXPECT_EQ(creations, c.creations);
        EXPECT_TRUE(handled) << "the request was not handled during the creation";
        ASSERT_TRUE(camera->isOpen());
        EXPECT_NE(camera->getNimboDevice(), nullptr);
        EXPECT_EQ(m_manager->openDeviceCount(), c.openDevices);
        EXPECT_EQ(log.contains("is being created already"), c.refused);
        if (c.openDevices == 1) {
            EXPECT_EQ(m_manager->currentCamera(), camera) << "the context was replaced or removed";
        }
        m_manager->shutDown();
        m_manager.reset();
        QCoreApplication::processEvents();
    }
}

// The other outcome: a scan no longer lists the device while it is being opened, and the open then
// fails. No scan reports the device again, so its context goes at once instead of staying behind
// without a device.
TEST_F(ContextManagerTest, ADeviceDroppedWhileItsOpenFailsLosesItsContext)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure(std::string("usb:vxUsb1920m:") + kSerial));
    Nimbo::DeviceInfoList_t devices;
    Nimbo::CTlFactory::GetInstance().EnumerateDevices(devices);
    ASSERT_EQ(devices.size(), 1u);
    struct HookRemover {
        ~HookRemover()
        {
            CreateDeviceThread::setCreationHook({});
            Nimbo::Emulation::SetInUseElsewhere(kSerial, false);
        }
    } hookRemover;
    m_manager = makeManager();
    ContextManager* manager = m_manager.get();
    std::atomic<bool> handled{false};
    CreateDeviceThread::setCreationHook([&](const Nimbo::CDeviceInfo&) {
        handled = testsupport::runOnThreadOf(manager, [&] { manager->removeDevice(&devices[0], true); });
        // Gone for this program: the open that follows fails.
        Nimbo::Emulation::SetInUseElsewhere(kSerial, true);
    });
    m_manager->changeCurrentDevice(&devices[0]);
    ASSERT_NE(m_manager->currentCamera(), nullptr);
    m_manager->openActiveDevice();
    CreateDeviceThread::setCreationHook({});
    EXPECT_TRUE(handled) << "the scan result was not handled during the creation";
    EXPECT_EQ(m_manager->currentCamera(), nullptr) << "the context stayed without its device";
    EXPECT_EQ(m_manager->openDeviceCount(), 0u);
    m_manager->shutDown();
    m_manager.reset();
    QCoreApplication::processEvents();
}

TEST_F(ContextManagerTest, ViewCommandsGoToTheActiveWindowAndAPausedWindowIsForgottenWithItsContext)
{
    openDevice();
    IDeviceContextWindow* active = nullptr;
    m_manager->setActiveWindowProvider([&] { return active; });
    testsupport::LogCapture log;
    m_manager->zoomIn(); // no active window: nothing
    EXPECT_FALSE(m_manager->canZoomIn());
    m_manager->pauseUpdates();
    EXPECT_TRUE(log.contains("ContextManager::pauseUpdates() - there is no image window!"));

    m_manager->startContinuousShot();
    ASSERT_NE(m_window, nullptr);
    active = m_window;
    EXPECT_TRUE(m_manager->canZoomIn());
    EXPECT_FALSE(m_manager->canZoomOut());
    m_manager->zoomIn();
    EXPECT_EQ(m_window->zooms, 1);
    ASSERT_TRUE(waitFor([&] { return m_manager->canSaveImage(); }));
    EXPECT_EQ(m_manager->imageWindowOfCamera(m_manager->currentCamera()), m_window);
    EXPECT_EQ(m_manager->cameraOfImageWindow(m_window), m_manager->currentCamera());

    m_manager->pauseUpdates();
    EXPECT_TRUE(m_window->paused);
    m_manager->unpauseUpdates();
    EXPECT_FALSE(m_window->paused);

    // A window paused when its device closes is not touched again afterwards.
    m_manager->pauseUpdates();
    active = nullptr;
    m_manager->closeActiveDevice();
    log.clear();
    m_manager->unpauseUpdates();
    EXPECT_TRUE(log.contains("ContextManager::unpauseUpdates() - there is no image window!"));
}

TEST_F(ContextManagerTest, WhiteBalancePickerSwitchReachesTheWindowFromAnyThread)
{
    openDevice();
    m_manager->startContinuousShot();
    ASSERT_NE(m_window, nullptr);
    GenApi::CBooleanPtr picker(m_manager->currentCamera()->getNodeMap()->GetNode("WhiteBalancePickerEnable"));
    ASSERT_TRUE(picker.IsValid());
    picker->SetValue(true);
    EXPECT_TRUE(waitFor([&] { return m_window->whiteBalancePicker == 1; }));
    // From another thread the change is re-posted to the context's thread; the thread lives on, as the
    // camera's do, so that only the re-post hands the change over.
    testsupport::LingeringThread camera([&] { picker->SetValue(false); });
    EXPECT_TRUE(waitFor([&] { return m_window->whiteBalancePicker == 0; }));
}

TEST_F(ContextManagerTest, DeletingTheManagerWithoutShutDownStopsEverything)
{
    openDevice();
    m_manager->startContinuousShot();
    CRecordingOptions options = tiffOptions(path() + "/deleted", 0);
    m_manager->startRecording(&options);
    ASSERT_TRUE(m_manager->isDeviceRecording());
    m_manager.reset();
    QCoreApplication::processEvents();
    // A new manager opens the same camera again: the first one let go of it.
    openDevice();
    EXPECT_TRUE(m_manager->isDeviceOpen());
}

} // namespace
