// Log lines of the media writers over the SDK trace interface, or over log4cpp where the SDK is absent.
#include "MediaLog.h"

#include <cstdarg>
#include <cstdio>

#if defined(KALMUTH_HAVE_MIVTRACE)
#include <nimbo/Mivtrace.h>
#else
#include <log4cpp/Category.hh>
#endif

namespace medialog {

void write(const char* category, unsigned int level, const char* format, ...)
{
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
#if defined(KALMUTH_HAVE_MIVTRACE)
    Mivtrace::LogTrace(Mivtrace::LogGetCatID(category), level, "%s", text);
#else
    const log4cpp::Priority::Value priority = level >= 512   ? log4cpp::Priority::ERROR
                                              : level >= 256 ? log4cpp::Priority::WARN
                                              : level >= 32  ? log4cpp::Priority::INFO
                                                             : log4cpp::Priority::DEBUG;
    log4cpp::Category::getInstance(category).log(priority, "%s", text);
#endif
}

} // namespace medialog
