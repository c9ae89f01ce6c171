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
    {
        std::lock_guard<std::mutex> lock(m_threadMutex);
        if (m_eventLoop) {
            // The timers belong to the timer thread: cancel them there, then let the loop run dry. A
            // tick that has already fired cannot be cancelled any more; the flag keeps it from
            // re-arming, and a cancelled limit tells nobody.
            boost::asio::post(*m_eventLoop, [this] {
                m_closing = true;
                if (m_samplingTimer)
                    m_samplingTimer->cancel();
                if (m_limitTimer)
                    m_limitTimer->cancel();
            });
            m_work.reset();
        }
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

bool CTimeUnitMediaImageController::hasTimeLimit() const
{
    return m_limitEnabled && isTimeUnit(m_limitUnit);
}

bool CTimeUnitMediaImageController::timerThreadStarted()
{
    std::lock_guard<std::mutex> lock(m_threadMutex);
    return m_thread.joinable();
}

int64_t CTimeUnitMediaImageController::expectedImageCount() const
{
    const int64_t sampleMs = m_sampleIntervalUs / 1000;
    return (sampleMs > 0 ? (m_limitIntervalUs / 1000) / sampleMs : 0) + 1;
}

bool CTimeUnitMediaImageController::limitReached() const
{
    if (!m_limitEnabled)
        return false;
    if (m_imageLimit >= 1 && m_recordedCount >= m_imageLimit)
        return true;
    if (m_limitFlag)
        return true;
    // The limit timer may not have run yet (a busy machine): the clock decides.
    const int64_t deadline = m_limitDeadline;
    return deadline != INT64_MAX &&
           std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count() >= deadline;
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

void CTimeUnitMediaImageController::onRecordingStarted()
{
    std::lock_guard<std::mutex> lock(m_threadMutex);
    beginLocked();
}

void CTimeUnitMediaImageController::beginLocked()
{
    if (m_begun)
        return;
    m_begun = true;
    if (!hasTimeLimit())
        return;
    const Clock::time_point deadline = Clock::now() + timerSpan(m_limitIntervalUs);
    m_limitDeadline = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count();
    startTimerThreadLocked();
    boost::asio::post(*m_eventLoop, [this, deadline] {
        if (m_closing)
            return;
        m_limitTimer = std::make_unique<boost::asio::steady_timer>(*m_eventLoop);
        m_limitTimer->expires_at(deadline);
        m_limitTimer->async_wait([this](const boost::system::error_code& error) { onLimitTimer(error); });
    });
}

void CTimeUnitMediaImageController::startTimerThreadLocked()
{
    if (m_eventLoop)
        return; // one timer thread per recording
    m_eventLoop = std::make_unique<boost::asio::io_context>();
    m_work = std::make_unique<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>>(
        m_eventLoop->get_executor());
    m_thread = std::thread([this] { m_eventLoop->run(); });
}

void CTimeUnitMediaImageController::start()
{
    const Clock::time_point now = Clock::now();
    {
        std::lock_guard<std::mutex> lock(m_threadMutex);
        beginLocked();
    }
    m_running = true;
    // The first frame is always recorded in time mode, unless it came after the limit.
    if (isTimeUnit(m_sampleUnit) && !limitReached())
        imageDue();
    if (limitReached()) {
        reportLimitReached();
        return;
    }
    if (!isTimeUnit(m_sampleUnit))
        return;
    std::lock_guard<std::mutex> lock(m_threadMutex);
    if (m_samplingArmed)
        return; // started before; one rhythm per recording
    m_samplingArmed = true;
    startTimerThreadLocked();
    boost::asio::post(*m_eventLoop, [this, now] {
        if (m_closing)
            return;
        m_samplingTimer = std::make_unique<boost::asio::steady_timer>(*m_eventLoop);
        m_samplingTimer->expires_at(now + timerSpan(m_sampleIntervalUs));
        m_samplingTimer->async_wait([this](const boost::system::error_code& error) { onSamplingTimer(error); });
    });
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
    // A tick at or after the limit takes nothing: the limit ends the recording instead.
    if (!limitReached())
        imageDue();
    if (limitReached()) {
        tellLimitOnce();
        return;
    }
    armSampling();
}

void CTimeUnitMediaImageController::onLimitTimer(const boost::system::error_code& error)
{
    m_limitFlag = true;
    if (error || m_closing)
        return; // cancelled: the recording is going, nobody is told
    if (m_samplingTimer)
        m_samplingTimer->cancel();
    tellLimitOnce();
}

void CTimeUnitMediaImageController::tellLimitOnce()
{
    // A tick that found the limit passed and the limit timer itself: one report between them.
    if (m_limitTold)
        return;
    m_limitTold = true;
    reportLimitReached();
}

void CTimeUnitMediaImageController::onNewImage()
{
    ++m_frameCounter;
    if (isTimeUnit(m_sampleUnit))
        return; // time mode records on the timer thread
    // A frame after the limit is not taken; the limit is told again, until the recording stops calling.
    if (limitReached()) {
        reportLimitReached();
        return;
    }
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
