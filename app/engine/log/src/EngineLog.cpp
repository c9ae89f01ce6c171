// The engine's log over the SDK trace interface and the shared trace categories.
#include "EngineLog.h"

#include <lorvish/Trace.h>
#include <nimbo/Mivtrace.h>

#include <algorithm>
#include <cstdio>

namespace enginelog {

void write(const char* category, Level level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vwrite(category, level, format, args);
    va_end(args);
}

std::string vformat(std::size_t capacity, const char* format, va_list args)
{
    std::string text(capacity, '\0');
    const int length = std::vsnprintf(&text[0], capacity, format, args);
    text.resize(length < 0 ? 0 : std::min(static_cast<std::size_t>(length), capacity - 1));
    return text;
}

void vwrite(const char* category, Level level, const char* format, va_list args)
{
    const std::string text = vformat(2048, format, args);
    // The finished text is handed on behind "%s", so a "%" inside it is never read as a conversion.
    Mivtrace::LogTrace(Mivtrace::LogGetCatID(category), level, "%s", text.c_str());
}

log4cpp::Category& sequence()
{
    return *Lorvish::GetLazyTraceStructInstance_().sequence;
}

log4cpp::Category& removeCamera()
{
    return *Lorvish::GetLazyTraceStructInstance_().sequenceRemoveCamera;
}

} // namespace enginelog
