// Frame and data rate of the grab loop (see FrameRateMeter.h).
#include "FrameRateMeter.h"

#include <os/Clock.h>

namespace grab {

namespace {
constexpr int64_t kMaxSilenceNs = 10'500'000'000LL;
}

FrameRateMeter::FrameRateMeter(unsigned capacity) : m_ring(capacity > 2 ? capacity : 0) {}

void FrameRateMeter::clearLocked()
{
    m_head = m_count = 0;
    m_bytes = 0;
}

bool FrameRateMeter::addSample(uint64_t bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_ring.empty())
        return false;
    const int64_t now = os::performanceCounter();
    if (m_count == m_ring.size()) {
        // The oldest sample only opens the span; the next one takes that role.
        m_head = (m_head + 1) % m_ring.size();
        --m_count;
        m_bytes -= m_ring[m_head].bytes;
    }
    m_ring[(m_head + m_count) % m_ring.size()] = Sample{now, bytes};
    if (m_count > 0)
        m_bytes += bytes;
    ++m_count;
    return true;
}

bool FrameRateMeter::computeResult(double* fps, uint64_t* bytesPerSecond)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_ring.empty() || m_count < 2)
        return false;
    const Sample& oldest = m_ring[m_head];
    const Sample& newest = m_ring[(m_head + m_count - 1) % m_ring.size()];
    const int64_t span = newest.timeNs - oldest.timeNs;
    if (span <= 0)
        return false;
    double f = 0.0;
    double rate = 0.0;
    if (os::performanceCounter() - newest.timeNs >= kMaxSilenceNs) {
        clearLocked();
        m_resetFlag = true;
    } else {
        const double seconds = double(span) / 1e9;
        f = double(m_count - 1) / seconds;
        rate = double(m_bytes) / seconds;
    }
    if (fps)
        *fps = f;
    if (bytesPerSecond)
        *bytesPerSecond = static_cast<uint64_t>(rate);
    return true;
}

bool FrameRateMeter::hasBeenReset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    bool flag = m_resetFlag;
    m_resetFlag = false;
    return flag;
}

void FrameRateMeter::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    clearLocked();
}

} // namespace grab
