// The image window's recording status bar: state with its icon, recorded images, buffer use, dropped images.
#pragma once

#include <RecordingStatusInfo.h>

#include <QHash>
#include <QStatusBar>
#include <QString>

#include <cstdint>

class QLabel;
class QTimer;

// GUI thread only; the image window owns the record and hands it to update().
class RecordingStatusBar : public QStatusBar {
    Q_OBJECT
public:
    using StatusInfo = RecordingStatusInfo;

    explicit RecordingStatusBar(QWidget* parent = nullptr);

    QSize sizeHint() const override;

    QLabel* stateLabel() const { return m_stateLabel; }
    QLabel* recordedLabel() const { return m_recordedLabel; }
    QLabel* bufferLabel() const { return m_bufferLabel; }
    QLabel* droppedLabel() const { return m_droppedLabel; }
    QTimer* blinkTimer() const { return m_blinkTimer; }

    // The state label's rich text for a state and an icon path.
    static QString stateText(const QString& iconPath, const QString& text);

public slots:
    void update(RecordingStatusBar::StatusInfo* info);
    // One step of the recording icon's blinking; the timer is not started, so the icon stays steady.
    void blinkTimeout();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showState(uint32_t state, bool stoppedIcon);

    QString m_recordedFormat = "Recorded Images %1";
    QString m_bufferFormat = "Memory Buffer Usage %1 %";
    QString m_droppedFormat = "Dropped Images %1";
    QString m_stateFormat = " %1 ";
    QString m_leftFormat = " (%1 left)";
    QLabel* m_stateLabel;
    QLabel* m_recordedLabel;
    QLabel* m_bufferLabel;
    QLabel* m_droppedLabel;
    QTimer* m_blinkTimer;
    int32_t m_blinkCounter = 0;
    uint32_t m_state = 0;
    // Frames still queued, shown while the recording drains.
    uint64_t m_framesLeft = 0;
    QHash<uint32_t, QString> m_stateTexts;
    QHash<uint32_t, QString> m_stateIcons;
};
