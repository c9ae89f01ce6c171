// The node-bound slider and string controls.
#include "NodeMapFixture.h"
#include "QtPrinters.h"

#include "orbelt/ControlHelper.h"
#include "orbelt/IntSliderControl.h"
#include "orbelt/SpinBox.h"
#include "orbelt/StringControl.h"

#include <testsupport/LogCapture.h>

#include <QSlider>

#include <gtest/gtest.h>

#include <functional>

using namespace GenApi;
using orbelttest::makeNodeMap;

namespace {
const char* kNodes = R"(
  <Integer Name="Offset"><Value>8</Value><Min>0</Min><Max>64</Max><Inc>4</Inc></Integer>
  <Integer Name="Huge"><Value>5000000000</Value><Min>0</Min><Max>9000000000</Max><Inc>1</Inc></Integer>
  <String Name="Text"><Value>camera one</Value></String>
)";
} // namespace

class NodeControlsTest : public ::testing::Test {
protected:
    INode* node(const char* name) { return map->GetNode(name); }
    orbelttest::NodeMapPtr map = makeNodeMap(kNodes);
};

TEST_F(NodeControlsTest, IntSliderControlShowsTheNodeAndWritesSliderMoves)
{
    NimboQt::IntSliderControl control;
    NimboQt::ControlHelper helper;
    QObject::connect(&helper, &NimboQt::ControlHelper::nodeUpdated, &control, &NimboQt::IntSliderControl::updateWidget);
    control.setNode(node("Offset"));
    EXPECT_EQ(control.minimum(), 0);
    EXPECT_EQ(control.maximum(), 64);
    EXPECT_EQ(control.singleStep(), 4);
    EXPECT_EQ(control.value(), 8);
    EXPECT_TRUE(control.isEnabled());

    control.slider()->setValue(30); // snapped to 28 and written
    EXPECT_EQ(CIntegerPtr(node("Offset"))->GetValue(), 28);

    CIntegerPtr(node("Offset"))->SetValue(40);
    emit helper.nodeUpdated();
    EXPECT_EQ(control.value(), 40);

    node("Offset")->ImposeAccessMode(RO);
    emit helper.nodeUpdated();
    EXPECT_FALSE(control.isEnabled());
}

TEST_F(NodeControlsTest, IntSliderControlClampsSixtyFourBitValues)
{
    NimboQt::IntSliderControl control;
    control.setNode(node("Huge"));
    EXPECT_EQ(control.maximum(), 2147483647);
    EXPECT_EQ(control.value(), 2147483647);
}

TEST_F(NodeControlsTest, IntSliderControlWithoutANodeLogsTwoLines)
{
    testsupport::LogCapture log;
    NimboQt::IntSliderControl control;
    control.updateWidget();
    EXPECT_TRUE(log.contains("Failed to update the integer value editor"));
    EXPECT_TRUE(log.contains("NimboQt::IntSliderControl::updateWidget: Exception occurred:"));
}

TEST_F(NodeControlsTest, StringControlReadsAndWritesTheNode)
{
    NimboQt::StringControl control;
    control.setNode(node("Text"));
    EXPECT_EQ(control.text(), QStringLiteral("camera one"));
    EXPECT_FALSE(control.isReadOnly());
    control.setText(QStringLiteral("caf\u00e9"));
    control.updateNode();
    EXPECT_EQ(std::string(CStringPtr(node("Text"))->GetValue().c_str()), std::string("caf\xe9"));

    node("Text")->ImposeAccessMode(RO);
    control.updateWidget();
    EXPECT_TRUE(control.isReadOnly());
}

// A write the node refuses is reported with the control's step and what it tried, and the control lives on.
TEST_F(NodeControlsTest, RefusedWritesAreReportedWithTheControlsStep)
{
    NimboQt::IntSliderControl slider; // no node yet: the write has nothing to go to
    NimboQt::StringControl line;
    line.setNode(node("Offset"));
    line.setText(QStringLiteral("not a number"));
    struct Case {
        const char* line; // the log line's context and message
        std::function<void()> write;
    };
    const Case cases[] = {
        {"NimboQt::IntSliderControl::setNodeValue : Error : Failed to set integer value",
         [&] { slider.setNodeValue(12); }},
        {"NimboQt::StringControl::updateNode : Error : Failed to set value", [&] { line.updateNode(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        testsupport::LogCapture log;
        c.write();
        EXPECT_TRUE(log.contains(c.line)) << log.messages().size();
    }
    EXPECT_EQ(CIntegerPtr(node("Offset"))->GetValue(), 8);
}
