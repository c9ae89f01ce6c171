// Runs a risky step and writes the two warning lines when it fails.
#pragma once

#include "orbelt/Helpers.h"

#include <GenICam/CaughtException.h>

#include <QDebug>
#include <QString>

#include <exception>

namespace orbelt_detail {

// message is a callable giving the first line (it may itself fail, as reading a node's name can);
// function names the failing step in the second line. Returns true when body ran through.
template <class Message, class Body>
bool guarded(const char* function, Message message, Body body)
{
    auto first = [&] {
        try {
            const QString text = message();
            if (!text.isEmpty())
                qWarning().noquote() << text;
        } catch (...) {
            qWarning("Failed to retrieve a node's name");
        }
    };
    try {
        body();
        return true;
    } catch (...) {
        first();
        warnCurrentException(function);
    }
    return false;
}

// A tool tip is a courtesy: when building one fails, the warning says so and the widget keeps its old one.
template <class Body>
void guardedToolTip(Body body)
{
    try {
        body();
    } catch (const std::exception&) {
        qWarning("Error creating tooltip text! Err='%s'", GenICam::CaughtException::Current().Description());
    }
}

inline int clampToInt(int64_t value)
{
    if (value > 2147483647LL)
        return 2147483647;
    if (value < -2147483648LL)
        return -2147483647 - 1;
    return int(value);
}

} // namespace orbelt_detail
