// Runs a function on the thread of a Qt object from another thread, and waits until it has run.
#pragma once

#include <threadcheck/HandOff.h>

#include <QMetaObject>
#include <QObject>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace testsupport {

// Queues `function` to the thread of `context` (whose event loop must run meanwhile, e.g. a wait that
// handles events) and waits up to `timeout` for it to have run there; false when it did not. The
// waiting side sees everything the function did, and the function what this thread did before.
inline bool runOnThreadOf(QObject* context, std::function<void()> function,
                          std::chrono::milliseconds timeout = std::chrono::seconds(60))
{
    struct Done {
        std::mutex mutex;
        std::condition_variable changed;
        bool ran = false;
    };
    auto done = std::make_shared<Done>();
    threadcheck::post(context, [&] {
        QMetaObject::invokeMethod(
            context,
            [context, done, function] {
                threadcheck::takeOver(context);
                function();
                std::lock_guard<std::mutex> lock(done->mutex);
                done->ran = true;
                done->changed.notify_all();
            },
            Qt::QueuedConnection);
    });
    std::unique_lock<std::mutex> lock(done->mutex);
    return done->changed.wait_for(lock, timeout, [&] { return done->ran; });
}

} // namespace testsupport
