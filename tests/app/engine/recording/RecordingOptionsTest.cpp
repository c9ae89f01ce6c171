// Recording options: first-run defaults, persistence of the compression record, log form; time units.
#include "RecordingOptions.h"
#include "RecordingState.h"
#include "TimeUnit.h"

#include <QDir>
#include <QSettings>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class RecordingOptionsTest : public ::testing::Test {
protected:
    void SetUp() override { QSettings().clear(); }
    void TearDown() override { QSettings().clear(); }

    // Stores a raw "AviCompressionOptionsx64" value.
    static void storeCompression(const QByteArray& bytes)
    {
        QSettings settings;
        settings.setValue(QStringLiteral("Recording/AviCompressionOptionsx64"), bytes);
    }

    static QByteArray recordBytes(const Nimbo::SAviCompressionOptions& record)
    {
        return QByteArray(reinterpret_cast<const char*>(&record), int(sizeof record));
    }

    std::vector<uint8_t> m_parms;
    std::vector<uint8_t> m_format;
};

TEST_F(RecordingOptionsTest, FirstRunRestoresTheDocumentedDefaults)
{
    CRecordingOptions options;
    QSettings settings;
    options.restoreSettings(settings, m_parms, m_format);
    EXPECT_EQ(options.getOutputType(), CRecordingOptions::OutputTypeVideo);
    EXPECT_EQ(options.getImageOutputType(), CRecordingOptions::ImageOutputTypeTiff);
    EXPECT_EQ(QString::fromUtf8(options.OutputFolder.c_str()), QDir::toNativeSeparators(QDir::homePath()));
    EXPECT_FALSE(options.getStopSamplingLimitEnabled());
    EXPECT_EQ(options.getStopSamplingLimitUnit(), TimeUnitMinutes);
    EXPECT_EQ(options.getStopSamplingLimit(), 5);
    EXPECT_EQ(options.getSampleRateUnit(), TimeUnitMilliseconds);
    EXPECT_EQ(options.getSampleRate(), 40);
    EXPECT_EQ(options.QueueBufferSize, 100);
    EXPECT_TRUE(options.getAutomaticFpsPlayback());
    EXPECT_DOUBLE_EQ(options.getFpsPlaybackRate(), 25.0);
    EXPECT_EQ(options.TriggerPort, CRecordingOptions::TriggerPortNone);
    EXPECT_FALSE(options.getUseCompression());
    EXPECT_EQ(options.getVideoCodecId(), 13);
    EXPECT_EQ(options.getVideoQuality(), 85);
    // Nothing stored: the record keeps its constructor values and points nowhere.
    EXPECT_EQ(options.getAviCompressionOptions()->dataRate, 20u);
    EXPECT_EQ(options.getAviCompressionOptions()->compressionOptions.lpParms, nullptr);
}

TEST_F(RecordingOptionsTest, ConstructorFillsTheInitialValues)
{
    const CRecordingOptions options;
    EXPECT_EQ(options.getStopSamplingLimitUnit(), TimeUnitSeconds);
    EXPECT_EQ(options.getStopSamplingLimit(), 30);
    EXPECT_EQ(options.getSampleRateUnit(), TimeUnitSeconds);
    EXPECT_EQ(options.getSampleRate(), 1);
    EXPECT_DOUBLE_EQ(options.getFpsPlaybackRate(), 10.0);
    EXPECT_EQ(options.getVideoQuality(), 8000000);
    EXPECT_TRUE(options.OutputFolder.empty());
}

TEST_F(RecordingOptionsTest, EveryFieldSurvivesSaveAndRestore)
{
    CRecordingOptions saved;
    saved.OutputType = CRecordingOptions::OutputTypeImageSequence;
    saved.ImageOutputType = CRecordingOptions::ImageOutputTypeBmp;
    saved.OutputFolder = "/data/100% ok/out";
    saved.StopSamplingLimitEnabled = true;
    saved.StopSamplingLimitUnit = TimeUnitImages;
    saved.StopSamplingLimit = 77;
    saved.SampleRateUnit = TimeUnitImages;
    saved.SampleRate = 3;
    saved.QueueBufferSize = 12;
    saved.AutomaticFpsPlayback = false;
    saved.setFpsPlaybackRate(29.97);
    saved.TriggerPort = CRecordingOptions::TriggerPortTwo;
    saved.UseCompression = true;
    saved.AviPixelFormat = 4;
    saved.VideoCodecId = 27;
    saved.VideoQuality = 60;
    uint8_t parms[] = {1, 2, 3};
    uint8_t format[] = {9, 8, 7, 6, 5};
    auto& vfw = saved.getAviCompressionOptions()->compressionOptions;
    vfw.fccHandler = 0x47504A4D;
    vfw.lpParms = parms;
    vfw.cbParms = sizeof parms;
    vfw.lpFormat = format;
    vfw.cbFormat = sizeof format;
    {
        QSettings settings;
        saved.saveSettings(settings);
    }

    CRecordingOptions restored;
    QSettings settings;
    restored.restoreSettings(settings, m_parms, m_format);
    EXPECT_EQ(restored.OutputType, saved.OutputType);
    EXPECT_EQ(restored.ImageOutputType, saved.ImageOutputType);
    EXPECT_STREQ(restored.OutputFolder.c_str(), saved.OutputFolder.c_str());
    EXPECT_EQ(restored.StopSamplingLimitEnabled, saved.StopSamplingLimitEnabled);
    EXPECT_EQ(restored.StopSamplingLimitUnit, saved.StopSamplingLimitUnit);
    EXPECT_EQ(restored.StopSamplingLimit, saved.StopSamplingLimit);
    EXPECT_EQ(restored.SampleRateUnit, saved.SampleRateUnit);
    EXPECT_EQ(restored.SampleRate, saved.SampleRate);
    EXPECT_EQ(restored.QueueBufferSize, saved.QueueBufferSize);
    EXPECT_EQ(restored.AutomaticFpsPlayback, saved.AutomaticFpsPlayback);
    EXPECT_DOUBLE_EQ(restored.FpsPlaybackRate, saved.FpsPlaybackRate);
    EXPECT_EQ(restored.TriggerPort, saved.TriggerPort);
    EXPECT_EQ(restored.UseCompression, saved.UseCompression);
    EXPECT_EQ(restored.AviPixelFormat, saved.AviPixelFormat);
    EXPECT_EQ(restored.VideoCodecId, saved.VideoCodecId);
    EXPECT_EQ(restored.VideoQuality, saved.VideoQuality);
    // The blocks land in the caller's buffers and the record points at them.
    const auto& restoredVfw = restored.getAviCompressionOptions()->compressionOptions;
    EXPECT_EQ(restoredVfw.fccHandler, 0x47504A4Du);
    EXPECT_EQ(m_parms, std::vector<uint8_t>(parms, parms + 3));
    EXPECT_EQ(m_format, std::vector<uint8_t>(format, format + 5));
    EXPECT_EQ(restoredVfw.lpParms, m_parms.data());
    EXPECT_EQ(restoredVfw.lpFormat, m_format.data());
    // Stored with their own types.
    EXPECT_EQ(settings.value(QStringLiteral("Recording/FpsPlaybackRate")).userType(), QMetaType::Double);
}

// The automatic playback rate is what was recorded per second of wall time, so a video plays as long
// as it was recorded: one frame per tick in time sampling (the held frame again when the camera sent
// none), every Nth camera frame in image sampling. Below one frame a second a recording is a
// time-lapse and plays at the camera's rate.
TEST(RecordingOptionsRateTest, RecordedFrameRateIsWhatWasRecordedPerSecond)
{
    const struct {
        int32_t unit;
        int32_t rate;
        double camera;
        double expected;
    } cases[] = {
        {TimeUnitMilliseconds, 40, 108.0, 25.0},
        {TimeUnitMilliseconds, 40, 10.0, 25.0},    // a slow camera's frames are recorded again
        {TimeUnitMilliseconds, 0, 2000.0, 1000.0}, // the sampling ticks at most every millisecond
        {TimeUnitSeconds, 1, 30.0, 1.0},
        {TimeUnitSeconds, 2, 30.0, 30.0}, // time-lapses
        {TimeUnitMinutes, 1, 30.0, 30.0},
        {TimeUnitHours, 1, 12.5, 12.5},
        {TimeUnitDays, 100000, 12.5, 12.5},
        {TimeUnitImages, 1, 29.97, 29.97},
        {TimeUnitImages, 4, 100.0, 25.0},
        {TimeUnitImages, 0, 50.0, 50.0},  // a count below 1 samples every frame
        {TimeUnitImages, 20, 10.0, 10.0}, // half a frame a second: a time-lapse
        {TimeUnitImages, 2, 0.5, 0.5},    // a camera slower than a frame a second plays as it ran
        {TimeUnitImages, 2, 0.0, 12.5},   // a camera that names no rate counts as 25 frames a second
        {TimeUnitHours, 1, 0.0, 25.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.unit) + " " + std::to_string(c.rate) + " " + std::to_string(c.camera));
        CRecordingOptions options;
        options.SampleRateUnit = c.unit;
        options.SampleRate = c.rate;
        EXPECT_NEAR(options.recordedFrameRate(c.camera), c.expected, 1e-9);
    }
}

TEST_F(RecordingOptionsTest, RecordWithoutBlocksLeavesPointersNullAndBuffersEmpty)
{
    CRecordingOptions saved;
    saved.getAviCompressionOptions()->compressionOptions.fccType = 0x73646976;
    storeCompression(recordBytes(*saved.getAviCompressionOptions()));
    m_parms = {1, 2};
    m_format = {3};

    CRecordingOptions restored;
    uint8_t stale = 0;
    restored.getAviCompressionOptions()->compressionOptions.lpParms = &stale;
    QSettings settings;
    restored.restoreSettings(settings, m_parms, m_format);
    const auto& vfw = restored.getAviCompressionOptions()->compressionOptions;
    EXPECT_EQ(vfw.fccType, 0x73646976u);
    EXPECT_EQ(vfw.lpParms, nullptr);
    EXPECT_EQ(vfw.lpFormat, nullptr);
    EXPECT_TRUE(m_parms.empty());
    EXPECT_TRUE(m_format.empty());
}

TEST_F(RecordingOptionsTest, ShortStoredRecordIsRefusedBeforeAnythingIsCopied)
{
    Nimbo::SAviCompressionOptions claimsBlocks{};
    claimsBlocks.compressionOptions.fccHandler = 0x11111111;
    claimsBlocks.compressionOptions.cbParms = 16;
    claimsBlocks.compressionOptions.cbFormat = 4000000000u; // far beyond what is stored
    const QByteArray full = recordBytes(claimsBlocks) + QByteArray(16, 'p');

    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"shorter than the record", QByteArray(40, 'x')},
        {"record without its parameter block", recordBytes(claimsBlocks)},
        {"parameter block without the format block", full},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        storeCompression(c.bytes);
        CRecordingOptions options;
        options.getAviCompressionOptions()->compressionOptions.fccHandler = 0x22222222;
        m_parms = {42};
        m_format = {43};
        QSettings settings;
        options.restoreSettings(settings, m_parms, m_format);
        EXPECT_EQ(options.getAviCompressionOptions()->compressionOptions.fccHandler, 0x22222222u);
        EXPECT_EQ(m_parms, std::vector<uint8_t>{42});
        EXPECT_EQ(m_format, std::vector<uint8_t>{43});
    }
}

TEST_F(RecordingOptionsTest, CopiesShareTheRestoredBlocks)
{
    CRecordingOptions options;
    m_parms = {1, 2, 3, 4};
    auto& vfw = options.getAviCompressionOptions()->compressionOptions;
    vfw.lpParms = m_parms.data();
    vfw.cbParms = 4;
    const CRecordingOptions copy = options;
    // The user picks another compressor: the owner's buffer changes in place.
    m_parms[0] = 99;
    EXPECT_EQ(static_cast<const uint8_t*>(copy.getAviCompressionOptions()->compressionOptions.lpParms)[0], 99);
    EXPECT_EQ(std::memcmp(copy.getAviCompressionOptions(), options.getAviCompressionOptions(),
                          sizeof(Nimbo::SAviCompressionOptions)),
              0);
}

TEST_F(RecordingOptionsTest, LogFormDependsOnOutputTypeAndKeepsPercentSigns)
{
    CRecordingOptions options;
    options.OutputFolder = "/tmp/%s%n%d";
    options.VideoCodecId = 13;
    const QString video = options.logText();
    EXPECT_TRUE(video.startsWith("Recording settings:\n OutputType: 0\nImageOutputType: 1\n"));
    EXPECT_TRUE(video.contains("OutputFolder: /tmp/%s%n%d\n"));
    EXPECT_TRUE(video.contains("FpsPlaybackRate: 10.000000\nCodecID: 13\nVideoQuality: 8000000"));
    EXPECT_FALSE(video.contains("QueueBufferSize"));

    options.OutputType = CRecordingOptions::OutputTypeAvi;
    const QString avi = options.logText();
    EXPECT_TRUE(avi.contains("SampleRate: 1\nQueueBufferSize: 100\nAutomaticFpsPlayback: 1\n"));
    EXPECT_TRUE(avi.endsWith("UseCompression: 0"));
}

TEST(TimeUnitTest, IntervalsInMicroseconds)
{
    const struct {
        int32_t unit;
        int32_t value;
        int64_t expected;
    } cases[] = {
        {TimeUnitMilliseconds, 40, 40000},
        {TimeUnitSeconds, 2, 2000000},
        {TimeUnitMinutes, 5, 300000000},
        {TimeUnitHours, 1, 3600000000LL},
        {TimeUnitDays, 2, 172800000000LL},
        {TimeUnitHours, INT32_MAX, int64_t(INT32_MAX) * 3600000000LL},
        {TimeUnitDays, INT32_MAX, INT64_MAX}, // saturates instead of overflowing
        {TimeUnitDays, INT32_MIN, INT64_MIN},
        {TimeUnitImages, 7, 1000000},
        {6, 7, 1000000},
        {-1, 7, 1000000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "unit " << c.unit << " value " << c.value);
        EXPECT_EQ(timeUnitIntervalMicroseconds(c.unit, c.value), c.expected);
    }
}

TEST(RecordingStateTest, TextsAndQueuedSignalType)
{
    EXPECT_EQ(recordingStateText(RecordingInitializing), "Initializing");
    EXPECT_EQ(recordingStateText(RecordingActive), "Recording");
    EXPECT_EQ(recordingStateText(RecordingPaused), "Recording paused");
    EXPECT_EQ(recordingStateText(RecordingDraining), "Stopped. Writing images remaining in buffer");
    EXPECT_EQ(recordingStateText(RecordingStopped), "Recording stopped");
    EXPECT_TRUE(recordingStateText(RecordingFailed).isEmpty());
    registerRecordingStateMetaType();
    EXPECT_NE(QMetaType::type("ERecordingState"), int(QMetaType::UnknownType));
}

} // namespace
