// The options of one recording: what the recording settings panel edits and the main window persists.
#pragma once

#include "SdkTypes.h"
#include "TimeUnit.h"

#include <QString>

#include <cstdint>
#include <vector>

class QSettings;

// A plain value record, copied member by member; the compression record is copied as it stands, so
// every copy points at the same parameter and format blocks (owned by whoever restored the options).
class CRecordingOptions {
public:
    enum EOutputType { OutputTypeVideo = 0, OutputTypeAvi = 1, OutputTypeImageSequence = 2 };
    enum EImageOutputType { ImageOutputTypeBmp = 0, ImageOutputTypeTiff = 1 };
    enum ETriggerPort { TriggerPortNone = 0, TriggerPortOne = 1, TriggerPortTwo = 2 };

    CRecordingOptions();

    int32_t getOutputType() const { return OutputType; }
    int32_t getImageOutputType() const { return ImageOutputType; }
    bool getStopSamplingLimitEnabled() const { return StopSamplingLimitEnabled; }
    int32_t getStopSamplingLimitUnit() const { return StopSamplingLimitUnit; }
    int32_t getStopSamplingLimit() const { return StopSamplingLimit; }
    int32_t getSampleRateUnit() const { return SampleRateUnit; }
    int32_t getSampleRate() const { return SampleRate; }
    bool getAutomaticFpsPlayback() const { return AutomaticFpsPlayback; }
    double getFpsPlaybackRate() const { return FpsPlaybackRate; }
    bool getUseCompression() const { return UseCompression; }
    int32_t getVideoCodecId() const { return VideoCodecId; }
    int32_t getVideoQuality() const { return VideoQuality; }
    // The record inside these options, not a copy.
    Nimbo::SAviCompressionOptions* getAviCompressionOptions() { return &aviCompressionOptions; }
    const Nimbo::SAviCompressionOptions* getAviCompressionOptions() const { return &aviCompressionOptions; }
    void setFpsPlaybackRate(double rate) { FpsPlaybackRate = rate; }

    // Writes every field to the settings group "Recording" (the group is entered and left here).
    void saveSettings(QSettings& settings) const;
    // Reads every field from the group "Recording", with the first-run defaults for missing keys. The
    // compression record's parameter and format blocks are copied into the two buffers, which the
    // caller keeps alive as long as any copy of these options is used.
    void restoreSettings(QSettings& settings, std::vector<uint8_t>& parameterBlock, std::vector<uint8_t>& formatBlock);

    // The automatic playback rate for a camera delivering `cameraFrameRate` (25 when it names none):
    // what a recording with these options takes per second of wall time, so that a video plays as long
    // as it was recorded. That is one frame per sample interval when sampling by time (the held frame
    // again when the camera sent none), every Nth camera frame when sampling by count. Below one frame
    // a second the recording is a time-lapse and plays at the camera's rate.
    double recordedFrameRate(double cameraFrameRate) const;

    // The options as the recording writes them to its log when it starts (two forms: MP4 or other).
    QString logText() const;

    int32_t OutputType;
    int32_t ImageOutputType;
    GenICam::gcstring OutputFolder;
    bool StopSamplingLimitEnabled;
    int32_t StopSamplingLimitUnit;
    int32_t StopSamplingLimit;
    int32_t SampleRateUnit;
    int32_t SampleRate;
    int32_t QueueBufferSize;
    bool AutomaticFpsPlayback;
    double FpsPlaybackRate;
    int32_t TriggerPort;
    bool UseCompression;
    Nimbo::SAviCompressionOptions aviCompressionOptions;
    int32_t AviPixelFormat;
    int32_t VideoCodecId;
    int32_t VideoQuality;
};
