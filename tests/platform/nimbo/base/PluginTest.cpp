// Loading transport-layer plug-ins and the order in which the SDK calls them.
#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>

#include <GenApi/GenApi.h>

#include <testsupport/EmulatedCameras.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace Nimbo;

namespace {

std::string pluginLog()
{
    void* module = dlopen(RECORDING_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (!module)
        return "<not loaded>";
    auto log = reinterpret_cast<const char* (*)()>(dlsym(module, "RecordingPluginLog"));
    std::string text = log ? log() : "<no log>";
    dlclose(module);
    return text;
}

} // namespace

TEST(PluginTest, PluginsServeTheirDevicesInTheSdksOrder)
{
    // Before the factory's first use, which loads the plug-ins.
    setenv("NIMBO_TL_PLUGIN_PATH", RECORDING_PLUGIN_DIR ":/nonexistent/folder", 1);
    void* pin = nullptr;
    {
        NimboAutoInitTerm sdk;
        pin = dlopen(RECORDING_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD); // keeps the log readable after unload
        ASSERT_TRUE(pin) << "the plug-in was not loaded from NIMBO_TL_PLUGIN_PATH";
        ASSERT_TRUE(Emulation::Configure("usb:qvUsb1920c:1;usb:vxUsb1920m:2"));

        INimboDevice* colour = CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera("1"));
        INimboDevice* mono = CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera("2"));
        EXPECT_TRUE(colour->GetDevicePlugin());
        EXPECT_FALSE(mono->GetDevicePlugin());
        GenApi::CIntegerPtr feature = colour->GetNodeMap()->GetNode("FixtureFeature");
        ASSERT_TRUE(feature) << "the contributed description is not in the node map";
        EXPECT_EQ(feature->GetValue(), 7);
        EXPECT_TRUE(colour->GetNodeMap()->GetNode("Width"));
        EXPECT_FALSE(mono->GetNodeMap()->GetNode("FixtureFeature"));

        colour->Open();
        IStreamGrabber* grabber = colour->GetStreamGrabber(0);
        grabber->Open();
        grabber->PrepareGrab();
        grabber->FinishGrab();
        grabber->Close();
        CTlFactory::GetInstance().DestroyDevice(colour);
        CTlFactory::GetInstance().DestroyDevice(mono);
    }
    const std::string expected = "tl-created;contribute:qvUsb1920c;create-device:qvUsb1920c;set-device:map-ok;"
                                 "create-sg;contribute:vxUsb1920m;device-open;sg-open;prepare:map-ok;"
                                 "finish:map-ok;sg-close;device-close;sg-destroyed;destroy-device:map-ok;"
                                 "tl-destroyed;";
    EXPECT_EQ(pluginLog(), expected);
    if (pin)
        dlclose(pin);
}

TEST(PluginTest, PluginsOfAProgramWithoutInitialisationAreReleasedAtExit)
{
    // No NimboAutoInitTerm: the factory releases the plug-in and any device left when the process
    // ends (the leak checker sees it otherwise).
    setenv("NIMBO_TL_PLUGIN_PATH", RECORDING_PLUGIN_DIR, 1);
    ASSERT_TRUE(Emulation::Configure("usb:qvUsb1920c:1"));
    INimboDevice* left = CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera("1"));
    EXPECT_TRUE(left->GetDevicePlugin());
}

TEST(PluginTest, PluginsLoadedAgainAfterATerminateAreReleasedAtExit)
{
    // Plug-ins loaded again after a terminate have globals of their own; the release at exit must
    // still come before those go. Run in a fresh process so that exit itself is what is tested.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("NIMBO_TL_PLUGIN_PATH", RECORDING_PLUGIN_DIR, 1);
    EXPECT_EXIT(
        {
            {
                NimboAutoInitTerm sdk;
                Emulation::Configure("usb:qvUsb1920c:1");
                CTlFactory::GetInstance().DestroyDevice(CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera("1")));
            }
            Emulation::Configure("usb:qvUsb1920c:1");
            INimboDevice* left = CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera("1"));
            std::exit(left && left->GetDevicePlugin() ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "");
}
