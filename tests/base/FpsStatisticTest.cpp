// The frame-rate statistic driven by a clock the test controls.
#include "brasko/FpsStatistic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

class ManualClockStatistic : public FpsStatistic {
public:
    using FpsStatistic::FpsStatistic;
    double now = 100.0; // any origin: the statistic works relative to its first sample

    // Adds a sample at the given time.
    bool addAt(double time, unsigned long long value)
    {
        now = time;
        return addSample(value);
    }

protected:
    double currentTime() const override { return now; }
};

struct Result {
    bool ok = false;
    double fps = -1.0;
    unsigned long long bytes = ~0ull;
};

Result resultAt(ManualClockStatistic& statistic, double time)
{
    statistic.now = time;
    Result r;
    r.ok = statistic.computeResult(&r.fps, &r.bytes);
    return r;
}

} // namespace

TEST(FpsStatistic, SteadyRhythmGivesItsRateFromTheSecondSampleOn)
{
    ManualClockStatistic statistic(32);
    statistic.addAt(100.0, 1000000);
    EXPECT_FALSE(resultAt(statistic, 100.0).ok) << "one sample spans no time";

    // 100 samples wrap the ring of 32 several times; the rate holds throughout.
    for (int i = 1; i <= 100; ++i) {
        ASSERT_TRUE(statistic.addAt(100.0 + 0.02 * i, 1000000));
        const Result r = resultAt(statistic, 100.0 + 0.02 * i);
        ASSERT_TRUE(r.ok) << i;
        EXPECT_NEAR(r.fps, 50.0, 1e-6) << i;
        EXPECT_NEAR(static_cast<double>(r.bytes), 50000000.0, 50.0) << i;
    }
    EXPECT_NEAR(statistic.fps(), 50.0, 1e-6);
    EXPECT_FALSE(statistic.hasBeenReset());
}

TEST(FpsStatistic, TheFirstSampleOnlyOpensTheTimeBase)
{
    ManualClockStatistic statistic(32);
    statistic.addAt(5.0, 1000);
    statistic.addAt(5.5, 1000);
    const Result r = resultAt(statistic, 5.5);
    ASSERT_TRUE(r.ok);
    EXPECT_DOUBLE_EQ(r.fps, 2.0);
    EXPECT_EQ(r.bytes, 2000u);
}

TEST(FpsStatistic, NullOutputsAreAllowed)
{
    ManualClockStatistic statistic(8);
    statistic.addAt(0.0, 10);
    statistic.addAt(0.1, 10);
    double fps = 0.0;
    unsigned long long bytes = 0;
    EXPECT_TRUE(statistic.computeResult(nullptr, nullptr));
    EXPECT_TRUE(statistic.computeResult(&fps, nullptr));
    EXPECT_TRUE(statistic.computeResult(nullptr, &bytes));
    EXPECT_NEAR(fps, 10.0, 1e-9);
    EXPECT_EQ(bytes, 100u);
}

TEST(FpsStatistic, RhythmChangeRestartsFromTheThirdAndSecondNewestSamples)
{
    ManualClockStatistic statistic(32);
    const unsigned long long v = 1000;
    for (int i = 0; i < 4; ++i)
        statistic.addAt(0.1 * i, v); // 0.0, 0.1, 0.2, 0.3
    EXPECT_FALSE(statistic.hasBeenReset());

    // The fifth interval is 0.2 against 0.1: far more than a quarter of the mean apart.
    statistic.addAt(0.5, v);
    EXPECT_TRUE(statistic.hasBeenReset());
    EXPECT_FALSE(statistic.hasBeenReset()) << "the flag is read once";

    // Kept: the samples of 0.1 (as time 0) and 0.2, then the new one at 0.4 with its interval 0.2.
    // Mean interval (0.1 + 0.2) / 2; bytes of the two later samples over a span of 0.4.
    const Result r = resultAt(statistic, 0.5);
    ASSERT_TRUE(r.ok);
    EXPECT_NEAR(r.fps, 1.0 / 0.15, 1e-6);
    EXPECT_NEAR(static_cast<double>(r.bytes), 2.0 * v / 0.4, 1.0);
}

TEST(FpsStatistic, SmallRhythmChangesDoNotRestart)
{
    const struct {
        double fifthInterval;
        bool restarts;
    } cases[] = {{0.1, false}, {0.12, false}, {0.08, false}, {0.126, true}, {0.074, true}, {0.3, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fifthInterval);
        ManualClockStatistic statistic(32);
        for (int i = 0; i < 4; ++i)
            statistic.addAt(0.1 * i, 1);
        statistic.addAt(0.3 + c.fifthInterval, 1);
        EXPECT_EQ(statistic.hasBeenReset(), c.restarts);
    }
}

TEST(FpsStatistic, SilenceWithEnoughSamplesRestartsAndThenFallsGradually)
{
    ManualClockStatistic statistic(32);
    for (int i = 0; i < 10; ++i)
        statistic.addAt(0.1 * i, 500); // last sample at 0.9
    const Result steady = resultAt(statistic, 0.95);
    ASSERT_TRUE(steady.ok);
    EXPECT_NEAR(steady.fps, 10.0, 1e-6);
    EXPECT_FALSE(statistic.hasBeenReset());

    // 0.2 s of silence is more than 1.25 mean intervals: restart from the samples of 0.7 and 0.8;
    // the silence since 0.8 (0.3 s) counts as one more pending interval: 1 / (0.1 + 0.2 / 2).
    const Result silent = resultAt(statistic, 1.1);
    ASSERT_TRUE(silent.ok);
    EXPECT_TRUE(statistic.hasBeenReset());
    EXPECT_NEAR(silent.fps, 5.0, 1e-6);

    double previous = silent.fps;
    for (double t = 1.5; t < 11.0; t += 0.5) {
        const Result r = resultAt(statistic, t);
        ASSERT_TRUE(r.ok);
        EXPECT_GT(r.fps, 0.0) << t;
        EXPECT_LT(r.fps, previous) << t;
        previous = r.fps;
    }
}

TEST(FpsStatistic, BothRatesDropToZeroAfterTenAndAHalfSecondsOfSilence)
{
    const struct {
        double silence;
        bool zero;
    } cases[] = {{10.4, false}, {10.5, true}, {60.0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.silence);
        ManualClockStatistic statistic(32);
        statistic.addAt(0.0, 1000);
        statistic.addAt(0.5, 1000);
        const Result r = resultAt(statistic, 0.5 + c.silence);
        ASSERT_TRUE(r.ok);
        if (c.zero) {
            EXPECT_EQ(r.fps, 0.0);
            EXPECT_EQ(r.bytes, 0u);
            EXPECT_EQ(statistic.fps(), 0.0);
        } else {
            EXPECT_GT(r.fps, 0.0);
            EXPECT_GT(r.bytes, 0u);
        }
    }
}

TEST(FpsStatistic, SilenceAfterASteadyStreamAlsoEndsAtZero)
{
    ManualClockStatistic statistic(32);
    for (int i = 0; i < 20; ++i)
        statistic.addAt(0.05 * i, 100);
    const Result r = resultAt(statistic, 0.95 + 11.0);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.fps, 0.0);
    EXPECT_EQ(r.bytes, 0u);
}

TEST(FpsStatistic, TheOverwrittenSampleLeavesTheSums)
{
    ManualClockStatistic statistic(3);
    statistic.addAt(0.0, 10); // counts as 0
    statistic.addAt(0.1, 20);
    statistic.addAt(0.3, 30);
    // Ring full: intervals 0.1 and 0.2.
    Result r = resultAt(statistic, 0.3);
    ASSERT_TRUE(r.ok);
    EXPECT_NEAR(r.fps, 1.0 / 0.15, 1e-9);
    EXPECT_NEAR(static_cast<double>(r.bytes), 50.0 / 0.3, 1.0);

    statistic.addAt(0.6, 40); // overwrites the first sample (interval 0, value 0)
    statistic.addAt(1.0, 50); // overwrites the sample of 0.1 (interval 0.1, value 20)
    // Held: 0.3 (interval 0.2, 30), 0.6 (0.3, 40), 1.0 (0.4, 50).
    r = resultAt(statistic, 1.0);
    ASSERT_TRUE(r.ok);
    EXPECT_NEAR(r.fps, 1.0 / 0.3, 1e-9);
    EXPECT_NEAR(static_cast<double>(r.bytes), (40.0 + 50.0) / 0.7, 1.0);
}

TEST(FpsStatistic, ResetWaitsForANewFirstSampleWithoutRaisingTheFlag)
{
    ManualClockStatistic statistic(16);
    statistic.addAt(0.0, 1);
    statistic.addAt(0.1, 1);
    statistic.reset();
    EXPECT_FALSE(statistic.hasBeenReset());
    EXPECT_FALSE(resultAt(statistic, 0.2).ok);
    statistic.addAt(50.0, 999); // starts the clock again; its value is not counted
    statistic.addAt(50.25, 100);
    const Result r = resultAt(statistic, 50.25);
    ASSERT_TRUE(r.ok);
    EXPECT_NEAR(r.fps, 4.0, 1e-9);
    EXPECT_EQ(r.bytes, 400u);
}

TEST(FpsStatistic, TooSmallACapacityAcceptsAndReportsNothing)
{
    for (unsigned int capacity : {0u, 1u, 2u}) {
        SCOPED_TRACE(capacity);
        ManualClockStatistic statistic(capacity);
        EXPECT_FALSE(statistic.addAt(0.0, 1));
        EXPECT_FALSE(statistic.addAt(1.0, 1));
        double fps = -1.0;
        EXPECT_FALSE(statistic.computeResult(&fps, nullptr));
        EXPECT_EQ(statistic.fps(), 0.0);
        EXPECT_FALSE(statistic.removeAllButLastTwoSamples(nullptr));
    }
}

TEST(FpsStatistic, NoResultWithoutATimeSpan)
{
    ManualClockStatistic statistic(8);
    EXPECT_FALSE(resultAt(statistic, 0.0).ok);
    statistic.addAt(1.0, 5);
    statistic.addAt(1.0, 5);
    EXPECT_FALSE(resultAt(statistic, 1.0).ok);
    EXPECT_EQ(statistic.fps(), 0.0);
}

TEST(FpsStatistic, RemoveAllButLastTwoSamplesReportsTheShift)
{
    ManualClockStatistic statistic(8);
    statistic.addAt(0.0, 1);
    statistic.addAt(0.2, 1);
    double shift = -1.0;
    EXPECT_FALSE(statistic.removeAllButLastTwoSamples(&shift));
    EXPECT_EQ(shift, -1.0);
    statistic.addAt(0.5, 7);
    statistic.addAt(0.9, 9);
    ASSERT_TRUE(statistic.removeAllButLastTwoSamples(&shift));
    EXPECT_NEAR(shift, 0.2, 1e-12);
    // Kept: the sample of 0.2 (as 0) and the one of 0.5 with its interval 0.3 and 7 bytes.
    const Result r = resultAt(statistic, 0.5);
    ASSERT_TRUE(r.ok);
    EXPECT_NEAR(r.fps, 1.0 / 0.3, 1e-9);
    EXPECT_NEAR(static_cast<double>(r.bytes), 7.0 / 0.3, 1.0);
}

TEST(FpsStatistic, MeasuresARealStreamWhileAnotherThreadReads)
{
    // The performance counter as the clock, samples from one thread every 5 ms, results read from
    // another meanwhile. The rate must be the one the test measures with a clock of its own: the mean
    // interval of the newest samples, each sample's time known to lie between the readings taken just
    // before and just after adding it.
    using Clock = std::chrono::steady_clock;
    const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    const int count = 48;
    for (int attempt = 1;; ++attempt) {
        FpsStatistic statistic(32);
        std::vector<Clock::time_point> before(count), after(count);
        Clock::time_point readAfter;
        double fps = -1.0;
        unsigned long long bytes = 0;
        bool ok = false;
        std::atomic<bool> done{false};
        bool restarted = false;
        std::thread producer([&] {
            for (int i = 0; i < count; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                before[i] = Clock::now();
                statistic.addSample(1000);
                after[i] = Clock::now();
            }
            // At once, before a silence could begin.
            ok = statistic.computeResult(&fps, &bytes);
            readAfter = Clock::now();
            done = true;
        });
        while (!done) {
            double readFps = 0.0;
            unsigned long long readBytes = 0;
            statistic.computeResult(&readFps, &readBytes);
            EXPECT_GE(readFps, 0.0);
            restarted = statistic.hasBeenReset() || restarted;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        producer.join();
        restarted = statistic.hasBeenReset() || restarted;
        ASSERT_TRUE(ok);
        ASSERT_GT(fps, 0.0);
        const int last = count - 1;
        // Preempted between the last sample and the reading for longer than an interval: the silence
        // may have restarted the statistic. Rare, so measure again.
        if (seconds(readAfter - before[last]) > 0.004 && attempt < 10)
            continue;
        if (!restarted) {
            // The ring holds the 32 newest samples: the mean of their intervals, their bytes over the
            // span of the 31 newest.
            const double meanLow = seconds(before[last] - after[last - 32]) / 32;
            const double meanHigh = seconds(after[last] - before[last - 32]) / 32;
            EXPECT_GE(1.0 / fps, meanLow - 1e-6);
            EXPECT_LE(1.0 / fps, meanHigh + 1e-6);
            const double spanLow = seconds(before[last] - after[last - 31]);
            const double spanHigh = seconds(after[last] - before[last - 31]);
            EXPECT_GE(static_cast<double>(bytes), 31000.0 / spanHigh - 1.0);
            EXPECT_LE(static_cast<double>(bytes), 31000.0 / spanLow + 1.0);
        } else {
            // A change of rhythm under load kept fewer samples: the mean of some of the newest
            // intervals lies between the shortest and the longest of them.
            double shortest = 1e9, longest = 0.0;
            for (int i = last - 32; i <= last; ++i) {
                shortest = std::min(shortest, seconds(before[i] - after[i - 1]));
                longest = std::max(longest, seconds(after[i] - before[i - 1]));
            }
            longest = std::max(longest, seconds(readAfter - before[last]));
            EXPECT_GE(1.0 / fps, shortest - 1e-6);
            EXPECT_LE(1.0 / fps, longest + 1e-6);
        }
        break;
    }
}
