// The recording's durable log over the SDK trace interface.
#include "RecordingLog.h"

#include <nimbo/Mivtrace.h>

#include <cstdarg>
#include <cstdio>

namespace recordinglog {

void write(unsigned int level, const char* format, ...)
{
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    static const Mivtrace::CatID category = Mivtrace::LogGetCatID("Tesvar.Recording");
    Mivtrace::LogTrace(category, level, "%s", text);
}

} // namespace recordinglog
