// The buffered image sink: bounded queue, drop on full, writer thread.
#include "BufferedImageSink.h"

#include "EngineLog.h"
#include "MediaWriterExceptions.h"

#include <log4cpp/Category.hh>

#include <algorithm>

namespace {

// The queue's room (and the spares' list) is made at construction, 80 bytes a frame before any
// picture: a million frames are more than memory holds pictures for, and their room stays small.
constexpr int kMostQueuedFrames = 1000000;

int64_t checkedCapacity(int capacity)
{
    if (capacity < 1) {
        enginelog::write(enginelog::Recording, enginelog::Failure,
                         "Queue size %d is below 1; a queue of 1 frame is used.", capacity);
        return 1;
    }
    if (capacity > kMostQueuedFrames) {
        enginelog::write(enginelog::Recording, enginelog::Failure,
                         "Queue size %d is above %d; a queue of %d frames is used.", capacity, kMostQueuedFrames,
                         kMostQueuedFrames);
        return kMostQueuedFrames;
    }
    return capacity;
}

// Spares kept touched ahead of the pushes: enough to cover a burst while the stocking thread catches up.
constexpr size_t kStockedSpares = 3;

log4cpp::Category& traceCategory()
{
    // The viewer SDK's BufferedImageSink trace category.
    static log4cpp::Category& category = log4cpp::Category::getInstance("Ardenmoor.BufferedImageSink");
    return category;
}

// The writer's own answer that its file is full: the frame it was given is in the file.
bool isFileLimit(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const MediaFileLimitReachedException&) {
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

CBufferedImageSink::CBufferedImageSink(IMediaWriter* writer, int capacity)
    : m_writer(writer), m_queue(static_cast<size_t>(checkedCapacity(capacity))),
      m_capacity(int64_t(m_queue.capacity())), m_writerThreads(std::max(1u, writer->concurrentAdds()))
{
    // Every image in the queue or in a writer's hands comes back as a spare.
    m_spare.reserve(heldImageLimit());
    for (size_t i = 0; i < m_writerThreads; ++i)
        m_threads.emplace_back(&CBufferedImageSink::run, this);
    m_stocker = std::thread(&CBufferedImageSink::stock, this);
}

CBufferedImageSink::~CBufferedImageSink()
{
    // Normally stopped by the owner; never leave a running thread behind.
    stop();
}

bool CBufferedImageSink::push(const void* buffer, size_t bufferSize, Nimbo::EPixelType pixelType, uint32_t width,
                              uint32_t height, uint32_t paddingX, int /*orientation*/, uint64_t sample)
{
    Nimbo::CNimboImage image;
    {
        // Decide before copying: a frame that will be dropped costs no copy.
        std::lock_guard<std::mutex> lock(m_mutex);
        // A dropped frame takes its place as well: the writer leaves it empty.
        if (sample == kNextSample)
            sample = m_nextSample;
        m_nextSample = sample + 1;
        if (m_failed) {
            ++m_lost;
            return false;
        }
        if (int64_t(m_queue.size()) + m_reserved >= m_capacity) {
            ++m_dropped;
            return false;
        }
        ++m_reserved;
        if (!m_spare.empty()) {
            image = std::move(m_spare.back());
            m_spare.pop_back();
        }
        m_layout = Layout{pixelType, width, height, paddingX};
        if (stockWantedLocked())
            m_stock.notify_one();
    }
    try {
        // Always stored top-down, whatever the caller's orientation value.
        image.CopyBuffer(buffer, bufferSize, pixelType, width, height, paddingX, Nimbo::ImageOrientation_TopDown);
    } catch (...) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            --m_reserved;
            if (stockWantedLocked())
                m_stock.notify_one();
        }
        // A drain may be waiting for exactly this reservation.
        m_wake.notify_all();
        m_drained.notify_all();
        throw;
    }
    bool queued = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_reserved;
        if (m_failed) {
            ++m_lost; // writing ended while this frame was copied in
        } else {
            m_queue.push_back(QueuedFrame{std::move(image), sample});
            ++m_queued;
            queued = true;
        }
    }
    m_wake.notify_all();
    m_drained.notify_all();
    return queued;
}

size_t CBufferedImageSink::heldImageCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return heldLocked();
}

bool CBufferedImageSink::setWriteFailedCallee(IWriteFrameFailedCallee* callee)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failedCallee = callee;
    return true;
}

void CBufferedImageSink::clearWriteFailedCallee()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failedCallee = nullptr;
}

void CBufferedImageSink::clearProgressCallee()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_progressCallee = nullptr;
}

bool CBufferedImageSink::watchQueueUntilEmpty(IQueueEmptyProgressCallee* callee)
{
    // A push still copying its frame counts as queued: it is written before the drain ends.
    std::lock_guard<std::mutex> lock(m_mutex);
    if (pendingLocked() == 0)
        return false;
    m_progressCallee = callee;
    return true;
}

bool CBufferedImageSink::waitUntilEmpty(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_drained.wait_for(lock, timeout, [this] { return m_exit || (pendingLocked() == 0 && m_writing == 0); });
}

void CBufferedImageSink::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_exit)
            return;
        m_exit = true;
    }
    m_wake.notify_all();
    m_drained.notify_all();
    m_stock.notify_all();
    for (std::thread& thread : m_threads)
        if (thread.joinable())
            thread.join();
    if (m_stocker.joinable())
        m_stocker.join();
}

bool CBufferedImageSink::stockWantedLocked() const
{
    return !m_exit && !m_failed && !m_stockFailed && !m_stocking && m_layout.pixelType != Nimbo::PixelType_Undefined &&
           m_spare.size() < kStockedSpares && heldLocked() < heldImageLimit();
}

void CBufferedImageSink::stock()
{
    for (;;) {
        Layout layout;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_stock.wait(lock, [this] { return m_exit || stockWantedLocked(); });
            if (m_exit)
                break;
            layout = m_layout;
            m_stocking = true;
        }
        // Allocating and zeroing touches every page here, so the copy on the grab thread finds them mapped.
        Nimbo::CNimboImage image;
        bool made = false;
        try {
            image.Reset(layout.pixelType, layout.width, layout.height, layout.paddingX);
            made = true;
        } catch (...) {
            // Out of memory: pushes allocate (and report) for themselves from now on.
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stocking = false;
        // Pushes that found no spare meanwhile made their own images; this one is kept only within the bound.
        if (!made)
            m_stockFailed = true;
        else if (heldLocked() < heldImageLimit())
            m_spare.push_back(std::move(image));
    }
}

void CBufferedImageSink::run()
{
    traceCategory().debug("BufferedImageSink thread started.");
    for (;;) {
        Nimbo::CNimboImage image;
        uint64_t sample = 0;
        IWriteFrameFailedCallee* failed = nullptr;
        uint32_t place = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_queue.empty() && m_writing == 0)
                m_drained.notify_all();
            m_wake.wait(lock, [this] { return m_exit || !m_queue.empty(); });
            if (m_exit)
                break; // queued frames are abandoned; an orderly stop drains first
            image = std::move(m_queue.front().image);
            sample = m_queue.front().sample;
            m_queue.pop_front();
            --m_queued;
            ++m_writing;
            failed = m_failedCallee;
            // Claimed under the lock, so places follow the order frames arrived in.
            place = m_writer->claimPlace();
        }
        std::exception_ptr failure;
        try {
            m_writer->addSampled(image, sample, place);
        } catch (...) {
            failure = std::current_exception();
        }
        // Bookkeeping and report under one lock: with several writer threads the reports still
        // come in the order of their counts, each one less than the one before.
        std::lock_guard<std::mutex> reportLock(m_reportMutex);
        bool report = false;
        IQueueEmptyProgressCallee* progress = nullptr;
        uint64_t remaining = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (failure && !m_failed) {
                // One report for the whole failure: the frames behind this one would meet the same
                // full disk or missing folder, so they are counted, not tried. The frame that takes a
                // file past its size limit is in the file, so it is not lost.
                m_failed = true;
                report = true;
                m_lost += (isFileLimit(failure) ? 0 : 1) + m_queue.size();
                while (!m_queue.empty()) {
                    if (m_spare.size() < m_spare.capacity())
                        m_spare.push_back(std::move(m_queue.front().image));
                    m_queue.pop_front();
                }
                m_queued = 0;
            } else if (failure) {
                ++m_lost; // written beside the frame that failed first, and failed as well
            }
            if (!failure || isFileLimit(failure))
                ++m_taken;
            --m_writing;
            if (m_spare.size() < m_spare.capacity())
                m_spare.push_back(std::move(image));
            if (!m_failed) {
                progress = m_progressCallee;
                remaining = pendingLocked() + uint64_t(m_writing);
            }
        }
        if (report)
            reportFailure(failure, failed);
        else if (progress)
            progress->onQueueProgress(remaining);
    }
    traceCategory().debug("BufferedImageSink thread ending");
}

void CBufferedImageSink::reportFailure(const std::exception_ptr& failure, IWriteFrameFailedCallee* callee)
{
    try {
        std::rethrow_exception(failure);
    } catch (const FatalMediaWriterException& e) {
        if (callee)
            callee->onCodecFatal(failureDetail(e).c_str());
    } catch (const MediaFileLimitReachedException& e) {
        failureDetail(e);
        if (callee)
            callee->onFileLimitReached();
    } catch (const GenICam::GenericException& e) {
        if (callee)
            callee->onFrameWriteFailed(failureDetail(e).c_str());
    } catch (...) {
        if (callee)
            callee->onFrameWriteFailed(nullptr);
    }
}
