// The emulated cameras' register spaces and their GenICam descriptions.
#include "EmulationFixture.h"

#include "emulation/CameraModel.h"
#include "emulation/EventThread.h"

#include <GenApi/GenApi.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <set>

using namespace Nimbo::emulation;
using namespace testnimbo;

TEST(CameraModelTest, EveryDescriptionIsConsistentGenICamXml)
{
    for (const std::string& name : modelNames()) {
        auto model = findModel(name);
        ASSERT_TRUE(model);
        pugi::xml_document doc;
        const std::string xml = model->description();
        ASSERT_TRUE(doc.load_string(xml.c_str())) << name;
        pugi::xml_node root = doc.child("RegisterDescription");
        ASSERT_TRUE(root) << name;
        EXPECT_EQ(std::string(root.attribute("ModelName").value()), name);

        std::set<std::string> nodes;
        for (pugi::xml_node n : root.children())
            EXPECT_TRUE(nodes.insert(n.attribute("Name").value()).second)
                << name << ": twice " << n.attribute("Name").value();
        // Every reference names a node of the description.
        for (pugi::xml_node n : root.children())
            for (pugi::xml_node c : n.children())
                if (c.name()[0] == 'p' && std::string(c.name()) != "pPort") {
                    EXPECT_TRUE(nodes.count(c.text().get()))
                        << name << ": " << n.attribute("Name").value() << "/" << c.name() << " -> " << c.text().get();
                }
        // Registers do not overlap.
        std::vector<std::pair<long long, long long>> spans;
        for (pugi::xml_node n : root.children())
            if (n.child("Address"))
                spans.emplace_back(std::stoll(n.child("Address").text().get(), nullptr, 16),
                                   n.child("Length").text().as_llong());
        std::sort(spans.begin(), spans.end());
        for (size_t i = 1; i < spans.size(); ++i)
            EXPECT_LE(spans[i - 1].first + spans[i - 1].second, spans[i].first) << name;
    }
}

TEST(CameraModelTest, ModelsOfferTheFeaturesOfTheirGeneration)
{
    struct Case {
        const char* model;
        std::vector<const char*> present;
        std::vector<const char*> absent;
    };
    const Case cases[] = {
        {"qvUsb1920c",
         {"ExposureTime", "ExposureTimeRaw", "Gain", "GainRaw", "ResultingFrameRate", "AcquisitionFrameRate",
          "BalanceRatio", "LightSourcePreset", "ColorTransformationValue", "DeviceLinkThroughputLimit",
          "AutoFunctionROIUseBrightness", "SequencerMode", "TestPattern", "LUTValueAll", "TLParamsLocked"},
         {"ExposureTimeAbs", "GainAbs", "GevSCPD", "LightSourceSelector"}},
        {"vxUsb1920m",
         {"ExposureTime", "Gain", "PixelDynamicRangeMax", "LUTEnable"},
         {"BalanceRatio", "LightSourcePreset"}},
        {"gxGige1280c",
         {"ExposureTimeAbs", "GainAbs", "GainRaw", "ResultingFrameRateAbs", "AcquisitionFrameRateAbs",
          "BalanceRatioAbs", "LightSourceSelector", "GevSCPD", "GevSCPSPacketSize", "GevSCFTD", "GammaSelector",
          "AutoFunctionROIUsageIntensity", "SequenceEnable", "TestImageSelector", "AutoTargetValue"},
         {"ExposureTime", "Gain", "DeviceLinkThroughputLimit", "LightSourcePreset"}},
    };
    for (const Case& c : cases) {
        auto model = findModel(c.model);
        ASSERT_TRUE(model) << c.model;
        for (const char* f : c.present)
            EXPECT_TRUE(model->find(f)) << c.model << " lacks " << f;
        for (const char* f : c.absent)
            EXPECT_FALSE(model->find(f)) << c.model << " has " << f;
    }
    EXPECT_EQ(defaultModel("usb")->modelName.substr(0, 2), "qv");
    EXPECT_TRUE(defaultModel("usb")->colour);
    EXPECT_EQ(findModel("vxUsb1920m")->pixelFormats(),
              (std::vector<std::string>{"Mono8", "Mono10", "Mono12", "Mono16"}));
}

TEST(EmulatedCameraTest, GeometryAndPayloadFollowTheSettings)
{
    auto camera = makeCamera("qvUsb1920c");
    Registers r(*camera);
    EXPECT_EQ(r.readInt("Width"), 1920);
    EXPECT_EQ(r.readInt("WidthMax"), 1920);
    EXPECT_EQ(r.readInt("PayloadSize"), 1920 * 1200);
    EXPECT_EQ(r.writeEnum("PixelFormat", "RGB8"), PortStatus::Ok);
    EXPECT_EQ(r.readInt("PayloadSize"), 1920 * 1200 * 3);
    EXPECT_EQ(r.readInt("PixelFormat"), 0x02180014);

    // The offset can only grow once the width leaves room for it, and then limits the width.
    EXPECT_EQ(r.writeInt("OffsetX", 100), PortStatus::Rejected);
    EXPECT_EQ(r.writeInt("Width", 640), PortStatus::Ok);
    EXPECT_EQ(r.writeInt("OffsetX", 100), PortStatus::Ok);
    EXPECT_EQ(r.readInt("WidthMax"), 1820);
    EXPECT_EQ(r.writeInt("Width", 1900), PortStatus::Rejected);
    EXPECT_EQ(r.writeInt("Width", 641), PortStatus::Rejected); // increment 2
    EXPECT_EQ(r.writeInt("Width", 8), PortStatus::Rejected);   // below the minimum
    EXPECT_EQ(r.readInt("Width"), 640);

    EXPECT_EQ(r.writeInt("PayloadSize", 5), PortStatus::Rejected);
    EXPECT_EQ(r.writeEnum("PixelFormat", "Mono8"), PortStatus::Ok);
    int64_t bogus = 99;
    EXPECT_EQ(camera->write(&bogus, r.feature("PixelFormat").address, 8), PortStatus::Rejected);
    EXPECT_EQ(camera->write(&bogus, 0x7, 8), PortStatus::BadAddress);
    EXPECT_EQ(camera->read(&bogus, r.feature("Width").address, 16), PortStatus::BadAddress);
}

TEST(EmulatedCameraTest, LockedParametersRefuseWritesWhileGrabbing)
{
    auto camera = makeCamera("vxUsb1920m");
    Registers r(*camera);
    camera->setParamsLocked(true);
    EXPECT_EQ(r.writeInt("Width", 640), PortStatus::Rejected);
    EXPECT_EQ(r.writeEnum("PixelFormat", "Mono12"), PortStatus::Rejected);
    EXPECT_EQ(r.writeInt("ExposureTimeRaw", 1000), PortStatus::Ok); // not a stream parameter
    camera->setParamsLocked(false);
    EXPECT_EQ(r.writeEnum("PixelFormat", "Mono12"), PortStatus::Ok);
    EXPECT_EQ(r.readInt("PixelDynamicRangeMax"), 4095);
    EXPECT_EQ(r.writeEnum("PixelFormat", "Mono16"), PortStatus::Ok);
    EXPECT_EQ(r.readInt("PixelDynamicRangeMax"), 65535);
}

TEST(EmulatedCameraTest, SelectorsKeepOneValuePerEntry)
{
    auto camera = makeCamera("qvUsb1920c");
    Registers r(*camera);
    const std::pair<const char*, double> ratios[] = {{"Red", 1.5}, {"Green", 1.0}, {"Blue", 2.25}};
    for (const auto& p : ratios) {
        ASSERT_EQ(r.writeEnum("BalanceRatioSelector", p.first), PortStatus::Ok);
        ASSERT_EQ(r.writeFloat("BalanceRatio", p.second), PortStatus::Ok);
    }
    for (const auto& p : ratios) {
        r.writeEnum("BalanceRatioSelector", p.first);
        EXPECT_DOUBLE_EQ(r.readFloat("BalanceRatio"), p.second) << p.first;
    }
    EXPECT_EQ(r.writeFloat("BalanceRatio", 16.0), PortStatus::Rejected);

    // Trigger settings per selector entry.
    r.writeEnum("TriggerSelector", "FrameStart");
    r.writeEnum("TriggerMode", "On");
    r.writeEnum("TriggerSelector", "FrameBurstStart");
    EXPECT_EQ(r.readEnum("TriggerMode"), "Off");
    r.writeEnum("TriggerSelector", "FrameStart");
    EXPECT_EQ(r.readEnum("TriggerMode"), "On");
}

TEST(EmulatedCameraTest, LightSourcePresetLoadsItsColourMatrix)
{
    auto camera = makeCamera("qvUsb1920c");
    Registers r(*camera);
    auto gain = [&r](const char* entry) {
        r.writeEnum("ColorTransformationValueSelector", entry);
        return r.readFloat("ColorTransformationValue");
    };
    EXPECT_EQ(r.readEnum("LightSourcePreset"), "Daylight5000K");
    const double daylight = gain("Gain00");
    EXPECT_NE(daylight, 1.0);
    ASSERT_EQ(r.writeEnum("LightSourcePreset", "Off"), PortStatus::Ok);
    EXPECT_DOUBLE_EQ(gain("Gain00"), 1.0);
    EXPECT_DOUBLE_EQ(gain("Gain01"), 0.0);
    ASSERT_EQ(r.writeEnum("LightSourcePreset", "Daylight5000K"), PortStatus::Ok);
    EXPECT_DOUBLE_EQ(gain("Gain00"), daylight);
}

TEST(EmulatedCameraTest, AutoFunctionsOnceReturnToOff)
{
    for (const char* model : {"qvUsb1920c", "gxGige1280c"}) {
        auto camera = makeCamera(model);
        Registers r(*camera);
        r.writeInt("ExposureTimeRaw", 50000);
        r.writeInt("GainRaw", 120);
        ASSERT_EQ(r.writeEnum("ExposureAuto", "Once"), PortStatus::Ok);
        ASSERT_EQ(r.writeEnum("GainAuto", "Once"), PortStatus::Ok);
        ASSERT_EQ(r.writeEnum("BalanceWhiteAuto", "Once"), PortStatus::Ok);
        EXPECT_EQ(r.readEnum("ExposureAuto"), "Off") << model;
        EXPECT_EQ(r.readEnum("GainAuto"), "Off") << model;
        EXPECT_EQ(r.readEnum("BalanceWhiteAuto"), "Off") << model;
        EXPECT_NE(r.readInt("ExposureTimeRaw"), 50000) << model;
        EXPECT_EQ(r.readInt("GainRaw"), 0) << model;
        ASSERT_EQ(r.writeEnum("ExposureAuto", "Continuous"), PortStatus::Ok);
        EXPECT_EQ(r.readEnum("ExposureAuto"), "Continuous") << model;
    }
}

TEST(EmulatedCameraTest, FrameRateHonoursExposureLimitAndBandwidth)
{
    auto usb = makeCamera("qvUsb1920c");
    Registers u(*usb);
    u.writeInt("Width", 320);
    u.writeInt("Height", 240);
    u.writeInt("ExposureTimeRaw", 1000);
    EXPECT_NEAR(u.readFloat("ResultingFrameRate"), 1000.0, 1e-6);
    u.writeInt("AcquisitionFrameRateEnable", 1);
    u.writeFloat("AcquisitionFrameRate", 250.0);
    EXPECT_NEAR(u.readFloat("ResultingFrameRate"), 250.0, 1e-6);
    u.writeInt("DeviceLinkThroughputLimit", 320 * 240 * 100);
    u.writeEnum("DeviceLinkThroughputLimitMode", "On");
    EXPECT_NEAR(u.readFloat("ResultingFrameRate"), 100.0, 1e-6);

    auto gige = makeCamera("gxGige1280c");
    Registers g(*gige);
    const double fast = g.readFloat("ResultingFrameRateAbs");
    g.writeInt("GevSCPD", 20000);
    EXPECT_LT(g.readFloat("ResultingFrameRateAbs"), fast / 2);
    EXPECT_GT(g.readInt("GevSCDCT"), 0);
}

TEST(EmulatedCameraTest, RemovedCameraRefusesPortAccessAndNotifiesOnce)
{
    auto camera = makeCamera("qvUsb1920c");
    Registers r(*camera);
    std::atomic<int> notices{0};
    camera->addRemovalListener([&notices] { ++notices; });
    EXPECT_TRUE(camera->unplug());
    EXPECT_FALSE(camera->unplug());
    int64_t v;
    EXPECT_EQ(camera->read(&v, r.feature("Width").address, 8), PortStatus::Removed);
    EXPECT_FALSE(camera->tryOpen(nullptr));
    Nimbo::emulation::EventThread::instance().drain();
    EXPECT_EQ(notices.load(), 1);
    EXPECT_TRUE(camera->replug());
    std::string why;
    EXPECT_TRUE(camera->tryOpen(&why)) << why;
    EXPECT_FALSE(camera->tryOpen(&why));
    EXPECT_EQ(why, "The device is already open.");
    camera->close();
    camera->setInUseElsewhere(true);
    EXPECT_FALSE(camera->tryOpen(&why));
    EXPECT_EQ(why, "The device is controlled by another application.");
}

// The node map finds every enumeration entry by the name the description gives it ("EnumEntry_<Enum>_<Symbol>"),
// and an entry without a display name shows its symbol.
TEST(CameraModelTest, EnumerationEntriesKeepTheirDescribedNames)
{
    for (const std::string& name : modelNames()) {
        GenApi::INodeMap* map = GenApi::CreateNodeMap(findModel(name)->description().c_str(), {}, name.c_str());
        EXPECT_NE(map->GetNode("EnumEntry_PixelFormat_Mono8"), nullptr) << name;
        GenApi::NodeList_t nodes;
        map->GetNodes(nodes);
        for (GenApi::INode* node : nodes) {
            GenApi::CEnumerationPtr enumeration(node);
            if (!enumeration)
                continue;
            GenApi::NodeList_t entries;
            enumeration->GetEntries(entries);
            for (GenApi::INode* e : entries) {
                const GenICam::gcstring symbol = GenApi::CEnumEntryPtr(e)->GetSymbolic();
                EXPECT_EQ(e->GetName(), "EnumEntry_" + node->GetName() + "_" + symbol) << name;
                EXPECT_EQ(map->GetNode(e->GetName()), e) << name;
                GenICam::gcstring displayName, attributes;
                if (!e->GetProperty("DisplayName", displayName, attributes))
                    EXPECT_EQ(e->GetDisplayName(), symbol) << name;
            }
        }
        GenApi::DestroyNodeMap(map);
    }
}

