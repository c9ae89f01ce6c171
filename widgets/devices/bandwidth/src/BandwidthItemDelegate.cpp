// The bandwidth tree's delegates: limit editors in column 1, configuration buttons in column 2.
#include "orbelt/BandwidthItemDelegate.h"

#include "orbelt/BandwidthLimiterInterPacketDelay.h"
#include "orbelt/BandwidthTreeWidget.h"
#include "orbelt/CameraConfigurationEditor.h"
#include "orbelt/DeviceLinkThroughputLimitEditor.h"
#include "orbelt/FlatTreeData.h"

#include <nimbo/InstantCamera.h>

namespace {

CBandwidthMeasuringCamera* cameraOf(const QModelIndex& index)
{
    FlatTreeItem* row = flatTreeItemOf(index);
    return row ? row->camera : nullptr;
}

} // namespace

FlatTreeItem* flatTreeItemOf(const QModelIndex& index)
{
    return static_cast<FlatTreeItem*>(index.data(BandwidthTreeWidget::FlatTreeItemRole).value<void*>());
}

BandwidthItemDelegate::BandwidthItemDelegate(QObject* parent) : QStyledItemDelegate(parent)
{
    connect(this, &QAbstractItemDelegate::closeEditor, this, &BandwidthItemDelegate::onCloseEditor);
}

QWidget* BandwidthItemDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                             const QModelIndex& index) const
{
    FlatTreeItem* row = flatTreeItemOf(index);
    CBandwidthMeasuringCamera* camera = row ? row->camera : nullptr;
    QWidget* limitEditor = nullptr;
    if (camera) {
        GenApi::INodeMap* nodeMap = &camera->GetNodeMap();
        if (DeviceLinkThroughputLimitEditor::isSupported(nodeMap))
            limitEditor = new DeviceLinkThroughputLimitEditor(nodeMap, parent);
        else if (BandwidthLimiterInterPacketDelay::isSupported(nodeMap))
            limitEditor = new BandwidthLimiterInterPacketDelay(nodeMap, parent);
    }
    if (!limitEditor)
        return QStyledItemDelegate::createEditor(parent, option, index);
    // Only the limit editors: they live as persistent editors until the tree closes them and lets go
    // of the row's pointer, while a default editor is freed by the view whenever an edit ends.
    row->limitEditor = limitEditor;
    return limitEditor;
}

void BandwidthItemDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    // The USB editor reads the camera itself.
    if (qobject_cast<DeviceLinkThroughputLimitEditor*>(editor))
        return;
    QStyledItemDelegate::setEditorData(editor, index);
}

void BandwidthItemDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    if (auto* limit = qobject_cast<DeviceLinkThroughputLimitEditor*>(editor)) {
        model->setData(index, QString::number(static_cast<double>(limit->currentValue()), 'g', 6));
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

void BandwidthItemDelegate::emitCloseEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    m_treeClosing = editor;
    emit closeEditor(editor, hint);
    m_treeClosing = nullptr;
}

void BandwidthItemDelegate::onCloseEditor(QWidget* pEditor, QAbstractItemDelegate::EndEditHint)
{
    // Qt's own delegate filter closes an editor too, on Escape, Return or a focus change; a persistent
    // editor stays in its cell then and still serves the camera. Only the tree's close ends it, and as
    // the view deletes the editor later, the camera's limit mode must be free at once.
    if (pEditor != m_treeClosing)
        return;
    if (auto* limit = qobject_cast<DeviceLinkThroughputLimitEditor*>(pEditor))
        limit->release();
}

BandwidthCameraConfigItemDelegate::BandwidthCameraConfigItemDelegate(QObject* parent) : QStyledItemDelegate(parent)
{
    connect(this, &QAbstractItemDelegate::closeEditor, this, &BandwidthCameraConfigItemDelegate::onCloseEditor);
}

QWidget* BandwidthCameraConfigItemDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                                         const QModelIndex& index) const
{
    CBandwidthMeasuringCamera* camera = cameraOf(index);
    if (!camera)
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto* editor = new CameraConfigurationEditor(
        &camera->GetNodeMap(), &camera->GetDeviceInfo(), index.data(BandwidthTreeWidget::VisibilityRole).toInt(),
        index.data(BandwidthTreeWidget::PollingRole).toBool(),
        index.data(BandwidthTreeWidget::ViewAllFavoritesRole).toBool(), parent);
    connect(editor, &CameraConfigurationEditor::configureDialogClosed, this,
            &BandwidthCameraConfigItemDelegate::onConfigureDialogClosed);
    return editor;
}

void BandwidthCameraConfigItemDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* config = qobject_cast<CameraConfigurationEditor*>(editor);
    if (!config || !cameraOf(index)) {
        QStyledItemDelegate::setEditorData(editor, index);
        return;
    }
    config->setVisibility(index.data(BandwidthTreeWidget::VisibilityRole).toInt());
    config->setPolling(index.data(BandwidthTreeWidget::PollingRole).toBool());
    config->setViewAllFavorites(index.data(BandwidthTreeWidget::ViewAllFavoritesRole).toBool());
}

void BandwidthCameraConfigItemDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                                     const QModelIndex& index) const
{
    auto* config = qobject_cast<CameraConfigurationEditor*>(editor);
    if (!config || !cameraOf(index)) {
        QStyledItemDelegate::setModelData(editor, model, index);
        return;
    }
    // All three read before the first is written: each write makes the tree hand the row's values,
    // the two not yet written among them, to every camera row, and so back into this editor.
    const int visibility = config->visibility();
    const bool polling = config->polling();
    const bool viewAllFavorites = config->viewAllFavorites();
    model->setData(index, visibility, BandwidthTreeWidget::VisibilityRole);
    model->setData(index, polling, BandwidthTreeWidget::PollingRole);
    model->setData(index, viewAllFavorites, BandwidthTreeWidget::ViewAllFavoritesRole);
}

void BandwidthCameraConfigItemDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                                             const QModelIndex& index) const
{
    QStyledItemDelegate::updateEditorGeometry(editor, option, index);
}

void BandwidthCameraConfigItemDelegate::emitCloseEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    emit closeEditor(editor, hint);
}

void BandwidthCameraConfigItemDelegate::onConfigureDialogClosed()
{
    // The row keeps the dialog's last state for the next editor.
    if (auto* editor = qobject_cast<QWidget*>(sender()))
        emit commitData(editor);
}

void BandwidthCameraConfigItemDelegate::onCloseEditor(QWidget* pEditor, QAbstractItemDelegate::EndEditHint)
{
    if (auto* config = qobject_cast<CameraConfigurationEditor*>(pEditor))
        config->onEditorClosed();
}
