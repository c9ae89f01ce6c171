// The engine's durable log lines over the SDK trace interface, shared by its areas' log helpers.
#pragma once

#include <cstdarg>

namespace enginelog {

// Formats one line and writes it to the named SDK trace category at the given numeric level.
void vwrite(const char* category, unsigned int level, const char* format, va_list args);

} // namespace enginelog
