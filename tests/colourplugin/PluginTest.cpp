// Tests of the plug-in objects: the model test, the counts, the contributed description, and the whole
// plug-in as the SDK loads it for an emulated colour camera.
#include "ColorMatrixAdapter.h"
#include "DevicePlugin.h"
#include "StreamGrabberPlugin.h"
#include "TestCamera.h"
#include "ToneCurve.h"
#include "TransportLayerPlugin.h"

#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>

#include <GenApi/GenApi.h>

#include <gtest/gtest.h>
#include <testsupport/LogCapture.h>
#include <testsupport/Wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <thread>

namespace {

Nimbo::CDeviceInfo infoWithModel(const char* model)
{
    Nimbo::CDeviceInfo info;
    info.SetModelName(model);
    return info;
}

class Receiver : public Nimbo::IDescriptionReceiver {
public:
    void AddDescription(const GenICam::gcstring& description) override { descriptions.push_back(description); }
    std::vector<GenICam::gcstring> descriptions;
};

// A device plug-in of someone else's.
class ForeignDevicePlugin : public Nimbo::IDevicePlugin {
public:
    ~ForeignDevicePlugin() override = default;
    void SetDevice(Nimbo::INimboDevice*) override {}
    Nimbo::IStreamGrabberPlugin* CreateStreamGrabberPlugin(Nimbo::IStreamGrabber*) override { return nullptr; }
    void DestroyStreamGrabberPlugin(Nimbo::IStreamGrabberPlugin*) override {}
    void OnDeviceOpened() override {}
    GenApi::INodeMap* GetNodeMap() override { return nullptr; }
    void OnDeviceClosing() override {}
    void OnReserved() override {}
};

class ForeignStreamGrabberPlugin : public Nimbo::IStreamGrabberPlugin {
public:
    void OnStreamGrabberOpened() override {}
    void OnStreamGrabberClosing() override {}
    void OnPrepareGrab() override {}
    void OnBufferQueued() override {}
    void OnGrabCancelled() override {}
    void OnFinishGrab() override {}
    void OnReserved() override {}
};
// A device that hands out a test camera's node map.
class StubDevice : public Nimbo::INimboDevice {
public:
    explicit StubDevice(GenApi::INodeMap* map) : m_map(map) {}
    ~StubDevice() override = default;
    void Open(Nimbo::AccessModeSet) override {}
    void Close() override {}
    bool IsOpen() const override { return true; }
    Nimbo::AccessModeSet AccessMode() const override { return Nimbo::AccessModeSet(Nimbo::Control); }
    const Nimbo::CDeviceInfo& GetDeviceInfo() const override { return m_info; }
    GenApi::INodeMap* GetNodeMap() override { return m_map; }
    GenApi::INodeMap* GetTLNodeMap() override { return nullptr; }
    unsigned int GetNumStreamGrabberChannels() const override { return 0; }
    Nimbo::IStreamGrabber* GetStreamGrabber(unsigned int) override { return nullptr; }
    bool IsRemoved() const override { return false; }
    Nimbo::DeviceCallbackHandle RegisterRemovalCallback(Nimbo::DeviceRemovalCallback) override { return 0; }
    bool DeregisterRemovalCallback(Nimbo::DeviceCallbackHandle) override { return false; }
    Nimbo::IDevicePlugin* GetDevicePlugin() const override { return nullptr; }

private:
    GenApi::INodeMap* m_map;
    Nimbo::CDeviceInfo m_info;
};
} // namespace

TEST(StreamGrabberPluginTest, RunsTheEventManagerFromPrepareToFinish)
{
    huvanetest::TestCamera camera;
    StubDevice device(camera.nodeMap());
    Huvane::CDevicePlugin devicePlugin;
    devicePlugin.SetDevice(&device);
    EXPECT_EQ(devicePlugin.GetNodeMap(), camera.nodeMap());
    Nimbo::IStreamGrabberPlugin* grabber = devicePlugin.CreateStreamGrabberPlugin(nullptr);
    const Huvane::CTavoEventManager& manager = static_cast<Huvane::CStreamGrabberPlugin*>(grabber)->eventManager();
    grabber->OnStreamGrabberOpened();
    EXPECT_FALSE(manager.isBound());
    grabber->OnPrepareGrab();
    EXPECT_TRUE(manager.isBound());
    GenApi::CFloatPtr(camera.nodeMap()->GetNode("VlrSaturation"))->SetValue(0.0);
    EXPECT_NEAR(camera.port().matrix(0, 1), 1.0 / 3.0, 1e-9);
    grabber->OnFinishGrab();
    EXPECT_FALSE(manager.isBound());
    grabber->OnPrepareGrab();
    EXPECT_TRUE(manager.isBound());
    // Destroying a prepared grabber's plug-in stops its manager too.
    devicePlugin.DestroyStreamGrabberPlugin(grabber);
}

TEST(StreamGrabberPluginTest, FailedBindIsReportedNotThrownIntoTheSdk)
{
    huvanetest::CameraOptions options;
    options.pixelFormat = false;
    huvanetest::TestCamera camera(options);
    StubDevice device(camera.nodeMap());
    Huvane::CStreamGrabberPlugin grabber(&device);
    testsupport::LogCapture log;
    EXPECT_NO_THROW(grabber.OnPrepareGrab());
    EXPECT_FALSE(grabber.eventManager().isBound());
    EXPECT_TRUE(log.contains("Failed to start the colour event manager."));
    EXPECT_TRUE(log.contains("CStreamGrabberPlugin::OnPrepareGrab: NULL pointer dereferenced"));
    EXPECT_NO_THROW(grabber.OnFinishGrab());
}

TEST(ModelTest, QualifiesByPrefixLengthAndEnding)
{
    struct Case {
        const char* model;
        bool qualifies;
    };
    const Case cases[] = {
        {"qvUsb1920c", true}, {"qvX", true},     {"qvZRXa", true},  {"qvZR", true},
        {"qvZRX", false},     {"qvaZRX", false}, {"qv", false},     {"q", false},
        {"", false},          {"QvUsb", false},  {"xqvUsb", false}, {"qvUsb1920cZRx", true},
    };
    Huvane::CTransportLayerPlugin plugin;
    for (const Case& c : cases) {
        EXPECT_EQ(Huvane::isQualifyingModel(c.model), c.qualifies) << c.model;
        Nimbo::IDevicePlugin* device = plugin.CreateDevicePlugin(infoWithModel(c.model));
        EXPECT_EQ(device != nullptr, c.qualifies) << c.model;
        Receiver receiver;
        plugin.ContributeDescriptions(infoWithModel(c.model), &receiver);
        EXPECT_EQ(receiver.descriptions.size(), c.qualifies ? 1u : 0u) << c.model;
        if (device)
            plugin.DestroyDevicePlugin(device);
    }
    EXPECT_EQ(plugin.devicePluginCount(), 0);
}

TEST(TransportLayerPluginTest, ContributesTheWholeFeatureDescription)
{
    Huvane::CTransportLayerPlugin plugin;
    Receiver receiver;
    plugin.ContributeDescriptions(infoWithModel("qvUsb1920c"), &receiver);
    ASSERT_EQ(receiver.descriptions.size(), 1u);
    const std::string text = receiver.descriptions[0].c_str();
    EXPECT_NE(text.find("ModelName=\"Features\""), std::string::npos);
    EXPECT_NE(text.find("<Converter Name=\"VlrSaturation\""), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 23), "</RegisterDescription>\n");
    plugin.ContributeDescriptions(infoWithModel("qvUsb1920c"), nullptr); // no receiver: nothing to do
}

TEST(TransportLayerPluginTest, CountsOnlyItsOwnDevicePlugins)
{
    Huvane::CTransportLayerPlugin plugin;
    Nimbo::IDevicePlugin* a = plugin.CreateDevicePlugin(infoWithModel("qvA"));
    Nimbo::IDevicePlugin* b = plugin.CreateDevicePlugin(infoWithModel("qvB"));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(plugin.devicePluginCount(), 2);
    ForeignDevicePlugin foreign;
    plugin.DestroyDevicePlugin(&foreign); // neither deleted nor counted off
    plugin.DestroyDevicePlugin(nullptr);
    EXPECT_EQ(plugin.devicePluginCount(), 2);
    plugin.DestroyDevicePlugin(a);
    plugin.DestroyDevicePlugin(b);
    EXPECT_EQ(plugin.devicePluginCount(), 0);
}

TEST(DevicePluginTest, CountsStreamGrabberPluginsAndAnswersNoNodeMapWithoutDevice)
{
    Huvane::CDevicePlugin plugin;
    EXPECT_EQ(plugin.GetNodeMap(), nullptr);
    Nimbo::IStreamGrabberPlugin* grabber = plugin.CreateStreamGrabberPlugin(nullptr);
    ASSERT_NE(grabber, nullptr);
    EXPECT_EQ(plugin.streamGrabberPluginCount(), 1);
    grabber->OnPrepareGrab(); // no device: nothing to bind
    EXPECT_FALSE(static_cast<Huvane::CStreamGrabberPlugin*>(grabber)->eventManager().isBound());
    ForeignStreamGrabberPlugin foreign;
    plugin.DestroyStreamGrabberPlugin(&foreign);
    EXPECT_EQ(plugin.streamGrabberPluginCount(), 1);
    plugin.DestroyStreamGrabberPlugin(grabber);
    EXPECT_EQ(plugin.streamGrabberPluginCount(), 0);
}

TEST(PluginModuleTest, ExportsOnlyTheTwoFactoryFunctions)
{
    const std::string path = std::string(HUVANE_MODULE_PATH);
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto create =
        reinterpret_cast<Nimbo::CreateTransportLayerPluginFunction>(dlsym(module, "CreateTransportLayerPlugin"));
    auto destroy =
        reinterpret_cast<Nimbo::DestroyTransportLayerPluginFunction>(dlsym(module, "DestroyTransportLayerPlugin"));
    ASSERT_TRUE(create && destroy);
    EXPECT_EQ(dlsym(module, "_ZN6Huvane17isQualifyingModelERKN7GenICam8gcstringE"), nullptr);
    Nimbo::ITransportLayerPlugin* plugin = create();
    ASSERT_NE(plugin, nullptr);
    Nimbo::IDevicePlugin* device = plugin->CreateDevicePlugin(infoWithModel("qvUsb1920c"));
    EXPECT_NE(device, nullptr);
    plugin->DestroyDevicePlugin(device);
    destroy(plugin);
    destroy(nullptr);
    dlclose(module);
}

// The SDK loads the built module from NIMBO_TL_PLUGIN_PATH for every device it creates.
class PluginEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:3001;usb:vxUsb1920m:3002")); }
    void TearDown() override
    {
        for (Nimbo::INimboDevice* d : devices)
            Nimbo::CTlFactory::GetInstance().DestroyDevice(d);
        Nimbo::Emulation::WaitForEvents();
    }
    Nimbo::INimboDevice* create(const char* serial)
    {
        Nimbo::DeviceInfoList list;
        Nimbo::CTlFactory::GetInstance().EnumerateDevices(list);
        for (const Nimbo::CDeviceInfo& info : list)
            if (info.GetSerialNumber() == serial) {
                devices.push_back(Nimbo::CTlFactory::GetInstance().CreateDevice(info));
                return devices.back();
            }
        ADD_FAILURE() << "no camera " << serial;
        return nullptr;
    }
    // The factory looks for plug-ins when it starts: point it at the built module first.
    static bool pointFactoryAtModule()
    {
        const std::string module = HUVANE_MODULE_PATH;
        return setenv("NIMBO_TL_PLUGIN_PATH", module.substr(0, module.rfind('/')).c_str(), 1) == 0;
    }
    const bool pathSet = pointFactoryAtModule();
    // Terminating the SDK at the end hands the plug-in back to its module.
    Nimbo::NimboAutoInitTerm sdk;
    std::vector<Nimbo::INimboDevice*> devices;
};

TEST_F(PluginEndToEndTest, ColourCameraGetsTheFeaturesAndTheyReachTheCamera)
{
    Nimbo::INimboDevice* colour = create("3001");
    Nimbo::INimboDevice* mono = create("3002");
    ASSERT_TRUE(colour && mono);
    ASSERT_NE(colour->GetDevicePlugin(), nullptr) << "the SDK did not load the plug-in from " << HUVANE_MODULE_PATH;
    EXPECT_EQ(mono->GetDevicePlugin(), nullptr);
    colour->Open();
    mono->Open();
    GenApi::INodeMap* map = colour->GetNodeMap();
    EXPECT_EQ(colour->GetDevicePlugin()->GetNodeMap(), map);
    EXPECT_EQ(mono->GetNodeMap()->GetNode("VlrHue"), nullptr);
    const GenApi::CFloatPtr saturation = map->GetNode("VlrSaturation");
    const GenApi::CFloatPtr brightness = map->GetNode("VlrBrightness");
    ASSERT_TRUE(saturation && brightness);

    // A colour camera starts in Mono8; the colour features apply to colour formats.
    GenApi::CEnumerationPtr(map->GetNode("PixelFormat"))->FromString("YCbCr422_8");

    // What the camera's preset gives, as the base of the working matrix.
    Huvane::CColorMatrixAdapter base;
    base.bind(map);
    base.readFromCamera();

    Nimbo::IStreamGrabber* grabber = colour->GetStreamGrabber(0);
    grabber->Open();
    grabber->PrepareGrab();

    saturation->SetValue(0.0);
    Huvane::CColorMatrixAdapter written;
    written.bind(map);
    written.readFromCamera();
    const Huvane::ColorMatrix expected = Huvane::ColorMatrix::hueSaturation(0.0, 0.0) * base;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(written.at(i, j), expected.at(i, j), 1e-3) << i << j;

    brightness->SetValue(0.5);
    const GenApi::CRegisterPtr lut = map->GetNode("LUTValueAll");
    ASSERT_TRUE(lut);
    const size_t entries = size_t(lut->GetLength() / 4);
    std::vector<uint32_t> table(entries);
    Huvane::ToneCurve::fillLinear(table, 0.5, 0.0, uint32_t(entries - 1), 1);
    std::vector<uint32_t> camera(entries);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        lut->Get(reinterpret_cast<uint8_t*>(camera.data()), int64_t(entries * 4), false, true);
    } while (camera != table && std::chrono::steady_clock::now() < deadline);
    EXPECT_EQ(camera, table);
    EXPECT_TRUE(GenApi::CBooleanPtr(map->GetNode("LUTEnable"))->GetValue());

    grabber->FinishGrab();
    // Released: the features no longer reach the camera.
    saturation->SetValue(1.0);
    written.readFromCamera();
    EXPECT_NEAR(written.at(0, 1), expected.at(0, 1), 1e-3);
    grabber->Close();
}

// Hue set through the plug-in's feature turns the colours of the camera's own image: positive hue moves
// every colour bar of the emulated scene the same angle toward the next bar on the red-yellow-green way.
TEST_F(PluginEndToEndTest, HueTurnsTheCamerasColoursInItsDirection)
{
    Nimbo::INimboDevice* device = create("3001");
    ASSERT_TRUE(device && device->GetDevicePlugin());
    device->Open();
    GenApi::INodeMap* map = device->GetNodeMap();
    GenApi::CEnumerationPtr(map->GetNode("PixelFormat"))->FromString("RGB8");
    GenApi::CIntegerPtr(map->GetNode("Width"))->SetValue(512);
    GenApi::CIntegerPtr(map->GetNode("Height"))->SetValue(600);
    // Without the preset's matrix the bars keep their pure hues: red 0, yellow 60, green 120 degrees ...
    GenApi::CEnumerationPtr(map->GetNode("LightSourcePreset"))->FromString("Off");
    // ... and half saturation keeps every turned channel inside its range.
    GenApi::CFloatPtr(map->GetNode("VlrSaturation"))->SetValue(0.5);
    const GenApi::CFloatPtr hue = map->GetNode("VlrHue");
    ASSERT_TRUE(hue);
    Nimbo::CInstantCamera camera(device, Nimbo::Cleanup_None);
    for (const double turn : {20.0, -20.0}) {
        hue->SetValue(turn);
        // The plug-in writes the matrix when the grab is prepared, before the first frame.
        camera.StartGrabbing(1, Nimbo::GrabStrategy_OneByOne, Nimbo::GrabLoop_ProvidedByUser);
        Nimbo::CGrabResultPtr result;
        ASSERT_TRUE(camera.RetrieveResult(10000, result, Nimbo::TimeoutHandling_Return));
        ASSERT_TRUE(result->GrabSucceeded());
        const uint8_t* p = static_cast<const uint8_t*>(result->GetBuffer());
        // The angle of each coloured pixel on the colour wheel, modulo the 60 degrees between bars.
        size_t coloured = 0, onTurn = 0;
        const double expected = turn > 0 ? turn : 60.0 + turn;
        for (size_t n = 0; n < size_t(512) * 600; ++n, p += 3) {
            const double r = p[0], g = p[1], b = p[2];
            if (std::max({r, g, b}) - std::min({r, g, b}) < 12)
                continue;
            ++coloured;
            double angle = std::atan2(std::sqrt(3.0) * (g - b), 2 * r - g - b) * 180.0 / 3.141592653589793;
            angle = std::fmod(angle + 360.0, 60.0);
            if (std::fabs(angle - expected) < 8.0)
                ++onTurn;
        }
        ASSERT_GT(coloured, size_t(512) * 600 / 2) << "hue " << turn;
        EXPECT_GT(onTurn, coloured * 95 / 100) << "hue " << turn << ": " << onTurn << " of " << coloured;
        result.Release();
        camera.StopGrabbing();
    }
}

// Grabs start and stop in this thread while another thread keeps moving the colour features, so table
// uploads begin at preparation, run across the grab's own start and stop, and are cut short by its
// finish. After every stop the camera is stopped; after the last start it is acquiring once the last
// upload is through.
TEST_F(PluginEndToEndTest, AcquisitionFollowsTheGrabWhileColoursChange)
{
    Nimbo::INimboDevice* device = create("3001");
    ASSERT_TRUE(device && device->GetDevicePlugin());
    device->Open();
    GenApi::INodeMap* map = device->GetNodeMap();
    GenApi::CEnumerationPtr(map->GetNode("PixelFormat"))->FromString("RGB8");
    GenApi::CIntegerPtr(map->GetNode("Width"))->SetValue(64);
    GenApi::CIntegerPtr(map->GetNode("Height"))->SetValue(64);
    GenApi::CEnumerationPtr(map->GetNode("AcquisitionStatusSelector"))->FromString("AcquisitionActive");
    const GenApi::CBooleanPtr acquiring = map->GetNode("AcquisitionStatus");
    const GenApi::CFloatPtr brightness = map->GetNode("VlrBrightness");
    const GenApi::CFloatPtr contrast = map->GetNode("VlrContrast");
    const GenApi::CFloatPtr hue = map->GetNode("VlrHue");
    const GenApi::CRegisterPtr lut = map->GetNode("LUTValueAll");
    ASSERT_TRUE(acquiring && brightness && contrast && hue && lut);

    std::atomic<bool> changing{true};
    std::thread changer([&] {
        for (int k = 0; changing; ++k) {
            brightness->SetValue(double(k % 9 - 4) / 10.0);
            contrast->SetValue(double(k % 5) / 10.0);
            hue->SetValue(double(k % 13) * 10.0);
            std::this_thread::sleep_for(std::chrono::milliseconds(k % 4));
        }
    });
    Nimbo::CInstantCamera camera(device, Nimbo::Cleanup_None);
    for (int round = 0; round < 16; ++round) {
        camera.StartGrabbing(Nimbo::GrabStrategy_OneByOne, Nimbo::GrabLoop_ProvidedByUser);
        // Varies where in an upload the stop falls.
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 5 * 15));
        camera.StopGrabbing();
        EXPECT_FALSE(acquiring->GetValue()) << "round " << round << ": acquiring after the grab stopped";
    }
    camera.StartGrabbing(Nimbo::GrabStrategy_OneByOne, Nimbo::GrabLoop_ProvidedByUser);
    changing = false;
    changer.join();
    // Outside the changer's values, so that it makes an upload of its own.
    brightness->SetValue(0.45);
    contrast->SetValue(0.25);

    // The last change reaches the camera; the upload that carried it leaves the grab acquiring.
    const size_t entries = size_t(lut->GetLength() / 4);
    std::vector<uint32_t> table(entries);
    Huvane::ToneCurve::fillLinear(table, brightness->GetValue(), contrast->GetValue(), uint32_t(entries - 1), 1);
    std::vector<uint32_t> inCamera(entries);
    const bool uploaded = testsupport::waitFor(
        [&] {
            lut->Get(reinterpret_cast<uint8_t*>(inCamera.data()), int64_t(entries * 4), false, true);
            return inCamera == table;
        },
        30000);
    EXPECT_TRUE(uploaded);
    EXPECT_TRUE(testsupport::waitFor([&] { return acquiring->GetValue(); }, 30000)) << "stopped after the upload";
    camera.StopGrabbing();
    EXPECT_FALSE(acquiring->GetValue());
}
