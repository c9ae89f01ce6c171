// A description of a real camera's size, with the faults real ones carry: it loads, the faulty nodes are
// logged by name and left out, and every feature of every kind works through the port.
#include "CameraDescription.h"
#include "GenApiFixtures.h"

#include <gtest/gtest.h>
#include <testsupport/LogCapture.h>

using namespace GenApi;
using namespace genapitest;

namespace {
struct LoadedCamera {
    LoadedCamera() : description(cameraDescription()), port(static_cast<size_t>(description.portSize))
    {
        map = NodeMapPtr(CreateNodeMap(description.xml.c_str(), {}, "RealisticCam"));
        map->Connect(&port);
    }
    testsupport::LogCapture log; // before the map: it sees the loading
    CameraDescription description;
    MemoryPort port;
    NodeMapPtr map;
};
} // namespace

TEST(CameraDescriptionTest, ARealSizedDescriptionLoadsWithoutItsFaultyNodes)
{
    LoadedCamera camera;
    EXPECT_GT(camera.description.xml.size(), 300u * 1024u);
    NodeList_t nodes;
    camera.map->GetNodes(nodes);
    int features = 0;
    for (INode* n : nodes)
        features += n->IsFeature() ? 1 : 0;
    EXPECT_GT(features, 1000);

    for (const std::string& name : camera.description.broken) {
        EXPECT_EQ(camera.map->GetNode(name.c_str()), nullptr) << name;
        EXPECT_TRUE(camera.log.contains("Node '" + name + "'")) << name << "\n" << dump(camera.log);
    }
    EXPECT_TRUE(camera.log.contains("Node 'BrokenUser': pValue refers to the node 'BrokenLink', which is left out"));
    // A register without pPort reads through the port "Device"; an unknown access mode reads as RO.
    for (const std::string& name : camera.description.loose) {
        CIntegerPtr loose = camera.map->GetNode(name.c_str());
        ASSERT_TRUE(loose.IsValid()) << name << "\n" << dump(camera.log);
        EXPECT_EQ(loose->GetAccessMode(), RO) << name;
        EXPECT_EQ(loose->GetValue(), 0) << name;
        EXPECT_TRUE(camera.log.contains("Node '" + name + "'")) << name << "\n" << dump(camera.log);
    }
    EXPECT_TRUE(camera.log.contains("<ConfRom>"));
    EXPECT_TRUE(camera.log.contains("has no Name"));
    // The category of the faulty nodes stays, with the loaded ones only.
    FeatureList_t faultyFeatures;
    CCategoryPtr(camera.map->GetNode("BrokenControl"))->GetFeatures(faultyFeatures);
    std::vector<std::string> names;
    for (IValue* feature : faultyFeatures)
        names.push_back(feature->GetNode()->GetName().c_str());
    EXPECT_EQ(names, camera.description.loose);
}

TEST(CameraDescriptionTest, EveryFeatureOfEveryFamilyWorksThroughThePort)
{
    LoadedCamera camera;
    INodeMap& map = *camera.map;
    int checked = 0;
    for (const std::string& area : familyAreas()) {
        for (int i = 0; i < camera.description.families / static_cast<int>(familyAreas().size()); ++i) {
            const std::string n = area + std::to_string(i);
            SCOPED_TRACE(n);
            CIntegerPtr param = map.GetNode(("Param" + n).c_str());
            ASSERT_TRUE(param.IsValid());
            EXPECT_EQ(param->GetAccessMode(), RW);
            const int64_t value = param->GetInc() == 4 ? 200 : 201;
            param->SetValue(value);
            EXPECT_EQ(param->GetValue(), value);

            CFloatPtr level = map.GetNode(("Level" + n).c_str());
            level->SetValue(-3.5);
            EXPECT_DOUBLE_EQ(level->GetValue(), -3.5);
            EXPECT_EQ(level->ToString(), "-3.50");

            CEnumerationPtr mode = map.GetNode(("Mode" + n).c_str());
            StringList_t symbols;
            mode->GetSymbolics(symbols);
            EXPECT_EQ(symbols.size(), 4u); // Param >= 100 makes Manual available
            *mode = "Manual";
            EXPECT_EQ(mode->ToString(), "Manual");
            CEnumEntryPtr once = map.GetNode(("EnumEntry_Mode" + n + "_Once").c_str());
            ASSERT_TRUE(once.IsValid());
            EXPECT_EQ(once->GetNode()->GetDisplayName(), "Once only");
            EXPECT_EQ(map.GetNode(("EnumEntry_Mode" + n + "_Off").c_str())->GetDisplayName(), "Off");

            CIntegerPtr flagB = map.GetNode(("Flag" + n + "B").c_str());
            CIntegerPtr flagC = map.GetNode(("Flag" + n + "C").c_str());
            CIntegerPtr flagD = map.GetNode(("Flag" + n + "D").c_str());
            ASSERT_TRUE(flagB.IsValid() && flagC.IsValid() && flagD.IsValid());
            EXPECT_EQ(flagC->GetMax(), 15);
            EXPECT_EQ(flagD->GetMin(), -32768);
            flagB->SetValue(1);
            flagC->SetValue(9);
            flagD->SetValue(-2);
            EXPECT_EQ(flagB->GetValue(), 1);
            EXPECT_EQ(flagC->GetValue(), 9);
            EXPECT_EQ(flagD->GetValue(), -2);
            EXPECT_EQ(CIntegerPtr(map.GetNode(("Flag" + n + "A").c_str()))->GetValue(), 0);

            CStringPtr label = map.GetNode(("Label" + n).c_str());
            label->SetValue(("L " + n).c_str());
            EXPECT_EQ(label->GetValue(), ("L " + n).c_str());

            CBooleanPtr enable = map.GetNode(("Enable" + n).c_str());
            enable->SetValue(true);
            EXPECT_TRUE(enable->GetValue());

            CCommandPtr reset = map.GetNode(("Reset" + n).c_str());
            reset->Execute();
            EXPECT_FALSE(reset->IsDone()); // the memory does not clear the command bit as a camera would
            ++checked;
        }
    }
    EXPECT_EQ(checked, camera.description.families);
}
