// Periodic timer thread with absolute deadlines.
#include "os/PeriodicTimer.h"

#include <system_error>

namespace os {

// Counts a start or stop in progress for the destructor. It keeps the shared record, so that the
// count may go down and be signalled after the timer's destructor has seen it at zero.
class PeriodicTimer::Call {
public:
    explicit Call(const std::shared_ptr<Shared>& shared) : m_shared(shared)
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        ++m_shared->calls;
    }
    ~Call()
    {
        {
            std::lock_guard<std::mutex> lock(m_shared->mutex);
            --m_shared->calls;
        }
        m_shared->callsEnded.notify_all();
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

private:
    const std::shared_ptr<Shared> m_shared;
};

PeriodicTimer::~PeriodicTimer()
{
    {
        std::lock_guard<std::mutex> control(m_controlMutex);
        m_closing = true;
    }
    stop();
    {
        // A call on another thread may have taken the ticking thread over and be waiting for it: it
        // comes back to this object once the tick has ended (and a start finds the timer closing).
        // From within a tick, that call may be waiting for this very thread.
        std::unique_lock<std::mutex> lock(m_shared->mutex);
        if (m_shared->ticker != std::this_thread::get_id())
            m_shared->callsEnded.wait(lock, [this] { return m_shared->calls == 0; });
    }
    std::lock_guard<std::mutex> control(m_controlMutex);
    // Destroyed from inside a tick: the thread sees that it is stopped and ends by itself.
    if (m_thread.joinable())
        m_thread.detach();
}

bool PeriodicTimer::start(uint32_t periodMs, Callback callback)
{
    if (periodMs == 0 || !callback)
        return false;
    const Call call(m_shared);
    for (;;) {
        std::thread ending;
        Callback replaced; // goes once no lock is held: it may hold the last reference to its owner
        {
            std::lock_guard<std::mutex> control(m_controlMutex);
            if (m_closing)
                return false;
            const bool ownThread = m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id();
            if (m_thread.joinable() && !ownThread) {
                // Another thread ticks: stop it and wait for it without the lock, then look again, as a
                // tick of that thread may have started the timer meanwhile.
                ending = stopLocked();
            } else {
                uint64_t number;
                {
                    std::lock_guard<std::mutex> lock(m_shared->mutex);
                    number = ownThread ? m_threadNumber : ++m_shared->threadCount;
                    replaced = std::move(m_shared->callback);
                    m_shared->callback = std::move(callback);
                    m_shared->period = std::chrono::milliseconds(periodMs);
                    ++m_shared->settings;
                    m_shared->runner = number;
                }
                // Started from inside a tick: the same thread goes on with the new settings once the
                // callback returns.
                if (ownThread)
                    return true;
                try {
                    m_thread = std::thread(&PeriodicTimer::run, m_shared, number);
                    m_threadNumber = number;
                } catch (const std::system_error&) {
                    std::lock_guard<std::mutex> lock(m_shared->mutex);
                    m_shared->runner = 0;
                    replaced = std::move(m_shared->callback);
                    return false;
                }
                return true;
            }
        }
        ending.join();
    }
}

std::thread PeriodicTimer::stopLocked()
{
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->runner = 0;
    }
    m_shared->wake.notify_all();
    // Stopped from inside a tick: the thread ends by itself after the callback; it stays in m_thread,
    // for the owner's next call to wait for.
    if (!m_thread.joinable() || m_thread.get_id() == std::this_thread::get_id())
        return std::thread();
    return std::move(m_thread);
}

void PeriodicTimer::stop()
{
    const Call call(m_shared);
    std::thread ending;
    {
        std::lock_guard<std::mutex> control(m_controlMutex);
        ending = stopLocked();
    }
    // Waited for without the lock, so that the tick may call start or stop meanwhile.
    if (ending.joinable())
        ending.join();
}

bool PeriodicTimer::isRunning() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->runner != 0;
}

void PeriodicTimer::run(std::shared_ptr<Shared> shared, uint64_t number)
{
    using Clock = std::chrono::steady_clock;
    Callback callback;
    std::chrono::milliseconds period{0};
    uint64_t settings = 0;
    Clock::time_point deadline;
    for (;;) {
        Callback replaced; // goes after the lock, like the callbacks start replaces
        {
            std::unique_lock<std::mutex> lock(shared->mutex);
            if (shared->runner != number)
                return;
            if (shared->settings != settings) {
                settings = shared->settings;
                period = shared->period;
                replaced = std::move(callback);
                callback = std::move(shared->callback);
                deadline = Clock::now() + period;
            }
            if (shared->wake.wait_until(lock, deadline,
                                        [&] { return shared->runner != number || shared->settings != settings; }))
                continue;
            // A thread stopped by the owner while its tick started this one may still be in that tick:
            // ticks never overlap.
            shared->wake.wait(lock, [&] { return shared->ticker == std::thread::id() || shared->runner != number; });
            if (shared->runner != number)
                return;
            shared->ticker = std::this_thread::get_id();
        }
        callback();
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            shared->ticker = std::thread::id();
        }
        shared->wake.notify_all();
        deadline += period;
        const auto now = Clock::now();
        if (deadline < now) {
            // A tick overran by more than a period: skip the missed ticks instead of firing a burst.
            const auto behind = (now - deadline) / period + 1;
            deadline += behind * period;
        }
    }
}

} // namespace os
