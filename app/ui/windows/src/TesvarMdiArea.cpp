// The MDI area's hint texts and its painting of logo and hint beneath the subwindows.
#include "TesvarMdiArea.h"

#include <QPainter>

CTesvarMdiArea::CTesvarMdiArea(QWidget* parent)
    : QMdiArea(parent), m_noCameraHint(tr("No camera found. Connect a camera to your computer to start recording.")),
      m_inUseHint(tr("The camera is in use by another application. Close the other application to start recording.")),
      m_disconnectedHint(
          tr("The camera has been disconnected. Reconnect the camera to continue using the recording software.")),
      m_logo(":/Kalmuth/Resources/logo.png")
{
}

void CTesvarMdiArea::onOpenDevice(Nimbo::INimboDevice*)
{
    m_showHint = false;
    viewport()->repaint();
}

void CTesvarMdiArea::onSurpriseRemoved(QString, QString)
{
    m_hint = m_disconnectedHint;
    m_showHint = true;
    viewport()->repaint();
}

void CTesvarMdiArea::onDeviceInUse(const Nimbo::CDeviceInfo*)
{
    m_hint = m_inUseHint;
    m_showHint = true;
    viewport()->repaint();
}

void CTesvarMdiArea::onNoDevicesFound()
{
    m_hint = m_noCameraHint;
    m_showHint = true;
    viewport()->repaint();
}

QRect CTesvarMdiArea::textRect() const
{
    if (!m_showHint)
        return QRect();
    return QFontMetrics(font()).boundingRect(QRect(0, 0, (2 * width()) / 3, 0), TextFlags, m_hint);
}

QPoint CTesvarMdiArea::logoPosition() const
{
    const int top = static_cast<int>((height() - (m_logo.height() + textRect().height())) * 0.62);
    return QPoint((width() - m_logo.width()) / 2, top);
}

void CTesvarMdiArea::paintEvent(QPaintEvent* event)
{
    QMdiArea::paintEvent(event);
    QPainter painter(viewport());
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    QRect text = textRect();
    const QPoint logoAt = logoPosition();
    painter.drawPixmap(logoAt, m_logo);
    if (m_showHint) {
        text.moveTo((width() - text.width()) / 2, m_logo.height() + 120 + logoAt.y());
        painter.drawText(text, TextFlags, m_hint);
    }
}
