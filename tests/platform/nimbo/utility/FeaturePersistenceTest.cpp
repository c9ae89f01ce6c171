// Feature persistence: values of every kind and of selected features saved to a text and restored.
#include <nimbo/FeaturePersistence.h>

#include <GenApi/GenApi.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

using namespace GenApi;
using Nimbo::CFeaturePersistence;

namespace {

// Device memory where the register at 4 holds one gain per value of the selector register at 0.
class SelectedGainPort : public IPort {
public:
    EAccessMode GetAccessMode() const override { return RW; }
    void Read(void* buffer, int64_t address, int64_t length) override
    {
        if (address == 4)
            std::memcpy(buffer, &gains[selector & 1], 4);
        else
            std::memcpy(buffer, memory + address, size_t(length));
    }
    void Write(const void* buffer, int64_t address, int64_t length) override
    {
        if (address == 4)
            std::memcpy(&gains[selector & 1], buffer, 4);
        else
            std::memcpy(memory + address, buffer, size_t(length));
    }
    uint32_t& selector = *reinterpret_cast<uint32_t*>(memory);
    alignas(4) uint8_t memory[64] = {};
    uint32_t gains[2] = {0, 0};
};

const char* kDescription = R"(<?xml version="1.0" encoding="utf-8"?>
<RegisterDescription ModelName="Persist" VendorName="Test" StandardNameSpace="None" SchemaMajorVersion="1"
  SchemaMinorVersion="1" SchemaSubMinorVersion="0" MajorVersion="1" MinorVersion="0" SubMinorVersion="0">
  <Category Name="Root">
    <pFeature>Width</pFeature><pFeature>Exposure</pFeature><pFeature>Reverse</pFeature><pFeature>Mode</pFeature>
    <pFeature>Label</pFeature><pFeature>GainSelector</pFeature><pFeature>Gain</pFeature><pFeature>Model</pFeature>
    <pFeature>Start</pFeature>
  </Category>
  <Integer Name="Width"><Value>64</Value><Min>8</Min><Max>1024</Max></Integer>
  <Float Name="Exposure"><Value>1000.5</Value><Min>10</Min><Max>100000</Max></Float>
  <Boolean Name="Reverse"><Value>0</Value></Boolean>
  <Enumeration Name="Mode"><EnumEntry Name="Off"><Value>0</Value></EnumEntry>
    <EnumEntry Name="On"><Value>1</Value></EnumEntry><Value>0</Value></Enumeration>
  <StringReg Name="Label"><Address>16</Address><Length>16</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    <Cachable>NoCache</Cachable></StringReg>
  <Enumeration Name="GainSelector"><EnumEntry Name="Red"><Value>0</Value></EnumEntry>
    <EnumEntry Name="Blue"><Value>1</Value></EnumEntry><pValue>SelectorReg</pValue><pSelected>Gain</pSelected></Enumeration>
  <IntReg Name="SelectorReg"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    <Cachable>NoCache</Cachable><Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
  <IntReg Name="Gain"><Address>4</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    <Cachable>NoCache</Cachable><Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
  <Integer Name="Model"><Value>5</Value><ImposedAccessMode>RO</ImposedAccessMode></Integer>
  <Command Name="Start"/>
  <Port Name="Device"/>
</RegisterDescription>
)";

struct Map {
    Map() : map(CreateNodeMap(kDescription, {}, "Cam"), DestroyNodeMap) { map->Connect(&port, "Device"); }
    INodeMap* operator->() const { return map.get(); }
    INodeMap* get() const { return map.get(); }
    SelectedGainPort port;
    std::unique_ptr<INodeMap, void (*)(INodeMap*)> map;
};

} // namespace

TEST(FeaturePersistence, SavedValuesRestoreIntoAFreshNodeMap)
{
    Map source;
    CIntegerPtr(source->GetNode("Width"))->SetValue(640);
    CFloatPtr(source->GetNode("Exposure"))->SetValue(2500.25);
    CBooleanPtr(source->GetNode("Reverse"))->SetValue(true);
    CEnumerationPtr(source->GetNode("Mode"))->FromString("On");
    CStringPtr(source->GetNode("Label"))->SetValue("a\tb\\c");
    CEnumerationPtr selector = source->GetNode("GainSelector");
    CIntegerPtr gain = source->GetNode("Gain");
    selector->FromString("Red");
    gain->SetValue(11);
    selector->FromString("Blue");
    gain->SetValue(22);

    GenICam::gcstring text;
    CFeaturePersistence::SaveToString(text, source.get());
    // Saving walks the selector but leaves it where it was.
    EXPECT_EQ(selector->ToString(), "Blue");
    const std::string saved = text.c_str();
    EXPECT_EQ(saved.find("Model\t"), std::string::npos);     // read-only
    EXPECT_EQ(saved.find("Start"), std::string::npos);       // commands have no value
    EXPECT_EQ(saved.find("SelectorReg"), std::string::npos); // not a feature

    Map target;
    CFeaturePersistence::LoadFromString(text, target.get());
    EXPECT_EQ(CIntegerPtr(target->GetNode("Width"))->GetValue(), 640);
    EXPECT_DOUBLE_EQ(CFloatPtr(target->GetNode("Exposure"))->GetValue(), 2500.25);
    EXPECT_TRUE(CBooleanPtr(target->GetNode("Reverse"))->GetValue());
    EXPECT_EQ(CEnumerationPtr(target->GetNode("Mode"))->ToString(), "On");
    EXPECT_EQ(CStringPtr(target->GetNode("Label"))->GetValue(), "a\tb\\c");
    EXPECT_EQ(CEnumerationPtr(target->GetNode("GainSelector"))->ToString(), "Blue");
    EXPECT_EQ(target.port.gains[0], 11u);
    EXPECT_EQ(target.port.gains[1], 22u);
}

TEST(FeaturePersistence, LoadAppliesWhatItCanAndReportsTheRest)
{
    Map map;
    const GenICam::gcstring text = "# comment\n"
                                   "Width\t5000\n"    // out of range
                                   "Exposure\t77\r\n" // Windows line end
                                   "Model\t9\n"       // read-only
                                   "Nothing\t1\n"     // unknown
                                   "Mode\tOn\n";
    try {
        CFeaturePersistence::LoadFromString(text, map.get());
        FAIL() << "the failures were not reported";
    } catch (const GenICam::RuntimeException& e) {
        const std::string what = e.GetDescription();
        EXPECT_NE(what.find("Width"), std::string::npos);
        EXPECT_NE(what.find("Model"), std::string::npos);
        EXPECT_NE(what.find("Nothing"), std::string::npos);
        EXPECT_EQ(what.find("Exposure"), std::string::npos);
    }
    EXPECT_DOUBLE_EQ(CFloatPtr(map->GetNode("Exposure"))->GetValue(), 77.0);
    EXPECT_EQ(CEnumerationPtr(map->GetNode("Mode"))->ToString(), "On");
    EXPECT_EQ(CIntegerPtr(map->GetNode("Width"))->GetValue(), 64);

    EXPECT_THROW(CFeaturePersistence::LoadFromString("no tab here\n", map.get()), GenICam::InvalidArgumentException);
    EXPECT_THROW(CFeaturePersistence::LoadFromString("", nullptr), GenICam::InvalidArgumentException);
    GenICam::gcstring out;
    EXPECT_THROW(CFeaturePersistence::SaveToString(out, nullptr), GenICam::InvalidArgumentException);
    EXPECT_NO_THROW(CFeaturePersistence::LoadFromString("", map.get()));
}
