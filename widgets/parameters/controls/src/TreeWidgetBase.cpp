// The base of the tree panels: saves and restores the column widths with the panel's own state.
#include "orbelt/TreeWidgetBase.h"

#include <QDataStream>
#include <QHeaderView>
#include <QTreeView>

TreeWidgetBase::TreeWidgetBase(QWidget* parent) : QWidget(parent) {}

void TreeWidgetBase::onSaveState(QDataStream&) {}

void TreeWidgetBase::onRestoreState(QDataStream&) {}

QByteArray TreeWidgetBase::saveState(int version)
{
    QTreeView* view = treeView();
    if (!view)
        return QByteArray();
    QByteArray state;
    QDataStream stream(&state, QIODevice::WriteOnly);
    QHeaderView* header = view->header();
    const qint32 count = header->count();
    stream << qint32(version) << count;
    for (int i = 0; i < count; ++i)
        stream << qint32(header->sectionSize(i));
    onSaveState(stream);
    return state;
}

bool TreeWidgetBase::restoreState(const QByteArray& state, int version)
{
    if (state.isEmpty())
        return false;
    QTreeView* view = treeView();
    if (!view)
        return false;
    const QByteArray copy = state;
    QDataStream stream(copy);
    qint32 storedVersion = 0;
    qint32 count = 0;
    stream >> storedVersion >> count;
    if (stream.status() != QDataStream::Ok || storedVersion != version)
        return false;
    QHeaderView* header = view->header();
    if (count != header->count())
        return false;
    for (int i = 0; i < count; ++i) {
        qint32 size = 0;
        stream >> size;
        if (stream.status() != QDataStream::Ok)
            return false;
        if (i < count - 1)
            header->resizeSection(i, size);
    }
    onRestoreState(stream);
    return true;
}
