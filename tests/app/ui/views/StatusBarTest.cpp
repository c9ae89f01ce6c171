// The live and recording status bars' texts and label states.
#include "RecordingStatusBar.h"
#include "StatusBar.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

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

// The horizontal extents of what a label draws, as the user sees them: columns holding ink, joined into
// one group where less than `gap` pixels of background lie between them.
std::vector<std::pair<int, int>> inkGroups(QLabel* label, int gap)
{
    const QImage image = label->grab().toImage();
    const QRgb background = image.pixel(0, 0);
    std::vector<std::pair<int, int>> groups;
    for (int x = 0; x < image.width(); ++x) {
        bool ink = false;
        for (int y = 0; y < image.height() && !ink; ++y)
            ink = qGray(image.pixel(x, y)) + 64 < qGray(background);
        if (!ink)
            continue;
        if (!groups.empty() && x - groups.back().second <= gap)
            groups.back().second = x;
        else
            groups.emplace_back(x, x);
    }
    return groups;
}
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
    const QString rgb = StatusBar::rgbText(0x00FF8001, 30);
    EXPECT_TRUE(rgb.contains("RGB:</td><td align='right' width='30'>255</td><td align='right' width='30'>128</td>"
                             "<td align='right' width='30'>1</td>"))
        << rgb.toStdString();
}

// Each figure of the RGB value keeps a column of its own, as wide as the widest figure: the three never
// run together, and each stands at the same place whatever the values are. So also when a style sheet gives
// the labels a font of another size than the bar had when it was made: no figure is cut off.
TEST_F(StatusBarTest, rgbFiguresStandApartInColumnsOfTheirOwn)
{
    struct StyleSheetReset {
        ~StyleSheetReset() { qApp->setStyleSheet(QString()); }
    } styleSheetReset;
    for (const char* styleSheet :
         {"", "QStatusBar QLabel { font-size: 30px; }", "QStatusBar QLabel { font-size: 6px; }"}) {
        SCOPED_TRACE(styleSheet);
        qApp->setStyleSheet(styleSheet);
        StatusBar bar;
        bar.resize(1200, 40);
        bar.show();
        StatusBar::StatusInfo info;
        info.cursorValid = true;
        QLabel* label = bar.rgbLabel();
        // Glyphs of one figure lie closer together than the advance of a digit; figures stand further apart.
        const int digit = QFontMetrics(label->font()).horizontalAdvance(QLatin1Char('0'));
        std::vector<std::vector<std::pair<int, int>>> layouts;
        for (uint32_t value : {0x009CA401u, 0x00FFFFFFu, 0x00010101u, 0x00000000u}) {
            info.pixelValue = value;
            bar.update(&info);
            QApplication::processEvents();
            const auto groups = inkGroups(label, digit * 3 / 4);
            ASSERT_EQ(groups.size(), 4u) << "\"RGB:\" and three figures apart, for " << std::hex << value;
            layouts.push_back(groups);
        }
        for (const auto& groups : layouts) {
            for (size_t i = 1; i < groups.size(); ++i)
                EXPECT_GE(groups[i].first - groups[i - 1].second, digit * 3 / 4) << "figure " << i;
            // Right-aligned in columns of one width: the figures end where those of 255/255/255 end (the ink
            // of a digit may end a little before its advance does).
            for (size_t i = 1; i < groups.size(); ++i)
                EXPECT_NEAR(groups[i].second, layouts[1][i].second, digit / 2) << "figure " << i;
        }
    }
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
