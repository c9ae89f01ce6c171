// The USB3 Vision transport below the device objects: a lost camera reported from one of Aravis' own
// threads, and the camera's USB device held only while it is open. No USB3 Vision camera is at hand:
// Aravis' in-process fake camera stands in, through the same backend paths as a USB one (its stream
// fills the lent buffers directly on a stream thread of Aravis', as the USB stream does).
#include "aravis/AravisPrivate.h"

#include "RealCameraSupport.h"

#include <nimbo/Emulation.h>

#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
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

// A USB camera of the backend over Aravis' fake device ("Fake_1"), and a grabber with a few buffers.
class FakeUsbCameraTest : public ::testing::Test {
protected:
    // Hands out its buffers in turn and takes each back as soon as it returns.
    class Sink : public Nimbo::FrameSink {
    public:
        explicit Sink(size_t size) : m_buffers(4, std::vector<uint8_t>(size))
        {
            for (auto& b : m_buffers)
                m_queue.push_back(&b);
        }
        bool takeBuffer(Nimbo::FrameBuffer& buffer) override
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_queue.empty() || m_removed)
                return false;
            buffer.handle = m_queue.front();
            buffer.data = m_queue.front()->data();
            buffer.size = m_queue.front()->size();
            m_queue.pop_front();
            ++m_out;
            return true;
        }
        void deliver(const Nimbo::FrameBuffer& buffer, const Nimbo::FrameInfo& info) override
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++(info.cancelled ? m_cancelled : m_frames);
            --m_out;
            m_queue.push_back(static_cast<std::vector<uint8_t>*>(buffer.handle));
        }
        void frameMissed() override {}
        void cameraRemoved() override
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_removed = true;
            m_outAtRemoval = m_out;
        }
        int frames()
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            return m_frames;
        }
        bool removed()
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            return m_removed;
        }
        // Buffers the camera still held when the grabber heard of the removal.
        int outstandingAtRemoval()
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            return m_outAtRemoval;
        }

    private:
        std::mutex m_mutex;
        std::vector<std::vector<uint8_t>> m_buffers;
        std::deque<std::vector<uint8_t>*> m_queue;
        int m_out = 0, m_outAtRemoval = -1;
        int m_frames = 0, m_cancelled = 0;
        bool m_removed = false;
    };

    void SetUp() override
    {
        arv_enable_interface("Fake");
        KnownDevice known;
        known.deviceId = "Fake_1";
        known.info.SetSerialNumber("FAKE-USB-1");
        known.info.SetFullName("usb#Fake_1");
        m_camera = std::make_shared<AravisCamera>(known);
    }
    void TearDown() override
    {
        m_camera.reset();
        Nimbo::Emulation::WaitForEvents();
        arv_disable_interface("Fake");
    }

    std::shared_ptr<AravisCamera> m_camera;
};

// The fake camera's fill callback runs on Aravis' stream thread, where a USB stream notices an unplug.
TEST_F(FakeUsbCameraTest, ControlLostOnTheStreamThreadStopsTheStreamWithoutWaitingForItself)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    std::string why;
    ASSERT_TRUE(m_camera->tryOpen(&why)) << why;
    auto sink = std::make_shared<Sink>(4 << 20);
    m_camera->setSink(sink);
    std::atomic<int> removals{0};
    m_camera->addRemovalListener([&removals] { ++removals; });

    struct Unplug {
        ArvDevice* device;
        std::atomic<int> fills{0};
    } unplug{m_camera->deviceRef()};
    ASSERT_NE(unplug.device, nullptr);
    arv_fake_camera_set_fill_pattern(
        arv_fake_device_get_fake_camera(ARV_FAKE_DEVICE(unplug.device)),
        [](ArvBuffer*, void* data, guint32, guint32, ArvPixelFormat) {
            auto* u = static_cast<Unplug*>(data);
            // The first frame arrives; the second finds the camera gone.
            if (++u->fills == 2)
                g_signal_emit_by_name(u->device, "control-lost");
        },
        &unplug);
    m_camera->setParamsLocked(true);

    EXPECT_TRUE(testsupport::waitFor([&] { return removals.load() > 0 && sink->removed(); }, 20000));
    EXPECT_FALSE(m_camera->isPlugged());
    EXPECT_GE(sink->frames(), 1);
    EXPECT_EQ(sink->outstandingAtRemoval(), 0) << "the stream hands its buffers back before the queue is cancelled";
    Nimbo::Emulation::WaitForEvents();
    EXPECT_EQ(removals.load(), 1);
    m_camera->close();
    g_object_unref(unplug.device);
}

// Aravis claims a USB camera's interfaces for as long as its device lives: closing lets the device go,
// stream and all, so that another program may open the camera; opening again takes it anew.
TEST_F(FakeUsbCameraTest, ClosingReleasesTheDeviceAndOpeningTakesItAgain)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    std::string why;
    ASSERT_TRUE(m_camera->tryOpen(&why)) << why;
    gpointer device = m_camera->deviceRef();
    ASSERT_NE(device, nullptr);
    g_object_add_weak_pointer(G_OBJECT(device), &device);
    g_object_unref(device);
    auto sink = std::make_shared<Sink>(4 << 20);
    m_camera->setSink(sink);
    m_camera->setParamsLocked(true);
    ASSERT_TRUE(testsupport::waitFor([&] { return sink->frames() > 0; }, 20000));
    EXPECT_TRUE(m_camera->holdsDevice());

    m_camera->close();
    EXPECT_EQ(device, nullptr) << "Aravis' device, and with it the camera's USB interfaces, outlives the close";
    EXPECT_FALSE(m_camera->holdsDevice());

    ASSERT_TRUE(m_camera->tryOpen(&why)) << why;
    EXPECT_TRUE(m_camera->holdsDevice());
    m_camera->close();
    EXPECT_FALSE(m_camera->holdsDevice());
}

} // namespace
