// The loop of a background scan thread, and the thread built on it.
#include "brasko/ScanLoop.h"

#include <threadcheck/HandOff.h>

ScanLoop::ScanLoop(OptionRule rule) : m_rule(rule) {}

void ScanLoop::request(bool option)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_option = m_rule == OptionRule::LastRequest ? option : (m_option || option);
        m_pending = true;
    }
    m_condition.notify_all();
}

void ScanLoop::requestStop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopRequested = true;
    }
    m_condition.notify_all();
}

bool ScanLoop::stop(QThread& thread, unsigned long timeoutMs)
{
    requestStop();
    if (!thread.wait(timeoutMs))
        return false;
    // QThread's wait is invisible to the thread checker; the loop marked its end.
    threadcheck::takeOver(this);
    return true;
}

void ScanLoop::run(const Steps& steps)
{
    for (;;) {
        bool option = false;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            // The pending flag keeps a request that came while no one was waiting.
            m_condition.wait(lock, [this] { return m_stopRequested || m_pending; });
            if (m_stopRequested)
                break;
            m_pending = false;
            option = m_option;
            m_option = false;
        }
        steps.started();
        try {
            steps.scan(option);
        } catch (...) {
            steps.failed();
        }
        steps.finished();
    }
    // The end of the loop, the last the thread does with it, for the stop that waits for the thread.
    threadcheck::handOver(this);
}

ScanThread::ScanThread(ScanLoop::OptionRule rule) : m_loop(rule) {}

void ScanThread::runScans(std::function<void(bool option)> scan, std::function<void()> failed)
{
    ScanLoop::Steps steps;
    steps.started = [this] { emit scanStarted(); };
    steps.scan = std::move(scan);
    steps.failed = std::move(failed);
    steps.finished = [this] { emit scanFinished(); };
    m_loop.run(steps);
}
