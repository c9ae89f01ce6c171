// The background thread that enumerates all transport layers and their cameras whenever it is woken.
#pragma once

#include <brasko/ScanLoop.h>
#include <nimbo/DeviceInfo.h>

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

class DeviceManager;

// The program's own scan thread; the widget library has a scan thread of the same name for its
// device tree, so this one lives in the program's namespace.

// One entry per transport layer, in the factory's order.
using ScanResult = std::vector<std::pair<Nimbo::CTlInfo, Nimbo::DeviceInfoList>>;

namespace kalmuth {

// Threads: the requests and their verbose flag wait in m_loop, written by the GUI thread (wake, stop)
// and read by the scan thread; of the wakes that wait for one scan the last one's flag holds (a timer's
// quiet wake after a verbose one asks for a quiet scan). The fresh result of a scan belongs to the scan
// thread until it is exchanged with the manager's under the manager's result mutex. m_manager is
// guarded by m_managerMutex: a stop that times out clears it, so a scan still running afterwards never
// reaches the manager that is being destroyed (lock order: m_managerMutex, then the manager's result
// mutex).
class AutoScanThread : public ScanThread {
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

protected:
    void run() override;

private:
    std::mutex m_managerMutex;
    DeviceManager* m_manager;
    const Enumerator m_enumerator;
};

} // namespace kalmuth
