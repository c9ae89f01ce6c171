// Periodic timer thread with absolute deadlines.
#include "os/PeriodicTimer.h"

#include <system_error>

namespace os {

PeriodicTimer::~PeriodicTimer()
{
    stop();
}

bool PeriodicTimer::start(uint32_t periodMs, Callback callback)
{
    if (periodMs == 0 || !callback)
        return false;
    stop();
    std::lock_guard<std::mutex> control(m_controlMutex);
    uint64_t generation;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        generation = ++m_shared->generation;
        m_shared->running = true;
    }
    try {
        m_thread = std::thread(&PeriodicTimer::run, m_shared, generation, std::chrono::milliseconds(periodMs),
                               std::move(callback));
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->running = false;
        ++m_shared->generation;
        return false;
    }
    return true;
}

void PeriodicTimer::stop()
{
    std::lock_guard<std::mutex> control(m_controlMutex);
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        if (m_shared->running) {
            m_shared->running = false;
            ++m_shared->generation;
        }
    }
    m_shared->wake.notify_all();
    if (!m_thread.joinable())
        return;
    if (m_thread.get_id() == std::this_thread::get_id()) {
        // Stopped from inside a tick: the thread sees the new generation and ends by itself.
        m_thread.detach();
        return;
    }
    m_thread.join();
}

bool PeriodicTimer::isRunning() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->running;
}

void PeriodicTimer::run(std::shared_ptr<Shared> shared, uint64_t generation, std::chrono::milliseconds period,
                        Callback callback)
{
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + period;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(shared->mutex);
            if (shared->wake.wait_until(lock, deadline, [&] { return shared->generation != generation; }))
                return;
        }
        callback();
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
