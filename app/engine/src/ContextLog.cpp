// Logging of the device contexts and the context manager.
#include "ContextLog.h"

#include <log4cpp/Category.hh>
#include <nimbo/Mivtrace.h>

#include <cstdarg>
#include <cstdio>

namespace contextlog {

void write(unsigned int level, const char* format, ...)
{
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    static const Mivtrace::CatID category = Mivtrace::LogGetCatID("Tesvar.Base");
    Mivtrace::LogTrace(category, level, "%s", text);
}

log4cpp::Category& sequence()
{
    return log4cpp::Category::getInstance("Ardenmoor.Sequence");
}

log4cpp::Category& removeCamera()
{
    return log4cpp::Category::getInstance("Ardenmoor.Sequence.RemoveCamera");
}

} // namespace contextlog
