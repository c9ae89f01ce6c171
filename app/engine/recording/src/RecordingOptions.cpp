// The recording options: initial values, persistence in the group "Recording" and the log form.
#include "RecordingOptions.h"

#include "EngineLog.h"

#include <QByteArray>
#include <QDir>
#include <QSettings>

#include <algorithm>
#include <cstring>

namespace {

const char* const kCompressionKey = "AviCompressionOptionsx64";
constexpr size_t kRecordSize = sizeof(Nimbo::SAviCompressionOptions);

// Points the record at `buffer` filled with `size` bytes from `source`, or at nothing for size 0.
void* fillBlock(std::vector<uint8_t>& buffer, const char* source, size_t size)
{
    buffer.assign(source, source + size);
    return size == 0 ? nullptr : buffer.data();
}

} // namespace

CRecordingOptions::CRecordingOptions()
    : OutputType(OutputTypeVideo), ImageOutputType(ImageOutputTypeTiff), StopSamplingLimitEnabled(false),
      StopSamplingLimitUnit(TimeUnitSeconds), StopSamplingLimit(30), SampleRateUnit(TimeUnitSeconds), SampleRate(1),
      QueueBufferSize(100), AutomaticFpsPlayback(true), FpsPlaybackRate(10.0), TriggerPort(TriggerPortNone),
      UseCompression(false), AviPixelFormat(0), VideoCodecId(13), VideoQuality(8000000)
{
    // Zero every byte, padding included, since the record is persisted as it stands in memory.
    std::memset(static_cast<void*>(&aviCompressionOptions), 0, kRecordSize);
    aviCompressionOptions.dataRate = 20;
}

void CRecordingOptions::saveSettings(QSettings& settings) const
{
    settings.beginGroup(QStringLiteral("Recording"));
    settings.setValue(QStringLiteral("OutputType"), OutputType);
    settings.setValue(QStringLiteral("ImageOutputType"), ImageOutputType);
    settings.setValue(QStringLiteral("QueueBufferSize"), QueueBufferSize);
    settings.setValue(QStringLiteral("OutputFolder"), QString::fromUtf8(OutputFolder.c_str()));
    settings.setValue(QStringLiteral("StopSamplingLimitUnit"), StopSamplingLimitUnit);
    settings.setValue(QStringLiteral("StopSamplingLimitEnabled"), StopSamplingLimitEnabled);
    settings.setValue(QStringLiteral("StopSamplingLimit"), StopSamplingLimit);
    settings.setValue(QStringLiteral("SampleRateUnit"), SampleRateUnit);
    settings.setValue(QStringLiteral("SampleRate"), SampleRate);
    settings.setValue(QStringLiteral("FpsPlaybackRate"), FpsPlaybackRate);
    settings.setValue(QStringLiteral("TriggerPort"), TriggerPort);
    settings.setValue(QStringLiteral("AutomaticFpsPlayback"), AutomaticFpsPlayback);
    settings.setValue(QStringLiteral("AviPixelFormat"), AviPixelFormat);
    settings.setValue(QStringLiteral("UseCompression"), UseCompression);

    // A block whose pointer is null is stored as absent, so that what is written can be read back.
    Nimbo::SAviCompressionOptions record;
    std::memcpy(static_cast<void*>(&record), &aviCompressionOptions, kRecordSize);
    auto& vfw = record.compressionOptions;
    if (vfw.lpParms == nullptr)
        vfw.cbParms = 0;
    if (vfw.lpFormat == nullptr)
        vfw.cbFormat = 0;
    QByteArray bytes(reinterpret_cast<const char*>(&record), static_cast<int>(kRecordSize));
    if (vfw.cbParms != 0)
        bytes.append(static_cast<const char*>(vfw.lpParms), static_cast<int>(vfw.cbParms));
    if (vfw.cbFormat != 0)
        bytes.append(static_cast<const char*>(vfw.lpFormat), static_cast<int>(vfw.cbFormat));
    settings.setValue(QLatin1String(kCompressionKey), bytes);

    settings.setValue(QStringLiteral("VideoCodecId"), VideoCodecId);
    settings.setValue(QStringLiteral("VideoQuality"), VideoQuality);
    settings.endGroup();
}

void CRecordingOptions::restoreSettings(QSettings& settings, std::vector<uint8_t>& parameterBlock,
                                        std::vector<uint8_t>& formatBlock)
{
    settings.beginGroup(QStringLiteral("Recording"));
    OutputType = settings.value(QStringLiteral("OutputType"), 0).toInt();
    ImageOutputType = settings.value(QStringLiteral("ImageOutputType"), 1).toInt();
    QueueBufferSize = settings.value(QStringLiteral("QueueBufferSize"), 100).toInt();
    OutputFolder = settings.value(QStringLiteral("OutputFolder"), QDir::toNativeSeparators(QDir::homePath()))
                       .toString()
                       .toUtf8()
                       .toStdString();
    StopSamplingLimitUnit = settings.value(QStringLiteral("StopSamplingLimitUnit"), 3).toInt();
    StopSamplingLimitEnabled = settings.value(QStringLiteral("StopSamplingLimitEnabled"), false).toBool();
    StopSamplingLimit = settings.value(QStringLiteral("StopSamplingLimit"), 5).toInt();
    SampleRateUnit = settings.value(QStringLiteral("SampleRateUnit"), 1).toInt();
    SampleRate = settings.value(QStringLiteral("SampleRate"), 40).toInt();
    FpsPlaybackRate = settings.value(QStringLiteral("FpsPlaybackRate"), 25.0).toDouble();
    TriggerPort = settings.value(QStringLiteral("TriggerPort"), 0).toInt();
    AutomaticFpsPlayback = settings.value(QStringLiteral("AutomaticFpsPlayback"), true).toBool();
    AviPixelFormat = settings.value(QStringLiteral("AviPixelFormat"), 0).toInt();
    UseCompression = settings.value(QStringLiteral("UseCompression"), false).toBool();

    const QByteArray bytes = settings.value(QLatin1String(kCompressionKey)).toByteArray();
    if (!bytes.isEmpty()) {
        // Every length is checked before anything is copied: a short or damaged value leaves the
        // record and both blocks as they were.
        Nimbo::SAviCompressionOptions record;
        const size_t size = static_cast<size_t>(bytes.size());
        if (size < kRecordSize) {
            enginelog::write(enginelog::Recording, enginelog::Failure,
                             "Stored %s has %zu bytes, fewer than a record; ignored.", kCompressionKey, size);
        } else {
            std::memcpy(static_cast<void*>(&record), bytes.constData(), kRecordSize);
            auto& vfw = record.compressionOptions;
            const uint64_t needed = uint64_t(kRecordSize) + vfw.cbParms + vfw.cbFormat;
            if (size < needed) {
                enginelog::write(enginelog::Recording, enginelog::Failure,
                                 "Stored %s has %zu bytes, its blocks need %llu; ignored.", kCompressionKey, size,
                                 static_cast<unsigned long long>(needed));
            } else {
                const char* next = bytes.constData() + kRecordSize;
                vfw.lpParms = fillBlock(parameterBlock, next, vfw.cbParms);
                vfw.lpFormat = fillBlock(formatBlock, next + vfw.cbParms, vfw.cbFormat);
                std::memcpy(static_cast<void*>(&aviCompressionOptions), &record, kRecordSize);
            }
        }
    }

    VideoCodecId = settings.value(QStringLiteral("VideoCodecId"), 13).toInt();
    VideoQuality = settings.value(QStringLiteral("VideoQuality"), 85).toInt();
    settings.endGroup();
}

QString CRecordingOptions::logText() const
{
    const QByteArray folder = QByteArray(OutputFolder.c_str());
    if (OutputType == OutputTypeVideo)
        return QString::asprintf("Recording settings:\n OutputType: %d\nImageOutputType: %d\nOutputFolder: "
                                 "%s\nStopSamplingLimitEnabled: %d\nStopSamplingLimitUnit: %d\nStopSamplingLimit: "
                                 "%d\nSampleRateUnit: %d\nSampleRate: %d\nAutomaticFpsPlayback: %d\nFpsPlaybackRate: "
                                 "%f\nCodecID: %d\nVideoQuality: %d",
                                 OutputType, ImageOutputType, folder.constData(), int(StopSamplingLimitEnabled),
                                 StopSamplingLimitUnit, StopSamplingLimit, SampleRateUnit, SampleRate,
                                 int(AutomaticFpsPlayback), FpsPlaybackRate, VideoCodecId, VideoQuality);
    return QString::asprintf("Recording settings:\n OutputType: %d\nImageOutputType: %d\nOutputFolder: "
                             "%s\nStopSamplingLimitEnabled: %d\nStopSamplingLimitUnit: %d\nStopSamplingLimit: "
                             "%d\nSampleRateUnit: %d\nSampleRate: %d\nQueueBufferSize: %d\nAutomaticFpsPlayback: "
                             "%d\nFpsPlaybackRate: %f\nUseCompression: %d",
                             OutputType, ImageOutputType, folder.constData(), int(StopSamplingLimitEnabled),
                             StopSamplingLimitUnit, StopSamplingLimit, SampleRateUnit, SampleRate, QueueBufferSize,
                             int(AutomaticFpsPlayback), FpsPlaybackRate, int(UseCompression));
}

double CRecordingOptions::recordedFrameRate(double cameraFrameRate) const
{
    // A camera that names no rate counts as 25 frames a second, as the device context reads it.
    const double camera = cameraFrameRate > 0.0 ? cameraFrameRate : 25.0;
    double recorded = 0.0;
    if (!isTimeUnit(SampleRateUnit)) {
        recorded = camera / double(SampleRate > 1 ? SampleRate : 1);
    } else {
        // One frame per tick, the held one again when the camera sent none; the sampling controller
        // ticks at least 1 ms apart.
        const int64_t interval = std::max<int64_t>(timeUnitIntervalMicroseconds(SampleRateUnit, SampleRate), 1000);
        recorded = 1.0e6 / double(interval);
    }
    // Below one frame a second the recording is a time-lapse: it plays at the camera's rate.
    return recorded >= 1.0 ? recorded : camera;
}
