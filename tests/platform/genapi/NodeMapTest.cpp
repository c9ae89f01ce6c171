// Node maps built from descriptions: node kinds, merging, access and visibility, exceptions, registers.
#include "Descriptions.h"
#include "GenApiFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace GenApi;
using namespace genapitest;
using GenICam::gcstring;

namespace {
const char* kDevice = R"(
  <Category Name="Root" NameSpace="Standard"><pFeature>ImageFormatControl</pFeature></Category>
  <Category Name="ImageFormatControl" NameSpace="Standard"><pFeature>Width</pFeature><pFeature>Gain</pFeature></Category>
  <Integer Name="Width" NameSpace="Standard"><Value>640</Value><Min>16</Min><Max>1280</Max><Inc>16</Inc>
    <Representation>Linear</Representation></Integer>
  <Float Name="Gain" NameSpace="Standard"><Value>1.5</Value><Min>0</Min><Max>24</Max><Unit>dB</Unit></Float>
)";

template <class E>
void expectThrowsHere(const std::function<void()>& action, const char* fragment)
{
    try {
        action();
        ADD_FAILURE() << "nothing thrown, expected " << fragment;
    } catch (const E& e) {
        EXPECT_NE(std::string(e.GetDescription()).find(fragment), std::string::npos) << e.GetDescription();
        EXPECT_NE(std::string(e.GetSourceFileName()).find(".cpp"), std::string::npos);
        EXPECT_GT(e.GetSourceLine(), 0u);
    }
}
} // namespace

TEST(NodeMapTest, ToolDescriptionMergesIntoTheDeviceRoot)
{
    auto map = NodeMapPtr(CreateNodeMap(describe(kDevice).c_str(), {toolDescription()}, "Cam"));
    CCategoryPtr root = map->GetNode("Root");
    FeatureList_t features;
    root->GetFeatures(features);
    ASSERT_EQ(features.size(), 2u);
    EXPECT_EQ(features[0]->GetNode()->GetName(), "ImageFormatControl");
    EXPECT_EQ(features[1]->GetNode()->GetName(), "WhiteBalancePickerControls");

    CBooleanPtr picker = map->GetNode("WhiteBalancePickerEnable");
    ASSERT_TRUE(picker.IsValid());
    EXPECT_FALSE(picker->GetValue());
    EXPECT_EQ(picker->GetNode()->GetDisplayName(), "Enable White Balance");
    EXPECT_EQ(picker->GetNode()->GetToolTip(), "Enables the white balance picker tool.");
    EXPECT_FALSE(picker->GetNode()->IsStreamable());
    EXPECT_EQ(picker->GetAccessMode(), RW);
    EXPECT_TRUE(picker->GetNode()->IsFeature());
    picker->SetValue(true);
    EXPECT_TRUE(picker->GetValue());
    EXPECT_EQ(picker->ToString(), "1");
    EXPECT_EQ(map->GetDeviceName(), "Cam");
    EXPECT_EQ(dynamic_cast<IDeviceInfo*>(map.get())->GetModelName(), "TestModel");
}

TEST(NodeMapTest, ColourDescriptionConvertsThroughItsRawIntegers)
{
    auto map = NodeMapPtr(CreateNodeMap(describe(kDevice).c_str(), {colourDescription()}, "Cam"));
    CFloatPtr hue = map->GetNode("VlrHue"), saturation = map->GetNode("VlrSaturation"),
              brightness = map->GetNode("VlrBrightness"), contrast = map->GetNode("VlrContrast");
    CEnumerationPtr mode = map->GetNode("VlrContrastMode");
    EXPECT_DOUBLE_EQ(hue->GetValue(), 0.0);
    EXPECT_DOUBLE_EQ(saturation->GetValue(), 1.0);
    EXPECT_DOUBLE_EQ(brightness->GetValue(), 0.0);
    EXPECT_DOUBLE_EQ(contrast->GetValue(), 0.0);
    EXPECT_EQ(mode->ToString(), "Linear");
    EXPECT_DOUBLE_EQ(saturation->GetMin(), 0.0);
    EXPECT_DOUBLE_EQ(saturation->GetMax(), 2.0);
    EXPECT_DOUBLE_EQ(brightness->GetMin(), -1.0);
    EXPECT_EQ(saturation->GetDisplayPrecision(), 2);
    EXPECT_EQ(saturation->GetDisplayNotation(), fnFixed);
    EXPECT_EQ(saturation->GetRepresentation(), Linear);
    EXPECT_EQ(saturation->ToString(), "1.00");

    saturation->SetValue(0.5);
    EXPECT_EQ(CIntegerPtr(map->GetNode("VlrSaturationRaw"))->GetValue(), 32);
    brightness->SetValue(-1.0);
    EXPECT_EQ(CIntegerPtr(map->GetNode("VlrBrightnessRaw"))->GetValue(), 0);
    EXPECT_THROW(saturation->SetValue(2.5), GenICam::OutOfRangeException);

    // The alias is the raw integer; the texts keep their trailing spaces.
    EXPECT_EQ(hue->GetNode()->GetAlias(), map->GetNode("VlrHueRaw"));
    const gcstring description = saturation->GetNode()->GetDescription();
    ASSERT_GE(description.size(), 4u);
    EXPECT_EQ(description.substr(description.size() - 4), ".   ");
    EXPECT_EQ(map->GetNode("EnumEntry_VlrContrastMode_SCurve")->GetDisplayName(), "S-Curve");

    CCategoryPtr root = map->GetNode("Root");
    FeatureList_t features;
    root->GetFeatures(features);
    ASSERT_EQ(features.size(), 2u);
    EXPECT_EQ(features[1]->GetNode()->GetName(), "Huvane");
    CCategoryPtr(map->GetNode("Huvane"))->GetFeatures(features);
    ASSERT_EQ(features.size(), 5u);
    EXPECT_EQ(features[0]->GetNode()->GetName(), "VlrHue");
    EXPECT_EQ(features[4]->GetNode()->GetName(), "VlrContrastMode");
}

TEST(NodeMapTest, MergePriorityDecidesAClash)
{
    struct Case {
        const char* priority;
        int64_t expected;
    } cases[] = {{"", 640}, {"-1", 640}, {"0", 640}, {"+1", 999}};
    for (const Case& c : cases) {
        const std::string injected =
            describe(std::string("<Integer Name=\"Width\"") +
                     (*c.priority ? " MergePriority=\"" + std::string(c.priority) + "\"" : "") +
                     "><Value>999</Value></Integer>");
        auto map = NodeMapPtr(CreateNodeMap(describe(kDevice).c_str(), {injected.c_str()}, "Cam"));
        EXPECT_EQ(CIntegerPtr(map->GetNode("Width"))->GetValue(), c.expected) << c.priority;
    }
}

TEST(NodeMapTest, UnknownNamesGiveNullAndEmptyPointers)
{
    auto map = load(kDevice);
    EXPECT_EQ(map->GetNode("NoSuchNode"), nullptr);
    EXPECT_EQ(map->GetNode(""), nullptr);
    CIntegerPtr none = map->GetNode("NoSuchNode");
    EXPECT_FALSE(none.IsValid());
    CIntegerPtr wrongKind = map->GetNode("Gain");
    EXPECT_FALSE(wrongKind.IsValid());
    EXPECT_THROW(wrongKind->GetValue(), GenICam::LogicalErrorException);
    EXPECT_EQ(map->GetNode("Std::Width"), map->GetNode("Width"));
    NodeList_t nodes;
    map->GetNodes(nodes);
    EXPECT_EQ(nodes.size(), map->GetNumNodes());
    EXPECT_EQ(nodes.size(), 4u);
}

TEST(NodeMapTest, ValueChecksThrowWithFileAndLine)
{
    auto map =
        load(std::string(kDevice) +
             "<Integer Name=\"Fixed\"><Value>3</Value><ImposedAccessMode>RO</ImposedAccessMode></Integer>"
             "<IntSwissKnife Name=\"Knife\"><Formula>1</Formula></IntSwissKnife>"
             "<Enumeration Name=\"Mode\"><EnumEntry Name=\"A\"><Value>0</Value></EnumEntry>"
             "<EnumEntry "
             "Name=\"B\"><Value>5</Value><pIsAvailable>Off</pIsAvailable></EnumEntry><Value>0</Value></Enumeration>"
             "<Integer Name=\"Off\"><Value>0</Value></Integer>");
    CIntegerPtr width = map->GetNode("Width");
    CFloatPtr gain = map->GetNode("Gain");
    CEnumerationPtr mode = map->GetNode("Mode");
    // The refusals name the limits and the increment, and access modes by name.
    expectThrowsHere<GenICam::OutOfRangeException>(
        [&] { width->SetValue(1296); },
        "Node 'Width': value 1296 is out of range: minimum 16, maximum 1280, increment 16");
    expectThrowsHere<GenICam::OutOfRangeException>([&] { width->SetValue(0); },
                                                   "value 0 is out of range: minimum 16, maximum 1280, increment 16");
    expectThrowsHere<GenICam::OutOfRangeException>(
        [&] { width->SetValue(650); },
        "value 650 is not the minimum plus a multiple of the increment: minimum 16, maximum 1280, increment 16");
    expectThrowsHere<GenICam::OutOfRangeException>([&] { gain->SetValue(24.5); },
                                                   "Node 'Gain': value 24.5 is out of range: minimum 0, maximum 24");
    expectThrowsHere<GenICam::OutOfRangeException>([&] { gain->SetValue(std::nan("")); }, "out of range");
    expectThrowsHere<GenICam::AccessException>([&] { CIntegerPtr(map->GetNode("Fixed"))->SetValue(4); },
                                               "Node 'Fixed' is not writable (access mode RO)");
    expectThrowsHere<GenICam::AccessException>([&] { CIntegerPtr(map->GetNode("Knife"))->SetValue(4); },
                                               "not writable (access mode RO)");
    expectThrowsHere<GenICam::InvalidArgumentException>([&] { width->FromString("12abc"); }, "not an integer");
    expectThrowsHere<GenICam::InvalidArgumentException>([&] { mode->FromString("C"); }, "no entry");
    expectThrowsHere<GenICam::AccessException>([&] { mode->FromString("B"); }, "not available");
    expectThrowsHere<GenICam::OutOfRangeException>([&] { mode->SetIntValue(7); }, "no entry");
    // Nothing was changed by the refused writes.
    EXPECT_EQ(width->GetValue(), 640);
    EXPECT_EQ(mode->ToString(), "A");
    width->FromString("0x50");
    EXPECT_EQ(width->GetValue(), 80);
    StringList_t symbols;
    mode->GetSymbolics(symbols);
    EXPECT_EQ(symbols, StringList_t{"A"});
}

TEST(NodeMapTest, AccessModeFollowsImplementedAvailableLockedAndImposition)
{
    auto map = load(R"(
      <Boolean Name="Impl"><Value>1</Value></Boolean>
      <Boolean Name="Avail"><Value>1</Value></Boolean>
      <Boolean Name="Lock"><Value>0</Value></Boolean>
      <Integer Name="X"><Value>1</Value><pIsImplemented>Impl</pIsImplemented><pIsAvailable>Avail</pIsAvailable>
        <pIsLocked>Lock</pIsLocked></Integer>)");
    INode* x = map->GetNode("X");
    auto set = [&](const char* name, bool v) { CBooleanPtr(map->GetNode(name))->SetValue(v); };
    EXPECT_EQ(x->GetAccessMode(), RW);
    set("Lock", true);
    EXPECT_EQ(x->GetAccessMode(), RO);
    set("Lock", false);
    set("Avail", false);
    EXPECT_EQ(x->GetAccessMode(), NA);
    set("Impl", false);
    EXPECT_EQ(x->GetAccessMode(), NI);
    set("Impl", true);
    set("Avail", true);

    struct Case {
        EAccessMode imposed;
        EAccessMode expected;
    } cases[] = {{RO, RO}, {WO, WO}, {NA, NA}, {NI, NI}, {RW, RW}};
    for (const Case& c : cases) {
        x->ImposeAccessMode(c.imposed); // each imposition replaces the one before
        EXPECT_EQ(x->GetAccessMode(), c.expected) << c.imposed;
    }
    // An imposition never makes a read-only node writable.
    set("Lock", true);
    x->ImposeAccessMode(RW);
    EXPECT_EQ(x->GetAccessMode(), RO);
    x->ImposeAccessMode(WO);
    EXPECT_EQ(x->GetAccessMode(), NA);
}

TEST(NodeMapTest, VisibilityComesFromTheDescriptionAndTheLastImposition)
{
    auto map = load("<Integer Name=\"A\"><Visibility>Guru</Visibility><Value>1</Value></Integer>"
                    "<Integer Name=\"B\"><Value>1</Value></Integer>");
    INode* a = map->GetNode("A");
    EXPECT_EQ(a->GetVisibility(), Guru);
    EXPECT_EQ(map->GetNode("B")->GetVisibility(), Beginner);
    a->ImposeVisibility(Invisible);
    EXPECT_EQ(a->GetVisibility(), Invisible);
    a->ImposeVisibility(Expert);
    EXPECT_EQ(a->GetVisibility(), Expert);
}

TEST(NodeMapTest, NodesAnswerTheirDescriptiveProperties)
{
    auto map = load(R"(
      <Category Name="Root"><pFeature>Gain</pFeature></Category>
      <Float Name="Gain" NameSpace="Standard"><ToolTip>Tip </ToolTip><Description>Text  </Description>
        <DocuURL>http://x</DocuURL><EventID>9001</EventID><IsDeprecated>Yes</IsDeprecated><PollingTime>100</PollingTime>
        <Cachable>NoCache</Cachable><pAlias>GainRaw</pAlias><pValue>GainRaw</pValue></Float>
      <Integer Name="GainRaw"><Value>3</Value><pSelected>Gain</pSelected></Integer>)");
    INode* gain = map->GetNode("Gain");
    EXPECT_EQ(gain->GetToolTip(), "Tip ");
    EXPECT_EQ(gain->GetDescription(), "Text  ");
    EXPECT_EQ(gain->GetDisplayName(), "Gain");
    EXPECT_EQ(gain->GetDocuURL(), "http://x");
    EXPECT_EQ(gain->GetEventID(), "9001");
    EXPECT_TRUE(gain->IsDeprecated());
    EXPECT_EQ(gain->GetPollingTime(), 100);
    EXPECT_EQ(gain->GetCachingMode(), NoCache);
    EXPECT_FALSE(gain->IsCachable());
    EXPECT_EQ(gain->GetNameSpace(), Standard);
    EXPECT_EQ(gain->GetName(true), "Std::Gain");
    EXPECT_EQ(gain->GetPrincipalInterfaceType(), intfIFloat);
    EXPECT_EQ(map->GetNode("Root")->GetPrincipalInterfaceType(), intfICategory);
    EXPECT_TRUE(gain->IsFeature());
    EXPECT_FALSE(map->GetNode("GainRaw")->IsFeature());
    EXPECT_EQ(gain->GetAlias(), map->GetNode("GainRaw"));
    EXPECT_EQ(gain->GetCastAlias(), nullptr);
    EXPECT_EQ(gain->GetNodeMap(), map.get());
    EXPECT_EQ(gain->GetDeviceName(), "TestDevice");

    NodeList_t list;
    gain->GetChildren(list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], map->GetNode("GainRaw"));
    map->GetNode("GainRaw")->GetParents(list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], gain);

    // Reverse links appear among the properties.
    gcstring value, attributes;
    GenICam::gcstring_vector names;
    map->GetNode("GainRaw")->GetPropertyNames(names);
    EXPECT_NE(std::find(names.begin(), names.end(), gcstring("pDependent")), names.end());
    ASSERT_TRUE(map->GetNode("GainRaw")->GetProperty("pDependent", value, attributes));
    EXPECT_EQ(value, "Gain");
    ASSERT_TRUE(gain->GetProperty("pSelecting", value, attributes));
    EXPECT_EQ(value, "GainRaw");
    EXPECT_FALSE(gain->GetProperty("NoSuchProperty", value, attributes));

    auto selector = dynamic_cast<ISelector*>(map->GetNode("GainRaw"));
    ASSERT_NE(selector, nullptr);
    EXPECT_TRUE(selector->IsSelector());

    int data = 0;
    EXPECT_EQ(gain->SetUserData(&data), nullptr);
    EXPECT_EQ(gain->GetUserData(), &data);
}

TEST(NodeMapTest, OneObjectAnswersEveryInterfaceItHas)
{
    auto map = load(kDevice);
    INode* node = map->GetNode("Width");
    auto integer = dynamic_cast<IInteger*>(node);
    ASSERT_NE(integer, nullptr);
    EXPECT_EQ(dynamic_cast<IValue*>(node), static_cast<IValue*>(integer));
    EXPECT_EQ(integer->GetNode(), node);
    EXPECT_EQ(dynamic_cast<IFloat*>(node), nullptr);
    CValuePtr value = node;
    EXPECT_EQ(value->ToString(), "640");
    CNodePtr back = integer;
    EXPECT_EQ(static_cast<INode*>(back), node);
    CIntegerPtr width = node;
    EXPECT_TRUE(IsReadable(width));
    EXPECT_TRUE(IsWritable(width));
    EXPECT_FALSE(IsWritable(static_cast<IBase*>(nullptr)));
}

TEST(NodeMapTest, CommandsExecuteAndReportDone)
{
    MemoryPort port;
    auto map = load(R"(
      <Port Name="Device"/>
      <IntReg Name="StartReg"><Address>0x10</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>
      <Command Name="Start"><pValue>StartReg</pValue><CommandValue>1</CommandValue></Command>
      <Command Name="Floating"/>)");
    ASSERT_TRUE(map->Connect(&port, "Device"));
    CCommandPtr start = map->GetNode("Start");
    start->Execute();
    EXPECT_EQ(port.bytes[0x10], 1);
    EXPECT_FALSE(start->IsDone());
    port.bytes[0x10] = 0; // the device clears the bit when it is done
    EXPECT_TRUE(start->IsDone());
    start->FromString("1");
    EXPECT_EQ(port.bytes[0x10], 1);
    EXPECT_THROW(start->FromString("maybe"), GenICam::InvalidArgumentException);

    CCommandPtr floating = map->GetNode("Floating");
    EXPECT_EQ(floating->GetAccessMode(), WO);
    floating->Execute();
    EXPECT_TRUE(floating->IsDone());
}

TEST(NodeMapTest, RegistersReadAndWriteThroughThePort)
{
    MemoryPort port;
    auto map = load(R"(
      <Port Name="Device"/>
      <IntReg Name="LE"><Address>0</Address><Length>2</Length><AccessMode>RW</AccessMode><pPort>Device</pPort><Endianess>LittleEndian</Endianess></IntReg>
      <IntReg Name="BE"><Address>4</Address><Length>2</Length><AccessMode>RW</AccessMode><pPort>Device</pPort><Endianess>BigEndian</Endianess></IntReg>
      <IntReg Name="S"><Address>8</Address><Length>1</Length><AccessMode>RW</AccessMode><pPort>Device</pPort><Sign>Signed</Sign></IntReg>
      <MaskedIntReg Name="Bits"><Address>12</Address><Length>1</Length><AccessMode>RW</AccessMode><pPort>Device</pPort><LSB>2</LSB><MSB>4</MSB></MaskedIntReg>
      <MaskedIntReg Name="Flag"><Address>12</Address><Length>1</Length><AccessMode>RW</AccessMode><pPort>Device</pPort><Bit>7</Bit></MaskedIntReg>
      <FloatReg Name="F"><Address>16</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></FloatReg>
      <FloatReg Name="D"><Address>24</Address><Length>8</Length><AccessMode>RW</AccessMode><pPort>Device</pPort><Endianess>BigEndian</Endianess></FloatReg>
      <StringReg Name="Txt"><Address>32</Address><Length>8</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></StringReg>
      <Register Name="Raw"><Address>40</Address><Length>3</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></Register>
      <IntReg Name="RoReg"><Address>44</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>Device</pPort></IntReg>)");
    EXPECT_EQ(map->GetNode("LE")->GetAccessMode(), NA); // no port yet
    EXPECT_THROW(CIntegerPtr(map->GetNode("LE"))->GetValue(), GenICam::AccessException);
    ASSERT_TRUE(map->Connect(&port));

    CIntegerPtr le = map->GetNode("LE"), be = map->GetNode("BE"), s = map->GetNode("S");
    le->SetValue(0x1234);
    be->SetValue(0x1234);
    EXPECT_EQ(port.bytes[0], 0x34);
    EXPECT_EQ(port.bytes[1], 0x12);
    EXPECT_EQ(port.bytes[4], 0x12);
    EXPECT_EQ(port.bytes[5], 0x34);
    EXPECT_EQ(le->GetMax(), 0xFFFF);
    port.bytes[8] = 0xFE;
    EXPECT_EQ(s->GetValue(), -2);
    EXPECT_EQ(s->GetMin(), -128);
    EXPECT_THROW(le->SetValue(0x10000), GenICam::OutOfRangeException);

    CIntegerPtr bits = map->GetNode("Bits"), flag = map->GetNode("Flag");
    port.bytes[12] = 0x03;
    bits->SetValue(5); // only bits 2..4 change
    EXPECT_EQ(port.bytes[12], 0x03 | (5 << 2));
    EXPECT_EQ(bits->GetMax(), 7);
    flag->SetValue(1);
    EXPECT_EQ(port.bytes[12], 0x80 | 0x03 | (5 << 2));
    EXPECT_EQ(bits->GetValue(true, true), 5);

    CFloatPtr f = map->GetNode("F"), d = map->GetNode("D");
    f->SetValue(1.5);
    d->SetValue(-2.25);
    EXPECT_EQ(f->GetValue(false, true), 1.5);
    EXPECT_EQ(d->GetValue(false, true), -2.25);
    EXPECT_EQ(port.bytes[24], 0xC0); // big-endian sign and exponent first

    CStringPtr txt = map->GetNode("Txt");
    txt->SetValue("abc");
    EXPECT_EQ(txt->GetValue(false, true), "abc");
    EXPECT_THROW(txt->SetValue("123456789"), GenICam::OutOfRangeException);
    EXPECT_EQ(txt->GetMaxLength(), 8);

    CRegisterPtr raw = map->GetNode("Raw");
    const uint8_t in[3] = {1, 2, 3};
    raw->Set(in, 3);
    uint8_t out[3] = {};
    raw->Get(out, 3, false, true);
    EXPECT_EQ(std::memcmp(in, out, 3), 0);
    EXPECT_EQ(raw->ToString(), "0x010203");
    EXPECT_THROW(raw->Set(in, 2), GenICam::OutOfRangeException);
    EXPECT_THROW(raw->Get(out, 4), GenICam::OutOfRangeException);
    EXPECT_EQ(raw->GetAddress(), 40);

    EXPECT_EQ(map->GetNode("RoReg")->GetAccessMode(), RO);
    EXPECT_THROW(CIntegerPtr(map->GetNode("RoReg"))->SetValue(1), GenICam::AccessException);
}

TEST(NodeMapTest, ReadsAreCachedUntilInvalidated)
{
    MemoryPort port;
    auto map = load(R"(
      <Port Name="Device"/>
      <IntReg Name="R"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>
      <IntReg Name="N"><Address>4</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort><Cachable>NoCache</Cachable></IntReg>)");
    map->Connect(&port);
    CIntegerPtr r = map->GetNode("R"), n = map->GetNode("N");
    port.bytes[0] = 7;
    EXPECT_EQ(r->GetValue(), 7);
    const int reads = port.reads;
    port.bytes[0] = 8;
    EXPECT_EQ(r->GetValue(), 7);
    EXPECT_TRUE(r->IsValueCacheValid());
    EXPECT_EQ(port.reads, reads);
    EXPECT_EQ(r->GetValue(false, true), 8);
    port.bytes[0] = 9;
    map->InvalidateNodes();
    EXPECT_EQ(r->GetValue(), 9);
    n->GetValue();
    const int uncached = port.reads;
    n->GetValue();
    EXPECT_EQ(port.reads, uncached + 1);
}

// A node caches no more than the register it reads through: a NoCache register behind an Integer, a
// formula or a chain of pointers is read afresh every time, whatever the reading node declares itself.
TEST(NodeMapTest, ValueNodesCacheNoMoreThanWhatTheyReadThrough)
{
    struct Case {
        const char* what;
        const char* regCaching; // the register's own Cachable
        const char* node;       // a node named "V" reading the register "Reg"
        ECachingMode expected;
    };
    const Case cases[] = {
        {"Integer over NoCache", "NoCache", "<Integer Name=\"V\"><pValue>Reg</pValue></Integer>", NoCache},
        {"Integer declaring WriteThrough over NoCache", "NoCache",
         "<Integer Name=\"V\"><Cachable>WriteThrough</Cachable><pValue>Reg</pValue></Integer>", NoCache},
        {"chain of Integers over NoCache", "NoCache",
         "<Integer Name=\"V\"><pValue>Mid</pValue></Integer><Integer Name=\"Mid\"><pValue>Reg</pValue></Integer>",
         NoCache},
        {"IntSwissKnife over NoCache", "NoCache",
         "<IntSwissKnife Name=\"V\"><pVariable Name=\"R\">Reg</pVariable><Formula>R*2</Formula></IntSwissKnife>",
         NoCache},
        {"Enumeration over NoCache", "NoCache",
         "<Enumeration Name=\"V\"><EnumEntry Name=\"V_A\"><Value>0</Value></EnumEntry>"
         "<EnumEntry Name=\"V_B\"><Value>1</Value></EnumEntry><pValue>Reg</pValue></Enumeration>",
         NoCache},
        {"Integer over WriteAround", "WriteAround", "<Integer Name=\"V\"><pValue>Reg</pValue></Integer>",
         WriteAround},
        {"Integer over WriteThrough", "WriteThrough", "<Integer Name=\"V\"><pValue>Reg</pValue></Integer>",
         WriteThrough},
        {"NoCache limit only", "WriteThrough",
         "<Integer Name=\"V\"><pValue>Reg</pValue><pMax>Limit</pMax></Integer>"
         "<IntReg Name=\"Limit\"><Address>8</Address><Length>4</Length><AccessMode>RO</AccessMode>"
         "<pPort>Device</pPort><Cachable>NoCache</Cachable></IntReg>",
         WriteThrough},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryPort port;
        port.bytes[8] = 100;
        auto map = load(std::string(R"(<Port Name="Device"/>
          <IntReg Name="Reg"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
          <Cachable>)") + c.regCaching + "</Cachable></IntReg>" + c.node);
        map->Connect(&port);
        INode* v = map->GetNode("V");
        EXPECT_EQ(v->GetCachingMode(), c.expected);
        EXPECT_EQ(v->IsCachable(), c.expected != NoCache);
        CValuePtr value = v;
        port.bytes[0] = 0;
        const std::string before = value->ToString().c_str();
        const int reads = port.reads;
        port.bytes[0] = 1; // the device changes the value by itself
        const std::string after = value->ToString().c_str();
        if (c.expected == NoCache) {
            EXPECT_NE(after, before);
            EXPECT_GT(port.reads, reads);
        } else {
            EXPECT_EQ(after, before);
            EXPECT_EQ(port.reads, reads);
        }
    }
}

// A write through a node keeps the written value only where everything down to the register keeps it.
TEST(NodeMapTest, WrittenValueIsKeptOnlyWhenTheRegisterWritesThrough)
{
    for (const char* caching : {"WriteThrough", "WriteAround", "NoCache"}) {
        SCOPED_TRACE(caching);
        MemoryPort port;
        auto map = load(std::string(R"(<Port Name="Device"/>
          <IntReg Name="Reg"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
          <Cachable>)") + caching + R"(</Cachable></IntReg>
          <Integer Name="V"><pValue>Reg</pValue></Integer>)");
        map->Connect(&port);
        CIntegerPtr v = map->GetNode("V");
        v->SetValue(5);
        const int reads = port.reads;
        EXPECT_EQ(v->GetValue(), 5);
        EXPECT_EQ(port.reads == reads, std::string(caching) == "WriteThrough");
    }
}

TEST(NodeMapTest, FileAdapterNeedsTheFileAccessFeatures)
{
    auto withFiles = load(R"(
      <Enumeration Name="FileSelector"><EnumEntry Name="UserSet1"><Value>0</Value></EnumEntry></Enumeration>
      <Enumeration Name="FileOperationSelector"><EnumEntry Name="Open"><Value>0</Value></EnumEntry></Enumeration>
      <Command Name="FileOperationExecute"/>
      <Integer Name="FileAccessOffset"><Value>0</Value></Integer>
      <Integer Name="FileAccessLength"><Value>0</Value></Integer>
      <String Name="FileAccessBuffer"><Value></Value></String>
      <Enumeration Name="FileOperationStatus"><EnumEntry Name="Success"><Value>0</Value></EnumEntry></Enumeration>)");
    FileProtocolAdapter adapter;
    EXPECT_TRUE(adapter.attach(withFiles.get()));
    EXPECT_TRUE(adapter.isAttached());
    auto without = load(kDevice);
    EXPECT_FALSE(adapter.attach(without.get()));
    EXPECT_FALSE(adapter.attach(nullptr));
}

TEST(NodeMapTest, DestructionNoticesRunBeforeTheMapGoes)
{
    INodeMap* map = CreateNodeMap(describe(kDevice).c_str(), {}, "Cam");
    int mapNotices = 0, nodeNotices = 0, dropped = 0;
    EXPECT_NE(RegisterDestructionCallback(map,
                                          [&] {
                                              ++mapNotices;
                                              EXPECT_NE(map->GetNode("Width"),
                                                        nullptr); // still usable during the notice
                                          }),
              0);
    EXPECT_NE(RegisterDestructionCallback(map->GetNode("Width"), [&] { ++nodeNotices; }), 0);
    const CallbackHandleType h = RegisterDestructionCallback(map, [&] { ++dropped; });
    EXPECT_TRUE(DeregisterDestructionCallback(h));
    EXPECT_FALSE(DeregisterDestructionCallback(h));
    DestroyNodeMap(map);
    EXPECT_EQ(mapNotices, 1);
    EXPECT_EQ(nodeNotices, 1);
    EXPECT_EQ(dropped, 0);
    DestroyNodeMap(nullptr);
}

TEST(NodeMapTest, AWinningEnumerationBringsItsOwnEntries)
{
    const std::string device = "<Enumeration Name=\"Mode\"><EnumEntry Name=\"On\"><Value>1</Value></EnumEntry>"
                               "<EnumEntry Name=\"Old\"><Value>2</Value></EnumEntry><Value>1</Value></Enumeration>";
    const std::string injected = describe("<Enumeration Name=\"Mode\" MergePriority=\"+1\"><EnumEntry Name=\"On\">"
                                          "<Value>7</Value></EnumEntry><Value>7</Value></Enumeration>");
    auto map = load(device, {injected.c_str()});
    CEnumerationPtr mode = map->GetNode("Mode");
    EXPECT_EQ(mode->ToString(), "On");
    EXPECT_EQ(mode->GetIntValue(), 7);
    NodeList_t entries;
    mode->GetEntries(entries);
    EXPECT_EQ(entries.size(), 1u);
    EXPECT_EQ(mode->GetEntryByName("Old"), nullptr);
}

TEST(NodeMapTest, LinkPropertiesPairValuesWithAttributes)
{
    auto map = load("<Integer Name=\"A\"><Value>1</Value></Integer><Integer Name=\"B\"><Value>2</Value></Integer>"
                    "<IntSwissKnife Name=\"K\"><pVariable Name=\"X\">A</pVariable><pVariable Name=\"Y\">B</pVariable>"
                    "<Formula>X+Y</Formula></IntSwissKnife>");
    gcstring value, attributes;
    ASSERT_TRUE(map->GetNode("K")->GetProperty("pVariable", value, attributes));
    EXPECT_EQ(value, "A\tB");
    EXPECT_EQ(attributes, "X\tY");
    EXPECT_EQ(CIntegerPtr(map->GetNode("K"))->GetValue(), 3);
    NodeList_t terminals;
    map->GetNode("K")->GetChildren(terminals, ctTerminalNodes);
    EXPECT_EQ(terminals.size(), 2u);
}

TEST(NodeMapTest, EveryNodeKindLoadsWithItsInterface)
{
    MemoryPort port;
    port.bytes[0] = 42;
    auto map = load(R"(
      <Port Name="Device"/>
      <Node Name="Plain"/>
      <Category Name="Cat"/>
      <Integer Name="Int"><Value>5</Value></Integer>
      <IntReg Name="IReg"><Address>0</Address><Length>1</Length><AccessMode>RO</AccessMode><pPort>Device</pPort></IntReg>
      <MaskedIntReg Name="MReg"><Address>0</Address><Length>1</Length><AccessMode>RO</AccessMode><pPort>Device</pPort><LSB>1</LSB><MSB>3</MSB></MaskedIntReg>
      <Float Name="Flt"><Value>0.25</Value></Float>
      <FloatReg Name="FReg"><Address>8</Address><Length>8</Length><AccessMode>RO</AccessMode><pPort>Device</pPort></FloatReg>
      <Converter Name="Conv"><pValue>Int</pValue><FormulaTo>FROM*2</FormulaTo><FormulaFrom>TO/2</FormulaFrom></Converter>
      <IntConverter Name="IConv"><pValue>Int</pValue><FormulaTo>FROM*2</FormulaTo><FormulaFrom>TO/2</FormulaFrom></IntConverter>
      <SwissKnife Name="SK"><pVariable Name="X">Int</pVariable><Formula>X/4</Formula></SwissKnife>
      <IntSwissKnife Name="ISK"><pVariable Name="X">Int</pVariable><Formula>X/4</Formula></IntSwissKnife>
      <Enumeration Name="Enum"><EnumEntry Name="E1"><Value>1</Value></EnumEntry><Value>1</Value></Enumeration>
      <Boolean Name="Bool"><Value>1</Value></Boolean>
      <Command Name="Cmd"/>
      <String Name="Str"><Value>text </Value></String>
      <StringReg Name="SReg"><Address>16</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>Device</pPort></StringReg>
      <Register Name="Reg"><Address>0</Address><Length>2</Length><AccessMode>RO</AccessMode><pPort>Device</pPort></Register>)");
    map->Connect(&port);
    struct Case {
        const char* name;
        EInterfaceType type;
        const char* text; // ToString, or null when the node has no readable text
    } cases[] = {{"Device", intfIPort, ""},        {"Plain", intfIBase, ""},
                 {"Cat", intfICategory, ""},       {"Int", intfIInteger, "5"},
                 {"IReg", intfIInteger, "42"},     {"MReg", intfIInteger, "5"},
                 {"Flt", intfIFloat, "0.25"},      {"FReg", intfIFloat, "0"},
                 {"Conv", intfIFloat, "2.5"},      {"IConv", intfIInteger, "2"},
                 {"SK", intfIFloat, "1.25"},       {"ISK", intfIInteger, "1"},
                 {"Enum", intfIEnumeration, "E1"}, {"EnumEntry_Enum_E1", intfIEnumEntry, "E1"},
                 {"Bool", intfIBoolean, "1"},      {"Cmd", intfICommand, nullptr},
                 {"Str", intfIString, "text "},    {"SReg", intfIString, ""},
                 {"Reg", intfIRegister, "0x2a00"}};
    for (const Case& c : cases) {
        INode* node = map->GetNode(c.name);
        ASSERT_NE(node, nullptr) << c.name;
        EXPECT_EQ(node->GetPrincipalInterfaceType(), c.type) << c.name;
        if (c.text)
            EXPECT_EQ(CValuePtr(node)->ToString(), c.text) << c.name;
        else
            EXPECT_THROW(CValuePtr(node)->ToString(), GenICam::AccessException) << c.name;
    }
    EXPECT_EQ(CIntegerPtr(map->GetNode("IConv"))->GetMax(), INT64_MAX / 2);
    CIntegerPtr(map->GetNode("IConv"))->SetValue(4);
    EXPECT_EQ(CIntegerPtr(map->GetNode("Int"))->GetValue(), 8);
}

// Descriptions name their entries "EnumEntry_<Enumeration>_<Symbol>"; older ones give the bare symbol.
TEST(NodeMapTest, EnumerationEntriesKeepTheNamesTheDescriptionGivesThem)
{
    auto map = load(R"(
      <Enumeration Name="PixelFormat">
        <EnumEntry Name="EnumEntry_PixelFormat_Mono8"><Value>1</Value><Symbolic>Mono8</Symbolic></EnumEntry>
        <EnumEntry Name="EnumEntry_PixelFormat_RGB8"><Value>2</Value></EnumEntry>
        <EnumEntry Name="BayerRG8"><Value>3</Value></EnumEntry>
        <EnumEntry Name="EnumEntry_PixelFormat_Mono16"><Value>4</Value><DisplayName>Mono 16</DisplayName></EnumEntry>
        <Value>1</Value>
      </Enumeration>)");
    const struct {
        const char* node;
        const char* symbol;
        const char* display;
    } entries[] = {{"EnumEntry_PixelFormat_Mono8", "Mono8", "Mono8"},
                   {"EnumEntry_PixelFormat_RGB8", "RGB8", "RGB8"},
                   {"EnumEntry_PixelFormat_BayerRG8", "BayerRG8", "BayerRG8"},
                   {"EnumEntry_PixelFormat_Mono16", "Mono16", "Mono 16"}};
    CEnumerationPtr format = map->GetNode("PixelFormat");
    for (const auto& e : entries) {
        CEnumEntryPtr entry = map->GetNode(e.node);
        ASSERT_TRUE(entry.IsValid()) << e.node;
        EXPECT_EQ(entry->GetSymbolic(), e.symbol);
        EXPECT_EQ(entry->GetNode()->GetDisplayName(), e.display);
        EXPECT_EQ(format->GetEntryByName(e.symbol), static_cast<IEnumEntry*>(entry));
    }
    EXPECT_EQ(map->GetNode("EnumEntry_PixelFormat_EnumEntry_PixelFormat_Mono8"), nullptr);
    *format = "RGB8";
    EXPECT_EQ(format->GetIntValue(), 2);

    // The colour plug-in's description names its entries the same way.
    auto colour = NodeMapPtr(CreateNodeMap(describe(kDevice).c_str(), {colourDescription()}, "Cam"));
    CEnumEntryPtr sCurve = colour->GetNode("EnumEntry_VlrContrastMode_SCurve");
    ASSERT_TRUE(sCurve.IsValid());
    EXPECT_EQ(sCurve->GetSymbolic(), "SCurve");
    EXPECT_EQ(sCurve->GetNode()->GetDisplayName(), "S-Curve");
}
