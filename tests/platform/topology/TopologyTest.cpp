// The machine's USB tree as the topology reads it from sysfs, and where the SDK's USB cameras stand in
// it: a real camera under the host controller it hangs on, the emulated ones under their own.
// Aravis (GLib) first: Qt's keyword macros, which the test support brings in, break GLib's headers.
#include "aravis/AravisPrivate.h"

#include <gorsk/Topology.h>

#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>
#include <nimbo/TlFactory.h>

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using Gorsk::INode;

namespace {

std::wstring wide(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

std::wstring text(const INode* node, uint32_t id)
{
    const Gorsk::Property* p = node->GetProperties()->GetById(id);
    return p && p->stringValue ? p->stringValue : L"<absent>";
}

int32_t int32Of(const INode* node, uint32_t id)
{
    const Gorsk::Property* p = node->GetProperties()->GetById(id);
    return p ? p->int32Value : -1;
}

// The USB3 Vision functions below a node, depth first.
void camerasBelow(INode* node, std::vector<INode*>& found)
{
    if (node->GetKind() == Gorsk::NodeKind_U3VDevice)
        found.push_back(node);
    for (size_t i = 0; i < node->GetChildCount(); ++i)
        camerasBelow(node->GetChild(i), found);
}

// A sysfs folder of two host controllers, the SDK's real USB discovery pointed at it as well: on the
// fast bus a USB3 Vision camera this user may not open (it has no device node), so that the SDK lists
// it from sysfs; the other bus is empty. One emulated USB camera and one emulated GigE camera.
class TopologyTest : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        const fs::path sys = fs::path(stdPath()) / "sys", pci = sys / "pci0000:00";
        controller(pci / "0000:00:0d.0" / "usb3", "3", "10000");
        controller(pci / "0000:00:14.0" / "usb1", "1", "480");
        write(sys / "3-1", {{"bDeviceClass", "00"},
                            {"manufacturer", "Velmar"},
                            {"product", "VX-2000c"},
                            {"serial", "21000044"},
                            {"idVendor", "1ab2"},
                            {"idProduct", "00c3"},
                            {"busnum", "3"},
                            {"devnum", "7"},
                            {"speed", "5000"}});
        for (const char* function : {"3-1:1.0", "3-1:1.1", "3-1:1.2"})
            write(sys / function, {{"bInterfaceClass", "ef"}, {"bInterfaceSubClass", "05"}});
        fs::create_directories(fs::path(stdPath()) / "dev");
        Nimbo::aravis::setUsbSysfs(sys.string(), (fs::path(stdPath()) / "dev").string());
        setenv("NIMBO_TOPOLOGY_SYSFS", sys.c_str(), 1);
        // USB discovery sends nothing over the network; GigE discovery must not run here.
        setenv("NIMBO_REAL_CAMERAS", "1", 1);
        ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:U9;gige:gxGige1280c:G9"));
    }
    void TearDown() override
    {
        unsetenv("NIMBO_TOPOLOGY_SYSFS");
        setenv("NIMBO_REAL_CAMERAS", "0", 1);
        Nimbo::aravis::setUsbSysfs("/sys/bus/usb/devices", "/dev");
        Nimbo::Emulation::ConfigureFromEnvironment();
    }

    void write(const fs::path& dir, const std::vector<std::pair<std::string, std::string>>& files)
    {
        fs::create_directories(dir);
        for (const auto& f : files)
            std::ofstream(dir / f.first) << f.second << "\n";
    }
    // A root hub's folder where the kernel has it (below its controller), linked from the bus folder.
    void controller(const fs::path& real, const std::string& bus, const std::string& speed)
    {
        write(real, {{"busnum", bus},
                     {"speed", speed},
                     {"maxchild", "2"},
                     {"bDeviceClass", "09"},
                     {"product", "xHCI Host Controller"}});
        fs::create_directory_symlink(real, fs::path(stdPath()) / "sys" / real.filename());
    }
    // The USB camera the SDK lists with that serial number.
    static Nimbo::CDeviceInfo usbCamera(const char* serial)
    {
        Nimbo::ITransportLayer* usb = Nimbo::CTlFactory::GetInstance().CreateTl("VelmarUsb");
        Nimbo::DeviceInfoList_t list;
        usb->EnumerateDevices(list, false);
        Nimbo::CTlFactory::GetInstance().ReleaseTl(usb);
        for (const auto& info : list)
            if (info.GetSerialNumber() == serial)
                return info;
        ADD_FAILURE() << "the SDK lists no USB camera " << serial;
        return Nimbo::CDeviceInfo();
    }

    Nimbo::NimboAutoInitTerm m_init;
};

} // namespace

// The bandwidth manager finds a camera by the SDK's full name in its node, and gives it the bandwidth of
// the controller above it: a real camera belongs under its own controller, with that controller's
// bandwidth, never under the emulated one.
TEST_F(TopologyTest, ARealCameraStandsUnderItsOwnControllerAndTheEmulatedOnesUnderTheirs)
{
    const Nimbo::CDeviceInfo real = usbCamera("21000044");
    const Nimbo::CDeviceInfo emulated = usbCamera("U9");
    ASSERT_FALSE(real.GetFullName().empty());

    Gorsk::ITopology* topology = Gorsk::CreateTopologyInstance();
    ASSERT_TRUE(topology->Init(0, Gorsk::Init_Machine));
    INode* top = topology->GetRoot();
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(int32Of(top, Gorsk::Property_NumberOfU3VDevices), 2) << "the real camera and the emulated one";

    INode* fast = topology->FindNode(L"0000:00:0d.0");
    ASSERT_NE(fast, nullptr);
    EXPECT_EQ(fast->GetKind(), Gorsk::NodeKind_HostController);
    EXPECT_EQ(fast->GetProperties()->GetById(Gorsk::Property_Bandwidth)->uint64Value, 1000000000u);
    EXPECT_EQ(int32Of(fast, Gorsk::Property_NumberOfU3VDevices), 1);
    std::vector<INode*> cameras;
    camerasBelow(fast, cameras);
    ASSERT_EQ(cameras.size(), 1u);
    INode* camera = cameras[0];
    EXPECT_EQ(std::wstring(camera->GetParent()->GetId()), L"3-1");
    EXPECT_EQ(text(camera, Gorsk::Property_DeviceInstancePath), wide(real.GetFullName().c_str()));
    EXPECT_EQ(text(camera, Gorsk::Property_U3VSerial), L"21000044");
    EXPECT_EQ(text(camera, Gorsk::Property_U3VVendor), L"Velmar");
    EXPECT_EQ(text(camera, Gorsk::Property_U3VModel), L"VX-2000c");

    INode* slow = topology->FindNode(L"0000:00:14.0");
    ASSERT_NE(slow, nullptr);
    EXPECT_EQ(int32Of(slow, Gorsk::Property_NumberOfU3VDevices), 0);

    INode* emulatedController = topology->FindNode(L"emulated-xhci");
    ASSERT_NE(emulatedController, nullptr);
    cameras.clear();
    camerasBelow(emulatedController, cameras);
    ASSERT_EQ(cameras.size(), 1u) << "only the emulated camera";
    EXPECT_EQ(text(cameras[0], Gorsk::Property_DeviceInstancePath), wide(emulated.GetFullName().c_str()));
    Gorsk::DestroyTopologyInstance(topology);
}

// Two cameras that give the same ids and serial number, on two controllers whose bus numbers sort one
// way as text and the other way as numbers: each stands under the controller it hangs on, as the SDK
// names it by its place in the USB tree.
TEST_F(TopologyTest, TwoCamerasOfOneSerialNumberStandEachWhereItHangs)
{
    const fs::path sys = fs::path(stdPath()) / "sys";
    controller(sys / "pci0000:00" / "0000:00:0e.0" / "usb10", "10", "5000");
    write(sys / "10-1", {{"bDeviceClass", "00"},
                         {"manufacturer", "Velmar"},
                         {"product", "VX-2000c"},
                         {"serial", "21000044"},
                         {"idVendor", "1ab2"},
                         {"idProduct", "00c3"},
                         {"busnum", "10"},
                         {"devnum", "2"},
                         {"speed", "5000"}});
    write(sys / "10-1:1.0", {{"bInterfaceClass", "ef"}, {"bInterfaceSubClass", "05"}});

    Gorsk::ITopology* topology = Gorsk::CreateTopologyInstance();
    ASSERT_TRUE(topology->Init(0, Gorsk::Init_Machine));
    for (const char* device : {"3-1", "10-1"}) {
        SCOPED_TRACE(device);
        INode* node = topology->FindNode(wide(device).c_str());
        ASSERT_NE(node, nullptr);
        std::vector<INode*> cameras;
        camerasBelow(node, cameras);
        ASSERT_EQ(cameras.size(), 1u);
        EXPECT_EQ(text(cameras[0], Gorsk::Property_DeviceInstancePath),
                  wide("usb#" + std::string(device) + "#21000044"));
    }
    Gorsk::DestroyTopologyInstance(topology);
}
