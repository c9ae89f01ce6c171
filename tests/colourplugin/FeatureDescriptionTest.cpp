// Tests of the colour feature description: its text, and its behaviour once merged into a camera's node map.
#include "FeatureDescription.h"
#include "TestCamera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

using huvanetest::TestCamera;

namespace {
std::string description()
{
    GenICam::gcstring text;
    Huvane::loadFeatureDescription(text);
    return text.c_str();
}
} // namespace

TEST(FeatureDescriptionTest, IsTheWholeRegisterDescriptionOfSchemaOneOne)
{
    const std::string text = description();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find("<?xml"), 0u);
    EXPECT_NE(text.find("xmlns=\"http://www.genicam.org/GenApi/Version_1_1\""), std::string::npos);
    for (const char* attribute : {"ModelName=\"Features\"", "VendorName=\"OEM\"", "ToolTip=\"Features\"",
                                  "StandardNameSpace=\"GEV\"", "SchemaMajorVersion=\"1\"", "SchemaMinorVersion=\"1\"",
                                  "SchemaSubMinorVersion=\"0\"", "ProductGuid=\"8CBE5C98-EEE3-4a31-AE5A-D54C10BE8B09\"",
                                  "VersionGuid=\"B4789C89-2B67-4a6e-AA1A-00B367CE7958\""})
        EXPECT_NE(text.find(attribute), std::string::npos) << attribute;
    // Whole: it ends with the closing root element, nothing cut off and nothing behind it but a newline.
    EXPECT_EQ(text.substr(text.size() - 23), "</RegisterDescription>\n");
}

class MergedFeaturesTest : public ::testing::Test {
protected:
    void SetUp() override { camera = std::make_unique<TestCamera>(); }
    std::unique_ptr<TestCamera> camera;
};

TEST_F(MergedFeaturesTest, OffersNeutralValuesBeforeAnythingChanges)
{
    EXPECT_DOUBLE_EQ(camera->node<GenApi::CFloatPtr>("VlrHue")->GetValue(), 0.0);
    EXPECT_DOUBLE_EQ(camera->node<GenApi::CFloatPtr>("VlrSaturation")->GetValue(), 1.0);
    EXPECT_DOUBLE_EQ(camera->node<GenApi::CFloatPtr>("VlrBrightness")->GetValue(), 0.0);
    EXPECT_DOUBLE_EQ(camera->node<GenApi::CFloatPtr>("VlrContrast")->GetValue(), 0.0);
    EXPECT_EQ(camera->node<GenApi::CEnumerationPtr>("VlrContrastMode")->ToString(), "Linear");
}

TEST_F(MergedFeaturesTest, FloatsStoreTheirRawIntegers)
{
    struct Case {
        const char* feature;
        double value;
        const char* raw;
        int64_t expected;
    };
    const Case cases[] = {
        {"VlrSaturation", 0.5, "VlrSaturationRaw", 32},
        {"VlrSaturation", 2.0, "VlrSaturationRaw", 128},
        {"VlrSaturation", 0.0, "VlrSaturationRaw", 0},
        {"VlrBrightness", -1.0, "VlrBrightnessRaw", 0},
        {"VlrBrightness", 1.0, "VlrBrightnessRaw", 256},
        {"VlrBrightness", 0.5, "VlrBrightnessRaw", 192},
        {"VlrContrast", -0.25, "VlrContrastRaw", 96},
        {"VlrHue", -180.0, "VlrHueRaw", -180},
        {"VlrHue", 45.0, "VlrHueRaw", 45},
    };
    for (const Case& c : cases) {
        camera->node<GenApi::CFloatPtr>(c.feature)->SetValue(c.value);
        EXPECT_EQ(camera->node<GenApi::CIntegerPtr>(c.raw)->GetValue(), c.expected) << c.feature << " " << c.value;
        EXPECT_DOUBLE_EQ(camera->node<GenApi::CFloatPtr>(c.feature)->GetValue(), c.value) << c.feature;
    }
}

TEST_F(MergedFeaturesTest, RangesFollowFromTheRawLimits)
{
    struct Case {
        const char* feature;
        double min;
        double max;
    };
    for (const Case& c : {Case{"VlrSaturation", 0.0, 2.0}, Case{"VlrHue", -180.0, 180.0},
                          Case{"VlrBrightness", -1.0, 1.0}, Case{"VlrContrast", -1.0, 1.0}}) {
        const GenApi::CFloatPtr f = camera->node<GenApi::CFloatPtr>(c.feature);
        EXPECT_DOUBLE_EQ(f->GetMin(), c.min) << c.feature;
        EXPECT_DOUBLE_EQ(f->GetMax(), c.max) << c.feature;
    }
    EXPECT_THROW(camera->node<GenApi::CFloatPtr>("VlrSaturation")->SetValue(2.5), GenICam::OutOfRangeException);
}

TEST_F(MergedFeaturesTest, DescribesEachFeatureAsTheUserSeesIt)
{
    struct Case {
        const char* name;
        const char* displayName;
        const char* toolTip;
        int64_t precision;
    };
    for (const Case& c : {Case{"VlrSaturation", "Saturation", "Saturation of the colors in an image.", 2},
                          Case{"VlrHue", "Hue", "Hue of the colors in an image.", 0},
                          Case{"VlrBrightness", "Brightness", "Brightness of the image.", 2},
                          Case{"VlrContrast", "Contrast", "Contrast used in the image.", 2}}) {
        const GenApi::CFloatPtr f = camera->node<GenApi::CFloatPtr>(c.name);
        EXPECT_EQ(f->GetNode()->GetDisplayName(), c.displayName);
        EXPECT_EQ(f->GetNode()->GetToolTip(), c.toolTip);
        EXPECT_EQ(f->GetDisplayPrecision(), c.precision) << c.name;
        EXPECT_EQ(f->GetDisplayNotation(), GenApi::fnFixed) << c.name;
        EXPECT_TRUE(f->GetNode()->IsStreamable()) << c.name;
        // The event manager knows its own nodes by this ending.
        const std::string text = f->GetNode()->GetDescription().c_str();
        ASSERT_GE(text.size(), 4u);
        EXPECT_EQ(text.substr(text.size() - 4), ".   ") << c.name;
    }
    const GenApi::CEnumerationPtr mode = camera->node<GenApi::CEnumerationPtr>("VlrContrastMode");
    EXPECT_EQ(mode->GetNode()->GetDisplayName(), "Contrast Mode");
    EXPECT_EQ(mode->GetNode()->GetDescription(), "Sets the contrast mode.   ");
    const GenApi::CEnumEntryPtr sCurve = mode->GetEntryByName("SCurve");
    ASSERT_TRUE(sCurve);
    EXPECT_EQ(sCurve->GetValue(), 1);
    EXPECT_EQ(sCurve->GetNode()->GetDisplayName(), "S-Curve");
    mode->FromString("SCurve");
    EXPECT_EQ(mode->GetIntValue(), 1);
}

TEST_F(MergedFeaturesTest, HuvaneCategoryJoinsTheCameraRoot)
{
    const GenApi::CCategoryPtr huvane = camera->node<GenApi::CCategoryPtr>("Huvane");
    GenApi::FeatureList_t features;
    huvane->GetFeatures(features);
    std::vector<std::string> names;
    for (GenApi::IValue* v : features)
        names.push_back(v->GetNode()->GetName().c_str());
    EXPECT_EQ(names,
              (std::vector<std::string>{"VlrHue", "VlrSaturation", "VlrBrightness", "VlrContrast", "VlrContrastMode"}));

    const GenApi::CCategoryPtr root = camera->node<GenApi::CCategoryPtr>("Root");
    GenApi::FeatureList_t top;
    root->GetFeatures(top);
    std::vector<std::string> topNames;
    for (GenApi::IValue* v : top)
        topNames.push_back(v->GetNode()->GetName().c_str());
    EXPECT_NE(std::find(topNames.begin(), topNames.end(), "ImageFormatControl"), topNames.end());
    EXPECT_NE(std::find(topNames.begin(), topNames.end(), "Huvane"), topNames.end());
}
