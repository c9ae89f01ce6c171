// Hand-offs through Qt's queues and thread ends, made visible to ThreadSanitizer.
#pragma once

// Qt 5's event queue, its queued connections and QThread::wait() synchronise through locks that
// ThreadSanitizer does not see (futexes inside the uninstrumented Qt library). What one thread writes
// before it posts an event or a queued call, and what a QThread wrote before it ended, is seen by the
// receiver only through those locks, so the checker would take every such hand-off for a race. The
// marks below tell it: handOver() before the post (or at the end of a thread's run()), takeOver()
// where the receiver takes it (first thing in the slot or event handler, or after the wait for the
// thread). `token` is any address both sides agree on, normally the receiving object. post() makes
// a queued call or posts an event after handOver(), with the checker looking away while Qt builds
// and queues it: the call object and its copies of the arguments, made by templates in our own code,
// are then read by the receiving thread only through Qt's queue. Outside a ThreadSanitizer build
// all of them compile to nothing but the post itself.

#if defined(__SANITIZE_THREAD__)
#define THREADCHECK_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define THREADCHECK_TSAN 1
#endif
#endif

#if defined(THREADCHECK_TSAN)
#include <sanitizer/tsan_interface.h>
// In the runtime, not in its header.
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#endif

#include <utility>

namespace threadcheck {

// Everything this thread wrote so far happens before a later takeOver() of the same token.
inline void handOver(const void* token)
{
#if defined(THREADCHECK_TSAN)
    __tsan_release(const_cast<void*>(token));
#else
    (void)token;
#endif
}

// What was written before the last handOver() of the token happens before what this thread does next.
inline void takeOver(const void* token)
{
#if defined(THREADCHECK_TSAN)
    __tsan_acquire(const_cast<void*>(token));
#else
    (void)token;
#endif
}

// Hands over to `token`, then runs `queue` (which must only queue: a queued connection or a posted
// event, never a call that may run the receiver at once, whose accesses would go unchecked) with
// this thread's accesses unchecked; returns what `queue` returns.
template <class Queue>
decltype(auto) post(const void* token, Queue&& queue)
{
    handOver(token);
#if defined(THREADCHECK_TSAN)
    struct Unchecked {
        Unchecked() { __tsan_ignore_thread_begin(); }
        ~Unchecked() { __tsan_ignore_thread_end(); }
        Unchecked(const Unchecked&) = delete;
        Unchecked& operator=(const Unchecked&) = delete;
    } unchecked;
#endif
    return std::forward<Queue>(queue)();
}

} // namespace threadcheck
