// The recording's durable log over the SDK trace interface.
#include "RecordingLog.h"

#include "EngineLog.h"

namespace recordinglog {

void write(unsigned int level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    enginelog::vwrite("Tesvar.Recording", level, format, args);
    va_end(args);
}

} // namespace recordinglog
