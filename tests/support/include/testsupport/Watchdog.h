// Ending a test that would hang: work that may deadlock runs on a thread of its own under a time limit.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace testsupport {

// Runs work on a thread of its own and waits up to timeoutMs for it to end. A stuck thread cannot be
// joined, so when the time is up the program reports `what` and ends as failed rather than hang the
// suite until the test runner's own limit.
template <class Work>
void finishWithin(int timeoutMs, const char* what, Work work)
{
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    std::thread worker([&] {
        work();
        {
            std::lock_guard<std::mutex> lock(mutex);
            finished = true;
        }
        ended.notify_all();
    });
    std::unique_lock<std::mutex> lock(mutex);
    if (!ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return finished; })) {
        ADD_FAILURE() << what << ": still not done after " << timeoutMs << " ms";
        std::fflush(stdout);
        std::fprintf(stderr, "%s: still not done after %d ms\n", what, timeoutMs);
        std::abort();
    }
    lock.unlock();
    worker.join();
}

} // namespace testsupport
