// The engine's durable log lines over the SDK trace interface.
#include "EngineLog.h"

#include <nimbo/Mivtrace.h>

#include <algorithm>
#include <cstdio>

namespace enginelog {

std::string vformat(std::size_t capacity, const char* format, va_list args)
{
    std::string text(capacity, '\0');
    const int length = std::vsnprintf(&text[0], capacity, format, args);
    text.resize(length < 0 ? 0 : std::min(static_cast<std::size_t>(length), capacity - 1));
    return text;
}

void vwrite(const char* category, unsigned int level, const char* format, va_list args)
{
    const std::string text = vformat(2048, format, args);
    // The finished text is handed on behind "%s", so a "%" inside it is never read as a conversion.
    Mivtrace::LogTrace(Mivtrace::LogGetCatID(category), level, "%s", text.c_str());
}

} // namespace enginelog
