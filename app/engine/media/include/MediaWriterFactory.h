// Building the pieces of a recording from its options: the media writer and its helpers.
#pragma once

#include "MediaWriter.h"
#include "RecordingOptions.h"

#include <QString>

#include <cstdint>

// MP4 bit rate in bits per second: (width x height) x fps x 4.0 x 0.07 x quality / 100, in double
// precision, cut toward zero to 64 bits. Negative or non-finite results give 0.
int64_t videoBitRate(uint32_t width, uint32_t height, double fpsPlaybackRate, int32_t videoQuality);

// Folder of the libav libraries: LIBAV_LIB_ROOT when set, else the program's folder.
QString libavFolder();

// The writer that the options ask for, for frames of the camera's pixel type and size; null when the
// options name no known output (the recording then does not start). Opens nothing. An AVI writer
// keeps a pointer to the compression record inside `options`, which must outlive it.
IMediaWriter* createMediaWriter(CRecordingOptions& options, Nimbo::EPixelType pixelType, uint32_t width,
                                uint32_t height);
