// The device tree panel: transport layers with their cameras, kept current by a background scan.
#pragma once

#include "orbelt/Export.h"
#include "orbelt/TreeWidgetBase.h"

#include <nimbo/DeviceInfo.h>

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTreeWidgetItem>
#include <QWaitCondition>

#include <atomic>
#include <utility>
#include <vector>

class QCheckBox;
class QLabel;
class QTimer;
class QToolButton;
class QTreeWidget;
class QPoint;

namespace Nimbo {
class INimboDevice;
}

class DeviceTreeWidget;

// The enumeration result: one pair per transport layer. The scan thread fills its own copy and swaps
// it into the widget's under `mutex`; the GUI thread reads the widget's copy under `mutex`.
struct ORBELT_EXPORT DeviceTreeData {
    using Entry = std::pair<Nimbo::CTlInfo, Nimbo::DeviceInfoList>;
    std::vector<Entry> entries;
    QMutex mutex;

    // Enumerates the transport layers (and, unless transportLayersOnly, their cameras) and swaps the
    // result into data.entries. Does not lock data.mutex: the caller owns data or holds its lock.
    static void refreshDeviceTreeData(DeviceTreeData& data, bool gigeOnly, bool transportLayersOnly, bool dumpResults);
    // The transport layers that monitor mode shows.
    static bool isGigeDeviceClass(const QString& deviceClass);
};

// Enumerates cameras on request. The stop, dump and pending flags belong to m_mutex (set by the GUI
// thread, read by the scan thread); m_data is touched only by the scan thread. m_widget belongs to
// m_widgetMutex: a stop that times out clears it, so a scan that outlives its widget never reaches it.
class ORBELT_EXPORT AutoScanThread : public QThread {
    Q_OBJECT
public:
    explicit AutoScanThread(DeviceTreeWidget* widget);
    ~AutoScanThread() override;

    void doScanAsync(bool dumpResults);
    // Waits up to 10 s for the thread to end; false on time-out, after which the thread no longer
    // reaches its widget and ends after its scan.
    bool stop();

signals:
    void scanStarted();
    void scanFinished();

protected:
    void run() override;

private:
    QMutex m_mutex;
    QWaitCondition m_condition;
    QMutex m_widgetMutex;
    DeviceTreeWidget* m_widget;
    bool m_stop = false;
    bool m_dumpResults = false;
    // A request made while a scan runs is kept, so that it is served by a further scan.
    bool m_pending = false;
    DeviceTreeData m_data;
};

// A transport layer at the top of the tree. GUI thread only.
class ORBELT_EXPORT TLTreeWidgetItem : public QTreeWidgetItem {
public:
    explicit TLTreeWidgetItem(QTreeWidget* tree);
    void setTlInfo(const Nimbo::CTlInfo& info);
};

// A camera under its transport layer. GUI thread only.
class ORBELT_EXPORT DeviceTreeWidgetItem : public QTreeWidgetItem {
public:
    enum Roles { FullNameRole = Qt::UserRole, TaggedRole, OpenedRole, CameraRole, DeviceClassRole };

    DeviceTreeWidgetItem(QTreeWidgetItem* parent, const Nimbo::CDeviceInfo& info);

    const Nimbo::CDeviceInfo& deviceInfo() const { return m_info; }
    void setDeviceInfo(const Nimbo::CDeviceInfo& info) { m_info = info; }
    Nimbo::INimboDevice* device() const { return m_device; }
    void setDevice(Nimbo::INimboDevice* device) { m_device = device; }

    bool operator<(const QTreeWidgetItem& other) const override;

private:
    Nimbo::CDeviceInfo m_info;
    Nimbo::INimboDevice* m_device = nullptr;
};

// GUI thread only, except m_monitorMode, which the scan thread reads.
class ORBELT_EXPORT DeviceTreeWidget : public TreeWidgetBase {
    Q_OBJECT
    friend class AutoScanThread;

public:
    enum ETreeDeviceTypes { NoItem = 0, CameraItem = 1, OtherItem = 2 };

    DeviceTreeWidget(QWidget* parent = nullptr, bool monitorMode = false);
    ~DeviceTreeWidget() override;

    bool HasTL() const;
    void SetMonitorMode(bool monitorMode);
    void addDevice(const Nimbo::CDeviceInfo& info);
    bool autoScanEnabled() const { return m_autoScan; }
    QString getDeviceClassAt(const QPoint& point) const;
    const Nimbo::CDeviceInfo* getDeviceInfoAt(const QPoint& point) const;
    const Nimbo::INimboDevice* getDevicePointerAt(const QPoint& point) const;
    ETreeDeviceTypes getDeviceTypeAt(const QPoint& point) const;
    bool isDeviceTreeWidget(QWidget* widget) const;
    int selectedDevices(Nimbo::DeviceInfoList* list) const;
    unsigned setTooltipLevel(unsigned level);
    unsigned tooltipLevel() const { return m_tooltipLevel; }
    QSize sizeHint() const override;

    // The tool tip of a camera; device may be null (closed camera).
    static QString buildToolTip(const Nimbo::CDeviceInfo& info, Nimbo::INimboDevice* device, unsigned level);

signals:
    void currentDeviceChanged(const Nimbo::CDeviceInfo*);
    void deviceOpenRequest();
    void deviceRemoved(const Nimbo::CDeviceInfo*, bool);
    void deviceDetected(const Nimbo::CDeviceInfo*);
    void deviceClose(const Nimbo::CDeviceInfo*);
    void deviceListChanged();
    void pollingStateChanged(bool);
    void itemSelectionChanged();

public slots:
    void onActionRefresh();
    void refresh(bool dumpResults);
    void setRefreshButtonEnabled(bool enable);
    void setAutoScanEnabled(bool enable);
    void onSurpriseRemoved(QString fullName, QString friendlyName);
    void onOpenDevice(Nimbo::INimboDevice* device);
    void onCloseDevice(Nimbo::INimboDevice* device);
    bool selectByName(const QString& itemName, bool exactMatch);
    void selectByNameAsync(const QString& itemName, bool exactMatch);
    void selectByInfo(const Nimbo::CDeviceInfo& info);
    void onCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void onItemActivated(QTreeWidgetItem* item, int column);
    void deviceScanStarted();
    void deviceScanFinished();
    void startAutoScan();
    void on_checkBoxPolling_clicked();

protected:
    void setInfoText(const QString& text);
    void updateAllToolTips();
    QTreeView* treeView() override;
    void onSaveState(QDataStream& stream) override;
    void onRestoreState(QDataStream& stream) override;

private:
    void setupUi();
    void updateTransportLayers();
    // A copy of the enumeration result, taken under the data lock; the tree is changed without it.
    std::vector<DeviceTreeData::Entry> dataEntries();
    // Both collect what they changed; the caller signals it once the whole tree is up to date.
    int addDevices(const Nimbo::DeviceInfoList& list, QTreeWidgetItem* tlItem, QStringList& added);
    int removeTaggedItems(QTreeWidgetItem* tlItem, QList<QTreeWidgetItem*>& removed);
    // Takes the camera out of the tree and hands it over; null when a receiver of the current item or
    // selection that it moved first took the camera out already.
    QTreeWidgetItem* takeOut(QTreeWidgetItem* tlItem, const QString& fullName);
    DeviceTreeWidgetItem* findCamera(const QString& fullName) const;
    QTreeWidgetItem* itemAt(const QPoint& point) const;

    QTreeWidget* m_tree = nullptr;
    QLabel* m_lblStatus = nullptr;
    QCheckBox* m_checkBoxPolling = nullptr;
    QToolButton* m_toolButton = nullptr;

    bool m_refreshButtonEnabled = true;
    bool m_autoScan = true;
    unsigned m_tooltipLevel = 0;
    DeviceTreeData m_data;
    AutoScanThread* m_scanThread = nullptr;
    QTimer* m_autoScanTimer = nullptr;
    std::atomic<bool> m_monitorMode{false};
    bool m_waitCursor = true;
    bool m_cursorOverridden = false;
    bool m_autoOpenExact = true;
    QString m_autoOpenName;
    bool m_selectionByProgram = false;
    unsigned m_openedCount = 0;
    unsigned m_closedCount = 0;
};
