// Hand-offs through Qt's queues and thread ends, made visible to ThreadSanitizer.
#pragma once

// Qt 5's event queue, its queued connections and QThread::wait() synchronise through locks that
// ThreadSanitizer does not see (futexes inside the uninstrumented Qt library). What one thread writes
// before it posts an event or a queued call, and what a QThread wrote before it ended, is seen by the
// receiver only through those locks, so the checker would take every such hand-off for a race. The
// two marks below tell it: handOver() before the post (or at the end of a thread's run()), takeOver()
// where the receiver takes it (in the slot or event handler, or after the wait for the thread).
// `token` is any address both sides agree on, normally the receiving object. Outside a
// ThreadSanitizer build both compile to nothing.

#if defined(__SANITIZE_THREAD__)
#define THREADCHECK_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define THREADCHECK_TSAN 1
#endif
#endif

#if defined(THREADCHECK_TSAN)
#include <sanitizer/tsan_interface.h>
#endif

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

} // namespace threadcheck
