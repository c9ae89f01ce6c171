// Sampling by frame count or by time, with a stop limit in images or in time.
#pragma once

#include "MediaImageController.h"
#include "TimeUnit.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/steady_timer.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

// Count mode runs on the thread that reports frames (the grab thread); time mode and time limits run
// on a timer thread of its own, with steady deadline timers on an asio event loop. A time limit counts
// from the recording's start and ends the recording when it fires, whether frames or ticks come or
// not; no frame is due once it has passed.
//
// Threads: the constructor, the callback setters, onRecordingStarted and the destructor run on the
// owner's thread; start and onNewImage on the grab thread; the timers, their handlers and their
// cancellation only on the timer thread. m_threadMutex guards the making of the timer thread and its
// event loop (onRecordingStarted and start may each make it). The callbacks are guarded by
// m_callbackMutex and always called outside it; the flags, counters and the limit's deadline are
// atomics written by one thread and read by the others.
class CTimeUnitMediaImageController : public IMediaImageController {
public:
    // Straight from the recording options. A sample rate below 1 is raised to 1 and a sample interval
    // below 1 ms to 1 ms (both logged), so nothing divides by zero or spins.
    CTimeUnitMediaImageController(bool limitEnabled, int32_t limitUnit, int32_t limit, int32_t sampleUnit,
                                  int32_t sampleRate);
    ~CTimeUnitMediaImageController() override;
    CTimeUnitMediaImageController(const CTimeUnitMediaImageController&) = delete;
    CTimeUnitMediaImageController& operator=(const CTimeUnitMediaImageController&) = delete;

    // Starts the time limit's clock; start does so as well when it was not called.
    void onRecordingStarted() override;
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
    // Whether the timer thread was started (for tests and diagnostics).
    bool timerThreadStarted();

private:
    using Clock = std::chrono::steady_clock;

    bool hasTimeLimit() const;
    // The limit test: the image limit reached, or the time limit passed (by the clock, even before
    // its timer has run).
    bool limitReached() const;
    void imageDue();
    void reportLimitReached();
    // Starts the limit's clock once, and the timer thread for it; under m_threadMutex.
    void beginLocked();
    // Makes the event loop and the timer thread that runs it until destruction; under m_threadMutex.
    void startTimerThreadLocked();
    void armSampling();
    void onSamplingTimer(const boost::system::error_code& error);
    void onLimitTimer(const boost::system::error_code& error);
    void tellLimitOnce();

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
    bool m_closing = false;   // set by the destructor's cancellation, run on the timer thread
    bool m_limitTold = false; // the timer thread has told the limit

    std::mutex m_threadMutex;
    bool m_begun = false;         // the limit's clock runs; under m_threadMutex
    bool m_samplingArmed = false; // the ticks were started; under m_threadMutex
    // Made before the thread, so the destructor and start can post to it without a race; the guard
    // keeps the loop running between the recording's start and its first frame.
    std::unique_ptr<boost::asio::io_context> m_eventLoop;
    std::unique_ptr<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> m_work;
    std::thread m_thread;

    // When the time limit passes, in steady-clock nanoseconds; the largest value while it does not run.
    std::atomic<int64_t> m_limitDeadline{INT64_MAX};
    std::atomic<bool> m_limitFlag{false};
    std::atomic<bool> m_running{false};
};
