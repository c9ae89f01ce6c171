// The SDK thread that delivers notices (device removal) to the user, one after the other.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace Nimbo {
namespace emulation {

// Threads: post() from any thread; the tasks run on the event thread, which owns nothing else.
// m_tasks and m_stop are guarded by m_mutex.
class EventThread {
public:
    static EventThread& instance();
    void post(std::function<void()> task);
    // Waits until every task posted so far has run (for orderly shut-down and tests).
    void drain();
    ~EventThread();

private:
    EventThread();
    void run();
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_tasks;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace emulation
} // namespace Nimbo
