// The device tree's scan thread and the enumeration it runs.
#include "orbelt/AutoScanThread.h"

#include "orbelt/DeviceTreeWidget.h"
#include "orbelt/Helpers.h"

#include <nimbo/TlFactory.h>

#include <GenICam/GenericException.h>

#include <QDebug>

bool DeviceTreeData::isGigeDeviceClass(const QString& deviceClass)
{
    return deviceClass == QLatin1String("VelmarGigE") ||
           deviceClass == QLatin1String("VelmarGenTLConsumer/ProducerGEV.cti");
}

void DeviceTreeData::refreshDeviceTreeData(DeviceTreeData& data, bool gigeOnly, bool transportLayersOnly,
                                           bool dumpResults)
{
    Nimbo::CTlFactory& factory = Nimbo::CTlFactory::GetInstance();
    Nimbo::TlInfoList tls;
    factory.EnumerateTls(tls);
    std::vector<Entry> fresh;
    fresh.reserve(5);
    for (const Nimbo::CTlInfo& tl : tls) {
        if (gigeOnly && !isGigeDeviceClass(QString::fromUtf8(tl.GetDeviceClass().c_str())))
            continue;
        Entry entry(tl, Nimbo::DeviceInfoList());
        if (!transportLayersOnly) {
            Nimbo::ITransportLayer* transportLayer = nullptr;
            try {
                transportLayer = factory.CreateTl(tl);
                if (transportLayer) {
                    transportLayer->EnumerateDevices(entry.second, false);
                    if (dumpResults) {
                        qDebug("Enumerated '%s' and found %lu devices.", tl.GetFriendlyName().c_str(),
                               static_cast<unsigned long>(entry.second.size()));
                        for (const Nimbo::CDeviceInfo& device : entry.second)
                            qDebug("    Found '%s'", device.GetFriendlyName().c_str());
                    }
                }
            } catch (const GenICam::GenericException& e) {
                qWarning("Failed to enumerate devices for %s.", tl.GetDeviceClass().c_str());
                qWarning().nospace().noquote() << "DeviceTreeData::refreshDeviceTreeData"
                                               << ": " << e;
            } catch (const std::exception& e) {
                qWarning("Failed to enumerate devices for %s.", tl.GetDeviceClass().c_str());
                qWarning().nospace().noquote() << "DeviceTreeData::refreshDeviceTreeData"
                                               << ": " << e;
            } catch (...) {
                qWarning("Failed to enumerate devices for %s.", tl.GetDeviceClass().c_str());
                qWarning("%s: Unspecified exception occurred.", "DeviceTreeData::refreshDeviceTreeData");
            }
            if (transportLayer)
                factory.ReleaseTl(transportLayer);
        }
        fresh.push_back(std::move(entry));
    }
    data.entries.swap(fresh);
}

// ---------------------------------------------------------------------------------------------------

AutoScanThread::AutoScanThread(DeviceTreeWidget* widget) : m_widget(widget)
{
    setObjectName(QStringLiteral("AutoScanThread"));
}

AutoScanThread::~AutoScanThread()
{
    stop();
}

void AutoScanThread::doScanAsync(bool dumpResults)
{
    QMutexLocker lock(&m_mutex);
    m_dumpResults = m_dumpResults || dumpResults;
    m_pending = true;
    m_condition.wakeAll();
}

bool AutoScanThread::stop()
{
    if (!isRunning())
        return true;
    {
        QMutexLocker lock(&m_mutex);
        m_stop = true;
        m_condition.wakeAll();
    }
    if (!wait(10000)) {
        qCritical("Termination of DeviceScanThread timed out");
        // Waits for a scan that is handing its result over; the widget goes after this.
        QMutexLocker lock(&m_widgetMutex);
        m_widget = nullptr;
        return false;
    }
    return true;
}

void AutoScanThread::run()
{
    qDebug("DeviceScanThread started with threadid %u",
           static_cast<unsigned>(reinterpret_cast<quintptr>(QThread::currentThreadId())));
    for (;;) {
        bool dump = false;
        {
            QMutexLocker lock(&m_mutex);
            // The pending flag keeps a request that came while no one was waiting.
            while (!m_stop && !m_pending)
                m_condition.wait(&m_mutex);
            if (m_stop)
                break;
            m_pending = false;
            dump = m_dumpResults;
            m_dumpResults = false;
        }
        bool monitorMode = false;
        {
            QMutexLocker widgetLock(&m_widgetMutex);
            if (!m_widget)
                break;
            monitorMode = m_widget->m_monitorMode.load();
        }
        emit scanStarted();
        try {
            DeviceTreeData::refreshDeviceTreeData(m_data, monitorMode, false, dump);
            QMutexLocker widgetLock(&m_widgetMutex);
            if (m_widget) {
                QMutexLocker dataLock(&m_widget->m_data.mutex);
                m_data.entries.swap(m_widget->m_data.entries);
            }
        } catch (const GenICam::GenericException& e) {
            qWarning("DeviceScanThread: Failed to enumerate devices");
            qWarning().nospace().noquote() << "AutoScanThread::run"
                                           << ": " << e;
        } catch (const std::exception& e) {
            qWarning("DeviceScanThread: Failed to enumerate devices");
            qWarning().nospace().noquote() << "AutoScanThread::run"
                                           << ": " << e;
        } catch (...) {
            qWarning("DeviceScanThread: Failed to enumerate devices");
            qWarning("%s: Unspecified exception occurred.", "AutoScanThread::run");
        }
        emit scanFinished();
    }
    qDebug("DeviceScanThread ended");
}
