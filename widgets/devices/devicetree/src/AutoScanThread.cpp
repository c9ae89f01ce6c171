// The device tree's scan thread and the enumeration it runs.
#include "orbelt/AutoScanThread.h"

#include "orbelt/DeviceTreeWidget.h"
#include "orbelt/Helpers.h"

#include <nimbo/DeviceEnumeration.h>

#include <GenICam/GenericException.h>

#include <QDebug>

#include <exception>
#include <string>

bool DeviceTreeData::isGigeDeviceClass(const QString& deviceClass)
{
    return deviceClass == QLatin1String("VelmarGigE") ||
           deviceClass == QLatin1String("VelmarGenTLConsumer/ProducerGEV.cti");
}

void DeviceTreeData::refreshDeviceTreeData(DeviceTreeData& data, bool gigeOnly, bool transportLayersOnly,
                                           bool dumpResults)
{
    Nimbo::TlEnumeration how;
    if (gigeOnly)
        how.accept = [](const Nimbo::CTlInfo& tl) {
            return isGigeDeviceClass(QString::fromUtf8(tl.GetDeviceClass().c_str()));
        };
    how.devices = !transportLayersOnly;
    if (dumpResults)
        how.report = [](const std::string& line) { qDebug("%s", line.c_str()); };
    // A transport layer that fails keeps what it listed; the others are still asked.
    how.failed = [](const Nimbo::CTlInfo& tl) {
        qWarning("Failed to enumerate devices for %s.", tl.GetDeviceClass().c_str());
        try {
            throw;
        } catch (const GenICam::GenericException& e) {
            qWarning().nospace().noquote() << "DeviceTreeData::refreshDeviceTreeData"
                                           << ": " << e;
        } catch (const std::exception& e) {
            qWarning().nospace().noquote() << "DeviceTreeData::refreshDeviceTreeData"
                                           << ": " << e;
        } catch (...) {
            qWarning("%s: Unspecified exception occurred.", "DeviceTreeData::refreshDeviceTreeData");
        }
    };
    std::vector<Entry> fresh = Nimbo::EnumerateTlsAndDevices(how);
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
