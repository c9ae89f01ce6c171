// Painting of the current image, mouse tracking in image coordinates and the click-or-drag decision.
#include "RenderWidget.h"

#include <lorvish/StreamBuffer.h>
#include <lorvish/Trace.h>

#include <log4cpp/Category.hh>

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace {
log4cpp::Category& trace()
{
    return *Lorvish::GetLazyTraceStructInstance_().renderWidget;
}
} // namespace

// Painting goes through the normal paint engine (a paint-on-screen widget without an engine cannot
// be drawn with QPainter here); an opaque widget without system background is never erased first.
RenderWidget::RenderWidget(QWidget* parent) : QWidget(parent), m_owner(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    m_dragTimer.setSingleShot(true);
    m_dragTimer.setInterval(500);
    connect(&m_dragTimer, &QTimer::timeout, this, &RenderWidget::mouseOnEnableDragTimerExpired);
}

void RenderWidget::setImage(Lorvish::Image image)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_image = image;
}

void RenderWidget::setZoom(double zoom)
{
    m_zoom = zoom;
}

void RenderWidget::invalidate()
{
    trace().debug("invalidate()");
}

void RenderWidget::mouseOnEnableDragTimerExpired()
{
    m_dragEnabled = true;
}

QSize RenderWidget::sizeHint() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_image.isValid() ? m_image.dimension() : QSize(640, 480);
}

void RenderWidget::getPixelInfo(bool* valid, Nimbo::SPixelData* pixelData, uint32_t* rgb, int* x, int* y)
{
    if (!valid && !pixelData && !x && !y)
        return;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Lorvish::StreamBuffer* buffer = m_image.streamBuffer();
    const bool isValid = buffer && !buffer->isTestBuffer() && m_x >= 0 && m_y >= 0 &&
                         static_cast<unsigned>(m_x) < m_image.width() && static_cast<unsigned>(m_y) < m_image.height();
    if (pixelData) {
        *pixelData = Nimbo::SPixelData();
        if (isValid && buffer->hasImage()) {
            try {
                Nimbo::CNimboImage raw;
                raw.AttachUserBuffer(buffer->rawData(), buffer->size(), buffer->imageFormat(), buffer->imageWidth(),
                                     buffer->imageHeight(), buffer->paddingX());
                *pixelData = raw.GetPixelData(static_cast<uint32_t>(m_x), static_cast<uint32_t>(m_y));
            } catch (...) {
                // A buffer whose layout the SDK refuses has no pixel to show.
                *pixelData = Nimbo::SPixelData();
            }
        }
    }
    if (rgb) {
        *rgb = 0;
        const QImage view = m_image.qImage();
        if (isValid && !view.isNull() && view.valid(m_x, m_y))
            *rgb = view.pixel(m_x, m_y);
    }
    if (valid)
        *valid = isValid;
    if (x)
        *x = m_x;
    if (y)
        *y = m_y;
}

void RenderWidget::enterEvent(QEvent* event)
{
    m_x = -1;
    setMouseTracking(true);
    emit mouseTrackingChanged(true);
    event->ignore();
}

void RenderWidget::leaveEvent(QEvent* event)
{
    setMouseTracking(false);
    emit mouseTrackingChanged(false);
    event->ignore();
}

void RenderWidget::mouseMoveEvent(QMouseEvent* event)
{
    // A zoom that is not a positive number would make the division meaningless; such a zoom maps 1:1.
    const double zoom = (m_zoom > 0.0 && std::isfinite(m_zoom)) ? m_zoom : 1.0;
    m_x = static_cast<int32_t>(std::trunc(event->x() / zoom));
    m_y = static_cast<int32_t>(std::trunc(event->y() / zoom));
    if (m_leftPressed && m_dragEnabled)
        m_dragged = true;
    else
        emit mouseMoved();
    event->ignore();
}

void RenderWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_leftPressed = true;
        m_dragged = false;
        m_dragEnabled = false;
        m_dragTimer.start();
    }
    event->ignore();
}

void RenderWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        if (!m_dragged && m_leftPressed) {
            m_leftPressed = false;
            emit mouseLeftClicked(QPoint(m_x, m_y));
        } else {
            // The drag is over; the next press starts afresh.
            m_leftPressed = false;
        }
        m_dragTimer.stop();
    }
    event->ignore();
}

void RenderWidget::paintEvent(QPaintEvent* /*event*/)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    trace().debug("paintEvent()");
    if (!m_image.isValid()) {
        QPainter painter(this);
        painter.fillRect(rect(), palette().window());
        return;
    }
    render();
}

void RenderWidget::render()
{
    if (!m_image.streamBuffer()) {
        qWarning("Invalid streambuffer passed. Skipping render()");
        return;
    }
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    QPainter painter(this);
    if (m_zoom < 0.99 || m_zoom > 1.01)
        painter.setWindow(0, 0, static_cast<int>(m_image.width()), static_cast<int>(m_image.height()));
    painter.drawImage(0, 0, m_image.qImage());
    painter.end();
    emit imageRendered();
}
