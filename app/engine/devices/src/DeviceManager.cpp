// Device discovery: periodic background scans and the automatic choice of the camera to open.
#include "DeviceManager.h"

#include <nimbo/TlFactory.h>

#include <QTimer>

#include <algorithm>

namespace {
const char* const kAutoOpenDeviceClass = "VelmarUsb";
}

DeviceManager::DeviceManager(int scanPeriodSeconds, kalmuth::AutoScanThread::Enumerator enumerator)
    : QObject(nullptr), m_scanPeriodSeconds(scanPeriodSeconds)
{
    // Receivers may connect across threads.
    qRegisterMetaType<const Nimbo::CDeviceInfo*>("const Nimbo::CDeviceInfo*");
    m_scanThread = new kalmuth::AutoScanThread(this, std::move(enumerator));
    connect(m_scanThread, &kalmuth::AutoScanThread::scanFinished, this, &DeviceManager::onScanFinished);
    m_scanThread->start(QThread::InheritPriority);
    setAutoScan(true);
    connect(this, &DeviceManager::deviceListChanged, this, &DeviceManager::onDeviceListChanged);
}

DeviceManager::~DeviceManager()
{
    setAutoScan(false);
    if (m_scanThread->stop())
        delete m_scanThread;
    // A thread that did not end in time is left alive rather than destroyed while it runs.
    qDeleteAll(m_items);
    m_items.clear();
}

void DeviceManager::setAutoScan(bool enable)
{
    if (!enable) {
        delete m_scanTimer;
        m_scanTimer = nullptr;
        m_autoScanEnabled = false;
        return;
    }
    if (!m_scanTimer) {
        m_scanTimer = new QTimer();
        connect(m_scanTimer, &QTimer::timeout, this, &DeviceManager::startAutoScan);
        m_scanTimer->start(m_scanPeriodSeconds * 1000);
    }
    m_autoScanEnabled = true;
}

void DeviceManager::startAutoScan()
{
    m_scanThread->wake(false);
}

void DeviceManager::startScan(bool verbose)
{
    m_scanThread->wake(verbose);
}

bool DeviceManager::getCurrentDevice(Nimbo::DeviceInfoList& list) const
{
    for (DeviceManagerItem* item : m_items) {
        if (item->isInUse()) {
            list.push_back(item->deviceInfo());
            return true;
        }
    }
    return false;
}

void DeviceManager::exchangeScanResult(ScanResult& result)
{
    std::lock_guard<std::mutex> lock(m_resultMutex);
    m_scanResult.swap(result);
}

DeviceManagerItem* DeviceManager::findItem(const QString& fullName) const
{
    for (DeviceManagerItem* item : m_items)
        if (item->fullName() == fullName)
            return item;
    return nullptr;
}

void DeviceManager::removeItem(DeviceManagerItem* item)
{
    m_items.removeOne(item);
    emit deviceRemoved(&item->deviceInfo(), false);
    delete item;
}

void DeviceManager::onOpenDevice(Nimbo::INimboDevice* device)
{
    if (!device)
        return;
    const Nimbo::CDeviceInfo& info = device->GetDeviceInfo();
    if (DeviceManagerItem* item = findItem(QString::fromLatin1(info.GetFullName().c_str()))) {
        item->setDeviceInfo(info);
        item->setDevice(device);
    }
    ++m_openCount;
    setAutoScan(false);
}

void DeviceManager::onCloseDevice(Nimbo::INimboDevice* device)
{
    if (!device)
        return;
    if (DeviceManagerItem* item = findItem(QString::fromLatin1(device->GetDeviceInfo().GetFullName().c_str())))
        item->setDevice(nullptr);
    // A close without a matching open must not drive the count below zero, which would keep the
    // periodic scan off for good.
    if (m_openCount > 0)
        --m_openCount;
    if (m_openCount == 0)
        setAutoScan(true);
}

void DeviceManager::onDeviceOpenFailed(QString strFullName)
{
    // Left in use, the item would keep the device chosen but never open: scans would find nothing
    // new, and not even replugging the camera would bring it back.
    if (DeviceManagerItem* item = findItem(strFullName)) {
        m_failed.append(item->deviceInfo());
        removeItem(item);
    }
}

void DeviceManager::onSurpriseRemoved(QString strFullName, QString /*strFriendlyName*/)
{
    if (DeviceManagerItem* item = findItem(strFullName))
        removeItem(item);
    // The removal has told the user already; the scans that find nothing afterwards keep that hint.
    if (m_items.isEmpty())
        m_emptyReported = true;
}

void DeviceManager::onScanFinished()
{
    // The scan thread may exchange the next result meanwhile; the signals below go out without its lock.
    ScanResult result;
    {
        std::lock_guard<std::mutex> lock(m_resultMutex);
        result = m_scanResult;
    }
    bool added = false;
    QList<Nimbo::CDeviceInfo> gone;
    for (const Nimbo::CDeviceInfo& failed : m_failed) {
        bool listed = false;
        for (const auto& entry : result)
            for (const Nimbo::CDeviceInfo& info : entry.second)
                listed = listed || info.GetFullName() == failed.GetFullName();
        if (!listed)
            gone.append(failed);
    }
    m_failed.clear();
    for (const auto& entry : result) {
        for (const Nimbo::CDeviceInfo& info : entry.second) {
            if (findItem(QString::fromLatin1(info.GetFullName().c_str())))
                continue;
            auto* item = new DeviceManagerItem(info);
            m_items.append(item);
            added = true;
            emit deviceDetected(&item->deviceInfo());
        }
    }
    for (const Nimbo::CDeviceInfo& info : gone)
        emit failedDeviceGone(&info);
    // Emitted after unlocking: its receivers start the automatic choice and may scan again.
    if (added) {
        m_emptyReported = false;
        emit deviceListChanged();
    } else if (m_items.isEmpty() && !m_emptyReported) {
        // No camera at all: nothing new means no automatic choice either, so the user is told here,
        // once, until cameras appear again.
        m_emptyReported = true;
        emit noDevicesFound();
    }
}

void DeviceManager::onDeviceListChanged()
{
    DeviceManagerItem* chosen = nullptr;
    for (DeviceManagerItem* item : m_items) {
        if (!item->isInUse() && item->deviceInfo().GetDeviceClass() == kAutoOpenDeviceClass) {
            chosen = item;
            break;
        }
    }
    if (!chosen) {
        emit noDevicesFound();
        return;
    }
    // One camera at a time. A scan that was under way while the chosen camera opened may come back with
    // another; opened beside it and made current, it would take the commands while the tool bar and the
    // settings panel stay with the first. It is dropped instead, so that the scan after the first camera
    // has gone finds it as new and opens it.
    const auto isInUse = [](const DeviceManagerItem* item) { return item->isInUse(); };
    if (std::any_of(m_items.cbegin(), m_items.cend(), isInUse)) {
        const QList<DeviceManagerItem*> items = m_items;
        for (DeviceManagerItem* item : items) {
            if (!item->isInUse() && item->deviceInfo().GetDeviceClass() == kAutoOpenDeviceClass)
                removeItem(item);
        }
        return;
    }
    chosen->setInUse(true);
    const bool accessible =
        Nimbo::CTlFactory::GetInstance().IsDeviceAccessible(chosen->deviceInfo(), Nimbo::AccessModeSet(Nimbo::Control));
    if (!accessible) {
        emit deviceInUse(&chosen->deviceInfo());
        // Dropped so that a later scan finds it as new and tries it again.
        removeItem(chosen);
        return;
    }
    emit currentDeviceChanged(&chosen->deviceInfo());
    emit deviceOpenRequest();
}
