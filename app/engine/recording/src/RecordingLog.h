// The recording's durable log: the SDK trace category "Tesvar.Recording" with its numeric levels.
#pragma once

namespace recordinglog {

enum Level : unsigned int {
    Debug = 8,      // what libav and its encoders tell
    Progress = 32,  // steps of a recording
    Internals = 64, // recording internals
    Failure = 256,  // failures
    Caught = 512,   // caught exceptions
};

// Writes one printf-formatted line. Callers pass a fixed format and put every outside text (paths,
// camera names, exception texts) behind a "%s", so a "%" in them is never read as a conversion.
void write(unsigned int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

} // namespace recordinglog
