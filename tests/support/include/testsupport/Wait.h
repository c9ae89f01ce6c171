// Waiting in tests for something another thread does, with the Qt event loop kept running.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace testsupport {

// Polls the predicate until it holds or the time is up, delivering queued events meanwhile (so
// queued signals reach receivers in the test's thread). The default limit holds for an emulated
// camera painting full frames under ThreadSanitizer (several times slower) on a machine loaded three
// times over; a wait that succeeds returns as soon as the predicate holds, so the limit costs only
// when something is wrong. A wait that is meant to time out names its own short limit.
template <typename Predicate>
bool waitFor(Predicate predicate, int timeoutMs = 60000)
{
    QElapsedTimer timer;
    timer.start();
    while (!predicate()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
        QThread::msleep(2);
    }
    return true;
}

} // namespace testsupport
