// The media writers' exceptions and their reporters.
#include "MediaWriterExceptions.h"

#include <cstdarg>
#include <cstdio>

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
    char description[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(description, sizeof description, format, args);
    va_end(args);
    throw FatalMediaWriterException(description, sourceFile, sourceLine);
}

void throwMediaFileLimitReachedException(const char* sourceFile, unsigned int sourceLine, const char* format, ...)
{
    char description[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(description, sizeof description, format, args);
    va_end(args);
    throw MediaFileLimitReachedException(description, sourceFile, sourceLine);
}
