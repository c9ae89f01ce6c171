// The process-wide asynchronous error queue: any thread reports, the GUI thread displays.
#pragma once

#include "brasko/Export.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <mutex>

// Threads: reportErrorAsync/append, clear and count may be called from any thread; the entry list
// is guarded by m_mutex. asyncSignaler and displayError run in the thread that owns the queue
// object (for the global queue the application's GUI thread).
class BRASKO_EXPORT AsyncErrorQueue : public QObject {
    Q_OBJECT
public:
    enum ErrorSeverity {
        Critical = 10,
        Error = 20,
        Warning = 30,
        Notice = 40,
        Information = 50,
        Unclassified = 60,
    };
    Q_ENUM(ErrorSeverity)

    struct Entry {
        ErrorSeverity severity = Unclassified;
        QString message;
        QString details;
        // Empties itself when the widget is deleted before the GUI thread shows the entry.
        QPointer<QWidget> parent;
    };

    explicit AsyncErrorQueue(QObject* parent = nullptr);
    ~AsyncErrorQueue() override;

    // Appends an entry and posts one queued delivery; false when the delivery could not be posted
    // (the entry then waits for a later delivery).
    bool reportErrorAsync(ErrorSeverity severity, const QString& message, const QString& details, QWidget* parent);
    bool append(ErrorSeverity severity, const QString& message, const QString& details, QWidget* parent);
    void clear();
    size_t count() const;

signals:
    void displayError(AsyncErrorQueue::ErrorSeverity severity, QString message, QString details, QWidget* parent);

protected slots:
    // Delivers the newest entry, if any; one call per report.
    void asyncSignaler();

private:
    mutable std::recursive_mutex m_mutex;
    QList<Entry*> m_entries; // owned
};

Q_DECLARE_METATYPE(AsyncErrorQueue::ErrorSeverity)

// The process-wide queue. It always lives in the application's GUI thread (when an application
// object exists), whichever thread asks for it first, so that its deliveries may show dialogs.
BRASKO_EXPORT AsyncErrorQueue* GetTheGlobalAsyncErrorQueue();
