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
        {"unknown link", "<Integer Name=\"A\"><pValue>B</pValue></Integer>",
         "Node 'A': pValue refers to the unknown node 'B'"},
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
        {"register without port, none named Device",
         "<Port Name=\"Other\"/><IntReg Name=\"A\"><Address>0</Address><Length>4</Length></IntReg>",
         "Node 'A' (IntReg) has no pPort"},
        {"expression naming an unknown variable",
         "<Integer Name=\"X\"><Value>4</Value></Integer><SwissKnife Name=\"A\"><pVariable Name=\"X\">X</pVariable>"
         "<Constant Name=\"TEN\">10</Constant><Expression Name=\"E\">TEN + Xr</Expression><Formula>E * 2</Formula>"
         "</SwissKnife>",
         "Node 'A': Expression 'E' uses the unknown variable 'Xr'"},
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

// Faults cameras ship that have one sensible reading: the node loads that way, and the log says so.
TEST(LoadErrorTest, AMissingPortOrAnUnknownAccessModeIsReadTheSensibleWayWithAWarning)
{
    const std::string device = "<Port Name=\"Device\"/>";
    const struct {
        const char* what;
        std::string nodes;
        std::vector<uint8_t> memory; // at address 0
        std::string value;           // what A reads as
        const char* logged;
    } cases[] = {
        {"IntReg without pPort",
         device + "<IntReg Name=\"A\"><Address>0</Address><Length>4</Length></IntReg>",
         {0x2A, 0x01, 0, 0},
         "298",
         "Node 'A' (IntReg) has no pPort; it uses the port 'Device'"},
        {"MaskedIntReg without pPort",
         device + "<MaskedIntReg Name=\"A\"><Address>0</Address><Length>4</Length><Bit>3</Bit></MaskedIntReg>",
         {0x08, 0, 0, 0},
         "1",
         "Node 'A' (MaskedIntReg) has no pPort; it uses the port 'Device'"},
        {"FloatReg without pPort",
         device + "<FloatReg Name=\"A\"><Address>0</Address><Length>4</Length></FloatReg>",
         {0x00, 0x00, 0xC0, 0x3F},
         "1.5",
         "Node 'A' (FloatReg) has no pPort; it uses the port 'Device'"},
        {"StringReg without pPort",
         device + "<StringReg Name=\"A\"><Address>0</Address><Length>4</Length></StringReg>",
         {'a', 'b', 'c', 0},
         "abc",
         "Node 'A' (StringReg) has no pPort; it uses the port 'Device'"},
        {"Register without pPort",
         device + "<Register Name=\"A\"><Address>0</Address><Length>2</Length></Register>",
         {0xAB, 0xCD},
         "0xabcd",
         "Node 'A' (Register) has no pPort; it uses the port 'Device'"},
        {"unknown access mode",
         device + "<IntReg Name=\"A\"><Address>0</Address><Length>4</Length><AccessMode>R</AccessMode>"
                  "<pPort>Device</pPort></IntReg>",
         {7, 0, 0, 0},
         "7",
         "Node 'A': unknown AccessMode 'R'; RO is taken"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::LogCapture log;
        auto map = load(c.nodes);
        CValuePtr a = map->GetNode("A");
        ASSERT_TRUE(a.IsValid()) << dump(log);
        EXPECT_TRUE(log.contains(c.logged)) << dump(log);
        MemoryPort port;
        std::copy(c.memory.begin(), c.memory.end(), port.bytes.begin());
        map->Connect(&port, "Device");
        EXPECT_EQ(a->ToString(), c.value.c_str());
    }

    // A register of an injected description reaches the camera's port too.
    auto map = load(device, {describe("<IntReg Name=\"B\"><Address>4</Address><Length>4</Length></IntReg>")});
    MemoryPort port;
    map->Connect(&port, "Device");
    CIntegerPtr b = map->GetNode("B");
    ASSERT_TRUE(b.IsValid());
    b->SetValue(9);
    EXPECT_EQ(port.bytes[4], 9);

    // Read as RO: it can be read, and a write is refused.
    auto readOnly = load(device + "<IntReg Name=\"A\"><Address>0</Address><Length>4</Length><AccessMode> R "
                                  "</AccessMode><pPort>Device</pPort></IntReg>");
    readOnly->Connect(&port, "Device");
    CIntegerPtr a = readOnly->GetNode("A");
    ASSERT_TRUE(a.IsValid());
    EXPECT_EQ(a->GetAccessMode(), RO);
    EXPECT_THROW(a->SetValue(1), GenICam::AccessException);
}

// The counterpart of the unknown-variable check: expressions may use each other (declared before or
// after), the node's variables and constants, and a converter's FROM and TO.
TEST(LoadErrorTest, ExpressionsThatNameKnownThingsLoadAndEvaluate)
{
    testsupport::LogCapture log;
    auto map = load("<Integer Name=\"X\"><Value>4</Value></Integer>"
                    "<SwissKnife Name=\"K\"><pVariable Name=\"X\">X</pVariable><Constant Name=\"TEN\">10</Constant>"
                    "<Expression Name=\"E1\">E2 + 1</Expression><Expression Name=\"E2\">TEN + X</Expression>"
                    "<Formula>E1 * 2</Formula></SwissKnife>"
                    "<Integer Name=\"Raw\"><Value>3</Value></Integer>"
                    "<Converter Name=\"C\"><pValue>Raw</pValue><Expression Name=\"HALF\">FROM / 2</Expression>"
                    "<Expression Name=\"TWICE\">TO * 2</Expression><FormulaTo>HALF</FormulaTo>"
                    "<FormulaFrom>TWICE</FormulaFrom></Converter>");
    CFloatPtr k = map->GetNode("K");
    ASSERT_TRUE(k.IsValid()) << dump(log);
    EXPECT_DOUBLE_EQ(k->GetValue(), 30.0);
    CFloatPtr c = map->GetNode("C");
    ASSERT_TRUE(c.IsValid()) << dump(log);
    EXPECT_DOUBLE_EQ(c->GetValue(), 6.0);
    c->SetValue(10.0);
    EXPECT_EQ(CIntegerPtr(map->GetNode("Raw"))->GetValue(), 5);
    EXPECT_FALSE(log.contains("left out")) << dump(log);
}

TEST(LoadErrorTest, NodesThatNeedALeftOutNodeFollowItOut)
{
    testsupport::LogCapture log;
    auto map =
        load("<IntReg Name=\"Raw\"><Address>0</Address><Length>4</Length></IntReg>"
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

// A description may chain more nodes than a thread's stack holds frames: loading works the chain out
// without recursing along it, and a read of its head is refused for the chain's depth.
TEST(LoadErrorTest, AChainLongerThanTheStackLoadsAndItsReadIsRefused)
{
    const int length = 100000;
    std::string nodes;
    nodes.reserve(static_cast<size_t>(length) * 64);
    for (int i = 0; i < length; ++i)
        nodes +=
            "<Integer Name=\"N" + std::to_string(i) + "\"><pValue>N" + std::to_string(i + 1) + "</pValue></Integer>";
    nodes += "<Integer Name=\"N" + std::to_string(length) + "\"><Value>1</Value><Cachable>NoCache</Cachable></Integer>";
    auto map = load(nodes);
    EXPECT_THROW(CIntegerPtr(map->GetNode("N0"))->GetValue(), GenICam::GenericException);
    EXPECT_EQ(CIntegerPtr(map->GetNode("N" + std::to_string(length - 2)))->GetValue(), 1);
    EXPECT_EQ(map->GetNode("N0")->GetCachingMode(), NoCache) << "the end's caching mode comes down the chain";
}

// Each level reads the level below twice, and nothing along the way may be cached (the register at the
// bottom is not): a read of level n asks the register 2^n times, and 30 levels would take hours. Such a
// read is refused after a bounded amount of work instead of holding the node map's lock for ever; a
// shallow one still reads.
TEST(LoadErrorTest, AReadThatWouldTakeForEverIsRefused)
{
    std::string nodes = "<Integer Name=\"S0\"><Value>1</Value><Cachable>NoCache</Cachable></Integer>";
    for (int i = 1; i <= 22; ++i)
        nodes += "<IntSwissKnife Name=\"S" + std::to_string(i) + "\"><pVariable Name=\"P\">S" + std::to_string(i - 1) +
                 "</pVariable><Formula>P+P</Formula></IntSwissKnife>";
    nodes += "<Integer Name=\"Bounded\"><Value>0</Value><pMin>S22</pMin></Integer>"
             "<Integer Name=\"Available\"><Value>0</Value><pIsAvailable>S22</pIsAvailable></Integer>";
    auto map = load(nodes);
    EXPECT_EQ(CIntegerPtr(map->GetNode("S12"))->GetValue(), 4096);
    try {
        CIntegerPtr(map->GetNode("S22"))->GetValue();
        ADD_FAILURE() << "a read of 2^22 steps was taken";
    } catch (const GenICam::RuntimeException& e) {
        EXPECT_NE(std::string(e.GetDescription()).find("steps"), std::string::npos) << e.GetDescription();
    }
    EXPECT_THROW(CIntegerPtr(map->GetNode("Bounded"))->GetMin(), GenICam::RuntimeException);
    EXPECT_EQ(map->GetNode("Available")->GetAccessMode(), NA) << "a state that cannot be worked out";
    EXPECT_EQ(CIntegerPtr(map->GetNode("S12"))->GetValue(), 4096) << "the next read has a budget of its own";
}
