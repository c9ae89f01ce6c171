// Sampling by count and by time, and the stop limits of a recording.
#include "TimeUnitMediaImageController.h"

#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Records which frames were due (by the number of the frame last delivered) and the limit calls.
class SamplingProbe {
public:
    // The probe must outlive the controller, whose timer thread calls it until destruction.
    void attach(IMediaImageController& controller)
    {
        controller.setImageDueCallback([this] {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_due.push_back(m_frame);
            m_changed.notify_all();
            return m_accept;
        });
        controller.setLimitReachedCallback([this] {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_limitCalls;
            m_changed.notify_all();
        });
    }
    void setFrame(int frame)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_frame = frame;
    }
    void setAccept(bool accept)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_accept = accept;
    }
    std::vector<int> due() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_due;
    }
    int limitCalls() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_limitCalls;
    }
    // Waits (generously) until the predicate over (due count, limit calls) holds.
    template <typename Predicate>
    bool waitFor(Predicate predicate, std::chrono::seconds timeout = 10s)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return predicate(m_due.size(), m_limitCalls); });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_due;
    int m_frame = 0;
    int m_limitCalls = 0;
    bool m_accept = true;
};

// Delivers `frames` frames the way the recording controller does: start with the first, then
// onNewImage for every frame.
void deliver(CTimeUnitMediaImageController& controller, SamplingProbe& probe, int frames)
{
    for (int frame = 1; frame <= frames; ++frame) {
        probe.setFrame(frame);
        if (frame == 1)
            controller.start();
        controller.onNewImage();
    }
}

TEST(SamplingControllerTest, CountModeRecordsEveryNthFrame)
{
    const struct {
        int32_t rate;
        std::vector<int> expected;
    } cases[] = {
        {1, {1, 2, 3, 4, 5, 6, 7, 8}},  {3, {1, 4, 7}}, {8, {1}},
        {0, {1, 2, 3, 4, 5, 6, 7, 8}},  // below 1: raised to 1, never a modulo by zero
        {-4, {1, 2, 3, 4, 5, 6, 7, 8}}, // likewise
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "rate " << c.rate);
        SamplingProbe probe;
        CTimeUnitMediaImageController controller(false, TimeUnitImages, 0, TimeUnitImages, c.rate);
        probe.attach(controller);
        deliver(controller, probe, 8);
        EXPECT_EQ(probe.due(), c.expected);
        EXPECT_EQ(probe.limitCalls(), 0);
        EXPECT_FALSE(controller.timerThreadStarted());
    }
}

TEST(SamplingControllerTest, ImageLimitFiresWithTheLastRecordedFrameAndAfter)
{
    SamplingProbe probe;
    CTimeUnitMediaImageController controller(true, TimeUnitImages, 10, TimeUnitImages, 1);
    EXPECT_TRUE(controller.hasImageLimit());
    probe.attach(controller);
    deliver(controller, probe, 9);
    EXPECT_EQ(probe.limitCalls(), 0);
    probe.setFrame(10);
    controller.onNewImage();
    EXPECT_EQ(probe.limitCalls(), 1);
    EXPECT_EQ(controller.recordedCount(), 10);
    // Until the recording stops calling, every later frame reports the limit again.
    controller.onNewImage();
    EXPECT_EQ(probe.limitCalls(), 2);
}

TEST(SamplingControllerTest, RefusedFramesDoNotCountTowardsTheImageLimit)
{
    SamplingProbe probe;
    CTimeUnitMediaImageController controller(true, TimeUnitImages, 2, TimeUnitImages, 1);
    probe.attach(controller);
    probe.setAccept(false); // e.g. the sink's queue is full
    deliver(controller, probe, 5);
    EXPECT_EQ(probe.due().size(), 5u);
    EXPECT_EQ(probe.limitCalls(), 0);
    EXPECT_EQ(controller.recordedCount(), 0);
}

TEST(SamplingControllerTest, HasImageLimitOnlyForAnEnabledLimitOfAtLeastOneImage)
{
    EXPECT_TRUE(CTimeUnitMediaImageController(true, TimeUnitImages, 1, TimeUnitImages, 1).hasImageLimit());
    EXPECT_FALSE(CTimeUnitMediaImageController(true, TimeUnitImages, 0, TimeUnitImages, 1).hasImageLimit());
    EXPECT_FALSE(CTimeUnitMediaImageController(false, TimeUnitImages, 5, TimeUnitImages, 1).hasImageLimit());
    EXPECT_FALSE(CTimeUnitMediaImageController(true, TimeUnitSeconds, 5, TimeUnitImages, 1).hasImageLimit());
}

TEST(SamplingControllerTest, TimeModeRecordsAtStartThenOnTicksWithoutNewFrames)
{
    SamplingProbe probe;
    CTimeUnitMediaImageController controller(false, TimeUnitImages, 0, TimeUnitMilliseconds, 40);
    probe.attach(controller);
    deliver(controller, probe, 3);
    // The first frame at once; frames do not make images due in time mode.
    ASSERT_GE(probe.due().size(), 1u);
    EXPECT_EQ(probe.due().front(), 1);
    EXPECT_TRUE(controller.timerThreadStarted());
    // Ticks go on although no frame arrives: the newest frame is recorded again.
    ASSERT_TRUE(probe.waitFor([](size_t due, int) { return due >= 4; }));
    for (size_t i = 1; i < probe.due().size(); ++i)
        EXPECT_EQ(probe.due()[i], 3);
    controller.stop();
    const size_t atStop = probe.due().size();
    std::this_thread::sleep_for(150ms);
    EXPECT_LE(probe.due().size(), atStop + 1); // at most a tick already under way
}

TEST(SamplingControllerTest, TimeModeKeepsItsRhythm)
{
    SamplingProbe probe;
    CTimeUnitMediaImageController controller(false, TimeUnitImages, 0, TimeUnitMilliseconds, 10);
    probe.attach(controller);
    const auto begin = std::chrono::steady_clock::now();
    deliver(controller, probe, 1);
    ASSERT_TRUE(probe.waitFor([](size_t due, int) { return due >= 21; }));
    // 20 ticks of 10 ms each cannot come sooner than 200 ms after start.
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 195ms);
}

// The limit ends the recording when it fires, however rare the frames or the ticks: one frame an
// hour with a limit of a tenth of a second stops after a tenth of a second, with the first frame only,
// in time and in count mode.
TEST(SamplingControllerTest, TimeLimitIsReportedWhenItFiresNotByTheNextTickOrFrame)
{
    const struct {
        const char* name;
        int32_t sampleUnit;
        int32_t sampleRate;
    } cases[] = {{"time mode, one tick an hour", TimeUnitHours, 1}, {"count mode", TimeUnitImages, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SamplingProbe probe;
        CTimeUnitMediaImageController controller(true, TimeUnitMilliseconds, 100, c.sampleUnit, c.sampleRate);
        probe.attach(controller);
        const auto begin = std::chrono::steady_clock::now();
        controller.onRecordingStarted();
        deliver(controller, probe, 1);
        // No further frame and no tick comes: the limit is told all the same.
        ASSERT_TRUE(probe.waitFor([](size_t, int limitCalls) { return limitCalls >= 1; }, 60s));
        EXPECT_GE(std::chrono::steady_clock::now() - begin, 100ms);
        EXPECT_EQ(probe.due(), std::vector<int>{1});
        EXPECT_EQ(probe.limitCalls(), 1);
    }
}

// A triggered recording that never gets its trigger stops at its limit all the same.
TEST(SamplingControllerTest, TimeLimitEndsARecordingThatNeverGetsAFrame)
{
    for (int32_t sampleUnit : {int32_t(TimeUnitImages), int32_t(TimeUnitMilliseconds)}) {
        SCOPED_TRACE(sampleUnit);
        SamplingProbe probe;
        CTimeUnitMediaImageController controller(true, TimeUnitMilliseconds, 50, sampleUnit, 40);
        probe.attach(controller);
        controller.onRecordingStarted();
        ASSERT_TRUE(probe.waitFor([](size_t, int limitCalls) { return limitCalls >= 1; }, 60s));
        EXPECT_TRUE(probe.due().empty());
    }
}

// No frame is taken once the limit has passed: not by a tick, and not by a frame that comes before
// the limit timer has ended the recording (a frame right after the limit on a busy machine).
TEST(SamplingControllerTest, NothingIsTakenAfterTheTimeLimit)
{
    {
        SCOPED_TRACE("time mode: ticks at 0, 20, ... 80 ms before a limit of 100 ms");
        SamplingProbe probe;
        CTimeUnitMediaImageController controller(true, TimeUnitMilliseconds, 100, TimeUnitMilliseconds, 20);
        probe.attach(controller);
        controller.onRecordingStarted();
        deliver(controller, probe, 1);
        ASSERT_TRUE(probe.waitFor([](size_t, int limitCalls) { return limitCalls >= 1; }, 60s));
        const size_t due = probe.due().size();
        EXPECT_GE(due, 1u);
        EXPECT_LE(due, 5u); // the tick at the limit itself is not taken
        // The limit stopped the ticks: five further intervals bring nothing more.
        const auto later = std::chrono::steady_clock::now() + 100ms;
        while (std::chrono::steady_clock::now() < later)
            std::this_thread::sleep_until(later);
        EXPECT_EQ(probe.due().size(), due);
        EXPECT_EQ(probe.limitCalls(), 1);
    }
    {
        SCOPED_TRACE("count mode: a frame after the limit");
        SamplingProbe probe;
        CTimeUnitMediaImageController controller(true, TimeUnitMilliseconds, 30, TimeUnitImages, 1);
        probe.attach(controller);
        controller.onRecordingStarted();
        const auto limit = std::chrono::steady_clock::now() + 30ms;
        deliver(controller, probe, 2);
        // Whether or not the limit timer has fired yet, a frame past the limit is not taken.
        while (std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_until(limit);
        probe.setFrame(3);
        controller.onNewImage();
        ASSERT_TRUE(probe.waitFor([](size_t, int limitCalls) { return limitCalls >= 1; }, 60s));
        EXPECT_EQ(probe.due(), (std::vector<int>{1, 2}));
    }
}

TEST(SamplingControllerTest, ImageLimitOfOneInTimeModeEndsInStartWithoutAThread)
{
    SamplingProbe probe;
    CTimeUnitMediaImageController controller(true, TimeUnitImages, 1, TimeUnitMilliseconds, 40);
    probe.attach(controller);
    controller.start();
    EXPECT_EQ(probe.due().size(), 1u);
    EXPECT_EQ(probe.limitCalls(), 1);
    EXPECT_FALSE(controller.timerThreadStarted());
}

TEST(SamplingControllerTest, UnknownUnitCountsAsOneSecond)
{
    CTimeUnitMediaImageController controller(true, 9, 3, 42, 7);
    EXPECT_EQ(controller.expectedImageCount(), 2); // 1000 ms / 1000 ms + 1
    EXPECT_EQ(CTimeUnitMediaImageController(true, TimeUnitSeconds, 2, TimeUnitMilliseconds, 40).expectedImageCount(),
              51);
}

TEST(SamplingControllerTest, SampleIntervalBelowOneMillisecondIsRaisedNotSpun)
{
    for (int32_t rate : {0, -5}) {
        SCOPED_TRACE(rate);
        SamplingProbe probe;
        CTimeUnitMediaImageController controller(false, TimeUnitImages, 0, TimeUnitMilliseconds, rate);
        probe.attach(controller);
        const auto begin = std::chrono::steady_clock::now();
        deliver(controller, probe, 1);
        // Ticks come (the first frame plus a few ticks)...
        ASSERT_TRUE(testsupport::waitFor([&] { return probe.due().size() >= 5; }));
        const size_t due = probe.due().size();
        const auto elapsedMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin).count();
        // ...but one per elapsed millisecond at most (plus the first frame); a busy loop gives far more.
        EXPECT_LE(due, size_t(elapsedMs) + 2);
    }
}

TEST(SamplingControllerTest, DestructionEndsLongPendingTimersAtOnce)
{
    const auto begin = std::chrono::steady_clock::now();
    {
        SamplingProbe probe;
        CTimeUnitMediaImageController controller(true, TimeUnitDays, INT32_MAX, TimeUnitHours, 5);
        probe.attach(controller);
        deliver(controller, probe, 1);
        EXPECT_TRUE(controller.timerThreadStarted());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
}

TEST(SamplingControllerTest, StoppedControllerRecordsNothingOnTicks)
{
    SamplingProbe probe;
    CTimeUnitMediaImageController controller(false, TimeUnitImages, 0, TimeUnitMilliseconds, 5);
    probe.attach(controller);
    deliver(controller, probe, 1);
    controller.stop();
    const size_t atStop = probe.due().size();
    std::this_thread::sleep_for(60ms);
    EXPECT_LE(probe.due().size(), atStop + 1);
    controller.clearImageDueCallback();
    controller.clearLimitReachedCallback();
}

} // namespace
