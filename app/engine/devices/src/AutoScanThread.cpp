// The background scan thread of device discovery.
#include "AutoScanThread.h"

#include "DeviceManager.h"

#include <GenICam/CaughtException.h>
#include <nimbo/DeviceEnumeration.h>

#include <QtGlobal>

#include <string>
#include <unistd.h>
#include <sys/syscall.h>

namespace kalmuth {

AutoScanThread::AutoScanThread(DeviceManager* manager, Enumerator enumerator)
    : ScanThread(ScanLoop::OptionRule::LastRequest), m_manager(manager), m_enumerator(std::move(enumerator))
{
}

AutoScanThread::~AutoScanThread()
{
    // Also when the thread has ended already: the stop takes over what it did.
    stop();
}

void AutoScanThread::wake(bool verbose)
{
    m_loop.request(verbose);
}

bool AutoScanThread::stop(unsigned long timeoutMs)
{
    if (!m_loop.stop(*this, timeoutMs)) {
        qCritical("Termination of AutoScanThread timed out");
        {
            // Waits for a scan that is handing its result over; later scans find no manager.
            std::lock_guard<std::mutex> lock(m_managerMutex);
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
    runScans(
        [this](bool verbose) {
            ScanResult fresh = m_enumerator(verbose);
            std::lock_guard<std::mutex> lock(m_managerMutex);
            if (m_manager)
                m_manager->exchangeScanResult(fresh);
        },
        // The manager's result stays as it was.
        [] {
            qWarning("AutoScanThread: Failed to enumerate devices");
            qWarning("%s: %s", "AutoScanThread::run", GenICam::CaughtException::Current().What());
        });
    qDebug("AutoScanThread ended");
}

} // namespace kalmuth
