// Operating-system services: modules, clocks, the periodic timer, OS facts, known folders.
#include "os/Clock.h"
#include "os/Module.h"
#include "os/PeriodicTimer.h"
#include "os/Shell.h"
#include "os/System.h"

#include "testsupport/Intervals.h"
#include "testsupport/TempDir.h"
#include "testsupport/Wait.h"
#include "testsupport/TimerRace.h"

#include <gtest/gtest.h>

#include <QFile>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using testsupport::waitFor;

TEST(Module, LoadsAndResolvesASymbol)
{
    os::Module module;
    ASSERT_TRUE(module.load(TEST_MODULE_PATH)) << module.errorText();
    EXPECT_TRUE(module.errorText().empty());
    auto answer = module.function<int (*)()>("testModuleAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_TRUE(module.unload());
    EXPECT_FALSE(module.unload());
}

TEST(Module, FailuresKeepTheirText)
{
    os::Module module;
    EXPECT_FALSE(module.load("/nonexistent/libNothingHere.so"));
    EXPECT_NE(module.errorText().find("libNothingHere.so"), std::string::npos) << module.errorText();
    EXPECT_FALSE(module.isLoaded());
    EXPECT_EQ(module.symbol("anything"), nullptr);
    EXPECT_FALSE(module.errorText().empty());

    ASSERT_TRUE(module.load(TEST_MODULE_PATH));
    EXPECT_EQ(module.symbol("noSuchSymbol"), nullptr);
    EXPECT_NE(module.errorText().find("noSuchSymbol"), std::string::npos) << module.errorText();
    // A failed load keeps the library loaded before.
    EXPECT_FALSE(module.load("/nonexistent/other.so"));
    EXPECT_TRUE(module.isLoaded());
    EXPECT_NE(module.symbol("testModuleAnswer"), nullptr);
    EXPECT_TRUE(module.errorText().empty());
}

TEST(Module, ProgramFolderHoldsTheTestProgram)
{
    const std::string folder = os::programFolder();
    EXPECT_FALSE(folder.empty());
    EXPECT_TRUE(QFile::exists(QString::fromStdString(folder + "/os_test")));
    EXPECT_EQ(os::moduleFolderOf(reinterpret_cast<const void*>(&os::programFolder)), folder);
}

TEST(Clock, IsMonotonicInNanoseconds)
{
    const int64_t a = os::performanceCounter();
    std::this_thread::sleep_for(5ms);
    const int64_t b = os::performanceCounter();
    EXPECT_GE(b - a, 5'000'000);
    EXPECT_LT(b - a, 5'000'000'000);
    EXPECT_EQ(os::performanceFrequency(), 1'000'000'000);
}

TEST(PeriodicTimer, HoldsItsPeriod)
{
    os::PeriodicTimer timer;
    std::atomic<int> ticks{0};
    std::vector<std::chrono::steady_clock::time_point> times; // written by the tick thread only
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_TRUE(timer.start(10, [&] {
        times.push_back(std::chrono::steady_clock::now());
        ++ticks;
    }));
    EXPECT_TRUE(timer.isRunning());
    ASSERT_TRUE(waitFor([&] { return ticks >= 21; }));
    timer.stop();
    const auto elapsed = std::chrono::steady_clock::now() - begin;
    EXPECT_FALSE(timer.isRunning());
    // A loaded machine may make ticks late, never early: n ticks take at least n periods.
    const int after = ticks.load();
    EXPECT_GE(elapsed, after * 10ms);
    // Nor does it tick at a lower rate: the typical interval is the period (half the rate makes it 20 ms).
    EXPECT_LE(testsupport::medianIntervalMs(times), 15.0);
    std::this_thread::sleep_for(50ms); // none comes after the stop
    EXPECT_EQ(ticks.load(), after);
}

TEST(PeriodicTimer, RefusesAZeroPeriodAndAnEmptyCallback)
{
    os::PeriodicTimer timer;
    EXPECT_FALSE(timer.start(0, [] {}));
    EXPECT_FALSE(timer.start(10, {}));
    EXPECT_FALSE(timer.isRunning());
    timer.stop(); // idle: nothing happens
}

TEST(PeriodicTimer, RestartReplacesTheFirstSeries)
{
    os::PeriodicTimer timer;
    std::atomic<int> first{0}, second{0};
    ASSERT_TRUE(timer.start(5, [&] { ++first; }));
    ASSERT_TRUE(waitFor([&] { return first > 0; }));
    ASSERT_TRUE(timer.start(5, [&] { ++second; }));
    const int firstAtRestart = first.load();
    ASSERT_TRUE(waitFor([&] { return second >= 3; }));
    timer.stop();
    EXPECT_EQ(first.load(), firstAtRestart);
    EXPECT_GT(second.load(), 0);
}

TEST(PeriodicTimer, StopWaitsForATickInProgress)
{
    os::PeriodicTimer timer;
    std::atomic<bool> inTick{false}, finished{false};
    ASSERT_TRUE(timer.start(1, [&] {
        inTick = true;
        std::this_thread::sleep_for(50ms);
        finished = true;
    }));
    ASSERT_TRUE(waitFor([&] { return inTick.load(); }));
    timer.stop();
    EXPECT_TRUE(finished.load());
}

TEST(PeriodicTimer, CanBeStoppedFromItsOwnTick)
{
    os::PeriodicTimer timer;
    std::atomic<int> ticks{0};
    ASSERT_TRUE(timer.start(2, [&] {
        ++ticks;
        timer.stop();
    }));
    ASSERT_TRUE(waitFor([&] { return ticks > 0 && !timer.isRunning(); }));
    std::this_thread::sleep_for(20ms); // no second tick follows
    EXPECT_EQ(ticks.load(), 1);
    // And it can be started again afterwards.
    ASSERT_TRUE(timer.start(2, [&] { ++ticks; }));
    EXPECT_TRUE(waitFor([&] { return ticks > 1; }));
    timer.stop();
    EXPECT_GT(ticks.load(), 1);
}

TEST(PeriodicTimer, DestroyingARunningTimerStopsIt)
{
    std::atomic<int> ticks{0};
    {
        os::PeriodicTimer timer;
        ASSERT_TRUE(timer.start(1, [&] { ++ticks; }));
        ASSERT_TRUE(waitFor([&] { return ticks > 0; }));
    }
    const int after = ticks.load();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ticks.load(), after);
}

// The owner stops, starts or destroys the timer while a tick stops or starts it: neither waits for
// the other for ever, and the owner's call still waits for the tick in progress.
TEST(PeriodicTimer, TheOwnerAndATickMayStopAndStartItAtOnce)
{
    testsupport::TimerControls<os::PeriodicTimer> controls;
    controls.startNew = [](std::function<void()> tick) -> os::PeriodicTimer* {
        auto* timer = new os::PeriodicTimer;
        if (timer->start(1, std::move(tick)))
            return timer;
        delete timer;
        return nullptr;
    };
    controls.stop = [](os::PeriodicTimer& timer) { timer.stop(); };
    controls.restart = [](os::PeriodicTimer& timer) { timer.start(1, [] {}); };
    testsupport::raceOwnerAndTick(controls, 20);
}

class OsRelease : public testsupport::TempDirTest {};

TEST_F(OsRelease, ReadsNameAndVersion)
{
    QFile file(filePath("os-release"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# comment\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\nVERSION_ID=\"12\"\nBROKEN\n");
    file.close();
    const os::OsVersion version = os::osVersion(stdFilePath("os-release"));
    EXPECT_EQ(version.name, "Linux");
    EXPECT_EQ(version.prettyName, "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(version.distribution, "debian");
    EXPECT_EQ(version.version, "12");
    EXPECT_FALSE(version.kernel.empty());
    EXPECT_FALSE(version.machine.empty());
}

TEST_F(OsRelease, MissingFileLeavesFieldsEmpty)
{
    const os::OsVersion version = os::osVersion(stdFilePath("missing"));
    EXPECT_EQ(version.name, "Linux");
    EXPECT_TRUE(version.prettyName.empty());
    EXPECT_FALSE(version.kernel.empty());
}

TEST(System, EnvironmentAndNoOps)
{
    std::string value = "unchanged";
    EXPECT_FALSE(os::environmentVariable("", value));
    EXPECT_FALSE(os::environmentVariable("KALMUTH_SURELY_UNSET_VARIABLE", value));
    EXPECT_EQ(value, "unchanged");
    setenv("KALMUTH_TEST_VARIABLE", "", 1);
    EXPECT_TRUE(os::environmentVariable("KALMUTH_TEST_VARIABLE", value));
    EXPECT_EQ(value, "");
    EXPECT_TRUE(os::comInitialize(os::ComApartment::MultiThreaded));
    os::comUninitialize();
    os::PowerRequest request;
    EXPECT_TRUE(request.keepAwake());
    EXPECT_TRUE(request.isActive());
    request.release();
    EXPECT_FALSE(request.isActive());
}

TEST(Shell, KnownFoldersAndRefusedOpens)
{
    EXPECT_FALSE(os::knownFolder(os::KnownFolder::Home).isEmpty());
    EXPECT_FALSE(os::knownFolder(os::KnownFolder::Temp).isEmpty());
    EXPECT_FALSE(os::shellOpen(QUrl()));
    EXPECT_FALSE(os::shellOpenPath(QString()));
}

TEST(PeriodicTimer, StoppedFromItsTickAndDestroyedAtOnce)
{
    std::atomic<bool> stopped{false};
    auto* timer = new os::PeriodicTimer;
    ASSERT_TRUE(timer->start(1, [&] {
        timer->stop();
        stopped = true;
        std::this_thread::sleep_for(20ms); // the owner destroys the timer meanwhile
    }));
    ASSERT_TRUE(waitFor([&] { return stopped.load(); }));
    delete timer;
    std::this_thread::sleep_for(40ms);
}

// A third thread stops or starts the timer while its tick runs, and is waiting for that tick (without
// the timer's lock) when the owner destroys the timer. The destructor must wait for that call: it
// comes back to the timer once the tick has ended, and the destroyed timer's tick must be over when
// the destructor returns.
TEST(PeriodicTimer, ACallInProgressOnAnotherThreadEndsBeforeTheTimerGoes)
{
    for (const bool thirdStarts : {true, false}) {
        SCOPED_TRACE(thirdStarts ? "the third thread starts it" : "the third thread stops it");
        auto* timer = new os::PeriodicTimer;
        std::atomic<bool> inTick{false}, release{false}, tickEnded{false}, first{true};
        ASSERT_TRUE(timer->start(1, [&] {
            if (!first.exchange(false))
                return;
            inTick = true;
            while (!release)
                std::this_thread::yield();
            tickEnded = true;
        }));
        ASSERT_TRUE(waitFor([&] { return inTick.load(); }));
        std::thread third([&] {
            if (thirdStarts)
                timer->start(1, [] {});
            else
                timer->stop();
        });
        // Stopped: the third thread has taken the ticking thread over and waits for it.
        ASSERT_TRUE(waitFor([&] { return !timer->isRunning(); }));
        std::atomic<bool> destroyed{false}, tickOverWhenDestroyed{false};
        std::thread owner([&] {
            delete timer;
            tickOverWhenDestroyed = tickEnded.load();
            destroyed = true;
        });
        // The destructor may not return while the tick runs; give a wrong one the time to show it.
        waitFor([&] { return destroyed.load(); }, 200);
        release = true;
        owner.join();
        third.join();
        EXPECT_TRUE(tickOverWhenDestroyed.load());
    }
}
