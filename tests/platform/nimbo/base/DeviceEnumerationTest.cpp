// Enumerating the devices of every transport layer, on emulated cameras whose enumeration can be made
// to fail.
#include <nimbo/DeviceEnumeration.h>
#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>

#include <GenICam/GenericException.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Nimbo;

namespace {

class DeviceEnumerationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Emulation::Configure("usb:qvUsb1920c:U1;usb:vxUsb1920m:U2;gige:gxGige1280c:G1"));
    }
    void TearDown() override { Emulation::Configure(""); }

    // Every transport layer must have gone back to the factory as often as it was created: one more
    // release than that is refused.
    void expectEveryTransportLayerGivenBack()
    {
        TlInfoList tls;
        factory.EnumerateTls(tls);
        for (const CTlInfo& info : tls) {
            ITransportLayer* tl = factory.CreateTl(info);
            ASSERT_NE(tl, nullptr);
            factory.ReleaseTl(tl);
            EXPECT_THROW(factory.ReleaseTl(tl), GenICam::LogicalErrorException) << info.GetDeviceClass();
        }
    }

    static std::vector<std::string> serials(const DeviceInfoList& devices)
    {
        std::vector<std::string> result;
        for (const CDeviceInfo& device : devices)
            result.push_back(device.GetSerialNumber().str());
        return result;
    }

    CTlFactory& factory = CTlFactory::GetInstance();
};

using Serials = std::vector<std::string>;

TEST_F(DeviceEnumerationTest, EmulatedFailuresComeAfterTheCamerasAndRunOut)
{
    ITransportLayer* usb = factory.CreateTl("VelmarUsb");
    ITransportLayer* gige = factory.CreateTl("VelmarGigE");
    ASSERT_TRUE(usb && gige);
    EXPECT_FALSE(Emulation::FailEnumerations("VelmarCameraLink"));

    ASSERT_TRUE(Emulation::FailEnumerations("VelmarUsb", 2));
    DeviceInfoList list;
    EXPECT_THROW(usb->EnumerateDevices(list, false), GenICam::RuntimeException);
    EXPECT_EQ(list.size(), 2u) << "what was listed before the failure stays in the list";
    EXPECT_EQ(gige->EnumerateDevices(list, false), 1) << "the other transport layer is not touched";
    EXPECT_THROW(factory.EnumerateDevices(list), GenICam::RuntimeException) << "the factory's own runs through it";
    EXPECT_EQ(usb->EnumerateDevices(list, false), 2);

    ASSERT_TRUE(Emulation::FailEnumerations("VelmarGigE", 3));
    ASSERT_TRUE(Emulation::FailEnumerations("VelmarGigE", 0));
    EXPECT_EQ(gige->EnumerateDevices(list, false), 1);
    ASSERT_TRUE(Emulation::FailEnumerations("VelmarGigE", 3));
    ASSERT_TRUE(Emulation::Configure("gige:gxGige1280c:G2"));
    EXPECT_EQ(gige->EnumerateDevices(list, false), 1) << "a new set of cameras starts without failures";
    factory.ReleaseTl(usb);
    factory.ReleaseTl(gige);
}

TEST_F(DeviceEnumerationTest, EveryTransportLayerInTheFactorysOrderWithItsDevices)
{
    TlInfoList tls;
    factory.EnumerateTls(tls);
    const TlDeviceList all = EnumerateTlsAndDevices();
    ASSERT_EQ(all.size(), tls.size());
    for (size_t i = 0; i < tls.size(); ++i)
        EXPECT_EQ(all[i].first.GetDeviceClass(), tls[i].GetDeviceClass());
    EXPECT_EQ(serials(all[0].second), (Serials{"U1", "U2"}));
    EXPECT_EQ(serials(all[1].second), (Serials{"G1"}));
    expectEveryTransportLayerGivenBack();

    TlEnumeration gigeOnly;
    gigeOnly.accept = [](const CTlInfo& tl) { return tl.GetDeviceClass() == "VelmarGigE"; };
    const TlDeviceList gige = EnumerateTlsAndDevices(gigeOnly);
    ASSERT_EQ(gige.size(), 1u);
    EXPECT_EQ(serials(gige[0].second), (Serials{"G1"}));

    // The transport layers alone: none is asked for its devices, so none can fail.
    ASSERT_TRUE(Emulation::FailEnumerations("VelmarUsb"));
    TlEnumeration layersOnly;
    layersOnly.devices = false;
    const TlDeviceList layers = EnumerateTlsAndDevices(layersOnly);
    ASSERT_EQ(layers.size(), tls.size());
    for (const auto& entry : layers)
        EXPECT_TRUE(entry.second.empty());
}

TEST_F(DeviceEnumerationTest, ReportSaysWhatEachTransportLayerHolds)
{
    ASSERT_TRUE(Emulation::Configure("usb:qvUsb1920c:U1;usb:vxUsb1920m:U2"));
    std::vector<std::string> lines;
    TlEnumeration how;
    how.report = [&](const std::string& line) { lines.push_back(line); };
    const TlDeviceList all = EnumerateTlsAndDevices(how);
    ASSERT_EQ(all.size(), 2u);
    const std::vector<std::string> expected = {
        "Enumerated '" + all[0].first.GetFriendlyName().str() + "' and found 2 devices.",
        "    Found '" + all[0].second[0].GetFriendlyName().str() + "'",
        "    Found '" + all[0].second[1].GetFriendlyName().str() + "'",
        "Enumerated '" + all[1].first.GetFriendlyName().str() + "' and found 0 devices.",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(DeviceEnumerationTest, FailingTransportLayerEndsTheEnumerationOrIsPassedOverByChoice)
{
    // The first transport layer fails after listing its cameras.
    struct Case {
        const char* name;
        bool handled;
        bool rethrown;
    };
    for (const Case& c : {Case{"no handler", false, false}, Case{"handler goes on", true, false},
                          Case{"handler rethrows", true, true}}) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Emulation::FailEnumerations("VelmarUsb"));
        std::vector<std::string> reported;
        std::vector<std::string> failures;
        TlEnumeration how;
        how.report = [&](const std::string& line) { reported.push_back(line); };
        if (c.handled)
            how.failed = [&](const CTlInfo& tl) {
                // The handler sees the exception itself.
                try {
                    throw;
                } catch (const GenICam::RuntimeException& e) {
                    failures.push_back(tl.GetDeviceClass().str() + ": " + e.GetDescription());
                    if (c.rethrown)
                        throw;
                }
            };
        if (c.handled && !c.rethrown) {
            const TlDeviceList all = EnumerateTlsAndDevices(how);
            ASSERT_EQ(all.size(), 2u);
            EXPECT_EQ(serials(all[0].second), (Serials{"U1", "U2"})) << "what was listed before the failure";
            EXPECT_EQ(serials(all[1].second), (Serials{"G1"}));
            ASSERT_EQ(reported.size(), 2u) << "only the transport layer that did not fail is reported";
            EXPECT_NE(reported[1].find("G1"), std::string::npos);
        } else {
            EXPECT_THROW(EnumerateTlsAndDevices(how), GenICam::RuntimeException);
            EXPECT_TRUE(reported.empty()) << "no transport layer after the failing one is asked";
        }
        EXPECT_EQ(failures.size(), c.handled ? 1u : 0u);
        if (!failures.empty())
            EXPECT_EQ(failures[0], "VelmarUsb: Emulated failure while enumerating the devices of VelmarUsb.");
        expectEveryTransportLayerGivenBack();
    }
}

} // namespace
