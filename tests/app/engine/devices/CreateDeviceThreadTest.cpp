// Tests of device creation on its own thread and of the tool feature description it injects.
#include "CreateDeviceThread.h"
#include "ToldFailure.h"
#include "ToolFeatureDescription.h"

#include <GenApi/GenApi.h>
#include <brasko/AsyncErrorQueue.h>
#include <nimbo/Emulation.h>
#include <nimbo/TlFactory.h>
#include <testsupport/LogCapture.h>

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

class CreateDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Entries of earlier tests are delivered before this one counts.
        QCoreApplication::processEvents();
        GetTheGlobalAsyncErrorQueue()->clear();
    }
    void TearDown() override { Nimbo::Emulation::Configure(""); }

    static Nimbo::CDeviceInfo firstDevice()
    {
        Nimbo::DeviceInfoList list;
        Nimbo::CTlFactory::GetInstance().EnumerateDevices(list);
        return list.empty() ? Nimbo::CDeviceInfo() : list.front();
    }

    Nimbo::NimboAutoInitTerm m_sdk;
};

void expectPickerNode(GenApi::INodeMap* map)
{
    ASSERT_NE(map, nullptr);
    GenApi::CBooleanPtr picker(map->GetNode("WhiteBalancePickerEnable"));
    ASSERT_TRUE(picker.IsValid());
    EXPECT_FALSE(picker->GetValue());
    EXPECT_TRUE(GenApi::IsWritable(picker));
    GenApi::CCategoryPtr controls(map->GetNode("WhiteBalancePickerControls"));
    ASSERT_TRUE(controls.IsValid());
    GenApi::FeatureList_t features;
    controls->GetFeatures(features);
    ASSERT_EQ(features.size(), 1u);
    EXPECT_EQ(features[0]->GetNode()->GetName(), "WhiteBalancePickerEnable");
}

TEST(ToolFeatureDescriptionTest, DescriptionBuildsTheFloatingPickerNode)
{
    GenApi::INodeMap* map = GenApi::CreateNodeMap(toolFeatureDescription(), GenICam::gcstring_vector(), "Tool");
    expectPickerNode(map);
    GenApi::CBooleanPtr picker(map->GetNode("WhiteBalancePickerEnable"));
    picker->SetValue(true);
    EXPECT_TRUE(picker->GetValue());
    EXPECT_EQ(picker->GetNode()->GetDisplayName(), "Enable White Balance");
    EXPECT_EQ(picker->GetNode()->GetToolTip(), "Enables the white balance picker tool.");
    GenApi::DestroyNodeMap(map);
}

TEST_F(CreateDeviceTest, EveryEmulatedModelGetsThePickerNode)
{
    for (const char* cameras : {"usb:qvUsb1920c:U1", "usb:vxUsb1920m:U2", "gige:gxGige1280c:G1"}) {
        SCOPED_TRACE(cameras);
        ASSERT_TRUE(Nimbo::Emulation::Configure(cameras));
        Nimbo::INimboDevice* device = CreateDeviceThread::createDevice(firstDevice());
        ASSERT_NE(device, nullptr);
        device->Open();
        expectPickerNode(device->GetNodeMap());
        // The camera's own features stay next to the injected ones.
        EXPECT_NE(device->GetNodeMap()->GetNode("Width"), nullptr);
        Nimbo::CTlFactory::GetInstance().DestroyDevice(device);
    }
}

TEST_F(CreateDeviceTest, UnknownDeviceClassGivesNullWithoutMessage)
{
    Nimbo::CDeviceInfo info;
    info.SetDeviceClass("NoSuchTransportLayer").SetFullName("nothing");
    QSignalSpy shown(GetTheGlobalAsyncErrorQueue(), &AsyncErrorQueue::displayError);
    testsupport::LogCapture log;
    EXPECT_EQ(CreateDeviceThread::createDevice(info), nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.count(), 0);
    EXPECT_EQ(GetTheGlobalAsyncErrorQueue()->count(), 0u);
    EXPECT_FALSE(log.contains("TLFactory returned"));
}

TEST_F(CreateDeviceTest, FailedCreationIsShownOnceAndGivesNull)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:U1"));
    Nimbo::CDeviceInfo info = firstDevice();
    ASSERT_TRUE(Nimbo::Emulation::Unplug("U1"));
    QSignalSpy shown(GetTheGlobalAsyncErrorQueue(), &AsyncErrorQueue::displayError);
    testsupport::LogCapture log;
    EXPECT_EQ(CreateDeviceThread::createDevice(info), nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.count(), 1);
    EXPECT_EQ(log.count("DeviceContext::createNimboDevice"), 1u);
    EXPECT_TRUE(log.contains("has been removed"));
}

// With the camera's memory of what it was told, the same creation failure again is only logged; a device
// made clears the memory, so the next failure is shown even when it reads the same.
TEST_F(CreateDeviceTest, TheSameFailureAgainIsOnlyLoggedUntilADeviceIsMade)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:U1"));
    Nimbo::CDeviceInfo info = firstDevice();
    ASSERT_TRUE(Nimbo::Emulation::Unplug("U1"));
    ToldFailure told;
    QSignalSpy shown(GetTheGlobalAsyncErrorQueue(), &AsyncErrorQueue::displayError);
    testsupport::LogCapture log;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        SCOPED_TRACE(attempt);
        EXPECT_EQ(CreateDeviceThread::createDevice(info, "DeviceContext::createNimboDevice", &told), nullptr);
        QCoreApplication::processEvents();
        EXPECT_EQ(shown.count(), 1);
        EXPECT_EQ(log.count("(told already)"), static_cast<size_t>(attempt - 1));
    }

    ASSERT_TRUE(Nimbo::Emulation::Replug("U1"));
    Nimbo::INimboDevice* device = CreateDeviceThread::createDevice(info, "DeviceContext::createNimboDevice", &told);
    ASSERT_NE(device, nullptr);
    Nimbo::CTlFactory::GetInstance().DestroyDevice(device);
    ASSERT_TRUE(Nimbo::Emulation::Unplug("U1"));
    EXPECT_EQ(CreateDeviceThread::createDevice(info, "DeviceContext::createNimboDevice", &told), nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.count(), 2) << "the failure after a device was made was not shown";
}

TEST_F(CreateDeviceTest, ThreadCapturesTheExceptionAsACopy)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:U1"));
    Nimbo::CDeviceInfo info = firstDevice();
    ASSERT_TRUE(Nimbo::Emulation::Unplug("U1"));
    Nimbo::ITransportLayer* tl = Nimbo::CTlFactory::GetInstance().CreateTl(info.GetDeviceClass());
    ASSERT_NE(tl, nullptr);
    {
        CreateDeviceThread thread(tl, info);
        thread.start();
        ASSERT_TRUE(thread.wait(10000));
        EXPECT_EQ(thread.getDevice(), nullptr);
        ASSERT_NE(thread.getGenICamException(), nullptr);
        EXPECT_NE(std::string(thread.getGenICamException()->GetDescription()), "");
        EXPECT_EQ(thread.getStdException(), nullptr);
        // A second run starts from a clean slate and succeeds once the camera is back.
        ASSERT_TRUE(Nimbo::Emulation::Replug("U1"));
        thread.start();
        ASSERT_TRUE(thread.wait(10000));
        EXPECT_EQ(thread.getGenICamException(), nullptr);
        ASSERT_NE(thread.getDevice(), nullptr);
        Nimbo::CTlFactory::GetInstance().DestroyDevice(thread.getDevice());
    }
    Nimbo::CTlFactory::GetInstance().ReleaseTl(tl);
}

} // namespace
