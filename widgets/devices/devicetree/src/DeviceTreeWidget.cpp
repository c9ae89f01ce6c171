// The device tree panel.
#include "orbelt/DeviceTreeWidget.h"

#include "DeviceInfoText.h"

#include "orbelt/Helpers.h"
#include "ui_DeviceTreeWidget.h"

#include <brasko/Formatting.h>
#include <lorvish/Trace.h>

#include <nimbo/NimboDevice.h>
#include <nimbo/TlFactory.h>

#include <GenApi/GenApi.h>
#include <GenICam/CaughtException.h>

#include <log4cpp/Category.hh>

#include <QApplication>
#include <QCheckBox>
#include <QDataStream>
#include <QDebug>
#include <QHeaderView>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

using devicetree::fullNameOf;
using devicetree::toQString;

namespace {

struct ToolTipRow {
    const char* property; // null: only from the opened device's node map
    const char* node;     // null: only from the device info
    const char* label;
    unsigned level;
    QString (*format)(const QString& value);
};

QString formatMac(const QString& value)
{
    return formatMACAddress(value.toLatin1().constData(), "-");
}

QString formatIpConfig(const QString& value)
{
    return formatIPConfiguration(value.toLatin1().constData(), 0);
}

const ToolTipRow g_toolTipRows[] = {
    {"ModelName", nullptr, "Model Name:\t", 0, nullptr},
    {"VendorName", nullptr, "Vendor:\t\t", 100, nullptr},
    {"SerialNumber", nullptr, "Serial Number:\t", 0, nullptr},
    {"DeviceVersion", "DeviceVersion", "Version:\t\t", 0, nullptr},
    {nullptr, "DeviceFirmwareVersion", "FW Version:\t", 0, nullptr},
    {"XMLSource", nullptr, "XML Source:\t", 100, nullptr},
    {"XMLExtensionSource_1", nullptr, "XML Source Ext 1:\t", 100, nullptr},
    {"XMLExtensionSource_2", nullptr, "XML Source Ext 2:\t", 100, nullptr},
    {"XMLExtensionSource_3", nullptr, "XML Source Ext 3:\t", 100, nullptr},
    {"XMLExtensionSource_4", nullptr, "XML Source Ext 4:\t", 100, nullptr},
    {"XMLExtensionSource_5", nullptr, "XML Source Ext 5:\t", 100, nullptr},
    {"XMLExtensionSource_6", nullptr, "XML Source Ext 6:\t", 100, nullptr},
    {"XMLExtensionSource_7", nullptr, "XML Source Ext 7:\t", 100, nullptr},
    {"XMLExtensionSource_8", nullptr, "XML Source Ext 8:\t", 100, nullptr},
    {"Address", nullptr, "IP Address:\t", 0, nullptr},
    {"SubnetMask", nullptr, "Subnet Mask:\t", 0, nullptr},
    {"DefaultGateway", nullptr, "Gateway:\t\t", 100, nullptr},
    {"MacAddress", nullptr, "MAC:\t\t", 100, formatMac},
    {"Interface", nullptr, "Host IF:\t\t", 0, nullptr},
    {"IpConfigCurrent", nullptr, "IP Config:\t", 0, formatIpConfig},
    {"InternalName", nullptr, "Internal Name:\t", 100, nullptr},
    {nullptr, "ClSerialPortBaudRate", "Baud Rate:\t", 0, nullptr},
    {"PortID", nullptr, "CL Port ID:\t", 0, nullptr},
    {"DeviceID", nullptr, "CL Device ID:\t", 100, nullptr},
    {"TLType", nullptr, "TL Type:\t\t", 0, nullptr},
    {"GTLInterfaceID", nullptr, "Interface ID:\t", 0, nullptr},
    {"GTLDeviceID", nullptr, "GTL DeviceID:\t", 0, nullptr},
    {"DeviceGUID", nullptr, "Device GUID:\t", 0, nullptr},
    {"ManufacturerInfo", nullptr, "Manuf. Info:\t", 0, nullptr},
    {"DeviceIdx", nullptr, "Device Index:\t", 100, nullptr},
    {"VendorId", nullptr, "Vendor ID:\t", 100, nullptr},
    {"ProductId", nullptr, "Product ID:\t", 100, nullptr},
    {"DriverKeyName", nullptr, "Driver Key:\t", 100, nullptr},
    {"UsbDriverTypeName", nullptr, "USB Driver:\t", 100, nullptr},
    {"TrelAdapterLibraryName", nullptr, "Adapter Name:\t", 100, nullptr},
    {"TrelAdapterLibraryVersion", nullptr, "Adapter Version:\t", 100, nullptr},
    {"TrelAdapterLibraryApiVersion", nullptr, "Adapter API Version:\t", 100, nullptr},
    {"SupportedTrelAdapterApiVersion", nullptr, "Supported API Version:\t", 100, nullptr},
};

log4cpp::Category* miscTrace()
{
    return Lorvish::GetLazyTraceStructInstance_().misc;
}

} // namespace

DeviceTreeWidget::DeviceTreeWidget(QWidget* parent, bool monitorMode)
    : TreeWidgetBase(parent), m_form(new Ui::DeviceTreeWidgetClass), m_monitorMode(monitorMode)
{
    m_form->setupUi(this);
    m_form->treeWidget->header()->hide();
    m_form->treeWidget->setSortingEnabled(true);
    m_form->treeWidget->sortByColumn(0, Qt::AscendingOrder);
    m_form->toolButton->setVisible(m_refreshButtonEnabled);
    m_form->toolButton->setEnabled(m_refreshButtonEnabled);
    connect(m_form->treeWidget, &QTreeWidget::currentItemChanged, this, &DeviceTreeWidget::onCurrentItemChanged);
    connect(m_form->treeWidget, &QTreeWidget::itemActivated, this, &DeviceTreeWidget::onItemActivated);
    connect(m_form->toolButton, &QToolButton::clicked, this, &DeviceTreeWidget::onActionRefresh);
    connect(m_form->treeWidget, &QTreeWidget::itemSelectionChanged, this, &DeviceTreeWidget::itemSelectionChanged);
    try {
        DeviceTreeData::refreshDeviceTreeData(m_data, m_monitorMode.load(), true, false);
    } catch (...) {
        qWarning("Failed to enumerate TLs");
        warnCurrentException("DeviceTreeWidget::DeviceTreeWidget");
    }
    updateTransportLayers();
    m_scanThread = new AutoScanThread(this);
    connect(m_scanThread, &AutoScanThread::scanStarted, this, &DeviceTreeWidget::deviceScanStarted,
            Qt::QueuedConnection);
    connect(m_scanThread, &AutoScanThread::scanFinished, this, &DeviceTreeWidget::deviceScanFinished,
            Qt::QueuedConnection);
    m_scanThread->start(QThread::InheritPriority);
    setAutoScanEnabled(m_autoScan);
}

DeviceTreeWidget::~DeviceTreeWidget()
{
    delete m_autoScanTimer;
    m_autoScanTimer = nullptr;
    m_autoScan = false;
    m_form->checkBoxPolling->setChecked(false);
    if (m_scanThread) {
        // Deleting a thread that did not end would crash; one that timed out is left to finish its
        // scan, which no longer reaches this widget.
        if (m_scanThread->stop())
            delete m_scanThread;
        m_scanThread = nullptr;
    }
    if (m_cursorOverridden)
        QApplication::restoreOverrideCursor();
}

QSize DeviceTreeWidget::sizeHint() const
{
    return QSize(400, 300);
}

bool DeviceTreeWidget::HasTL() const
{
    return m_form->treeWidget->topLevelItemCount() > 0;
}

void DeviceTreeWidget::SetMonitorMode(bool monitorMode)
{
    m_monitorMode = monitorMode;
}

QTreeView* DeviceTreeWidget::treeView()
{
    return m_form->treeWidget;
}

void DeviceTreeWidget::onSaveState(QDataStream& stream)
{
    stream << m_autoScan;
}

void DeviceTreeWidget::onRestoreState(QDataStream& stream)
{
    bool autoScan = m_autoScan;
    stream >> autoScan;
    if (stream.status() == QDataStream::Ok)
        setAutoScanEnabled(autoScan);
}

void DeviceTreeWidget::setInfoText(const QString& text)
{
    m_form->lblStatus->setText(text);
}

// --- scanning --------------------------------------------------------------------------------------

void DeviceTreeWidget::onActionRefresh()
{
    refresh(true);
}

void DeviceTreeWidget::refresh(bool dumpResults)
{
    m_waitCursor = true;
    m_scanThread->doScanAsync(dumpResults);
}

void DeviceTreeWidget::startAutoScan()
{
    m_scanThread->doScanAsync(false);
}

void DeviceTreeWidget::deviceScanStarted()
{
    if (m_waitCursor && !m_cursorOverridden) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        m_cursorOverridden = true;
    }
}

void DeviceTreeWidget::deviceScanFinished()
{
    updateTransportLayers();
    if (m_waitCursor) {
        if (m_cursorOverridden)
            QApplication::restoreOverrideCursor();
        m_cursorOverridden = false;
        m_waitCursor = false;
    }
}

void DeviceTreeWidget::setRefreshButtonEnabled(bool enable)
{
    m_refreshButtonEnabled = enable;
    m_form->toolButton->setVisible(enable);
    m_form->toolButton->setEnabled(enable);
}

void DeviceTreeWidget::setAutoScanEnabled(bool enable)
{
    m_autoScan = enable;
    if (enable) {
        if (!m_autoScanTimer) {
            m_autoScanTimer = new QTimer();
            connect(m_autoScanTimer, &QTimer::timeout, this, &DeviceTreeWidget::startAutoScan);
        }
        m_autoScanTimer->start(10000);
    } else {
        delete m_autoScanTimer;
        m_autoScanTimer = nullptr;
    }
    m_form->checkBoxPolling->setChecked(enable);
}

void DeviceTreeWidget::on_checkBoxPolling_clicked()
{
    const bool checked = m_form->checkBoxPolling->isChecked();
    setAutoScanEnabled(checked);
    emit pollingStateChanged(checked);
}

void DeviceTreeWidget::updateTransportLayers()
{
    int added = 0;
    int removed = 0;
    QStringList detectedNames;
    QList<QTreeWidgetItem*> removedItems;
    // The tree changes with the data lock released: taking out the current or a selected camera makes
    // the tree report the new current item and selection at once, and their receivers may call
    // addDevice(), which takes the lock.
    const std::vector<DeviceTreeData::Entry> entries = dataEntries();
    for (const DeviceTreeData::Entry& entry : entries) {
        const QString deviceClass = QString::fromUtf8(entry.first.GetDeviceClass().c_str());
        if (m_monitorMode && !DeviceTreeData::isGigeDeviceClass(deviceClass))
            continue;
        const QString fullName = fullNameOf(entry.first);
        TLTreeWidgetItem* tlItem = nullptr;
        for (int i = 0; i < m_form->treeWidget->topLevelItemCount() && !tlItem; ++i) {
            QTreeWidgetItem* top = m_form->treeWidget->topLevelItem(i);
            if (top->data(0, DeviceTreeWidgetItem::FullNameRole).toString() == fullName)
                tlItem = dynamic_cast<TLTreeWidgetItem*>(top);
        }
        if (!tlItem)
            tlItem = new TLTreeWidgetItem(m_form->treeWidget);
        tlItem->setTlInfo(entry.first);
        added += addDevices(entry.second, tlItem, detectedNames);
        removed += removeTaggedItems(tlItem, removedItems);
    }
    // By name: a receiver may have taken a camera out again (onSurpriseRemoved) before its turn.
    for (const QString& name : qAsConst(detectedNames)) {
        if (DeviceTreeWidgetItem* item = findCamera(name))
            emit deviceDetected(&item->deviceInfo());
    }
    for (QTreeWidgetItem* child : qAsConst(removedItems)) {
        if (auto* camera = dynamic_cast<DeviceTreeWidgetItem*>(child))
            emit deviceRemoved(&camera->deviceInfo(), true);
        // The info pointer is valid while the signal runs; nobody refers to the item afterwards.
        delete child;
    }
    const bool changed = added > 0 || removed > 0;
    if (added > 0 && !m_autoOpenName.isEmpty()) {
        if (selectByName(m_autoOpenName, m_autoOpenExact)) {
            m_autoOpenName.clear();
            setInfoText(QString());
        }
    }
    if (changed)
        emit deviceListChanged();
}

namespace {

QTreeWidgetItem* childNamed(QTreeWidgetItem* tlItem, const QString& fullName)
{
    for (int i = 0; i < tlItem->childCount(); ++i) {
        if (tlItem->child(i)->data(0, DeviceTreeWidgetItem::FullNameRole).toString() == fullName)
            return tlItem->child(i);
    }
    return nullptr;
}

bool isLeaving(const QTreeWidgetItem* child)
{
    return child->data(0, DeviceTreeWidgetItem::TaggedRole).toBool() &&
           !child->data(0, DeviceTreeWidgetItem::OpenedRole).toBool();
}

} // namespace

int DeviceTreeWidget::addDevices(const Nimbo::DeviceInfoList& list, QTreeWidgetItem* tlItem, QStringList& detected)
{
    for (int i = 0; i < tlItem->childCount(); ++i)
        tlItem->child(i)->setData(0, DeviceTreeWidgetItem::TaggedRole, true);
    int added = 0;
    for (const Nimbo::CDeviceInfo& info : list) {
        const QString fullName = fullNameOf(info);
        QTreeWidgetItem* found = childNamed(tlItem, fullName);
        if (!found) {
            auto* item = new DeviceTreeWidgetItem(tlItem, info);
            item->setText(0, formatDeviceName(&item->deviceInfo()));
            item->setData(0, DeviceTreeWidgetItem::FullNameRole, fullName);
            item->setData(0, DeviceTreeWidgetItem::CameraRole, true);
            item->setToolTip(0, buildToolTip(item->deviceInfo(), nullptr, m_tooltipLevel));
            ++added;
            detected.append(fullName);
            found = item;
        }
        found->setData(0, DeviceTreeWidgetItem::TaggedRole, false);
    }
    return added;
}

int DeviceTreeWidget::removeTaggedItems(QTreeWidgetItem* tlItem, QList<QTreeWidgetItem*>& removedItems)
{
    // Named first and each looked up again before it goes: taking out the current camera lets the
    // receivers of the new current item change the tree (onSurpriseRemoved) in between.
    QStringList leaving;
    for (int i = 0; i < tlItem->childCount(); ++i) {
        if (isLeaving(tlItem->child(i)))
            leaving.append(tlItem->child(i)->data(0, DeviceTreeWidgetItem::FullNameRole).toString());
    }
    int removed = 0;
    for (const QString& name : qAsConst(leaving)) {
        QTreeWidgetItem* child = childNamed(tlItem, name);
        if (!child || !isLeaving(child))
            continue;
        if (QTreeWidgetItem* taken = takeOut(tlItem, name)) {
            ++removed;
            removedItems.append(taken);
        }
    }
    return removed;
}

QTreeWidgetItem* DeviceTreeWidget::takeOut(QTreeWidgetItem* tlItem, const QString& fullName)
{
    // The current item and the selection leave the camera first, while the tree is whole: their
    // receivers may change the tree, or run an event loop that does, which they must not while Qt takes
    // the row out. The camera is looked up again after each step, and the steps are repeated, a bounded
    // number of times, while receivers bring the current item back to it.
    QTreeWidgetItem* item = childNamed(tlItem, fullName);
    for (int round = 0; item && round <= tlItem->childCount(); ++round) {
        if (m_form->treeWidget->currentItem() == item) {
            const int index = tlItem->indexOfChild(item);
            QTreeWidgetItem* next = index + 1 < tlItem->childCount() ? tlItem->child(index + 1)
                                    : index > 0                      ? tlItem->child(index - 1)
                                                                     : tlItem;
            m_selectionByProgram = true;
            m_form->treeWidget->setCurrentItem(next, 0, QItemSelectionModel::NoUpdate);
            m_selectionByProgram = false;
        } else if (item->isSelected()) {
            item->setSelected(false);
        } else {
            break;
        }
        item = childNamed(tlItem, fullName);
    }
    if (item)
        tlItem->removeChild(item);
    return item;
}

// --- selection -------------------------------------------------------------------------------------

bool DeviceTreeWidget::selectByName(const QString& itemName, bool exactMatch)
{
    if (itemName.isEmpty()) {
        m_selectionByProgram = true;
        m_form->treeWidget->setCurrentItem(nullptr);
        m_selectionByProgram = false;
        return true;
    }
    const Qt::MatchFlags flags = Qt::MatchRecursive | (exactMatch ? Qt::MatchFixedString : Qt::MatchWildcard);
    const QList<QTreeWidgetItem*> items = m_form->treeWidget->findItems(itemName, flags, 0);
    for (QTreeWidgetItem* item : items) {
        if (item->data(0, DeviceTreeWidgetItem::CameraRole).toBool() != true)
            continue;
        item->setSelected(true);
        m_selectionByProgram = true;
        m_form->treeWidget->setCurrentItem(item);
        m_selectionByProgram = false;
        emit deviceOpenRequest();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    }
    return false;
}

void DeviceTreeWidget::selectByNameAsync(const QString& itemName, bool exactMatch)
{
    m_autoOpenName = itemName;
    m_autoOpenExact = exactMatch;
    setInfoText(QStringLiteral("Autoopen: \"%1\"").arg(itemName));
}

void DeviceTreeWidget::selectByInfo(const Nimbo::CDeviceInfo& info)
{
    miscTrace()->debug("DeviceTreeWidget selecting '%s'", info.GetFullName().c_str());
    DeviceTreeWidgetItem* item = findCamera(fullNameOf(info));
    m_selectionByProgram = true;
    m_form->treeWidget->setCurrentItem(item);
    m_selectionByProgram = false;
}

void DeviceTreeWidget::onCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous)
{
    // A change the user makes cancels the pending auto-open; one made by program does not.
    if (!m_selectionByProgram && current && previous)
        m_autoOpenName.clear();
    auto* camera = dynamic_cast<DeviceTreeWidgetItem*>(current);
    emit currentDeviceChanged(camera ? &camera->deviceInfo() : nullptr);
}

void DeviceTreeWidget::onItemActivated(QTreeWidgetItem*, int)
{
    emit deviceOpenRequest();
}

// --- opened devices --------------------------------------------------------------------------------

DeviceTreeWidgetItem* DeviceTreeWidget::findCamera(const QString& fullName) const
{
    for (int i = 0; i < m_form->treeWidget->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = m_form->treeWidget->topLevelItem(i);
        for (int j = 0; j < top->childCount(); ++j) {
            auto* camera = dynamic_cast<DeviceTreeWidgetItem*>(top->child(j));
            if (camera && camera->data(0, DeviceTreeWidgetItem::FullNameRole).toString() == fullName)
                return camera;
        }
    }
    return nullptr;
}

void DeviceTreeWidget::onOpenDevice(Nimbo::INimboDevice* device)
{
    if (!device)
        return;
    DeviceTreeWidgetItem* item = findCamera(fullNameOf(device->GetDeviceInfo()));
    if (item) {
        item->setData(0, DeviceTreeWidgetItem::OpenedRole, true);
        item->setDeviceInfo(device->GetDeviceInfo());
        item->setDevice(device);
        item->setToolTip(0, buildToolTip(item->deviceInfo(), device, m_tooltipLevel));
        QFont font = item->font(0);
        font.setBold(true);
        item->setFont(0, font);
    }
    if (m_openedCount == 0 && m_autoOpenName.isEmpty())
        setInfoText(QString());
    ++m_openedCount;
}

void DeviceTreeWidget::onCloseDevice(Nimbo::INimboDevice* device)
{
    if (!device)
        return;
    DeviceTreeWidgetItem* item = findCamera(fullNameOf(device->GetDeviceInfo()));
    if (item) {
        item->setData(0, DeviceTreeWidgetItem::OpenedRole, false);
        item->setDevice(nullptr);
        QFont font = item->font(0);
        font.setBold(false);
        item->setFont(0, font);
    }
    ++m_closedCount;
}

void DeviceTreeWidget::onSurpriseRemoved(QString fullName, QString)
{
    DeviceTreeWidgetItem* item = findCamera(fullName);
    if (!item)
        return;
    auto* taken = dynamic_cast<DeviceTreeWidgetItem*>(takeOut(item->parent(), fullName));
    if (!taken)
        return;
    emit deviceRemoved(&taken->deviceInfo(), false);
    delete taken;
}

std::vector<DeviceTreeData::Entry> DeviceTreeWidget::dataEntries()
{
    std::lock_guard<std::mutex> lock(m_data.mutex);
    return m_data.entries;
}

void DeviceTreeWidget::addDevice(const Nimbo::CDeviceInfo& info)
{
    const QString fullName = fullNameOf(info);
    for (const DeviceTreeData::Entry& entry : dataEntries()) {
        if (entry.first.GetDeviceClass() != info.GetDeviceClass())
            continue;
        if (findCamera(fullName))
            return;
        const QString tlName = fullNameOf(entry.first);
        for (int i = 0; i < m_form->treeWidget->topLevelItemCount(); ++i) {
            QTreeWidgetItem* top = m_form->treeWidget->topLevelItem(i);
            if (top->data(0, DeviceTreeWidgetItem::FullNameRole).toString() != tlName)
                continue;
            auto* item = new DeviceTreeWidgetItem(top, info);
            item->setText(0, formatDeviceName(&item->deviceInfo()));
            item->setData(0, DeviceTreeWidgetItem::FullNameRole, fullName);
            item->setData(0, DeviceTreeWidgetItem::CameraRole, true);
            item->setToolTip(0, buildToolTip(item->deviceInfo(), nullptr, m_tooltipLevel));
            miscTrace()->debug("DeviceTreeWidget::addDevice '%s'", info.GetFullName().c_str());
            return;
        }
    }
}

// --- queries ---------------------------------------------------------------------------------------

QTreeWidgetItem* DeviceTreeWidget::itemAt(const QPoint& point) const
{
    return m_form->treeWidget->itemAt(m_form->treeWidget->viewport()->mapFrom(this, point));
}

const Nimbo::CDeviceInfo* DeviceTreeWidget::getDeviceInfoAt(const QPoint& point) const
{
    auto* camera = dynamic_cast<DeviceTreeWidgetItem*>(itemAt(point));
    return camera ? &camera->deviceInfo() : nullptr;
}

const Nimbo::INimboDevice* DeviceTreeWidget::getDevicePointerAt(const QPoint& point) const
{
    auto* camera = dynamic_cast<DeviceTreeWidgetItem*>(itemAt(point));
    return camera ? camera->device() : nullptr;
}

QString DeviceTreeWidget::getDeviceClassAt(const QPoint& point) const
{
    QTreeWidgetItem* item = itemAt(point);
    if (auto* camera = dynamic_cast<DeviceTreeWidgetItem*>(item))
        return QString::fromUtf8(camera->deviceInfo().GetDeviceClass().c_str());
    if (item)
        return item->data(0, DeviceTreeWidgetItem::DeviceClassRole).toString();
    return QString();
}

DeviceTreeWidget::ETreeDeviceTypes DeviceTreeWidget::getDeviceTypeAt(const QPoint& point) const
{
    QTreeWidgetItem* item = itemAt(point);
    if (!item)
        return NoItem;
    return dynamic_cast<DeviceTreeWidgetItem*>(item) ? CameraItem : OtherItem;
}

int DeviceTreeWidget::selectedDevices(Nimbo::DeviceInfoList* list) const
{
    int count = 0;
    for (QTreeWidgetItem* item : m_form->treeWidget->selectedItems()) {
        auto* camera = dynamic_cast<DeviceTreeWidgetItem*>(item);
        if (!camera)
            continue;
        if (list)
            list->push_back(camera->deviceInfo());
        ++count;
    }
    return count;
}

bool DeviceTreeWidget::isDeviceTreeWidget(QWidget* widget) const
{
    return widget && widget == m_form->treeWidget;
}

// --- tool tips -------------------------------------------------------------------------------------

unsigned DeviceTreeWidget::setTooltipLevel(unsigned level)
{
    const unsigned previous = m_tooltipLevel;
    m_tooltipLevel = level;
    if (level != previous)
        updateAllToolTips();
    return previous;
}

void DeviceTreeWidget::updateAllToolTips()
{
    for (int i = 0; i < m_form->treeWidget->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = m_form->treeWidget->topLevelItem(i);
        for (int j = 0; j < top->childCount(); ++j) {
            if (auto* camera = dynamic_cast<DeviceTreeWidgetItem*>(top->child(j)))
                camera->setToolTip(0, buildToolTip(camera->deviceInfo(), camera->device(), m_tooltipLevel));
        }
    }
}

QString DeviceTreeWidget::buildToolTip(const Nimbo::CDeviceInfo& info, Nimbo::INimboDevice* device, unsigned level)
{
    const bool utf8 = IsUtf8Device(&info);
    QString text = toQString(info.GetFriendlyName(), utf8) + QStringLiteral("\n\n");
    GenApi::INodeMap* nodeMap = nullptr;
    if (device) {
        try {
            nodeMap = device->GetNodeMap();
        } catch (...) {
            nodeMap = nullptr;
        }
    }
    for (const ToolTipRow& row : g_toolTipRows) {
        if (row.level > level)
            continue;
        Nimbo::String_t value;
        if (row.property && info.GetPropertyValue(row.property, value) && !value.empty()) {
            const QString shown = toQString(value, utf8);
            text += QLatin1String(row.label) + (row.format ? row.format(shown) : shown) + QLatin1Char('\n');
            continue;
        }
        if (!nodeMap || !row.node)
            continue;
        try {
            GenApi::CValuePtr node(nodeMap->GetNode(row.node));
            if (node.IsValid()) {
                const QString shown = toQString(node->ToString(), utf8);
                text += QLatin1String(row.label) + (row.format ? row.format(shown) : shown) + QLatin1Char('\n');
            }
        } catch (...) {
            qDebug().nospace().noquote() << "Error retrieving node value for device tool-tip. Node: '" << row.node
                                         << "' err: '" << GenICam::CaughtException::Current().What("unknown") << "'";
        }
    }
    return text.trimmed();
}
