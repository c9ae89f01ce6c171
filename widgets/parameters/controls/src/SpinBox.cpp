// The edit boxes of the slider controls with their own key handling, and the focus watcher.
#include "orbelt/SpinBox.h"

#include <brasko/Formatting.h>

#include <QKeyEvent>
#include <QLineEdit>

namespace {
// Escape undoes the typing: the line edit's own undo is reached through a synthetic Ctrl+Z given to
// the base handler. Return and Enter are kept from the parent so that they never press a dialog's
// default button. True when the caller must hand the undo key on.
bool finishKey(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape: event->accept(); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: event->accept(); return false;
    default: return false;
    }
}

QKeyEvent undoKey()
{
    return QKeyEvent(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier, QString(), false, 1);
}
} // namespace

NimboQtSpinBox::NimboQtSpinBox(QWidget* parent) : QSpinBox(parent) {}

void NimboQtSpinBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown)
        m_pageKeyPending = true;
    QAbstractSpinBox::keyPressEvent(event);
    // A Page key that stepped nothing (at a bound, read-only) must not leak into the next step.
    m_pageKeyPending = false;
    if (finishKey(event)) {
        QKeyEvent undo = undoKey();
        QAbstractSpinBox::keyPressEvent(&undo);
    }
}

void NimboQtSpinBox::stepBy(int steps)
{
    if (m_pageKeyPending) {
        steps = steps < 0 ? -m_pageStep : m_pageStep;
        m_pageKeyPending = false;
    }
    QSpinBox::stepBy(steps);
    emit editingFinished();
}

NimboQtDoubleSpinBox::NimboQtDoubleSpinBox(QWidget* parent) : QDoubleSpinBox(parent) {}

template <class Handler>
void NimboQtDoubleSpinBox::finishEditing(Handler handler)
{
    // Typing marks the line modified; showing a value (and an undo back to it) clears the mark. Read before
    // the base handler, which reformats the text it takes and so clears the mark itself.
    m_editedByUser = lineEdit()->isModified();
    handler();
    m_editedByUser = false;
    lineEdit()->setModified(false); // taken: leaving the box after Enter commits nothing more
}

void NimboQtDoubleSpinBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        finishEditing([&] { QDoubleSpinBox::keyPressEvent(event); });
    else
        QDoubleSpinBox::keyPressEvent(event);
    if (finishKey(event)) {
        QKeyEvent undo = undoKey();
        QDoubleSpinBox::keyPressEvent(&undo);
    }
}

void NimboQtDoubleSpinBox::focusOutEvent(QFocusEvent* event)
{
    finishEditing([&] { QDoubleSpinBox::focusOutEvent(event); });
}

void NimboQtDoubleSpinBox::stepBy(int steps)
{
    emit stepTriggered(steps);
}

QString NimboQtDoubleSpinBox::textFromValue(double value) const
{
    return formatDoubleValue(value, decimals(), StripTrailingZeros, locale());
}

bool SpinBoxEventCatcher::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        emit focusEvent(true);
        return false;
    }
    if (event->type() == QEvent::FocusOut) {
        emit focusEvent(false);
        return false;
    }
    return QObject::eventFilter(watched, event);
}
