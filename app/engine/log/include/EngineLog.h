// The engine's durable log lines over the SDK trace interface, shared by its areas' log helpers.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace enginelog {

// Formats printf-style into at most `capacity - 1` characters; longer text is cut. Also serves the
// descriptions of the exceptions the engine throws.
std::string vformat(std::size_t capacity, const char* format, va_list args);

// Formats one line and writes it to the named SDK trace category at the given numeric level.
void vwrite(const char* category, unsigned int level, const char* format, va_list args);

} // namespace enginelog
