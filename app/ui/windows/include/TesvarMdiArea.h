// The MDI area that holds the image windows and, beneath them, the logo and a hint why no image shows.
#pragma once

#include <QMdiArea>
#include <QPixmap>
#include <QString>

namespace Nimbo {
class CDeviceInfo;
class INimboDevice;
} // namespace Nimbo

// GUI thread only.
class CTesvarMdiArea : public QMdiArea {
    Q_OBJECT
public:
    explicit CTesvarMdiArea(QWidget* parent);

    bool isHintShown() const { return m_showHint; }
    const QString& hintText() const { return m_hint; }
    const QPixmap& logo() const { return m_logo; }
    // Where paintEvent puts the logo and the hint text for the current size and font.
    QRect textRect() const;
    QPoint logoPosition() const;

public slots:
    void onOpenDevice(Nimbo::INimboDevice* pNimboDevice);
    void onSurpriseRemoved(QString strFullName, QString strFriendlyName);
    void onDeviceInUse(const Nimbo::CDeviceInfo* pDeviceInfo);
    void onNoDevicesFound();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int TextFlags = Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignVCenter;

    const QString m_noCameraHint;
    const QString m_inUseHint;
    const QString m_disconnectedHint;
    bool m_showHint = false;
    QString m_hint;
    QPixmap m_logo;
};
