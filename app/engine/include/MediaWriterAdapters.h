// Construction of the video writers (MP4 through libav, AVI through the SDK's AVI writer).
//
// The writer factory builds these through the two functions below, defined beside the writers; either
// answers null when its writer is not available in this build, and the recording then does not start.
#pragma once

#include "MediaWriter.h"

#include <QString>

#include <cstdint>

// An AVI writer: playback rate, camera pixel type, size, the orientation value handed to the SDK and
// the compression record (null for uncompressed output; not owned).
IMediaWriter* createAviMediaWriterAdapter(double fpsPlaybackRate, Nimbo::EPixelType pixelType, uint32_t width,
                                          uint32_t height, int32_t orientation,
                                          Nimbo::SAviCompressionOptions* compressionOptions);

// An MP4 writer over the libav libraries found in `libavFolder`.
IMediaWriter* createVideoMediaWriterAdapter(const QString& libavFolder, double fpsPlaybackRate,
                                            Nimbo::EPixelType pixelType, uint32_t width, uint32_t height,
                                            int32_t codecId, int64_t bitRate);
