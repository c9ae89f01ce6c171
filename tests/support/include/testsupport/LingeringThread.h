// A worker thread that lives on after its work, as a camera's or an SDK's threads do after a call.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace testsupport {

// Runs `work` on a thread of its own, which then waits until the object goes. A test that joined the
// thread before it looked at the result would give the thread checker a hand-off (the join) that the
// program never has, and hide one that is missing from the program; checked while the thread lingers,
// the result has only the program's own hand-offs to rest on.
class LingeringThread {
public:
    explicit LingeringThread(std::function<void()> work)
        : m_thread([this, work = std::move(work)] {
              work();
              // Nothing the worker did is handed over by this wait before the release.
              std::unique_lock<std::mutex> lock(m_mutex);
              m_released.wait(lock, [this] { return m_release; });
          })
    {
    }
    ~LingeringThread()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_release = true;
        }
        m_released.notify_all();
        m_thread.join();
    }
    LingeringThread(const LingeringThread&) = delete;
    LingeringThread& operator=(const LingeringThread&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_release = false;
    std::thread m_thread; // last: starts once the members above exist
};

} // namespace testsupport
