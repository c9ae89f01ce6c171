// The edit boxes of the slider controls with their own key handling, and the focus watcher.
#pragma once

#include "orbelt/Export.h"

#include <QDoubleSpinBox>
#include <QSpinBox>

// GUI thread only, as are all controls of this family.
class ORBELT_EXPORT NimboQtSpinBox : public QSpinBox {
    Q_OBJECT
public:
    explicit NimboQtSpinBox(QWidget* parent = nullptr);

    int pageStep() const { return m_pageStep; }
    void setPageStep(int pageStep) { m_pageStep = pageStep; }

    void stepBy(int steps) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    int m_pageStep = 10;
    bool m_pageKeyPending = false;
};

class ORBELT_EXPORT NimboQtDoubleSpinBox : public QDoubleSpinBox {
    Q_OBJECT
public:
    explicit NimboQtDoubleSpinBox(QWidget* parent = nullptr);

    double pageStep() const { return m_pageStep; }
    void setPageStep(double pageStep) { m_pageStep = pageStep; }

    // Steps change nothing here: they are reported, and the owner decides what a step means.
    void stepBy(int steps) override;
    QString textFromValue(double value) const override;

    // True while editingFinished is emitted for text the user typed since the box last showed a value;
    // editingFinished also comes when the user only clicked into the box and left it.
    bool isEditedByUser() const { return m_editedByUser; }

signals:
    int stepTriggered(int steps);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Runs a base handler that may emit editingFinished, with the user's edit noted for its receivers.
    template <class Handler>
    void finishEditing(Handler handler);

    double m_pageStep = 0.0;
    bool m_editedByUser = false;
};

class ORBELT_EXPORT SpinBoxEventCatcher : public QObject {
    Q_OBJECT
public:
    explicit SpinBoxEventCatcher(QObject* parent = nullptr) : QObject(parent) {}
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    bool focusEvent(bool focus);
};
