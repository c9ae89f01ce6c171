// The asynchronous error queue and the process-wide instance.
#include "brasko/AsyncErrorQueue.h"

#include <QCoreApplication>
#include <QThread>

#include <threadcheck/HandOff.h>

#include <memory>
#include <mutex>

namespace {

// Registered once so that queued connections to displayError can carry the severity.
const int severityTypeId = qRegisterMetaType<AsyncErrorQueue::ErrorSeverity>("AsyncErrorQueue::ErrorSeverity");

// The global queue once it exists; guarded by globalMutex while it may still be handed over.
std::mutex globalMutex;
AsyncErrorQueue* globalQueue = nullptr;

// Hands a global queue that was made before the application to the application's thread. Runs in
// that thread only: an object without a thread may be pulled by a thread, never pushed into one.
void adoptGlobalQueue()
{
    std::lock_guard<std::mutex> lock(globalMutex);
    if (globalQueue && !globalQueue->thread())
        globalQueue->moveToThread(QThread::currentThread());
}

// When the application object is made (in its thread), after a worker already asked for the queue.
Q_COREAPP_STARTUP_FUNCTION(adoptGlobalQueue)

} // namespace

AsyncErrorQueue::AsyncErrorQueue(QObject* parent) : QObject(parent)
{
    Q_UNUSED(severityTypeId);
}

AsyncErrorQueue::~AsyncErrorQueue()
{
    clear();
}

bool AsyncErrorQueue::reportErrorAsync(ErrorSeverity severity, const QString& message, const QString& details,
                                       QWidget* parent)
{
    auto* entry = new Entry{severity, message, details, parent};
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_entries.append(entry);
    }
    return threadcheck::post(this,
                             [this] { return QMetaObject::invokeMethod(this, "asyncSignaler", Qt::QueuedConnection); });
}

bool AsyncErrorQueue::append(ErrorSeverity severity, const QString& message, const QString& details, QWidget* parent)
{
    return reportErrorAsync(severity, message, details, parent);
}

void AsyncErrorQueue::clear()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    qDeleteAll(m_entries);
    m_entries.clear();
}

size_t AsyncErrorQueue::count() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return static_cast<size_t>(m_entries.size());
}

void AsyncErrorQueue::asyncSignaler()
{
    // Posted by reportErrorAsync, on any thread.
    threadcheck::takeOver(this);
    Entry entry;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_entries.isEmpty())
            return;
        Entry* newest = m_entries.takeLast();
        entry = *newest;
        delete newest;
    }
    emit displayError(entry.severity, entry.message, entry.details, entry.parent);
}

AsyncErrorQueue* GetTheGlobalAsyncErrorQueue()
{
    // Lives until the process exits.
    static const std::unique_ptr<AsyncErrorQueue> queue = [] {
        auto created = std::make_unique<AsyncErrorQueue>();
        // Deliveries show dialogs, which only the GUI thread may do: whichever thread made the queue
        // hands it over to the application's thread (an object can only be pushed by its own thread,
        // which this one is). Without an application yet the queue is parked without a thread: the
        // calls posted meanwhile wait in it, and go along when the application's thread adopts it.
        if (QCoreApplication* app = QCoreApplication::instance()) {
            if (created->thread() != app->thread())
                created->moveToThread(app->thread());
        } else {
            created->moveToThread(nullptr);
        }
        std::lock_guard<std::mutex> lock(globalMutex);
        globalQueue = created.get();
        return created;
    }();
    // The application may have been made while the queue was being parked, after its startup routine.
    const QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        adoptGlobalQueue();
    return queue.get();
}
