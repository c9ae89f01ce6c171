// The recording settings panel: showing the options, writing each control back, enabled states and notices.
#include "RecordingSettingsWidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {
class RecordingSettingsWidgetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        options.OutputFolder = "/data/Rec";
        options.SampleRate = 5;
        options.SampleRateUnit = 1;
        options.StopSamplingLimitUnit = 3;
        options.ImageOutputType = CRecordingOptions::ImageOutputTypeBmp;
        options.VideoQuality = 70;
        QObject::connect(&panel, &RecordingSettingsWidget::triggerPortChanged,
                         [this](CRecordingOptions::ETriggerPort port) { ports.push_back(port); });
        QObject::connect(&panel, &RecordingSettingsWidget::recordingSettingsChanged,
                         [this](const CRecordingOptions& copy) { reported.push_back(copy); });
        panel.setOptions(&options);
    }
    template <class T>
    T* child(const char* name)
    {
        T* widget = panel.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QRadioButton* radio(const char* name) { return child<QRadioButton>(name); }

    CRecordingOptions options;
    RecordingSettingsWidget panel{nullptr};
    std::vector<CRecordingOptions::ETriggerPort> ports;
    std::vector<CRecordingOptions> reported;
};
} // namespace

TEST_F(RecordingSettingsWidgetTest, showsTheOptionsWithoutReportingAChange)
{
    EXPECT_EQ(child<QLineEdit>("lineEditRecordingOutputFolder")->text(), "/data/Rec");
    EXPECT_EQ(child<QComboBox>("comboBoxRecordingImageType")->currentIndex(), 0);
    EXPECT_EQ(child<QComboBox>("comboBoxRecordingSampleRateUnit")->currentIndex(), 1);
    EXPECT_EQ(child<QComboBox>("comboBoxRecordingStopSamplingLimitUnit")->currentIndex(), 3);
    EXPECT_EQ(child<QSpinBox>("spinBoxRecordingSampleRate")->value(), 5);
    EXPECT_EQ(child<QSpinBox>("spinBoxRecordingStopSamplingLimit")->value(), 30);
    EXPECT_EQ(child<QSlider>("sliderVideoQuality")->value(), 70);
    EXPECT_DOUBLE_EQ(child<QDoubleSpinBox>("doubleSpinBoxVideoPlaybackSpeed")->value(), 10.0);
    EXPECT_TRUE(radio("radioButtonOutputTypeVideo")->isChecked());
    EXPECT_FALSE(radio("radioButtonOutputTypeImages")->isChecked());
    EXPECT_TRUE(radio("radioButtonTriggerSourcePortNone")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("checkBoxVideoFixedPlaybackSpeedEnabled")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("checkBoxRecordingStopSamplingLimit")->isChecked());
    EXPECT_FALSE(child<QSpinBox>("spinBoxRecordingStopSamplingLimit")->isEnabled());
    EXPECT_FALSE(child<QComboBox>("comboBoxRecordingStopSamplingLimitUnit")->isEnabled());
    EXPECT_EQ(panel.windowTitle(), "Options");
    EXPECT_EQ(panel.minimumWidth(), 1000);
    EXPECT_TRUE(reported.empty());
    EXPECT_TRUE(ports.empty());
    EXPECT_EQ(options.OutputFolder, GenICam::gcstring("/data/Rec"));
    EXPECT_EQ(options.SampleRate, 5);
}

TEST_F(RecordingSettingsWidgetTest, outputTypeSwitchesThePlaybackAndImageControls)
{
    auto* speedBox = child<QCheckBox>("checkBoxVideoFixedPlaybackSpeedEnabled");
    auto* speed = child<QDoubleSpinBox>("doubleSpinBoxVideoPlaybackSpeed");
    auto* quality = child<QSlider>("sliderVideoQuality");
    auto* qualityLabel = child<QLabel>("labelVideoQualitiy");
    auto* fps = child<QLabel>("labelVideoFps");
    auto* imageType = child<QComboBox>("comboBoxRecordingImageType");
    const auto expectVideo = [&](bool video) {
        EXPECT_EQ(speedBox->isEnabled(), video);
        EXPECT_EQ(quality->isEnabled(), video);
        EXPECT_EQ(qualityLabel->isEnabled(), video);
        EXPECT_EQ(fps->isEnabled(), video);
        EXPECT_FALSE(speed->isEnabled()); // automatic playback speed in both cases
        EXPECT_EQ(imageType->isEnabled(), !video);
    };
    expectVideo(true);

    radio("radioButtonOutputTypeImages")->click();
    EXPECT_EQ(options.OutputType, CRecordingOptions::OutputTypeImageSequence);
    EXPECT_FALSE(radio("radioButtonOutputTypeVideo")->isChecked());
    expectVideo(false);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].OutputType, CRecordingOptions::OutputTypeImageSequence);

    imageType->setCurrentIndex(1);
    EXPECT_EQ(options.ImageOutputType, CRecordingOptions::ImageOutputTypeTiff);

    radio("radioButtonOutputTypeVideo")->click();
    EXPECT_EQ(options.OutputType, CRecordingOptions::OutputTypeVideo);
    expectVideo(true);
    // The change of image type went out with the next refresh.
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[1].ImageOutputType, CRecordingOptions::ImageOutputTypeTiff);
}

TEST_F(RecordingSettingsWidgetTest, storedAviChoiceIsShownKeptAndReachable)
{
    // Showing a stored AVI choice must not turn it into another output.
    CRecordingOptions stored = options;
    stored.OutputType = CRecordingOptions::OutputTypeAvi;
    RecordingSettingsWidget other(nullptr);
    std::vector<CRecordingOptions> otherReports;
    QObject::connect(&other, &RecordingSettingsWidget::recordingSettingsChanged,
                     [&](const CRecordingOptions& copy) { otherReports.push_back(copy); });
    other.setOptions(&stored);
    EXPECT_EQ(stored.OutputType, CRecordingOptions::OutputTypeAvi);
    EXPECT_TRUE(otherReports.empty());
    EXPECT_TRUE(other.findChild<QRadioButton*>("radioButtonOutputTypeAvi")->isChecked());
    EXPECT_FALSE(other.findChild<QRadioButton*>("radioButtonOutputTypeVideo")->isChecked());
    EXPECT_FALSE(other.findChild<QRadioButton*>("radioButtonOutputTypeImages")->isChecked());
    // An AVI clip is a video: playback speed and quality apply, the image type does not.
    EXPECT_TRUE(other.findChild<QSlider*>("sliderVideoQuality")->isEnabled());
    EXPECT_FALSE(other.findChild<QComboBox*>("comboBoxRecordingImageType")->isEnabled());

    // And the user reaches it from any other output.
    radio("radioButtonOutputTypeImages")->click();
    radio("radioButtonOutputTypeAvi")->click();
    EXPECT_EQ(options.OutputType, CRecordingOptions::OutputTypeAvi);
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[1].OutputType, CRecordingOptions::OutputTypeAvi);
    EXPECT_FALSE(radio("radioButtonOutputTypeImages")->isChecked());
    radio("radioButtonOutputTypeVideo")->click();
    EXPECT_EQ(options.OutputType, CRecordingOptions::OutputTypeVideo);
    EXPECT_FALSE(radio("radioButtonOutputTypeAvi")->isChecked());
}

TEST_F(RecordingSettingsWidgetTest, fixedPlaybackSpeedAndStopLimitEnableTheirFields)
{
    auto* speedBox = child<QCheckBox>("checkBoxVideoFixedPlaybackSpeedEnabled");
    auto* speed = child<QDoubleSpinBox>("doubleSpinBoxVideoPlaybackSpeed");
    speedBox->click();
    EXPECT_FALSE(options.AutomaticFpsPlayback);
    EXPECT_TRUE(speed->isEnabled());
    speed->setValue(30.5);
    EXPECT_DOUBLE_EQ(options.FpsPlaybackRate, 30.5);
    speedBox->click();
    EXPECT_TRUE(options.AutomaticFpsPlayback);
    EXPECT_FALSE(speed->isEnabled());
    EXPECT_DOUBLE_EQ(speed->value(), 30.5);

    auto* stop = child<QCheckBox>("checkBoxRecordingStopSamplingLimit");
    stop->click();
    EXPECT_TRUE(options.StopSamplingLimitEnabled);
    EXPECT_TRUE(child<QSpinBox>("spinBoxRecordingStopSamplingLimit")->isEnabled());
    EXPECT_TRUE(child<QComboBox>("comboBoxRecordingStopSamplingLimitUnit")->isEnabled());
    child<QComboBox>("comboBoxRecordingStopSamplingLimitUnit")->setCurrentIndex(0);
    EXPECT_EQ(options.StopSamplingLimitUnit, 0);
    child<QComboBox>("comboBoxRecordingSampleRateUnit")->setCurrentIndex(4);
    EXPECT_EQ(options.SampleRateUnit, 4);
    child<QSlider>("sliderVideoQuality")->setValue(15);
    EXPECT_EQ(options.VideoQuality, 15);
}

TEST_F(RecordingSettingsWidgetTest, limitsStayWithinOneTo99999)
{
    const struct {
        int in;
        int stored;
    } cases[] = {{0, 1}, {-7, 1}, {1, 1}, {99999, 99999}, {100000, 99999}, {250, 250}};
    auto* rate = child<QSpinBox>("spinBoxRecordingSampleRate");
    auto* limit = child<QSpinBox>("spinBoxRecordingStopSamplingLimit");
    for (const auto& c : cases) {
        rate->setValue(c.in);
        limit->setValue(c.in);
        EXPECT_EQ(options.SampleRate, c.stored) << c.in;
        EXPECT_EQ(options.StopSamplingLimit, c.stored) << c.in;
    }
}

TEST_F(RecordingSettingsWidgetTest, triggerPortIsReportedOncePerChange)
{
    radio("radioButtonTriggerSourcePortTwo")->click();
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0], CRecordingOptions::TriggerPortTwo);
    EXPECT_EQ(options.TriggerPort, CRecordingOptions::TriggerPortTwo);
    EXPECT_FALSE(radio("radioButtonTriggerSourcePortNone")->isChecked());

    radio("radioButtonTriggerSourcePortTwo")->click();
    EXPECT_EQ(ports.size(), 1u);

    radio("radioButtonTriggerSourcePortOne")->click();
    radio("radioButtonTriggerSourcePortNone")->click();
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[1], CRecordingOptions::TriggerPortOne);
    EXPECT_EQ(ports[2], CRecordingOptions::TriggerPortNone);
    EXPECT_EQ(options.TriggerPort, CRecordingOptions::TriggerPortNone);
}

TEST_F(RecordingSettingsWidgetTest, folderTextIsStoredAsTypedIncludingLetterCase)
{
    auto* folder = child<QLineEdit>("lineEditRecordingOutputFolder");
    // Linux folders differ by letter case: "/data/rec" is another folder than "/data/Rec".
    folder->setText("/data/rec");
    EXPECT_EQ(options.OutputFolder, GenICam::gcstring("/data/rec"));
    folder->setText(QString::fromUtf8("/data/Aufnahmen \xc3\xbc"));
    EXPECT_EQ(options.OutputFolder, GenICam::gcstring("/data/Aufnahmen \xc3\xbc"));
}

TEST(RecordingSettingsWidgetStandaloneTest, controlsBeforeOptionsAreSetChangeNothing)
{
    RecordingSettingsWidget panel(nullptr);
    panel.findChild<QRadioButton*>("radioButtonOutputTypeImages")->click();
    panel.findChild<QRadioButton*>("radioButtonTriggerSourcePortOne")->click();
    panel.findChild<QSpinBox*>("spinBoxRecordingSampleRate")->setValue(9);
    panel.findChild<QLineEdit*>("lineEditRecordingOutputFolder")->setText("/tmp/x");
    // The options set afterwards are shown as they are.
    CRecordingOptions options;
    options.OutputFolder = "/srv";
    panel.setOptions(&options);
    EXPECT_EQ(options.OutputType, CRecordingOptions::OutputTypeVideo);
    EXPECT_EQ(options.TriggerPort, CRecordingOptions::TriggerPortNone);
    EXPECT_EQ(options.SampleRate, 1);
    EXPECT_EQ(options.OutputFolder, GenICam::gcstring("/srv"));
    EXPECT_TRUE(panel.findChild<QRadioButton*>("radioButtonOutputTypeVideo")->isChecked());
    EXPECT_TRUE(panel.findChild<QRadioButton*>("radioButtonTriggerSourcePortNone")->isChecked());
}

TEST(RecordingSettingsWidgetStandaloneTest, groupBoxesLeaveThePanelFreeToShrink)
{
    // The collapsing dock squeezes the panel; group boxes pinned to their frames' size would stop it.
    RecordingSettingsWidget panel(nullptr);
    panel.resize(1200, 300);
    panel.show();
    QCoreApplication::processEvents();
    panel.resize(1200, 10);
    QCoreApplication::processEvents();
    for (const char* name : {"groupBox_3", "groupBox_4", "groupBox_5"}) {
        auto* group = panel.findChild<QGroupBox*>(name);
        ASSERT_NE(group, nullptr) << name;
        EXPECT_EQ(group->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX)) << name;
        EXPECT_EQ(group->minimumSize(), QSize(0, 0)) << name;
    }
}

// The controls as the form lays them out: each in its frame's group box, with its exact text and tip.
TEST(RecordingSettingsWidgetFormTest, controlsSitInTheirGroupsWithTheirTextsAndTips)
{
    RecordingSettingsWidget panel(nullptr);
    const struct {
        const char* name;
        const char* className;
        const char* parent;
        const char* text;
        const char* toolTip;
    } controls[] = {
        {"leftFrame", "QFrame", "", "", ""},
        {"groupBox_3", "QGroupBox", "leftFrame", "", ""},
        {"radioButtonOutputTypeVideo", "QRadioButton", "groupBox_3", "&Video",
         "<span>Select this option to record a video clip.</span>"},
        {"radioButtonOutputTypeAvi", "QRadioButton", "groupBox_3", "&AVI video",
         "<span>Select this option to record a video clip as an AVI file.</span>"},
        {"radioButtonOutputTypeImages", "QRadioButton", "groupBox_3", "Sequence of still i&mages",
         "<span>Select this option to record a series of still images and choose their format.</span>"},
        {"checkBoxVideoFixedPlaybackSpeedEnabled", "QCheckBox", "groupBox_3", "Set &playback speed",
         "<span>Sets the speed (in frames per second, fps) at which a recorded video clip will be played back.</span>"},
        {"doubleSpinBoxVideoPlaybackSpeed", "QDoubleSpinBox", "groupBox_3", "", ""},
        {"labelVideoFps", "QLabel", "groupBox_3", "fps", ""},
        {"labelVideoQualitiy", "QLabel", "groupBox_3", "Quality",
         "<span>Adjusts the image quality. This affects the compression rate. The higher the quality, the lower the "
         "compression rate.</span>"},
        {"sliderVideoQuality", "QSlider", "groupBox_3", "", ""},
        {"comboBoxRecordingImageType", "QComboBox", "groupBox_3", "", ""},
        {"middleFrame", "QFrame", "", "", ""},
        {"groupBox_4", "QGroupBox", "middleFrame", "", ""},
        {"labelRecordEveryImage", "QLabel", "groupBox_4", "Record an image every",
         "<span>Sets the rate at which images are recorded based on time or images.</span>"},
        {"spinBoxRecordingSampleRate", "QSpinBox", "groupBox_4", "", ""},
        {"comboBoxRecordingSampleRateUnit", "QComboBox", "groupBox_4", "", ""},
        {"checkBoxRecordingStopSamplingLimit", "QCheckBox", "groupBox_4", "St&op recording after",
         "<span>Select this option to stop a recording after a certain period of time or number of images.</span>"},
        {"spinBoxRecordingStopSamplingLimit", "QSpinBox", "groupBox_4", "", ""},
        {"comboBoxRecordingStopSamplingLimitUnit", "QComboBox", "groupBox_4", "", ""},
        {"rightFrame", "QFrame", "", "", ""},
        {"groupBox_5", "QGroupBox", "rightFrame", "", ""},
        {"labelRecordingOutputFolder", "QLabel", "groupBox_5", "Save to...",
         "<html><head/><body>Sets the location where the video clips and images will be saved. Click <span style=\" "
         "font-weight:600;\">Browse</span> to navigate to your preferred location.</body></html>"},
        {"lineEditRecordingOutputFolder", "QLineEdit", "groupBox_5", "test", ""},
        {"pushButtonPickRecordingOutputFolder", "QPushButton", "groupBox_5", "Browse", ""},
        {"radioButtonTriggerSourcePortNone", "QRadioButton", "groupBox_5", "Automatic triggering",
         "<span>Select this option to enable automatic triggering of the camera.</span>"},
        {"radioButtonTriggerSourcePortOne", "QRadioButton", "groupBox_5", "Trigger port 1",
         "<span>Select this option to trigger the camera via trigger port 1.</span>"},
        {"radioButtonTriggerSourcePortTwo", "QRadioButton", "groupBox_5", "Trigger port 2",
         "<span>Select this option to trigger the camera via trigger port 2.</span>"},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        auto* widget = panel.findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), c.className);
        const QWidget* parent = widget->parentWidget();
        EXPECT_EQ(parent == &panel ? QString() : parent->objectName(), c.parent);
        // A group box's title, a button's, label's or edit box's text (a spin box's text is its value).
        if (!qobject_cast<QAbstractSpinBox*>(widget)) {
            const char* textProperty = qobject_cast<QGroupBox*>(widget) ? "title" : "text";
            EXPECT_EQ(widget->property(textProperty).toString(), c.text);
        }
        EXPECT_EQ(widget->toolTip(), c.toolTip);
    }

    const auto items = [&](const char* name) {
        QStringList texts;
        auto* combo = panel.findChild<QComboBox*>(QString::fromLatin1(name));
        for (int i = 0; combo && i < combo->count(); ++i)
            texts << combo->itemText(i);
        return texts;
    };
    const QStringList units{"Image(s)", "Millisecond(s)", "Second(s)", "Minute(s)", "Hour(s)"};
    EXPECT_EQ(items("comboBoxRecordingImageType"), (QStringList{"Bitmap", "Tiff"}));
    EXPECT_EQ(items("comboBoxRecordingSampleRateUnit"), units);
    EXPECT_EQ(items("comboBoxRecordingStopSamplingLimitUnit"), units);

    auto* speed = panel.findChild<QDoubleSpinBox*>("doubleSpinBoxVideoPlaybackSpeed");
    EXPECT_DOUBLE_EQ(speed->minimum(), 0.01);
    EXPECT_DOUBLE_EQ(speed->maximum(), 1000.0);
    EXPECT_DOUBLE_EQ(speed->value(), 25.0);
    EXPECT_TRUE(speed->alignment() & Qt::AlignRight);
    auto* quality = panel.findChild<QSlider*>("sliderVideoQuality");
    EXPECT_EQ(quality->orientation(), Qt::Horizontal);
    EXPECT_EQ(quality->minimum(), 0);
    EXPECT_EQ(quality->maximum(), 100);
    for (const char* name : {"spinBoxRecordingSampleRate", "spinBoxRecordingStopSamplingLimit"}) {
        auto* spin = panel.findChild<QSpinBox*>(name);
        EXPECT_EQ(spin->minimum(), 1) << name;
        EXPECT_EQ(spin->maximum(), 99999) << name;
        EXPECT_TRUE(spin->alignment() & Qt::AlignRight) << name;
    }
}

// Tab walks the controls in reading order: the left group row by row, then the middle one, then the
// right, and back to the start. Of each group of radio buttons only the chosen one is a stop.
TEST(RecordingSettingsWidgetFormTest, tabWalksTheControlsInReadingOrder)
{
    RecordingSettingsWidget panel(nullptr);
    CRecordingOptions options;
    options.StopSamplingLimitEnabled = true;
    options.AutomaticFpsPlayback = false;
    panel.setOptions(&options);
    panel.show();
    QApplication::setActiveWindow(&panel);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    const QStringList expected{"radioButtonOutputTypeVideo",
                               "checkBoxVideoFixedPlaybackSpeedEnabled",
                               "doubleSpinBoxVideoPlaybackSpeed",
                               "sliderVideoQuality",
                               "spinBoxRecordingSampleRate",
                               "comboBoxRecordingSampleRateUnit",
                               "checkBoxRecordingStopSamplingLimit",
                               "spinBoxRecordingStopSamplingLimit",
                               "comboBoxRecordingStopSamplingLimitUnit",
                               "lineEditRecordingOutputFolder",
                               "pushButtonPickRecordingOutputFolder",
                               "radioButtonTriggerSourcePortNone",
                               "radioButtonOutputTypeVideo"};
    panel.findChild<QWidget*>(expected.first())->setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (int i = 0; i < expected.size(); ++i) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        visited << focused->objectName();
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    EXPECT_EQ(visited, expected) << visited.join(' ').toStdString();
}
