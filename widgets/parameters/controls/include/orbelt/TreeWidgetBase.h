// The base of the tree panels: saves and restores the column widths with the panel's own state.
#pragma once

#include "orbelt/Export.h"

#include <QByteArray>
#include <QWidget>

class QDataStream;
class QTreeView;

// GUI thread only.
class ORBELT_EXPORT TreeWidgetBase : public QWidget {
    Q_OBJECT
public:
    explicit TreeWidgetBase(QWidget* parent = nullptr);

    QByteArray saveState(int version);
    // False for an empty state, another version, another column count or a truncated stream.
    bool restoreState(const QByteArray& state, int version);

protected:
    virtual QTreeView* treeView() = 0;
    virtual void onSaveState(QDataStream& stream);
    virtual void onRestoreState(QDataStream& stream);
};
