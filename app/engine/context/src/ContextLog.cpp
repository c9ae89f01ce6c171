// Logging of the device contexts and the context manager.
#include "ContextLog.h"

#include <log4cpp/Category.hh>
#include "EngineLog.h"

namespace contextlog {

void write(unsigned int level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    enginelog::vwrite("Tesvar.Base", level, format, args);
    va_end(args);
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
