// The USB topology: the machine's tree from a sysfs folder and the emulated cameras, the views the
// processing layer derives from it, the filtered properties and the handle.
#include <orbelt/UsbTopologyHandle.h>

#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>

#include <testsupport/TempDir.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace fs = std::filesystem;
using Gorsk::INode;

namespace {

std::wstring text(const INode* node, uint32_t id)
{
    const Gorsk::Property* p = node->GetProperties()->GetById(id);
    return p && p->stringValue ? p->stringValue : L"<absent>";
}

int32_t int32Of(const INode* node, uint32_t id, int32_t absent = -1)
{
    const Gorsk::Property* p = node->GetProperties()->GetById(id);
    return p ? p->int32Value : absent;
}

std::vector<uint32_t> kindsOfChildren(const INode* node)
{
    std::vector<uint32_t> kinds;
    for (size_t i = 0; i < node->GetChildCount(); ++i)
        kinds.push_back(node->GetChild(i)->GetKind());
    return kinds;
}

INode* childById(const INode* node, const std::wstring& id)
{
    for (size_t i = 0; i < node->GetChildCount(); ++i)
        if (node->GetChild(i)->GetId() == id)
            return node->GetChild(i);
    return nullptr;
}

std::wstring wide(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

// A sysfs folder of two host controllers: on bus 1 a hub with a U3V camera, a keyboard with two HID
// functions and a memory stick; bus 2 empty.
class UsbTopologyTest : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        ASSERT_TRUE(Nimbo::Emulation::Configure("usb:vxUsb1920m:U1;gige:gxGige1280c:G1;usb:qvUsb1920c:U2"));
        const fs::path root = stdPath();
        const fs::path pci = root / "pci0000:00";
        controller(pci / "0000:00:14.0" / "usb1", "usb1", "1", "5000", "4");
        controller(pci / "0000:00:1d.0" / "usb2", "usb2", "2", "480", "2");
        device("1-1", {{"bDeviceClass", "09"}, {"product", "USB3.0 Hub"}, {"maxchild", "4"}, {"speed", "5000"}});
        device("1-1.2", {{"bDeviceClass", "00"}, {"product", "Line Camera"}, {"speed", "5000"}});
        device("1-1.2:1.0", {{"bInterfaceClass", "ef"}, {"bInterfaceSubClass", "05"}});
        device("1-1.2:1.1", {{"bInterfaceClass", "ef"}, {"bInterfaceSubClass", "05"}});
        device("1-2", {{"bDeviceClass", "00"}, {"product", "Keyboard"}});
        device("1-2:1.0", {{"bInterfaceClass", "03"}, {"interface", "HID Keyboard"}});
        device("1-2:1.1", {{"bInterfaceClass", "03"}, {"interface", "HID Consumer"}});
        device("1-3", {{"bDeviceClass", "00"}, {"product", "Stick"}});
        device("1-3:1.0", {{"bInterfaceClass", "08"}, {"interface", "Mass Storage"}});
        device("1-4", {{"bDeviceClass", "00"}, {"product", "Gadget"}});
        setenv("NIMBO_TOPOLOGY_SYSFS", stdPath().c_str(), 1);
    }
    void TearDown() override { unsetenv("NIMBO_TOPOLOGY_SYSFS"); }

    void write(const fs::path& dir, const std::vector<std::pair<std::string, std::string>>& files)
    {
        fs::create_directories(dir);
        for (const auto& f : files)
            std::ofstream(dir / f.first) << f.second << "\n";
    }
    void controller(const fs::path& real, const std::string& name, const std::string& bus, const std::string& speed,
                    const std::string& ports)
    {
        write(real, {{"busnum", bus},
                     {"speed", speed},
                     {"maxchild", ports},
                     {"bDeviceClass", "09"},
                     {"product", "xHCI Host Controller"}});
        fs::create_directory_symlink(real, fs::path(stdPath()) / name);
    }
    void device(const std::string& name, const std::vector<std::pair<std::string, std::string>>& files)
    {
        write(fs::path(stdPath()) / name, files);
    }
    std::string fullName(const char* serial)
    {
        Nimbo::DeviceInfoList list;
        Nimbo::CTlFactory::GetInstance().EnumerateDevices(list);
        for (const auto& info : list)
            if (info.GetSerialNumber() == serial)
                return info.GetFullName().c_str();
        return "";
    }
};

} // namespace

TEST_F(UsbTopologyTest, RawTreeHoldsControllersHubsFunctionsAndEmulatedCameras)
{
    Gorsk::ITopology* raw = Gorsk::CreateTopologyInstance();
    ASSERT_TRUE(raw->Init(0, Gorsk::Init_Machine));
    INode* top = raw->GetRoot();
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->GetKind(), 1u);
    EXPECT_EQ(kindsOfChildren(top), (std::vector<uint32_t>{2, 2, 2}));
    EXPECT_EQ(int32Of(top, 0xC0002), 3) << "one sysfs camera, two emulated ones";
    INode* hc1 = childById(top, L"0000:00:14.0");
    ASSERT_NE(hc1, nullptr);
    EXPECT_EQ(hc1->GetProperties()->GetById(0x6F0004)->uint64Value, 500000000u);
    EXPECT_EQ(int32Of(hc1, 0xC0002), 1);
    INode* rootHub = hc1->GetChild(0);
    EXPECT_EQ(rootHub->GetKind(), 3u);
    EXPECT_EQ(int32Of(rootHub, 0x110002), 4);
    EXPECT_EQ(kindsOfChildren(rootHub), (std::vector<uint32_t>{4, 5, 5, 5}));
    INode* camera = childById(rootHub->GetChild(0), L"1-1.2");
    ASSERT_NE(camera, nullptr);
    // Its two U3V interfaces make one function.
    EXPECT_EQ(kindsOfChildren(camera), (std::vector<uint32_t>{27}));
    EXPECT_EQ(kindsOfChildren(childById(rootHub, L"1-2")), (std::vector<uint32_t>{8, 8}));
    EXPECT_EQ(int32Of(childById(top, L"0000:00:1d.0"), 0xC0002), 0);
    EXPECT_EQ(raw->FindNode(L"1-3:1.0")->GetKind(), 9u);
    EXPECT_EQ(raw->FindNode(L"no such node"), nullptr);
    Gorsk::DestroyTopologyInstance(raw);
}

TEST_F(UsbTopologyTest, CameraViewShowsControllersHubsAndCamerasInPlaceOfTheirDevices)
{
    UsbTopologyHandle handle;
    uint32_t status = 99;
    handle.open(&status, procLayer::View_Cameras, nullptr, 0, 0);
    ASSERT_EQ(status, 0u);
    EXPECT_EQ(handle.initialized, 1u);
    ASSERT_NE(handle.root, nullptr);
    EXPECT_EQ(handle.root->GetKind(), 1u);
    EXPECT_EQ(int32Of(handle.root, 0xC0002), 3);
    EXPECT_EQ(kindsOfChildren(handle.root), (std::vector<uint32_t>{2, 2, 2}));

    // The root hub is passed through; the camera device is replaced by its U3V function; plain
    // devices take the kind of their functions and name them beside their location.
    INode* hc1 = childById(handle.root, L"0000:00:14.0");
    ASSERT_NE(hc1, nullptr);
    EXPECT_EQ(hc1->GetProperties()->GetById(0x6F0004)->uint64Value, 500000000u);
    EXPECT_EQ(kindsOfChildren(hc1), (std::vector<uint32_t>{4, 8, 9, 5}));
    INode* hub = hc1->GetChild(0);
    EXPECT_EQ(int32Of(hub, 0xC0002), 1);
    EXPECT_EQ(kindsOfChildren(hub), (std::vector<uint32_t>{27}));
    EXPECT_EQ(text(childById(hc1, L"1-2"), 0xB0006), L"1-2 (HID Keyboard, HID Consumer)");
    EXPECT_EQ(text(childById(hc1, L"1-3"), 0xB0006), L"1-3 (Mass Storage)");
    EXPECT_EQ(text(childById(hc1, L"1-4"), 0xB0006), L"1-4") << "no functions: the location unchanged";

    INode* emulated = childById(handle.root, L"emulated-xhci");
    ASSERT_NE(emulated, nullptr);
    EXPECT_EQ(int32Of(emulated, 0xC0002), 2);
    ASSERT_EQ(kindsOfChildren(emulated), (std::vector<uint32_t>{27, 27}));
    EXPECT_EQ(text(emulated->GetChild(0), 0xA5C0006), wide(fullName("U1")));
    EXPECT_EQ(text(emulated->GetChild(1), 0xA5C0006), wide(fullName("U2")));
}

TEST_F(UsbTopologyTest, FlatAndCompleteViewsAndNodeTranslation)
{
    procLayer::CTopologyEx topology;
    const procLayer::InitParameter parameters[] = {{0, 7}, {2, 9}};
    ASSERT_TRUE(topology.Init(0, parameters, 2, 0x10001));
    INode* flat = topology.GetView(procLayer::View_Flat)->GetRoot();
    EXPECT_EQ(kindsOfChildren(flat), (std::vector<uint32_t>{27, 27, 27}));
    EXPECT_EQ(flat->GetChild(0)->GetId(), std::wstring(L"1-1.2:1.0"));

    // The complete view mirrors the raw tree node by node.
    std::function<void(INode*, INode*)> same = [&](INode* a, INode* b) {
        ASSERT_EQ(std::wstring(a->GetId()), std::wstring(b->GetId()));
        EXPECT_EQ(a->GetKind(), b->GetKind());
        EXPECT_EQ(a->GetProperties()->GetCount(), b->GetProperties()->GetCount()) << a->GetId();
        ASSERT_EQ(a->GetChildCount(), b->GetChildCount()) << a->GetId();
        for (size_t i = 0; i < a->GetChildCount(); ++i)
            same(a->GetChild(i), b->GetChild(i));
    };
    same(topology.GetRoot(), topology.GetView(procLayer::View_Complete)->GetRoot());

    INode* camera = topology.GetView(procLayer::View_Cameras)->GetRoot()->GetChild(0)->GetChild(0)->GetChild(0);
    ASSERT_EQ(camera->GetKind(), 27u);
    EXPECT_EQ(topology.viewOf(camera), procLayer::View_Cameras);
    INode* inFlat = topology.TranslateNode(camera, procLayer::View_Flat);
    ASSERT_NE(inFlat, nullptr);
    EXPECT_EQ(inFlat, flat->GetChild(0));
    EXPECT_EQ(topology.TranslateNode(topology.FindNode(L"1-1.2:1.0"), procLayer::View_Flat), inFlat) << "from raw";
    EXPECT_EQ(topology.TranslateNode(nullptr, procLayer::View_Flat), flat);
    // The hub has no counterpart among the flat list's cameras.
    EXPECT_EQ(topology.TranslateNode(camera->GetParent(), procLayer::View_Flat), nullptr);
    EXPECT_EQ(topology.viewOf(topology.FindNode(L"1-2")), procLayer::View_None);

    // A refresh reads the tree again and rebuilds the views.
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:vxUsb1920m:U3"));
    ASSERT_TRUE(topology.Refresh());
    EXPECT_EQ(topology.GetView(procLayer::View_Flat)->GetRoot()->GetChildCount(), 2u);
}

TEST_F(UsbTopologyTest, PropertiesAreFilteredAndOrderedPerViewAndKind)
{
    procLayer::CTopologyEx topology;
    ASSERT_TRUE(topology.Init(0, 0x10001));
    INode* camera = childById(topology.GetView(procLayer::View_Cameras)->GetRoot(), L"emulated-xhci")->GetChild(0);
    Gorsk::INodeProperties* summary = topology.GetNodeProperties(camera, procLayer::PropertyFilter_Summary);
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(topology.GetNodeProperties(camera, procLayer::PropertyFilter_Summary), summary) << "cached";
    std::vector<uint32_t> ids(summary->GetCount());
    ASSERT_EQ(summary->GetIds(ids.data(), static_cast<uint32_t>(ids.size())), 6u);
    EXPECT_EQ(ids, (std::vector<uint32_t>{0xA280006, 0xA290006, 0xA2A0006, 0xA2B0006, 0xA2C0006, 0xC70002}));
    EXPECT_EQ(std::wstring(summary->GetByIndex(2)->stringValue), L"U1");
    EXPECT_EQ(summary->GetByIndex(6), nullptr);
    EXPECT_FALSE(summary->HasId(0xA5C0006));
    EXPECT_NE(summary->GetById(0xA5C0006), nullptr) << "by id the filter does not apply";
    // A buffer that is too small is left alone; the count comes back anyway.
    uint32_t small[2] = {0, 0};
    EXPECT_EQ(summary->GetIds(small, 2), 6u);
    EXPECT_EQ(small[0], 0u);

    // A filter without a list keeps every id, in ascending order.
    Gorsk::INodeProperties* all = topology.GetNodeProperties(camera, 99);
    std::vector<uint32_t> every(all->GetCount());
    all->GetIds(every.data(), static_cast<uint32_t>(every.size()));
    EXPECT_EQ(every.size(), camera->GetProperties()->GetCount());
    EXPECT_TRUE(std::is_sorted(every.begin(), every.end()));
    EXPECT_EQ(topology.GetNodeProperties(nullptr, 4), nullptr);
}

TEST(PropertyOrderTest, RankedIdsFirstThenById)
{
    const std::map<uint32_t, uint32_t> order = {{0x30, 1}, {0x10, 2}};
    const struct {
        bool withOrder;
        uint32_t a, b;
        bool less;
    } cases[] = {
        {false, 0x10, 0x30, true}, {false, 0x30, 0x10, false}, {true, 0x30, 0x10, true}, {true, 0x10, 0x30, false},
        {true, 0x10, 0x05, true},  {true, 0x05, 0x10, false},  {true, 0x05, 0x07, true}, {true, 0x07, 0x07, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(procLayer::comparePropertyIds(c.withOrder ? &order : nullptr, c.a, c.b), c.less)
            << std::hex << c.a << " " << c.b << " " << c.withOrder;
}

// The predicates on a hand-built tree: a hub right under a root hub without ports is generic.
TEST(SkipPredicateTest, GenericHubAndU3VChild)
{
    Gorsk::ITopology* tree = Gorsk::CreateTopologyInstance();
    ASSERT_TRUE(tree->Init(0, Gorsk::Init_Empty));
    ASSERT_TRUE(tree->BeginUpdate());
    INode* top = tree->AddNode(nullptr, 1, L"top", L"top");
    INode* quietRoot = tree->AddNode(tree->AddNode(top, 2, L"hc", L"hc"), 3, L"rh", L"rh");
    INode* portedRoot = tree->AddNode(top, 3, L"rh2", L"rh2");
    Gorsk::Property ports;
    ports.int32Value = 4;
    tree->SetProperty(portedRoot, 0x110002, ports);
    INode* genericHub = tree->AddNode(quietRoot, 4, L"h1", L"h1");
    INode* portedHub = tree->AddNode(portedRoot, 4, L"h2", L"h2");
    INode* nestedHub = tree->AddNode(genericHub, 4, L"h3", L"h3");
    INode* camera = tree->AddNode(genericHub, 5, L"d", L"d");
    tree->AddNode(camera, 8, L"hid", L"hid");
    tree->AddNode(camera, 27, L"u3v", L"u3v");
    ASSERT_TRUE(tree->EndUpdate(true));

    procLayer::CIsGenericHub generic;
    EXPECT_TRUE(generic.test(quietRoot, genericHub));
    EXPECT_FALSE(generic.test(portedRoot, portedHub));
    EXPECT_FALSE(generic.test(genericHub, nestedHub)) << "parent is no root hub";
    EXPECT_FALSE(generic.test(quietRoot, camera)) << "no hub";
    procLayer::CHasU3VChildNode hasU3V;
    EXPECT_TRUE(hasU3V.test(genericHub, camera));
    EXPECT_FALSE(hasU3V.test(quietRoot, genericHub));
    Gorsk::DestroyTopologyInstance(tree);
}

TEST_F(UsbTopologyTest, HandleStatusesMessagesAndTeardown)
{
    EXPECT_EQ(procLayer::createTopologyEx(nullptr), 0xE2000008u);
    std::string message;
    EXPECT_EQ(UsbTopologyHandle::statusMessage(0xE2000008u, &message), 0u);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(message.find('\0'), std::string::npos);

    UsbTopologyHandle handle;
    uint32_t status = 99;
    handle.open(&status, procLayer::View_Cameras, nullptr, 5, 0);
    ASSERT_EQ(status, 0u);
    EXPECT_EQ(handle.callbackContext, 5u);
    EXPECT_NE(handle.registration, nullptr);
    ASSERT_TRUE(Nimbo::Emulation::Configure("none"));
    ASSERT_TRUE(handle.topology->Refresh());
    handle.refreshRoot(procLayer::View_Cameras);
    ASSERT_NE(handle.root, nullptr);
    EXPECT_EQ(int32Of(handle.root, 0xC0002), 1) << "only the sysfs camera is left";
    handle.close();
    EXPECT_EQ(handle.topology, nullptr);
    EXPECT_EQ(handle.root, nullptr);
    handle.close();
}
