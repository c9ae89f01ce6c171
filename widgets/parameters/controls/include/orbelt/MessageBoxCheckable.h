// A message box with a "don't show again" check box whose stored answer replaces later showings.
#pragma once

#include "orbelt/Export.h"

#include <QList>
#include <QMessageBox>

class QCheckBox;

// GUI thread only. The stored answers live in the settings group "DoNotShowAgain", one per key.
class ORBELT_EXPORT MessageBoxCheckable : public QMessageBox {
    Q_OBJECT
public:
    MessageBoxCheckable(const QString& key, QWidget* parent);
    MessageBoxCheckable(const QString& key, QMessageBox::Icon icon, const QString& title, const QString& text,
                        QFlags<QMessageBox::StandardButton> buttons, QWidget* parent,
                        Qt::WindowFlags flags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);

    void saveDoNotShowAgain(int result);
    void setSaveResultOnButton(QFlags<QMessageBox::StandardButton> buttons) { m_storableStandardButtons = buttons; }
    QFlags<QMessageBox::StandardButton> saveResultOnButton() const { return m_storableStandardButtons; }
    void setSaveResultOnButton(QAbstractButton* button) { m_storableButtons.append(button); }
    void setCheckBoxText(const QString& text);
    QString checkBoxText() const { return m_checkBoxText; }
    // The answer loaded at construction; -1 when none is stored.
    int storedAnswer() const { return m_storedAnswer; }

public slots:
    int exec() override;
    void done(int result) override;
    bool reset();
    static bool resetAll();

protected:
    void init();
    bool addCheckBoxWidget();

private:
    void applyStoringRule(int result);

    QCheckBox* m_checkBox = nullptr;
    QString m_key;
    int m_storedAnswer = -1;
    QFlags<QMessageBox::StandardButton> m_storableStandardButtons;
    QString m_checkBoxText;
    QList<QAbstractButton*> m_storableButtons;
};
