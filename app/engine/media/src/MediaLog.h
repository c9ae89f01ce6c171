// Log lines of the media writers: SDK trace categories with their numeric levels.
#pragma once

namespace medialog {

enum Level : unsigned int {
    Progress = 32,
    Notice = 128,
    Failure = 256,
};

// Writes one printf-formatted line to the named category. Outside texts go behind "%s".
void write(const char* category, unsigned int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

} // namespace medialog
