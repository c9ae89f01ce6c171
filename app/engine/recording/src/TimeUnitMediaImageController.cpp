// Sampling by frame count or by time, and the stop limit.
#include "TimeUnitMediaImageController.h"

#include "EngineLog.h"

#include <boost/asio/post.hpp>

#include <chrono>

namespace {

int32_t checkedSampleRate(int32_t sampleUnit, int32_t sampleRate)
{
    if (sampleUnit == TimeUnitImages && sampleRate < 1) {
        enginelog::write(enginelog::Recording, enginelog::Failure,
                         "Sample rate %d is below 1; every frame is recorded.", sampleRate);
        return 1;
    }
    return sampleRate;
}

int64_t checkedSampleInterval(int32_t sampleUnit, int32_t sampleRate)
{
    const int64_t interval = timeUnitIntervalMicroseconds(sampleUnit, sampleRate);
    if (isTimeUnit(sampleUnit) && interval < 1000) {
        enginelog::write(enginelog::Recording, enginelog::Failure,
                         "Sample interval of %lld us is below 1 ms; one frame per millisecond is recorded.",
                         static_cast<long long>(interval));
        return 1000;
    }
    return interval;
}

// A timer span that the steady clock can add without overflow (about 31 years at most).
std::chrono::microseconds timerSpan(int64_t microseconds)
{
    constexpr int64_t longest = 1000000000000000LL;
    return std::chrono::microseconds(microseconds < 0 ? 0 : microseconds > longest ? longest : microseconds);
}

} // namespace

CTimeUnitMediaImageController::CTimeUnitMediaImageController(bool limitEnabled, int32_t limitUnit, int32_t limit,
                                                             int32_t sampleUnit, int32_t sampleRate)
    : m_limitEnabled(limitEnabled), m_limitUnit(limitUnit), m_limit(limit), m_sampleUnit(sampleUnit),
      m_sampleRate(checkedSampleRate(sampleUnit, sampleRate)),
      m_sampleIntervalUs(checkedSampleInterval(sampleUnit, sampleRate)),
      m_limitIntervalUs(timeUnitIntervalMicroseconds(limitUnit, limit)),
      m_imageLimit(limitEnabled && limitUnit == TimeUnitImages ? limit : 0)
{
}

CTimeUnitMediaImageController::~CTimeUnitMediaImageController()
{
    if (m_eventLoop) {
        // The timers belong to the timer thread: cancel them there, then wait for the loop to run dry.
        // A tick that has already fired cannot be cancelled any more; the flag keeps it from re-arming.
        boost::asio::post(*m_eventLoop, [this] {
            m_closing = true;
            if (m_samplingTimer)
                m_samplingTimer->cancel();
            if (m_limitTimer)
                m_limitTimer->cancel();
        });
    }
    if (m_thread.joinable())
        m_thread.join();
    if (m_eventLoop)
        m_eventLoop->stop();
    m_samplingTimer.reset();
    m_limitTimer.reset();
    m_eventLoop.reset();
}

bool CTimeUnitMediaImageController::hasImageLimit() const
{
    return m_limitEnabled && m_limitUnit == TimeUnitImages && m_limit >= 1;
}

int64_t CTimeUnitMediaImageController::expectedImageCount() const
{
    const int64_t sampleMs = m_sampleIntervalUs / 1000;
    return (sampleMs > 0 ? (m_limitIntervalUs / 1000) / sampleMs : 0) + 1;
}

bool CTimeUnitMediaImageController::limitReached() const
{
    return m_limitEnabled && ((m_imageLimit >= 1 && m_recordedCount >= m_imageLimit) || m_limitFlag);
}

void CTimeUnitMediaImageController::imageDue()
{
    ImageDueCallback callback;
    {
        std::lock_guard<std::mutex> lock(m_callbackMutex);
        callback = m_imageDue;
    }
    // Called outside the mutex: the callback takes the recording's own lock.
    if (callback && callback())
        ++m_recordedCount;
}

void CTimeUnitMediaImageController::reportLimitReached()
{
    LimitReachedCallback callback;
    {
        std::lock_guard<std::mutex> lock(m_callbackMutex);
        callback = m_limitReachedCallback;
    }
    if (callback)
        callback();
}

void CTimeUnitMediaImageController::start()
{
    m_running = true;
    if (isTimeUnit(m_sampleUnit))
        imageDue(); // the first frame is always recorded in time mode
    if (limitReached()) {
        reportLimitReached();
        return;
    }
    if (m_thread.joinable())
        return; // started before; one timer thread per recording
    const bool timedLimit = m_limitEnabled && isTimeUnit(m_limitUnit);
    if (!isTimeUnit(m_sampleUnit) && !timedLimit)
        return; // the thread would end at once
    m_eventLoop = std::make_unique<boost::asio::io_context>();
    m_thread = std::thread(&CTimeUnitMediaImageController::runTimers, this);
}

void CTimeUnitMediaImageController::runTimers()
{
    const auto now = std::chrono::steady_clock::now();
    if (isTimeUnit(m_sampleUnit)) {
        m_samplingTimer = std::make_unique<boost::asio::steady_timer>(*m_eventLoop);
        m_samplingTimer->expires_at(now + timerSpan(m_sampleIntervalUs));
        m_samplingTimer->async_wait([this](const boost::system::error_code& error) { onSamplingTimer(error); });
    }
    if (m_limitEnabled && isTimeUnit(m_limitUnit)) {
        m_limitTimer = std::make_unique<boost::asio::steady_timer>(*m_eventLoop);
        m_limitTimer->expires_at(now + timerSpan(m_limitIntervalUs));
        // Set whatever the outcome: a cancelled limit wait ends the recording's time as well.
        m_limitTimer->async_wait([this](const boost::system::error_code&) { m_limitFlag = true; });
    }
    m_eventLoop->run();
}

void CTimeUnitMediaImageController::armSampling()
{
    // From the previous expiry, so the ticks keep their rhythm whatever the handler's run time.
    m_samplingTimer->expires_at(m_samplingTimer->expiry() + timerSpan(m_sampleIntervalUs));
    m_samplingTimer->async_wait([this](const boost::system::error_code& error) { onSamplingTimer(error); });
}

void CTimeUnitMediaImageController::onSamplingTimer(const boost::system::error_code& error)
{
    if (error || !m_running || m_closing)
        return;
    imageDue();
    if (limitReached()) {
        reportLimitReached();
        return;
    }
    armSampling();
}

void CTimeUnitMediaImageController::onNewImage()
{
    ++m_frameCounter;
    if (isTimeUnit(m_sampleUnit))
        return; // time mode records on the timer thread
    if (m_sampleRate == 1 || m_frameCounter % m_sampleRate == 1)
        imageDue();
    if (limitReached())
        reportLimitReached();
}

void CTimeUnitMediaImageController::stop()
{
    m_running = false;
}

void CTimeUnitMediaImageController::setImageDueCallback(ImageDueCallback callback)
{
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    m_imageDue = std::move(callback);
}

void CTimeUnitMediaImageController::clearImageDueCallback()
{
    setImageDueCallback(nullptr);
}

void CTimeUnitMediaImageController::setLimitReachedCallback(LimitReachedCallback callback)
{
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    m_limitReachedCallback = std::move(callback);
}

void CTimeUnitMediaImageController::clearLimitReachedCallback()
{
    setLimitReachedCallback(nullptr);
}
