// The bounded frame queue between the grab thread and the media writer, with its writer thread.
#pragma once

#include "MediaWriter.h"

#include <boost/circular_buffer.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

// push copies a due frame into the queue and returns at once; the writer thread hands queued frames to
// the media writer in arrival order. A full queue drops the new frame (and copies nothing). A writer
// that can write several frames at once (concurrentAdds above 1, as an image sequence) gets that many
// writer threads: each takes the next frame and claims its place in the output in arrival order, then
// writes it beside the others.
//
// The first frame that cannot be written ends the writing: it is reported once, and it, the frames
// still queued and every later push are counted as lost instead of being tried (and reported) one by one.
// A file that reached its size limit holds the frame that took it there: that one is not lost.
//
// Memory: every image the sink holds (queued, being copied in or written, or spare) is reused frame after
// frame, at most capacity + writer threads of them. First touching fresh pages is slow (several
// microseconds a page), so it must not happen on the grab thread while the queue grows: a stocking
// thread keeps a few spares of the last frame's layout allocated and touched in advance, within that
// same bound.
//
// Threads: push runs on the grab thread or the sampling timer thread; the writer threads run add and
// the callees; the stocking thread prepares spares; stop, the callee setters and the status run on the
// recording's owner thread. m_mutex guards the queue, the spare images, the reservations, the frames
// being written, the layout to stock, the next sample, the exit and failed flags and both callees; the
// counters are
// atomics so the status can be read without the lock.
// m_reportMutex keeps the progress reports of several writer threads in the order of their counts.
class CBufferedImageSink {
public:
    // Told on a writer thread after each frame written while a stop waits for the queue to drain;
    // `remaining` counts the frames queued and those other writer threads are still writing.
    class IQueueEmptyProgressCallee {
    public:
        virtual ~IQueueEmptyProgressCallee() = default;
        virtual void onQueueProgress(uint64_t remaining) = 0;
    };

    // Told on the writer thread when a frame could not be written.
    class IWriteFrameFailedCallee {
    public:
        virtual ~IWriteFrameFailedCallee() = default;
        // Any other failure; detail may be null.
        virtual void onFrameWriteFailed(const char* detail) = 0;
        // The writer threw MediaFileLimitReachedException.
        virtual void onFileLimitReached() = 0;
        // The writer threw FatalMediaWriterException.
        virtual void onCodecFatal(const char* detail) = 0;
    };

    // Starts the writer threads. A capacity below 1 is raised to 1, one above a million frames lowered
    // to a million (both logged).
    CBufferedImageSink(IMediaWriter* writer, int capacity);
    // stop() must have been called.
    virtual ~CBufferedImageSink();
    CBufferedImageSink(const CBufferedImageSink&) = delete;
    CBufferedImageSink& operator=(const CBufferedImageSink&) = delete;

    // Place of a pushed frame that follows the one pushed before.
    static constexpr uint64_t kNextSample = UINT64_MAX;

    // True when the frame was queued, false when it was dropped. The caller's buffer may be released
    // as soon as this returns. std::bad_alloc leaves it when the copy cannot be made. `sample` is the
    // frame's place in the recording's sampled sequence (0 for the first), handed to the writer with
    // it: a frame dropped here, or one the caller never pushed, leaves its place empty.
    bool push(const void* buffer, size_t bufferSize, Nimbo::EPixelType pixelType, uint32_t width, uint32_t height,
              uint32_t paddingX, int orientation = 0, uint64_t sample = kNextSample);

    bool setWriteFailedCallee(IWriteFrameFailedCallee* callee);
    void clearWriteFailedCallee();
    void clearProgressCallee();
    // Installs the callee and answers true when frames are queued or still being copied in by a
    // push; answers false (and installs nothing) when there are none.
    bool watchQueueUntilEmpty(IQueueEmptyProgressCallee* callee);

    uint32_t recordedCount() const { return m_writer->imageCount(); }
    int64_t capacity() const { return m_capacity; }
    uint64_t queuedCount() const { return m_queued; }
    uint64_t droppedCount() const { return m_dropped; }
    // Frames given up after a write failure: the failing one (unless the writer took it into a file
    // that then reached its size limit), those queued then and later pushes.
    uint64_t lostCount() const { return m_lost; }
    // Frames the writer took: its add returned, or it put the frame into a file that then reached its
    // size limit. A writer whose file holds fewer (an encoder that could not finish its file) lost
    // the others.
    uint64_t takenCount() const { return m_taken; }
    // Images the sink holds now: queued, being copied in or written, spare or being stocked.
    size_t heldImageCount();
    // Images the sink keeps at most: capacity() plus the writer threads. Only while a spare is being
    // prepared and the pushes fill the queue at the same time can one more exist, until that spare is
    // set aside (and then freed).
    size_t heldImageLimit() const { return size_t(m_capacity) + m_writerThreads; }
    // Waits until every queued frame has been handed to the writer (or given up after a failure);
    // answers false when `timeout` passed first.
    bool waitUntilEmpty(std::chrono::milliseconds timeout);

    // Ends the writer threads and waits for them; frames being written are finished, frames still
    // queued are abandoned. Once only.
    void stop();

    // Tells the callee of a writer's failure by its kind: a fatal codec failure, the file's size limit
    // or any other failure to write. Also serves the failures of the writer's close.
    static void reportFailure(const std::exception_ptr& failure, IWriteFrameFailedCallee* callee);

private:
    void run();
    void stock();
    // A spare of the last frame's layout is wanted and fits the bound; under m_mutex.
    bool stockWantedLocked() const;
    // Every image the sink holds (see heldImageCount); under m_mutex.
    size_t heldLocked() const
    {
        return m_queue.size() + size_t(m_reserved) + size_t(m_writing) + m_spare.size() + (m_stocking ? 1 : 0);
    }
    // Queued frames and frames a push is copying in; under m_mutex.
    uint64_t pendingLocked() const { return m_queue.size() + uint64_t(m_reserved); }

    bool m_exit = false;
    bool m_failed = false; // a frame could not be written: nothing more is written
    int m_writing = 0;     // frames the writer threads have taken from the queue and not yet written
    IMediaWriter* const m_writer;
    std::mutex m_mutex;
    std::mutex m_reportMutex;
    std::condition_variable m_wake;
    std::condition_variable m_drained; // told when the writer thread finds nothing left to write
    struct QueuedFrame {
        Nimbo::CNimboImage image;
        uint64_t sample = 0; // its place in the sampled sequence
    };
    boost::circular_buffer<QueuedFrame> m_queue;
    uint64_t m_nextSample = 0; // the place of a push that names none
    // Images already written, kept so the next copies reuse their storage instead of allocating.
    std::vector<Nimbo::CNimboImage> m_spare;
    // Slots promised to pushes whose copy is being made outside the lock.
    int64_t m_reserved = 0;
    // Layout of the last frame pushed, the one the stocking thread prepares spares for.
    struct Layout {
        Nimbo::EPixelType pixelType = Nimbo::PixelType_Undefined;
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t paddingX = 0;
    } m_layout;
    bool m_stocking = false;    // the stocking thread is preparing a spare outside the lock
    bool m_stockFailed = false; // memory ran out while stocking: pushes allocate for themselves
    std::condition_variable m_stock;
    IQueueEmptyProgressCallee* m_progressCallee = nullptr;
    IWriteFrameFailedCallee* m_failedCallee = nullptr;
    const int64_t m_capacity;
    const size_t m_writerThreads;
    std::atomic<uint64_t> m_queued{0};
    std::atomic<uint64_t> m_dropped{0};
    std::atomic<uint64_t> m_lost{0};
    std::atomic<uint64_t> m_taken{0};
    std::vector<std::thread> m_threads; // last, so they start after every other member exists
    std::thread m_stocker;
};
