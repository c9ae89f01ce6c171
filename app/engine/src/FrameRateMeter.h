// Frame and data rate of the grab loop over the last samples.
//
// Stands in for the base library's frame-rate statistic until that library offers one; it keeps the
// operations the camera uses (addSample, computeResult, hasBeenReset, reset).
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace grab {

// Thread use: addSample in the grab thread, computeResult/hasBeenReset/reset in the owner's thread;
// one mutex guards every member.
class FrameRateMeter {
public:
    explicit FrameRateMeter(unsigned capacity);

    bool addSample(uint64_t bytes);
    // False with fewer than two samples or no time between the oldest and newest.
    bool computeResult(double* fps, uint64_t* bytesPerSecond);
    // True once after the meter restarted itself (a silence of more than 10.5 s).
    bool hasBeenReset();
    void reset();

private:
    struct Sample {
        int64_t timeNs;
        uint64_t bytes;
    };
    void clearLocked();

    std::mutex m_mutex;
    std::vector<Sample> m_ring;
    size_t m_head = 0; // oldest sample
    size_t m_count = 0;
    uint64_t m_bytes = 0; // bytes of every held sample but the oldest
    bool m_resetFlag = false;
};

} // namespace grab
