// The live view of one opened camera: render widget in a scroll area, zoom steps, status bars,
// white-balance picker and saving of the shown image.
#pragma once

#include "RecordingStatusBar.h"
#include "StatusBar.h"

#include <DeviceContext.h>
#include <DeviceContextWindow.h>
#include <RecordingState.h>
#include <lorvish/Image.h>

#include <QCursor>
#include <QFrame>
#include <QRect>
#include <QScroller>
#include <QString>

#include <cstdint>
#include <deque>
#include <mutex>

class QMdiArea;
class QScrollArea;
class QScrollBar;
class QTimer;
class RenderWidget;

// Threads: setImage() runs in the display pipeline's converter thread (any thread may call it); all
// else runs on the GUI thread. m_mutex guards m_image, m_heldImage, m_shutDown, m_paused and
// m_eventPending, and m_recordingShown, which the GUI thread switches and setImage reads. Both
// mutexes are standard ones, which the thread checker sees (it does not see inside Qt's).
// m_paintedMutex guards m_painted, which the render widget's paint clears. Every other member belongs
// to the GUI thread; m_info is only written by the GUI thread except for the size and change fields
// that setImage writes under m_mutex before emitting statusInfoUpdated, so the zoom and change fields
// are written under m_mutex on the GUI thread too.
class ImageWindow : public QFrame, public IDeviceContextWindow {
    Q_OBJECT
public:
    // The custom event that carries one repaint to the GUI thread.
    static constexpr int RepaintEventType = 10000;
    // The zoom steps in units of 1/100,000.
    static const uint32_t ZoomSteps[24];

    explicit ImageWindow(QWidget* parent = nullptr);
    ~ImageWindow() override;

    // The factory the context manager uses: a window in its own subwindow of the MDI area, wired to
    // the device context that asked for it.
    static DeviceContextWindowFactory factory();

    bool hasImage() const override;
    bool canZoom100() const override;
    bool canZoomToFit() const override;
    bool canZoomIn() const override;
    bool canZoomOut() const override;
    void pauseUpdates();
    void unpauseUpdates();
    void pauseUpdates(bool pause) override;
    void setWhiteBalancePickerEnabled(bool enabled) override;
    void updateRecordingStatus(uint64_t recorded, uint64_t used, uint64_t capacity, uint64_t dropped,
                               ERecordingState state);

    // Engine-side view of the window.
    bool isWindowHidden() const override;
    void showWindow() override;
    void giveFocus() override;
    void closeWindow() override;
    void shutDownAndDispose() override;
    void setRecordingStatus(const RecordingStatusInfo& status) override;

    double zoom() const { return m_zoom; }
    double largestZoom() const;
    bool isPainted();
    RenderWidget* renderWidget() const { return m_renderWidget; }
    QScrollArea* scrollArea() const { return m_scrollArea; }
    StatusBar* statusBar() const { return m_statusBar; }
    RecordingStatusBar* recordingStatusBar() const { return m_recordingStatusBar; }
    const StatusBar::StatusInfo& statusInfo() const { return m_info; }
    const QCursor& pickerCursor(bool black) const { return black ? m_cursorBlack : m_cursorGrey; }

signals:
    void zoomChanged();
    void closed();
    void recordingStatusRequest();
    void imageDimensionChanged();
    void statusInfoUpdated(StatusBar::StatusInfo* info);
    void whiteBalanceAreaUpdated(QRect rect);

public slots:
    void setDeviceName(const QString& name) override;
    void setImage(const Lorvish::Image& image) override;
    void shutDown();
    void zoomIn() override;
    void zoomOut() override;
    void zoomToFit() override;
    void zoom100() override;
    void scale(double factor);
    void setZoom(double zoom);
    bool saveImage(const QString& fileName) override;
    void setPerfData(double framesPerSecond, uint64_t bytesPerSecond, bool hasBeenReset) override;
    void clearPerfData() override;
    void updateStatusBar();
    void updateImageCounter(uint32_t imageCounter, uint32_t imageErrorCounter) override;
    void mouseTrackingEnabled(bool enable);
    void updateRgbInfo();
    void recordingStateChanged(ERecordingState state) override;
    QPaintEngine* paintEngine() const override;
    void whiteBalanceSelected(QPoint point);
    void onScrollerStateChanged(QScroller::State state);

protected:
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showImage(const Lorvish::Image& image);
    void adjustScrollBar(QScrollBar* scrollBar, double oldZoom, double newZoom);
    // Picks the picker cursor from the luminance under the mouse.
    const QCursor& chooseCursor(uint32_t rgb);
    void refreshCursorInfo(bool dragCursor);
    uint32_t zoomUnits(double zoom) const { return static_cast<uint32_t>(zoom * 100000.0); }
    double nextZoomIn() const;
    double nextZoomOut() const;

    QScrollArea* m_scrollArea = nullptr;
    RenderWidget* m_renderWidget = nullptr;
    QScroller* m_scroller = nullptr;
    Lorvish::Image m_image;
    mutable std::mutex m_mutex;
    bool m_shutDown = false;
    Lorvish::Image m_heldImage;
    bool m_paused = false;
    bool m_eventPending = false;
    double m_zoom = 1.0;
    QString m_deviceName;
    QTimer* m_rgbTimer = nullptr;
    bool m_painted = false;
    std::mutex m_paintedMutex;
    StatusBar::StatusInfo m_info;
    StatusBar* m_statusBar = nullptr;
    RecordingStatusBar* m_recordingStatusBar = nullptr;
    RecordingStatusBar::StatusInfo m_recordingInfo;
    bool m_recordingShown = false;
    std::deque<double> m_luminance;
    QCursor m_cursorGrey;
    QCursor m_cursorBlack;
    bool m_pickerEnabled = false;
    bool m_dragging = false;
};
