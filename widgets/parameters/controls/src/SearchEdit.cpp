// The filter field above a tree: magnifier while empty, clear button while filled, grey hint text.
#include "orbelt/SearchEdit.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

SearchEdit::SearchEdit(QWidget* parent)
    : QLineEdit(parent),
      m_magnifierAction(new QAction(QIcon(QStringLiteral(":/orbelt/Resources/searchlens_16.png")), QString(), this)),
      m_clearAction(new QAction(QIcon(QStringLiteral(":/orbelt/Resources/cross_16.png")), QString(), this))
{
    connect(this, &QLineEdit::textChanged, this, &SearchEdit::onTextChanged);
    m_magnifierAction->setEnabled(false);
    addAction(m_magnifierAction, QLineEdit::TrailingPosition);
    addAction(m_clearAction, QLineEdit::TrailingPosition);
    connect(m_clearAction, &QAction::triggered, this, &QLineEdit::clear);
    m_clearAction->setVisible(false);
    setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid gray; border-radius: 0px; }"));
}

void SearchEdit::setHintText(const QString& text)
{
    m_hintText = text;
    update();
}

void SearchEdit::onTextChanged(const QString& text)
{
    m_magnifierAction->setVisible(text.isEmpty());
    m_clearAction->setVisible(!text.isEmpty());
}

QSize SearchEdit::sizeHint() const
{
    return fontMetrics().boundingRect(m_hintText).size();
}

void SearchEdit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    if (m_clearAction->isVisible() || m_hintText.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect r = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    painter.setClipRect(r, Qt::ReplaceClip);
    const int fw = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    const int fh = fontMetrics().height();
    QRect textRect(r.x() + 2 * fw, r.y() + (r.height() - fh + 1) / 2 - fw, r.width() - 3 * fw, fh);
    // Keeps the hint clear of the trailing icon.
    textRect.setRight(textRect.right() - height());
    painter.setFont(QApplication::font("QLineEdit"));
    painter.drawText(textRect, m_hintText, QTextOption());
}

void SearchEdit::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        setFont(font());
}
