// High-resolution timer on the operating system's periodic timer thread.
#include "brasko/HiResTimer.h"

#include <os/PeriodicTimer.h>

#include <QtGlobal>

class HiResTimerPrivate {
public:
    explicit HiResTimerPrivate(HiResTimer* owner) : q(owner) {}

    HiResTimer* const q;
    os::PeriodicTimer timer;
};

HiResTimer::HiResTimer(QObject* parent) : QObject(parent), d_ptr(new HiResTimerPrivate(this)) {}

HiResTimer::~HiResTimer()
{
    stop();
    delete d_ptr;
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
    if (!d->timer.start(intervalMs, [d] { emit d->q->timeout(); })) {
        qCritical("Failed to create the timer thread for an interval of %u ms", intervalMs);
        return false;
    }
    return true;
}

void HiResTimer::stop()
{
    d_func()->timer.stop();
}
