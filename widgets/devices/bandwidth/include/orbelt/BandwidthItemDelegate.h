// Item delegates of the bandwidth tree: the bandwidth limit editor in column 1, the camera
// configuration button in column 2.
#pragma once

#include "orbelt/Export.h"

#include <QAbstractItemDelegate>
#include <QStyledItemDelegate>

struct FlatTreeItem;

// GUI thread only.
class ORBELT_EXPORT BandwidthItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit BandwidthItemDelegate(QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    // Emits closeEditor for the tree widget, which closes its persistent editors itself.
    void emitCloseEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint);

public slots:
    // Lets a USB limit editor go of its camera when the tree closes it.
    void onCloseEditor(QWidget* pEditor, QAbstractItemDelegate::EndEditHint hint);

private:
    QWidget* m_treeClosing = nullptr; // the editor the tree is closing, while emitCloseEditor runs
};

// GUI thread only.
class ORBELT_EXPORT BandwidthCameraConfigItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit BandwidthCameraConfigItemDelegate(QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;
    void emitCloseEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint);

public slots:
    void onCloseEditor(QWidget* pEditor, QAbstractItemDelegate::EndEditHint hint);
    void onConfigureDialogClosed();
};

// The row an index of the bandwidth tree stands for; null for an index without one.
ORBELT_EXPORT FlatTreeItem* flatTreeItemOf(const QModelIndex& index);
