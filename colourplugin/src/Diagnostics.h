// Warnings of the plug-in, written to its log4cpp category "Huvane".
#pragma once

namespace Huvane {

// Two warnings: the failed step, then the function name, ": " and the exception in flight (a GenICam
// exception's description). Call inside a catch block only.
void warnCurrentException(const char* step, const char* function);

void warn(const char* text);

} // namespace Huvane
