// The two failures through which a media writer ends a recording.
#pragma once

#include "SdkTypes.h"

#include <exception>
#include <string>

// The encoder or codec failed for good.
class FatalMediaWriterException : public GenICam::GenericException {
public:
    FatalMediaWriterException(const char* description, const char* sourceFile, unsigned int sourceLine);
};

// The output file reached its size limit.
class MediaFileLimitReachedException : public GenICam::GenericException {
public:
    MediaFileLimitReachedException(const char* description, const char* sourceFile, unsigned int sourceLine);
};

// Reporters: format the description printf-style into 256 bytes (longer text is cut) and throw.
// Pass a fixed format; outside texts (paths, codec messages) go behind "%s".
[[noreturn]] void throwFatalMediaWriterException(const char* sourceFile, unsigned int sourceLine, const char* format,
                                                 ...) __attribute__((format(printf, 3, 4)));
[[noreturn]] void throwMediaFileLimitReachedException(const char* sourceFile, unsigned int sourceLine,
                                                      const char* format, ...) __attribute__((format(printf, 3, 4)));

// What the user reads of a writer's failure: the exception's description, without the source file and
// line, which go to the recording's log with the full text. Serves every failure a recording reports.
std::string failureDetail(const std::exception& failure);
