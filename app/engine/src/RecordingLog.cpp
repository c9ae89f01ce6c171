// The recording's durable log over the SDK trace interface, or over log4cpp where the SDK is absent.
#include "RecordingLog.h"

#include <cstdarg>
#include <cstdio>

#if defined(KALMUTH_HAVE_MIVTRACE)
#include <nimbo/Mivtrace.h>
#else
#include <log4cpp/Category.hh>
#endif

namespace recordinglog {

void write(unsigned int level, const char* format, ...)
{
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
#if defined(KALMUTH_HAVE_MIVTRACE)
    static const Mivtrace::CatID category = Mivtrace::LogGetCatID("Tesvar.Recording");
    Mivtrace::LogTrace(category, level, "%s", text);
#else
    static log4cpp::Category& category = log4cpp::Category::getInstance("Tesvar.Recording");
    const log4cpp::Priority::Value priority = level >= 512   ? log4cpp::Priority::ERROR
                                              : level >= 256 ? log4cpp::Priority::WARN
                                              : level >= 32  ? log4cpp::Priority::INFO
                                                             : log4cpp::Priority::DEBUG;
    category.log(priority, "%s", text);
#endif
}

} // namespace recordinglog
