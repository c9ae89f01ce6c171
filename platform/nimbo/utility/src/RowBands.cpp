// The pool behind rowbands::run: a few workers started on first use, fed through one queue of bands.
#include "RowBands.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace Nimbo {
namespace rowbands {
namespace {

struct Band {
    const std::function<void(uint32_t, uint32_t)>* work;
    uint32_t begin;
    uint32_t end;
    unsigned* remaining; // of the band's image, guarded by the pool's mutex
};

// Threads: any thread may call runBands; the workers only take bands. m_mutex guards the queue, every
// image's count of remaining bands and the stop flag.
class Pool {
public:
    explicit Pool(unsigned workers)
    {
        for (unsigned i = 0; i < workers; ++i)
            m_workers.emplace_back(&Pool::serve, this);
    }

    ~Pool()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_queued.notify_all();
        for (auto& worker : m_workers)
            worker.join();
    }

    unsigned threads() const { return unsigned(m_workers.size()) + 1; }

    void runBands(uint32_t lines, unsigned bands, const std::function<void(uint32_t, uint32_t)>& work)
    {
        auto edge = [&](unsigned i) { return uint32_t(uint64_t(lines) * i / bands); };
        unsigned remaining = bands - 1;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (unsigned i = 1; i < bands; ++i)
                m_queue.push_back(Band{&work, edge(i), edge(i + 1), &remaining});
        }
        m_queued.notify_all();
        work(0, edge(1));
        // Bands no worker has taken yet are done here rather than waited for.
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            auto own = std::find_if(m_queue.begin(), m_queue.end(),
                                    [&](const Band& band) { return band.remaining == &remaining; });
            if (own != m_queue.end()) {
                const Band band = *own;
                m_queue.erase(own);
                lock.unlock();
                (*band.work)(band.begin, band.end);
                lock.lock();
                --remaining;
                continue;
            }
            if (remaining == 0)
                return;
            m_finished.wait(lock);
        }
    }

private:
    void serve()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_queued.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                return;
            const Band band = m_queue.front();
            m_queue.pop_front();
            lock.unlock();
            (*band.work)(band.begin, band.end);
            lock.lock();
            --*band.remaining;
            if (*band.remaining == 0) {
                lock.unlock();
                m_finished.notify_all();
                lock.lock();
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::condition_variable m_finished;
    std::deque<Band> m_queue;
    bool m_stop = false;
    std::vector<std::thread> m_workers; // last, so they start after the rest exists
};

unsigned machineThreads()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return std::max(1u, std::min(cores, 4u));
}

Pool& pool()
{
    static Pool instance(machineThreads() - 1);
    return instance;
}

} // namespace

unsigned maxThreads()
{
    return machineThreads();
}

void run(uint32_t lines, unsigned bands, const std::function<void(uint32_t begin, uint32_t end)>& work)
{
    bands = std::min<unsigned>(std::min(bands, maxThreads()), lines);
    if (bands <= 1) {
        if (lines > 0)
            work(0, lines);
        return;
    }
    pool().runBands(lines, bands, work);
}

} // namespace rowbands
} // namespace Nimbo
