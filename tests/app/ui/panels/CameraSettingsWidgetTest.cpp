// The camera settings panel against small node maps: which rows bind, role and camera filtering, shut-down, saved
// values.
#include "CameraSettingsWidget.h"

#include "BaseParameterModel.h"
#include "FlatDoubleComboSlider.h"
#include "NodeParameterManager.h"
#include "ParameterTestNodeMaps.h"
#include "StubCamera.h"

#include <Camera.h>

#include <QCheckBox>
#include <QImage>
#include <QLayout>
#include <QLabel>
#include <QSettings>
#include <QSlider>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace parametertest;

namespace {
// A camera with the SFNC 2 names and no colour-adjustment features.
const std::string kCamera = std::string(R"(
  <Float Name="ExposureTime"><Value>5000</Value><Min>10</Min><Max>1000000</Max><pAlias>ExposureTimeRaw</pAlias></Float>
  <Integer Name="ExposureTimeRaw"><Value>5000</Value><Min>10</Min><Max>1000000</Max><Inc>1</Inc></Integer>
  <Float Name="Gain"><Value>3.5</Value><Min>0</Min><Max>24</Max><DisplayPrecision>1</DisplayPrecision>
    <pAlias>GainRaw</pAlias></Float>
  <Integer Name="GainRaw"><Value>35</Value><Min>0</Min><Max>240</Max><Inc>1</Inc></Integer>
  <Integer Name="PickerFlag"><Value>1</Value></Integer>
  <Boolean Name="WhiteBalancePickerEnable"><pValue>PickerFlag</pValue><OnValue>1</OnValue><OffValue>0</OffValue></Boolean>
)") + autoEnumeration("ExposureAuto", "0") +
                            autoEnumeration("GainAuto", "2");

// The colour-adjustment features as the plug-in adds them: a float saturation and an integer hue.
const std::string kColour = R"(
  <Float Name="VlrSaturationValue"><Value>1.5</Value><Min>0</Min><Max>2</Max><pAlias>VlrSaturationRaw</pAlias></Float>
  <Integer Name="VlrSaturationRaw"><Value>150</Value><Min>0</Min><Max>200</Max><Inc>1</Inc></Integer>
  <Integer Name="VlrHue"><Value>-20</Value><Min>-180</Min><Max>180</Max><Inc>1</Inc></Integer>
)";

class CameraSettingsWidgetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings().remove("Camera");
        map = load(kCamera);
    }
    void TearDown() override { QSettings().remove("Camera"); }

    QLabel* labelWithText(const QString& text)
    {
        for (QLabel* label : panel->findChildren<QLabel*>())
            if (label->text() == text)
                return label;
        ADD_FAILURE() << text.toStdString();
        return nullptr;
    }
    // The sliders (exposure, gain, saturation, contrast, brightness, hue) and check boxes in row order.
    QList<FlatDoubleComboSlider*> sliders() { return panel->findChildren<FlatDoubleComboSlider*>(); }
    QList<QCheckBox*> boxes() { return panel->findChildren<QCheckBox*>(); }
    GenApi::INode* boundNode(int model) { return panel->manager()->models().at(model)->node(); }

    fake::StubCamera camera;
    fake::StubCamera otherCamera;
    NodeMapPtr map;
    std::unique_ptr<CameraSettingsWidget> panel = std::make_unique<CameraSettingsWidget>(nullptr);
};
} // namespace

TEST_F(CameraSettingsWidgetTest, withoutACameraEveryControlIsDisabled)
{
    ASSERT_EQ(sliders().size(), 6);
    ASSERT_EQ(boxes().size(), 3);
    EXPECT_TRUE(sliders()[0]->isLogarithmic());
    for (int i = 1; i < 6; ++i)
        EXPECT_FALSE(sliders()[i]->isLogarithmic()) << i;
    for (auto* slider : sliders())
        EXPECT_FALSE(slider->isEnabled());
    for (auto* box : boxes()) {
        EXPECT_FALSE(box->isEnabled()) << box->text().toStdString();
        EXPECT_EQ(box->layoutDirection(), Qt::RightToLeft);
    }
    for (const char* text : {"Exposure Time", "Gain", "White Balance", "Saturation", "Contrast", "Brightness", "Hue"})
        EXPECT_FALSE(labelWithText(text)->isEnabled()) << text;
    EXPECT_EQ(labelWithText("Exposure Time")->toolTip(),
              "<span>Sets the exposure <nobr>time in microseconds.</nobr></span>");
    EXPECT_EQ(panel->manager()->models().size(), 9);
}

TEST_F(CameraSettingsWidgetTest, cameraNodeMapBindsTheRowsTheCameraHas)
{
    panel->setCamera(&camera);
    panel->addNodemap(&camera, map.get(), "Camera", "Camera");
    ASSERT_NE(panel->manager()->nodeMap(), nullptr);

    // ExposureTimeAbs is missing: the exposure row binds to ExposureTime.
    ASSERT_NE(boundNode(0), nullptr);
    EXPECT_EQ(boundNode(0)->GetName(), "ExposureTime");
    EXPECT_EQ(boundNode(2)->GetName(), "Gain");
    EXPECT_TRUE(sliders()[0]->isEnabled());
    EXPECT_TRUE(labelWithText("Exposure Time")->isEnabled());
    EXPECT_DOUBLE_EQ(sliders()[0]->value(), 5000.0);
    EXPECT_DOUBLE_EQ(sliders()[1]->value(), 3.5);
    EXPECT_TRUE(labelWithText("Gain")->isEnabled());
    // The auto enumerations arrive as check boxes: Off and Continuous.
    EXPECT_TRUE(boxes()[0]->isEnabled());
    EXPECT_FALSE(boxes()[0]->isChecked());
    EXPECT_TRUE(boxes()[1]->isChecked());
    EXPECT_TRUE(boxes()[2]->isChecked());
    EXPECT_TRUE(labelWithText("White Balance")->isEnabled());
    // Without the colour plug-in the four colour rows stay disabled but visible.
    for (int i = 2; i < 6; ++i)
        EXPECT_FALSE(sliders()[i]->isEnabled()) << i;
    for (const char* text : {"Saturation", "Contrast", "Brightness", "Hue"})
        EXPECT_FALSE(labelWithText(text)->isEnabled()) << text;

    // Moving the logarithmic exposure slider writes the integer behind it.
    FlatDoubleComboSlider* exposure = sliders()[0];
    exposure->slider()->setValue(50000);
    GenApi::CIntegerPtr raw = map->GetNode("ExposureTimeRaw");
    EXPECT_EQ(raw->GetValue(), exposure->positionToValue(50000));
    EXPECT_GT(raw->GetValue(), 3000);
    EXPECT_LT(raw->GetValue(), 3300);

    // A second camera node map for the same camera binds nothing new.
    GenApi::INodeMap* layer = panel->manager()->nodeMap();
    NodeMapPtr second = load(kCamera + kColour);
    panel->addNodemap(&camera, second.get(), "Camera", "Camera");
    EXPECT_EQ(panel->manager()->nodeMap(), layer);
    EXPECT_FALSE(sliders()[5]->isEnabled());
}

TEST_F(CameraSettingsWidgetTest, otherCamerasAndOtherRolesAreIgnored)
{
    panel->addNodemap(&camera, map.get(), "Camera", "Camera");
    EXPECT_EQ(panel->manager()->nodeMap(), nullptr);
    panel->setCamera(&camera);
    panel->addNodemap(&otherCamera, map.get(), "Camera", "Camera");
    for (const char* role : {"TransportLayer", "StreamParameters", "ColorConverter"})
        panel->addNodemap(&camera, map.get(), "Camera", role);
    EXPECT_EQ(panel->manager()->nodeMap(), nullptr);
    EXPECT_FALSE(sliders()[0]->isEnabled());

    // Removing another camera keeps the current one; removing the current one forgets it.
    panel->removeCamera(&otherCamera);
    EXPECT_EQ(panel->camera(), &camera);
    panel->removeCamera(&camera);
    EXPECT_EQ(panel->camera(), nullptr);
}

TEST_F(CameraSettingsWidgetTest, shutDownLeavesFreshUnboundRowsForTheNextCamera)
{
    panel->setCamera(&camera);
    panel->addNodemap(&camera, map.get(), "Camera", "Camera");
    ASSERT_TRUE(sliders()[0]->isEnabled());

    // Another camera's shut-down changes nothing.
    panel->onNotifyCameraShutDown(&otherCamera);
    EXPECT_NE(boundNode(0), nullptr);

    panel->onNotifyCameraShutDown(&camera);
    ASSERT_EQ(panel->manager()->models().size(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(boundNode(i), nullptr) << i;
    for (auto* slider : sliders())
        EXPECT_FALSE(slider->isEnabled());
    for (auto* box : boxes())
        EXPECT_FALSE(box->isEnabled());
    // The rows keep showing the last values.
    EXPECT_DOUBLE_EQ(sliders()[1]->value(), 3.5);
    map.reset();

    // The next camera, with the colour features, binds the colour rows through the wrappers.
    NodeMapPtr next = load(kCamera + kColour);
    panel->setCamera(&otherCamera);
    panel->addNodemap(&otherCamera, next.get(), "Next", "Camera");
    ASSERT_NE(panel->manager()->nodeMap(), nullptr);
    EXPECT_EQ(boundNode(5)->GetName(), "VlrSaturationValue");
    EXPECT_EQ(boundNode(8)->GetName(), "VlrHue");
    EXPECT_TRUE(sliders()[2]->isEnabled());
    EXPECT_TRUE(sliders()[5]->isEnabled());
    EXPECT_DOUBLE_EQ(sliders()[2]->value(), 1.5);
    EXPECT_DOUBLE_EQ(sliders()[5]->value(), -20.0);
    EXPECT_FALSE(sliders()[3]->isEnabled());
    EXPECT_FALSE(sliders()[4]->isEnabled());
    EXPECT_TRUE(labelWithText("Hue")->isEnabled());
    EXPECT_FALSE(labelWithText("Contrast")->isEnabled());
    panel->onNotifyCameraShutDown(&otherCamera);
    next.reset();
}

TEST_F(CameraSettingsWidgetTest, destructionSavesTheLastValuesOnlyWithACurrentCamera)
{
    panel.reset();
    EXPECT_FALSE(QSettings().childGroups().contains("Camera"));

    panel = std::make_unique<CameraSettingsWidget>(nullptr);
    panel->setCamera(&camera);
    panel->addNodemap(&camera, map.get(), "Camera", "Camera");
    panel->onNotifyCameraShutDown(&camera);
    panel.reset();

    QSettings settings;
    settings.beginGroup("Camera");
    EXPECT_DOUBLE_EQ(settings.value("ExposureTimeAbs").toDouble(), 5000.0);
    EXPECT_DOUBLE_EQ(settings.value("ExposureTime").toDouble(), 5000.0);
    EXPECT_EQ(settings.value("ExposureAuto").toString(), "Off");
    EXPECT_DOUBLE_EQ(settings.value("GainAbs").toDouble(), 3.5);
    EXPECT_DOUBLE_EQ(settings.value("Gain").toDouble(), 3.5);
    EXPECT_EQ(settings.value("GainAuto").toString(), "Continuous");
    for (const char* key : {"VlrSaturation", "VlrContrast", "VlrBrightness", "VlrHue"})
        EXPECT_TRUE(settings.contains(key)) << key;
    EXPECT_EQ(settings.childKeys().size(), 10);
}

TEST_F(CameraSettingsWidgetTest, rowsStackTopDownWithTheCheckBoxesBesideTheirLabels)
{
    panel->resize(300, 900);
    panel->layout()->activate();
    // Top to bottom: each label, then its slider (white balance has none).
    QList<QWidget*> column;
    int slider = 0;
    for (const char* text : {"Exposure Time", "Gain", "White Balance", "Saturation", "Contrast", "Brightness", "Hue"}) {
        column << labelWithText(text);
        if (QString(text) != "White Balance")
            column << sliders().at(slider++);
    }
    for (int i = 1; i < column.size(); ++i)
        EXPECT_GE(column[i]->geometry().top(), column[i - 1]->geometry().bottom()) << i;
    // A wider gap after the gain and the white balance rows than after the exposure row.
    const int afterExposure = column[2]->geometry().top() - column[1]->geometry().bottom();
    const int afterGain = column[4]->geometry().top() - column[3]->geometry().bottom();
    const int afterWhiteBalance = column[5]->geometry().top() - column[4]->geometry().bottom();
    EXPECT_GE(afterGain, afterExposure + 15);
    EXPECT_GE(afterWhiteBalance, afterExposure + 15);
    // Each check box sits at the right end of its label's row.
    const struct {
        const char* label;
        int box;
    } rows[] = {{"Exposure Time", 0}, {"Gain", 1}, {"White Balance", 2}};
    for (const auto& row : rows) {
        const QRect label = labelWithText(row.label)->geometry();
        const QRect box = boxes().at(row.box)->geometry();
        EXPECT_LT(std::abs(box.center().y() - label.center().y()), 4) << row.label;
        EXPECT_GT(box.left(), label.left()) << row.label;
        EXPECT_GE(box.right(), sliders().at(0)->geometry().right() - 4) << row.label;
    }
}

TEST_F(CameraSettingsWidgetTest, styleSheetPaintsTheWhitePanelWithItsBorders)
{
    panel->resize(300, 700);
    const QImage image = panel->grab().toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixelColor(5, 5), QColor("#FFFFFF"));
    EXPECT_EQ(image.pixelColor(image.width() - 1, 5), QColor("#00457C"));
    EXPECT_EQ(image.pixelColor(5, image.height() - 1), QColor("#00457C"));
}
