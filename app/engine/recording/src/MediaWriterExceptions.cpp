// The media writers' exceptions and their reporters.
#include "MediaWriterExceptions.h"

#include "EngineLog.h"

#include <cstdarg>
#include <cstdio>
#include <string>

FatalMediaWriterException::FatalMediaWriterException(const char* description, const char* sourceFile,
                                                     unsigned int sourceLine)
    : GenICam::GenericException(description, sourceFile, sourceLine, "FatalMediaWriterException")
{
}

MediaFileLimitReachedException::MediaFileLimitReachedException(const char* description, const char* sourceFile,
                                                               unsigned int sourceLine)
    : GenICam::GenericException(description, sourceFile, sourceLine, "MediaFileLimitReachedException")
{
}

void throwFatalMediaWriterException(const char* sourceFile, unsigned int sourceLine, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string description = enginelog::vformat(256, format, args);
    va_end(args);
    throw FatalMediaWriterException(description.c_str(), sourceFile, sourceLine);
}

void throwMediaFileLimitReachedException(const char* sourceFile, unsigned int sourceLine, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string description = enginelog::vformat(256, format, args);
    va_end(args);
    throw MediaFileLimitReachedException(description.c_str(), sourceFile, sourceLine);
}

std::string failureDetail(const std::exception& failure)
{
    enginelog::write(enginelog::Recording, enginelog::Caught, "%s", failure.what());
    if (const auto* genicam = dynamic_cast<const GenICam::GenericException*>(&failure))
        return genicam->GetDescription();
    return failure.what();
}
