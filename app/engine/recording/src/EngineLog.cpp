// The engine's durable log lines over the SDK trace interface.
#include "EngineLog.h"

#include <nimbo/Mivtrace.h>

#include <cstdio>

namespace enginelog {

void vwrite(const char* category, unsigned int level, const char* format, va_list args)
{
    char text[2048];
    std::vsnprintf(text, sizeof text, format, args);
    // The finished text is handed on behind "%s", so a "%" inside it is never read as a conversion.
    Mivtrace::LogTrace(Mivtrace::LogGetCatID(category), level, "%s", text);
}

} // namespace enginelog
