// The filter field above a tree: magnifier while empty, clear button while filled, grey hint text.
#pragma once

#include "orbelt/Export.h"

#include <QLineEdit>

class QAction;

// GUI thread only.
class ORBELT_EXPORT SearchEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit SearchEdit(QWidget* parent = nullptr);

    void setHintText(const QString& text);
    QString hintText() const { return m_hintText; }
    QSize sizeHint() const override;

    QAction* magnifierAction() const { return m_magnifierAction; }
    QAction* clearAction() const { return m_clearAction; }

public slots:
    void onTextChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString m_hintText;
    QAction* m_magnifierAction;
    QAction* m_clearAction;
};
