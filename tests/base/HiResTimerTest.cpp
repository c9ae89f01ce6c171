// The high-resolution timer: its period, the thread it signals from, and clean stops.
#include "brasko/HiResTimer.h"

#include "testsupport/Intervals.h"
#include "testsupport/LogCapture.h"
#include "testsupport/TimerRace.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Collects the time and thread of every tick of a timer it is connected to directly. Its connection lives
// as long as the timer, so a test stops the timer before the recorder goes.
class TickRecorder {
public:
    explicit TickRecorder(HiResTimer& timer)
    {
        QObject::connect(
            &timer, &HiResTimer::timeout, &timer,
            [this] {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_ticks.push_back({Clock::now(), std::this_thread::get_id()});
            },
            Qt::DirectConnection);
    }

    struct Tick {
        Clock::time_point time;
        std::thread::id thread;
    };
    std::vector<Tick> ticks() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ticks;
    }
    size_t count() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ticks.size();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Tick> m_ticks;
};

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

TEST(HiResTimer, HoldsItsPeriodOnItsOwnThread)
{
    HiResTimer timer;
    TickRecorder recorder(timer);
    const auto start = Clock::now();
    ASSERT_TRUE(timer.start(20, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.count() >= 21; }, 20000));
    timer.stop();
    const auto stopped = Clock::now();
    const auto ticks = recorder.ticks();

    // Deadlines are absolute: the n-th tick never comes before n periods have passed, and a late
    // tick does not bring a burst after it. Under load ticks may come late or be skipped.
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(stopped - start).count();
    EXPECT_LE(ticks.size(), static_cast<size_t>(elapsedMs / 20 + 1));
    for (size_t i = 0; i < ticks.size(); ++i) {
        const auto sinceStart = std::chrono::duration_cast<std::chrono::microseconds>(ticks[i].time - start);
        EXPECT_GE(sinceStart.count(), static_cast<long long>(i + 1) * 20000 - 1000) << "tick " << i;
        EXPECT_NE(ticks[i].thread, std::this_thread::get_id());
        EXPECT_EQ(ticks[i].thread, ticks[0].thread);
    }
    // Nor does it tick at a lower rate: the typical interval is the period (a late tick or a skipped
    // one moves the median little; half the rate would make it 40 ms).
    std::vector<Clock::time_point> times;
    for (const auto& tick : ticks)
        times.push_back(tick.time);
    EXPECT_LE(testsupport::medianIntervalMs(times), 30.0);
}

TEST(HiResTimer, NoTickAfterStopReturns)
{
    HiResTimer timer;
    TickRecorder recorder(timer);
    timer.stop(); // idle: nothing happens
    ASSERT_TRUE(timer.start(5, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.count() >= 3; }, 10000));
    timer.stop();
    const size_t atStop = recorder.count();
    sleepMs(60);
    EXPECT_EQ(recorder.count(), atStop);
    timer.stop(); // a second stop is harmless
}

TEST(HiResTimer, StartingAgainReplacesTheRunningSeries)
{
    HiResTimer timer;
    TickRecorder recorder(timer);
    ASSERT_TRUE(timer.start(5, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.count() >= 2; }, 10000));
    const size_t beforeRestart = recorder.count();
    ASSERT_TRUE(timer.start(40, 0));
    const auto restarted = Clock::now();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.count() >= beforeRestart + 5; }, 10000));
    timer.stop();
    const auto stopped = Clock::now();

    // Had the 5 ms series gone on, some 60 ticks would follow the restart.
    std::vector<TickRecorder::Tick> after;
    for (const auto& tick : recorder.ticks()) {
        if (tick.time >= restarted)
            after.push_back(tick);
    }
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(stopped - restarted).count();
    EXPECT_LE(after.size(), static_cast<size_t>(elapsedMs / 40 + 1));
    EXPECT_GE(after.size(), 1u);
    for (const auto& tick : after)
        EXPECT_EQ(tick.thread, after.front().thread);
}

TEST(HiResTimer, StopWaitsForATickInProgress)
{
    HiResTimer timer;
    std::atomic<bool> inTick{false};
    std::atomic<int> ticks{0};
    QObject::connect(
        &timer, &HiResTimer::timeout, &timer,
        [&] {
            inTick = true;
            ++ticks;
            sleepMs(100);
            inTick = false;
        },
        Qt::DirectConnection);
    ASSERT_TRUE(timer.start(5, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return inTick.load(); }, 10000));
    timer.stop();
    EXPECT_FALSE(inTick.load()) << "stop returned while a tick was still running";
    const int atStop = ticks;
    sleepMs(50);
    EXPECT_EQ(ticks.load(), atStop);
}

TEST(HiResTimer, CanBeStoppedFromItsOwnTick)
{
    HiResTimer timer;
    std::atomic<int> ticks{0};
    QObject::connect(
        &timer, &HiResTimer::timeout, &timer,
        [&] {
            if (++ticks == 3)
                timer.stop(); // must neither join itself nor deadlock
        },
        Qt::DirectConnection);
    ASSERT_TRUE(timer.start(5, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.load() >= 3; }, 10000));
    sleepMs(60);
    EXPECT_EQ(ticks.load(), 3);

    // The timer can be started again afterwards.
    ASSERT_TRUE(timer.start(5, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.load() >= 5; }, 10000));
    timer.stop();
}

// A receiver may delete the timer from its tick, whether the timer itself or another object is the
// connection's context; a second receiver connected after it sees no tick of the deleted timer.
TEST(HiResTimer, CanBeDeletedFromItsOwnTick)
{
    for (const bool timerIsContext : {true, false}) {
        SCOPED_TRACE(timerIsContext ? "timer as context" : "other context");
        QObject other;
        auto* timer = new HiResTimer;
        std::atomic<int> ticks{0};
        std::atomic<int> laterReceiverTicks{0};
        std::atomic<bool> deleted{false};
        QObject::connect(
            timer, &HiResTimer::timeout, timerIsContext ? static_cast<QObject*>(timer) : &other,
            [&, timer] {
                if (++ticks == 3) {
                    delete timer;
                    deleted = true;
                }
            },
            Qt::DirectConnection);
        QObject::connect(
            timer, &HiResTimer::timeout, &other, [&] { ++laterReceiverTicks; }, Qt::DirectConnection);
        ASSERT_TRUE(timer->start(2, 0));
        ASSERT_TRUE(QTest::qWaitFor([&] { return deleted.load(); }, 10000));
        sleepMs(30);
        EXPECT_EQ(ticks.load(), 3);
        EXPECT_EQ(laterReceiverTicks.load(), 2);
    }
}

// The owner stops, starts or deletes the timer while a receiver connected directly stops or starts
// it: neither waits for the other for ever, and the owner's call still waits for the tick in progress.
TEST(HiResTimer, TheOwnerAndATickMayStopAndStartItAtOnce)
{
    testsupport::TimerControls<HiResTimer> controls;
    controls.startNew = [](std::function<void()> tick) -> HiResTimer* {
        auto* timer = new HiResTimer;
        QObject::connect(timer, &HiResTimer::timeout, timer, tick, Qt::DirectConnection);
        if (timer->start(1, 0))
            return timer;
        delete timer;
        return nullptr;
    };
    controls.stop = [](HiResTimer& timer) { timer.stop(); };
    controls.restart = [](HiResTimer& timer) { timer.start(1, 0); };
    testsupport::raceOwnerAndTick(controls, 12);
}

TEST(HiResTimer, DestroyingARunningTimerStopsIt)
{
    std::atomic<int> ticks{0};
    {
        HiResTimer timer;
        QObject::connect(
            &timer, &HiResTimer::timeout, &timer, [&] { ++ticks; }, Qt::DirectConnection);
        ASSERT_TRUE(timer.start(2, 0));
        ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.load() >= 2; }, 10000));
    }
    const int atDestruction = ticks;
    sleepMs(30);
    EXPECT_EQ(ticks.load(), atDestruction);
}

TEST(HiResTimer, AnIntervalOfZeroIsRefused)
{
    HiResTimer timer;
    TickRecorder recorder(timer);
    ASSERT_TRUE(timer.start(5, 0));
    testsupport::LogCapture capture;
    EXPECT_FALSE(timer.start(0, 0));
    EXPECT_TRUE(capture.contains("interval of 0 ms"));
    // The refused start leaves the timer idle, as any failed start does.
    const size_t afterRefusal = recorder.count();
    sleepMs(40);
    EXPECT_EQ(recorder.count(), afterRefusal);
    EXPECT_TRUE(timer.start(5, 0)) << "a refused start does not spoil the timer";
    EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.count() > afterRefusal; }, 10000));
    // The recorder goes before the timer: no tick may reach it after this point.
    timer.stop();
}

TEST(HiResTimer, QueuedReceiversGetTheTicksInTheirOwnThread)
{
    HiResTimer timer;
    QObject receiver;
    int ticks = 0;
    QThread* deliveredIn = nullptr;
    QObject::connect(&timer, &HiResTimer::timeout, &receiver, [&] {
        ++ticks;
        deliveredIn = QThread::currentThread();
    });
    ASSERT_TRUE(timer.start(10, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 10000));
    timer.stop();
    EXPECT_EQ(deliveredIn, QThread::currentThread());
    QCoreApplication::processEvents(); // drains ticks posted before the stop
}
