// A periodic timer on a thread of its own, ticking at absolute deadlines so that the period holds
// over time however long each tick takes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace os {

// Threads: start and stop may be called from any thread, also from inside the tick callback and at
// the same time as the owner's thread calls them or destroys the timer. A call from another thread
// waits until a tick in progress has ended; a call from the timer's own thread never waits for it:
// a stop there lets the thread end after the callback returns, a start there goes on ticking on the
// same thread with the new period and callback. The callback runs on the timer's thread, never on two
// threads at once (a new thread waits for the tick of one that is still ending).
// The destructor waits for the start and stop calls other threads have begun (they may be waiting
// for a thread and come back to the timer afterwards), unless it runs in a tick, which such a call
// may be waiting for. m_thread, m_threadNumber and m_closing are touched only under m_controlMutex,
// which no call holds while it waits for a thread. The state shared with the thread lives in a
// record the thread co-owns, so a thread whose timer was destroyed from its own tick may outlive this
// object safely.
class PeriodicTimer {
public:
    using Callback = std::function<void()>;

    PeriodicTimer() = default;
    ~PeriodicTimer();
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;

    // Starts ticking every periodMs (> 0); a running timer is stopped first. False for a period of 0
    // or an empty callback, when no thread could be made, or while the timer is being destroyed.
    bool start(uint32_t periodMs, Callback callback);
    // Stops ticking; when called from another thread, waits until a tick in progress has ended.
    void stop();
    bool isRunning() const;

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable wake;
        uint64_t runner = 0;      // the number of the thread that is to tick; 0 when stopped
        uint64_t threadCount = 0; // numbers given to threads so far
        uint64_t settings = 0;    // changes at every start; the runner then takes the new period and callback
        std::chrono::milliseconds period{0};
        Callback callback;      // until the runner takes it
        std::thread::id ticker; // the thread in the callback; none between ticks
        int calls = 0;          // start and stop calls in progress
        std::condition_variable callsEnded;
    };
    class Call;
    static void run(std::shared_ptr<Shared> shared, uint64_t number);
    // Stops the runner, under the control lock; returns the thread to be joined outside it (none when
    // called from the timer's own thread, which cannot join itself).
    std::thread stopLocked();

    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();

    std::mutex m_controlMutex;
    std::thread m_thread;
    uint64_t m_threadNumber = 0; // m_thread's number in Shared::runner
    bool m_closing = false;      // the destructor has begun: no thread may start any more
};

} // namespace os
