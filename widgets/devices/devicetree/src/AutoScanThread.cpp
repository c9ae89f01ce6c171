// The device tree's scan thread and the enumeration it runs.
#include "orbelt/AutoScanThread.h"

#include "orbelt/DeviceTreeWidget.h"
#include "orbelt/Helpers.h"

#include <nimbo/DeviceEnumeration.h>

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
        warnCurrentException("DeviceTreeData::refreshDeviceTreeData");
    };
    std::vector<Entry> fresh = Nimbo::EnumerateTlsAndDevices(how);
    data.entries.swap(fresh);
}

// ---------------------------------------------------------------------------------------------------

AutoScanThread::AutoScanThread(DeviceTreeWidget* widget)
    : ScanThread(ScanLoop::OptionRule::AnyRequest), m_widget(widget)
{
    setObjectName(QStringLiteral("AutoScanThread"));
}

AutoScanThread::~AutoScanThread()
{
    stop();
}

void AutoScanThread::doScanAsync(bool dumpResults)
{
    m_loop.request(dumpResults);
}

bool AutoScanThread::stop()
{
    // Also when the thread has ended already: the stop takes over what it did.
    if (!m_loop.stop(*this, 10000)) {
        qCritical("Termination of DeviceScanThread timed out");
        // Waits for a scan that is handing its result over; the widget goes after this.
        std::lock_guard<std::mutex> lock(m_widgetMutex);
        m_widget = nullptr;
        return false;
    }
    return true;
}

void AutoScanThread::run()
{
    qDebug("DeviceScanThread started with threadid %u",
           static_cast<unsigned>(reinterpret_cast<quintptr>(QThread::currentThreadId())));
    runScans(
        [this](bool dump) {
            bool monitorMode = false;
            {
                std::lock_guard<std::mutex> widgetLock(m_widgetMutex);
                // Gone only after a stop that timed out: the loop ends after this turn.
                if (!m_widget)
                    return;
                monitorMode = m_widget->m_monitorMode.load();
            }
            DeviceTreeData::refreshDeviceTreeData(m_data, monitorMode, false, dump);
            std::lock_guard<std::mutex> widgetLock(m_widgetMutex);
            if (m_widget) {
                std::lock_guard<std::mutex> dataLock(m_widget->m_data.mutex);
                m_data.entries.swap(m_widget->m_data.entries);
            }
        },
        [] {
            qWarning("DeviceScanThread: Failed to enumerate devices");
            warnCurrentException("AutoScanThread::run");
        });
    qDebug("DeviceScanThread ended");
}
