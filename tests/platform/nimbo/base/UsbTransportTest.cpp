// The USB3 Vision transport below the device objects: a lost camera reported from one of Aravis' own
// threads.
#include "aravis/AravisPrivate.h"

#include <nimbo/Emulation.h>

#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace Nimbo::aravis;

// A grabber that notes on which thread, and in which order, the removal reached it.
class RecordingSink : public Nimbo::FrameSink {
public:
    bool takeBuffer(Nimbo::FrameBuffer&) override { return false; }
    void deliver(const Nimbo::FrameBuffer&, const Nimbo::FrameInfo&) override {}
    void frameMissed() override {}
    void cameraRemoved() override { note("sink"); }

    void note(const char* what)
    {
        std::lock_guard<std::mutex> lock(mutex);
        steps.push_back({what, std::this_thread::get_id()});
    }
    struct Step {
        std::string what;
        std::thread::id thread;
    };
    std::mutex mutex;
    std::vector<Step> steps;
};

// Aravis' USB stream thread reports a lost camera itself (a bulk transfer that finds the device gone),
// and stopping the stream joins that very thread: the callback may only mark the camera removed, and
// everything that waits for Aravis' threads runs on the SDK's event thread, in its order.
TEST(ControlLostTest, TheAravisThreadOnlyMarksTheCameraRemovedAndTheTeardownRunsOnTheEventThread)
{
    auto state = std::make_shared<RemovalState>();
    auto sink = std::make_shared<RecordingSink>();
    state->sink = sink;
    state->listeners[1] = [&] { sink->note("listener"); };
    const auto handed = std::make_unique<ControlLostData>(state);

    std::promise<void> go;
    bool removedOnReturn = false;
    std::atomic<bool> done{false};
    std::thread stream([&, started = go.get_future()]() mutable {
        started.wait();
        onControlLost(nullptr, handed.get());
        removedOnReturn = state->removed.load();
        // Aravis' hot-plug callback reports the same loss once more.
        onControlLost(nullptr, handed.get());
        done = true;
    });
    const std::thread::id streamId = stream.get_id();
    std::atomic<bool> joined{false};
    // As the camera's own: stopping the stream waits for the stream thread to end.
    state->stopStream = [&] {
        sink->note("stream");
        if (std::this_thread::get_id() != streamId && !joined.exchange(true))
            stream.join();
    };
    go.set_value();

    ASSERT_TRUE(testsupport::waitFor([&] { return done.load(); }, 20000));
    Nimbo::Emulation::WaitForEvents();
    if (!joined.exchange(true))
        stream.join();

    EXPECT_TRUE(removedOnReturn) << "the camera is removed as soon as the callback returns";
    std::lock_guard<std::mutex> lock(sink->mutex);
    std::vector<std::string> order;
    for (const auto& step : sink->steps) {
        order.push_back(step.what);
        EXPECT_NE(step.thread, streamId) << step.what << " ran on Aravis' thread";
    }
    EXPECT_EQ(order, (std::vector<std::string>{"stream", "sink", "listener"}));
}

} // namespace
