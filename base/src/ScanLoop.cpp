// The loop of a background scan thread, and the thread built on it.
#include "brasko/ScanLoop.h"

#include <QMutexLocker>

ScanLoop::ScanLoop(OptionRule rule) : m_rule(rule) {}

void ScanLoop::request(bool option)
{
    QMutexLocker lock(&m_mutex);
    m_option = m_rule == OptionRule::LastRequest ? option : (m_option || option);
    m_pending = true;
    m_condition.wakeAll();
}

void ScanLoop::requestStop()
{
    QMutexLocker lock(&m_mutex);
    m_stopRequested = true;
    m_condition.wakeAll();
}

bool ScanLoop::stop(QThread& thread, unsigned long timeoutMs)
{
    requestStop();
    return thread.wait(timeoutMs);
}

void ScanLoop::run(const Steps& steps)
{
    for (;;) {
        bool option = false;
        {
            QMutexLocker lock(&m_mutex);
            // The pending flag keeps a request that came while no one was waiting.
            while (!m_stopRequested && !m_pending)
                m_condition.wait(&m_mutex);
            if (m_stopRequested)
                return;
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
