// The writer factory: chooses and builds the media writer of a recording.
#include "MediaWriterFactory.h"

#include "ImageSequenceMediaWriter.h"
#include "AviMediaWriterAdapter.h"
#include "VideoMediaWriterAdapter.h"

#include <QCoreApplication>

#include <cmath>

int64_t videoBitRate(uint32_t width, uint32_t height, double fpsPlaybackRate, int32_t videoQuality)
{
    // The pixel count is the 32-bit product of the two sizes.
    const uint32_t pixels = width * height;
    const double rate = double(pixels) * fpsPlaybackRate * 4.0 * 0.07 * videoQuality / 100.0;
    if (!(rate > 0.0))
        return 0;
    if (rate >= 9.2e18)
        return INT64_MAX;
    return static_cast<int64_t>(rate);
}

QString libavFolder()
{
    const QByteArray root = qgetenv("LIBAV_LIB_ROOT");
    if (!root.isNull())
        return QString::fromLocal8Bit(root);
    return QCoreApplication::applicationDirPath();
}

IMediaWriter* createMediaWriter(CRecordingOptions& options, Nimbo::EPixelType pixelType, uint32_t width,
                                uint32_t height)
{
    switch (options.OutputType) {
    case CRecordingOptions::OutputTypeAvi:
        return new CAviMediaWriterAdapter(options.FpsPlaybackRate, pixelType, width, height, 1,
                                          options.UseCompression ? options.getAviCompressionOptions() : nullptr);
    case CRecordingOptions::OutputTypeVideo:
        return new CVideoMediaWriterAdapter(GenICam::gcstring(libavFolder().toLocal8Bit().constData()),
                                            options.FpsPlaybackRate, pixelType, width, height, options.VideoCodecId,
                                            videoBitRate(width, height, options.FpsPlaybackRate, options.VideoQuality));
    case CRecordingOptions::OutputTypeImageSequence:
        if (options.ImageOutputType == CRecordingOptions::ImageOutputTypeBmp)
            return new CBitmapMediaWriter;
        if (options.ImageOutputType == CRecordingOptions::ImageOutputTypeTiff)
            return new CTiffMediaWriter;
        return nullptr;
    default: return nullptr;
    }
}
