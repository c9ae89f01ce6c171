// The background thread that enumerates all transport layers and their cameras whenever it is woken.
#pragma once

#include <nimbo/DeviceInfo.h>

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <functional>

#include <utility>
#include <vector>

class DeviceManager;

// The program's own scan thread; the widget library has a scan thread of the same name for its
// device tree, so this one lives in the program's namespace.

// One entry per transport layer, in the factory's order.
using ScanResult = std::vector<std::pair<Nimbo::CTlInfo, Nimbo::DeviceInfoList>>;

namespace kalmuth {

// Threads: m_stopRequested and m_verbose are guarded by m_mutex and written by the GUI thread
// (wake, stop) and read by the scan thread; the fresh result of a scan belongs to the scan thread
// until it is exchanged with the manager's under the manager's result mutex. m_manager is guarded by
// m_managerMutex: a stop that times out clears it, so a scan still running afterwards never reaches
// the manager that is being destroyed (lock order: m_managerMutex, then the manager's result mutex).
class AutoScanThread : public QThread {
    Q_OBJECT
public:
    using Enumerator = std::function<ScanResult(bool verbose)>;

    // The enumerator is what one scan runs; by default all transport layers of the SDK.
    explicit AutoScanThread(DeviceManager* manager, Enumerator enumerator = &AutoScanThread::enumerate);
    ~AutoScanThread() override;

    // Wakes the thread for one scan; verbose logs what the scan found.
    void wake(bool verbose);
    // Asks the thread to end and waits up to timeoutMs; false (and a critical message) on time-out.
    // After a time-out the thread no longer reaches its manager; it ends after its scan.
    bool stop(unsigned long timeoutMs = 10000);

    // Enumerates every transport layer and its cameras; used by the thread body.
    static ScanResult enumerate(bool verbose);

signals:
    void scanStarted();
    void scanFinished();

protected:
    void run() override;

private:
    QMutex m_mutex;
    QWaitCondition m_condition;
    QMutex m_managerMutex;
    DeviceManager* m_manager;
    const Enumerator m_enumerator;
    bool m_stopRequested = false;
    bool m_verbose = false;
    // A wake that arrived while a scan was running; keeps a request from getting lost.
    bool m_wakePending = false;
};

} // namespace kalmuth
