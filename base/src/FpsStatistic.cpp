// Frame-rate statistic: a ring of samples with a running mean of their intervals.
#include "brasko/FpsStatistic.h"

#include <os/Clock.h>

#include <cmath>
#include <limits>

FpsStatistic::FpsStatistic(unsigned int capacity)
{
    if (capacity > 2) {
        // Bounded so that the ring index arithmetic stays within int32.
        const unsigned int bounded = capacity > static_cast<unsigned int>(std::numeric_limits<int32_t>::max() / 2)
                                         ? static_cast<unsigned int>(std::numeric_limits<int32_t>::max() / 2)
                                         : capacity;
        m_samples = new Sample[bounded];
        m_capacity = static_cast<int32_t>(bounded);
    }
    reset();
}

FpsStatistic::~FpsStatistic()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    delete[] m_samples;
    m_samples = nullptr;
    m_capacity = m_count = m_head = 0;
    m_valueSum = 0;
    m_intervalCount = 0;
    m_intervalMean = 0.0;
}

double FpsStatistic::currentTime() const
{
    constexpr int64_t frequency = os::performanceFrequency();
    if (frequency == 0)
        return 0.0;
    return static_cast<double>(os::performanceCounter()) / static_cast<double>(frequency);
}

int FpsStatistic::getPhysicalIndex(int logicalIndex) const
{
    if (m_capacity <= 0)
        return 0;
    return (logicalIndex + m_head) % m_capacity;
}

// An interval of 0 never enters the mean, so that adding and removing stay symmetric.
void FpsStatistic::addInterval(double interval)
{
    if (interval == 0.0)
        return;
    ++m_intervalCount;
    m_intervalMean += (interval - m_intervalMean) / m_intervalCount;
}

void FpsStatistic::removeInterval(double interval)
{
    if (interval == 0.0 || m_intervalCount == 0)
        return;
    --m_intervalCount;
    if (m_intervalCount == 0)
        m_intervalMean = 0.0;
    else
        m_intervalMean -= (interval - m_intervalMean) / m_intervalCount;
}

bool FpsStatistic::addSample(unsigned long long value)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!m_samples)
        return false;

    const double now = currentTime();
    double t = 0.0;
    if (m_restartPending) {
        m_startTime = now;
        m_restartPending = false;
    } else {
        t = now - m_startTime;
    }

    double interval = 0.0;
    if (m_count == 0) {
        // The first sample only opens the time base; its bytes belong to no interval.
        value = 0;
    } else {
        const Sample prev = sampleAt(m_count - 1);
        interval = t - prev.time;
        if (m_count >= 4 && std::fabs(interval - prev.interval) > 0.25 * m_intervalMean) {
            double shift = 0.0;
            if (removeAllButLastTwoSamples(&shift)) {
                m_resetFlag = true;
                t -= shift;
            }
        }
    }

    if (m_count < m_capacity) {
        Sample& slot = sampleAt(m_count);
        ++m_count;
        slot = Sample{t, interval, value};
    } else {
        Sample& slot = sampleAt(0);
        removeInterval(slot.interval);
        m_valueSum -= slot.value;
        m_head = (m_head + 1) % m_capacity;
        slot = Sample{t, interval, value};
    }
    addInterval(interval);
    m_valueSum += value;
    return true;
}

bool FpsStatistic::removeAllButLastTwoSamples(double* shift)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!m_samples || m_count < 3)
        return false;
    const Sample a = sampleAt(m_count - 3);
    const Sample b = sampleAt(m_count - 2);

    m_head = 0;
    m_count = 0;
    m_valueSum = 0;
    m_intervalCount = 0;
    m_intervalMean = 0.0;
    // The clock keeps running: the kept samples are rebased on the older one.
    m_startTime += a.time;
    if (shift)
        *shift = a.time;

    m_samples[0] = Sample{0.0, 0.0, 0};
    m_samples[1] = Sample{b.time - a.time, b.interval, b.value};
    m_count = 2;
    m_valueSum = b.value;
    addInterval(b.interval);
    return true;
}

bool FpsStatistic::computeResult(double* fps, unsigned long long* bytesPerSecond)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!m_samples || m_count < 2)
        return false;
    const Sample oldest = sampleAt(0);
    const Sample newest = sampleAt(m_count - 1);
    if (oldest.time == newest.time)
        return false;

    const double elapsed = currentTime() - m_startTime;
    const double span = newest.time - oldest.time;
    const double silence = elapsed - newest.time;

    if (m_count >= 4 && silence > 1.25 * m_intervalMean) {
        removeAllButLastTwoSamples(nullptr);
        m_resetFlag = true;
        return computeResult(fps, bytesPerSecond);
    }

    const double bytes = static_cast<double>(m_valueSum - oldest.value);
    double f = 0.0;
    double rate = 0.0;
    if (silence >= m_maxSilence || m_intervalMean == 0.0) {
        // Nothing for a long time: the stream has stopped.
    } else if (silence <= 1.25 * m_intervalMean) {
        f = 1.0 / m_intervalMean;
        rate = bytes / span;
    } else {
        // Too few samples to restart from: the silence counts as one more pending interval, so the
        // rates fall gradually as it grows.
        f = 1.0 / (m_intervalMean + (silence - m_intervalMean) / (m_intervalCount + 1));
        const double window = elapsed - oldest.time;
        rate = window > 0.0 ? (bytes + static_cast<double>(newest.value)) / window : 0.0;
    }

    if (fps)
        *fps = f;
    if (bytesPerSecond) {
        // Truncated, and held inside the target's range.
        if (!(rate > 0.0))
            *bytesPerSecond = 0;
        else if (rate >= 18446744073709551615.0)
            *bytesPerSecond = std::numeric_limits<unsigned long long>::max();
        else
            *bytesPerSecond = static_cast<unsigned long long>(rate);
    }
    return true;
}

double FpsStatistic::fps()
{
    double f = 0.0;
    return computeResult(&f, nullptr) ? f : 0.0;
}

bool FpsStatistic::hasBeenReset()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const bool wasReset = m_resetFlag;
    m_resetFlag = false;
    return wasReset;
}

void FpsStatistic::reset()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_head = 0;
    m_count = 0;
    m_valueSum = 0;
    m_intervalCount = 0;
    m_intervalMean = 0.0;
    m_restartPending = true;
}
