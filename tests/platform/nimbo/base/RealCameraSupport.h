// Support for tests that talk to real GigE Vision peers. Discovery broadcasts on every network interface, so
// such a test runs in a network namespace that holds only the loopback interface: outside one it
// runs itself again inside a fresh one (as root), and it starts and stops Aravis' fake camera there.
#pragma once

#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>
#include <nimbo/TlFactory.h>

#include <GenApi/GenApi.h>

#include "testsupport/Loopback.h"
#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

namespace testsupport {

inline const char* const kFakeCamera = "/usr/bin/arv-fake-gv-camera-0.8";

// Runs the current test again in a new network namespace with only loopback, after `setup` (shell
// commands run as root inside it, e.g. "ip link set lo mtu 9000"); its exit status.
inline int runInLoopbackNamespace(const std::string& setup = std::string())
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return -1;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string test = std::string(info->test_suite_name()) + "." + info->name();
    const std::string prepare = setup.empty() ? std::string() : " && " + setup;
    const std::string command = "unshare -n sh -c 'ip link set lo up" + prepare +
                                " && exec \"$0\" --gtest_filter=\"$1\"' '" + std::string(self, static_cast<size_t>(n)) +
                                "' '" + test + "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Gives the loopback interface of the test's namespace the address too (the test runs as root there),
// so that a fake camera may take it; true when the interface has it.
inline bool addLoopbackAddress(const std::string& address)
{
    const auto has = [&address] {
        ifaddrs* list = nullptr;
        if (getifaddrs(&list) != 0)
            return false;
        bool found = false;
        for (ifaddrs* a = list; a && !found; a = a->ifa_next) {
            char text[INET_ADDRSTRLEN] = "";
            if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET)
                inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
            found = address == text;
        }
        freeifaddrs(list);
        return found;
    };
    if (!has() && loopbackOnly())
        std::system(("ip addr add " + address + "/8 dev lo").c_str());
    return has();
}

// A real GigE Vision peer on 127.0.0.1 (or `address`, which the namespace's loopback interface must
// have) for as long as it lives; `lostPerThousand` packets are dropped, and `description`, when given,
// is the GenICam file it hands out in place of its own.
class FakeCamera {
public:
    explicit FakeCamera(const std::string& serial, int lostPerThousand = 0, const std::string& description = {},
                        const std::string& address = "127.0.0.1")
    {
        m_pid = fork();
        if (m_pid == 0) {
            const std::string lost = std::to_string(lostPerThousand);
            if (description.empty())
                execl(kFakeCamera, kFakeCamera, "-i", address.c_str(), "-s", serial.c_str(), "-r", lost.c_str(),
                      static_cast<char*>(nullptr));
            else
                execl(kFakeCamera, kFakeCamera, "-i", address.c_str(), "-s", serial.c_str(), "-r", lost.c_str(), "-g",
                      description.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~FakeCamera() { stop(SIGTERM); }
    FakeCamera(const FakeCamera&) = delete;
    FakeCamera& operator=(const FakeCamera&) = delete;

    // Stops the camera as a camera that hangs (SIGSTOP), and lets it go on (SIGCONT); each returns once
    // the camera has.
    void pause()
    {
        kill(m_pid, SIGSTOP);
        int status = 0;
        waitpid(m_pid, &status, WUNTRACED);
    }
    void resume()
    {
        kill(m_pid, SIGCONT);
        int status = 0;
        waitpid(m_pid, &status, WCONTINUED);
    }

    void stop(int signal)
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, signal);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

// Aravis' fake camera paints a diagonal ramp: every pixel depends on x + y only (and on the frame).
inline bool diagonal(const uint8_t* pixels, uint32_t width, uint32_t height)
{
    bool varies = false;
    for (uint32_t y = 1; y < height; ++y)
        for (uint32_t x = 0; x + 1 < width; ++x) {
            if (pixels[y * width + x] != pixels[(y - 1) * width + x + 1])
                return false;
            varies = varies || pixels[y * width + x] != pixels[y * width + x + 1];
        }
    return varies;
}

// One enumeration of the transport layer: the camera of that serial number, if listed.
inline bool enumerate(Nimbo::ITransportLayer& tl, const std::string& serial, Nimbo::CDeviceInfo& info)
{
    Nimbo::DeviceInfoList_t list;
    tl.EnumerateDevices(list, false);
    for (const auto& d : list)
        if (d.GetSerialNumber() == serial.c_str()) {
            info = d;
            return true;
        }
    return false;
}

// Enumerates the GigE transport layer until the camera of that serial appears.
inline bool findGigE(const std::string& serial, Nimbo::CDeviceInfo& info)
{
    Nimbo::ITransportLayer* tl = Nimbo::CTlFactory::GetInstance().CreateTl("VelmarGigE");
    return waitFor([&] { return enumerate(*tl, serial, info); }, 20000);
}

// Aravis' fake camera (as FakeCamera takes it), found by the GigE transport layer, and its device,
// made but not opened; `device()` is null when the camera was not found. The device is closed and
// destroyed with this, before the camera stops, unless `release()` handed it to an owner of its own
// (an instant camera).
class FakeCameraDevice {
public:
    explicit FakeCameraDevice(const std::string& serial, int lostPerThousand = 0, const std::string& description = {},
                              const std::string& address = "127.0.0.1")
        : m_fake(serial, lostPerThousand, description, address)
    {
        if (findGigE(serial, m_info))
            m_device = Nimbo::CTlFactory::GetInstance().CreateDevice(m_info);
    }
    ~FakeCameraDevice()
    {
        if (!m_device)
            return;
        if (m_device->IsOpen())
            m_device->Close();
        Nimbo::CTlFactory::GetInstance().DestroyDevice(m_device);
    }
    FakeCameraDevice(const FakeCameraDevice&) = delete;
    FakeCameraDevice& operator=(const FakeCameraDevice&) = delete;

    Nimbo::INimboDevice* device() const { return m_device; }
    Nimbo::INimboDevice* release() { return std::exchange(m_device, nullptr); }
    const Nimbo::CDeviceInfo& info() const { return m_info; }
    FakeCamera& camera() { return m_fake; }

private:
    FakeCamera m_fake;
    Nimbo::CDeviceInfo m_info;
    Nimbo::INimboDevice* m_device = nullptr;
};

// A transport setting that Aravis fixes for real cameras: read-only, reading what Aravis uses, and its
// tool tip says so; a write fails and changes nothing.
inline void expectFixedByAravis(GenApi::INodeMap& map, const char* name, int64_t value)
{
    SCOPED_TRACE(name);
    GenApi::CIntegerPtr node = map.GetNode(name);
    ASSERT_TRUE(node.IsValid());
    EXPECT_TRUE(GenApi::IsReadable(node));
    EXPECT_FALSE(GenApi::IsWritable(node));
    EXPECT_EQ(node->GetValue(), value);
    const std::string tip = node->GetNode()->GetToolTip().c_str();
    EXPECT_NE(tip.find("Aravis"), std::string::npos) << tip;
    EXPECT_THROW(node->SetValue(value == node->GetMin() ? node->GetMax() : node->GetMin()), GenICam::GenericException);
    EXPECT_EQ(node->GetValue(), value);
}

// Real discovery on inside the namespace, no emulated camera, the SDK initialised.
class RealCameraFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (loopbackOnly())
            setenv("NIMBO_REAL_CAMERAS", "1", 1);
        Nimbo::Emulation::Configure("none");
    }
    void TearDown() override
    {
        setenv("NIMBO_REAL_CAMERAS", "0", 1);
        Nimbo::Emulation::ConfigureFromEnvironment();
    }

    static bool find(const std::string& serial, Nimbo::CDeviceInfo& info) { return findGigE(serial, info); }

    Nimbo::NimboAutoInitTerm m_init;
};

} // namespace testsupport

// Inside the namespace: goes on with the test. Outside it: the test ran in a child namespace (after
// the shell commands given, if any), or was skipped.
#define RUN_IN_LOOPBACK_NAMESPACE(...)                                                                                 \
    do {                                                                                                               \
        if (access(testsupport::kFakeCamera, X_OK) != 0)                                                               \
            GTEST_SKIP() << "aravis-tools is not installed";                                                           \
        if (!testsupport::loopbackOnly()) {                                                                            \
            if (geteuid() != 0)                                                                                        \
                GTEST_SKIP() << "needs root for a network namespace of its own";                                       \
            ASSERT_EQ(testsupport::runInLoopbackNamespace(__VA_ARGS__), 0)                                             \
                << "the test failed inside its network namespace";                                                     \
            return;                                                                                                    \
        }                                                                                                              \
    } while (0)
