// The background scan thread of device discovery.
#include "AutoScanThread.h"

#include "DeviceManager.h"

#include <GenICam/GenericException.h>
#include <nimbo/DeviceEnumeration.h>

#include <QtGlobal>

#include <exception>
#include <string>
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
    // Without a failure handler the first transport layer that fails ends the scan, which then reports it.
    Nimbo::TlEnumeration how;
    if (verbose)
        how.report = [](const std::string& line) { qDebug("%s", line.c_str()); };
    return Nimbo::EnumerateTlsAndDevices(how);
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
