// The SDK's event thread.
#include "EventThread.h"

namespace Nimbo {
namespace emulation {

EventThread& EventThread::instance()
{
    static EventThread thread;
    return thread;
}

EventThread::EventThread() : m_thread([this] { run(); }) {}

EventThread::~EventThread()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void EventThread::post(std::function<void()> task)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_all();
}

void EventThread::drain()
{
    if (std::this_thread::get_id() == m_thread.get_id())
        return;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_tasks.empty() && !m_busy; });
}

void EventThread::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_tasks.empty(); });
        if (m_tasks.empty() && m_stop)
            return;
        std::function<void()> task = std::move(m_tasks.front());
        m_tasks.pop_front();
        m_busy = true;
        lock.unlock();
        task();
        lock.lock();
        m_busy = false;
        m_idle.notify_all();
    }
}

} // namespace emulation
} // namespace Nimbo
