// The bandwidth cap editors on small node maps whose throughput follows the inter-packet delay.
#include <orbelt/BandwidthLimiterInterPacketDelay.h>
#include <orbelt/DeviceLinkThroughputLimitEditor.h>

#include <GenApi/GenApi.h>

#include <QCoreApplication>
#include <QSlider>

#include <testsupport/Wait.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace {

using NodeMapPtr = std::unique_ptr<GenApi::INodeMap, void (*)(GenApi::INodeMap*)>;

NodeMapPtr nodeMap(const std::string& features)
{
    const std::string xml = R"(<?xml version="1.0" encoding="utf-8"?>
<RegisterDescription ModelName="M" VendorName="T" StandardNameSpace="None" SchemaMajorVersion="1"
  SchemaMinorVersion="1" SchemaSubMinorVersion="0" MajorVersion="1" MinorVersion="0" SubMinorVersion="0">)" +
                            features + "</RegisterDescription>";
    return NodeMapPtr(GenApi::CreateNodeMap(xml.c_str(), GenICam::gcstring_vector(), "Test"), GenApi::DestroyNodeMap);
}

// GigE: 100 MB/s at no delay, 10,000 bytes/s less per tick, none at the maximum delay.
std::string gige(const std::string& throughputFormula, int delay)
{
    return "<Integer Name=\"GevSCPD\"><Value>" + std::to_string(delay) +
           "</Value><Min>0</Min><Max>10000</Max></Integer>"
           "<IntSwissKnife Name=\"GevSCDCT\"><pVariable Name=\"D\">GevSCPD</pVariable><Formula>" +
           throughputFormula + "</Formula></IntSwissKnife>";
}

// The limit starts at its maximum unless a value is given.
std::string usb(long long min, long long max, long long inc, long long value = -1)
{
    return "<Integer Name=\"DeviceLinkSelector\"><Value>0</Value><Min>0</Min><Max>0</Max></Integer>"
           "<Enumeration Name=\"DeviceLinkThroughputLimitMode\"><EnumEntry Name=\"Off\"><Value>0</Value></EnumEntry>"
           "<EnumEntry Name=\"On\"><Value>1</Value></EnumEntry><Value>0</Value></Enumeration>"
           "<Integer Name=\"DeviceLinkThroughputLimit\"><Value>" +
           std::to_string(value < 0 ? max : value) + "</Value><Min>" + std::to_string(min) + "</Min><Max>" +
           std::to_string(max) + "</Max><Inc>" + std::to_string(inc) + "</Inc></Integer>";
}

// Counts the writes of a node.
struct WriteCounter {
    int writes = 0;
    void onChange(GenApi::INode*) { ++writes; }
};

TEST(BandwidthLimiterInterPacketDelayTest, BisectsTheDelayTowardsTheRequestedRate)
{
    NodeMapPtr map = nodeMap(gige("100000000-D*10000", 5000));
    ASSERT_TRUE(map);
    ASSERT_TRUE(BandwidthLimiterInterPacketDelay::isSupported(map.get()));
    BandwidthLimiterInterPacketDelay editor(map.get());
    EXPECT_EQ(editor.value(), 50);

    GenApi::CIntegerPtr delay(map->GetNode("GevSCPD"));
    WriteCounter counter;
    const auto handle = GenApi::Register(delay->GetNode(), counter, &WriteCounter::onChange);

    // Already there: nothing is written.
    editor.setValue(50);
    EXPECT_EQ(counter.writes, 0);
    EXPECT_EQ(delay->GetValue(), 5000);

    // Half the rate: between the current delay and the maximum, then the probe's two writes.
    editor.setValue(25);
    EXPECT_EQ(delay->GetValue(), 7500);
    EXPECT_EQ(editor.value(), 25);
    EXPECT_LE(counter.writes, 32 + 2);

    // An odd rate needs several rounds and ends close to it.
    editor.slider()->setValue(37);
    EXPECT_EQ(editor.value(), 37);
    EXPECT_NEAR(GenApi::CIntegerPtr(map->GetNode("GevSCDCT"))->GetValue(), 37000000, 500000);
    GenApi::Deregister(handle);
}

TEST(BandwidthLimiterInterPacketDelayTest, DelayWithoutEffectEndsAtItsMinimum)
{
    NodeMapPtr map = nodeMap(gige("80000000+D*0", 300));
    ASSERT_TRUE(map);
    BandwidthLimiterInterPacketDelay editor(map.get());
    EXPECT_EQ(editor.value(), 80);
    editor.setValue(25);
    EXPECT_EQ(GenApi::CIntegerPtr(map->GetNode("GevSCPD"))->GetValue(), 0);
    EXPECT_EQ(editor.value(), 80);
}

TEST(BandwidthLimiterInterPacketDelayTest, WithoutNodesTheEditorIsInert)
{
    NodeMapPtr map = nodeMap("<Integer Name=\"Other\"><Value>1</Value></Integer>");
    ASSERT_TRUE(map);
    EXPECT_FALSE(BandwidthLimiterInterPacketDelay::isSupported(map.get()));
    EXPECT_FALSE(BandwidthLimiterInterPacketDelay::isSupported(nullptr));
    BandwidthLimiterInterPacketDelay editor(map.get());
    EXPECT_EQ(editor.value(), 112);
    editor.setValue(30);
    EXPECT_EQ(editor.value(), 30);
    BandwidthLimiterInterPacketDelay detached(nullptr);
    detached.setValue(20);
    EXPECT_EQ(detached.value(), 20);
}

TEST(DeviceLinkThroughputLimitEditorTest, SliderFollowsTheLimitNodeAndWritesOnItsGrid)
{
    struct Case {
        long long min, max, inc;
        int sliderMin, sliderMax, chosen;
        long long written;
    };
    const Case cases[] = {
        {8000000, 400000000, 1, 8, 400, 123, 123000000},
        {8001000, 400000000, 4000, 8, 400, 123, 122997000},
        // The slider's own limits keep a choice within the node's; the node's minimum wins below it.
        {8600000, 400000000, 1, 9, 400, 9, 9000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inc);
        NodeMapPtr map = nodeMap(usb(c.min, c.max, c.inc));
        ASSERT_TRUE(map);
        ASSERT_TRUE(DeviceLinkThroughputLimitEditor::isSupported(map.get()));
        DeviceLinkThroughputLimitEditor editor(map.get());
        EXPECT_EQ(editor.minimum(), c.sliderMin);
        EXPECT_EQ(editor.maximum(), c.sliderMax);
        EXPECT_EQ(editor.value(), c.sliderMax);
        editor.slider()->setValue(c.chosen);
        GenApi::CIntegerPtr limit(map->GetNode("DeviceLinkThroughputLimit"));
        EXPECT_EQ(limit->GetValue(), c.written);
        EXPECT_EQ(editor.currentValue(), static_cast<int64_t>(editor.value()) * 1000000);
    }
}

TEST(DeviceLinkThroughputLimitEditorTest, ChangeFromAnotherThreadIsShownOnTheGuiThread)
{
    NodeMapPtr map = nodeMap(usb(8000000, 400000000, 1));
    ASSERT_TRUE(map);
    DeviceLinkThroughputLimitEditor editor(map.get());
    ASSERT_EQ(editor.value(), 400);
    GenApi::CIntegerPtr limit(map->GetNode("DeviceLinkThroughputLimit"));
    int shownInWriter = 0;
    std::thread writer([&] {
        limit->SetValue(200000000);
        shownInWriter = editor.value();
    });
    writer.join();
    EXPECT_EQ(shownInWriter, 400) << "the slider was set from the writing thread";
    EXPECT_TRUE(testsupport::waitFor([&] { return editor.value() == 200; }));
    EXPECT_EQ(limit->GetValue(), 200000000) << "showing the change wrote nothing back";
}

TEST(DeviceLinkThroughputLimitEditorTest, LocksTheModeOnWhileItLives)
{
    NodeMapPtr map = nodeMap(usb(8000000, 400000000, 1));
    ASSERT_TRUE(map);
    GenApi::CEnumerationPtr mode(map->GetNode("DeviceLinkThroughputLimitMode"));
    {
        DeviceLinkThroughputLimitEditor editor(map.get());
        EXPECT_EQ(mode->GetIntValue(), 1);
        EXPECT_FALSE(GenApi::IsWritable(mode.operator->()));
        // A change made elsewhere reaches the slider.
        GenApi::CIntegerPtr(map->GetNode("DeviceLinkThroughputLimit"))->SetValue(200000000);
        EXPECT_EQ(editor.value(), 200);
    }
    EXPECT_TRUE(GenApi::IsWritable(mode.operator->()));
    EXPECT_EQ(mode->GetIntValue(), 1);
}

TEST(DeviceLinkThroughputLimitEditorTest, RangeBeyond32BitsLeavesTheSliderAlone)
{
    // Only the maximum lies beyond 32 bits; the value would fit.
    NodeMapPtr map = nodeMap(usb(8000000, 5000000000LL, 1, 200000000));
    ASSERT_TRUE(map);
    DeviceLinkThroughputLimitEditor editor(map.get());
    // Untouched: the range of a slider that never saw the node, not one cut from a maximum beyond 32 bits.
    const ComboSlider untouched;
    EXPECT_EQ(editor.minimum(), untouched.minimum());
    EXPECT_EQ(editor.maximum(), untouched.maximum());
    EXPECT_EQ(editor.value(), untouched.value());
    EXPECT_NO_THROW(editor.onValueChanged(100));
    EXPECT_EQ(GenApi::CIntegerPtr(map->GetNode("DeviceLinkThroughputLimit"))->GetValue(), 100000000);
}

TEST(DeviceLinkThroughputLimitEditorTest, NodeMapDestroyedBeforeTheEditor)
{
    auto editor = [] {
        NodeMapPtr map = nodeMap(usb(8000000, 400000000, 1));
        return std::make_unique<DeviceLinkThroughputLimitEditor>(map.get());
    }();
    // The node pointers emptied themselves: using the editor throws nothing and writes nowhere.
    EXPECT_NO_THROW(editor->slider()->setValue(100));
    editor.reset();
}

// Another thread changes the limit all the time while editors come and go on the GUI thread: its notices
// run outside the node map's lock, so an editor's going does not wait for them, and none may reach, or
// post itself to, an editor that has gone.
TEST(DeviceLinkThroughputLimitEditorTest, EditorsGoWhileAnotherThreadChangesTheLimit)
{
    NodeMapPtr map = nodeMap(usb(1000000, 400000000, 1000000));
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        GenApi::CIntegerPtr limit(map->GetNode("DeviceLinkThroughputLimit"));
        long long v = 1;
        while (!stop) {
            v = v % 399 + 1;
            try {
                limit->SetValue(v * 1000000);
            } catch (...) {
            }
        }
    });
    for (int i = 0; i < 500; ++i) {
        auto* editor = new DeviceLinkThroughputLimitEditor(map.get());
        QCoreApplication::processEvents();
        delete editor;
    }
    stop = true;
    writer.join();
    QCoreApplication::processEvents();
}

} // namespace
