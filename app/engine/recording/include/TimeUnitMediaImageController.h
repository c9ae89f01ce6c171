// Sampling by frame count or by time, with a stop limit in images or in time.
#pragma once

#include "MediaImageController.h"
#include "TimeUnit.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

// Count mode runs on the thread that reports frames (the grab thread); time mode and time limits run
// on a timer thread of its own, with steady deadline timers on an asio event loop.
//
// Threads: the constructor, the callback setters and the destructor run on the owner's thread; start
// and onNewImage on the grab thread; the timers, their handlers and their cancellation only on the
// timer thread. The callbacks are guarded by m_callbackMutex and always called outside it; the flags
// and counters are atomics written by one thread and read by the other.
class CTimeUnitMediaImageController : public IMediaImageController {
public:
    // Straight from the recording options. A sample rate below 1 is raised to 1 and a sample interval
    // below 1 ms to 1 ms (both logged), so nothing divides by zero or spins.
    CTimeUnitMediaImageController(bool limitEnabled, int32_t limitUnit, int32_t limit, int32_t sampleUnit,
                                  int32_t sampleRate);
    ~CTimeUnitMediaImageController() override;
    CTimeUnitMediaImageController(const CTimeUnitMediaImageController&) = delete;
    CTimeUnitMediaImageController& operator=(const CTimeUnitMediaImageController&) = delete;

    void start() override;
    void stop() override;
    void onNewImage() override;
    bool hasImageLimit() const override;
    void setImageDueCallback(ImageDueCallback callback) override;
    void clearImageDueCallback() override;
    void setLimitReachedCallback(LimitReachedCallback callback) override;
    void clearLimitReachedCallback() override;

    // Limit interval in ms divided by the sample interval in ms, plus 1.
    int64_t expectedImageCount() const;
    int64_t recordedCount() const { return m_recordedCount; }
    // Whether start launched the timer thread (for tests and diagnostics).
    bool timerThreadStarted() const { return m_thread.joinable(); }

private:
    bool limitReached() const;
    void imageDue();
    void reportLimitReached();
    void runTimers();
    void armSampling();
    void onSamplingTimer(const boost::system::error_code& error);

    ImageDueCallback m_imageDue;
    LimitReachedCallback m_limitReachedCallback;
    std::mutex m_callbackMutex;

    const bool m_limitEnabled;
    const int32_t m_limitUnit;
    const int32_t m_limit;
    const int32_t m_sampleUnit;
    const int32_t m_sampleRate;
    const int64_t m_sampleIntervalUs;
    const int64_t m_limitIntervalUs;
    const int32_t m_imageLimit;

    int64_t m_frameCounter = 0; // grab thread only
    std::atomic<int64_t> m_recordedCount{0};

    // Timer thread only, once it runs.
    std::unique_ptr<boost::asio::steady_timer> m_samplingTimer;
    std::unique_ptr<boost::asio::steady_timer> m_limitTimer;
    bool m_closing = false; // set by the destructor's cancellation, run on the timer thread
    // Made by start before the thread, so the destructor can post to it without a race.
    std::unique_ptr<boost::asio::io_context> m_eventLoop;
    std::thread m_thread;

    std::atomic<bool> m_limitFlag{false};
    std::atomic<bool> m_running{false};
};
