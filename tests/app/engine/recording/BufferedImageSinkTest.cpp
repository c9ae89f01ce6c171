// The buffered image sink: bounded queue, drops, draining, the first failure reported once.
#include "BufferedImageSink.h"
#include "FakeMediaWriter.h"
#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Collects what the sink reports on its writer thread.
class Callees : public CBufferedImageSink::IQueueEmptyProgressCallee,
                public CBufferedImageSink::IWriteFrameFailedCallee {
public:
    void onQueueProgress(uint64_t remaining) override { record("progress " + std::to_string(remaining)); }
    void onFrameWriteFailed(const char* detail) override
    {
        record(std::string("failed ") + (detail ? detail : "(null)"));
    }
    void onFileLimitReached() override { record("file limit"); }
    void onCodecFatal(const char* detail) override { record(std::string("codec ") + (detail ? detail : "(null)")); }

    bool waitFor(size_t count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return m_events.size() >= count; });
    }
    std::vector<std::string> events() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }

private:
    void record(std::string event)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(std::move(event));
        m_changed.notify_all();
    }
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
};

bool pushFrame(CBufferedImageSink& sink, uint8_t value)
{
    const std::vector<uint8_t> frame(16, value);
    return sink.push(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 4, 4, 0);
}

TEST(BufferedImageSinkTest, FullQueueDropsTheNewestFramesWithoutCopyingThem)
{
    FakeWriter writer;
    writer.setGate(false);
    CBufferedImageSink sink(&writer, 2);
    EXPECT_TRUE(pushFrame(sink, 1));
    ASSERT_TRUE(writer.waitEntered(1)); // frame 1 is being written, out of the queue
    EXPECT_TRUE(pushFrame(sink, 2));
    EXPECT_TRUE(pushFrame(sink, 3));
    EXPECT_EQ(sink.queuedCount(), 2u);
    // A dropped frame is not even read: this one claims far more bytes than it has.
    const uint8_t tiny = 4;
    EXPECT_FALSE(sink.push(&tiny, 64 * 1024 * 1024, Nimbo::PixelType_Mono8, 8192, 8192, 0));
    EXPECT_FALSE(pushFrame(sink, 5));
    EXPECT_EQ(sink.droppedCount(), 2u);
    EXPECT_EQ(sink.capacity(), 2);

    writer.setGate(true);
    ASSERT_TRUE(writer.waitFinished(3));
    sink.stop();
    EXPECT_EQ(writer.written(), (std::vector<uint8_t>{1, 2, 3})); // in arrival order
    EXPECT_EQ(sink.recordedCount(), 3u);
    EXPECT_EQ(sink.queuedCount(), 0u);
}

// With several writer threads, frames the others still hold count as remaining: zero is told once,
// last, when everything is written.
TEST(BufferedImageSinkTest, DrainReportsProgressDownToZero)
{
    const struct {
        unsigned writers;
        uint8_t frames;
    } cases[] = {{1, 4}, {3, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.writers);
        FakeWriter writer;
        writer.setConcurrentAdds(c.writers);
        writer.setGate(false);
        CBufferedImageSink sink(&writer, 10);
        for (uint8_t i = 1; i <= c.frames; ++i)
            ASSERT_TRUE(pushFrame(sink, i));
        ASSERT_TRUE(writer.waitEntered(int(c.writers)));
        Callees callees;
        ASSERT_TRUE(sink.watchQueueUntilEmpty(&callees));
        writer.setGate(true);
        ASSERT_TRUE(callees.waitFor(c.frames));
        ASSERT_TRUE(sink.waitUntilEmpty(10s));
        sink.stop();
        std::vector<std::string> expected;
        for (int remaining = c.frames - 1; remaining >= 0; --remaining)
            expected.push_back("progress " + std::to_string(remaining));
        EXPECT_EQ(callees.events(), expected);
    }
}

TEST(BufferedImageSinkTest, EmptyQueueStopsAtOnceAndWatchesNothing)
{
    FakeWriter writer;
    CBufferedImageSink sink(&writer, 3);
    Callees callees;
    EXPECT_FALSE(sink.watchQueueUntilEmpty(&callees));
    const auto begin = std::chrono::steady_clock::now();
    sink.stop();
    sink.stop(); // a second stop does nothing
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
    EXPECT_TRUE(callees.events().empty());
}

TEST(BufferedImageSinkTest, StopAbandonsFramesStillQueued)
{
    FakeWriter writer;
    writer.setGate(false);
    auto sink = std::make_unique<CBufferedImageSink>(&writer, 5);
    for (uint8_t i = 1; i <= 3; ++i)
        ASSERT_TRUE(pushFrame(*sink, i));
    ASSERT_TRUE(writer.waitEntered(1));
    std::thread opener([&] {
        std::this_thread::sleep_for(200ms); // stop has set its flag by then
        writer.setGate(true);
    });
    sink->stop();
    opener.join();
    EXPECT_EQ(writer.written(), std::vector<uint8_t>{1});
    sink.reset(); // frees the two abandoned frames (checked by the leak sanitizer)
}

// A full disk or a missing folder fails every frame after the first one too: the first failure is
// reported once with its kind, and the frames queued then and pushed later are counted, not tried.
// The frame that takes a file past its size limit is in the file and not counted.
TEST(BufferedImageSinkTest, FirstFailureIsReportedOnceAndTheRestIsCounted)
{
    const struct {
        FakeWriter::Failure failure;
        const char* event; // start of the one report
        std::vector<uint8_t> written;
        uint64_t lost;
    } cases[] = {
        {FakeWriter::Fatal, "codec codec gave up on 2", {1}, 6}, // frame 2, three queued, two later pushes
        {FakeWriter::FileLimit, "file limit", {1, 2}, 5},
        {FakeWriter::Generic, "failed disk full", {1}, 6},
        {FakeWriter::Other, "failed (null)", {1}, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event);
        FakeWriter writer;
        for (uint8_t frame = 2; frame <= 6; ++frame)
            writer.failOn(frame, c.failure);
        CBufferedImageSink sink(&writer, 10);
        Callees callees;
        EXPECT_TRUE(sink.setWriteFailedCallee(&callees));
        writer.setGate(false);
        for (uint8_t i = 1; i <= 5; ++i)
            ASSERT_TRUE(pushFrame(sink, i));
        writer.setGate(true);
        ASSERT_TRUE(callees.waitFor(1));
        ASSERT_TRUE(sink.waitUntilEmpty(10s));
        EXPECT_FALSE(pushFrame(sink, 6)); // refused once writing has failed
        EXPECT_FALSE(pushFrame(sink, 7));
        sink.stop();
        const auto events = callees.events();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].rfind(c.event, 0), 0u) << events[0];
        EXPECT_EQ(writer.written(), c.written);
        EXPECT_EQ(sink.lostCount(), c.lost);
        EXPECT_EQ(sink.queuedCount(), 0u);
        EXPECT_EQ(sink.droppedCount(), 0u);
    }
}

// Waiting for the queue ends when the last frame is written, or at the time-out while the writer
// is held.
TEST(BufferedImageSinkTest, WaitUntilEmptyIsBounded)
{
    FakeWriter writer;
    writer.setGate(false);
    CBufferedImageSink sink(&writer, 4);
    EXPECT_TRUE(sink.waitUntilEmpty(0ms)); // nothing queued
    ASSERT_TRUE(pushFrame(sink, 1));
    ASSERT_TRUE(pushFrame(sink, 2));
    ASSERT_TRUE(writer.waitEntered(1));
    EXPECT_FALSE(sink.waitUntilEmpty(50ms));
    writer.setGate(true);
    EXPECT_TRUE(sink.waitUntilEmpty(10s));
    EXPECT_EQ(writer.written(), (std::vector<uint8_t>{1, 2}));
    sink.stop();
}

TEST(BufferedImageSinkTest, CapacityBelowOneIsRaisedToOne)
{
    for (int capacity : {0, -3}) {
        SCOPED_TRACE(capacity);
        FakeWriter writer;
        writer.setGate(false);
        CBufferedImageSink sink(&writer, capacity);
        EXPECT_EQ(sink.capacity(), 1);
        EXPECT_TRUE(pushFrame(sink, 1));
        ASSERT_TRUE(writer.waitEntered(1));
        EXPECT_TRUE(pushFrame(sink, 2));
        EXPECT_FALSE(pushFrame(sink, 3));
        writer.setGate(true);
        ASSERT_TRUE(writer.waitFinished(2));
        sink.stop();
        EXPECT_EQ(writer.written(), (std::vector<uint8_t>{1, 2}));
    }
}

// A queue size read from a settings file edited by hand may be far beyond what memory can hold; the
// queue's room is made at once, so the sink would ask for the room of two thousand million frames
// and the program would end. It takes a queue that fits, and records.
TEST(BufferedImageSinkTest, CapacityBeyondMemoryIsLowered)
{
    FakeWriter writer;
    CBufferedImageSink sink(&writer, std::numeric_limits<int>::max());
    EXPECT_LT(sink.capacity(), std::numeric_limits<int>::max());
    EXPECT_GE(sink.capacity(), 100000);
    EXPECT_TRUE(pushFrame(sink, 1));
    EXPECT_TRUE(pushFrame(sink, 2));
    EXPECT_TRUE(sink.waitUntilEmpty(10s));
    sink.stop();
    EXPECT_EQ(writer.written(), (std::vector<uint8_t>{1, 2}));
}

TEST(BufferedImageSinkTest, CallersBufferMayChangeRightAfterPush)
{
    FakeWriter writer;
    writer.setGate(false);
    CBufferedImageSink sink(&writer, 4);
    std::vector<uint8_t> frame(16, 7);
    ASSERT_TRUE(sink.push(frame.data(), frame.size(), Nimbo::PixelType_Mono8, 4, 4, 0));
    frame.assign(16, 9);
    writer.setGate(true);
    ASSERT_TRUE(writer.waitFinished(1));
    sink.stop();
    EXPECT_EQ(writer.written(), std::vector<uint8_t>{7});
}

// A writer of independent files gets several writer threads: frames are written side by side, and
// each keeps the place of its arrival whatever order the writes end in.
TEST(BufferedImageSinkTest, ConcurrentWriterKeepsArrivalOrderInItsPlaces)
{
    FakeWriter writer;
    writer.setConcurrentAdds(3);
    writer.setGate(false);
    CBufferedImageSink sink(&writer, 10);
    for (uint8_t i = 1; i <= 6; ++i)
        ASSERT_TRUE(pushFrame(sink, i));
    ASSERT_TRUE(writer.waitEntered(3)); // three frames in the writer at once
    EXPECT_EQ(sink.queuedCount(), 3u);
    EXPECT_FALSE(sink.waitUntilEmpty(0ms)); // frames being written are not written yet
    writer.setGate(true);
    ASSERT_TRUE(sink.waitUntilEmpty(10s));
    sink.stop();
    EXPECT_EQ(writer.places(), (std::map<uint32_t, uint8_t>{{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}}));
    EXPECT_EQ(sink.recordedCount(), 6u);
}

// A failure among frames written side by side is still reported once; the frames beside it that fail
// as well are counted as lost with those queued behind.
TEST(BufferedImageSinkTest, ConcurrentFailureIsReportedOnce)
{
    FakeWriter writer;
    writer.setConcurrentAdds(3);
    for (uint8_t frame = 2; frame <= 8; ++frame)
        writer.failOn(frame, FakeWriter::Generic);
    CBufferedImageSink sink(&writer, 10);
    Callees callees;
    sink.setWriteFailedCallee(&callees);
    writer.setGate(false);
    for (uint8_t i = 1; i <= 5; ++i)
        ASSERT_TRUE(pushFrame(sink, i));
    ASSERT_TRUE(writer.waitEntered(3)); // frames 1, 2 and 3 in the writer
    writer.setGate(true);
    ASSERT_TRUE(writer.waitFinished(3));
    ASSERT_TRUE(sink.waitUntilEmpty(10s));
    EXPECT_FALSE(pushFrame(sink, 6));
    sink.stop();
    const auto events = callees.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].rfind("failed disk full", 0), 0u) << events[0];
    EXPECT_EQ(writer.written(), std::vector<uint8_t>{1});
    EXPECT_EQ(sink.lostCount(), 5u); // frames 2 and 3 beside frame 1, 4 and 5 queued, 6 pushed later
}

// Queued frames are copied into reused, ahead-touched images: whatever the layout and however the queue
// grows and drains, every frame comes out byte for byte as pushed, and the images the sink keeps stay
// within its bound once it is idle again.
TEST(BufferedImageSinkTest, ReusedImagesKeepFramesIntactAndStayBounded)
{
    struct Layout {
        Nimbo::EPixelType type;
        uint32_t width, height, paddingX;
        size_t size;
    };
    // A layout change in the middle leaves spares of the wrong size behind: smaller, then larger again.
    const std::vector<Layout> layouts = {{Nimbo::PixelType_Mono8, 64, 48, 0, 64 * 48},
                                         {Nimbo::PixelType_RGB8packed, 10, 7, 2, (10 * 3 + 2) * 7},
                                         {Nimbo::PixelType_Mono8, 256, 256, 0, 256 * 256}};
    struct Case {
        int capacity;
        unsigned threads;
    };
    // A bound below the spares kept ready ({1, 1} keeps two images) must win over them.
    for (const Case& c : {Case{1, 1}, Case{5, 1}, Case{2, 3}}) {
        SCOPED_TRACE(testing::Message() << c.capacity << " frames, " << c.threads << " writers");
        const unsigned threads = c.threads;
        FakeWriter writer;
        writer.setConcurrentAdds(threads);
        CBufferedImageSink sink(&writer, c.capacity);
        std::vector<std::vector<uint8_t>> pushed;
        uint8_t seed = 0;
        for (const Layout& layout : layouts) {
            // Held at the gate, the queue fills to its end; opened, it drains and its images come back.
            writer.setGate(false);
            for (int i = 0; i < c.capacity; ++i) {
                std::vector<uint8_t> frame(layout.size);
                for (size_t b = 0; b < frame.size(); ++b)
                    frame[b] = uint8_t(seed * 31 + b * 7 + (b >> 8));
                ++seed;
                ASSERT_TRUE(
                    sink.push(frame.data(), frame.size(), layout.type, layout.width, layout.height, layout.paddingX));
                pushed.push_back(std::move(frame));
            }
            writer.setGate(true);
            ASSERT_TRUE(sink.waitUntilEmpty(10s));
            EXPECT_TRUE(testsupport::waitFor([&] { return sink.heldImageCount() <= sink.heldImageLimit(); }));
        }
        sink.stop();
        EXPECT_EQ(sink.droppedCount(), 0u);
        // Side by side the frames may finish in any order; each one must still be one that was pushed.
        std::vector<std::vector<uint8_t>> written = writer.frames();
        if (threads > 1) {
            std::sort(written.begin(), written.end());
            std::sort(pushed.begin(), pushed.end());
        }
        EXPECT_TRUE(written == pushed);
        // Stopped, nothing is being prepared any more: what is left is what the sink keeps.
        EXPECT_LE(sink.heldImageCount(), sink.heldImageLimit());
    }
}

} // namespace
