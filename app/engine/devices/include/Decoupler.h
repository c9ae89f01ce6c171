// The display pipeline's thread with a one-buffer mailbox: it passes on the newest frame, drops the
// ones the display cannot keep up with and can be paced by a throttle tick.
#pragma once

#include <lorvish/StreamBuffer.h>

#include <QString>
#include <QThread>

#include <condition_variable>
#include <mutex>

// Threads: setBuffer runs in the camera's grab thread, throttleTimerTick in the throttle timer's
// thread, bufferAvailable is emitted in the decoupler thread; m_pendingBuffer and the four flags are
// touched by all of them only under m_mutex. Construction, enableThrottle and shutDown belong to
// the owner (the GUI thread).
class Decoupler : public QThread {
    Q_OBJECT
public:
    // Starts the thread at once.
    explicit Decoupler(QObject* parent = nullptr, const QString& name = QString());
    ~Decoupler() override;

    // For diagnostics: whether a buffer waits in the mailbox now.
    bool hasPendingBuffer();

signals:
    void bufferAvailable(Lorvish::StreamBuffer* buffer);

public slots:
    void setBuffer(Lorvish::StreamBuffer* buffer);
    void shutDown();
    void enableThrottle(bool enable);
    void throttleTimerTick();

protected:
    void run() override;

private:
    Lorvish::StreamBuffer* m_pendingBuffer = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_shutDownRequested = false;
    bool m_busy = false;
    bool m_throttleEnabled = false;
    bool m_tickPending = false;
};
