// The engine's log: its durable lines over the SDK trace interface, one set of levels for all of them,
// and the debug categories of its sequence lines. Every area of the engine writes through it.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace log4cpp {
class Category;
}

namespace enginelog {

// The durable categories the engine writes to. The media writers write to categories of their own,
// named in their sources.
constexpr const char* Base = "Tesvar.Base";           // the program's steps: opening, closing, grabbing, recording
constexpr const char* Recording = "Tesvar.Recording"; // recordings, and what libav and its encoders tell of them

// The numeric levels of the SDK trace; larger is more severe.
enum Level : unsigned int {
    Debug = 8,      // what libav and its encoders tell
    Progress = 32,  // steps: opening and closing, starting and stopping grabs and recordings, loading libav
    Internals = 64, // recording internals
    Notice = 128,   // a setting the writer had to change
    Failure = 256,  // failed steps
    Caught = 512,   // caught exceptions
};

// Writes one printf-formatted line to the named category. Callers pass a fixed format and put every
// outside text (paths, camera names, exception texts) behind a "%s", so a "%" in them is never read as
// a conversion. Lines are cut at 2,047 characters.
void write(const char* category, Level level, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Formats printf-style into at most `capacity - 1` characters; longer text is cut. Also serves the
// descriptions of the exceptions the engine throws.
std::string vformat(std::size_t capacity, const char* format, va_list args);

// Formats one line and writes it to the named category at the given numeric level.
void vwrite(const char* category, Level level, const char* format, va_list args);

// The debug categories of the sequence lines: "Ardenmoor.Sequence", and "Ardenmoor.Sequence.RemoveCamera"
// for the removal of a camera and the shut-down of its context.
log4cpp::Category& sequence();
log4cpp::Category& removeCamera();

} // namespace enginelog
