// Logging and reporting of messages for the user through the global error queue.
#pragma once

#include "brasko/Export.h"

#include <GenICam/GenericException.h>

#include <QString>

#include <exception>

class QWidget;

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

// Runs body; what it throws is reported with the context and the message (the exception's text as the
// details) instead of leaving the caller. True when body ran through.
template <class Body>
bool reportExceptions(const QString& context, const QString& message, Body body)
{
    try {
        body();
        return true;
    } catch (const GenICam::GenericException& e) {
        showException(context, e, message, nullptr);
    } catch (const std::exception& e) {
        showException(context, e, message, nullptr);
    } catch (...) {
        showUnexpectedException(context, message, nullptr);
    }
    return false;
}
