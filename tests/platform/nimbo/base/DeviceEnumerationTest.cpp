// Enumerating the devices of every transport layer, on emulated cameras whose enumeration can be made
// to fail.
#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>

#include <GenICam/GenericException.h>

#include <gtest/gtest.h>

using namespace Nimbo;

namespace {

class DeviceEnumerationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Emulation::Configure("usb:qvUsb1920c:U1;usb:vxUsb1920m:U2;gige:gxGige1280c:G1"));
    }
    void TearDown() override { Emulation::Configure(""); }

    CTlFactory& factory = CTlFactory::GetInstance();
};

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

} // namespace
