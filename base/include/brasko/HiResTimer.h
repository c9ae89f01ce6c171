// A periodic timer with millisecond resolution that signals from its own thread.
#pragma once

#include "brasko/Export.h"

#include <QObject>

class HiResTimerPrivate;

// Threads: start and stop are called from the owner's thread, and also from a slot connected directly
// to timeout(), i.e. from the timer's own thread, even while the owner stops, starts or deletes the
// timer. timeout() is emitted in the timer's thread: receivers connected directly run there and must
// be thread-safe. A receiver connected directly may also delete the timer from within a tick: no
// further tick follows, and the timer's own record stays until the tick is through. Otherwise the private record is created and deleted by the
// owner's thread; its periodic timer keeps the state it shares with the timer thread to itself.
class BRASKO_EXPORT HiResTimer : public QObject {
    Q_OBJECT
public:
    explicit HiResTimer(QObject* parent = nullptr);
    ~HiResTimer() override;

    // Starts (or restarts) ticking every intervalMs milliseconds. The resolution is kept for the
    // callers' sake: the timer thread always sleeps to absolute deadlines as finely as it can.
    // False, with a critical log line, for an interval of 0 or when no timer thread could be made.
    bool start(unsigned int intervalMs, unsigned int resolutionMs);
    // Waits for a tick in progress when called from another thread; from inside a tick it returns
    // at once and no further tick follows.
    void stop();

signals:
    void timeout();

private:
    HiResTimerPrivate* d_func() { return d_ptr; }
    const HiResTimerPrivate* d_func() const { return d_ptr; }

    HiResTimerPrivate* d_ptr;
};
