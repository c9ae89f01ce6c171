// The asynchronous error queue and the process-wide instance.
#include "brasko/AsyncErrorQueue.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QThread>

#include <memory>

namespace {

// Registered once so that queued connections to displayError can carry the severity.
const int severityTypeId = qRegisterMetaType<AsyncErrorQueue::ErrorSeverity>("AsyncErrorQueue::ErrorSeverity");

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
        QMutexLocker lock(&m_mutex);
        m_entries.append(entry);
    }
    return QMetaObject::invokeMethod(this, "asyncSignaler", Qt::QueuedConnection);
}

bool AsyncErrorQueue::append(ErrorSeverity severity, const QString& message, const QString& details, QWidget* parent)
{
    return reportErrorAsync(severity, message, details, parent);
}

void AsyncErrorQueue::clear()
{
    QMutexLocker lock(&m_mutex);
    qDeleteAll(m_entries);
    m_entries.clear();
}

size_t AsyncErrorQueue::count() const
{
    QMutexLocker lock(&m_mutex);
    return static_cast<size_t>(m_entries.size());
}

void AsyncErrorQueue::asyncSignaler()
{
    Entry entry;
    {
        QMutexLocker lock(&m_mutex);
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
        // which this one is).
        if (QCoreApplication* app = QCoreApplication::instance()) {
            if (created->thread() != app->thread())
                created->moveToThread(app->thread());
        }
        return created;
    }();
    return queue.get();
}
