// A message box with a "don't show again" check box whose stored answer replaces later showings.
#include "orbelt/MessageBoxCheckable.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QSettings>

namespace {
const char* const kGroup = "DoNotShowAgain";
QString defaultCheckBoxText()
{
    return QStringLiteral("&Don't show this dialog again");
}
} // namespace

MessageBoxCheckable::MessageBoxCheckable(const QString& key, QWidget* parent)
    : QMessageBox(parent), m_key(key), m_checkBoxText(defaultCheckBoxText())
{
    init();
}

MessageBoxCheckable::MessageBoxCheckable(const QString& key, QMessageBox::Icon icon, const QString& title,
                                         const QString& text, QFlags<QMessageBox::StandardButton> buttons,
                                         QWidget* parent, Qt::WindowFlags flags)
    : QMessageBox(icon, title, text, buttons, parent, flags), m_key(key), m_checkBoxText(defaultCheckBoxText())
{
    init();
}

void MessageBoxCheckable::init()
{
    // A click on a button of the box ends the dialog without passing through done(), so the rule
    // also runs when the dialog reports its end. Storing the same answer twice is harmless.
    connect(this, &QDialog::finished, this, &MessageBoxCheckable::applyStoringRule, Qt::UniqueConnection);
    QSettings settings;
    settings.beginGroup(kGroup);
    // An empty key names no dialog: QSettings cannot hold a value under it.
    m_storedAnswer = m_key.isEmpty() ? -1 : settings.value(m_key, -1).toInt();
}

bool MessageBoxCheckable::addCheckBoxWidget()
{
    if (m_checkBox || !qobject_cast<QGridLayout*>(layout()) || !findChild<QDialogButtonBox*>())
        return false;
    m_checkBox = new QCheckBox(m_checkBoxText, this);
    m_checkBox->setMinimumHeight(m_checkBox->height());
    setCheckBox(m_checkBox);
    return true;
}

int MessageBoxCheckable::exec()
{
    if (m_storedAnswer != -1)
        return m_storedAnswer;
    addCheckBoxWidget();
    return QDialog::exec();
}

void MessageBoxCheckable::done(int result)
{
    applyStoringRule(result);
    QDialog::done(result);
}

void MessageBoxCheckable::applyStoringRule(int result)
{
    if (m_checkBox && m_checkBox->checkState() == Qt::Checked) {
        const int storable = int(m_storableStandardButtons);
        const bool byStandardButton = (result & ~storable) == 0 && (result != 0 || storable == 0);
        const bool byButton = clickedButton() && m_storableButtons.contains(clickedButton());
        if (byStandardButton || byButton)
            saveDoNotShowAgain(result);
    }
}

void MessageBoxCheckable::saveDoNotShowAgain(int result)
{
    if (m_key.isEmpty())
        return;
    QSettings settings;
    settings.beginGroup(kGroup);
    settings.setValue(m_key, result);
}

bool MessageBoxCheckable::reset()
{
    if (m_key.isEmpty())
        return false;
    QSettings settings;
    settings.beginGroup(kGroup);
    if (settings.contains(m_key))
        settings.remove(m_key);
    return true;
}

bool MessageBoxCheckable::resetAll()
{
    QSettings settings;
    settings.remove(kGroup);
    return true;
}

void MessageBoxCheckable::setCheckBoxText(const QString& text)
{
    m_checkBoxText = text.isEmpty() ? defaultCheckBoxText() : text;
    if (m_checkBox)
        m_checkBox->setText(m_checkBoxText);
}
