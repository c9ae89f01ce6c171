// Image window: repaint hand-over, zoom steps and limits, wheel, pause, white-balance area, saving,
// recording bars and the close question.
#include "ImageWindow.h"
#include "RenderWidget.h"
#include "WindowTestSupport.h"

#include <brasko/AsyncErrorQueue.h>
#include <testsupport/LingeringThread.h>
#include <testsupport/TempDir.h>
#include <testsupport/Wait.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

// Q_INIT_RESOURCE must be used at global scope.
static void initKalmuthResources()
{
    Q_INIT_RESOURCE(Kalmuth);
}

void windowtest::initResources()
{
    static bool done = false;
    if (!done) {
        initKalmuthResources();
        done = true;
    }
}

namespace {

using windowtest::TestImage;

// Counts the repaint events the window receives.
class CountingWindow : public ImageWindow {
public:
    int repaints = 0;

protected:
    void customEvent(QEvent* event) override
    {
        if (event->type() == static_cast<QEvent::Type>(RepaintEventType))
            ++repaints;
        ImageWindow::customEvent(event);
    }
};

class ImageWindowTest : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        testsupport::TempDirTest::SetUp();
        windowtest::initResources();
    }
    // The error queue's deliveries so far, after letting queued ones through.
    QStringList deliveredErrors(QSignalSpy& spy)
    {
        QCoreApplication::processEvents();
        QStringList texts;
        for (const auto& args : spy)
            texts << args.at(1).toString();
        return texts;
    }
};

TEST_F(ImageWindowTest, BurstOfImagesPaintsOnceWithTheNewest)
{
    TestImage first(8, 6), second(9, 6), third(10, 7);
    CountingWindow window;
    window.setImage(first.image);
    window.setImage(second.image);
    window.setImage(third.image);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.repaints, 1);
    // The one repaint shows the newest image.
    EXPECT_EQ(window.renderWidget()->size(), QSize(10, 7));
    EXPECT_EQ(window.statusInfo().width, 10u);
    EXPECT_EQ(window.statusInfo().height, 7u);
    EXPECT_EQ(window.statusBar()->sizeLabel()->text().trimmed(), "10 x 7");
}

TEST_F(ImageWindowTest, ImagesAfterShutDownAreRefused)
{
    TestImage image(4, 4);
    ImageWindow window;
    window.shutDown();
    window.setImage(image.image);
    EXPECT_FALSE(window.hasImage());
}

// The converter thread hands images over while the GUI thread asks about them, as the action updates
// and the zoom commands do several times a second; what the window holds is handed over under its lock
// (the thread checker sees the race otherwise).
TEST_F(ImageWindowTest, ImagesFromTheConverterThreadWhileTheGuiAsks)
{
    TestImage small(64, 48), large(80, 60);
    ImageWindow window;
    window.show();
    std::atomic<bool> done{false};
    std::thread converter([&] {
        for (int i = 0; i < 500; ++i)
            window.setImage(i % 2 ? small.image : large.image);
        done = true;
    });
    int answers = 0;
    while (!done || answers == 0) {
        answers += window.hasImage() + window.canZoomIn() + window.canZoomOut() + window.canZoomToFit();
        window.zoomIn();
        window.zoomOut();
        QCoreApplication::processEvents();
    }
    converter.join();
    EXPECT_GT(answers, 0);
    window.shutDown();
}

// Each new size the converter thread hands over reaches the status bar through the GUI thread's
// queue (the status record and a refresh of the bar), while the converter thread lives on as it does
// in the program; the GUI thread only handles events meanwhile, so nothing but the window's own
// hand-offs carries what the converter thread made for the GUI thread (the thread checker sees it).
TEST_F(ImageWindowTest, NewSizesFromTheConverterThreadReachTheStatusBar)
{
    std::vector<std::unique_ptr<TestImage>> images;
    for (unsigned width = 40; width < 80; ++width)
        images.push_back(std::make_unique<TestImage>(width, 30));
    ImageWindow window;
    window.show();
    testsupport::LingeringThread converter([&] {
        for (const auto& image : images) {
            window.setImage(image->image);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    EXPECT_TRUE(testsupport::waitFor([&] { return window.statusBar()->sizeLabel()->text() == " 79 x 30 "; }))
        << window.statusBar()->sizeLabel()->text().toStdString();
    window.shutDown();
}

// The GUI thread switches the recording bars while the converter thread hands images over; each image
// asks for the recording figures while the recording is shown, so the converter reads what the GUI
// thread switches, under the window's lock.
TEST_F(ImageWindowTest, RecordingStatesSwitchWhileTheConverterHandsImagesOver)
{
    TestImage image(16, 12);
    ImageWindow window;
    window.show();
    std::atomic<int> requests{0};
    QObject::connect(
        &window, &ImageWindow::recordingStatusRequest, &window, [&] { ++requests; }, Qt::DirectConnection);
    std::atomic<bool> stop{false};
    std::thread converter([&] {
        while (!stop)
            window.setImage(image.image);
    });
    const ERecordingState states[] = {RecordingActive, RecordingStopped, RecordingPaused, RecordingInitializing};
    for (int i = 0; i < 200; ++i) {
        window.recordingStateChanged(states[i % 4]);
        QCoreApplication::processEvents();
    }
    window.recordingStateChanged(RecordingActive);
    const int before = requests;
    EXPECT_TRUE(QTest::qWaitFor([&] { return requests > before; }, 60000));
    stop = true;
    converter.join();
    window.shutDown();
}

struct ZoomCase {
    const char* name;
    unsigned width;
    double start;
    int direction; // +1 zoom in, -1 zoom out
    double expected;
    bool canZoomInAfter;
    bool canZoomOutAfter;
};

// Names the case in test lists instead of dumping its bytes.
void PrintTo(const ZoomCase& c, std::ostream* os)
{
    *os << c.name;
}

class ImageWindowZoomTest : public ImageWindowTest, public ::testing::WithParamInterface<ZoomCase> {};

TEST_P(ImageWindowZoomTest, StepsAndLimits)
{
    const ZoomCase& c = GetParam();
    TestImage image(c.width, 2);
    ImageWindow window;
    window.setImage(image.image);
    QCoreApplication::processEvents();
    window.setZoom(c.start);
    if (c.direction > 0)
        window.zoomIn();
    else
        window.zoomOut();
    EXPECT_DOUBLE_EQ(window.zoom(), c.expected);
    EXPECT_EQ(window.canZoomIn(), c.canZoomInAfter);
    EXPECT_EQ(window.canZoomOut(), c.canZoomOutAfter);
    EXPECT_EQ(window.renderWidget()->width(), static_cast<int>(c.width * c.expected));
}

INSTANTIATE_TEST_SUITE_P(Table, ImageWindowZoomTest,
                         ::testing::Values(ZoomCase{"InFrom14To16", 100, 14.0, +1, 16.0, false, true},
                                           ZoomCase{"WideImageClampedTo10", 3000, 8.0, +1, 10.0, false, true},
                                           ZoomCase{"InFromOneToTwo", 100, 1.0, +1, 2.0, true, true},
                                           ZoomCase{"InFromThirdStep", 100, 0.2, +1, 0.25, true, true},
                                           ZoomCase{"OutFrom0012To001", 100, 0.012, -1, 0.01, true, false},
                                           ZoomCase{"OutAtSmallestStays", 100, 0.01, -1, 0.01, true, false},
                                           ZoomCase{"OutFromOneToTwoThirds", 100, 1.0, -1, 0.66666, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageWindowTest, WithoutImageNothingCanZoom)
{
    ImageWindow window;
    EXPECT_FALSE(window.canZoomIn());
    EXPECT_FALSE(window.canZoomOut());
    EXPECT_FALSE(window.canZoomToFit());
    EXPECT_FALSE(window.canZoom100());
    QSignalSpy zoomed(&window, &ImageWindow::zoomChanged);
    window.zoomToFit();
    EXPECT_EQ(zoomed.count(), 0);
}

TEST_F(ImageWindowTest, WheelStepsAreWholeNotches)
{
    struct {
        int delta;
        double expected;
    } cases[] = {{240, 3.0}, {100, 1.0}, {-120, 0.66666}, {-360, 0.33333}};
    for (const auto& c : cases) {
        TestImage image(10, 10);
        ImageWindow window;
        window.setImage(image.image);
        QCoreApplication::processEvents();
        QWidget* viewport = window.scrollArea()->viewport();
        QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, c.delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(viewport, &wheel);
        EXPECT_DOUBLE_EQ(window.zoom(), c.expected) << c.delta;
    }
}

TEST_F(ImageWindowTest, PausedWindowHoldsTheNewestAndShowsItOnUnpause)
{
    TestImage shown(4, 4), held1(5, 5), held2(6, 6);
    CountingWindow window;
    window.setImage(shown.image);
    QCoreApplication::processEvents();
    window.pauseUpdates();
    window.setImage(held1.image);
    window.setImage(held2.image);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.repaints, 1);
    EXPECT_EQ(window.renderWidget()->size(), QSize(4, 4)) << "the screen keeps the image shown before the pause";
    window.unpauseUpdates();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.repaints, 2);
    EXPECT_EQ(window.renderWidget()->size(), QSize(6, 6));
}

TEST_F(ImageWindowTest, WhiteBalanceAreaStaysInsideTheImage)
{
    struct {
        QPoint click;
        QRect expected;
    } cases[] = {{{50, 40}, QRect(45, 35, 11, 11)}, {{1, 2}, QRect(0, 0, 11, 11)}, {{99, 79}, QRect(89, 69, 11, 11)}};
    TestImage image(100, 80);
    ImageWindow window;
    window.setImage(image.image);
    window.setWhiteBalancePickerEnabled(true);
    QSignalSpy areas(&window, &ImageWindow::whiteBalanceAreaUpdated);
    for (const auto& c : cases) {
        window.whiteBalanceSelected(c.click);
        ASSERT_FALSE(areas.isEmpty());
        EXPECT_EQ(areas.takeLast().at(0).toRect(), c.expected) << c.click.x() << "," << c.click.y();
    }
    window.setWhiteBalancePickerEnabled(false);
    window.whiteBalanceSelected(QPoint(50, 40));
    EXPECT_TRUE(areas.isEmpty()) << "a disabled picker ignores clicks";
}

// An image narrower or lower than the area: the area covers that side of the image and no more.
TEST_F(ImageWindowTest, WhiteBalanceAreaOfASmallImageIsTheImageSide)
{
    struct {
        QSize image;
        QPoint click;
        QRect expected;
    } cases[] = {{{5, 80}, {2, 40}, QRect(0, 35, 5, 11)},  {{5, 80}, {4, 79}, QRect(0, 69, 5, 11)},
                 {{100, 4}, {50, 1}, QRect(45, 0, 11, 4)}, {{100, 4}, {0, 3}, QRect(0, 0, 11, 4)},
                 {{3, 2}, {1, 1}, QRect(0, 0, 3, 2)},      {{11, 11}, {10, 0}, QRect(0, 0, 11, 11)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.image.width() << "x" << c.image.height() << " at " << c.click.x() << ","
                                        << c.click.y());
        TestImage image(c.image.width(), c.image.height());
        ImageWindow window;
        window.setImage(image.image);
        window.setWhiteBalancePickerEnabled(true);
        QSignalSpy areas(&window, &ImageWindow::whiteBalanceAreaUpdated);
        window.whiteBalanceSelected(c.click);
        ASSERT_EQ(areas.count(), 1);
        EXPECT_EQ(areas.at(0).at(0).toRect(), c.expected);
    }
}

TEST_F(ImageWindowTest, SavesBySuffix)
{
    TestImage image(16, 8);
    ImageWindow window;
    window.setImage(image.image);
    QSignalSpy errors(GetTheGlobalAsyncErrorQueue(), &AsyncErrorQueue::displayError);

    EXPECT_TRUE(window.saveImage(filePath("a.TIF")));
    EXPECT_TRUE(window.saveImage(filePath("b.bmp")));
    EXPECT_TRUE(window.saveImage(filePath("c.png")));
    EXPECT_TRUE(window.saveImage(filePath("d.jpg")));
    EXPECT_TRUE(deliveredErrors(errors).isEmpty());
    QFile tif(filePath("a.TIF"));
    ASSERT_TRUE(tif.open(QFile::ReadOnly));
    const QByteArray magic = tif.read(2);
    EXPECT_TRUE(magic == "II" || magic == "MM");

    EXPECT_FALSE(window.saveImage(filePath("e.jpeg")));
    EXPECT_FALSE(QFile::exists(filePath("e.jpeg")));
    EXPECT_TRUE(deliveredErrors(errors).contains("Unsupported file format."));
}

TEST_F(ImageWindowTest, SavingWithoutImageWritesNothing)
{
    ImageWindow window;
    QSignalSpy errors(GetTheGlobalAsyncErrorQueue(), &AsyncErrorQueue::displayError);
    EXPECT_FALSE(window.saveImage(filePath("x.bmp")));
    EXPECT_FALSE(QFile::exists(filePath("x.bmp")));
    EXPECT_TRUE(deliveredErrors(errors).contains("Failed to save image. The current image is not valid."));
}

TEST_F(ImageWindowTest, RecordingStatesSwitchTheBars)
{
    struct {
        ERecordingState state;
        bool statusBar;
        bool recordingBar;
    } cases[] = {{RecordingActive, false, true},
                 {RecordingStopped, true, false},
                 {RecordingDraining, false, true},
                 {RecordingFailed, true, true},
                 {RecordingInitializing, true, false}};
    ImageWindow window;
    window.show();
    for (const auto& c : cases) {
        window.recordingStateChanged(c.state);
        EXPECT_EQ(window.statusBar()->isVisible(), c.statusBar) << c.state;
        EXPECT_EQ(window.recordingStatusBar()->isVisible(), c.recordingBar) << c.state;
    }
}

TEST_F(ImageWindowTest, ClosingDuringRecordingAsksAndNoKeepsTheWindow)
{
    ImageWindow window;
    window.show();
    QSignalSpy closed(&window, &ImageWindow::closed);
    window.recordingStateChanged(RecordingDraining);
    auto answered = windowtest::answerNextMessageBox(QMessageBox::No);
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(*answered);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(closed.count(), 0);

    answered = windowtest::answerNextMessageBox(QMessageBox::Yes);
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(*answered);
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(ImageWindowTest, ClosingWithoutRecordingDoesNotAsk)
{
    ImageWindow window;
    window.show();
    QSignalSpy closed(&window, &ImageWindow::closed);
    EXPECT_TRUE(window.close());
    EXPECT_EQ(closed.count(), 1);
}

// A window that has been shut down is on its way out with its camera: a close, whether the user's or
// the one its subwindow sends while the window is being deleted, neither asks about the recording it
// showed nor reports a close to a camera already gone.
TEST_F(ImageWindowTest, AShutDownWindowNeitherAsksNorReportsAClose)
{
    windowtest::ModalBoxGuard boxes;
    {
        ImageWindow window;
        window.show();
        QSignalSpy closed(&window, &ImageWindow::closed);
        window.recordingStateChanged(RecordingActive);
        window.shutDown();
        EXPECT_TRUE(window.close());
        EXPECT_EQ(closed.count(), 0);
    }
    for (ERecordingState state : {RecordingActive, RecordingDraining}) {
        SCOPED_TRACE(state);
        QMdiArea area;
        area.show();
        DeviceContext context(&area, nullptr);
        auto* window = static_cast<ImageWindow*>(ImageWindow::factory()(context, &area));
        window->showWindow();
        window->recordingStateChanged(state);
        QSignalSpy closed(window, &ImageWindow::closed);
        QSignalSpy gone(window, &QObject::destroyed);
        window->shutDownAndDispose();
        for (int i = 0; i < 3; ++i)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_EQ(gone.count(), 1);
        EXPECT_EQ(closed.count(), 0);
        EXPECT_TRUE(area.subWindowList().isEmpty());
    }
    EXPECT_TRUE(boxes.seen().isEmpty()) << boxes.seen().join(" | ").toStdString();
}

// The image fills its MDI area: the subwindow has no title bar, buttons or border of its own (so there
// is nothing to minimise or close it with), is not deleted when closed, and shows maximized.
TEST_F(ImageWindowTest, FactoryWindowHasNoFrameOfItsOwn)
{
    QMdiArea area;
    area.resize(1200, 800);
    area.show();
    DeviceContext context(&area, nullptr);
    IDeviceContextWindow* window = ImageWindow::factory()(context, &area);
    ASSERT_EQ(area.subWindowList().size(), 1);
    QMdiSubWindow* sub = area.subWindowList().first();
    // The MDI area keeps only what a subwindow can use of the flags it is given.
    EXPECT_TRUE(sub->windowFlags().testFlag(Qt::FramelessWindowHint));
    for (Qt::WindowType flag : {Qt::WindowTitleHint, Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint,
                                Qt::WindowCloseButtonHint, Qt::WindowSystemMenuHint}) {
        EXPECT_FALSE(sub->windowFlags().testFlag(flag)) << std::hex << flag;
    }
    EXPECT_FALSE(sub->testAttribute(Qt::WA_DeleteOnClose));
    window->showWindow();
    EXPECT_TRUE(sub->isMaximized());
    EXPECT_EQ(sub->geometry(), area.viewport()->rect());
    EXPECT_EQ(sub->widget()->geometry(), sub->rect()) << "the subwindow draws a frame around the image";
    window->shutDownAndDispose();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(ImageWindowTest, FactoryWindowLivesInItsSubwindowAndTakesItAlong)
{
    QMdiArea area;
    DeviceContext context(&area, nullptr);
    IDeviceContextWindow* window = ImageWindow::factory()(context, &area);
    ASSERT_EQ(area.subWindowList().size(), 1);
    area.show();
    EXPECT_TRUE(window->isWindowHidden());
    window->showWindow();
    EXPECT_FALSE(window->isWindowHidden());
    EXPECT_TRUE(area.subWindowList().first()->isMaximized());
    // Closing the subwindow as the user does only hides it; the object stays for the next grab.
    area.subWindowList().first()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(area.subWindowList().size(), 1);
    EXPECT_TRUE(window->isWindowHidden());
    window->showWindow();
    EXPECT_FALSE(window->isWindowHidden());

    window->shutDownAndDispose();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(area.subWindowList().isEmpty());
}

TEST_F(ImageWindowTest, PickerCursorsComeFromTheResources)
{
    ImageWindow window;
    for (bool black : {true, false}) {
        EXPECT_FALSE(window.pickerCursor(black).pixmap().isNull()) << black;
        EXPECT_EQ(window.pickerCursor(black).hotSpot(), QPoint(10, 10)) << black;
    }
}

} // namespace
