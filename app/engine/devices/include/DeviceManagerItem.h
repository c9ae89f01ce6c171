// One camera that device discovery has found: its device info, keyed by full name.
#pragma once

#include <nimbo/DeviceInfo.h>
#include <nimbo/NimboDevice.h>

#include <QObject>
#include <QString>

// Threads: created, changed and deleted only on the GUI thread by the DeviceManager.
class DeviceManagerItem : public QObject {
    Q_OBJECT
public:
    explicit DeviceManagerItem(const Nimbo::CDeviceInfo& deviceInfo);

    const Nimbo::CDeviceInfo& deviceInfo() const { return m_deviceInfo; }
    void setDeviceInfo(const Nimbo::CDeviceInfo& deviceInfo) { m_deviceInfo = deviceInfo; }
    Nimbo::INimboDevice* device() const { return m_device; }
    void setDevice(Nimbo::INimboDevice* device) { m_device = device; }
    const QString& fullName() const { return m_fullName; }
    bool isInUse() const { return m_inUse; }
    void setInUse(bool inUse) { m_inUse = inUse; }
    bool isMarked() const { return m_marked; }
    void setMarked(bool marked) { m_marked = marked; }

private:
    Nimbo::CDeviceInfo m_deviceInfo;
    Nimbo::INimboDevice* m_device = nullptr;
    QString m_fullName;
    bool m_inUse = false;
    bool m_marked = false;
};
