// The message handler and the application object that swallows exceptions.
#include "Startup.h"

#include <GenICam/GenICam.h>

#include <QEvent>

#include <cstdio>
#include <cstdlib>
#include <exception>

void kalmuthMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg)
        return;
    std::fprintf(stderr, "Fatal: %s (%s:%u, %s)\n", message.toLocal8Bit().constData(), context.file ? context.file : "",
                 static_cast<unsigned>(context.line), context.function ? context.function : "");
    std::abort();
}

QString unexpectedExceptionText(const QEvent* event)
{
    if (!event)
        return QStringLiteral("An unexpected exception occurred in an event handler.");
    return QStringLiteral("An unexpected exception occurred in an event handler (id=%1).")
        .arg(static_cast<int>(event->type()));
}

MyApplication::MyApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool MyApplication::notify(QObject* receiver, QEvent* event)
{
    return dispatchGuarded([&] { return QApplication::notify(receiver, event); }, event);
}

bool dispatchGuarded(const std::function<bool()>& dispatch, const QEvent* event)
{
    try {
        return dispatch();
    } catch (...) {
        const GenICam::CaughtException caught = GenICam::CaughtException::Current();
        qWarning("%s", unexpectedExceptionText(event).toLatin1().constData());
        // Only an exception with a text of its own has more to say.
        if (caught.IsKnown())
            qWarning("Additional info: '%s'", caught.What());
    }
    return false;
}
