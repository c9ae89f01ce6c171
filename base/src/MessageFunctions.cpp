// Message functions: one log line each, then a report to the global error queue.
#include "brasko/MessageFunctions.h"

#include "brasko/AsyncErrorQueue.h"

#include <GenICam/CaughtException.h>
#include <GenICam/GenericException.h>

#include <QtGlobal>

namespace {

// The texts are always arguments of the log format, never the format itself: a "%" in a message
// must not be read as a conversion.
QByteArray latin1(const QString& text)
{
    return text.toLatin1();
}

} // namespace

void showCriticalMessage(const QString& caption, const QString& context, const QString& message, const QString& details,
                         QWidget* parent)
{
    qCritical("Critical message: %s : %s : %s : %s", latin1(context).constData(), latin1(caption).constData(),
              latin1(message).constData(), latin1(details).constData());
    GetTheGlobalAsyncErrorQueue()->reportErrorAsync(AsyncErrorQueue::Critical, message, details, parent);
}

void showCriticalMessage(const QString& caption, const QString& context, const QString& message, QWidget* parent)
{
    showCriticalMessage(caption, context, message, QString(), parent);
}

void showWarningMessage(const QString& caption, const QString& context, const QString& message, const QString& details,
                        QWidget* parent)
{
    qWarning("Warning: %s: %s : %s", latin1(context).constData(), latin1(caption).constData(),
             latin1(message).constData());
    GetTheGlobalAsyncErrorQueue()->reportErrorAsync(AsyncErrorQueue::Warning, message, details, parent);
}

void showWarningMessage(const QString& caption, const QString& context, const QString& message, QWidget* parent)
{
    showWarningMessage(caption, context, message, QString(), parent);
}

void showException(const QString& context, const GenICam::GenericException& e, const QString& message, QWidget*)
{
    showCriticalMessage(QStringLiteral("Error"), context, message, QString::fromLatin1(e.GetDescription()), nullptr);
}

void showException(const QString& context, const GenICam::GenericException& e, QWidget*)
{
    showCriticalMessage(QStringLiteral("Error"), context, QString::fromLatin1(e.GetDescription()), QString(), nullptr);
}

void showException(const QString& context, const std::exception& e, const QString& message, QWidget*)
{
    showCriticalMessage(QStringLiteral("Error"), context, message, QString::fromLatin1(e.what()), nullptr);
}

void showException(const QString& context, const std::exception& e, QWidget*)
{
    showCriticalMessage(QStringLiteral("Error"), context, QString::fromLatin1(e.what()), QString(), nullptr);
}

void showUnexpectedException(const QString& context, const QString& message, QWidget*)
{
    showCriticalMessage(QStringLiteral("Unexpected exception occurred"), context, message, QString(), nullptr);
}

void reportCaughtException(const QString& context, const QString& message)
{
    const GenICam::CaughtException caught = GenICam::CaughtException::Current();
    if (caught.IsKnown())
        showCriticalMessage(QStringLiteral("Error"), context, message, QString::fromLatin1(caught.Description()),
                            nullptr);
    else
        showUnexpectedException(context, message, nullptr);
}
