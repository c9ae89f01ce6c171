// Broken descriptions: each gives a RuntimeException that names the problem, and nothing crashes.
#include "Descriptions.h"
#include "GenApiFixtures.h"

#include <gtest/gtest.h>
#include <testsupport/LogCapture.h>

#include <random>

using namespace GenApi;
using namespace genapitest;

namespace {
std::string expectRuntimeError(const std::string& text)
{
    try {
        INodeMap* map = CreateNodeMap(text.c_str(), {}, "Cam");
        DestroyNodeMap(map);
    } catch (const GenICam::RuntimeException& e) {
        return e.GetDescription();
    }
    return "<accepted>";
}
} // namespace

TEST(LoadErrorTest, TextThatIsNoDescriptionIsRefused)
{
    const struct {
        const char* what;
        std::string text;
        const char* fragment;
    } cases[] = {
        {"empty", "", "empty"},
        {"not XML", "hello", "not well-formed"},
        {"unclosed", "<RegisterDescription><Integer Name=\"A\">", "not well-formed"},
        {"wrong root", "<Foo/>", "<Foo>"},
    };
    for (const auto& c : cases) {
        const std::string message = expectRuntimeError(c.text);
        EXPECT_NE(message.find(c.fragment), std::string::npos) << c.what << ": " << message;
    }
    // A broken injected description is named as such.
    try {
        CreateNodeMap(describe("<Integer Name=\"A\"/>").c_str(), {"<RegisterDescription>"}, "Cam");
        ADD_FAILURE();
    } catch (const GenICam::RuntimeException& e) {
        EXPECT_NE(std::string(e.GetDescription()).find("Injected GenICam description 1"), std::string::npos);
    }
}

// Real cameras ship imperfect descriptions: a node that cannot be used is logged by name and left out,
// the rest of the description loads and works.
TEST(LoadErrorTest, ABrokenNodeIsLoggedAndLeftOutAndTheRestLoads)
{
    auto nestedGroups = [](int depth) {
        std::string g;
        for (int i = 0; i < depth; ++i)
            g += "<Group>";
        g += "<Integer Name=\"A\"/>";
        for (int i = 0; i < depth; ++i)
            g += "</Group>";
        return g;
    };
    const struct {
        const char* what;
        std::string nodes;
        const char* logged;
    } cases[] = {
        {"nameless node", "<Integer><Value>1</Value></Integer>", "has no Name"},
        {"unknown link", "<Integer Name=\"A\"><pValue>B</pValue></Integer>", "Node 'A': pValue refers to the unknown node 'B'"},
        {"bad number", "<Integer Name=\"A\"><Value>one</Value></Integer>", "Node 'A': Value 'one' is not an integer"},
        {"bad float", "<Float Name=\"A\"><Value>1.2.3</Value></Float>", "not a number"},
        {"register without port", "<IntReg Name=\"A\"><Address>0</Address><Length>4</Length></IntReg>",
         "Node 'A' (IntReg) has no pPort"},
        {"converter without formula",
         "<Integer Name=\"I\"/><Converter Name=\"A\"><pValue>I</pValue><FormulaFrom>TO</FormulaFrom></Converter>",
         "Node 'A' (Converter) has no FormulaTo"},
        {"unknown variable", "<SwissKnife Name=\"A\"><Formula>X+1</Formula></SwissKnife>", "unknown variable 'X'"},
        {"integer register too long",
         "<Port Name=\"P\"/><IntReg Name=\"A\"><Address>0</Address><Length>9</Length><pPort>P</pPort></IntReg>",
         "1 to 8 bytes"},
        {"groups nested too deep", nestedGroups(40), "nested more than 32 deep"},
        {"pPort not a port",
         "<Integer Name=\"P\"/><IntReg Name=\"A\"><Address>0</Address><Length>4</Length><pPort>P</pPort></IntReg>",
         "is not a Port"},
        {"unknown access mode",
         "<Port Name=\"P\"/><IntReg Name=\"A\"><Address>0</Address><Length>4</Length><AccessMode>Sometimes</AccessMode>"
         "<pPort>P</pPort></IntReg>",
         "Node 'A': unknown AccessMode 'Sometimes'"},
        {"register node without port", "<Register Name=\"A\"><Address>0</Address><Length>4</Length></Register>",
         "Node 'A' (Register) has no pPort"},
        {"nameless enumeration entry",
         "<Enumeration Name=\"E\"><EnumEntry><Value>1</Value></EnumEntry><Value>1</Value></Enumeration>",
         "an EnumEntry of 'E' has no Name"},
    };
    for (const auto& c : cases) {
        testsupport::LogCapture log;
        auto map = load("<Category Name=\"Root\"><pFeature>Good</pFeature><pFeature>A</pFeature></Category>"
                        "<Integer Name=\"Good\"><Value>7</Value></Integer>" +
                        c.nodes);
        EXPECT_EQ(map->GetNode("A"), nullptr) << c.what;
        EXPECT_TRUE(log.contains(c.logged)) << c.what << ": " << dump(log);
        CIntegerPtr good = map->GetNode("Good");
        ASSERT_TRUE(good.IsValid()) << c.what;
        good->SetValue(8);
        EXPECT_EQ(good->GetValue(), 8) << c.what;
        // The category keeps its other features.
        FeatureList_t features;
        CCategoryPtr(map->GetNode("Root"))->GetFeatures(features);
        ASSERT_EQ(features.size(), 1u) << c.what;
        EXPECT_EQ(features[0]->GetNode()->GetName(), "Good");
    }
}

TEST(LoadErrorTest, NodesThatNeedALeftOutNodeFollowItOut)
{
    testsupport::LogCapture log;
    auto map = load("<IntReg Name=\"Raw\"><Address>0</Address><Length>4</Length></IntReg>"
                    "<Converter Name=\"Gain\"><pValue>Raw</pValue><FormulaTo>FROM</FormulaTo><FormulaFrom>TO</FormulaFrom>"
                    "</Converter>"
                    "<Integer Name=\"Limit\"><Value>4</Value><pMax>Gain</pMax></Integer>"
                    "<Integer Name=\"Other\"><Value>5</Value><pInvalidator>Raw</pInvalidator></Integer>"
                    "<Enumeration Name=\"E\"><EnumEntry Name=\"On\"><Value>1</Value><pIsAvailable>Raw</pIsAvailable>"
                    "</EnumEntry><EnumEntry Name=\"Off\"><Value>0</Value></EnumEntry><Value>0</Value></Enumeration>");
    EXPECT_EQ(map->GetNode("Raw"), nullptr);
    EXPECT_EQ(map->GetNode("Gain"), nullptr);
    EXPECT_EQ(map->GetNode("Limit"), nullptr);
    EXPECT_TRUE(log.contains("Node 'Gain': pValue refers to the node 'Raw', which is left out")) << dump(log);
    // A missing invalidator or enumeration entry costs only that link.
    EXPECT_EQ(CIntegerPtr(map->GetNode("Other"))->GetValue(), 5);
    CEnumerationPtr e = map->GetNode("E");
    ASSERT_TRUE(e.IsValid());
    StringList_t symbols;
    e->GetSymbolics(symbols);
    ASSERT_EQ(symbols.size(), 1u);
    EXPECT_EQ(symbols[0], "Off");
}

TEST(LoadErrorTest, AnUnknownVisibilityIsLoggedAndTheNodeStaysABeginnerOne)
{
    testsupport::LogCapture log;
    auto map = load("<Integer Name=\"A\"><Visibility>Everyone</Visibility></Integer>");
    ASSERT_NE(map->GetNode("A"), nullptr);
    EXPECT_EQ(map->GetNode("A")->GetVisibility(), Beginner);
    EXPECT_TRUE(log.contains("Node 'A': unknown Visibility 'Everyone'")) << dump(log);
}

TEST(LoadErrorTest, ReferenceCyclesThrowInsteadOfOverflowingTheStack)
{
    auto map =
        load("<Integer Name=\"A\"><pValue>B</pValue></Integer><Integer Name=\"B\"><pValue>A</pValue></Integer>"
             "<IntSwissKnife Name=\"K\"><pVariable Name=\"K\">K</pVariable><Formula>K+1</Formula></IntSwissKnife>");
    EXPECT_THROW(CIntegerPtr(map->GetNode("A"))->GetValue(), GenICam::GenericException);
    EXPECT_THROW(CIntegerPtr(map->GetNode("A"))->SetValue(1), GenICam::GenericException);
    EXPECT_THROW(CIntegerPtr(map->GetNode("K"))->GetValue(), GenICam::RuntimeException);
    EXPECT_EQ(map->GetNode("A")->GetAccessMode(), NA); // a state that cannot be worked out
}

TEST(LoadErrorTest, MutatedDescriptionsNeverCrash)
{
    // Random byte damage to a real description must end in a node map or a GenICam exception.
    const std::string original = colourDescription();
    std::mt19937 random(12345);
    const char replacements[] = "<>/=\"&x0 \n";
    int refused = 0;
    for (int round = 0; round < 300; ++round) {
        std::string text = original;
        const int damage = 1 + static_cast<int>(random() % 4);
        for (int d = 0; d < damage; ++d) {
            const size_t at = random() % text.size();
            switch (random() % 3) {
            case 0: text[at] = replacements[random() % (sizeof replacements - 1)]; break;
            case 1: text.erase(at, 1 + random() % 20); break;
            default: text.insert(at, text.substr(random() % text.size(), 1 + random() % 30));
            }
        }
        try {
            INodeMap* map = CreateNodeMap(text.c_str(), {}, "Cam");
            NodeList_t nodes;
            map->GetNodes(nodes);
            for (INode* n : nodes) {
                n->GetAccessMode();
                if (auto v = dynamic_cast<IValue*>(n)) {
                    try {
                        v->ToString();
                    } catch (const GenICam::GenericException&) {
                    }
                }
            }
            DestroyNodeMap(map);
        } catch (const GenICam::GenericException& e) {
            ++refused;
            EXPECT_GT(std::strlen(e.GetDescription()), 0u);
        }
    }
    EXPECT_GT(refused, 0);
}
