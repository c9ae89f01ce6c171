// The bandwidth manager's tree widget and its GigE "Optimize" buttons.
#include "orbelt/BandwidthTreeWidget.h"

#include "orbelt/BandwidthItemDelegate.h"
#include "orbelt/BandwidthLimiterInterPacketDelay.h"
#include "orbelt/CameraConfigurationEditor.h"
#include "orbelt/Helpers.h"

#include <brasko/Formatting.h>
#include <brasko/LayoutPersistence.h>

#include <nimbo/InstantCamera.h>
#include <nimbo/NimboDevice.h>

#include <GenICam/CaughtException.h>

#include <QDebug>
#include <QDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

namespace {

const int kColumns = 8;
const Qt::Alignment leftCentred = Qt::AlignLeft | Qt::AlignVCenter;   // 129
const Qt::Alignment rightCentred = Qt::AlignRight | Qt::AlignVCenter; // 130

// The override cursor for the life of the guard.
struct WaitCursor {
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
};

// Sets the flag for the life of the guard and puts the earlier value back.
struct ChangingItems {
    explicit ChangingItems(bool& flag) : m_flag(flag), m_was(flag) { m_flag = true; }
    ~ChangingItems() { m_flag = m_was; }
    bool& m_flag;
    bool m_was;
};

bool isGigEDeviceClass(const FlatTreeItem& row)
{
    return row.deviceInfo.GetDeviceClass() == "VelmarGigE";
}

} // namespace

QDialog* nearestDialog(QObject* object)
{
    for (QObject* o = object ? object->parent() : nullptr; o; o = o->parent()) {
        if (QDialog* dialog = qobject_cast<QDialog*>(o))
            return dialog;
    }
    return nullptr;
}

SampleDataView sampleDataView(const SampleData& s, bool grabbing, const QDateTime& now, const QLocale& locale)
{
    SampleDataView view;
    view.payloadReceived =
        formatUnsignedIntegerValueAndUnits(s.bytesPerSecondReceived, s.bytesPerSecondReceived < 1000000 ? 2 : 0,
                                           MultiplierMega, QString(), DropZeroFraction, locale);
    view.fpsSent = formatDoubleValue(s.fpsSent, 2, FormatValueFlags(), locale);
    view.fpsReceived =
        s.fpsReceived < 0.0 ? QStringLiteral("--") : formatDoubleValue(s.fpsReceived, 2, FormatValueFlags(), locale);
    view.images = formatUnsignedIntegerValue(s.images, KeepGroupSeparator, locale);
    view.errors = formatUnsignedIntegerValue(s.errors, KeepGroupSeparator, locale);
    // Nothing arriving: either the rate fell to zero, or not even two frames came since the grab
    // started (the statistic has no rate yet), which is what a camera stalled from its start shows.
    const double allowedSilence = s.fpsSent != 0.0 ? 3.0 / s.fpsSent : 2.0;
    const bool silent = s.fpsReceived == 0.0 || s.fpsReceived < 0.0;
    view.stalled = silent && grabbing && s.grabStartTime.isValid() && s.grabStartTime.secsTo(now) > allowedSilence;
    view.failed = s.errors >= 1;
    return view;
}

QString controllerBandwidthText(uint64_t bytesPerSecond, const QLocale& locale)
{
    if (bytesPerSecond == 0)
        return QString();
    return QStringLiteral("~") +
           formatUnsignedIntegerValueAndUnits(bytesPerSecond, 0, MultiplierMega, QString(), FormatValueFlags(), locale);
}

BandwidthTreeWidget::BandwidthTreeWidget(QWidget* parent)
    : QTreeWidget(parent), m_data(new FlatTreeData()), m_cameras(new MeasuringCameraList())
{
    // Hosts may connect the signals across threads.
    qRegisterMetaType<BandwidthTreeWidget::SOptimizationResult>("BandwidthTreeWidget::SOptimizationResult");
    qRegisterMetaType<Nimbo::CInstantCamera*>("Nimbo::CInstantCamera*");
    qRegisterMetaType<size_t>("size_t");
    qRegisterMetaType<Qt::CheckState>("Qt::CheckState");
    m_warningIcon = QIcon(getNimboStockImage(NimboQtStockIconWarning, 19, 19));
    m_errorIcon = QIcon(getNimboStockImage(NimboQtStockIconError, 19, 19));
    m_boldFont = font();
    m_boldFont.setBold(true);
    connect(this, &QTreeWidget::itemChanged, this, &BandwidthTreeWidget::onItemChanged);
    QTimer::singleShot(0, this, &BandwidthTreeWidget::onAddGigEButtonTimer);
    connect(&m_optimizeMapper, static_cast<void (QSignalMapper::*)(int)>(&QSignalMapper::mapped), this,
            &BandwidthTreeWidget::onOptimizeButton);
}

BandwidthTreeWidget::~BandwidthTreeWidget()
{
    for (size_t id : enabledCameras()) {
        try {
            DisableCamera(id);
        } catch (...) {
        }
    }
    // The rows go before the model and the cameras they point to.
    {
        ChangingItems changing(m_changingItems);
        QTreeWidget::clear();
    }
    delete m_cameras;
    m_cameras = nullptr;
    delete m_data;
    m_data = nullptr;
}

void BandwidthTreeWidget::reportFailures(const QString& deviceName, const std::function<void()>& work)
{
    try {
        work();
    } catch (const std::exception&) {
        emit errorOccurred(deviceName, QString::fromUtf8(GenICam::CaughtException::Current().Description()),
                           QDateTime::currentDateTime());
    }
}

FlatTreeItemID BandwidthTreeWidget::rowOf(const QTreeWidgetItem* item) const
{
    if (!item)
        return 0;
    const auto* row = static_cast<const FlatTreeItem*>(item->data(0, FlatTreeItemRole).value<void*>());
    if (!row || m_data->items.empty() || row < &m_data->items.front() || row > &m_data->items.back())
        return 0;
    return static_cast<FlatTreeItemID>(row - &m_data->items.front());
}

bool BandwidthTreeWidget::isChecked(FlatTreeItemID id) const
{
    const FlatTreeItem& row = m_data->item(id);
    return row.treeItem && row.treeItem->checkState(0) == Qt::Checked;
}

void BandwidthTreeWidget::queueButtonStates()
{
    QTimer::singleShot(0, this, &BandwidthTreeWidget::updateButtonStates);
}

void BandwidthTreeWidget::refreshTree()
{
    try {
        // Switching a camera off takes it out of the list, so walk a copy and skip what is already gone.
        const std::vector<CBandwidthMeasuringCamera*> cameras = m_cameras->cameras;
        for (CBandwidthMeasuringCamera* camera : cameras) {
            const auto& live = m_cameras->cameras;
            if (std::find(live.begin(), live.end(), camera) == live.end() || !camera->IsCameraDeviceRemoved())
                continue;
            for (size_t id = 1; id < m_data->items.size(); ++id) {
                FlatTreeItem& row = m_data->items[id];
                if (row.camera != camera)
                    continue;
                if (row.preopenedDevice)
                    RemoveExternallyManagedNimboDevice(row.preopenedDevice);
                else
                    DisableCamera(id);
                break;
            }
        }
        clear();
        dropRemoved(*m_cameras);
        m_data->refresh(*m_cameras, m_preopenedDevices);
        populateTreeFromFlatTreeData();
        onAddGigEButtonTimer();
        updateButtonStates();
    } catch (const std::exception&) {
        qWarning("%s", GenICam::CaughtException::Current().Description());
    }
}

void BandwidthTreeWidget::emitCloseEditor(QTreeWidgetItem* item, int column)
{
    QWidget* editor = itemWidget(item, column);
    QAbstractItemDelegate* delegate = itemDelegateForColumn(column);
    if (auto* limit = qobject_cast<BandwidthItemDelegate*>(delegate))
        limit->emitCloseEditor(editor, QAbstractItemDelegate::NoHint);
    else if (auto* config = qobject_cast<BandwidthCameraConfigItemDelegate*>(delegate))
        config->emitCloseEditor(editor, QAbstractItemDelegate::NoHint);
}

void BandwidthTreeWidget::closePersistentEditor(QTreeWidgetItem* item, int column)
{
    if (!item)
        return;
    if (column == 1 || column == 2)
        emitCloseEditor(item, column);
    if (auto* config = qobject_cast<CameraConfigurationEditor*>(itemWidget(item, column)))
        config->discardDialog();
    if (column == 1) {
        const FlatTreeItemID id = rowOf(item);
        if (id != 0)
            m_data->items[id].limitEditor = nullptr;
    }
    QTreeWidget::closePersistentEditor(item, column);
}

void BandwidthTreeWidget::closeRowEditors(FlatTreeItem& row)
{
    // Column 1 whatever the row's flags: a refresh opens the limit editor of every running camera, also
    // on rows that are not editable, and closing where none is open does nothing.
    closePersistentEditor(row.treeItem, 1);
    closePersistentEditor(row.treeItem, 2);
}

void BandwidthTreeWidget::clear()
{
    reportFailures(QString(), [this] {
        for (FlatTreeItem& row : m_data->items)
            if (row.camera && row.treeItem)
                closeRowEditors(row);
        ChangingItems changing(m_changingItems);
        for (FlatTreeItem& row : m_data->items) {
            row.treeItem = nullptr;
            row.limitEditor = nullptr;
        }
        QTreeWidget::clear();
    });
}

int BandwidthTreeWidget::populateTreeFromFlatTreeData()
{
    ChangingItems changing(m_changingItems);
    const int count = addChildItems(&m_data->items.front(), invisibleRootItem());
    sortByColumn(0, Qt::AscendingOrder);
    if (QTreeWidgetItem* first = topLevelItem(0))
        first->setSizeHint(0, QSize(first->sizeHint(0).width(), QSpinBox().sizeHint().height()));
    return count;
}

int BandwidthTreeWidget::addChildItems(FlatTreeItem* parent, QTreeWidgetItem* parentItem)
{
    if (!parent || !parentItem)
        return 0;
    int count = 0;
    // Copied: the children's ids stay, and the rows vector does not change while the tree is built.
    const std::vector<FlatTreeItemID> children = parent->children;
    for (FlatTreeItemID id : children) {
        FlatTreeItem& row = m_data->items[id];
        auto* item = new QTreeWidgetItem(0);
        row.treeItem = item;
        Qt::ItemFlags flags = item->flags() | Qt::ItemIsSelectable;
        const std::string deviceClass = row.deviceInfo.GetDeviceClass().c_str();
        if (row.isCamera && (deviceClass == "VelmarUsb" || deviceClass == "VelmarGigE"))
            flags |= Qt::ItemIsEditable;
        item->setFlags(flags);
        for (int column = 0; column < kColumns; ++column)
            item->setTextAlignment(column, column < 2 ? leftCentred : rightCentred);
        item->setText(0, row.displayName);
        UpdateSampleDataViewRow(id);
        if (row.isCamera)
            item->setCheckState(0, row.camera ? Qt::Checked : Qt::Unchecked);
        for (int column = 0; column < 3; ++column) {
            item->setData(column, FlatTreeItemRole, QVariant::fromValue(static_cast<void*>(&row)));
            if (row.isCamera)
                item->setData(column, IsCameraRole, true);
        }
        if (row.isCamera) {
            item->setData(2, VisibilityRole, m_genicamVisibility);
            item->setData(2, PollingRole, m_pollingActive);
            item->setData(2, ViewAllFavoritesRole, m_viewAllFavoritesActive);
        }
        parentItem->addChild(item);
        if (row.camera) {
            item->setFont(0, m_boldFont);
            openPersistentEditor(item, 1);
            openPersistentEditor(item, 2);
        }
        ++count;
        if (!row.children.empty())
            count += addChildItems(&row, item);
    }
    parentItem->setExpanded(true);
    return count;
}

void BandwidthTreeWidget::UpdateSampleDataView()
{
    ChangingItems changing(m_changingItems);
    for (FlatTreeItemID id = 1; id < m_data->items.size(); ++id)
        UpdateSampleDataViewRow(id);
}

void BandwidthTreeWidget::UpdateSampleDataViewRow(FlatTreeItemID id)
{
    ChangingItems changing(m_changingItems);
    const FlatTreeItem& row = m_data->item(id);
    QTreeWidgetItem* item = row.treeItem;
    if (!item)
        return;
    if (row.isCamera && row.camera) {
        const SampleDataView view =
            sampleDataView(row.sample, row.camera->isMeasuringGrab(), QDateTime::currentDateTime(), locale());
        item->setText(1, QString());
        item->setText(2, QString());
        item->setText(3, view.payloadReceived);
        item->setText(4, view.fpsSent);
        item->setText(5, view.fpsReceived);
        item->setText(6, view.images);
        item->setText(7, view.errors);
        item->setIcon(5, view.stalled ? m_warningIcon : QIcon());
        item->setIcon(7, view.failed ? m_errorIcon : QIcon());
    } else if (row.isCamera) {
        for (int column = 1; column < kColumns; ++column)
            item->setText(column, QString());
        item->setIcon(5, QIcon());
        item->setIcon(7, QIcon());
    } else if (row.isAdapter && !row.isGigE) {
        item->setText(1, controllerBandwidthText(row.sample.bytesPerSecondSent, locale()));
    }
}

bool BandwidthTreeWidget::EnableCamera(size_t id)
{
    WaitCursor wait;
    bool ok = false;
    try {
        ok = m_data->enableCamera(id, *m_cameras);
    } catch (...) {
        ok = false;
    }
    // A row shown switched off holds no camera: one switched on earlier whose grab cannot start now goes
    // as a whole, its editors first, so that nothing keeps the device and the next check asks the host.
    if (!ok && id < m_data->items.size() && m_data->items[id].camera)
        switchOff(id);
    if (id < m_data->items.size() && m_data->items[id].treeItem) {
        FlatTreeItem& row = m_data->items[id];
        QTreeWidgetItem* item = row.treeItem;
        ChangingItems changing(m_changingItems);
        if (!ok) {
            item->setCheckState(0, Qt::Unchecked);
            item->setIcon(0, m_errorIcon);
            QString message = tr("Error accessing camera!");
            if (!m_data->lastError.empty())
                message += QStringLiteral(" (") + QString::fromStdString(m_data->lastError) + QStringLiteral(")");
            item->setToolTip(0, message);
            emit errorOccurred(formatDeviceName(&row.deviceInfo), message, QDateTime::currentDateTime());
        } else {
            item->setCheckState(0, Qt::Checked);
            item->setIcon(0, QIcon());
            item->setToolTip(0, m_enabledToolTip);
            if (row.camera) {
                if (item->flags() & Qt::ItemIsEditable)
                    openPersistentEditor(item, 1);
                openPersistentEditor(item, 2);
            }
            item->setFont(0, m_boldFont);
        }
    }
    if (ok && m_cameras->measuring)
        UpdateSampleDataViewRow(id);
    queueButtonStates();
    return ok;
}

bool BandwidthTreeWidget::EnableCamera(const QString& id)
{
    const FlatTreeItemID row = m_data->findById(id);
    return row != 0 && EnableCamera(static_cast<size_t>(row));
}

bool BandwidthTreeWidget::DisableCamera(size_t id)
{
    switchOff(id);
    queueButtonStates();
    return false;
}

void BandwidthTreeWidget::switchOff(FlatTreeItemID id)
{
    FlatTreeItem& row = m_data->item(id);
    if (row.camera && row.treeItem)
        closeRowEditors(row);
    {
        WaitCursor wait;
        try {
            m_data->disableCamera(id, *m_cameras);
        } catch (...) {
        }
    }
    if (row.treeItem) {
        ChangingItems changing(m_changingItems);
        row.treeItem->setCheckState(0, Qt::Unchecked);
        row.treeItem->setFont(0, font());
        UpdateSampleDataViewRow(id);
    }
}

bool BandwidthTreeWidget::DisableCamera(const QString& id)
{
    const FlatTreeItemID row = m_data->findById(id);
    return row != 0 && DisableCamera(static_cast<size_t>(row));
}

void BandwidthTreeWidget::StartMeasuring()
{
    m_data->resetSamples();
    UpdateSampleDataView();
    startAll(*m_cameras);
}

void BandwidthTreeWidget::StopMeasuring()
{
    stopAll(*m_cameras);
}

void BandwidthTreeWidget::Sample()
{
    m_data->sampleAll();
    UpdateSampleDataView();
}

void BandwidthTreeWidget::ResetSamples()
{
    resetAll(*m_cameras);
    m_data->sampleAll();
    UpdateSampleDataView();
}

bool BandwidthTreeWidget::CheckTriggerState(QList<QString>* softwareTriggered, QList<QString>* otherTriggered)
{
    return checkTriggerState(*m_cameras, softwareTriggered, otherTriggered);
}

void BandwidthTreeWidget::RemoveExternallyManagedNimboDevice(Nimbo::INimboDevice* device)
{
    m_preopenedDevices.removeAll(device);
    if (!device)
        return;
    for (size_t id = 1; id < m_data->items.size(); ++id) {
        if (m_data->items[id].preopenedDevice == device) {
            DisableCamera(id);
            m_data->items[id].preopenedDevice = nullptr;
            break;
        }
    }
}

void BandwidthTreeWidget::RemoveExternallyManagedNimboDevice(QString id)
{
    const FlatTreeItemID row = m_data->findById(id);
    if (row != 0 && m_data->items[row].preopenedDevice)
        RemoveExternallyManagedNimboDevice(m_data->items[row].preopenedDevice);
}

bool BandwidthTreeWidget::setPreopenedDevices(const QVector<Nimbo::INimboDevice*>* devices)
{
    m_preopenedDevices = devices ? *devices : QVector<Nimbo::INimboDevice*>();
    return true;
}

bool BandwidthTreeWidget::setUsableDeviceClasses(const GenICam::gcstring_vector& classes)
{
    if (!m_data)
        return false;
    m_data->setUsableDeviceClasses(classes);
    return true;
}

int BandwidthTreeWidget::countCameras() const
{
    return static_cast<int>(std::count_if(m_data->items.begin(), m_data->items.end(),
                                          [](const FlatTreeItem& row) { return row.isCamera; }));
}

int BandwidthTreeWidget::countEnabledCameras() const
{
    return static_cast<int>(std::count_if(m_data->items.begin(), m_data->items.end(),
                                          [](const FlatTreeItem& row) { return row.camera != nullptr; }));
}

int BandwidthTreeWidget::countGigECameras() const
{
    return static_cast<int>(std::count_if(m_data->items.begin(), m_data->items.end(), [](const FlatTreeItem& row) {
        return row.isCamera && ((row.camera && row.camera->IsGigE()) || isGigEDeviceClass(row));
    }));
}

int BandwidthTreeWidget::countEnabledGigECameras() const
{
    return static_cast<int>(std::count_if(m_data->items.begin(), m_data->items.end(),
                                          [](const FlatTreeItem& row) { return row.camera && row.isGigE; }));
}

QVector<size_t> BandwidthTreeWidget::enabledCameras() const
{
    QVector<size_t> ids;
    for (size_t id = 0; id < m_data->items.size(); ++id)
        if (m_data->items[id].camera)
            ids.append(id);
    return ids;
}

QString BandwidthTreeWidget::getSelectedItemDisplayName() const
{
    const QTreeWidgetItem* item = currentItem();
    return item ? item->text(0) : QString();
}

BandwidthTreeWidget::EItemType BandwidthTreeWidget::getSelectedItemType() const
{
    const FlatTreeItemID id = rowOf(currentItem());
    if (id == 0)
        return ItemTypeNone;
    const FlatTreeItem& row = m_data->items[id];
    if (row.isCamera)
        return ItemTypeCamera;
    return row.isAdapter ? ItemTypeAdapter : ItemTypeNone;
}

bool BandwidthTreeWidget::getSelectedItemFeatureValue(qint64& value) const
{
    const FlatTreeItemID id = rowOf(currentItem());
    if (id == 0 || !m_data->items[id].isCamera)
        return false;
    value = m_data->items[id].sample.linkThroughputLimit;
    return true;
}

void BandwidthTreeWidget::writeConfigRole(int role, const QVariant& value)
{
    ChangingItems changing(m_changingItems);
    for (QTreeWidgetItemIterator it(this); *it; ++it)
        if ((*it)->data(0, IsCameraRole).toBool())
            (*it)->setData(2, role, value);
}

void BandwidthTreeWidget::setGenicamVisibility(int visibility)
{
    m_genicamVisibility = visibility;
    writeConfigRole(VisibilityRole, visibility);
}

void BandwidthTreeWidget::setPollingActive(bool active)
{
    m_pollingActive = active;
    writeConfigRole(PollingRole, active);
}

void BandwidthTreeWidget::setViewAllFavoritesActive(bool active)
{
    m_viewAllFavoritesActive = active;
    writeConfigRole(ViewAllFavoritesRole, active);
}

bool BandwidthTreeWidget::saveLayout(QSettings* settings)
{
    return saveHeaderLayout(settings, 7, header());
}

bool BandwidthTreeWidget::restoreLayout(const QSettings* settings)
{
    header()->setDefaultAlignment(Qt::AlignLeft);
    header()->setDefaultSectionSize(80);
    setColumnCount(kColumns);
    // Once: a delegate replaced later would lose the view, and the editors it made their link to it.
    if (!qobject_cast<BandwidthItemDelegate*>(itemDelegateForColumn(1)))
        setItemDelegateForColumn(1, new BandwidthItemDelegate(this));
    if (!qobject_cast<BandwidthCameraConfigItemDelegate*>(itemDelegateForColumn(2)))
        setItemDelegateForColumn(2, new BandwidthCameraConfigItemDelegate(this));
    setHeaderLabels({tr("Camera"), tr("Bandwidth (MB/s)"), QString(), tr("Payload Received (MB/s)"), tr("fps Sent"),
                     tr("fps Received"), tr("Images"), tr("Errors")});
    for (int column = 0; column < kColumns; ++column)
        headerItem()->setTextAlignment(column, leftCentred);
    header()->setSectionResizeMode(2, QHeaderView::Fixed);
    const bool restored = restoreHeaderLayout(settings, 7, header());
    if (!restored) {
        const int widths[kColumns] = {280, 150, 20, 160, 70, 100, 55, 55};
        for (int column = 0; column < kColumns; ++column)
            header()->resizeSection(column, widths[column]);
        header()->setStretchLastSection(true);
    }
    return restored;
}

void BandwidthTreeWidget::onItemChanged(QTreeWidgetItem* pItem, int column)
{
    if (m_changingItems)
        return;
    const FlatTreeItemID id = rowOf(pItem);
    if (id == 0)
        return;
    FlatTreeItem& row = m_data->items[id];
    reportFailures(formatDeviceName(&row.deviceInfo), [&] {
        if (column == 0 && row.isCamera) {
            const Qt::CheckState state = pItem->checkState(0);
            const Qt::CheckState held = row.camera ? Qt::Checked : Qt::Unchecked;
            if (state == held)
                return;
            updateButtonState(row.parent);
            emit cameraChecked(static_cast<size_t>(id), row.camera, state);
        } else if (column == 2 && pItem->data(2, IsCameraRole).toBool()) {
            const QVariant visibility = pItem->data(2, VisibilityRole);
            const QVariant polling = pItem->data(2, PollingRole);
            const QVariant favorites = pItem->data(2, ViewAllFavoritesRole);
            setGenicamVisibility(visibility.toInt());
            setPollingActive(polling.toBool());
            setViewAllFavoritesActive(favorites.toBool());
        }
    });
}

void BandwidthTreeWidget::onAddGigEButtonTimer()
{
    for (size_t id = 1; id < m_data->items.size(); ++id) {
        const FlatTreeItem& row = m_data->items[id];
        if (!row.isAdapter || !row.isGigE || !row.treeItem || itemWidget(row.treeItem, 1))
            continue;
        auto* button = new QPushButton(tr("Optimize"));
        button->setToolTip(tr("Optimizes transport layer settings of cameras connected to this network adapter."));
        button->setFixedWidth(70);
        button->setStyleSheet(QStringLiteral("padding-bottom: 2px;"));
        button->setEnabled(false);
        connect(button, &QPushButton::clicked, &m_optimizeMapper,
                static_cast<void (QSignalMapper::*)()>(&QSignalMapper::map));
        m_optimizeMapper.setMapping(button, static_cast<int>(id));
        setItemWidget(row.treeItem, 1, button);
    }
}

void BandwidthTreeWidget::updateButtonState(size_t id)
{
    if (id >= m_data->items.size())
        return;
    const FlatTreeItem& row = m_data->items[id];
    if (!row.isAdapter || !row.isGigE || !row.treeItem)
        return;
    auto* button = qobject_cast<QPushButton*>(itemWidget(row.treeItem, 1));
    if (!button)
        return;
    const bool anyChecked = std::any_of(row.children.begin(), row.children.end(),
                                        [this](FlatTreeItemID child) { return isChecked(child); });
    button->setEnabled(anyChecked);
}

void BandwidthTreeWidget::updateButtonStates()
{
    for (size_t id = 1; id < m_data->items.size(); ++id)
        updateButtonState(id);
}

void BandwidthTreeWidget::onOptimizeButton(int buttonId)
{
    emit optimizeGigEStarted();
    optimizeGigEAdapter(static_cast<FlatTreeItemID>(buttonId), true);
}

void BandwidthTreeWidget::OptimizeAllGigE()
{
    emit optimizeAllGigEStarted();
    for (size_t id = 1; id < m_data->items.size(); ++id) {
        if (!m_data->items[id].isAdapter || !m_data->items[id].isGigE)
            continue;
        optimizeGigEAdapter(id, false);
        updateButtonState(id);
    }
}

void BandwidthTreeWidget::optimizeGigEAdapter(FlatTreeItemID adapterId, bool onlySelected)
{
    const QString adapterName = adapterId < m_data->items.size() ? m_data->items[adapterId].displayName : QString();
    reportFailures(adapterName, [&] {
        const FlatTreeItem& adapter = m_data->item(adapterId);
        if (!adapter.isAdapter || !adapter.isGigE)
            return;
        const std::vector<FlatTreeItemID> children = adapter.children;
        // Each camera row is looked up by its id at every use: switching a row on may report a failure,
        // and the receivers of errorOccurred may switch cameras off or refresh the tree, which renumbers
        // the rows and takes unplugged cameras away.
        const auto rowNamed = [this](const QString& key) -> FlatTreeItem* {
            const FlatTreeItemID id = m_data->findById(key);
            return id != 0 ? &m_data->item(id) : nullptr;
        };
        // Hands the row's inter-packet-delay editor a share; set only where the row has such an editor.
        const auto shareSetter = [rowNamed](const QString& key) -> std::function<void(int64_t)> {
            const FlatTreeItem* now = rowNamed(key);
            if (!now || !qobject_cast<BandwidthLimiterInterPacketDelay*>(now->limitEditor))
                return {};
            return [rowNamed, key](int64_t megabytesPerSecond) {
                const FlatTreeItem* at = rowNamed(key);
                if (auto* editor = at ? qobject_cast<BandwidthLimiterInterPacketDelay*>(at->limitEditor) : nullptr)
                    editor->setValue(static_cast<int>(megabytesPerSecond));
            };
        };
        std::vector<GigEOptimizationRow> rows(children.size());
        for (size_t i = 0; i < children.size(); ++i) {
            const FlatTreeItemID id = children[i];
            const FlatTreeItem& child = m_data->item(id);
            const QString key = child.id;
            GigEOptimizationRow& row = rows[i];
            row.checked = isChecked(id);
            row.isCameraRow = child.isCamera;
            row.deviceClass = child.deviceInfo.GetDeviceClass().c_str();
            row.camera = child.camera;
            row.currentCamera = [rowNamed, key]() -> CBandwidthMeasuringCamera* {
                const FlatTreeItem* now = rowNamed(key);
                return now ? now->camera : nullptr;
            };
            row.setBandwidthShare = shareSetter(key);
            // The rows vector keeps its size for the whole run, so the element's address holds.
            GigEOptimizationRow* rowPtr = &row;
            row.enable = [this, key, rowNamed, rowPtr, shareSetter]() -> CBandwidthMeasuringCamera* {
                const FlatTreeItemID now = m_data->findById(key);
                if (now == 0 || !EnableCamera(static_cast<size_t>(now)))
                    return nullptr;
                rowPtr->setBandwidthShare = shareSetter(key);
                const FlatTreeItem* enabled = rowNamed(key);
                return enabled ? enabled->camera : nullptr;
            };
        }
        SOptimizationResult result;
        if (optimizeGigECameras(rows, onlySelected, &result))
            emit optimizedGigECamera(result);
    });
}
