// The image window's drawing surface: paints the current image at the window's zoom and tracks the mouse.
#pragma once

#include <lorvish/Image.h>
#include <nimbo/NimboImage.h>

#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <mutex>

// GUI thread: events, painting, the cursor, zoom and drag flags. The image is taken and read under
// m_mutex (recursive), so it cannot change in the middle of a paint or a pixel query.
class RenderWidget : public QWidget {
    Q_OBJECT
public:
    explicit RenderWidget(QWidget* parent = nullptr);

    // Any out-pointer may be null. valid: a real image buffer and a tracked cursor inside the image.
    void getPixelInfo(bool* valid, Nimbo::SPixelData* pixelData, uint32_t* rgb, int* x, int* y);

    double zoom() const { return m_zoom; }
    QSize sizeHint() const override;

signals:
    void mouseTrackingChanged(bool isTracking);
    void mouseMoved();
    void mouseLeftClicked(QPoint point);
    // After each drawn image; the image window clears its painted flag on it (direct connection).
    void imageRendered();

public slots:
    void setImage(Lorvish::Image image);
    void setZoom(double zoom);
    void invalidate();
    void mouseOnEnableDragTimerExpired();

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void render();

    QWidget* m_owner;
    Lorvish::Image m_image;
    double m_zoom = 1.0;
    mutable std::recursive_mutex m_mutex;
    int32_t m_x = -1;
    int32_t m_y = 0;
    bool m_leftPressed = false;
    bool m_dragged = false;
    bool m_dragEnabled = false;
    // One timer for all presses, so that an earlier press's timer cannot enable dragging for a later one.
    QTimer m_dragTimer;
};
