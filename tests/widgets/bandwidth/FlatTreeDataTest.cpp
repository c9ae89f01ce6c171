// The bandwidth tree's flat model on emulated GigE and USB cameras.
#include <orbelt/FlatTreeData.h>

#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>

#include <GenICam/GenericException.h>

#include <testsupport/EmulatedCameras.h>
#include <testsupport/HostGrab.h>

#include <QHostAddress>
#include <QNetworkInterface>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace Nimbo;

namespace {

class FlatTreeDataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(
            Emulation::Configure("gige:gxGige1280c:G1;gige:gxGige1280c:G2;usb:vxUsb1920m:U1;usb:qvUsb1920c:U2"));
    }
    void TearDown() override { Emulation::WaitForEvents(); }

    void refreshAll()
    {
        GenICam::gcstring_vector classes;
        classes.push_back("VelmarGigE");
        classes.push_back("VelmarUsb");
        data.setUsableDeviceClasses(classes);
        data.refresh(list, {});
    }

    FlatTreeItemID cameraRow(const char* serial) const
    {
        for (size_t i = 0; i < data.items.size(); ++i)
            if (data.items[i].isCamera && data.items[i].deviceInfo.GetSerialNumber() == serial)
                return i;
        return 0;
    }

    NimboAutoInitTerm init;
    MeasuringCameraList list;
    FlatTreeData data;
};

TEST_F(FlatTreeDataTest, AddItemKeepsIdsUniquePerParent)
{
    ASSERT_EQ(data.items.size(), 1u);
    EXPECT_EQ(data.item(0).displayName, QStringLiteral("Internal Error"));
    const FlatTreeItemID a = data.addItem("a", "A", 0);
    const FlatTreeItemID b = data.addItem("b", "B", 0);
    EXPECT_EQ(data.addItem("a", "other name", 0), a);
    EXPECT_EQ(data.item(a).displayName, QStringLiteral("A"));
    // The same id under another parent is another row.
    const FlatTreeItemID underB = data.addItem("a", "A2", b);
    EXPECT_NE(underB, a);
    EXPECT_EQ(data.item(underB).parent, b);
    EXPECT_EQ(data.item(0).children, (std::vector<FlatTreeItemID>{a, b}));
    EXPECT_EQ(data.findById("a"), a);
    EXPECT_EQ(data.findById("missing"), 0u);
    EXPECT_THROW(data.item(99), std::out_of_range);
    data.reset();
    EXPECT_EQ(data.items.size(), 1u);
}

TEST_F(FlatTreeDataTest, NoUsableDeviceClassGivesOnlyTheRoot)
{
    data.refresh(list, {});
    EXPECT_EQ(data.items.size(), 1u);
    EXPECT_TRUE(data.item(0).children.empty());
}

TEST_F(FlatTreeDataTest, CamerasSitUnderTheirAdapterOrController)
{
    refreshAll();
    const FlatTreeItemID g1 = cameraRow("G1");
    const FlatTreeItemID g2 = cameraRow("G2");
    ASSERT_NE(g1, 0u);
    ASSERT_NE(g2, 0u);
    // One adapter for both GigE cameras, one transport-layer row above it.
    EXPECT_EQ(data.item(g1).parent, data.item(g2).parent);
    const FlatTreeItem& adapter = data.item(data.item(g1).parent);
    EXPECT_TRUE(adapter.isAdapter);
    EXPECT_TRUE(adapter.isGigE);
    EXPECT_TRUE(data.item(g1).isGigE);
    EXPECT_EQ(data.item(adapter.parent).id, QStringLiteral("VelmarGigE"));
    EXPECT_EQ(data.item(adapter.parent).parent, 0u);

    const FlatTreeItemID u1 = cameraRow("U1");
    const FlatTreeItemID u2 = cameraRow("U2");
    ASSERT_NE(u1, 0u);
    ASSERT_NE(u2, 0u);
    EXPECT_FALSE(data.item(u1).isGigE);
    // Walk up to the transport layer, passing a host controller with its bandwidth.
    bool controllerSeen = false;
    FlatTreeItemID row = data.item(u1).parent;
    while (data.item(row).parent != 0) {
        if (data.item(row).isAdapter) {
            controllerSeen = true;
            EXPECT_GT(data.item(row).sample.bytesPerSecondSent, 0u);
        }
        row = data.item(row).parent;
    }
    EXPECT_TRUE(controllerSeen);
    EXPECT_EQ(data.item(row).id, QStringLiteral("VelmarUsb"));
    // Every hub or controller row leads to a camera.
    for (size_t i = 1; i < data.items.size(); ++i) {
        if (!data.items[i].isCamera) {
            EXPECT_FALSE(data.items[i].children.empty()) << data.items[i].displayName.toStdString();
        }
    }
}

TEST_F(FlatTreeDataTest, EnableAndDisableCameraRows)
{
    refreshAll();
    const FlatTreeItemID g1 = cameraRow("G1");
    EXPECT_FALSE(data.enableCamera(0, list));
    EXPECT_FALSE(data.enableCamera(data.item(g1).parent, list));
    EXPECT_FALSE(data.enableCamera(9999, list));
    EXPECT_TRUE(data.enableCamera(g1, list));
    ASSERT_NE(data.item(g1).camera, nullptr);
    EXPECT_EQ(list.cameras.size(), 1u);
    EXPECT_TRUE(data.lastError.empty());

    // A refresh re-attaches the row to its running camera.
    refreshAll();
    EXPECT_EQ(data.item(cameraRow("G1")).camera, list.cameras.at(0));

    data.sampleAll();
    data.resetSamples();
    EXPECT_EQ(data.item(cameraRow("G1")).sample.fpsReceived, -1.0);

    EXPECT_TRUE(data.disableCamera(cameraRow("G1"), list));
    EXPECT_EQ(data.item(cameraRow("G1")).camera, nullptr);
    EXPECT_TRUE(list.cameras.empty());
    EXPECT_FALSE(data.disableCamera(0, list));
}

// While measuring, a camera whose grab cannot start is not switched on: the failure and its reason are
// reported, and the measuring camera made for it goes again.
TEST_F(FlatTreeDataTest, CameraWhoseGrabCannotStartIsNotSwitchedOn)
{
    INimboDevice* device = CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera("U2"));
    device->Open(AccessModeSet(Control) | Stream | Event);
    testsupport::smallFrames(*device->GetNodeMap());
    {
        testsupport::HostGrab host(device);
        GenICam::gcstring_vector classes;
        classes.push_back("VelmarUsb");
        data.setUsableDeviceClasses(classes);
        data.refresh(list, {device});
        const FlatTreeItemID u2 = cameraRow("U2");
        ASSERT_EQ(data.item(u2).preopenedDevice, device);
        startAll(list);
        EXPECT_FALSE(data.enableCamera(u2, list));
        EXPECT_EQ(data.lastError.rfind("Could not start grab.", 0), 0u) << data.lastError;
        EXPECT_NE(data.lastError.find("in use elsewhere"), std::string::npos) << data.lastError;
        EXPECT_EQ(data.item(u2).camera, nullptr);
        EXPECT_TRUE(list.cameras.empty());
        EXPECT_TRUE(host.nextFrame()) << "the host's grab goes on";

        // A camera that starts is switched on, also when asked again while it runs.
        const FlatTreeItemID u1 = cameraRow("U1");
        ASSERT_TRUE(data.enableCamera(u1, list));
        EXPECT_TRUE(data.item(u1).camera->isMeasuringGrab());
        EXPECT_TRUE(data.enableCamera(u1, list));
        EXPECT_TRUE(data.item(u1).camera->isMeasuringGrab());
        stopAll(list);
        data.disableCamera(u1, list);
    }
    // No measuring camera may outlive the host's device.
    while (!list.cameras.empty())
        removeMeasuringCamera(list, list.cameras.back());
    CTlFactory::GetInstance().DestroyDevice(device);
}

TEST_F(FlatTreeDataTest, VanishedCameraLosesRowAndMeasuringCamera)
{
    refreshAll();
    ASSERT_TRUE(data.enableCamera(cameraRow("U1"), list));
    ASSERT_TRUE(data.enableCamera(cameraRow("G2"), list));
    ASSERT_EQ(list.cameras.size(), 2u);
    ASSERT_TRUE(Emulation::Unplug("U1"));
    Emulation::WaitForEvents();
    refreshAll();
    EXPECT_EQ(cameraRow("U1"), 0u);
    ASSERT_EQ(list.cameras.size(), 1u);
    EXPECT_EQ(data.item(cameraRow("G2")).camera, list.cameras[0]);
}

// A transport layer whose enumeration fails; the rest is never asked for.
class FailingTransportLayer : public ITransportLayer {
public:
    const CTlInfo& GetTlInfo() const override { return m_info; }
    int EnumerateDevices(DeviceInfoList_t&, bool) override
    {
        throw GenICam::RuntimeException("the enumeration broke", __FILE__, __LINE__);
    }
    INimboDevice* CreateDevice(const CDeviceInfo&, const GenICam::gcstring_vector&) override { return nullptr; }
    void DestroyDevice(INimboDevice*) override {}
    bool IsDeviceAccessible(const CDeviceInfo&, AccessModeSet) override { return false; }

private:
    CTlInfo m_info;
};

TEST_F(FlatTreeDataTest, FailedEnumerationGivesTheTransportLayerBackAndKeepsTheRunningCameras)
{
    refreshAll();
    ASSERT_TRUE(data.enableCamera(cameraRow("G1"), list));
    FailingTransportLayer failing;
    int taken = 0;
    int givenBack = 0;
    data.createTransportLayer = [&](const String_t&) -> ITransportLayer* {
        ++taken;
        return &failing;
    };
    data.releaseTransportLayer = [&](ITransportLayer* tl) {
        EXPECT_EQ(tl, &failing);
        ++givenBack;
    };
    EXPECT_THROW(refreshAll(), GenICam::GenericException);
    EXPECT_EQ(taken, 1) << "the refresh ends at the first failure";
    EXPECT_EQ(givenBack, taken);
    // The camera the failed refresh could not place keeps running for the next one.
    ASSERT_EQ(list.cameras.size(), 1u);
    EXPECT_TRUE(list.cameras[0]->IsOpen());
}

TEST(FlatTreeDataAdapterNameTest, UnknownAddressGetsAGenericName)
{
    EXPECT_EQ(FlatTreeData::adapterName("203.0.113.77"), QStringLiteral("Network Interface (203.0.113.77)"));
    // An address the host holds is named by its own interface.
    QString loopback;
    for (const QNetworkInterface& netInterface : QNetworkInterface::allInterfaces())
        for (const QNetworkAddressEntry& entry : netInterface.addressEntries())
            if (loopback.isEmpty() && entry.ip() == QHostAddress(QHostAddress::LocalHost))
                loopback = netInterface.humanReadableName();
    if (loopback.isEmpty())
        GTEST_SKIP() << "no interface of this host holds 127.0.0.1";
    EXPECT_EQ(FlatTreeData::adapterName("127.0.0.1"), loopback);
}

} // namespace
