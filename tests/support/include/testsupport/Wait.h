// Waiting in tests for something another thread does, with the Qt event loop kept running.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace testsupport {

// Polls the predicate until it holds or the time is up, delivering queued events meanwhile (so
// queued signals reach receivers in the test's thread). Generous limits keep tests robust under load.
template <typename Predicate>
bool waitFor(Predicate predicate, int timeoutMs = 10000)
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
