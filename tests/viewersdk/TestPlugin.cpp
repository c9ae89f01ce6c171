// One viewer plug-in library for the discovery tests, built several times with different
// definitions: its name, the version it reports and which entry points it leaves out.
#include <lorvish/OverlayPlugin.h>
#ifdef TEST_PLUGIN_CALLS_BACK
#include <lorvish/PluginManager.h>
#endif

#include <cstring>
#include <stdexcept>

#ifndef TEST_PLUGIN_NAME
#error "TEST_PLUGIN_NAME must be defined"
#endif
#ifndef TEST_PLUGIN_LABEL
#define TEST_PLUGIN_LABEL TEST_PLUGIN_NAME
#endif
#ifndef TEST_PLUGIN_MAJOR
#define TEST_PLUGIN_MAJOR 1
#endif
#ifndef TEST_PLUGIN_MINOR
#define TEST_PLUGIN_MINOR 0
#endif

#define TEST_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

int g_liveInstances = 0;
// What the manager answered when the version function asked it about another plug-in: -1 not asked.
int g_callbackAnswer = -1;

// Draws its label's first letter as a grey level into the top-left pixel of the display image.
class TestOverlay final : public Lorvish::IOverlayPlugin {
public:
    const char* name() override { return TEST_PLUGIN_LABEL; }
    GenApi::INodeMap* nodeMap() override { return nullptr; }
    int firstIntegerQuery() override { return 0; }
    int secondIntegerQuery() override { return 1; }
    bool isEnabled() override { return true; }
    void draw(const uint8_t* rawData, const Lorvish::SImageFormatEx&, uint8_t* pixels, int, Lorvish::HBITMAP) override
    {
        if (pixels)
            std::memset(pixels, rawData ? rawData[0] : TEST_PLUGIN_LABEL[0], 4);
    }
};

} // namespace

#ifndef TEST_PLUGIN_NO_VERSION
TEST_PLUGIN_EXPORT void ArdenmoorPluginVersion(uint32_t* major, uint32_t* minor, uint32_t* third,
                                               GenICam::gcstring* name)
{
    *major = TEST_PLUGIN_MAJOR;
    *minor = TEST_PLUGIN_MINOR;
    *third = 7;
    *name = TEST_PLUGIN_NAME;
#ifdef TEST_PLUGIN_CALLS_BACK
    // A plug-in that depends on another one asks for it while it is being discovered.
    g_callbackAnswer = Lorvish::PluginManager::isPluginAvailable(QStringLiteral("Alpha")) ? 1 : 0;
#endif
}
#endif

#if defined(TEST_PLUGIN_CREATE_THROWS)
// A plug-in that cannot work here (no licence, no device) and says so the C++ way.
TEST_PLUGIN_EXPORT Lorvish::IPlugin* PluginCreateInstance()
{
    throw std::runtime_error("no licence for this computer");
}
#elif !defined(TEST_PLUGIN_NO_CREATE)
TEST_PLUGIN_EXPORT Lorvish::IPlugin* PluginCreateInstance()
{
    ++g_liveInstances;
    return new TestOverlay;
}
#endif

#ifndef TEST_PLUGIN_NO_DESTROY
TEST_PLUGIN_EXPORT void PluginDestroyInstance(Lorvish::IPlugin* instance)
{
    --g_liveInstances;
    delete static_cast<TestOverlay*>(static_cast<Lorvish::IOverlayPlugin*>(instance));
#ifdef TEST_PLUGIN_DESTROY_THROWS
    throw std::runtime_error("the device went away under the instance");
#endif
}
#endif

// For the tests only: instances made and not yet destroyed by this library.
TEST_PLUGIN_EXPORT int testPluginLiveInstances()
{
    return g_liveInstances;
}

TEST_PLUGIN_EXPORT int testPluginCallbackAnswer()
{
    return g_callbackAnswer;
}
