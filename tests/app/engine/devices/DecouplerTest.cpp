// Tests of the decoupler's one-buffer mailbox: dropping, throttling and shutting down.
#include "Decoupler.h"

#include <lorvish/StreamBuffer.h>
#include <testsupport/LogCapture.h>

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace {

using Lorvish::StreamBuffer;

// Records the buffers the decoupler passes on; can hold the decoupler thread inside the hand-off
// to play a slow conversion.
class Receiver {
public:
    void attach(Decoupler& decoupler)
    {
        QObject::connect(
            &decoupler, &Decoupler::bufferAvailable, &decoupler, [this](StreamBuffer* buffer) { receive(buffer); },
            Qt::DirectConnection);
    }
    void holdNext()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_hold = true;
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_hold = false;
        m_condition.notify_all();
    }
    // Waits until count buffers have arrived (or are being held).
    bool waitFor(size_t count, int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [&] { return m_received.size() >= count; });
    }
    std::vector<StreamBuffer*> received()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }

private:
    void receive(StreamBuffer* buffer)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        // The buffer is still locked while it is handed on.
        EXPECT_GE(buffer->lockCount(), 1);
        m_received.push_back(buffer);
        m_condition.notify_all();
        m_condition.wait(lock, [&] { return !m_hold; });
    }

    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_hold = false;
    std::vector<StreamBuffer*> m_received;
};

class DecouplerTest : public ::testing::Test {
protected:
    StreamBuffer* buffer(size_t index)
    {
        while (m_buffers.size() <= index)
            m_buffers.emplace_back(new StreamBuffer(64, Nimbo::PixelType_Mono8, 8, 8, 1, nullptr));
        return m_buffers[index].get();
    }
    // Each passed-on buffer comes back to lock count zero shortly after the hand-off returns.
    static bool waitUnlocked(StreamBuffer* b)
    {
        for (int i = 0; i < 1000 && b->lockCount() != 0; ++i)
            QThread::msleep(10);
        return b->lockCount() == 0;
    }
    std::vector<std::unique_ptr<StreamBuffer>> m_buffers;
};

TEST_F(DecouplerTest, EachFramePassesWithoutThrottle)
{
    Decoupler decoupler(nullptr, "Decoupler_1");
    EXPECT_EQ(decoupler.objectName(), "Decoupler_1");
    Receiver receiver;
    receiver.attach(decoupler);
    for (size_t i = 0; i < 3; ++i) {
        decoupler.setBuffer(buffer(i));
        ASSERT_TRUE(receiver.waitFor(i + 1));
        EXPECT_TRUE(waitUnlocked(buffer(i)));
    }
    EXPECT_EQ(receiver.received(), (std::vector<StreamBuffer*>{buffer(0), buffer(1), buffer(2)}));
    decoupler.shutDown();
}

TEST_F(DecouplerTest, FramesDuringAConversionKeepOnlyTheNewest)
{
    Decoupler decoupler;
    Receiver receiver;
    receiver.attach(decoupler);
    receiver.holdNext();
    decoupler.setBuffer(buffer(0));
    ASSERT_TRUE(receiver.waitFor(1));
    decoupler.setBuffer(buffer(1));
    decoupler.setBuffer(buffer(2));
    decoupler.setBuffer(buffer(3));
    // The first two are dropped unshown at once; the newest waits.
    EXPECT_EQ(buffer(1)->lockCount(), 0);
    EXPECT_EQ(buffer(2)->lockCount(), 0);
    EXPECT_EQ(buffer(3)->lockCount(), 1);
    receiver.release();
    // The newest is shown next, without waiting for a further frame.
    ASSERT_TRUE(receiver.waitFor(2));
    EXPECT_EQ(receiver.received(), (std::vector<StreamBuffer*>{buffer(0), buffer(3)}));
    EXPECT_TRUE(waitUnlocked(buffer(3)));
    decoupler.shutDown();
}

TEST_F(DecouplerTest, ThrottlePassesOneFramePerTick)
{
    Decoupler decoupler;
    decoupler.enableThrottle(true);
    Receiver receiver;
    receiver.attach(decoupler);
    decoupler.setBuffer(buffer(0));
    decoupler.setBuffer(buffer(1));
    QThread::msleep(100);
    EXPECT_TRUE(receiver.received().empty());
    EXPECT_EQ(buffer(0)->lockCount(), 0);
    decoupler.throttleTimerTick();
    ASSERT_TRUE(receiver.waitFor(1));
    EXPECT_EQ(receiver.received().back(), buffer(1));

    // No tick: a new frame waits.
    decoupler.setBuffer(buffer(2));
    QThread::msleep(100);
    EXPECT_EQ(receiver.received().size(), 1u);
    decoupler.throttleTimerTick();
    ASSERT_TRUE(receiver.waitFor(2));
    EXPECT_EQ(receiver.received().back(), buffer(2));

    // A tick with nothing pending is remembered until the next frame.
    decoupler.throttleTimerTick();
    QThread::msleep(50);
    decoupler.setBuffer(buffer(3));
    ASSERT_TRUE(receiver.waitFor(3));
    EXPECT_EQ(receiver.received().back(), buffer(3));
    // ...and only one frame per tick.
    decoupler.setBuffer(buffer(4));
    QThread::msleep(100);
    EXPECT_EQ(receiver.received().size(), 3u);
    EXPECT_TRUE(decoupler.hasPendingBuffer());

    // Switching the throttle off lets the held frame go.
    decoupler.enableThrottle(false);
    ASSERT_TRUE(receiver.waitFor(4));
    EXPECT_EQ(receiver.received().back(), buffer(4));
    decoupler.shutDown();
}

TEST_F(DecouplerTest, SetBufferAfterShutDownIsRefused)
{
    Decoupler decoupler;
    decoupler.shutDown();
    EXPECT_FALSE(decoupler.isRunning());
    testsupport::LogCapture log;
    decoupler.setBuffer(buffer(0));
    EXPECT_TRUE(log.contains("========== setBuffer has been called although we were shut-down"));
    EXPECT_EQ(buffer(0)->lockCount(), 0);
    EXPECT_FALSE(decoupler.hasPendingBuffer());
}

TEST_F(DecouplerTest, ShutDownWaitsForTheConversionAndReleasesThePendingFrame)
{
    auto decoupler = std::make_unique<Decoupler>();
    decoupler->enableThrottle(true);
    Receiver receiver;
    receiver.attach(*decoupler);
    receiver.holdNext();
    decoupler->throttleTimerTick();
    decoupler->setBuffer(buffer(0));
    ASSERT_TRUE(receiver.waitFor(1));
    decoupler->setBuffer(buffer(1));
    EXPECT_EQ(buffer(1)->lockCount(), 1);

    std::atomic<bool> shutDownReturned{false};
    std::unique_ptr<QThread> closer(QThread::create([&] {
        decoupler->shutDown();
        shutDownReturned = true;
    }));
    closer->start();
    QThread::msleep(300);
    EXPECT_FALSE(shutDownReturned.load()); // still converting
    receiver.release();
    ASSERT_TRUE(closer->wait(20000));
    EXPECT_TRUE(shutDownReturned.load());
    EXPECT_FALSE(decoupler->isRunning());
    EXPECT_EQ(receiver.received().size(), 1u);
    EXPECT_EQ(buffer(0)->lockCount(), 0);
    EXPECT_EQ(buffer(1)->lockCount(), 0);
    decoupler.reset(); // a second shut-down in the destructor is harmless
}

TEST_F(DecouplerTest, DestructionReleasesAPendingFrame)
{
    {
        Decoupler decoupler;
        decoupler.enableThrottle(true);
        decoupler.setBuffer(buffer(0));
        EXPECT_EQ(buffer(0)->lockCount(), 1);
    }
    EXPECT_EQ(buffer(0)->lockCount(), 0);
}

} // namespace
