// The device tree panel: transport layers with their cameras, kept current by a background scan.
#pragma once

#include "orbelt/AutoScanThread.h"
#include "orbelt/DeviceTreeWidgetItem.h"
#include "orbelt/Export.h"
#include "orbelt/TreeWidgetBase.h"

#include <nimbo/DeviceInfo.h>

#include <QString>
#include <QStringList>
#include <QTreeWidgetItem>

#include <atomic>
#include <memory>
#include <vector>

class QTimer;
class QPoint;

namespace Ui {
class DeviceTreeWidgetClass;
}

namespace Nimbo {
class INimboDevice;
}

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

    // The form's parts; its own slot on_checkBoxPolling_clicked() is connected by name.
    const std::unique_ptr<Ui::DeviceTreeWidgetClass> m_form;

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
