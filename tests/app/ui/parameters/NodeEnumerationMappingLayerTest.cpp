// The mapping layer's boolean and float wrappers over a small node map.
#include "NodeEnumerationMappingLayer.h"
#include "ParameterTestNodeMaps.h"

#include <gtest/gtest.h>

using namespace GenApi;
using namespace parametertest;
using TesvarNodeTools::CNodeEnumerationMappingLayer;

namespace {
const char* const kHue = R"(<Integer Name="VlrHue"><ToolTip>Hue </ToolTip><Value>5</Value><Min>-180</Min>
    <Max>180</Max><Inc>1</Inc><Unit>deg</Unit><pAlias>HueAliasTarget</pAlias></Integer>
    <Integer Name="HueAliasTarget"><Value>0</Value></Integer>)";
}

TEST(NodeEnumerationMappingLayerTest, missingFeaturesAreTheRealMapsAnswerAndOtherNamesPassThrough)
{
    NodeMapPtr map = load("<Integer Name=\"Width\"><Value>64</Value></Integer>");
    CNodeEnumerationMappingLayer layer(map.get());
    EXPECT_EQ(layer.GetNode("GainAuto"), nullptr);
    EXPECT_EQ(layer.GetNode("VlrHue"), nullptr);
    EXPECT_EQ(layer.GetNode("Width"), map->GetNode("Width"));
    EXPECT_EQ(layer.GetNode("width"), nullptr);
    EXPECT_EQ(layer.GetNodeMap(), map.get());
    // Code that holds the layer as a node map reaches the real one through the provider interface.
    GenApi::INodeMap* asNodeMap = &layer;
    auto* provider = dynamic_cast<Nimbo::INodeMapProvider*>(asNodeMap);
    ASSERT_NE(provider, nullptr);
    EXPECT_EQ(provider->GetNodeMap(), map.get());
    EXPECT_EQ(layer.GetNumNodes(), map->GetNumNodes());
    EXPECT_EQ(layer.GetDeviceName(), map->GetDeviceName());
}

TEST(NodeEnumerationMappingLayerTest, autoEnumerationsReadAndWriteAsBooleans)
{
    NodeMapPtr map = load(autoEnumeration("ExposureAuto", "1") + autoEnumeration("GainAuto", "0"));
    CNodeEnumerationMappingLayer layer(map.get());
    CEnumerationPtr real = map->GetNode("ExposureAuto");
    INode* node = layer.GetNode("ExposureAuto");
    ASSERT_NE(node, nullptr);
    ASSERT_NE(node, map->GetNode("ExposureAuto"));
    CBooleanPtr boolean = node;
    ASSERT_TRUE(boolean.IsValid());
    EXPECT_EQ(dynamic_cast<IEnumeration*>(node), nullptr);

    // "Once" reads as checked.
    EXPECT_TRUE(boolean->GetValue());
    EXPECT_EQ(boolean->ToString(), "True");
    boolean->SetValue(false);
    EXPECT_EQ(real->ToString(), "Off");
    EXPECT_FALSE((*boolean)());
    EXPECT_EQ(boolean->ToString(), "False");
    *boolean = true;
    EXPECT_EQ(real->ToString(), "Continuous");
    boolean->FromString("False");
    EXPECT_EQ(real->ToString(), "Off");
    // A text that is not a boolean changes nothing and throws nothing.
    EXPECT_NO_THROW(boolean->FromString("Continuous"));
    EXPECT_EQ(real->ToString(), "Off");

    // An unmapped entry reads false and shows its own symbol.
    real->FromString("Periodic");
    EXPECT_FALSE(boolean->GetValue());
    EXPECT_EQ(boolean->ToString(), "Periodic");

    // The node face is the real node's, the value's node is the wrapper.
    EXPECT_EQ(node->GetName(), "ExposureAuto");
    EXPECT_EQ(node->GetAccessMode(), real->GetAccessMode());
    EXPECT_EQ(node->GetVisibility(), real->GetNode()->GetVisibility());
    EXPECT_EQ(node->GetPrincipalInterfaceType(), intfIEnumeration);
    EXPECT_EQ(boolean->GetNode(), node);
    EXPECT_TRUE(layer.GetNode("GainAuto") != nullptr);
}

TEST(NodeEnumerationMappingLayerTest, callbackRegisteredOnTheWrapperFiresForTheRealNodeWithTheWrapper)
{
    NodeMapPtr map = load(autoEnumeration("GainAuto", "0"));
    CNodeEnumerationMappingLayer layer(map.get());
    INode* wrapper = layer.GetNode("GainAuto");
    Counter counter;
    CallbackHandleType handle = Register(wrapper, counter, &Counter::onChange);
    ASSERT_NE(handle, 0);
    CEnumerationPtr(map->GetNode("GainAuto"))->FromString("Continuous");
    EXPECT_GE(counter.calls, 1);
    EXPECT_EQ(counter.last, wrapper);
    EXPECT_TRUE(Deregister(handle));
    counter.calls = 0;
    CEnumerationPtr(map->GetNode("GainAuto"))->FromString("Off");
    EXPECT_EQ(counter.calls, 0);
}

TEST(NodeEnumerationMappingLayerTest, autoFeatureThatIsNoEnumerationIsHandedOutUnwrapped)
{
    NodeMapPtr map = load("<Boolean Name=\"GainAuto\"><Value>true</Value></Boolean>");
    CNodeEnumerationMappingLayer layer(map.get());
    EXPECT_EQ(layer.GetNode("GainAuto"), map->GetNode("GainAuto"));
}

TEST(NodeEnumerationMappingLayerTest, integerHueReadsAsFloatAndWritesTruncatedTowardZero)
{
    NodeMapPtr map = load(kHue);
    CNodeEnumerationMappingLayer layer(map.get());
    CIntegerPtr real = map->GetNode("VlrHue");
    INode* node = layer.GetNode("VlrHue");
    ASSERT_NE(node, map->GetNode("VlrHue"));
    CFloatPtr hue = node;
    ASSERT_TRUE(hue.IsValid());

    EXPECT_DOUBLE_EQ(hue->GetMin(), -180.0);
    EXPECT_DOUBLE_EQ(hue->GetMax(), 180.0);
    EXPECT_FALSE(hue->HasInc());
    EXPECT_DOUBLE_EQ(hue->GetInc(), 1.0);
    EXPECT_EQ(hue->GetDisplayPrecision(), 0);
    EXPECT_EQ(hue->GetDisplayNotation(), fnFixed);
    EXPECT_EQ(hue->GetUnit(), "deg");
    EXPECT_DOUBLE_EQ(hue->GetValue(), 5.0);
    EXPECT_EQ(hue->GetNode(), node);

    const struct {
        double written;
        int64_t stored;
    } cases[] = {{12.9, 12}, {-12.9, -12}, {0.5, 0}, {-0.5, 0}, {180.0, 180}, {-180.0, -180}};
    for (const auto& c : cases) {
        hue->SetValue(c.written);
        EXPECT_EQ(real->GetValue(), c.stored) << c.written;
        EXPECT_DOUBLE_EQ((*hue)(), static_cast<double>(c.stored));
    }
    *hue = 33.7;
    EXPECT_EQ(real->GetValue(), 33);
    // Out of range is still the integer's business.
    EXPECT_THROW(hue->SetValue(181.5), GenICam::OutOfRangeException);

    // The alias is the integer node itself, not the declared one; the rest of the node face is real.
    EXPECT_EQ(node->GetAlias(), map->GetNode("VlrHue"));
    EXPECT_EQ(node->GetCastAlias(), map->GetNode("VlrHue"));
    EXPECT_EQ(node->GetToolTip(), "Hue ");
    EXPECT_EQ(node->GetAccessMode(), real->GetAccessMode());
}

TEST(NodeEnumerationMappingLayerTest, floatHueIsTheRealNode)
{
    NodeMapPtr map = load("<Float Name=\"VlrHue\"><Value>1.5</Value></Float>"
                          "<Integer Name=\"VlrHueValue\"><Value>3</Value></Integer>");
    CNodeEnumerationMappingLayer layer(map.get());
    EXPECT_EQ(layer.GetNode("VlrHue"), map->GetNode("VlrHue"));
    EXPECT_NE(layer.GetNode("VlrHueValue"), map->GetNode("VlrHueValue"));
    NodeList_t nodes;
    layer.GetNodes(nodes);
    for (INode* n : nodes)
        EXPECT_NE(n, layer.GetNode("VlrHueValue"));
}
