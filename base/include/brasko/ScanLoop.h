// The loop of a background scan thread: it sleeps until a scan is asked for, runs it between a start
// and an end the thread reports, and ends when asked to; and the scan thread built on it.
#pragma once

#include "brasko/Export.h"

#include <QThread>

#include <condition_variable>
#include <functional>
#include <mutex>

// Threads: request, requestStop and stop come from any thread (the owner's, in practice); run is the
// body of the scan thread. The stop, pending and option flags belong to m_mutex. A request made while
// a scan runs is kept, so it is served by one further scan, however many requests came meanwhile.
// What the scan thread wrote before run returned is the stopper's once stop has seen the thread end.
class BRASKO_EXPORT ScanLoop {
public:
    // How the options of requests that wait for the same scan add up.
    enum class OptionRule {
        LastRequest, // the last request's option holds
        AnyRequest   // the option holds when any of the requests asked for it
    };

    // What one turn of the loop does, in this order: started, scan, finished. A scan that throws is
    // reported by failed, called inside the exception's handler (so `throw;` reaches the exception);
    // finished follows all the same and the loop goes on waiting.
    struct Steps {
        std::function<void()> started;
        std::function<void(bool option)> scan;
        std::function<void()> failed;
        std::function<void()> finished;
    };

    explicit ScanLoop(OptionRule rule);
    ScanLoop(const ScanLoop&) = delete;
    ScanLoop& operator=(const ScanLoop&) = delete;

    // Asks for one scan with the option (what the scan logs, for instance).
    void request(bool option);
    // Asks run to return; a scan under way finishes first.
    void requestStop();
    // Asks the thread that runs the loop to end and waits up to timeoutMs for it; false on time-out.
    // After a true result, what the thread did is seen by the caller (and the thread checker knows it).
    bool stop(QThread& thread, unsigned long timeoutMs);

    // Serves requests until a stop is asked for; a stop asked for before it is called ends it at once.
    void run(const Steps& steps);

private:
    const OptionRule m_rule;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_stopRequested = false;
    bool m_pending = false;
    bool m_option = false;
};

// The common part of the scan threads: the loop and the signals around each scan. The class built on
// it says what a scan does and how a failing one is reported, and logs its thread's start and end.
// Threads: scanStarted() and scanFinished() are emitted by the scan thread; m_loop is thread-safe.
class BRASKO_EXPORT ScanThread : public QThread {
    Q_OBJECT
signals:
    void scanStarted();
    void scanFinished();

protected:
    explicit ScanThread(ScanLoop::OptionRule rule);
    // The body of run(): serves requests until a stop, emitting scanStarted() before each scan and
    // scanFinished() after it, also after one that failed.
    void runScans(std::function<void(bool option)> scan, std::function<void()> failed);

    ScanLoop m_loop;
};
