// Start-up pieces of the program: the SDK library check (shared with the launcher), the message handler,
// the application object.
#pragma once

#include "SdkLibraryCheck.h"

#include <QApplication>
#include <QString>

#include <functional>

// The program's Qt message handler: fatal messages go to stderr and abort, all others are dropped.
void kalmuthMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

// The warning text for an exception that escaped an event handler; a null event has no id.
QString unexpectedExceptionText(const QEvent* event);

// Runs one event dispatch; an exception out of it becomes two warnings and the result false.
bool dispatchGuarded(const std::function<bool()>& dispatch, const QEvent* event);

// The application object: an exception from any event handler is reported as a warning and the
// event counts as not handled, so the event loop goes on. GUI thread only.
class MyApplication : public QApplication {
    Q_OBJECT
public:
    MyApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// main()'s exit code for the event loop's result: 1 for any non-zero result, else 0.
inline int exitCodeOf(int execResult)
{
    return execResult != 0 ? 1 : 0;
}
