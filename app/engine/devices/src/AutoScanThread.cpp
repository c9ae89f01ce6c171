// The background scan thread of device discovery.
#include "AutoScanThread.h"

#include "DeviceManager.h"

#include <GenICam/GenericException.h>
#include <nimbo/TlFactory.h>

#include <QtGlobal>

#include <exception>
#include <unistd.h>
#include <sys/syscall.h>

namespace kalmuth {

AutoScanThread::AutoScanThread(DeviceManager* manager, Enumerator enumerator)
    : QThread(nullptr), m_manager(manager), m_enumerator(std::move(enumerator))
{
}

AutoScanThread::~AutoScanThread()
{
    if (isRunning())
        stop();
}

void AutoScanThread::wake(bool verbose)
{
    QMutexLocker lock(&m_mutex);
    m_verbose = verbose;
    m_wakePending = true;
    m_condition.wakeAll();
}

bool AutoScanThread::stop(unsigned long timeoutMs)
{
    {
        QMutexLocker lock(&m_mutex);
        m_stopRequested = true;
        m_condition.wakeAll();
    }
    if (!wait(timeoutMs)) {
        qCritical("Termination of AutoScanThread timed out");
        {
            // Waits for a scan that is handing its result over; later scans find no manager.
            QMutexLocker lock(&m_managerMutex);
            m_manager = nullptr;
        }
        return false;
    }
    return true;
}

ScanResult AutoScanThread::enumerate(bool verbose)
{
    Nimbo::CTlFactory& factory = Nimbo::CTlFactory::GetInstance();
    Nimbo::TlInfoList tls;
    tls.reserve(5);
    factory.EnumerateTls(tls);
    ScanResult result;
    result.reserve(tls.size());
    for (const Nimbo::CTlInfo& tlInfo : tls) {
        result.emplace_back(tlInfo, Nimbo::DeviceInfoList());
        Nimbo::DeviceInfoList& devices = result.back().second;
        devices.reserve(3);
        Nimbo::ITransportLayer* tl = factory.CreateTl(tlInfo);
        if (!tl)
            continue;
        try {
            tl->EnumerateDevices(devices);
        } catch (...) {
            // The transport layer goes back to the factory before the scan reports the failure.
            factory.ReleaseTl(tl);
            throw;
        }
        if (verbose) {
            qDebug("Enumerated '%s' and found %lu devices.", tlInfo.GetFriendlyName().c_str(),
                   static_cast<unsigned long>(devices.size()));
            for (const Nimbo::CDeviceInfo& device : devices)
                qDebug("    Found '%s'", device.GetFriendlyName().c_str());
        }
        factory.ReleaseTl(tl);
    }
    return result;
}

void AutoScanThread::run()
{
    qDebug("AutoScanThread started with thread id %u", static_cast<unsigned>(::syscall(SYS_gettid)));
    for (;;) {
        bool verbose = false;
        {
            QMutexLocker lock(&m_mutex);
            while (!m_stopRequested && !m_wakePending)
                m_condition.wait(&m_mutex);
            if (m_stopRequested)
                break;
            m_wakePending = false;
            verbose = m_verbose;
            m_verbose = false;
        }
        emit scanStarted();
        try {
            ScanResult fresh = m_enumerator(verbose);
            QMutexLocker lock(&m_managerMutex);
            if (m_manager)
                m_manager->exchangeScanResult(fresh);
        } catch (const GenICam::GenericException& e) {
            qWarning("AutoScanThread: Failed to enumerate devices");
            qWarning("%s: %s", "AutoScanThread::run", e.what());
        } catch (const std::exception& e) {
            qWarning("AutoScanThread: Failed to enumerate devices");
            qWarning("%s: %s", "AutoScanThread::run", e.what());
        } catch (...) {
            qWarning("AutoScanThread: Failed to enumerate devices");
            qWarning("%s: Unspecified exception occurred.", "AutoScanThread::run");
        }
        emit scanFinished();
    }
    qDebug("AutoScanThread ended");
}

} // namespace kalmuth
