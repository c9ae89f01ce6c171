// Warnings of the plug-in, written to its log4cpp category "Huvane".
#pragma once

#include <string>

namespace Huvane {

// Call inside a catch block only: the text of the exception in flight (its description for GenICam
// exceptions, "Unspecified exception occurred." for foreign types).
std::string currentExceptionText();

// Two warnings: the failed step, then the function name, ": " and the exception in flight. Call inside a
// catch block only.
void warnCurrentException(const char* step, const char* function);

void warn(const char* text);

} // namespace Huvane
