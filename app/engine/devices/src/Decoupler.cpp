// The display pipeline's decoupler thread.
#include "Decoupler.h"

#include <lorvish/Trace.h>
#include <os/System.h>

#include <log4cpp/Category.hh>

#include <utility>

namespace {
log4cpp::Category& decouplerTrace()
{
    return *Lorvish::GetLazyTraceStructInstance_().decoupler;
}
log4cpp::Category& bufferTrace()
{
    return *Lorvish::GetLazyTraceStructInstance_().decouplerBuffers;
}
} // namespace

Decoupler::Decoupler(QObject* parent, const QString& name) : QThread(parent)
{
    if (!name.isEmpty())
        setObjectName(name);
    start(QThread::InheritPriority);
}

Decoupler::~Decoupler()
{
    decouplerTrace().debug("~Decoupler()");
    shutDown();
}

bool Decoupler::hasPendingBuffer()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pendingBuffer != nullptr;
}

void Decoupler::run()
{
    os::comInitialize(os::ComApartment::MultiThreaded);
    decouplerTrace().debug("Decouplerthread started.");
    std::unique_lock<std::mutex> lock(m_mutex);
    m_busy = true;
    for (;;) {
        // Waits until a frame may go out: with the throttle on, a frame and a tick must both be
        // pending; with it off, a pending frame is enough, so a frame that came while converting is
        // shown next instead of waiting for a further frame.
        while (!m_shutDownRequested && (!m_pendingBuffer || (m_throttleEnabled && !m_tickPending))) {
            m_busy = false;
            m_condition.wait(lock);
            m_busy = true;
        }
        if (m_shutDownRequested)
            break;
        Lorvish::StreamBuffer* buffer = m_pendingBuffer;
        m_pendingBuffer = nullptr;
        m_tickPending = false;
        lock.unlock();

        bufferTrace().debug("emit buffer %p", buffer->handle());
        emit bufferAvailable(buffer);
        buffer->unlock();

        lock.lock();
    }
    m_busy = false;
    lock.unlock();
    decouplerTrace().debug("Decouplerthread ending");
    os::comUninitialize();
}

void Decoupler::setBuffer(Lorvish::StreamBuffer* buffer)
{
    if (!buffer)
        return;
    bool wake = false;
    Lorvish::StreamBuffer* unprocessed = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        bufferTrace().debug("setBuffer() %p", buffer->handle());
        if (m_shutDownRequested) {
            decouplerTrace().warn("========== setBuffer has been called although we were shut-down");
            return;
        }
        buffer->lock();
        unprocessed = m_pendingBuffer;
        m_pendingBuffer = buffer;
        wake = !m_busy && (m_tickPending || !m_throttleEnabled);
    }
    if (wake)
        m_condition.notify_all();
    // Let go after the lock, as in shutDown.
    if (unprocessed) {
        bufferTrace().debug("Decoupler: Release unprocessed buffer");
        unprocessed->unlock();
    }
}

void Decoupler::enableThrottle(bool enable)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_throttleEnabled = enable;
    }
    // A frame held back for a tick may go at once when the throttle goes off.
    if (!enable)
        m_condition.notify_all();
}

void Decoupler::throttleTimerTick()
{
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tickPending = true;
        wake = !m_busy && m_pendingBuffer;
    }
    if (wake && isRunning())
        m_condition.notify_all();
}

void Decoupler::shutDown()
{
    if (isRunning()) {
        // The request goes in at once, so that no further frame is taken or accepted; a conversion in
        // progress still finishes, after which the worker sees the request and ends. Waiting for an
        // idle moment first could wait for ever while frames keep the worker busy.
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_shutDownRequested = true;
        }
        m_condition.notify_all();
        wait();
    }
    // The frame left in the mailbox goes home to its camera after the lock: the camera's grab thread
    // holds the camera's lock while it hands a frame in here, so the two locks are taken in that order
    // only.
    Lorvish::StreamBuffer* pending = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_shutDownRequested = true;
        std::swap(pending, m_pendingBuffer);
    }
    if (pending)
        pending->unlock();
}
