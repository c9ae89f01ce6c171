// What real descriptions use beyond the basics: values per selector entry, registers indexed several
// times, addresses computed inside a register, registers seen as bytes, strings over registers, writes
// without verification, converter ranges, and unknown access modes.
#include "GenApiFixtures.h"

#include <gtest/gtest.h>

#include <climits>

using namespace GenApi;
using namespace genapitest;

TEST(DescriptionFeaturesTest, IndexedValuesKeepOneValuePerSelectorEntry)
{
    auto map = load(R"(
      <Enumeration Name="GainSelector"><pSelected>Gain</pSelected><pSelected>Level</pSelected>
        <EnumEntry Name="All"><Value>0</Value></EnumEntry><EnumEntry Name="Red"><Value>1</Value></EnumEntry>
        <EnumEntry Name="Green"><Value>2</Value></EnumEntry><EnumEntry Name="Blue"><Value>3</Value></EnumEntry>
        <Value>0</Value></Enumeration>
      <Integer Name="Gain"><pIndex>GainSelector</pIndex><ValueIndexed Index="1">10</ValueIndexed>
        <pValueIndexed Index="2">GreenGain</pValueIndexed><ValueDefault>5</ValueDefault><Min>0</Min><Max>100</Max>
      </Integer>
      <Integer Name="GreenGain"><Value>20</Value></Integer>
      <Float Name="Level"><pIndex>GainSelector</pIndex><ValueIndexed Index="0">0.5</ValueIndexed>
        <pValueDefault>LevelDefault</pValueDefault></Float>
      <Float Name="LevelDefault"><Value>1.5</Value><Min>0</Min><Max>2</Max></Float>)");
    CEnumerationPtr selector = map->GetNode("GainSelector");
    CIntegerPtr gain = map->GetNode("Gain");
    CFloatPtr level = map->GetNode("Level");
    const struct {
        const char* entry;
        int64_t gain;
        double level;
    } before[] = {{"All", 5, 0.5}, {"Red", 10, 1.5}, {"Green", 20, 1.5}, {"Blue", 5, 1.5}};
    for (const auto& c : before) {
        *selector = c.entry;
        EXPECT_EQ(gain->GetValue(), c.gain) << c.entry;
        EXPECT_DOUBLE_EQ(level->GetValue(), c.level) << c.entry;
    }
    // Each entry writes its own place; the default serves the entries without one.
    *selector = "Red";
    gain->SetValue(11);
    *selector = "Green";
    gain->SetValue(21);
    level->SetValue(1.75); // the pValueDefault node, with its limits
    EXPECT_THROW(level->SetValue(2.5), GenICam::OutOfRangeException);
    *selector = "Blue";
    gain->SetValue(6);
    const struct {
        const char* entry;
        int64_t gain;
        double level;
    } after[] = {{"All", 6, 0.5}, {"Red", 11, 1.75}, {"Green", 21, 1.75}, {"Blue", 6, 1.75}};
    for (const auto& c : after) {
        *selector = c.entry;
        EXPECT_EQ(gain->GetValue(), c.gain) << c.entry;
        EXPECT_DOUBLE_EQ(level->GetValue(), c.level) << c.entry;
    }
    EXPECT_EQ(CIntegerPtr(map->GetNode("GreenGain"))->GetValue(), 21);
    // A change of the selector reaches the callbacks of what it indexes.
    Counter counter;
    const CallbackHandleType h = Register(gain->GetNode(), counter, &Counter::onChange);
    *selector = "Red";
    EXPECT_EQ(counter.calls, 1);
    Deregister(h);
}

TEST(DescriptionFeaturesTest, RegistersAddEveryIndexTimesItsOffsetOrTheirLength)
{
    MemoryPort port(1024);
    auto map = load(R"(
      <Port Name="Device"/>
      <Integer Name="Row"><Value>0</Value></Integer>
      <Integer Name="Column"><Value>0</Value></Integer>
      <Integer Name="Stride"><Value>64</Value></Integer>
      <Integer Name="Base"><Value>8</Value></Integer>
      <IntReg Name="Cell"><Address>0x100</Address><pIndex pOffset="Stride">Row</pIndex><pIndex>Column</pIndex>
        <Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>
      <IntReg Name="Lut"><Address>0x200</Address><pIndex Offset="2">Column</pIndex><Length>2</Length>
        <AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>
      <IntReg Name="Computed"><Address>0x10</Address>
        <IntSwissKnife><pVariable Name="B">Base</pVariable><Formula>B*4</Formula></IntSwissKnife>
        <Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>)");
    map->Connect(&port);
    CIntegerPtr row = map->GetNode("Row"), column = map->GetNode("Column");
    CRegisterPtr cell = map->GetNode("Cell"), lut = map->GetNode("Lut"), computed = map->GetNode("Computed");
    ASSERT_TRUE(cell.IsValid() && lut.IsValid() && computed.IsValid());
    row->SetValue(2);
    column->SetValue(3);
    EXPECT_EQ(cell->GetAddress(), 0x100 + 2 * 64 + 3 * 4);
    EXPECT_EQ(lut->GetAddress(), 0x200 + 3 * 2);
    EXPECT_EQ(computed->GetAddress(), 0x10 + 8 * 4);
    CIntegerPtr(map->GetNode("Cell"))->SetValue(0x1234);
    EXPECT_EQ(port.bytes[0x100 + 2 * 64 + 3 * 4], 0x34);
    CIntegerPtr(map->GetNode("Base"))->SetValue(9);
    EXPECT_EQ(computed->GetAddress(), 0x10 + 9 * 4);
    EXPECT_NE(map->GetNode("Computed_Address"), nullptr);
}

TEST(DescriptionFeaturesTest, NumberAndStringRegistersAreRegistersToo)
{
    MemoryPort port;
    auto map = load(R"(
      <Port Name="Device"/>
      <Integer Name="Plain"><Value>1</Value></Integer>
      <IntReg Name="I"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
        <Endianess>BigEndian</Endianess></IntReg>
      <MaskedIntReg Name="M"><Address>4</Address><Length>1</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
        <LSB>0</LSB><MSB>3</MSB></MaskedIntReg>
      <FloatReg Name="F"><Address>8</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
        </FloatReg>
      <StringReg Name="S"><Address>16</Address><Length>8</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
        </StringReg>)");
    map->Connect(&port);
    EXPECT_FALSE(CRegisterPtr(map->GetNode("Plain")).IsValid());
    const struct {
        const char* name;
        int64_t address, length;
    } registers[] = {{"I", 0, 4}, {"M", 4, 1}, {"F", 8, 4}, {"S", 16, 8}};
    for (const auto& r : registers) {
        CRegisterPtr reg = map->GetNode(r.name);
        ASSERT_TRUE(reg.IsValid()) << r.name;
        EXPECT_EQ(reg->GetAddress(), r.address) << r.name;
        EXPECT_EQ(reg->GetLength(), r.length) << r.name;
    }
    // Bytes written as bytes are what the value reads next, and the other way round.
    CIntegerPtr i = map->GetNode("I");
    EXPECT_EQ(i->GetValue(), 0);
    const uint8_t raw[4] = {0, 0, 1, 2};
    CRegisterPtr(map->GetNode("I"))->Set(raw, 4);
    EXPECT_EQ(i->GetValue(), 0x102);
    CStringPtr(map->GetNode("S"))->SetValue("abc");
    uint8_t text[8] = {};
    CRegisterPtr(map->GetNode("S"))->Get(text, 8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text)), "abc");
    EXPECT_THROW(CRegisterPtr(map->GetNode("I"))->Set(raw, 3), GenICam::OutOfRangeException);
    EXPECT_EQ(map->GetNode("I")->GetPrincipalInterfaceType(), intfIInteger);
}

TEST(DescriptionFeaturesTest, AStringWithPValueReachesItsStringRegister)
{
    MemoryPort port;
    auto map = load(R"(
      <Port Name="Device"/>
      <String Name="UserName"><pValue>UserNameReg</pValue></String>
      <StringReg Name="UserNameReg"><Address>32</Address><Length>8</Length><AccessMode>RW</AccessMode>
        <pPort>Device</pPort></StringReg>)");
    map->Connect(&port);
    CStringPtr name = map->GetNode("UserName");
    EXPECT_EQ(name->GetMaxLength(), 8);
    name->SetValue("camera 1");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&port.bytes[32]), 8), "camera 1");
    EXPECT_EQ(CStringPtr(map->GetNode("UserNameReg"))->GetValue(), "camera 1");
    EXPECT_THROW(name->SetValue("camera 12"), GenICam::OutOfRangeException);
    EXPECT_THROW(name->SetValue("camera 12", false), GenICam::OutOfRangeException);
    EXPECT_EQ(name->GetValue(), "camera 1");
    // A change of the register is what the string reads.
    CStringPtr(map->GetNode("UserNameReg"))->SetValue("left");
    EXPECT_EQ(name->GetValue(), "left");
}

TEST(DescriptionFeaturesTest, WritesWithoutVerifyLeaveTheRangeToTheCaller)
{
    auto map = load(R"(
      <Integer Name="I"><Value>1</Value><Min>0</Min><Max>10</Max><Inc>2</Inc></Integer>
      <Float Name="F"><Value>1</Value><Min>0</Min><Max>10</Max></Float>)");
    CIntegerPtr i = map->GetNode("I");
    CFloatPtr f = map->GetNode("F");
    EXPECT_THROW(i->SetValue(20), GenICam::OutOfRangeException);
    EXPECT_THROW(i->FromString("3"), GenICam::OutOfRangeException);
    i->SetValue(20, false);
    EXPECT_EQ(i->GetValue(), 20);
    i->FromString("3", false);
    EXPECT_EQ(i->GetValue(), 3);
    EXPECT_THROW(f->FromString("11"), GenICam::OutOfRangeException);
    f->FromString("11", false);
    EXPECT_DOUBLE_EQ(f->GetValue(), 11.0);
}

TEST(DescriptionFeaturesTest, IntegerConvertersDeriveTheirRangeThroughTheirFormulas)
{
    auto map = load(R"(
      <Float Name="Exposure"><Value>5</Value><Min>0.5</Min><Max>10</Max></Float>
      <IntConverter Name="ExposureRaw"><pValue>Exposure</pValue><FormulaTo>FROM/100</FormulaTo>
        <FormulaFrom>TO*100</FormulaFrom></IntConverter>
      <Integer Name="Wide"><Value>3</Value></Integer>
      <IntConverter Name="WideMilli"><pValue>Wide</pValue><FormulaTo>FROM/1000</FormulaTo>
        <FormulaFrom>TO*1000</FormulaFrom></IntConverter>
      <Integer Name="Narrow"><Value>3</Value><Min>-5</Min><Max>7</Max></Integer>
      <IntConverter Name="Inverted"><pValue>Narrow</pValue><FormulaTo>0-FROM</FormulaTo>
        <FormulaFrom>0-TO</FormulaFrom></IntConverter>)");
    // A float target: its limits, through the formula (not 0..0).
    CIntegerPtr raw = map->GetNode("ExposureRaw");
    EXPECT_EQ(raw->GetMin(), 50);
    EXPECT_EQ(raw->GetMax(), 1000);
    raw->SetValue(700);
    EXPECT_DOUBLE_EQ(CFloatPtr(map->GetNode("Exposure"))->GetValue(), 7.0);
    // An unbounded target: the range saturates instead of wrapping around 64 bits.
    CIntegerPtr milli = map->GetNode("WideMilli");
    EXPECT_EQ(milli->GetMin(), INT64_MIN);
    EXPECT_EQ(milli->GetMax(), INT64_MAX);
    milli->SetValue(5000);
    EXPECT_EQ(CIntegerPtr(map->GetNode("Wide"))->GetValue(), 5);
    // A falling formula turns the limits round.
    CIntegerPtr inverted = map->GetNode("Inverted");
    EXPECT_EQ(inverted->GetMin(), -7);
    EXPECT_EQ(inverted->GetMax(), 5);
}

// Limits come down a chain of pValue links from the node at its end. Each node asks the next one for
// both limits at once: asked one at a time, each would ask again, and a chain of 24 would read the
// device some sixteen million times for one limit.
TEST(DescriptionFeaturesTest, LimitsAlongAPValueChainAreWorkedOutOncePerQuery)
{
    const int length = 24;
    std::string nodes = R"(<Port Name="Device"/>
      <IntReg Name="MinReg"><Address>0</Address><Length>4</Length><AccessMode>RO</AccessMode>
        <pPort>Device</pPort><Cachable>NoCache</Cachable></IntReg>)";
    for (int i = 0; i + 1 < length; ++i) {
        const char* kind = i % 2 ? "Float" : "Integer";
        nodes += "<" + std::string(kind) + " Name=\"Link" + std::to_string(i) + "\"><pValue>Link" +
                 std::to_string(i + 1) + "</pValue></" + kind + ">";
    }
    nodes += "<Integer Name=\"Link" + std::to_string(length - 1) +
             "\"><Value>20</Value><pMin>MinReg</pMin><Max>1000</Max></Integer>";
    MemoryPort port;
    auto map = load(nodes);
    map->Connect(&port);
    port.bytes[0] = 5;
    CIntegerPtr head = map->GetNode("Link0");
    ASSERT_TRUE(head.IsValid());
    const int before = port.reads;
    EXPECT_EQ(head->GetMin(), 5);
    EXPECT_EQ(head->GetMax(), 1000);
    EXPECT_LE(port.reads - before, 2) << "the limit at the chain's end is read once a query";
    EXPECT_DOUBLE_EQ(CFloatPtr(map->GetNode("Link1"))->GetMin(), 5.0);
    head->SetValue(700);
    EXPECT_EQ(CIntegerPtr(map->GetNode("Link23"))->GetValue(), 700);
    EXPECT_THROW(head->SetValue(4), GenICam::OutOfRangeException);
}

TEST(DescriptionFeaturesTest, IncrementModesAndListsOfValidValues)
{
    auto map = load(R"(
      <Integer Name="Binning"><Value>2</Value><Min>1</Min><Max>4</Max><ValidValueSet>1;2;4;8</ValidValueSet></Integer>
      <Integer Name="Width"><Value>64</Value><Min>16</Min><Max>128</Max><Inc>16</Inc></Integer>
      <Float Name="Rate"><Value>30</Value><Min>1</Min><Max>60</Max><ValidValueSet>7.5; 15; 30; 60</ValidValueSet></Float>
      <Float Name="Gain"><Value>1</Value><Min>0</Min><Max>24</Max><Inc>0.5</Inc></Float>
      <Float Name="Exposure"><Value>1</Value><Min>0</Min><Max>24</Max></Float>)");
    CIntegerPtr binning = map->GetNode("Binning"), width = map->GetNode("Width");
    CFloatPtr rate = map->GetNode("Rate"), gain = map->GetNode("Gain"), exposure = map->GetNode("Exposure");
    EXPECT_EQ(binning->GetIncMode(), listIncrement);
    EXPECT_EQ(width->GetIncMode(), fixedIncrement);
    EXPECT_EQ(rate->GetIncMode(), listIncrement);
    EXPECT_EQ(gain->GetIncMode(), fixedIncrement);
    EXPECT_EQ(exposure->GetIncMode(), noIncrement);
    EXPECT_EQ(binning->GetListOfValidValues(), (int64_autovector_t{1, 2, 4}));
    EXPECT_EQ(binning->GetListOfValidValues(false), (int64_autovector_t{1, 2, 4, 8}));
    EXPECT_EQ(rate->GetListOfValidValues(), (double_autovector_t{7.5, 15, 30, 60}));
    EXPECT_TRUE(width->GetListOfValidValues().empty()); // an increment, no list
    EXPECT_TRUE(gain->GetListOfValidValues().empty());
    // A list node takes only its values.
    binning->SetValue(4);
    EXPECT_EQ(binning->GetValue(), 4);
    try {
        binning->SetValue(3);
        ADD_FAILURE() << "3 was taken";
    } catch (const GenICam::OutOfRangeException& e) {
        EXPECT_NE(std::string(e.GetDescription()).find("value 3 is not one of the valid values 1, 2, 4, 8"),
                  std::string::npos)
            << e.GetDescription();
    }
    rate->SetValue(15);
    EXPECT_THROW(rate->SetValue(20), GenICam::OutOfRangeException);
}
