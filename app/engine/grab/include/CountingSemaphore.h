// A counting semaphore on a standard mutex and condition, which the thread checker sees.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace grab {

// Threads: any thread releases and acquires; m_count belongs to m_mutex, and waiters are woken after
// the lock is released.
class CountingSemaphore {
public:
    void release(int count)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_count += count;
        }
        m_changed.notify_all();
    }
    // Takes `count` when as many are there now; false (taking none) otherwise.
    bool tryAcquire(int count)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return take(count);
    }
    // Waits up to timeoutMs (for ever when negative) until `count` are there and takes them; false
    // (taking none) on time-out.
    bool tryAcquire(int count, int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto enough = [&] { return m_count >= count; };
        if (timeoutMs < 0)
            m_changed.wait(lock, enough);
        else if (!m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), enough))
            return false;
        return take(count);
    }
    // Takes all there are now; returns how many that was.
    int acquireAll()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int all = m_count;
        m_count = 0;
        return all;
    }
    int available() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_count;
    }

private:
    bool take(int count)
    {
        if (m_count < count)
            return false;
        m_count -= count;
        return true;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_count = 0;
};

} // namespace grab
