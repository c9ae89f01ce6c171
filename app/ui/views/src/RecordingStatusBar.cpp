// The recording status bar's labels, state texts and icons.
#include "RecordingStatusBar.h"

#include <QLabel>
#include <QShowEvent>
#include <QTimer>

namespace {
const char* const kStoppedIcon = ":/Kalmuth/Resources/recordstopped_14x14.png";

QLabel* makeLabel(QWidget* parent, const QString& sample)
{
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    label->setFrameStyle(QFrame::NoFrame | QFrame::Plain);
    label->setText(sample);
    label->setMinimumSize(label->sizeHint());
    label->clear();
    return label;
}
} // namespace

RecordingStatusBar::RecordingStatusBar(QWidget* parent) : QStatusBar(parent), m_blinkTimer(new QTimer(this))
{
    setSizeGripEnabled(false);
    m_stateTexts[RecordingInitializing] = tr("Initializing");
    m_stateTexts[RecordingActive] = tr("Recording");
    m_stateTexts[RecordingPaused] = tr("Recording paused");
    m_stateTexts[RecordingDraining] = tr("Stopped. Writing images remaining in buffer");
    m_stateTexts[RecordingStopped] = tr("Recording stopped");
    m_stateIcons[RecordingInitializing] = kStoppedIcon;
    m_stateIcons[RecordingActive] = ":/Kalmuth/Resources/record_14x14.png";
    m_stateIcons[RecordingPaused] = ":/Kalmuth/Resources/recordpaused_14x14.png";
    m_stateIcons[RecordingDraining] = kStoppedIcon;
    m_stateIcons[RecordingStopped] = kStoppedIcon;

    m_recordedLabel = makeLabel(this, m_recordedFormat.arg(999));
    m_bufferLabel = makeLabel(this, m_bufferFormat.arg(100));
    m_droppedLabel = makeLabel(this, m_droppedFormat.arg(999));
    m_stateLabel = new QLabel(this);
    m_stateLabel->setFrameStyle(QFrame::NoFrame | QFrame::Plain);
    addWidget(m_stateLabel, 1);
    addPermanentWidget(m_recordedLabel);
    addPermanentWidget(m_bufferLabel);
    addPermanentWidget(m_droppedLabel);
    setMinimumHeight(28);
    connect(m_blinkTimer, &QTimer::timeout, this, &RecordingStatusBar::blinkTimeout);
}

QSize RecordingStatusBar::sizeHint() const
{
    QSize size = QStatusBar::sizeHint();
    size.rheight() += 4;
    return size;
}

QString RecordingStatusBar::stateText(const QString& iconPath, const QString& text)
{
    return "<table cellspacing='0' cellpadding='0' height='16'><tr><td valign='middle' style='padding-top: 2px; "
           "padding-right:6px; padding-left:15px;'><img src='" +
           iconPath + "' /></td><td valign='middle' style='padding-top: 1px;'>" + text + "</td><tr/></table>";
}

void RecordingStatusBar::showState(uint32_t state, bool stoppedIcon)
{
    QString text = m_stateTexts.value(state);
    // A stopped recording writing out its buffer says how far it still has to go.
    if (state == RecordingDraining)
        text += m_leftFormat.arg(m_framesLeft);
    m_stateLabel->setText(stateText(stoppedIcon ? QString(kStoppedIcon) : m_stateIcons.value(state), text));
}

void RecordingStatusBar::update(RecordingStatusBar::StatusInfo* info)
{
    if (!info)
        return;
    m_state = static_cast<uint32_t>(info->state);
    m_framesLeft = info->bufferUsed;
    showState(m_state, false);
    m_recordedLabel->setText(m_recordedFormat.arg(info->recordedImages));
    // A recording without a buffer (capacity 0) uses none of it.
    const double usage = info->bufferCapacity
                             ? static_cast<double>(info->bufferUsed) / static_cast<double>(info->bufferCapacity) * 100.0
                             : 0.0;
    m_bufferLabel->setText(m_bufferFormat.arg(usage, 0, 'f', 0));
    m_droppedLabel->setText(m_droppedFormat.arg(info->droppedImages));
}

void RecordingStatusBar::blinkTimeout()
{
    const bool blinking = m_state == RecordingActive || m_state == RecordingDraining;
    showState(m_state, m_blinkCounter % 3 == 0 && blinking);
    ++m_blinkCounter;
}

void RecordingStatusBar::showEvent(QShowEvent* event)
{
    m_stateLabel->clear();
    m_recordedLabel->clear();
    m_bufferLabel->clear();
    m_droppedLabel->clear();
    QStatusBar::showEvent(event);
}
