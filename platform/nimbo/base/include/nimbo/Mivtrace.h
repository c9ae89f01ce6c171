// The SDK's trace calls: named categories over log4cpp, written with a numeric level.
#pragma once

namespace Mivtrace {

// Handle of a trace category; 0 names none (traces to it are dropped).
using CatID = unsigned int;

// Levels as the callers pass them; larger is more severe. They map onto log4cpp priorities:
// 512 and above error, 256 warning, 32 info, below that debug.
enum ETraceLevel : unsigned int {
    TraceLevel_Debug = 8,
    TraceLevel_Info = 32,
    TraceLevel_Warning = 256,
    TraceLevel_Error = 512,
};

// The category of that name (a log4cpp category of the same name), made on first use. The same name
// always gives the same handle. Null or empty names give 0. Thread-safe.
CatID LogGetCatID(const char* name);

// Writes one printf-formatted line to the category. Thread-safe.
void LogTrace(CatID category, unsigned int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

} // namespace Mivtrace
