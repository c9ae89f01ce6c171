// Plug-in discovery and instances, against the fixture libraries built beside this program.
#include <lorvish/OverlayPlugin.h>
#include <lorvish/PluginManager.h>

#include <testsupport/LogCapture.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

using Lorvish::IOverlayPlugin;
using Lorvish::IPlugin;
using Lorvish::PluginManager;
using testsupport::CapturedMessage;

namespace {

const std::string kFolder = LORVISH_PLUGIN_FIXTURE_DIR;

// Discovery happens once per process, on the first call into the manager: every test asks for
// this log first, so that whichever test runs first records what discovery said. A discovery that
// never ends (a plug-in calling back into the manager while it is loaded) ends the program with a
// clear message instead of leaving it to the test's time limit.
const std::vector<CapturedMessage>& discoveryLog()
{
    static const std::vector<CapturedMessage> log = [] {
        testsupport::LogCapture capture;
        std::future<void> discovery =
            std::async(std::launch::async, [] { PluginManager::isPluginAvailable(QString()); });
        if (discovery.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            std::fprintf(stderr, "plug-in discovery did not finish within 60 s\n");
            std::fflush(stderr);
            std::_Exit(1);
        }
        return capture.messages();
    }();
    return log;
}

// The library if it is loaded in this process, else null; never loads it.
void* loadedLibrary(const std::string& file)
{
    void* handle = dlopen((kFolder + "/" + file).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle); // drop the reference that RTLD_NOLOAD added
    return handle;
}

// Calls one of the fixture's int() test exports, if the library is loaded; else -1.
int askFixture(const std::string& file, const char* function)
{
    void* handle = dlopen((kFolder + "/" + file).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return -1;
    auto query = reinterpret_cast<int (*)()>(dlsym(handle, function));
    const int result = query ? query() : -1;
    dlclose(handle);
    return result;
}

int liveInstances(const std::string& file)
{
    return askFixture(file, "testPluginLiveInstances");
}

// An instance kept by a static object made before the manager, so destroyed after it at exit:
// its destructor still calls into the plug-in and hands it back, as a long-lived owner would.
struct InstanceKeptUntilExit {
    IPlugin* instance = nullptr;
    ~InstanceKeptUntilExit()
    {
        if (!instance)
            return;
        if (std::string(instance->name()) != "Alpha")
            std::_Exit(3);
        PluginManager::destroyInstance(instance);
        if (liveInstances("libAlphaPlugin.so") != 0)
            std::_Exit(4);
    }
} keptUntilExit;

class PluginManagerTest : public ::testing::Test {
protected:
    void SetUp() override { discoveryLog(); }
};

} // namespace

TEST_F(PluginManagerTest, OnlyCompleteLibrariesOfVersionOneZeroAreFound)
{
    const struct {
        const char* name;
        bool available;
    } cases[] = {
        {"Alpha", true},
        {"Twin", true},
        {"Minor", false},
        {"Major", false},
        {"NoVersion", false},
        {"NoCreate", false},
        {"NoDestroy", false},
        {"Broken", false},
        {"Hidden", false},
        {"Lower", false},
        {"Nameless", false},
        {"", false},
        // Names match exactly, letter case included.
        {"alpha", false},
        {"ALPHA", false},
        {"Alpha ", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PluginManager::isPluginAvailable(QString::fromLatin1(c.name)), c.available) << c.name;
        IPlugin* instance = PluginManager::createInstance(QString::fromLatin1(c.name));
        EXPECT_EQ(instance != nullptr, c.available) << c.name;
        PluginManager::destroyInstance(instance);
    }
}

TEST_F(PluginManagerTest, DiscoverySaysWhyALibraryWasSkipped)
{
    const struct {
        std::string text;
        const char* type;
    } expected[] = {
        {"Failed to load library " + kFolder + "/libBrokenPlugin.so", "warning"},
        {kFolder +
             "/libNoVersionPlugin.so: is no valid plugin library. Failed to locate 'ArdenmoorPluginVersion' function",
         "debug"},
        {kFolder + "/libMinorPlugin.so: plugin version (1.1) is not supported.", "warning"},
        {kFolder + "/libMajorPlugin.so: plugin version (2.0) is not supported.", "warning"},
        {kFolder + "/libNoCreatePlugin.so: Failed to locate 'PluginCreateInstance' function", "warning"},
        {kFolder + "/libNoDestroyPlugin.so: Failed to locate 'PluginDestroyInstance' function", "warning"},
        {kFolder + "/libNamelessPlugin.so: plugin reports no name.", "warning"},
    };
    const auto& log = discoveryLog();
    for (const auto& e : expected) {
        bool found = false;
        for (const auto& message : log)
            found = found || (message.text == e.text && message.category == e.type);
        EXPECT_TRUE(found) << e.type << ": " << e.text;
    }
    for (const auto& message : log) {
        EXPECT_EQ(message.text.find("libAlphaPlugin.so"), std::string::npos) << message.text;
        EXPECT_EQ(message.text.find("Hidden"), std::string::npos) << message.text;
        EXPECT_EQ(message.text.find("Lower"), std::string::npos) << message.text;
    }
}

// A library whose create function throws is found, but gives no instance: the failure is logged
// under the plug-in's name and never reaches the caller.
TEST_F(PluginManagerTest, ACreateFunctionThatThrowsGivesNoInstanceAndIsLogged)
{
    EXPECT_TRUE(PluginManager::isPluginAvailable(QStringLiteral("Throwing")));
    testsupport::LogCapture capture;
    IPlugin* instance = reinterpret_cast<IPlugin*>(1);
    EXPECT_NO_THROW(instance = PluginManager::createInstance(QStringLiteral("Throwing")));
    EXPECT_EQ(instance, nullptr);
    bool logged = false;
    for (const auto& message : capture.messages())
        logged =
            logged || (message.category == "warning" &&
                       message.text == "Throwing: Failed to create a plugin instance: no licence for this computer");
    EXPECT_TRUE(logged);
    PluginManager::destroyInstance(instance);
}

TEST_F(PluginManagerTest, ADestroyFunctionThatThrowsIsContainedAndLogged)
{
    IPlugin* instance = PluginManager::createInstance(QStringLiteral("ThrowingDestroy"));
    ASSERT_NE(instance, nullptr);
    testsupport::LogCapture capture;
    EXPECT_NO_THROW(PluginManager::destroyInstance(instance));
    EXPECT_EQ(liveInstances("libThrowingDestroyPlugin.so"), 0);
    bool logged = false;
    for (const auto& message : capture.messages())
        logged = logged || (message.category == "warning" &&
                            message.text == "ThrowingDestroy: Failed to destroy a plugin instance: the device went "
                                            "away under the instance");
    EXPECT_TRUE(logged);
    // The instance is handed back all the same: a second call is refused, not sent to the library again.
    EXPECT_NO_THROW(PluginManager::destroyInstance(instance));
    EXPECT_EQ(liveInstances("libThrowingDestroyPlugin.so"), 0);
}

// The callback plug-in asks for "Alpha" from its version function, while discovery runs.
TEST_F(PluginManagerTest, APluginMayAskTheManagerWhileItIsDiscovered)
{
    EXPECT_TRUE(PluginManager::isPluginAvailable(QStringLiteral("Callback")));
    // Libraries are loaded in name order: Alpha's was known by then.
    EXPECT_EQ(askFixture("libCallbackPlugin.so", "testPluginCallbackAnswer"), 1);
}

// No fixture: the statement runs in a fresh process, so that these threads make the first calls.
TEST(PluginManagerDiscoveryTest, CallersThatArriveDuringDiscoveryWaitForItsWholeResult)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::vector<std::future<bool>> callers;
            for (int i = 0; i < 4; ++i)
                callers.push_back(std::async(std::launch::async, [] {
                    return PluginManager::isPluginAvailable(QStringLiteral("Twin")) &&
                           PluginManager::isPluginAvailable(QStringLiteral("Throwing"));
                }));
            for (auto& caller : callers) {
                if (caller.wait_for(std::chrono::seconds(60)) != std::future_status::ready)
                    std::_Exit(2);
                if (!caller.get())
                    std::_Exit(3);
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(PluginManagerTest, OfTwoLibrariesWithOneNameTheFirstIsUsed)
{
    IPlugin* instance = PluginManager::createInstance(QStringLiteral("Twin"));
    ASSERT_NE(instance, nullptr);
    EXPECT_STREQ(instance->name(), "Twin A");
    EXPECT_EQ(liveInstances("libTwinAPlugin.so"), 1);
    EXPECT_EQ(loadedLibrary("libTwinBPlugin.so"), nullptr) << "the second of a name is not kept";
    PluginManager::destroyInstance(instance);
    EXPECT_EQ(liveInstances("libTwinAPlugin.so"), 0);
}

TEST_F(PluginManagerTest, AnInstanceIsAnOverlayThatDraws)
{
    IPlugin* instance = PluginManager::createInstance(QStringLiteral("Alpha"));
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->nodeMap(), nullptr);
    EXPECT_TRUE(instance->isEnabled());
    auto* overlay = dynamic_cast<IOverlayPlugin*>(instance);
    ASSERT_NE(overlay, nullptr) << "the checked downcast works across the library boundary";
    uint8_t pixels[4] = {};
    const uint8_t raw[1] = {0x5A};
    overlay->draw(raw, Lorvish::SImageFormatEx{}, pixels, 4, nullptr);
    EXPECT_EQ(pixels[3], 0x5A);
    PluginManager::destroyInstance(instance);
}

TEST_F(PluginManagerTest, EachInstanceGoesBackToItsLibraryOnce)
{
    IPlugin* first = PluginManager::createInstance(QStringLiteral("Alpha"));
    IPlugin* second = PluginManager::createInstance(QStringLiteral("Alpha"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(liveInstances("libAlphaPlugin.so"), 2);

    PluginManager::destroyInstance(first);
    EXPECT_EQ(liveInstances("libAlphaPlugin.so"), 1);
    PluginManager::destroyInstance(first); // twice: refused
    EXPECT_EQ(liveInstances("libAlphaPlugin.so"), 1);

    int notAPlugin = 0;
    PluginManager::destroyInstance(reinterpret_cast<IPlugin*>(&notAPlugin));
    PluginManager::destroyInstance(nullptr);
    EXPECT_EQ(liveInstances("libAlphaPlugin.so"), 1);

    PluginManager::destroyInstance(second);
    EXPECT_EQ(liveInstances("libAlphaPlugin.so"), 0);
    EXPECT_NE(loadedLibrary("libAlphaPlugin.so"), nullptr) << "a discovered library stays loaded";
}

TEST_F(PluginManagerTest, SkippedLibrariesDoNotStayLoaded)
{
    for (const char* file : {"libMinorPlugin.so", "libMajorPlugin.so", "libNoVersionPlugin.so", "libNoCreatePlugin.so",
                             "libNoDestroyPlugin.so", "libHiddenOverlay.so", "libLowerplugin.so", "libTwinBPlugin.so"})
        EXPECT_EQ(loadedLibrary(file), nullptr) << file;
}

TEST_F(PluginManagerTest, AnInstanceAliveAtExitCanStillBeUsedAndHandedBack)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            keptUntilExit.instance = PluginManager::createInstance(QStringLiteral("Alpha"));
            if (!keptUntilExit.instance)
                std::_Exit(2);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
