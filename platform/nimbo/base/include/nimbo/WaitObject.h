// A signal that a stream grabber raises while results wait to be retrieved.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace Nimbo {

// Copies share one signal, so a copy taken from a grabber stays valid after the grabber closes or
// goes away. Any thread may wait; the grabber sets and resets it. Guarded by its own mutex.
class WaitObject {
public:
    WaitObject() : m_state(std::make_shared<State>()) {}

    // True when signalled within the time (ms); 0xFFFFFFFF waits without limit.
    bool Wait(unsigned int timeoutMs) const
    {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        if (timeoutMs == 0xFFFFFFFFu) {
            m_state->cv.wait(lock, [this] { return m_state->signalled; });
            return true;
        }
        return m_state->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_state->signalled; });
    }
    void Signal()
    {
        {
            std::lock_guard<std::mutex> lock(m_state->mutex);
            m_state->signalled = true;
        }
        m_state->cv.notify_all();
    }
    void Reset()
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->signalled = false;
    }
    bool IsSignalled() const
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        return m_state->signalled;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable cv;
        bool signalled = false;
    };
    std::shared_ptr<State> m_state;
};

} // namespace Nimbo
