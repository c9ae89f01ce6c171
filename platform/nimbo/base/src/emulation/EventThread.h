// A thread of the SDK that runs tasks one after the other: the event thread, which delivers notices
// (device removal) to the user, and any other that must keep its tasks off the threads of its callers.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace Nimbo {
namespace emulation {

// Threads: post() from any thread; the tasks run on the event thread, which owns nothing else.
// m_tasks and m_stop are guarded by m_mutex. Destroying it runs the tasks still posted first.
class EventThread {
public:
    // The event thread.
    static EventThread& instance();
    EventThread();
    void post(std::function<void()> task);
    // Waits until every task posted so far has run (for orderly shut-down and tests).
    void drain();
    ~EventThread();

private:
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
