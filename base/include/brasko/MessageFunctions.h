// Logging and reporting of messages for the user through the global error queue.
#pragma once

#include "brasko/Export.h"

#include <QString>

#include <exception>

class QWidget;
namespace GenICam {
class GenericException;
}

// All of these may be called from any thread. The caption only reaches the log line.
BRASKO_EXPORT void showCriticalMessage(const QString& caption, const QString& context, const QString& message,
                                       const QString& details, QWidget* parent);
BRASKO_EXPORT void showCriticalMessage(const QString& caption, const QString& context, const QString& message,
                                       QWidget* parent);
BRASKO_EXPORT void showWarningMessage(const QString& caption, const QString& context, const QString& message,
                                      const QString& details, QWidget* parent);
BRASKO_EXPORT void showWarningMessage(const QString& caption, const QString& context, const QString& message,
                                      QWidget* parent);

// The exception reports carry no parent widget: the receiver picks its own.
BRASKO_EXPORT void showException(const QString& context, const GenICam::GenericException& e, const QString& message,
                                 QWidget* parent);
BRASKO_EXPORT void showException(const QString& context, const GenICam::GenericException& e, QWidget* parent);
BRASKO_EXPORT void showException(const QString& context, const std::exception& e, const QString& message,
                                 QWidget* parent);
BRASKO_EXPORT void showException(const QString& context, const std::exception& e, QWidget* parent);
BRASKO_EXPORT void showUnexpectedException(const QString& context, const QString& message, QWidget* parent);

// Reports the exception being handled with the context and the message of the step that failed (the
// exception's text as the details). Call only inside a catch block.
BRASKO_EXPORT void reportCaughtException(const QString& context, const QString& message);

// Runs body; what it throws is reported as above instead of leaving the caller. True when body ran through.
template <class Body>
bool reportExceptions(const QString& context, const QString& message, Body body)
{
    try {
        body();
        return true;
    } catch (...) {
        reportCaughtException(context, message);
    }
    return false;
}
