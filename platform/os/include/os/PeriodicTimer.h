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

// Threads: start/stop may be called from any thread, stop also from inside the tick callback (then
// it does not join itself; the thread ends after the callback returns). The callback runs on the
// timer's thread. The state shared with the thread lives in a record the thread co-owns, so a thread
// that was stopped from its own tick may outlive this object safely. m_thread is touched only under
// m_controlMutex.
class PeriodicTimer {
public:
    using Callback = std::function<void()>;

    PeriodicTimer() = default;
    ~PeriodicTimer();
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;

    // Starts ticking every periodMs (> 0); a running timer is stopped first. False for a period of 0
    // or an empty callback, or when no thread could be made.
    bool start(uint32_t periodMs, Callback callback);
    // Stops ticking; when called from another thread, waits until a tick in progress has ended.
    void stop();
    bool isRunning() const;

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable wake;
        uint64_t generation = 0; // changes at every start and stop; a thread runs while it owns the current one
        bool running = false;
    };
    static void run(std::shared_ptr<Shared> shared, uint64_t generation, std::chrono::milliseconds period,
                    Callback callback);

    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();

    std::mutex m_controlMutex;
    std::thread m_thread;
};

} // namespace os
