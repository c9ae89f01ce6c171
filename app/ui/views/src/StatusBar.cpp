// The live status bar's labels and their texts.
#include "StatusBar.h"

#include <brasko/Formatting.h>

#include <QFontMetrics>
#include <QLabel>

namespace {
// Gives the label a minimum size that fits the widest text it will show, in the font it has now.
void fitToSample(QLabel* label, const QString& sample, int extraWidth)
{
    const QString text = label->text();
    label->setText(sample);
    QSize size = label->sizeHint();
    size.rwidth() += extraWidth;
    label->setMinimumSize(size);
    label->setText(text);
}

// An empty centred label whose minimum size fits the widest text it will show.
QLabel* makeLabel(QWidget* parent, const QString& sample, int extraWidth = 0)
{
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    label->setFrameStyle(QFrame::NoFrame | QFrame::Plain);
    fitToSample(label, sample, extraWidth);
    return label;
}

constexpr int kRgbExtraWidth = 16;
} // namespace

QString StatusBar::rateText(double framesPerSecond, uint64_t bytesPerSecond)
{
    if (framesPerSecond < 0)
        return QString(" %1 (%2) ").arg("--", "--");
    const QString fps = formatDoubleValueAndUnits(framesPerSecond, framesPerSecond < 500 ? 1 : 0, MultiplierNone, "fps",
                                                  KeepGroupSeparator);
    int precision = 0;
    FormatMultiplier multiplier = MultiplierNone;
    if (bytesPerSecond >= 100000) {
        precision = 1;
        multiplier = MultiplierMega;
    } else if (bytesPerSecond >= 1000) {
        precision = 1;
        multiplier = MultiplierKilo;
    }
    const QString rate = formatUnsignedIntegerValueAndUnits(bytesPerSecond, precision, multiplier, "B/s",
                                                            KeepGroupSeparator | ShowPrefix);
    return QString(" %1 (%2) ").arg(fps, rate);
}

QString StatusBar::zoomText(double zoom)
{
    return QString(" %1 ").arg(formatDoubleValueAndUnits(zoom * 100.0, 2, MultiplierNone, "%",
                                                         StripTrailingZeros | DropZeroFraction | KeepGroupSeparator));
}

QString StatusBar::rgbText(uint32_t pixelValue, int figureWidth)
{
    // Each figure is right-aligned in a column of a fixed width: shares of the label's width leave a
    // column narrower than its figure, and the figures then run together ("RGB:156164    1").
    const QString figure = QString("<td align='right' width='%1'>%2</td>").arg(figureWidth);
    return QString("<table border='0' width='100%' cellpadding='0' cellspacing='0'><tr><td align='left'>RGB:</td>") +
           figure.arg((pixelValue >> 16) & 0xFF) + figure.arg((pixelValue >> 8) & 0xFF) +
           figure.arg(pixelValue & 0xFF) + QString("</tr></table>");
}

int StatusBar::rgbFigureWidth(const QFontMetrics& metrics)
{
    // The widest figure and one digit's room before it.
    return metrics.horizontalAdvance(QStringLiteral("2550"));
}

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    m_rateLabel = makeLabel(this, rateText(499.9, 999900000ULL));
    m_sizeLabel = makeLabel(this, m_sizeFormat.arg(9999).arg(9999));
    m_zoomLabel = makeLabel(this, zoomText(50));
    m_rgbLabel = makeLabel(this, QString(), kRgbExtraWidth);
    fitRgbLabel(rgbFigureWidth(m_rgbLabel->fontMetrics()));
    m_positionLabel = makeLabel(this, m_positionFormat.arg(9999).arg(9999));
    addPermanentWidget(m_rgbLabel);
    addPermanentWidget(m_positionLabel);
    addPermanentWidget(m_rateLabel);
    addPermanentWidget(m_sizeLabel);
    addPermanentWidget(m_zoomLabel);
}

void StatusBar::fitRgbLabel(int figureWidth)
{
    // The label's width is fixed, not its text's: the columns of a larger font than the one measured
    // would be cut off at the right.
    m_rgbFigureWidth = figureWidth;
    fitToSample(m_rgbLabel, rgbText(0xFFFFFFFFu, figureWidth), kRgbExtraWidth);
}

QSize StatusBar::sizeHint() const
{
    QSize size = QStatusBar::sizeHint();
    size.rheight() += 4;
    return size;
}

void StatusBar::update(StatusBar::StatusInfo* info)
{
    if (!info)
        return;
    if (!info->rateValid && m_rateShown)
        m_rateLabel->clear();
    if (!info->cursorValid && m_cursorShown) {
        m_positionLabel->clear();
        m_rgbLabel->clear();
    }
    if (!info->zoomShown && m_zoomShown)
        m_zoomLabel->clear();
    if (!info->sizeValid && m_sizeShown)
        m_sizeLabel->clear();
    m_rateShown = info->rateValid;
    m_cursorShown = info->cursorValid;
    m_zoomShown = info->zoomShown;
    m_sizeShown = info->sizeValid;
    m_alwaysShown = info->alwaysShown;

    if (info->rateValid)
        m_rateLabel->setText(rateText(info->framesPerSecond, info->bytesPerSecond));
    if (info->sizeChanged && info->sizeValid) {
        info->sizeChanged = false;
        m_sizeLabel->setText(m_sizeFormat.arg(info->width).arg(info->height));
        m_sizeLabel->setHidden(!info->sizeValid);
    }
    if (info->zoomChanged && info->zoomShown) {
        info->zoomChanged = false;
        m_zoomLabel->setText(zoomText(info->zoom));
        m_zoomLabel->setHidden(!info->zoomShown);
    }
    if (info->cursorValid) {
        m_positionLabel->setText(m_positionFormat.arg(info->cursorX).arg(info->cursorY));
        // A style sheet may have given the label another font since it was sized.
        const int figureWidth = rgbFigureWidth(m_rgbLabel->fontMetrics());
        if (figureWidth != m_rgbFigureWidth)
            fitRgbLabel(figureWidth);
        m_rgbLabel->setText(rgbText(info->pixelValue, figureWidth));
    }
}
