// The main window on a real camera: Aravis' fake GigE Vision camera, reached through real discovery
// in a network namespace that holds only the loopback interface. GigE cameras are never opened by the
// automatic choice, so the test opens it the way that choice opens a USB camera.
#include "Kalmuth.h"
#include "ImageWindow.h"
#include "WindowTestSupport.h"

#include "../../../platform/nimbo/base/RealCameraSupport.h"
#include "../../engine/media/MediaTestSupport.h"

#include <ContextManager.h>
#include <DeviceManager.h>
#include <RecordingOptions.h>

#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QMessageBox>
#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

// What the recording writes: one MP4 file, or one BMP file per image.
struct Recording {
    const char* name;
    int outputType;
    const char* pattern;
};

// Names the case in test lists instead of dumping its bytes.
void PrintTo(const Recording& c, std::ostream* os)
{
    *os << c.name;
}

class KalmuthRealCameraTest : public testsupport::RealCameraFixture, public ::testing::WithParamInterface<Recording> {
protected:
    void SetUp() override
    {
        testsupport::RealCameraFixture::SetUp();
        windowtest::initResources();
        ASSERT_TRUE(m_folder.isValid());
        QSettings settings;
        settings.clear();
        settings.setValue("Environment/workingDirectory", m_folder.path());
    }
    void TearDown() override
    {
        QSettings().clear();
        testsupport::RealCameraFixture::TearDown();
    }

    QStringList recordedFiles() const
    {
        QStringList files;
        QDirIterator it(m_folder.path(), {GetParam().pattern}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        return files;
    }

    // Closes every message box the program shows, so that none blocks the test, and keeps its text.
    void closeMessageBoxes()
    {
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                m_boxTexts << box->text();
                box->done(QMessageBox::Close);
            }
        });
        timer->start(20);
        m_boxTimer.reset(timer);
    }

    QTemporaryDir m_folder;
    QStringList m_boxTexts;
    std::unique_ptr<QTimer> m_boxTimer;
};

TEST_P(KalmuthRealCameraTest, ShowsTheFakeCamerasLiveImageAndARemovalEndsItsRecordingComplete)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    testsupport::FakeCamera fake("KR0001");
    auto window = std::make_unique<Kalmuth>();
    ContextManager* cm = window->contextManager();
    Nimbo::CDeviceInfo camera;
    bool detected = false;
    QObject::connect(window->deviceManager(), &DeviceManager::deviceDetected, window.get(),
                     [&](const Nimbo::CDeviceInfo* info) {
                         if (info->GetSerialNumber() == "KR0001") {
                             camera = *info;
                             detected = true;
                         }
                     });
    int removals = 0;
    QObject::connect(cm, &ContextManager::surpriseRemoved, window.get(), [&removals] { ++removals; });
    closeMessageBoxes();
    window->show();

    // Found by the program's own scan, under the GigE transport layer.
    ASSERT_TRUE(QTest::qWaitFor([&] { return detected; }, 60000)) << "the scan did not find the fake camera";
    EXPECT_EQ(camera.GetDeviceClass(), "VelmarGigE");

    cm->changeCurrentDevice(&camera);
    cm->openActiveDevice();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cm->isDeviceOpen(&camera); }, 30000)) << "the camera did not open";
    cm->startContinuousShot(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return cm->hasActiveImage(); }, 30000)) << "no live image";
    auto* view = dynamic_cast<ImageWindow*>(cm->activeImageWindow());
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(view->hasImage());
    // The view reports the size of the camera's frames.
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->statusInfo().sizeValid; }, 60000));
    const uint32_t width = view->statusInfo().width;
    EXPECT_GT(width, 0u);
    EXPECT_GT(view->statusInfo().height, 0u);

    CRecordingOptions options;
    options.OutputType = GetParam().outputType;
    options.ImageOutputType = CRecordingOptions::ImageOutputTypeBmp;
    options.OutputFolder = m_folder.path().toLocal8Bit().constData();
    options.StopSamplingLimitEnabled = false;
    cm->startRecording(&options);
    ASSERT_TRUE(QTest::qWaitFor([&] { return cm->isDeviceRecording(nullptr); }, 30000)) << "no recording";
    // Frames reach the file before the camera goes.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QStringList files = recordedFiles();
            return !files.isEmpty() && QFileInfo(files.first()).size() > 4096;
        },
        30000));

    // The view goes with the camera.
    view = nullptr;
    fake.stop(SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return removals > 0; }, 60000)) << "the removal went unnoticed";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !cm->isDeviceRecording(nullptr); }, 60000));
    QTest::qWait(200); // a second report would be queued behind the first
    EXPECT_EQ(removals, 1) << m_boxTexts.join('\n').toStdString();

    const QStringList files = recordedFiles();
    if (GetParam().outputType == CRecordingOptions::OutputTypeVideo) {
        ASSERT_EQ(files.size(), 1);
        const auto video = mediatest::probe(files.first());
        EXPECT_EQ(video.count("error"), 0u) << video.at("error");
        EXPECT_GT(std::atoi(video.count("nb_read_frames") ? video.at("nb_read_frames").c_str() : "0"), 0);
        EXPECT_EQ(video.count("width") ? video.at("width") : "", std::to_string(width));
    } else {
        ASSERT_FALSE(files.isEmpty());
        for (const QString& name : files) {
            const QImage image(name);
            EXPECT_EQ(image.width(), int(width)) << name.toStdString() << " is not a complete image";
        }
    }

    window->close();
    window.reset();
    QCoreApplication::processEvents();
}

INSTANTIATE_TEST_SUITE_P(Recordings, KalmuthRealCameraTest,
                         ::testing::Values(Recording{"Mp4", CRecordingOptions::OutputTypeVideo, "*.mp4"},
                                           Recording{"BmpSequence", CRecordingOptions::OutputTypeImageSequence,
                                                     "*.bmp"}),
                         [](const ::testing::TestParamInfo<Recording>& info) { return std::string(info.param.name); });

} // namespace
