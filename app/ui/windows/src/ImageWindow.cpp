// The image window: image hand-over from the converter thread, zoom, cursor information, saving.
#include "ImageWindow.h"

#include "RenderWidget.h"

#include <brasko/MessageFunctions.h>
#include <lorvish/StreamBuffer.h>
#include <lorvish/Trace.h>
#include <nimbo/ImagePersistence.h>
#include <nimbo/PixelType.h>
#include <threadcheck/HandOff.h>

#include <GenICam/GenICam.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QMetaType>
#include <QScrollArea>
#include <QScrollBar>
#include <QScrollerProperties>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <log4cpp/Category.hh>

#include <algorithm>
#include <cmath>
#include <mutex>

const uint32_t ImageWindow::ZoomSteps[24] = {1000,   1500,   2000,   3000,   4000,   5000,   6250,    8333,
                                             12500,  16666,  25000,  33333,  50000,  66666,  100000,  200000,
                                             300000, 400000, 500000, 600000, 700000, 800000, 1200000, 1600000};

namespace {

constexpr double SmallestZoom = 0.01;

log4cpp::Category& windowTrace()
{
    return *Lorvish::GetLazyTraceStructInstance_().imageWindow;
}

log4cpp::Category& bufferTrace()
{
    return *Lorvish::GetLazyTraceStructInstance_().imageWindowBuffers;
}

} // namespace

ImageWindow::ImageWindow(QWidget* parent) : QFrame(parent)
{
    qRegisterMetaType<QScrollerProperties::OvershootPolicy>("QScrollerProperties::OvershootPolicy");
    qRegisterMetaType<ERecordingState>("ERecordingState");

    m_scrollArea = new QScrollArea(this);
    m_renderWidget = new RenderWidget();
    m_scrollArea->setWidget(m_renderWidget);
    m_scrollArea->setStyleSheet("background-color: white;");
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->viewport()->installEventFilter(this);

    // The offscreen platform has no pointer to pan with, and there Qt keeps the gesture recogniser
    // alive past the application; the scroller itself still exists so its state is reported alike.
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        QScroller::grabGesture(m_scrollArea->viewport(), QScroller::LeftMouseButtonGesture);
    m_scroller = QScroller::scroller(m_scrollArea->viewport());
    QScrollerProperties properties = m_scroller->scrollerProperties();
    properties.setScrollMetric(QScrollerProperties::HorizontalOvershootPolicy,
                               QVariant::fromValue(QScrollerProperties::OvershootAlwaysOff));
    properties.setScrollMetric(QScrollerProperties::VerticalOvershootPolicy,
                               QVariant::fromValue(QScrollerProperties::OvershootAlwaysOff));
    m_scroller->setScrollerProperties(properties);

    m_rgbTimer = new QTimer(this);
    m_rgbTimer->setInterval(100);

    m_statusBar = new StatusBar(this);
    m_recordingStatusBar = new RecordingStatusBar(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_scrollArea);
    layout->addWidget(m_statusBar);
    layout->addWidget(m_recordingStatusBar);
    m_recordingStatusBar->hide();
    setWindowTitle(tr("Image Viewer"));

    m_cursorGrey = QCursor(QPixmap(":/Kalmuth/Resources/color-picker-cursor-grey.png"), 10, 10);
    m_cursorBlack = QCursor(QPixmap(":/Kalmuth/Resources/color-picker-cursor-black.png"), 10, 10);

    // Queued, and read under the window mutex: setImage() emits this in the converter thread while
    // it keeps writing the record, and on the GUI thread it emits it with the mutex held.
    qRegisterMetaType<StatusBar::StatusInfo*>("StatusBar::StatusInfo*");
    connect(
        this, &ImageWindow::statusInfoUpdated, m_statusBar,
        [this](StatusBar::StatusInfo* info) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_statusBar->update(info);
        },
        Qt::QueuedConnection);
    connect(m_renderWidget, &RenderWidget::mouseTrackingChanged, this, &ImageWindow::mouseTrackingEnabled);
    connect(m_renderWidget, &RenderWidget::mouseMoved, this, &ImageWindow::updateRgbInfo);
    connect(m_renderWidget, &RenderWidget::mouseLeftClicked, this, &ImageWindow::whiteBalanceSelected);
    connect(m_rgbTimer, &QTimer::timeout, this, &ImageWindow::updateRgbInfo);
    connect(m_scroller, &QScroller::stateChanged, this, &ImageWindow::onScrollerStateChanged);
    // The render widget reports each finished paint; the next repaint request may then follow.
    connect(
        m_renderWidget, &RenderWidget::imageRendered, this,
        [this] {
            std::lock_guard<std::mutex> lock(m_paintedMutex);
            m_painted = false;
        },
        Qt::DirectConnection);
}

ImageWindow::~ImageWindow()
{
    // The subwindow around the window goes too. Its close reaches this window's closeEvent, which
    // must neither ask about a recording nor report a close now. While the subwindow itself is being
    // destroyed (it deletes this window as its child) it is no longer a QMdiSubWindow and is left alone.
    shutDown();
    if (auto* subWindow = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        subWindow->close();
        subWindow->deleteLater();
    }
}

DeviceContextWindowFactory ImageWindow::factory()
{
    return [](DeviceContext& context, QMdiArea* mdiArea) -> IDeviceContextWindow* {
        auto* window = new ImageWindow();
        if (mdiArea) {
            // No frame of its own: the image fills the area, with nothing to minimise, restore or close
            // it by (the grab would stop, and the next automatic start would bring it back at once).
            QMdiSubWindow* subWindow = mdiArea->addSubWindow(window, Qt::Tool | Qt::FramelessWindowHint |
                                                                         Qt::WindowTitleHint | Qt::CustomizeWindowHint);
            // Closing the subwindow only hides it: the device context owns the window's lifetime and
            // disposes of it with shutDownAndDispose().
            subWindow->setAttribute(Qt::WA_DeleteOnClose, false);
            subWindow->hide();
        } else {
            window->hide();
        }
        QObject::connect(window, &ImageWindow::closed, &context, &DeviceContext::imageWindowClosed);
        QObject::connect(window, &ImageWindow::whiteBalanceAreaUpdated, &context,
                         &DeviceContext::onWhiteBalanceAreaUpdated);
        QObject::connect(window, &ImageWindow::recordingStatusRequest, &context,
                         &DeviceContext::updateImageWindowRecordingStatus, Qt::QueuedConnection);
        QObject::connect(window, &ImageWindow::imageDimensionChanged, &context, &DeviceContext::cameraStateChanged,
                         Qt::QueuedConnection);
        // The context manager's zoomChanged() lets the main window update its zoom actions.
        if (QObject* manager = context.parent()) {
            if (manager->metaObject()->indexOfSignal("zoomChanged()") >= 0)
                QObject::connect(window, SIGNAL(zoomChanged()), manager, SIGNAL(zoomChanged()));
        }
        return window;
    };
}

namespace {

// The widget that shows and hides as one: the MDI subwindow when there is one.
QWidget* frameOf(ImageWindow* window)
{
    return window->parentWidget() ? window->parentWidget() : window;
}

} // namespace

bool ImageWindow::isWindowHidden() const
{
    const QWidget* frame = parentWidget() ? parentWidget() : this;
    return frame->isHidden();
}

void ImageWindow::showWindow()
{
    // Closing the subwindow closed this widget too; both come back.
    QFrame::setVisible(true);
    frameOf(this)->showMaximized();
}

void ImageWindow::giveFocus()
{
    auto* subWindow = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (subWindow && subWindow->mdiArea())
        subWindow->mdiArea()->setActiveSubWindow(subWindow);
    else
        setFocus();
}

void ImageWindow::closeWindow()
{
    frameOf(this)->hide();
}

void ImageWindow::shutDownAndDispose()
{
    shutDown();
    // Deferred: the caller may be inside one of this window's own signals.
    frameOf(this)->hide();
    deleteLater();
}

void ImageWindow::setRecordingStatus(const RecordingStatusInfo& status)
{
    updateRecordingStatus(status.recordedImages, status.bufferUsed, status.bufferCapacity, status.droppedImages,
                          status.state);
}

void ImageWindow::setDeviceName(const QString& name)
{
    m_deviceName = name;
    setWindowTitle(name);
}

void ImageWindow::setImage(const Lorvish::Image& image)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_shutDown) {
        windowTrace().warn("========== setImage has been called although we were shut-down");
        return;
    }
    const bool dimensionChanged = (!m_image.isValid() && image.isValid()) || m_image.dimension() != image.dimension();
    if (dimensionChanged) {
        emit imageDimensionChanged();
        m_info.sizeChanged = true;
        m_info.zoomChanged = true;
        // The timer and its call are made in this thread and run on the GUI thread.
        threadcheck::post(this, [this] { QTimer::singleShot(0, this, &ImageWindow::updateStatusBar); });
    }
    if (m_recordingShown)
        emit recordingStatusRequest();
    if (m_paused) {
        m_heldImage = image;
        return;
    }
    bufferTrace().debug("setImage()");
    m_image = image;
    if (!m_info.sizeValid || m_info.width != image.width() || m_info.height != image.height()) {
        m_info.sizeValid = true;
        m_info.sizeChanged = true;
        m_info.width = image.width();
        m_info.height = image.height();
        emit statusInfoUpdated(&m_info);
    }
    if (!m_eventPending) {
        m_eventPending = true;
        auto* event = new QEvent(static_cast<QEvent::Type>(RepaintEventType));
        threadcheck::post(this, [&] { QCoreApplication::postEvent(this, event); });
    }
}

void ImageWindow::customEvent(QEvent* event)
{
    // The repaint event comes from the converter thread.
    threadcheck::takeOver(this);
    if (event->type() != static_cast<QEvent::Type>(RepaintEventType)) {
        QFrame::customEvent(event);
        return;
    }
    // The pending flag is cleared together with taking the image, so an image that arrives while
    // this one is shown posts the next event; the painting itself runs outside the lock because
    // setZoom() and the status bar take it again.
    Lorvish::Image image;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        bufferTrace().debug("customEvent()");
        image = m_image;
        m_eventPending = false;
    }
    showImage(image);
}

void ImageWindow::showImage(const Lorvish::Image& image)
{
    m_renderWidget->setImage(image);
    if (image.isValid()) {
        const QSize wanted(static_cast<int>(image.width() * m_zoom), static_cast<int>(image.height() * m_zoom));
        if (m_renderWidget->size() != wanted) {
            setZoom(m_zoom);
            windowTrace().debug("resized to: %d x %d", wanted.width(), wanted.height());
        }
    }
    m_renderWidget->update();
    std::lock_guard<std::mutex> lock(m_paintedMutex);
    m_painted = true;
}

bool ImageWindow::isPainted()
{
    std::lock_guard<std::mutex> lock(m_paintedMutex);
    return m_painted;
}

void ImageWindow::shutDown()
{
    windowTrace().debug("shutDown()");
    std::unique_lock<std::mutex> lock(m_mutex);
    m_image = Lorvish::Image();
    m_heldImage = Lorvish::Image();
    m_shutDown = true;
}

double ImageWindow::largestZoom() const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    unsigned side = std::max(m_image.width(), m_image.height());
    if (side == 0)
        side = 1024;
    return std::min(16.0, static_cast<double>(32767u / side));
}

void ImageWindow::setZoom(double zoom)
{
    const double largest = largestZoom();
    if (zoom >= largest)
        zoom = largest;
    if (zoom <= SmallestZoom)
        zoom = SmallestZoom;
    windowTrace().debug("ImageWindow::setZoom(%f)", zoom);
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_image.isValid())
            m_renderWidget->resize(static_cast<int>(m_image.width() * zoom), static_cast<int>(m_image.height() * zoom));
    }
    adjustScrollBar(m_scrollArea->horizontalScrollBar(), m_zoom, zoom);
    adjustScrollBar(m_scrollArea->verticalScrollBar(), m_zoom, zoom);
    m_zoom = zoom;
    m_renderWidget->setZoom(zoom);
    {
        // setImage() sets the same change flag from the converter thread.
        std::unique_lock<std::mutex> lock(m_mutex);
        m_info.zoom = zoom;
        m_info.zoomChanged = true;
    }
    updateStatusBar();
    emit zoomChanged();
}

void ImageWindow::adjustScrollBar(QScrollBar* scrollBar, double oldZoom, double newZoom)
{
    windowTrace().debug("ImageWidow::adjustScrollBar: old value: %d, pageStep: %d", scrollBar->value(),
                        scrollBar->pageStep());
    const double factor = newZoom / oldZoom;
    const double value = (scrollBar->value() + scrollBar->pageStep() * 0.5 * (1.0 - oldZoom / newZoom)) * factor;
    scrollBar->setValue(static_cast<int>(value));
    windowTrace().debug("ImageWidow::adjustScrollBar: new value: %d, pageStep: %d", scrollBar->value(),
                        scrollBar->pageStep());
}

double ImageWindow::nextZoomIn() const
{
    const uint32_t current = zoomUnits(m_zoom);
    for (int i = 0; i < 23; ++i) {
        if (ZoomSteps[i] > current)
            return ZoomSteps[i] / 100000.0;
    }
    return ZoomSteps[23] / 100000.0;
}

double ImageWindow::nextZoomOut() const
{
    const uint32_t current = zoomUnits(m_zoom);
    for (int i = 23; i >= 1; --i) {
        if (ZoomSteps[i] < current)
            return ZoomSteps[i] / 100000.0;
    }
    return ZoomSteps[0] / 100000.0;
}

void ImageWindow::zoomIn()
{
    setZoom(nextZoomIn());
}

void ImageWindow::zoomOut()
{
    setZoom(nextZoomOut());
}

void ImageWindow::zoom100()
{
    windowTrace().debug("zoom100()");
    setZoom(1.0);
}

void ImageWindow::zoomToFit()
{
    QSize imageSize;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_image.isValid())
            return;
        imageSize = m_image.dimension();
    }
    windowTrace().debug("zoomToFit()");
    const QSize view = m_scrollArea->maximumViewportSize();
    setZoom(std::min(static_cast<double>(view.width()) / imageSize.width(),
                     static_cast<double>(view.height()) / imageSize.height()));
}

void ImageWindow::scale(double factor)
{
    setZoom(factor * m_zoom);
}

bool ImageWindow::hasImage() const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_image.isValid();
}

bool ImageWindow::canZoom100() const
{
    return hasImage();
}

bool ImageWindow::canZoomToFit() const
{
    return hasImage();
}

bool ImageWindow::canZoomIn() const
{
    return hasImage() && zoomUnits(m_zoom) < zoomUnits(largestZoom());
}

bool ImageWindow::canZoomOut() const
{
    return hasImage() && zoomUnits(m_zoom) > ZoomSteps[0];
}

bool ImageWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_scrollArea->viewport() && event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        const int steps = (wheel->angleDelta().y() / 8) / 15;
        for (int i = 0; i < std::abs(steps); ++i) {
            if (!hasImage())
                break;
            if (steps > 0) {
                if (zoomUnits(m_zoom) < zoomUnits(largestZoom()))
                    zoomIn();
            } else if (zoomUnits(m_zoom) > ZoomSteps[0]) {
                zoomOut();
            }
        }
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

const QCursor& ImageWindow::chooseCursor(uint32_t rgb)
{
    const double red = (rgb >> 16) & 0xFF;
    const double green = (rgb >> 8) & 0xFF;
    const double blue = rgb & 0xFF;
    m_luminance.push_back(0.3 * red + 0.59 * green + 0.11 * blue);
    if (m_luminance.size() > 5)
        m_luminance.pop_front();
    int64_t sum = 0;
    for (double value : m_luminance)
        sum = static_cast<int64_t>(sum + value);
    return sum > 224 ? m_cursorBlack : m_cursorGrey;
}

void ImageWindow::refreshCursorInfo(bool dragCursor)
{
    bool valid = false;
    Nimbo::SPixelData pixel;
    uint32_t rgb = 0;
    int x = 0;
    int y = 0;
    m_renderWidget->getPixelInfo(&valid, &pixel, &rgb, &x, &y);
    if (m_pickerEnabled && !m_dragging)
        m_renderWidget->setCursor(chooseCursor(rgb));
    else if (dragCursor)
        m_renderWidget->setCursor(m_dragging ? Qt::OpenHandCursor : Qt::ArrowCursor);
    m_info.cursorValid = valid;
    m_info.cursorX = x;
    m_info.cursorY = y;
    m_info.pixelData = pixel;
    m_info.pixelValue = rgb;
    updateStatusBar();
}

void ImageWindow::updateRgbInfo()
{
    refreshCursorInfo(false);
}

void ImageWindow::mouseTrackingEnabled(bool enable)
{
    if (enable) {
        refreshCursorInfo(true);
        m_rgbTimer->start(100);
        return;
    }
    m_rgbTimer->stop();
    if (m_info.cursorValid) {
        m_info.cursorValid = false;
        updateStatusBar();
    }
}

void ImageWindow::onScrollerStateChanged(QScroller::State state)
{
    m_dragging = state == QScroller::Dragging;
    mouseTrackingEnabled(true);
}

void ImageWindow::setWhiteBalancePickerEnabled(bool enabled)
{
    m_pickerEnabled = enabled;
    if (!enabled)
        m_renderWidget->setCursor(Qt::ArrowCursor);
}

void ImageWindow::whiteBalanceSelected(QPoint point)
{
    if (!m_pickerEnabled || m_dragging)
        return;
    QRect rect(point.x() - 5, point.y() - 5, 11, 11);
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_image.isValid()) {
        const int width = static_cast<int>(m_image.width());
        const int height = static_cast<int>(m_image.height());
        if (rect.left() < 0)
            rect.moveLeft(0);
        if (rect.x() + rect.width() > width)
            rect.moveLeft(width - rect.width());
        if (rect.top() < 0)
            rect.moveTop(0);
        if (rect.y() + rect.height() > height)
            rect.moveTop(height - rect.height());
        // An image narrower or lower than the area: moved to the far edge, the area would begin before
        // the image; it covers that side of the image instead.
        rect = rect.intersected(QRect(0, 0, width, height));
    } else {
        rect.moveTo(0, 0);
    }
    lock.unlock();
    emit whiteBalanceAreaUpdated(rect);
}

void ImageWindow::pauseUpdates()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_paused = true;
    m_heldImage = Lorvish::Image();
}

void ImageWindow::unpauseUpdates()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_paused = false;
    if (!m_heldImage.isValid())
        return;
    Lorvish::Image held = m_heldImage;
    m_heldImage = Lorvish::Image();
    lock.unlock();
    setImage(held);
}

void ImageWindow::pauseUpdates(bool pause)
{
    if (pause)
        pauseUpdates();
    else
        unpauseUpdates();
}

void ImageWindow::setPerfData(double framesPerSecond, uint64_t bytesPerSecond, bool hasBeenReset)
{
    m_info.framesPerSecond = framesPerSecond;
    m_info.bytesPerSecond = bytesPerSecond;
    m_info.hasBeenReset = hasBeenReset;
    m_info.rateValid = true;
    updateStatusBar();
}

void ImageWindow::clearPerfData()
{
    if (m_info.rateValid)
        m_info.rateValid = false;
    updateStatusBar();
}

void ImageWindow::updateImageCounter(uint32_t imageCounter, uint32_t imageErrorCounter)
{
    m_info.imageCounter = imageCounter;
    m_info.imageErrorCounter = imageErrorCounter;
    updateStatusBar();
}

void ImageWindow::updateStatusBar()
{
    // Also scheduled by setImage, in the converter thread.
    threadcheck::takeOver(this);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_statusBar->update(&m_info);
}

void ImageWindow::recordingStateChanged(ERecordingState state)
{
    bool recordingShown = true;
    bool statusShown = false;
    switch (state) {
    case RecordingInitializing:
    case RecordingStopped:
        recordingShown = false;
        statusShown = true;
        break;
    case RecordingActive:
    case RecordingPaused:
    case RecordingDraining: break;
    case RecordingFailed: statusShown = true; break;
    }
    {
        // setImage reads it on the converter thread.
        std::unique_lock<std::mutex> lock(m_mutex);
        m_recordingShown = recordingShown;
    }
    m_recordingStatusBar->setVisible(recordingShown);
    m_statusBar->setVisible(statusShown);
}

void ImageWindow::updateRecordingStatus(uint64_t recorded, uint64_t used, uint64_t capacity, uint64_t dropped,
                                        ERecordingState state)
{
    m_recordingInfo.recordedImages = recorded;
    m_recordingInfo.bufferUsed = used;
    m_recordingInfo.bufferCapacity = capacity;
    m_recordingInfo.droppedImages = dropped;
    m_recordingInfo.state = state;
    m_recordingStatusBar->update(&m_recordingInfo);
}

QPaintEngine* ImageWindow::paintEngine() const
{
    return nullptr;
}

bool ImageWindow::saveImage(const QString& fileName)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_image.isValid()) {
        showWarningMessage("Warning", "Save Image", "Failed to save image. The current image is not valid.", nullptr);
        return false;
    }
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    try {
        if (suffix == "bmp") {
            if (!m_image.qImage().save(fileName, "BMP")) {
                showWarningMessage("Warning", "Save Image", "Failed to save image " + fileName, nullptr);
                return false;
            }
            return true;
        }
        Nimbo::EImageFileFormat format;
        if (suffix.contains("tif"))
            format = Nimbo::ImageFileFormat_Tiff;
        else if (suffix.contains("png"))
            format = Nimbo::ImageFileFormat_Png;
        else if (suffix.contains("jpg"))
            format = Nimbo::ImageFileFormat_Jpeg;
        else {
            showWarningMessage("Warning", "Save Image", "Unsupported file format.", nullptr);
            return false;
        }
        const Lorvish::StreamBuffer* buffer = m_image.streamBuffer();
        if (!buffer) {
            showWarningMessage("Warning", "Save Image", "Failed to save image. The current image is not valid.",
                               nullptr);
            return false;
        }
        const size_t size = Nimbo::ComputeBufferSize(buffer->imageFormat(), buffer->imageWidth(), buffer->imageHeight(),
                                                     buffer->paddingX());
        Nimbo::CImagePersistence::Save(format, GenICam::gcstring(fileName.toUtf8().constData()), buffer->rawData(),
                                       size, buffer->imageFormat(), buffer->imageWidth(), buffer->imageHeight(),
                                       buffer->paddingX(), Nimbo::ImageOrientation_TopDown);
        return true;
    } catch (...) {
        reportCaughtException("ImageWindow::saveImage", "Failed to save image");
    }
    return false;
}

void ImageWindow::closeEvent(QCloseEvent* event)
{
    {
        // Shut down, the window goes with its camera: the recording it showed has ended (or is being
        // written out by the engine), and there is no context left to tell.
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_shutDown) {
            event->accept();
            return;
        }
    }
    if (m_recordingShown) {
        const auto answer = QMessageBox::warning(
            this, tr("Recording active"),
            tr("Camera is still recording or writing images remaining in buffer.\nDo you want to stop the recording?"),
            QMessageBox::Yes | QMessageBox::No);
        if (answer == QMessageBox::No) {
            event->ignore();
            return;
        }
    }
    event->accept();
    emit closed();
}
