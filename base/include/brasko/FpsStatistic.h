// Frame rate and data rate of a stream of events, measured over a ring of the newest samples.
#pragma once

#include "brasko/Export.h"

#include <cstdint>
#include <mutex>

// Threads: addSample runs in a grab thread while computeResult, fps and hasBeenReset run in the GUI
// thread; every member is guarded by m_mutex (recursive, as removeAllButLastTwoSamples is called
// with it held). A standard mutex rather than Qt's, so that the thread checker sees it.
class BRASKO_EXPORT FpsStatistic {
public:
    explicit FpsStatistic(unsigned int capacity = 50);
    virtual ~FpsStatistic();
    FpsStatistic(const FpsStatistic&) = delete;
    FpsStatistic& operator=(const FpsStatistic&) = delete;

    // False when the statistic has no ring (capacity 2 or less).
    bool addSample(unsigned long long value);
    // Either pointer may be null. False with no ring, fewer than 2 samples or no time span.
    bool computeResult(double* fps, unsigned long long* bytesPerSecond);
    double fps();
    // True once after the statistic restarted itself.
    bool hasBeenReset();
    void reset();
    // Keeps the third- and second-newest samples, rebased to time 0; false with fewer than 3.
    bool removeAllButLastTwoSamples(double* shift);

protected:
    // Seconds of the performance counter; replaceable so that the statistic can be driven by a
    // clock of the caller's choosing.
    virtual double currentTime() const;
    int getPhysicalIndex(int logicalIndex) const;

private:
    struct Sample {
        double time;     // seconds since m_startTime
        double interval; // seconds since the previous sample; 0 for the first
        uint64_t value;  // bytes
    };

    void addInterval(double interval);
    void removeInterval(double interval);
    Sample& sampleAt(int logicalIndex) { return m_samples[getPhysicalIndex(logicalIndex)]; }

    mutable std::recursive_mutex m_mutex;
    Sample* m_samples = nullptr; // owned; null when the capacity is 2 or less
    int32_t m_capacity = 0;
    int32_t m_count = 0;
    uint64_t m_valueSum = 0;
    int32_t m_head = 0;
    double m_startTime = 0.0;
    uint32_t m_intervalCount = 0;
    double m_intervalMean = 0.0;
    bool m_restartPending = true;
    bool m_resetFlag = false;
    double m_maxSilence = 10.5;
};
