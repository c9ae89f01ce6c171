// Placeholders for the MP4 and AVI writers until their own sources are built into the engine: both
// answer that the writer is not available.
#include "MediaWriterAdapters.h"

IMediaWriter* createAviMediaWriterAdapter(double, Nimbo::EPixelType, uint32_t, uint32_t, int32_t,
                                          Nimbo::SAviCompressionOptions*)
{
    return nullptr;
}

IMediaWriter* createVideoMediaWriterAdapter(const QString&, double, Nimbo::EPixelType, uint32_t, uint32_t, int32_t,
                                            int64_t)
{
    return nullptr;
}
