// Log lines of the media writers over the SDK trace interface.
#include "MediaLog.h"

#include "EngineLog.h"

namespace medialog {

void write(const char* category, unsigned int level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    enginelog::vwrite(category, level, format, args);
    va_end(args);
}

} // namespace medialog
