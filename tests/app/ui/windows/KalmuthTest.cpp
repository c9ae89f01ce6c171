// Main window: with the emulated camera it opens the camera and shows live images by itself, the -r
// option records, closing shuts the engine down and saves the settings; plus its small rules.
#include "Kalmuth.h"
#include "BurgerMenueDockWidget.h"
#include "CameraSettingsWidget.h"
#include "FlatDoubleComboSlider.h"
#include "RecordingSettingsWidget.h"
#include "ImageWindow.h"
#include "TesvarMdiArea.h"
#include "WindowTestSupport.h"
#include "../../engine/recording/FakeMediaWriter.h"
#include "ui_Kalmuth.h"

#include <Camera.h>
#include <ContextManager.h>
#include <CreateDeviceThread.h>
#include <DeviceContext.h>
#include <DeviceManager.h>
#include <GenApiNodeMap.h>
#include <MediaWriter.h>
#include <RecordingController.h>
#include <TimeUnitMediaImageController.h>
#include <GenApi/GenApi.h>
#include <nimbo/Emulation.h>
#include <orbelt/SpinBox.h>
#include <testsupport/LogCapture.h>
#include <testsupport/TempDir.h>

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QSettings>
#include <QTest>
#include <QToolBar>
#include <QTranslator>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>

namespace {

// What a gated writer did, kept beyond its life: the recording's teardown deletes the writer.
struct GateState {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    bool gaveUp = false;
    uint32_t written = 0;
    bool closed = false;
};

// A writer that holds every frame until its gate opens, as a disk that has fallen behind would, so
// that a recording's queue is full when it ends. It gives up waiting after a while (and then writes
// at once) so that a test whose gate never opens fails instead of hanging.
class GatedWriter : public IMediaWriter {
public:
    explicit GatedWriter(std::shared_ptr<GateState> state) : m_state(std::move(state)) {}
    void open(const GenICam::gcstring&) override { m_open = true; }
    bool isOpen() const override { return m_open; }
    void close() override
    {
        m_open = false;
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->closed = true;
    }
    void add(const Nimbo::CNimboImage&) override { write(); }
    void add(const void*, size_t, Nimbo::EPixelType, uint32_t, uint32_t, uint32_t) override { write(); }
    bool acceptsImageAsIs(const Nimbo::CNimboImage&) const override { return true; }
    bool acceptsBufferAsIs(Nimbo::EPixelType, uint32_t, uint32_t, uint32_t) const override { return true; }
    uint32_t imageCount() const override
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        return m_state->written;
    }
    uint64_t bytesWritten() const override { return 0; }

private:
    void write()
    {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        if (!m_state->gaveUp &&
            !m_state->changed.wait_for(lock, std::chrono::seconds(15), [this] { return m_state->open; }))
            m_state->gaveUp = true;
        ++m_state->written;
    }

    std::shared_ptr<GateState> m_state;
    std::atomic<bool> m_open{false};
};

class KalmuthTest : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        testsupport::TempDirTest::SetUp();
        windowtest::initResources();
        m_oldCurrent = QDir::currentPath();
        QSettings settings;
        settings.clear();
        settings.setValue("Environment/workingDirectory", path());
        settings.setValue("Recording/OutputFolder", path());
        // Short AVI clips keep the recording test quick and need no video encoder: one image every 100 ms
        // keeps them small, so that the stop does not wait for a long write on a loaded machine.
        settings.setValue("Recording/OutputType", 1);
        settings.setValue("Recording/SampleRate", 100);
        settings.setValue("Recording/SampleRateUnit", 1);
    }
    void TearDown() override
    {
        QDir::setCurrent(m_oldCurrent);
        QSettings().clear();
    }

    // A main window shown and active, so that its shortcuts take key presses; null when it did not
    // become active.
    static std::unique_ptr<Kalmuth> showActiveWindow()
    {
        auto window = std::make_unique<Kalmuth>();
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            window.reset();
        return window;
    }

    // Closes the window the way the user does and deletes it.
    static void closeAndDelete(std::unique_ptr<Kalmuth>& window)
    {
        window->close();
        window.reset();
        QCoreApplication::processEvents();
    }

    static ImageWindow* shownImageWindow(Kalmuth& window)
    {
        return dynamic_cast<ImageWindow*>(window.contextManager()->activeImageWindow());
    }

    static uint32_t imagesGrabbed(Camera* camera)
    {
        uint32_t images = 0;
        uint32_t errors = 0;
        camera->getCounterData(images, errors);
        return images;
    }

    // Starts a recording of numbered BMP images, one per frame, into `folder` and lets the camera take
    // `frames` frames for it. The camera sends a frame only on an edge of Line3 here, so the test
    // knows exactly what the recording got. Returns the camera's serial number.
    // `beforeRecording` runs on the camera's context just before the recording starts.
    std::string recordTriggeredFrames(Kalmuth& window, const QString& folder, uint32_t frames,
                                      const std::function<void(DeviceContext&)>& beforeRecording = {})
    {
        ContextManager* cm = window.contextManager();
        EXPECT_TRUE(QTest::qWaitFor([&] { return cm->hasActiveImage(); }, 30000)) << "no live view";
        window.form()->actionStopGrab->trigger();
        EXPECT_TRUE(QTest::qWaitFor([&] { return cm->isDeviceOpenAndIdle(); }, 60000));
        Camera* camera = cm->currentCamera();
        if (!camera)
            return std::string();
        grab::GrabNodeMap* map = camera->getFeatures();
        map->setIntValue("Width", 320);
        map->setIntValue("Height", 200);
        cm->changeCurrentTriggerPort(CRecordingOptions::TriggerPortOne);
        CRecordingOptions* options = window.recordingOptions();
        options->OutputType = CRecordingOptions::OutputTypeImageSequence;
        options->ImageOutputType = CRecordingOptions::ImageOutputTypeBmp;
        options->OutputFolder = folder.toUtf8().constData();
        options->SampleRateUnit = TimeUnitImages;
        options->SampleRate = 1;
        options->StopSamplingLimitEnabled = false;
        options->QueueBufferSize = 1000;
        options->TriggerPort = CRecordingOptions::TriggerPortOne;
        if (beforeRecording)
            beforeRecording(*cm->currentContext());
        window.form()->actionStartRecording->trigger();
        EXPECT_TRUE(cm->isDeviceRecording(nullptr));
        const std::string serial = camera->getDeviceInfo().GetSerialNumber().c_str();
        for (uint32_t i = 0; i < frames; ++i)
            EXPECT_TRUE(Nimbo::Emulation::FireLineEdge(serial, "Line3"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return imagesGrabbed(camera) >= frames; }, 30000))
            << imagesGrabbed(camera) << " of " << frames << " frames grabbed";
        EXPECT_EQ(imagesGrabbed(camera), frames);
        return serial;
    }

    // Plugs the camera in again and lets the window find it: true once it grabs again.
    static bool replugAndWaitForGrab(Kalmuth& window, const std::string& serial)
    {
        if (!Nimbo::Emulation::Replug(serial))
            return false;
        window.deviceManager()->startAutoScan();
        return QTest::qWaitFor([&] { return window.contextManager()->isDeviceGrabbing(nullptr); }, 30000);
    }

    static int filesIn(const QString& folder) { return QDir(folder).entryList({"*.bmp"}, QDir::Files).size(); }

    QString m_oldCurrent;
};

TEST_F(KalmuthTest, OpensTheCameraAndShowsLiveImagesByItself)
{
    auto window = std::make_unique<Kalmuth>();
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->contextManager()->hasActiveImage(); }, 30000))
        << "no live image from the emulated camera";
    ImageWindow* imageWindow = shownImageWindow(*window);
    ASSERT_NE(imageWindow, nullptr);
    EXPECT_TRUE(imageWindow->isVisible());
    EXPECT_FALSE(window->mdiArea()->isHintShown());
    // Live view: pausing is possible, the recording settings can be edited, zoom commands apply.
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->form()->actionStopGrab->isEnabled(); }, 60000));
    EXPECT_TRUE(window->form()->actionStartRecording->isEnabled());
    EXPECT_TRUE(window->form()->actionStartRecording->isChecked());
    EXPECT_FALSE(window->form()->actionStopRecording->isEnabled());
    EXPECT_TRUE(window->recordingSettingsWidget()->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->form()->actionZoomOut->isEnabled(); }, 60000));
    const double before = imageWindow->zoom();
    window->form()->actionZoomOut->trigger();
    EXPECT_LT(imageWindow->zoom(), before);

    closeAndDelete(window);
    QSettings settings;
    EXPECT_TRUE(settings.contains("MainWindow/size"));
    EXPECT_EQ(settings.value("Environment/workingDirectory").toString(), path());
}

TEST_F(KalmuthTest, AutoRecordOptionRecordsOnceTheCameraIsOpen)
{
    auto window = std::make_unique<Kalmuth>();
    window->setAutoRecord(true);
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->contextManager()->isDeviceRecording(nullptr); }, 30000))
        << "the automatic recording did not start";
    EXPECT_FALSE(window->isAutoRecordPending());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->form()->actionStopRecording->isEnabled(); }, 60000));
    EXPECT_FALSE(window->recordingSettingsWidget()->isEnabled());
    QTest::qWait(500);
    window->form()->actionStopRecording->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->contextManager()->isDeviceRecording(nullptr); }, 60000));
    closeAndDelete(window);
    // The stored AVI choice is what was recorded, and what is stored again.
    QStringList written;
    QDirIterator files(path(), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext())
        written << files.next();
    ASSERT_FALSE(written.isEmpty()) << "the recording wrote no file";
    for (const QString& name : qAsConst(written)) {
        EXPECT_TRUE(name.endsWith(".avi", Qt::CaseInsensitive)) << name.toStdString();
        QFile clip(name);
        ASSERT_TRUE(clip.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray header = clip.read(12);
        EXPECT_TRUE(header.startsWith("RIFF") && header.mid(8, 4) == "AVI ") << header.toHex().toStdString();
    }
    EXPECT_EQ(QSettings().value("Recording/OutputType").toInt(), 1);
}

TEST_F(KalmuthTest, EachRecordKeyAloneStartsARecording)
{
    auto window = showActiveWindow();
    ASSERT_TRUE(window) << "the main window did not become active";
    ContextManager* engine = window->contextManager();
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* name;
    } keys[] = {// Ctrl+R first: after F10 it could complete a two-key chord that starts with F10.
                {Qt::Key_R, Qt::ControlModifier, "Ctrl+R"},
                {Qt::Key_F10, Qt::NoModifier, "F10"}};
    for (const auto& k : keys) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return engine->hasActiveImage() && window->form()->actionStartRecording->isEnabled(); }, 30000))
            << k.name << ": the live view did not become ready to record";
        QTest::keyClick(window.get(), k.key, k.modifiers);
        EXPECT_TRUE(QTest::qWaitFor([&] { return engine->isDeviceRecording(nullptr); }, 60000))
            << k.name << " alone did not start a recording";
        window->form()->actionStopRecording->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !engine->isDeviceRecording(nullptr); }, 60000)) << k.name;
    }
    closeAndDelete(window);
}

// Closing the main window ends a recording without asking: no question about a recording already
// ended pops up afterwards (not even while the deleted image window takes its subwindow along), the
// window goes at once, and every frame the camera took for the recording is in the files.
TEST_F(KalmuthTest, ClosingDuringARecordingEndsAtOnceWithEveryFrameWritten)
{
    windowtest::ModalBoxGuard boxes;
    auto window = std::make_unique<Kalmuth>();
    window->show();
    const QString folder = path() + "/closed";
    const uint32_t frames = 25;
    ASSERT_FALSE(recordTriggeredFrames(*window, folder, frames).empty());
    ASSERT_FALSE(HasFailure());

    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    QTest::qWait(300);
    window.reset();
    QTest::qWait(300);
    EXPECT_LT(elapsed.elapsed(), 30000);
    EXPECT_TRUE(boxes.seen().isEmpty()) << boxes.seen().join(" | ").toStdString();
    EXPECT_EQ(filesIn(folder), int(frames));
}

// Unplugging the camera during a recording ends the recording the same way and the program goes on:
// no question, the disconnected hint, every frame taken in the files, and the camera back in live view
// once it is plugged in again.
TEST_F(KalmuthTest, UnplugDuringARecordingGoesOnWithEveryFrameWritten)
{
    windowtest::ModalBoxGuard boxes;
    auto window = std::make_unique<Kalmuth>();
    window->show();
    const QString folder = path() + "/unplugged";
    const uint32_t frames = 25;
    const std::string serial = recordTriggeredFrames(*window, folder, frames);
    ASSERT_FALSE(serial.empty());
    ASSERT_FALSE(HasFailure());

    ASSERT_TRUE(Nimbo::Emulation::Unplug(serial));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->mdiArea()->isHintShown(); }, 30000));
    EXPECT_TRUE(window->mdiArea()->hintText().startsWith("The camera has been disconnected."));
    EXPECT_EQ(window->contextManager()->currentCamera(), nullptr);
    QTest::qWait(500);
    EXPECT_TRUE(boxes.seen().isEmpty()) << boxes.seen().join(" | ").toStdString();
    EXPECT_EQ(filesIn(folder), int(frames));
    EXPECT_TRUE(window->isVisible());

    EXPECT_TRUE(replugAndWaitForGrab(*window, serial)) << "the camera did not come back";
    closeAndDelete(window);
    EXPECT_TRUE(boxes.seen().isEmpty()) << boxes.seen().join(" | ").toStdString();
}

// "Trigger port 1" kept from the last run is what the camera does from the start: the recording that -r
// starts holds one image per edge of Line3 and none taken by itself, and the camera plugged in again waits
// for its edges as well.
TEST_F(KalmuthTest, TheKeptTriggerPortIsWhatTheCameraDoes)
{
    const QString folder = path() + "/triggered";
    QSettings settings;
    settings.setValue("Recording/TriggerPort", 1);
    settings.setValue("Recording/OutputType", 2);
    settings.setValue("Recording/ImageOutputType", 1);
    settings.setValue("Recording/SampleRateUnit", 0);
    settings.setValue("Recording/SampleRate", 1);
    settings.setValue("Recording/OutputFolder", folder);
    windowtest::ModalBoxGuard boxes;
    auto window = std::make_unique<Kalmuth>();
    EXPECT_TRUE(
        window->recordingSettingsWidget()->findChild<QRadioButton*>("radioButtonTriggerSourcePortOne")->isChecked());
    window->setAutoRecord(true);
    window->show();
    ContextManager* cm = window->contextManager();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cm->isDeviceRecording(nullptr); }, 30000))
        << "the automatic recording did not start";
    const auto expectTriggeredFrames = [&](Camera* camera, uint32_t edges) {
        grab::GrabNodeMap* map = camera->getFeatures();
        EXPECT_EQ(map->enumValue("TriggerMode"), "On");
        EXPECT_EQ(map->enumValue("TriggerSource"), "Line3");
        const std::string serial = camera->getDeviceInfo().GetSerialNumber().c_str();
        for (uint32_t edge = 1; edge <= edges; ++edge) {
            EXPECT_TRUE(Nimbo::Emulation::FireLineEdge(serial, "Line3"));
            EXPECT_TRUE(QTest::qWaitFor([&] { return imagesGrabbed(camera) >= edge; }, 30000))
                << "no frame for edge " << edge;
        }
        // No edge, no frame: running free, the camera would send dozens in this time.
        EXPECT_FALSE(QTest::qWaitFor([&] { return imagesGrabbed(camera) > edges; }, 300))
            << imagesGrabbed(camera) << " frames for " << edges << " edges";
        return serial;
    };
    const std::string serial = expectTriggeredFrames(cm->currentCamera(), 5);
    window->form()->actionStopRecording->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !cm->isDeviceRecording(nullptr); }, 60000));
    EXPECT_EQ(QDir(folder).entryList({"*.tiff", "*.tif"}, QDir::Files).size(), 5);

    ASSERT_TRUE(Nimbo::Emulation::Unplug(serial));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->mdiArea()->isHintShown(); }, 30000));
    ASSERT_TRUE(replugAndWaitForGrab(*window, serial)) << "the camera did not come back";
    expectTriggeredFrames(cm->currentCamera(), 2);
    closeAndDelete(window);
    EXPECT_TRUE(boxes.seen().isEmpty()) << boxes.seen().join(" | ").toStdString();
}

// The camera unplugged while the program opens it (after the open, before the program listens for its
// removal): the user is told it was disconnected, and plugged in again it comes back in live view without
// a restart.
TEST_F(KalmuthTest, AnUnplugWhileTheCameraIsOpenedIsNotLost)
{
    windowtest::ModalBoxGuard boxes;
    auto window = std::make_unique<Kalmuth>();
    std::string serial;
    QObject::connect(
        window->contextManager(), &ContextManager::deviceOpened, window.get(),
        [&](Nimbo::INimboDevice* device) {
            if (!serial.empty())
                return;
            serial = device->GetDeviceInfo().GetSerialNumber().c_str();
            EXPECT_TRUE(Nimbo::Emulation::Unplug(serial));
            Nimbo::Emulation::WaitForEvents();
        },
        Qt::DirectConnection);
    window->show();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !serial.empty() && window->mdiArea()->hintText().startsWith("The camera has been disconnected.");
        },
        30000))
        << "the unplug was not told";
    EXPECT_EQ(window->contextManager()->currentCamera(), nullptr);

    EXPECT_TRUE(replugAndWaitForGrab(*window, serial)) << "the camera did not come back";
    closeAndDelete(window);
    EXPECT_TRUE(boxes.seen().isEmpty()) << boxes.seen().join(" | ").toStdString();
}

// A camera plugged in while another one is shown, and found by a scan that was under way as that one
// opened, is not opened beside it: the settings panel, the tool bar and the commands stay with the camera
// shown. Once that one is unplugged, the other comes up in live view with the panel bound to it.
TEST_F(KalmuthTest, ACameraPluggedInBesideTheOneShownWaitsUntilThatOneHasGone)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:A1;usb:qvUsb1920c:B2"));
    struct EmulationReset {
        ~EmulationReset() { Nimbo::Emulation::Configure(""); }
    } emulationReset;
    ASSERT_TRUE(Nimbo::Emulation::Unplug("B2"));
    windowtest::ModalBoxGuard boxes;
    auto window = std::make_unique<Kalmuth>();
    window->show();
    ContextManager* cm = window->contextManager();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cm->isDeviceGrabbing(nullptr); }, 60000)) << "no live view";
    Camera* shown = cm->currentCamera();
    ASSERT_STREQ(shown->getDeviceInfo().GetSerialNumber().c_str(), "A1");
    CameraSettingsWidget* panel = window->cameraSettingsWidget();
    NimboQtDoubleSpinBox* exposure = panel->findChildren<FlatDoubleComboSlider*>().at(0)->editBox();
    // The panel shows, and its rows command, the camera the commands go to.
    const auto panelFollows = [&](Camera* camera, double value) {
        EXPECT_EQ(panel->camera(), camera);
        GenApi::CFloatPtr(camera->getNodeMap()->GetNode("ExposureTime"))->SetValue(value);
        EXPECT_TRUE(QTest::qWaitFor([&] { return exposure->value() == value; }, 60000))
            << "the panel shows " << exposure->value() << ", not the current camera's " << value;
    };
    panelFollows(shown, 1000.0);

    std::atomic<int> scans{0};
    QObject::connect(
        window->deviceManager()->scanThread(), &kalmuth::AutoScanThread::scanFinished,
        window->deviceManager()->scanThread(), [&] { ++scans; }, Qt::DirectConnection);
    ASSERT_TRUE(Nimbo::Emulation::Replug("B2"));
    window->deviceManager()->startAutoScan();
    ASSERT_TRUE(QTest::qWaitFor([&] { return scans > 0; }, 60000));
    QTest::qWait(200); // the scan's result, handled on this thread
    EXPECT_EQ(cm->openDeviceCount(), 1u) << "a second camera was opened beside the one shown";
    EXPECT_EQ(cm->currentCamera(), shown) << "the commands go to another camera than the one shown";
    EXPECT_TRUE(window->form()->actionStopGrab->isEnabled());
    panelFollows(shown, 2000.0);

    ASSERT_TRUE(Nimbo::Emulation::Unplug("A1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->mdiArea()->isHintShown(); }, 60000));
    window->deviceManager()->startAutoScan();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cm->isDeviceGrabbing(nullptr); }, 60000))
        << "the other camera did not come up";
    Camera* other = cm->currentCamera();
    ASSERT_STREQ(other->getDeviceInfo().GetSerialNumber().c_str(), "B2");
    panelFollows(other, 3000.0);
    closeAndDelete(window);
    EXPECT_TRUE(boxes.seen().isEmpty()) << boxes.seen().join(" | ").toStdString();
}

// A recording whose file cannot be finished when the camera is unplugged or the window closed during it:
// the user is told once, and told before the window goes.
TEST_F(KalmuthTest, AFileThatCannotBeFinishedWhenTheRecordingIsCutShortIsTold)
{
    const struct {
        const char* name;
        bool close;
    } cases[] = {{"unplugging the camera", false}, {"closing the window", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Nimbo::Emulation::Configure(""));
        // The camera starts free running: the trigger port a window closed before kept is not taken.
        QSettings().remove("Recording/TriggerPort");
        windowtest::ModalBoxGuard boxes;
        auto window = std::make_unique<Kalmuth>();
        window->show();
        const std::string serial = recordTriggeredFrames(*window, path(), 5, [](DeviceContext& context) {
            context.setRecordingControllerFactory(
                [](const CRecordingOptions& options, Nimbo::EPixelType, uint32_t, uint32_t) {
                    auto* sampling = new CTimeUnitMediaImageController(
                        options.StopSamplingLimitEnabled, options.StopSamplingLimitUnit, options.StopSamplingLimit,
                        options.SampleRateUnit, options.SampleRate);
                    auto* writer = new FakeWriter;
                    writer->failClose(FakeWriter::Generic);
                    return new CRecordingController(options, sampling, writer, nullptr);
                });
        });
        ASSERT_FALSE(serial.empty());
        const std::string told = "An error occurred during recording. Frame could not be written from buffer to "
                                 "disk. The recording was stopped.";
        if (c.close) {
            EXPECT_TRUE(window->close());
            EXPECT_EQ(boxes.seen().join(" | ").toStdString(), told) << "not told before the window went";
        } else {
            ASSERT_TRUE(Nimbo::Emulation::Unplug(serial));
            EXPECT_TRUE(QTest::qWaitFor([&] { return !boxes.seen().isEmpty(); }, 30000)) << "not told";
            EXPECT_TRUE(window->isVisible());
        }
        QTest::qWait(500);
        EXPECT_EQ(boxes.seen().join(" | ").toStdString(), told);
        window.reset();
        QCoreApplication::processEvents();
    }
}

// A recording whose writer has fallen behind still writes every queued frame when it ends with the
// window closed, the camera unplugged or the window destroyed, within the same bound, but the window
// goes on handling its events meanwhile (it paints, its timers run) and the recording status bar
// counts the frames still to be written. The writer here lets its frames through only once the test,
// from a timer of the event loop, has seen the bar count them.
TEST_F(KalmuthTest, DrainingAtTheEndKeepsTheWindowPaintingAndCountsTheFramesLeft)
{
    using Step = std::function<void(std::unique_ptr<Kalmuth>&, const std::string&)>;
    const Step close = [](std::unique_ptr<Kalmuth>& w, const std::string&) { w->close(); };
    const Step unplug = [](std::unique_ptr<Kalmuth>& w, const std::string& serial) {
        ASSERT_TRUE(Nimbo::Emulation::Unplug(serial));
        EXPECT_TRUE(QTest::qWaitFor([&] { return w->mdiArea()->isHintShown(); }, 60000));
    };
    const Step unplugOnly = [](std::unique_ptr<Kalmuth>&, const std::string& serial) {
        EXPECT_TRUE(Nimbo::Emulation::Unplug(serial));
    };
    using Done = std::function<bool(Kalmuth&, int ticks)>;
    // The removal callback goes with the shut-down's first step: the unplugged camera is not reported,
    // and the frames already queued are written all the same.
    const Done notReported = [](Kalmuth&, int ticks) { return ticks >= 5; };
    const Done hidden = [](Kalmuth& w, int) { return !w.isVisible(); };
    const Step remove = [](std::unique_ptr<Kalmuth>& w, const std::string&) {
        const Nimbo::CDeviceInfo info = w->contextManager()->currentCamera()->getDeviceInfo();
        w->contextManager()->removeDevice(&info, false);
    };
    const Done removed = [](Kalmuth& w, int ticks) { return ticks >= 5 && !w.contextManager()->currentContext(); };
    const struct {
        const char* name;
        Step end;
        // Done from the event loop while the recording drains (the other way to end comes on top),
        // and handled before the writer may go on.
        Step meanwhile;
        Done handled;
    } cases[] = {
        {"closing the window", close, {}, {}},
        {"unplugging the camera", unplug, {}, {}},
        {"destroying the window", [](std::unique_ptr<Kalmuth>& w, const std::string&) { w.reset(); }, {}, {}},
        {"closing the window, unplugged meanwhile", close, unplugOnly, notReported},
        {"unplugging the camera, the window closed meanwhile", unplug, close, hidden},
        // A host, or a scan that no longer lists the camera, removes it while it is written out.
        {"unplugging the camera, removed meanwhile", unplug, remove, removed},
        {"closing the window, removed meanwhile", close, remove, removed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool failedBefore = HasFailure();
        // A fresh camera each time: plugged in, free running (the trigger port a window closed before
        // kept is not taken).
        ASSERT_TRUE(Nimbo::Emulation::Configure(""));
        QSettings().remove("Recording/TriggerPort");
        windowtest::ModalBoxGuard boxes;
        auto window = std::make_unique<Kalmuth>();
        window->show();
        auto gate = std::make_shared<GateState>();
        const uint32_t frames = 25;
        const std::string serial = recordTriggeredFrames(*window, path(), frames, [&](DeviceContext& context) {
            // Beyond the writer's own patience, so that a drain that never lets the gate open still
            // ends with every frame written, and fails on the checks of what ran meanwhile.
            context.setDrainTimeout(20000);
            context.setRecordingControllerFactory(
                [gate](const CRecordingOptions& options, Nimbo::EPixelType, uint32_t, uint32_t) {
                    auto* sampling = new CTimeUnitMediaImageController(
                        options.StopSamplingLimitEnabled, options.StopSamplingLimitUnit, options.StopSamplingLimit,
                        options.SampleRateUnit, options.SampleRate);
                    return new CRecordingController(options, sampling, new GatedWriter(gate), nullptr);
                });
        });
        ASSERT_FALSE(serial.empty());
        ASSERT_EQ(HasFailure(), failedBefore);
        QPointer<RecordingStatusBar> bar = shownImageWindow(*window)->recordingStatusBar();

        // From the end on: each tick asks the bar to paint, counts the paints that follow, and opens
        // the gate once the bar has painted a count of frames left.
        bool ending = false;
        int ticks = 0;
        int paints = 0;
        QStringList counts;
        struct PaintCounter : QObject {
            std::function<void()> onPaint;
            bool eventFilter(QObject*, QEvent* event) override
            {
                if (event->type() == QEvent::Paint)
                    onPaint();
                return false;
            }
        } counter;
        counter.onPaint = [&] {
            if (!ending || !bar)
                return;
            ++paints;
            const QRegularExpressionMatch left =
                QRegularExpression("\\((\\d+) left\\)").match(bar->stateLabel()->text());
            if (left.hasMatch() && (counts.isEmpty() || counts.last() != left.captured(1)))
                counts << left.captured(1);
        };
        bar->installEventFilter(&counter);
        QTimer ticker;
        ticker.setInterval(20);
        int meanwhileTick = -1;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            if (!ending)
                return;
            ++ticks;
            if (bar)
                bar->QWidget::update();
            if (counts.isEmpty())
                return;
            // The bar counts what is left: the drain is under way. The other end comes from an event of
            // its own, for a timer is not run again while its own handler waits.
            if (c.meanwhile && meanwhileTick < 0) {
                meanwhileTick = ticks;
                QMetaObject::invokeMethod(
                    &ticker, [&] { c.meanwhile(window, serial); }, Qt::QueuedConnection);
            }
            if (c.handled && !(window && c.handled(*window, ticks - meanwhileTick)))
                return;
            if (counts.first().toInt() > 0) {
                std::lock_guard<std::mutex> lock(gate->mutex);
                gate->open = true;
                gate->changed.notify_all();
            }
        });
        ticker.start();

        ending = true;
        c.end(window, serial);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                std::lock_guard<std::mutex> lock(gate->mutex);
                return gate->closed;
            },
            60000))
            << "the recording was not finished";
        ending = false;
        ticker.stop();
        {
            std::lock_guard<std::mutex> lock(gate->mutex);
            EXPECT_EQ(gate->written, frames) << "not every queued frame was written";
            EXPECT_FALSE(gate->gaveUp) << "the writer waited in vain: nothing ran while the recording drained";
        }
        EXPECT_GT(paints, 0) << "the recording status bar did not paint while the recording drained";
        ASSERT_FALSE(counts.isEmpty()) << "the bar counted no frames left";
        EXPECT_GT(counts.first().toInt(), 0);
        EXPECT_TRUE(boxes.seen().isEmpty()) << boxes.seen().join(" | ").toStdString();
        if (window)
            closeAndDelete(window);
    }
}

// A host that deletes the window without closing it (or quit() ending the program) still has the
// engine shut down first: the image window the MDI area deletes is no longer fed or touched, and the
// camera is let go of, so the next window opens it again.
TEST_F(KalmuthTest, DestroyingTheWindowWithoutCloseShutsTheEngineDown)
{
    for (bool recording : {false, true}) {
        SCOPED_TRACE(recording ? "recording" : "live view");
        auto window = std::make_unique<Kalmuth>();
        window->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->contextManager()->hasActiveImage(); }, 30000));
        if (recording) {
            window->form()->actionStartRecording->trigger();
            ASSERT_TRUE(window->contextManager()->isDeviceRecording(nullptr));
        }
        window.reset();
        QCoreApplication::processEvents();
    }
    auto window = std::make_unique<Kalmuth>();
    window->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->contextManager()->hasActiveImage(); }, 30000))
        << "the camera was not let go of";
    closeAndDelete(window);
}

// The window closed while the camera is being opened (the creation of the device handles events other
// than user input meanwhile): the engine is shut down, so the device made after all is let go of instead
// of being opened under it, and the camera stays free for the next start of the program.
TEST_F(KalmuthTest, ClosingWhileTheCameraIsBeingOpenedLetsTheCameraGo)
{
    struct Restore {
        ~Restore() { CreateDeviceThread::setCreationHook({}); }
    } restore;
    std::mutex mutex;
    std::condition_variable changed;
    bool creating = false;
    bool closed = false;
    // The device is made only once the window has been closed.
    CreateDeviceThread::setCreationHook([&](const Nimbo::CDeviceInfo&) {
        std::unique_lock<std::mutex> lock(mutex);
        creating = true;
        changed.wait_for(lock, std::chrono::seconds(20), [&] { return closed; });
    });
    windowtest::ModalBoxGuard boxes;
    auto window = std::make_unique<Kalmuth>();
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!creating || closed)
                return;
        }
        window->close();
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        changed.notify_all();
    });
    closer.start();
    window->show();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::lock_guard<std::mutex> lock(mutex);
            return closed;
        },
        30000))
        << "the camera was not being opened";
    closer.stop();
    Camera* camera = window->contextManager()->currentCamera();
    ASSERT_NE(camera, nullptr);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(camera->isOpen());
    EXPECT_FALSE(camera->isAttached());
    EXPECT_EQ(window->deviceManager()->openCount(), 0);
    EXPECT_TRUE(boxes.seen().isEmpty()) << boxes.seen().join(" | ").toStdString();
    window.reset();
    QCoreApplication::processEvents();

    CreateDeviceThread::setCreationHook({});
    window = std::make_unique<Kalmuth>();
    window->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->contextManager()->hasActiveImage(); }, 30000))
        << "the camera was not let go of";
    closeAndDelete(window);
}

// The only camera, "usb:qvUsb1920c:<serial>", which another program takes as each of its first
// `takenTimes` opens is under way, after the scan found it free. The creation hook and the camera go
// with this object.
struct TakenAsOpened {
    TakenAsOpened(std::string serial, int takenTimes)
        : configured(Nimbo::Emulation::Configure("usb:qvUsb1920c:" + serial))
    {
        CreateDeviceThread::setCreationHook([this, serial, takenTimes](const Nimbo::CDeviceInfo&) {
            if (creations++ < takenTimes)
                Nimbo::Emulation::SetInUseElsewhere(serial, true);
        });
    }
    ~TakenAsOpened()
    {
        CreateDeviceThread::setCreationHook({});
        Nimbo::Emulation::Configure("");
    }
    TakenAsOpened(const TakenAsOpened&) = delete;
    TakenAsOpened& operator=(const TakenAsOpened&) = delete;

    const bool configured;
    std::atomic<int> creations{0};
};

// The automatic open can fail after the camera was found free (another program takes it in between):
// the user is told, and the next scan tries the camera again instead of counting it as open for good.
TEST_F(KalmuthTest, AFailedAutomaticOpenIsTriedAgainAtTheNextScan)
{
    TakenAsOpened camera("K1", 1);
    ASSERT_TRUE(camera.configured);
    const std::atomic<int>& creations = camera.creations;
    windowtest::ModalBoxGuard boxes;
    auto window = std::make_unique<Kalmuth>();
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.seen().isEmpty(); }, 30000)) << "the failed open was not told";
    EXPECT_EQ(boxes.seen().first(), "Failed to open the camera.");
    EXPECT_FALSE(window->contextManager()->isDeviceOpen(nullptr));
    Nimbo::DeviceInfoList current;
    EXPECT_FALSE(window->deviceManager()->getCurrentDevice(current)) << "the camera counts as chosen";

    Nimbo::Emulation::SetInUseElsewhere("K1", false);
    window->deviceManager()->startAutoScan();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->contextManager()->hasActiveImage(); }, 30000))
        << "the camera was not tried again";
    EXPECT_EQ(creations, 2);
    closeAndDelete(window);
}

// A camera that fails to open at every scan (taken by another program each time it is tried) is told
// once, not every ten seconds: the same failure again goes only to the log.
TEST_F(KalmuthTest, AnOpenThatFailsAtEveryScanIsToldOnce)
{
    TakenAsOpened camera("K2", std::numeric_limits<int>::max());
    ASSERT_TRUE(camera.configured);
    const std::atomic<int>& creations = camera.creations;
    windowtest::ModalBoxGuard boxes;
    auto window = std::make_unique<Kalmuth>();
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.seen().isEmpty(); }, 30000)) << "the failed open was not told";
    EXPECT_EQ(boxes.seen().first(), "Failed to open the camera.");
    for (int scan = 2; scan <= 3; ++scan) {
        SCOPED_TRACE(scan);
        // Free when the scan looks at it, taken again as it is opened.
        Nimbo::Emulation::SetInUseElsewhere("K2", false);
        window->deviceManager()->startAutoScan();
        ASSERT_TRUE(QTest::qWaitFor([&] { return creations == scan; }, 30000)) << "the camera was not tried again";
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->deviceManager()->items().isEmpty(); }, 30000));
        EXPECT_FALSE(QTest::qWaitFor([&] { return boxes.seen().size() > 1; }, 1000))
            << boxes.seen().join(" | ").toStdString();
    }
    closeAndDelete(window);
}

// A camera whose device cannot be made at every scan is told once, not every ten seconds: the same
// failure again goes only to the log. Unplugged and plugged in again, it is told anew; once the device
// can be made, the camera opens without a box.
TEST_F(KalmuthTest, ACreationThatFailsAtEveryScanIsToldOnce)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:K3"));
    std::atomic<int> creations{0};
    std::atomic<bool> failing{true};
    CreateDeviceThread::setCreationHook([&](const Nimbo::CDeviceInfo&) {
        ++creations;
        if (failing)
            throw GenICam::GenericException("The camera refuses the connection.", __FILE__, __LINE__);
    });
    struct HookGuard {
        ~HookGuard()
        {
            CreateDeviceThread::setCreationHook({});
            Nimbo::Emulation::Configure("");
        }
    } hookGuard;
    windowtest::ModalBoxGuard boxes;
    auto window = std::make_unique<Kalmuth>();
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.seen().isEmpty(); }, 30000)) << "the failed creation was not told";
    EXPECT_TRUE(boxes.seen().first().contains("The camera refuses the connection."))
        << boxes.seen().first().toStdString();
    for (int scan = 2; scan <= 3; ++scan) {
        SCOPED_TRACE(scan);
        window->deviceManager()->startAutoScan();
        ASSERT_TRUE(QTest::qWaitFor([&] { return creations == scan; }, 30000)) << "the camera was not tried again";
        EXPECT_FALSE(QTest::qWaitFor([&] { return boxes.seen().size() > 1; }, 1000))
            << boxes.seen().join(" | ").toStdString();
    }

    // Unplugged, the camera is missed by a scan; plugged in again, it is a camera anew, told anew.
    QSignalSpy nothingFound(window->deviceManager(), &DeviceManager::noDevicesFound);
    ASSERT_TRUE(Nimbo::Emulation::Unplug("K3"));
    window->deviceManager()->startAutoScan();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !nothingFound.isEmpty(); }, 30000)) << "the scan still found the camera";
    ASSERT_TRUE(Nimbo::Emulation::Replug("K3"));
    const int before = creations;
    window->deviceManager()->startAutoScan();
    ASSERT_TRUE(QTest::qWaitFor([&] { return creations > before; }, 30000)) << "the replugged camera was not tried";
    EXPECT_TRUE(QTest::qWaitFor([&] { return boxes.seen().size() == 2; }, 60000))
        << "the replugged camera's failure was not told: " << boxes.seen().join(" | ").toStdString();

    failing = false;
    window->deviceManager()->startAutoScan();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->contextManager()->hasActiveImage(); }, 30000))
        << "the camera was not opened once it could be made";
    EXPECT_EQ(boxes.seen().size(), 2) << boxes.seen().join(" | ").toStdString();
    closeAndDelete(window);
}

// A camera that refuses AcquisitionStart is told once: the automatic start is not tried again and again
// (each try would show the error anew). The user's own start is tried, and told, each time it is asked
// for, with no automatic start behind it; once the camera takes it, it runs.
TEST_F(KalmuthTest, ARefusedAutomaticStartIsToldOnceAndNotRepeated)
{
    for (bool autoRecord : {false, true}) {
        SCOPED_TRACE(autoRecord ? "automatic recording" : "automatic live view");
        windowtest::ModalBoxGuard boxes;
        auto window = std::make_unique<Kalmuth>();
        window->setAutoRecord(autoRecord);
        ContextManager* cm = window->contextManager();
        GenApi::INode* start = nullptr;
        QObject::connect(cm, &ContextManager::deviceOpened, window.get(), [&](Nimbo::INimboDevice*) {
            start = cm->currentCamera()->getNodeMap()->GetNode("AcquisitionStart");
            start->ImposeAccessMode(GenApi::RO);
        });
        window->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.seen().isEmpty(); }, 30000))
            << "the refused start was not told";
        EXPECT_EQ(boxes.seen().first(), "Failed to start the image acquisition");
        // Repeated, the start would show its error again within a few of the action updates' 250 ms.
        EXPECT_FALSE(QTest::qWaitFor([&] { return boxes.seen().size() > 1; }, 2000)) << boxes.seen().size() << " boxes";
        EXPECT_FALSE(cm->isDeviceGrabbing(nullptr));
        EXPECT_FALSE(cm->isDeviceRecording(nullptr));
        EXPECT_TRUE(window->form()->actionStartGrab->isEnabled());
        for (QAction* action :
             {window->form()->actionStartGrab, window->form()->actionStartRecording, window->form()->actionStartGrab}) {
            const int before = boxes.seen().size();
            action->trigger();
            EXPECT_TRUE(QTest::qWaitFor([&] { return boxes.seen().size() > before; }, 60000))
                << action->objectName().toStdString() << ": the refused start was not told";
            EXPECT_FALSE(QTest::qWaitFor([&] { return boxes.seen().size() > before + 1; }, 2000))
                << action->objectName().toStdString() << ": " << boxes.seen().size() - before << " boxes for one start";
            EXPECT_FALSE(cm->isDeviceGrabbing(nullptr));
        }
        const int told = boxes.seen().size();

        ASSERT_NE(start, nullptr);
        start->ImposeAccessMode(GenApi::RW);
        window->form()->actionStartGrab->trigger();
        EXPECT_TRUE(cm->isDeviceGrabbing(nullptr));
        EXPECT_TRUE(QTest::qWaitFor([&] { return cm->hasActiveImage(); }, 30000));
        EXPECT_EQ(boxes.seen().size(), told);
        closeAndDelete(window);
    }
}

// Starting a grab takes the keyboard focus from the widget that had it (an edit box of a panel, say),
// so that keys go to the window's actions again.
TEST_F(KalmuthTest, StartingAGrabClearsTheKeyboardFocus)
{
    auto window = std::make_unique<Kalmuth>();
    window->show();
    QApplication::setActiveWindow(window.get());
    ContextManager* cm = window->contextManager();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cm->hasActiveImage(); }, 30000));
    window->form()->actionStopGrab->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cm->isDeviceOpenAndIdle(); }, 60000));
    QLineEdit* edit = nullptr;
    for (QLineEdit* candidate : window->findChildren<QLineEdit*>()) {
        if (candidate->isVisible() && candidate->isEnabled() && candidate->focusPolicy() != Qt::NoFocus) {
            edit = candidate;
            break;
        }
    }
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    edit->setFocus();
    // An edit box inside a spin box passes its focus on to the spin box.
    QWidget* focused = edit->focusProxy() ? edit->focusProxy() : edit;
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == focused; }, 5000));
    window->form()->actionStartGrab->trigger();
    EXPECT_TRUE(cm->isDeviceGrabbing(nullptr));
    EXPECT_EQ(QApplication::focusWidget(), nullptr);
    closeAndDelete(window);
}

// The engine finds the program's main window among the top-level widgets, whatever comes before it.
TEST_F(KalmuthTest, FindMainWindowFindsTheMainWindow)
{
    EXPECT_EQ(findMainWindow(), nullptr);
    QWidget other;
    other.show();
    EXPECT_EQ(findMainWindow(), nullptr);
    Kalmuth window;
    EXPECT_EQ(findMainWindow(), &window);
    window.close();
}

// The record keys pressed twice in quick succession (a double press, a key held down) both arrive before
// the recording's state change, which is queued, has disabled the action: one recording, and no error box
// saying that another one is in progress.
TEST_F(KalmuthTest, TheRecordKeyPressedTwiceStartsOneRecordingAndNoError)
{
    auto window = showActiveWindow();
    ASSERT_TRUE(window) << "the main window did not become active";
    ContextManager* engine = window->contextManager();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return engine->hasActiveImage() && window->form()->actionStartRecording->isEnabled(); }, 30000))
        << "the live view did not become ready to record";
    windowtest::ModalBoxGuard boxes;
    testsupport::LogCapture log;
    QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier);
    QTest::keyClick(window.get(), Qt::Key_F10);
    EXPECT_TRUE(engine->isDeviceRecording(nullptr));
    // Reports are logged at once and shown from the event loop.
    EXPECT_FALSE(log.contains("another recording is already in progress"));
    EXPECT_EQ(GetTheGlobalAsyncErrorQueue()->count(), 0u);
    window->form()->actionStopRecording->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine->isDeviceRecording(nullptr); }, 60000));
    closeAndDelete(window);
    EXPECT_TRUE(boxes.seen().isEmpty()) << boxes.seen().join(" | ").toStdString();
}

TEST_F(KalmuthTest, FirstRunLayoutAndDefaults)
{
    Kalmuth window;
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(window.size(),
              QSize(static_cast<int>(available.width() * 0.9), static_cast<int>(available.height() * 0.9)));
    EXPECT_EQ(window.pos(), available.topLeft());
    EXPECT_TRUE(window.cameraSettingsDock()->isMenuOpen());
    EXPECT_TRUE(window.recordingSettingsDock()->isMenuOpen());
    EXPECT_EQ(QDir::currentPath(), QDir(path()).canonicalPath());
    EXPECT_EQ(window.objectName(), "KalmuthClass");
    // Ten actions and four separators; the exit and camera actions sit in no widget.
    EXPECT_EQ(window.toolBar()->actions().size(), 14);
    EXPECT_FALSE(window.toolBar()->actions().contains(window.form()->actionExit));
    window.close();
}

// True when `icon` shows the picture of `file`, at the file's size, in that mode and state.
bool iconShowsFile(const QIcon& icon, QIcon::Mode mode, QIcon::State state, const QString& file)
{
    // Pixmaps hold premultiplied colours: the file's picture is compared in that form.
    const QImage expected = QImage(file).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (expected.isNull())
        return false;
    return icon.pixmap(expected.size(), mode, state).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied) ==
           expected;
}

// Every action as the user meets it: its texts, tips and keys, and the grey (off) and bright (on)
// drawings of its icon at both sizes the tool bar may ask for.
TEST_F(KalmuthTest, EveryActionHasItsTextsKeysAndIcons)
{
    Kalmuth window;
    EXPECT_EQ(window.windowTitle(), "Kalmuth");
    const struct {
        const char* name;
        bool checkable;
        const char* text;
        const char* toolTip;
        const char* statusTip;
        QList<QKeySequence> keys;
        const char* glyph; // none: no icon
        int onStateMode;   // a further mode that shows the bright drawing in the on state, or -1
    } actions[] = {
        {"actionExit", false, "E&xit", "Exit", "Exit the application", {}, nullptr, -1},
        {"actionStopRecording",
         true,
         "St&op",
         "<html><head/><body><span style=\" font-weight:600;\">Stop Recording (F8)</span><br/>Stops the "
         "recording.</body></html>",
         "Stop capturing images and recording",
         {QKeySequence("F8")},
         "Stop",
         QIcon::Selected},
        {"actionStartGrab",
         true,
         "&Continuous Shot",
         "<html><head/><body><span style=\" font-weight:600;\">Start Preview (F7)</span><br/>Starts image acquisition "
         "and displays captured images in the display pane. Images will not be saved.</body></html>",
         "Capture images continuously",
         {QKeySequence("F7")},
         "Play",
         -1},
        {"actionOpenCamera",
         false,
         "&Open",
         "Open Camera",
         "Open the selected camera",
         {QKeySequence("Ctrl+O")},
         nullptr,
         -1},
        {"actionCloseCamera",
         false,
         "&Close",
         "Close Camera",
         "Close the selected camera",
         {QKeySequence("Ctrl+L")},
         nullptr,
         -1},
        {"actionZoomIn",
         true,
         "Zoom &In",
         "<html><head/><body><nobr><span style=\" font-weight:600;\">Zoom In (Mousewheel Up)</span></nobr><br/>"
         "Increases the size of the image displayed.</body></html>",
         "Zoom in",
         {QKeySequence("Ctrl++")},
         "LupePlus",
         -1},
        {"actionZoomOut",
         true,
         "Zoom &Out",
         "<html><head/><body><nobr><span style=\" font-weight:600;\">Zoom Out (Mousewheel Down)</span></nobr><br/>"
         "Decreases the size of the image displayed.</body></html>",
         "Zoom out",
         {QKeySequence("Ctrl+-")},
         "LupeMinus",
         -1},
        {"actionZoomToFit",
         true,
         "Zoom to &Fit",
         "<html><head/><body><span style=\" font-weight:600;\">Zoom to Fit</span><br/>Scales the image displayed to "
         "fit the display pane.</body></html>",
         "Zoom to fit",
         {QKeySequence("Ctrl+*")},
         "LupeExpand",
         -1},
        {"actionZoom100",
         true,
         "&Zoom 100%",
         "<html><head/><body><span style=\" font-weight:600;\">Zoom 100%</span><br/>Displays the image in original "
         "size. One pixel on the screen is equivalent to one pixel of the image taken by the camera.</body></html>",
         "Zoom 100%",
         {QKeySequence("Ctrl+1")},
         "Lupe100",
         -1},
        {"actionSaveImage",
         true,
         "&Save Image...",
         "<html><head/><body><span style=\" font-weight:600;\">Save Image \xE2\x80\xA6 (Ctrl+S)</span><br/>Saves the "
         "image currently displayed to a location of your choice.</body></html>",
         "Save current image to file",
         {QKeySequence("Ctrl+S")},
         "Save",
         -1},
        {"actionStartRecording",
         true,
         "&Record",
         "<html><head/><body><span style=\" font-weight:600;\">Start Recording (F10, Ctrl+R)</span><br/>Starts the "
         "recording. The video clip will be saved in the location specified in the Recording Settings "
         "pane.</body></html>",
         "Start recording",
         {QKeySequence("F10"), QKeySequence("Ctrl+R")},
         "Record",
         QIcon::Disabled},
        {"actionStopGrab",
         true,
         "&Pause",
         "<html><head/><body><span style=\" font-weight:600;\">Pause Preview (F9)</span><br/>Pauses the image "
         "acquisition.</body></html>",
         "Pause",
         {QKeySequence("F9")},
         "Pause",
         -1},
        {"actionOptimizeCameraSettings",
         true,
         "&Automatic Image Adjustment",
         "<html><head/><body><span style=\" font-weight:600;\">Automatic Image Adjustment</span><br/>Automatically "
         "adjusts the image quality once. This overrides any image quality settings made manually.</body></html>",
         "Enable Automatic Image Adjustment functions on the camera.",
         {},
         "NiceImageIcon",
         -1},
    };
    QStringList names;
    for (const auto& a : actions) {
        SCOPED_TRACE(a.name);
        names << a.name;
        auto* action = window.findChild<QAction*>(a.name, Qt::FindDirectChildrenOnly);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->isCheckable(), a.checkable);
        EXPECT_EQ(action->text(), QString::fromUtf8(a.text));
        EXPECT_EQ(action->toolTip(), QString::fromUtf8(a.toolTip));
        EXPECT_EQ(action->statusTip(), a.statusTip);
        EXPECT_EQ(action->shortcuts(), a.keys);
        if (!a.glyph) {
            EXPECT_TRUE(action->icon().isNull());
            continue;
        }
        for (int size : {16, 32}) {
            const QString file = QString(":/Kalmuth/Resources/%1_%2x%2").arg(a.glyph).arg(size);
            EXPECT_TRUE(iconShowsFile(action->icon(), QIcon::Normal, QIcon::Off, file + "_grey.png")) << size;
            EXPECT_TRUE(iconShowsFile(action->icon(), QIcon::Normal, QIcon::On, file + ".png")) << size;
            if (a.onStateMode >= 0) {
                EXPECT_TRUE(iconShowsFile(action->icon(), QIcon::Mode(a.onStateMode), QIcon::On, file + ".png"))
                    << size;
            }
        }
    }
    // The form holds these actions and no others.
    QStringList present;
    for (QAction* action : window.findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly))
        if (!action->objectName().isEmpty())
            present << action->objectName();
    present.sort();
    names.sort();
    EXPECT_EQ(present, names);
    window.close();
}

// The save action is connected by its name: one trigger asks for one file name.
TEST_F(KalmuthTest, SaveImageAsksForTheFileOnce)
{
    windowtest::ModalBoxGuard boxes;
    Kalmuth window;
    window.form()->actionSaveImage->trigger();
    EXPECT_EQ(boxes.seen(), QStringList{"Save Image"});
    window.close();
}

// Answers a few texts of each form under that form's own context, and nothing else.
class FormTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char* = nullptr, int = -1) const override
    {
        static const QHash<QPair<QString, QString>, QString> table = {
            {{"KalmuthClass", "Kalmuth"}, "Kalmuth (de)"},
            {{"KalmuthClass", "&Continuous Shot"}, "&Dauerbild"},
            {{"KalmuthClass", "Capture images continuously"}, "Bilder fortlaufend aufnehmen"},
            {{"KalmuthClass", "F7"}, "F6"},
            {{"KalmuthClass", "Ctrl+R"}, "Ctrl+Shift+R"},
            {{"RecordingSettingsWidget", "Options"}, "Optionen"},
            {{"RecordingSettingsWidget", "&Video"}, "&Film"},
            {{"RecordingSettingsWidget", "Hour(s)"}, "Stunde(n)"},
            {{"RecordingSettingsWidget", "Browse"}, "Durchsuchen"},
        };
        return table.value({QString::fromLatin1(context), QString::fromUtf8(source)});
    }
};

TEST_F(KalmuthTest, FormsLookTheirTextsUpUnderTheirOwnContexts)
{
    FormTranslator translator;
    QCoreApplication::installTranslator(&translator);
    {
        Kalmuth window;
        Ui::KalmuthClass* form = window.form();
        EXPECT_EQ(window.windowTitle(), "Kalmuth (de)");
        EXPECT_EQ(form->actionStartGrab->text(), "&Dauerbild");
        EXPECT_EQ(form->actionStartGrab->statusTip(), "Bilder fortlaufend aufnehmen");
        EXPECT_EQ(form->actionStartGrab->shortcut(), QKeySequence("F6"));
        EXPECT_EQ(form->actionStartRecording->shortcuts(),
                  (QList<QKeySequence>{QKeySequence("F10"), QKeySequence("Ctrl+Shift+R")}));
        EXPECT_EQ(form->actionStopGrab->text(), "&Pause") << "a text the translator does not know stays";
        RecordingSettingsWidget* panel = window.recordingSettingsWidget();
        EXPECT_EQ(panel->windowTitle(), "Optionen");
        EXPECT_EQ(panel->findChild<QRadioButton*>("radioButtonOutputTypeVideo")->text(), "&Film");
        EXPECT_EQ(panel->findChild<QPushButton*>("pushButtonPickRecordingOutputFolder")->text(), "Durchsuchen");
        for (const char* name : {"comboBoxRecordingSampleRateUnit", "comboBoxRecordingStopSamplingLimitUnit"})
            EXPECT_EQ(panel->findChild<QComboBox*>(name)->itemText(4), "Stunde(n)") << name;
        window.close();
    }
    QCoreApplication::removeTranslator(&translator);
}

TEST_F(KalmuthTest, AutoRecordOptionSpellings)
{
    struct {
        QStringList arguments;
        bool expected;
    } cases[] = {{{"kalmuth", "-r"}, true},     {{"kalmuth", "  /R  "}, true}, {{"kalmuth", "-R"}, true},
                 {{"kalmuth", "-rx"}, false},   {{"kalmuth"}, false},          {{"-r"}, false},
                 {{"kalmuth", "x", "/r"}, true}};
    for (const auto& c : cases)
        EXPECT_EQ(Kalmuth::hasAutoRecordOption(c.arguments), c.expected) << c.arguments.join(' ').toStdString();
}

TEST_F(KalmuthTest, SaveDialogSuffixFromTheFilter)
{
    EXPECT_EQ(Kalmuth::appendFilterSuffix("/t/Image", "Tiff (*.tiff)"), "/t/Image.tiff");
    EXPECT_EQ(Kalmuth::appendFilterSuffix("/t/Image", "Bitmap (*.bmp)"), "/t/Image.bmp");
    EXPECT_EQ(Kalmuth::appendFilterSuffix("/t/Image.png", "Bitmap (*.bmp)"), "/t/Image.png");
    EXPECT_EQ(Kalmuth::appendFilterSuffix("/t/Image", "All files"), "/t/Image");
}

TEST_F(KalmuthTest, SeverityMapsToTraceLevelAndIcon)
{
    struct {
        int severity;
        unsigned level;
        QMessageBox::Icon icon;
    } cases[] = {{10, 512, QMessageBox::Critical},   {20, 16, QMessageBox::Critical},
                 {30, 128, QMessageBox::Warning},    {40, 32, QMessageBox::Information},
                 {50, 64, QMessageBox::Information}, {60, 16, QMessageBox::NoIcon},
                 {77, 32, QMessageBox::NoIcon}};
    for (const auto& c : cases) {
        unsigned level = 0;
        QMessageBox::Icon icon = QMessageBox::Question;
        Kalmuth::severityStyle(c.severity, &level, &icon);
        EXPECT_EQ(level, c.level) << c.severity;
        EXPECT_EQ(icon, c.icon) << c.severity;
    }
}

TEST_F(KalmuthTest, DisplayedErrorIsAModalBoxWithTheWindowTitle)
{
    Kalmuth window;
    window.setWindowTitle("Kalmuth test");
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool answered = false;
    QTimer reader;
    reader.setInterval(20);
    QObject::connect(&reader, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            answered = true;
            reader.stop();
            box->button(QMessageBox::Close)->click();
        }
    });
    reader.start();
    window.onDisplayError(AsyncErrorQueue::Notice, "Something happened", "", nullptr);
    EXPECT_TRUE(answered);
    EXPECT_EQ(title, "Kalmuth test");
    EXPECT_EQ(text, "Something happened");
    EXPECT_EQ(icon, QMessageBox::Information);
    window.close();
}

// The nested loop of a shown error box goes on handling events, so the widget a report names as the box's
// parent may be deleted meanwhile: the box goes with it and the call returns, rather than the parent
// deleting a box it does not own.
TEST_F(KalmuthTest, AnErrorBoxWhoseParentIsDeletedWhileShownGoesWithIt)
{
    Kalmuth window;
    auto* parent = new QWidget(&window);
    QPointer<QWidget> shown;
    QTimer watcher;
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (parent) {
            shown = modal;
            delete parent;
            parent = nullptr;
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            box->button(QMessageBox::Close)->click(); // a box that outlived its parent
        }
    });
    watcher.start();
    window.onDisplayError(AsyncErrorQueue::Warning, "Its parent goes", "", parent);
    EXPECT_EQ(parent, nullptr) << "no box was shown";
    EXPECT_TRUE(shown.isNull()) << "the box outlived its parent";
    window.close();
}

// How far two colours lie apart, summed over red, green and blue.
int colourDistance(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

// The pixels of `area` that a user tells apart from `background` at a glance.
int pixelsStandingOut(const QImage& picture, const QRect& area, QRgb background)
{
    int count = 0;
    const QRect inside = area.intersected(picture.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (colourDistance(picture.pixel(x, y), background) >= 150)
                ++count;
    return count;
}

// The program's own style sheet, set as main() sets it, for the life of a test.
class ProgramStyleSheet {
public:
    ProgramStyleSheet()
    {
        QFile file(":/Kalmuth/Resources/Stylesheet/TesvarFlatStyle.qss");
        EXPECT_TRUE(file.open(QFile::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(file.readAll()));
    }
    ~ProgramStyleSheet() { qApp->setStyleSheet(QString()); }
};

TEST_F(KalmuthTest, ToolBarIconsAndDockTitlesStandOutFromTheirBackground)
{
    ProgramStyleSheet style;
    auto window = std::make_unique<Kalmuth>();
    window->show();
    Ui::KalmuthClass* form = window->form();
    // Live view with an image: saving, pausing, recording and every zoom are available.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return window->contextManager()->hasActiveImage() && form->actionStopGrab->isEnabled() &&
                   form->actionSaveImage->isEnabled() && form->actionZoomIn->isEnabled() &&
                   form->actionZoomOut->isEnabled();
        },
        30000))
        << "no live view on the emulated colour camera";
    const QImage picture = window->grab().toImage();

    QToolBar* toolBar = window->toolBar();
    const QPoint barOrigin = toolBar->mapTo(window.get(), QPoint(0, 0));
    // The bar's own colour, taken right of its last button.
    const QRgb barColour = picture.pixel(barOrigin + QPoint(toolBar->width() - 3, toolBar->height() / 2));
    int checkedIcons = 0;
    for (QAction* action : toolBar->actions()) {
        if (action->isSeparator() || !action->isEnabled())
            continue;
        QWidget* button = toolBar->widgetForAction(action);
        ASSERT_NE(button, nullptr) << action->objectName().toStdString();
        const QRect area(button->mapTo(window.get(), QPoint(0, 0)), button->size());
        EXPECT_GE(pixelsStandingOut(picture, area, barColour), 40)
            << action->objectName().toStdString() << " cannot be told from the tool bar";
        EXPECT_EQ(action->isChecked(), action->isEnabled()) << action->objectName().toStdString();
        ++checkedIcons;
    }
    EXPECT_GE(checkedIcons, 8) << "live view shows save, play state, record and four zoom buttons";

    for (BurgerMenueDockWidget* dock : {window->cameraSettingsDock(), window->recordingSettingsDock()}) {
        QLabel* title = dock->titleLabel();
        ASSERT_TRUE(title->isVisible());
        const QRect area(title->mapTo(window.get(), QPoint(0, 0)), title->size());
        ASSERT_GT(area.width(), 20) << dock->windowTitle().toStdString();
        // The label's left margin shows the title area's background.
        const QRgb background = picture.pixel(area.left() + 3, area.center().y());
        EXPECT_GE(pixelsStandingOut(picture, area, background), 40)
            << dock->windowTitle().toStdString() << ": the title cannot be read";
    }
    closeAndDelete(window);
}

TEST_F(KalmuthTest, AnActionKeepsItsIconStateWhenTriggered)
{
    auto window = std::make_unique<Kalmuth>();
    window->show();
    QAction* adjust = window->form()->actionOptimizeCameraSettings;
    ASSERT_TRUE(QTest::qWaitFor([&] { return adjust->isEnabled(); }, 30000));
    // Triggering a checkable action toggles it; an available action must keep its "on" icon.
    adjust->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(adjust->isChecked());
    closeAndDelete(window);
}

TEST(KalmuthIconTest, PlayPointsRight)
{
    windowtest::initResources();
    for (const char* file : {":/Kalmuth/Resources/Play_16x16.png", ":/Kalmuth/Resources/Play_32x32.png"}) {
        const QImage image = QImage(file).convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(image.isNull()) << file;
        // A triangle pointing right has its broad side, and so most of its ink, on the left.
        double left = 0, right = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                (x < image.width() / 2 ? left : right) += qAlpha(image.pixel(x, y));
        EXPECT_GT(left, right * 1.5) << file;
    }
}

TEST_F(KalmuthTest, WithoutAnyCameraTheNoCameraHintAppears)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("none"));
    auto window = std::make_unique<Kalmuth>();
    window->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->mdiArea()->isHintShown(); }, 30000)) << "the area stayed blank";
    EXPECT_TRUE(window->mdiArea()->hintText().startsWith("No camera found."))
        << window->mdiArea()->hintText().toStdString();
    closeAndDelete(window);
    Nimbo::Emulation::Configure("");
}

TEST_F(KalmuthTest, SavedWindowStateFindsBothDocks)
{
    testsupport::LogCapture log;
    {
        Kalmuth window;
        EXPECT_FALSE(window.cameraSettingsDock()->objectName().isEmpty());
        EXPECT_FALSE(window.recordingSettingsDock()->objectName().isEmpty());
        EXPECT_NE(window.cameraSettingsDock()->objectName(), window.recordingSettingsDock()->objectName());
        window.close();
    }
    // Without object names Qt can neither save nor find the docks and says so.
    EXPECT_FALSE(log.contains("objectName")) << "the window state does not name its docks";
    QSettings settings;
    ASSERT_TRUE(settings.contains("MainWindow/layout"));
    Kalmuth restored;
    EXPECT_TRUE(restored.restoreState(settings.value("MainWindow/layout").toByteArray(), 1));
    EXPECT_FALSE(log.contains("objectName"));
    restored.close();
}

TEST_F(KalmuthTest, RecordingDockCollapsesAndReopensAgainAndAgain)
{
    testsupport::LogCapture log;
    auto window = std::make_unique<Kalmuth>();
    window->show();
    BurgerMenueDockWidget* dock = window->recordingSettingsDock();
    const int collapsed = dock->iconSize().height();
    const int open = collapsed + dock->menuHeight();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dock->height() == open; }, 10000)) << dock->height();
    for (int round = 0; round < 3; ++round) {
        dock->setMenuOpen(false);
        EXPECT_TRUE(QTest::qWaitFor([&] { return dock->height() == collapsed; }, 10000))
            << "round " << round << ": the dock stays " << dock->height() << " high";
        dock->setMenuOpen(true);
        EXPECT_TRUE(QTest::qWaitFor([&] { return dock->height() == open; }, 10000))
            << "round " << round << ": the dock reopens to " << dock->height();
    }
    // A click during the transition takes over from it.
    dock->setMenuOpen(false);
    dock->setMenuOpen(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dock->height() == open; }, 10000)) << dock->height();
    EXPECT_FALSE(log.contains("Negative sizes"));
    closeAndDelete(window);
}

} // namespace
