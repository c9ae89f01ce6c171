// Device discovery: periodic background scans and the automatic choice of the camera to open.
#pragma once

#include "AutoScanThread.h"
#include "DeviceManagerItem.h"

#include <nimbo/DeviceInfo.h>
#include <nimbo/NimboDevice.h>

#include <QList>
#include <QObject>
#include <QString>

#include <mutex>

class QTimer;

// Threads: the scan result is exchanged by the scan thread and read by the GUI thread, both under
// m_resultMutex. Everything else (items, timer, open count, signals) belongs to the GUI thread; the
// scan thread reaches it only through the queued scanFinished() connection.
class DeviceManager : public QObject {
    Q_OBJECT
public:
    explicit DeviceManager(int scanPeriodSeconds,
                           kalmuth::AutoScanThread::Enumerator enumerator = &kalmuth::AutoScanThread::enumerate);
    ~DeviceManager() override;

    void setAutoScan(bool enable);
    bool isAutoScanEnabled() const { return m_autoScanEnabled; }
    // True while the periodic scan timer exists.
    bool isPeriodicScanRunning() const { return m_scanTimer != nullptr; }
    int scanPeriodSeconds() const { return m_scanPeriodSeconds; }
    // Wakes the scan thread; verbose logs what it finds.
    void startScan(bool verbose);
    // Appends the device info of the item that the automatic choice took; false when there is none.
    bool getCurrentDevice(Nimbo::DeviceInfoList& list) const;
    const QList<DeviceManagerItem*>& items() const { return m_items; }
    int openCount() const { return m_openCount; }
    kalmuth::AutoScanThread* scanThread() const { return m_scanThread; }

    // Hands the scan thread's fresh result in and the old one out.
    void exchangeScanResult(ScanResult& result);

signals:
    void currentDeviceChanged(const Nimbo::CDeviceInfo* info);
    void deviceOpenRequest();
    void deviceRemoved(const Nimbo::CDeviceInfo* info, bool);
    void deviceDetected(const Nimbo::CDeviceInfo* info);
    void deviceClose();
    void deviceListChanged();
    void deviceInUse(const Nimbo::CDeviceInfo* info);
    void noDevicesFound();
    // A device whose open failed is no longer listed by a scan (unplugged): what was told of it goes.
    void failedDeviceGone(const Nimbo::CDeviceInfo* info);

public slots:
    void onSurpriseRemoved(QString strFullName, QString strFriendlyName);
    void onOpenDevice(Nimbo::INimboDevice* device);
    void onCloseDevice(Nimbo::INimboDevice* device);
    // The open of the device with this full name failed: its item goes, so that the next scan finds
    // the device as new and the automatic choice tries it again.
    void onDeviceOpenFailed(QString strFullName);
    void startAutoScan();
    void onDeviceListChanged();
    void onScanFinished();

private:
    DeviceManagerItem* findItem(const QString& fullName) const;
    void removeItem(DeviceManagerItem* item);

    bool m_autoScanEnabled = true;
    int m_scanPeriodSeconds;
    std::mutex m_resultMutex;
    ScanResult m_scanResult;
    kalmuth::AutoScanThread* m_scanThread = nullptr;
    QTimer* m_scanTimer = nullptr;
    QList<DeviceManagerItem*> m_items;
    int m_openCount = 0;
    // noDevicesFound() has told the user that no camera exists, or a removal has told it otherwise.
    bool m_emptyReported = false;
    // The devices whose open failed, by full name, until a scan lists them again or no longer.
    QList<Nimbo::CDeviceInfo> m_failed;
};

Q_DECLARE_METATYPE(const Nimbo::CDeviceInfo*)
