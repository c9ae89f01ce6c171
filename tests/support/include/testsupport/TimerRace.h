// A timer's owner and its tick stopping and starting it at the same time, for every kind of timer.
#pragma once

#include "testsupport/Watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace testsupport {

// What the race needs of a kind of timer: a new one, started with a period of 1 ms, that calls `tick`
// at every tick from its own thread (null when it could not start); its stop; and a start again with a
// period of 1 ms.
template <class Timer>
struct TimerControls {
    std::function<Timer*(std::function<void()> tick)> startNew;
    std::function<void(Timer&)> stop;
    std::function<void(Timer&)> restart;
};

// The owner stops, starts or deletes the timer while its first tick stops or starts it, in rounds
// where the tick acts up to 1.5 ms after the owner began its call (mostly the owner is inside it by
// then; at once, the tick may come first). Neither may wait for the other for ever, and the owner's
// call must still wait for the tick in progress.
template <class Timer>
void raceOwnerAndTick(const TimerControls<Timer>& controls, int rounds)
{
    enum class Owner { Stop, Start, Delete };
    finishWithin(60000, "the owner and the tick waited for each other", [&] {
        for (const Owner owner : {Owner::Stop, Owner::Start, Owner::Delete}) {
            for (const bool tickStops : {true, false}) {
                for (int round = 0; round < rounds; ++round) {
                    SCOPED_TRACE(::testing::Message()
                                 << "owner " << int(owner) << ", tick stops " << tickStops << ", round " << round);
                    std::atomic<bool> acting{false}, inTick{false}, tickDone{false};
                    Timer* timer = nullptr;
                    timer = controls.startNew([&, tickStops, round] {
                        if (inTick.exchange(true))
                            return; // only the first tick acts
                        while (!acting)
                            std::this_thread::yield();
                        std::this_thread::sleep_for(std::chrono::microseconds(round % 4 * 500));
                        if (tickStops)
                            controls.stop(*timer);
                        else
                            controls.restart(*timer);
                        tickDone = true;
                    });
                    ASSERT_NE(timer, nullptr);
                    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                    while (!inTick && std::chrono::steady_clock::now() < giveUp)
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    acting = true;
                    if (!inTick) {
                        delete timer;
                        FAIL() << "the timer did not tick";
                    }
                    switch (owner) {
                    case Owner::Stop: controls.stop(*timer); break;
                    case Owner::Start: controls.restart(*timer); break;
                    case Owner::Delete:
                        delete timer;
                        timer = nullptr;
                        break;
                    }
                    EXPECT_TRUE(tickDone.load()) << "the owner's call returned while the tick was running";
                    delete timer;
                }
            }
        }
    });
}

} // namespace testsupport
