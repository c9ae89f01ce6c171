// Logging of the device contexts and the context manager: the durable "Tesvar.Base" trace and the debug sequence lines.
#pragma once

namespace log4cpp {
class Category;
}

namespace contextlog {

enum Level : unsigned int {
    Progress = 32, // user-visible steps: opening, closing, recording
    Failure = 256, // failed steps
    Caught = 512,  // caught exceptions
};

// One printf-formatted line on "Tesvar.Base"; outside texts go behind a "%s".
void write(unsigned int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The debug categories of the sequence lines.
log4cpp::Category& sequence();
log4cpp::Category& removeCamera();

} // namespace contextlog
