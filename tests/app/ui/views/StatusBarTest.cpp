// The live and recording status bars' texts and label states.
#include "RecordingStatusBar.h"
#include "StatusBar.h"

#include <QLabel>
#include <QLocale>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
class StatusBarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previous = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void TearDown() override { QLocale::setDefault(m_previous); }
    QLocale m_previous;
};
} // namespace

TEST_F(StatusBarTest, rateTexts)
{
    const struct {
        double fps;
        uint64_t bytes;
        const char* text;
    } cases[] = {
        {12.5, 1234567, " 12.5 fps (1.2 MB/s) "},
        {600.0, 1234567, " 600 fps (1.2 MB/s) "},
        {30.0, 999, " 30.0 fps (999 B/s) "},
        {30.0, 54321, " 30.0 fps (54.3 kB/s) "},
        {-1.0, 1234567, " -- (--) "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StatusBar::rateText(c.fps, c.bytes).toStdString(), c.text) << c.fps << " " << c.bytes;
}

TEST_F(StatusBarTest, zoomAndRgbTexts)
{
    EXPECT_EQ(StatusBar::zoomText(0.0625).toStdString(), " 6.25 % ");
    EXPECT_EQ(StatusBar::zoomText(1.0).toStdString(), " 100 % ");
    const QString rgb = StatusBar::rgbText(0x00FF8001);
    EXPECT_TRUE(rgb.contains("RGB:</td><td align='right' width='20%'>255</td><td align='right' width='20%'>128</td>"
                             "<td align='right' width='20%'>1</td>"))
        << rgb.toStdString();
}

TEST_F(StatusBarTest, updateShowsTheValidGroupsAndClearsWhatWentInvalid)
{
    StatusBar bar;
    EXPECT_FALSE(bar.isSizeGripEnabled());
    StatusBar::StatusInfo info;
    info.framesPerSecond = 12.5;
    info.bytesPerSecond = 1234567;
    info.rateValid = true;
    info.width = 640;
    info.height = 480;
    info.sizeValid = true;
    info.sizeChanged = true;
    info.zoom = 0.5;
    info.zoomChanged = true;
    info.cursorValid = true;
    info.cursorX = 12;
    info.cursorY = 34;
    info.pixelValue = 0x00102030;
    bar.update(&info);
    EXPECT_EQ(bar.rateLabel()->text(), " 12.5 fps (1.2 MB/s) ");
    EXPECT_EQ(bar.sizeLabel()->text(), " 640 x 480 ");
    EXPECT_EQ(bar.zoomLabel()->text(), " 50 % ");
    EXPECT_EQ(bar.positionLabel()->text(), " 12, 34 ");
    EXPECT_TRUE(bar.rgbLabel()->text().contains(">16</td>"));
    EXPECT_FALSE(info.sizeChanged);
    EXPECT_FALSE(info.zoomChanged);

    // The cursor leaves the image: position and RGB go, the rest stays.
    info.cursorValid = false;
    bar.update(&info);
    EXPECT_TRUE(bar.positionLabel()->text().isEmpty());
    EXPECT_TRUE(bar.rgbLabel()->text().isEmpty());
    EXPECT_EQ(bar.sizeLabel()->text(), " 640 x 480 ");
    EXPECT_EQ(bar.rateLabel()->text(), " 12.5 fps (1.2 MB/s) ");

    // Size without a change flag is not rewritten; an invalid rate is cleared.
    info.width = 1;
    info.rateValid = false;
    bar.update(&info);
    EXPECT_EQ(bar.sizeLabel()->text(), " 640 x 480 ");
    EXPECT_TRUE(bar.rateLabel()->text().isEmpty());
    bar.update(nullptr);
}

TEST_F(StatusBarTest, recordingBarShowsStateCountsAndBufferUsage)
{
    RecordingStatusBar bar;
    RecordingStatusBar::StatusInfo info;
    info.recordedImages = 250;
    info.bufferUsed = 37;
    info.bufferCapacity = 100;
    info.droppedImages = 3;
    info.state = RecordingActive;
    bar.update(&info);
    EXPECT_EQ(bar.recordedLabel()->text(), "Recorded Images 250");
    EXPECT_EQ(bar.bufferLabel()->text(), "Memory Buffer Usage 37 %");
    EXPECT_EQ(bar.droppedLabel()->text(), "Dropped Images 3");
    EXPECT_EQ(bar.stateLabel()->text(),
              RecordingStatusBar::stateText(":/Kalmuth/Resources/record_14x14.png", "Recording"));
    EXPECT_TRUE(bar.stateLabel()->text().endsWith("Recording</td><tr/></table>"));
    EXPECT_GE(bar.minimumHeight(), 28);

    const struct {
        ERecordingState state;
        const char* icon;
        const char* text;
    } states[] = {
        {RecordingInitializing, ":/Kalmuth/Resources/recordstopped_14x14.png", "Initializing"},
        {RecordingPaused, ":/Kalmuth/Resources/recordpaused_14x14.png", "Recording paused"},
        {RecordingDraining, ":/Kalmuth/Resources/recordstopped_14x14.png",
         "Stopped. Writing images remaining in buffer (37 left)"},
        {RecordingStopped, ":/Kalmuth/Resources/recordstopped_14x14.png", "Recording stopped"},
        {RecordingFailed, "", ""},
    };
    for (const auto& s : states) {
        info.state = s.state;
        bar.update(&info);
        EXPECT_EQ(bar.stateLabel()->text(), RecordingStatusBar::stateText(s.icon, s.text)) << s.state;
    }

    // A recording without a buffer shows no usage rather than a division by zero.
    info.bufferCapacity = 0;
    bar.update(&info);
    EXPECT_EQ(bar.bufferLabel()->text(), "Memory Buffer Usage 0 %");
    info.bufferCapacity = 3;
    info.bufferUsed = 2;
    bar.update(&info);
    EXPECT_EQ(bar.bufferLabel()->text(), "Memory Buffer Usage 67 %");

    // Becoming visible clears the texts until the next update.
    bar.show();
    EXPECT_TRUE(bar.recordedLabel()->text().isEmpty());
    EXPECT_TRUE(bar.stateLabel()->text().isEmpty());
}

// While a stopped recording writes out its buffer, the bar counts the frames still to be written,
// blinking or not.
TEST_F(StatusBarTest, drainingCountsTheFramesStillToBeWritten)
{
    RecordingStatusBar bar;
    RecordingStatusBar::StatusInfo info;
    info.state = RecordingDraining;
    info.bufferCapacity = 1000;
    const QString icon = ":/Kalmuth/Resources/recordstopped_14x14.png";
    for (uint64_t left : {uint64_t(870), uint64_t(1), uint64_t(0)}) {
        info.bufferUsed = left;
        bar.update(&info);
        EXPECT_EQ(bar.stateLabel()->text(),
                  RecordingStatusBar::stateText(
                      icon, QString("Stopped. Writing images remaining in buffer (%1 left)").arg(left)))
            << left;
    }
    info.bufferUsed = 5;
    bar.update(&info);
    for (int step = 0; step < 3; ++step) {
        bar.blinkTimeout();
        EXPECT_TRUE(bar.stateLabel()->text().contains("(5 left)")) << step;
    }
}

TEST_F(StatusBarTest, blinkingSwapsTheActiveIconForTheStoppedOneEveryThirdStep)
{
    RecordingStatusBar bar;
    EXPECT_FALSE(bar.blinkTimer()->isActive());
    RecordingStatusBar::StatusInfo info;
    info.state = RecordingActive;
    bar.update(&info);
    const QString stopped = RecordingStatusBar::stateText(":/Kalmuth/Resources/recordstopped_14x14.png", "Recording");
    const QString own = RecordingStatusBar::stateText(":/Kalmuth/Resources/record_14x14.png", "Recording");
    const QString expected[] = {stopped, own, own, stopped};
    for (const QString& text : expected) {
        bar.blinkTimeout();
        EXPECT_EQ(bar.stateLabel()->text(), text);
    }
    info.state = RecordingPaused;
    bar.update(&info);
    bar.blinkTimeout(); // counter 4
    bar.blinkTimeout(); // counter 5
    bar.blinkTimeout(); // counter 6: paused does not blink
    EXPECT_EQ(bar.stateLabel()->text(),
              RecordingStatusBar::stateText(":/Kalmuth/Resources/recordpaused_14x14.png", "Recording paused"));
}
