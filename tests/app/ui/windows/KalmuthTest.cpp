// Main window: with the emulated camera it opens the camera and shows live images by itself, the -r
// option records, closing shuts the engine down and saves the settings; plus its small rules.
#include "Kalmuth.h"
#include "BurgerMenueDockWidget.h"
#include "RecordingSettingsWidget.h"
#include "ImageWindow.h"
#include "KalmuthForm.h"
#include "TesvarMdiArea.h"
#include "WindowTestSupport.h"

#include <ContextManager.h>
#include <testsupport/TempDir.h>

#include <QCloseEvent>
#include <QDir>
#include <QDirIterator>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <memory>

namespace {

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
        // Short AVI clips keep the recording test quick and need no video encoder.
        settings.setValue("Recording/OutputType", 1);
    }
    void TearDown() override
    {
        QDir::setCurrent(m_oldCurrent);
        QSettings().clear();
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
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->form()->actionStopGrab->isEnabled(); }, 10000));
    EXPECT_TRUE(window->form()->actionStartRecording->isEnabled());
    EXPECT_TRUE(window->form()->actionStartRecording->isChecked());
    EXPECT_FALSE(window->form()->actionStopRecording->isEnabled());
    EXPECT_TRUE(window->recordingSettingsWidget()->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->form()->actionZoomOut->isEnabled(); }, 10000));
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
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->form()->actionStopRecording->isEnabled(); }, 10000));
    EXPECT_FALSE(window->recordingSettingsWidget()->isEnabled());
    QTest::qWait(500);
    window->form()->actionStopRecording->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->contextManager()->isDeviceRecording(nullptr); }, 20000));
    closeAndDelete(window);
    QDirIterator files(path(), QDir::Files, QDirIterator::Subdirectories);
    EXPECT_TRUE(files.hasNext()) << "the recording wrote no file";
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

} // namespace
