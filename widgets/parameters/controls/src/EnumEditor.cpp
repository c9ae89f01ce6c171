// The editor of enumeration nodes: a combo box of the entries the current visibility offers.
#include "orbelt/EnumEditor.h"

#include "LogGuard.h"
#include "NodeText.h"

#include <GenApi/EnumEntry.h>
#include <GenApi/Enumeration.h>
#include <GenApi/Pointer.h>

#include <QApplication>
#include <QEvent>

EnumEditor::EnumEditor(QWidget* parent, GenApi::EVisibility* visibility) : QComboBox(parent), m_visibility(visibility)
{
    setEditable(false);
    setStyleSheet(
        QStringLiteral("margin-left:1px; margin-right:1px; margin-top:1px; margin-bottom:1px; padding-left: 4px;"));
}

EnumEditor::~EnumEditor()
{
    if (m_popup)
        m_popup->removeEventFilter(this);
}

void EnumEditor::setEditorData(GenApi::INode* node)
{
    if (m_popup)
        return;
    orbelt_detail::guarded(
        "EnumEditor::setEditorData",
        [&] {
            return QStringLiteral("!! Failed to retrieve entries for enumeration %1")
                .arg(orbelt_detail::nodeName(node));
        },
        [&] {
            clear();
            GenApi::CEnumerationPtr enumeration(node);
            if (!enumeration) {
                qWarning("%s is called with non-enumeration node????", "EnumEditor::setEditorData");
                return;
            }
            GenApi::NodeList_t entries;
            enumeration->GetEntries(entries);
            // Without a shared visibility every visible entry is offered.
            const GenApi::EVisibility visibility = m_visibility ? *m_visibility : GenApi::Guru;
            for (GenApi::INode* entry : entries) {
                if (entry && entry->GetAccessMode() > GenApi::NA && entry->GetVisibility() <= visibility)
                    addItem(entry);
            }
            if (GenApi::IsReadable(enumeration)) {
                const QString current = QString::fromLatin1(enumeration->ToString(false, false).c_str());
                const int index = findData(current, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
                setCurrentIndex(index);
                if (index < 0)
                    qWarning().noquote().nospace()
                        << "EnumEditor::setEditorData"
                        << ": " << orbelt_detail::nodeName(node)
                        << ". No entry in the combo box matches the current value " << current;
            } else {
                setCurrentIndex(-1);
            }
            const bool writable = GenApi::IsWritable(enumeration);
            if (isEnabled() != writable)
                setEnabled(writable);
        });
}

void EnumEditor::addItem(GenApi::INode* entry)
{
    orbelt_detail::guarded(
        "EnumEditor::addItem",
        [&] { return QStringLiteral("Failed to add item for node %1").arg(orbelt_detail::nodeName(entry)); },
        [&] {
            GenApi::CEnumEntryPtr enumEntry(entry);
            if (!enumEntry) {
                qCritical("%s: Tried to add item which is not an IEnumEntry", "EnumEditor::addItem");
                return;
            }
            QComboBox::addItem(QString::fromUtf8(entry->GetDisplayName().c_str()),
                               QString::fromLatin1(enumEntry->GetSymbolic().c_str()));
        });
}

QVariant EnumEditor::editorData()
{
    return itemData(currentIndex(), Qt::UserRole);
}

void EnumEditor::showPopup()
{
    QComboBox::showPopup();
    QWidget* popup = QApplication::activePopupWidget();
    if (popup && popup != m_popup) {
        if (m_popup)
            m_popup->removeEventFilter(this);
        m_popup = popup;
        m_popup->installEventFilter(this);
    }
}

bool EnumEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (m_popup && watched == m_popup && event->type() == QEvent::Hide) {
        m_popup->removeEventFilter(this);
        m_popup = nullptr;
        return true;
    }
    return QComboBox::eventFilter(watched, event);
}
