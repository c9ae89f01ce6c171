// High-resolution timer on the operating system's periodic timer thread.
#include "brasko/HiResTimer.h"

#include <os/PeriodicTimer.h>

#include <QtGlobal>

#include <atomic>
#include <memory>

namespace {
// What a timer's tick thread holds of it. A receiver connected directly may delete the timer from
// within a tick; the destructor then runs in the middle of the tick, in the tick's own thread. The
// tick checks the owner before it signals, and the destructor leaves the private record (with the
// periodic timer whose thread is running the tick) to the tick to delete once the signal is through,
// so nothing the tick still stands in is freed under it.
struct TickGuard {
    std::atomic<HiResTimer*> owner{nullptr};
    std::unique_ptr<HiResTimerPrivate> leftBehind; // only touched by the tick in progress (ticks never overlap)
};

// The guard of the tick running in this thread, if any.
thread_local TickGuard* t_runningTick = nullptr;
} // namespace

class HiResTimerPrivate {
public:
    explicit HiResTimerPrivate(HiResTimer* owner) { guard->owner = owner; }

    std::shared_ptr<TickGuard> guard = std::make_shared<TickGuard>();
    os::PeriodicTimer timer;
};

HiResTimer::HiResTimer(QObject* parent) : QObject(parent), d_ptr(new HiResTimerPrivate(this)) {}

HiResTimer::~HiResTimer()
{
    HiResTimerPrivate* d = d_func();
    d->guard->owner = nullptr;
    // From within a tick this returns at once and no further tick follows; otherwise it waits for a
    // tick in progress.
    stop();
    if (t_runningTick == d->guard.get())
        d->guard->leftBehind.reset(d);
    else
        delete d;
}

bool HiResTimer::start(unsigned int intervalMs, unsigned int resolutionMs)
{
    Q_UNUSED(resolutionMs);
    HiResTimerPrivate* d = d_func();
    if (intervalMs == 0) {
        // A period of 0 would spin a thread at full speed.
        d->timer.stop();
        qCritical("Refused to create a timer with an interval of 0 ms");
        return false;
    }
    const std::shared_ptr<TickGuard> guard = d->guard;
    const bool started = d->timer.start(intervalMs, [guard] {
        HiResTimer* const q = guard->owner.load();
        if (!q)
            return;
        TickGuard* const outer = t_runningTick;
        t_runningTick = guard.get();
        emit q->timeout();
        t_runningTick = outer;
        // Set when a receiver deleted the timer: its record goes now that the signal is through.
        guard->leftBehind.reset();
    });
    if (!started) {
        qCritical("Failed to create the timer thread for an interval of %u ms", intervalMs);
        return false;
    }
    return true;
}

void HiResTimer::stop()
{
    d_func()->timer.stop();
}
