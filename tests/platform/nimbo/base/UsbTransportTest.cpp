// The USB3 Vision transport below the device objects: a lost camera reported from one of Aravis' own
// threads, and the camera's USB device held only while it is open. No USB3 Vision camera is at hand:
// Aravis' in-process fake camera stands in, through the same backend paths as a USB one (its stream
// fills the lent buffers directly on a stream thread of Aravis', as the USB stream does).
#include "aravis/AravisPrivate.h"
#include "aravis/UsbDeviceIds.h"

#include "RealCameraSupport.h"

#include <nimbo/Emulation.h>

#include "testsupport/LogCapture.h"
#include "testsupport/TempDir.h"
#include "testsupport/Wait.h"

#include <GenApi/GenApi.h>

#include <nimbo/NimboIncludes.h>
#include <nimbo/TlFactory.h>

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <grp.h>
#include <regex>
#include <sstream>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace Nimbo::aravis;

// A grabber that notes on which thread, and in which order, the removal reached it.
class RecordingSink : public Nimbo::FrameSink {
public:
    bool takeBuffer(Nimbo::FrameBuffer&) override { return false; }
    void deliver(const Nimbo::FrameBuffer&, const Nimbo::FrameInfo&) override {}
    void framesMissed(uint64_t) override {}
    void cameraRemoved() override { note("sink"); }

    void note(const char* what)
    {
        std::lock_guard<std::mutex> lock(mutex);
        steps.push_back({what, std::this_thread::get_id()});
    }
    struct Step {
        std::string what;
        std::thread::id thread;
    };
    std::mutex mutex;
    std::vector<Step> steps;
};

// Aravis' USB stream thread reports a lost camera itself (a bulk transfer that finds the device gone),
// and stopping the stream joins that very thread: the callback may only mark the camera removed, and
// everything that waits for Aravis' threads runs on the SDK's event thread, in its order.
TEST(ControlLostTest, TheAravisThreadOnlyMarksTheCameraRemovedAndTheTeardownRunsOnTheEventThread)
{
    auto state = std::make_shared<RemovalState>();
    auto sink = std::make_shared<RecordingSink>();
    state->sink = sink;
    state->listeners[1] = [&] { sink->note("listener"); };
    const auto handed = std::make_unique<ControlLostData>(state);

    std::promise<void> go;
    bool removedOnReturn = false;
    std::atomic<bool> done{false};
    std::thread stream([&, started = go.get_future()]() mutable {
        started.wait();
        onControlLost(nullptr, handed.get());
        removedOnReturn = state->removed.load();
        // Aravis' hot-plug callback reports the same loss once more.
        onControlLost(nullptr, handed.get());
        done = true;
    });
    const std::thread::id streamId = stream.get_id();
    std::atomic<bool> joined{false};
    // As the camera's own: stopping the stream waits for the stream thread to end.
    state->stopStream = [&] {
        sink->note("stream");
        if (std::this_thread::get_id() != streamId && !joined.exchange(true))
            stream.join();
    };
    go.set_value();

    ASSERT_TRUE(testsupport::waitFor([&] { return done.load(); }, 20000));
    Nimbo::Emulation::WaitForEvents();
    if (!joined.exchange(true))
        stream.join();

    EXPECT_TRUE(removedOnReturn) << "the camera is removed as soon as the callback returns";
    std::lock_guard<std::mutex> lock(sink->mutex);
    std::vector<std::string> order;
    for (const auto& step : sink->steps) {
        order.push_back(step.what);
        EXPECT_NE(step.thread, streamId) << step.what << " ran on Aravis' thread";
    }
    EXPECT_EQ(order, (std::vector<std::string>{"stream", "sink", "listener"}));
}

TEST(UsbTransferModeTest, AsynchronousTransfersOnlyWhereAravisHandlesThemSoundly)
{
    struct Case {
        unsigned major, minor, micro;
        bool async;
    };
    const Case cases[] = {
        {0, 8, 17, false}, // the first with asynchronous transfers
        {0, 8, 26, false}, // Debian 12
        {0, 8, 27, false}, {0, 8, 28, true}, {0, 8, 35, true}, {0, 9, 0, true}, {1, 0, 0, true}, {0, 7, 99, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(asyncUsbTransfers(c.major, c.minor, c.micro), c.async) << c.major << "." << c.minor << "." << c.micro;
}

// A USB camera of the backend over Aravis' fake device ("Fake_1"), and a grabber with a few buffers.
class FakeUsbCameraTest : public ::testing::Test {
protected:
    // Hands out its buffers in turn and takes each back as soon as it returns.
    class Sink : public Nimbo::FrameSink {
    public:
        explicit Sink(size_t size) : m_buffers(4, std::vector<uint8_t>(size))
        {
            for (auto& b : m_buffers)
                m_queue.push_back(&b);
        }
        bool takeBuffer(Nimbo::FrameBuffer& buffer) override
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_queue.empty() || m_removed)
                return false;
            buffer.handle = m_queue.front();
            buffer.data = m_queue.front()->data();
            buffer.size = m_queue.front()->size();
            m_queue.pop_front();
            ++m_out;
            return true;
        }
        void deliver(const Nimbo::FrameBuffer& buffer, const Nimbo::FrameInfo& info) override
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++(info.cancelled ? m_cancelled : m_frames);
            --m_out;
            m_queue.push_back(static_cast<std::vector<uint8_t>*>(buffer.handle));
        }
        void framesMissed(uint64_t) override {}
        void cameraRemoved() override
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_removed = true;
            m_outAtRemoval = m_out;
        }
        int frames()
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            return m_frames;
        }
        bool removed()
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            return m_removed;
        }
        // Buffers the camera still held when the grabber heard of the removal.
        int outstandingAtRemoval()
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            return m_outAtRemoval;
        }

    private:
        std::mutex m_mutex;
        std::vector<std::vector<uint8_t>> m_buffers;
        std::deque<std::vector<uint8_t>*> m_queue;
        int m_out = 0, m_outAtRemoval = -1;
        int m_frames = 0, m_cancelled = 0;
        bool m_removed = false;
    };

    void SetUp() override
    {
        arv_enable_interface("Fake");
        KnownDevice known;
        known.deviceId = "Fake_1";
        known.info.SetSerialNumber("FAKE-USB-1");
        known.info.SetFullName("usb#Fake_1");
        m_camera = std::make_shared<AravisCamera>(known);
    }
    void TearDown() override
    {
        m_camera.reset();
        Nimbo::Emulation::WaitForEvents();
        arv_disable_interface("Fake");
    }

    std::shared_ptr<AravisCamera> m_camera;
};

// The fake camera's fill callback runs on Aravis' stream thread, where a USB stream notices an unplug.
TEST_F(FakeUsbCameraTest, ControlLostOnTheStreamThreadStopsTheStreamWithoutWaitingForItself)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    std::string why;
    ASSERT_TRUE(m_camera->tryOpen(&why)) << why;
    auto sink = std::make_shared<Sink>(4 << 20);
    m_camera->setSink(sink);
    std::atomic<int> removals{0};
    m_camera->addRemovalListener([&removals] { ++removals; });

    struct Unplug {
        ArvDevice* device;
        std::atomic<int> fills{0};
    } unplug{m_camera->deviceRef()};
    ASSERT_NE(unplug.device, nullptr);
    arv_fake_camera_set_fill_pattern(
        arv_fake_device_get_fake_camera(ARV_FAKE_DEVICE(unplug.device)),
        [](ArvBuffer*, void* data, guint32, guint32, ArvPixelFormat) {
            auto* u = static_cast<Unplug*>(data);
            // The first frame arrives; the second finds the camera gone.
            if (++u->fills == 2)
                g_signal_emit_by_name(u->device, "control-lost");
        },
        &unplug);
    m_camera->setParamsLocked(true);

    EXPECT_TRUE(testsupport::waitFor([&] { return removals.load() > 0 && sink->removed(); }, 20000));
    EXPECT_FALSE(m_camera->isPlugged());
    EXPECT_GE(sink->frames(), 1);
    EXPECT_EQ(sink->outstandingAtRemoval(), 0) << "the stream hands its buffers back before the queue is cancelled";
    Nimbo::Emulation::WaitForEvents();
    EXPECT_EQ(removals.load(), 1);
    m_camera->close();
    g_object_unref(unplug.device);
}

// Aravis claims a USB camera's interfaces for as long as its device lives: closing lets the device go,
// stream and all, so that another program may open the camera; opening again takes it anew.
TEST_F(FakeUsbCameraTest, ClosingReleasesTheDeviceAndOpeningTakesItAgain)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    std::string why;
    ASSERT_TRUE(m_camera->tryOpen(&why)) << why;
    gpointer device = m_camera->deviceRef();
    ASSERT_NE(device, nullptr);
    g_object_add_weak_pointer(G_OBJECT(device), &device);
    g_object_unref(device);
    auto sink = std::make_shared<Sink>(4 << 20);
    m_camera->setSink(sink);
    m_camera->setParamsLocked(true);
    ASSERT_TRUE(testsupport::waitFor([&] { return sink->frames() > 0; }, 20000));
    EXPECT_TRUE(m_camera->holdsDevice());

    m_camera->close();
    EXPECT_EQ(device, nullptr) << "Aravis' device, and with it the camera's USB interfaces, outlives the close";
    EXPECT_FALSE(m_camera->holdsDevice());

    ASSERT_TRUE(m_camera->tryOpen(&why)) << why;
    EXPECT_TRUE(m_camera->holdsDevice());
    m_camera->close();
    EXPECT_FALSE(m_camera->holdsDevice());
}

// Aravis' in-process fake camera as a USB camera the SDK knows, with synchronous or asynchronous
// transfers; the devices made of it are destroyed, and it is forgotten, when the test ends.
class FakeUsbDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        arv_enable_interface("Fake");
        Nimbo::Emulation::Configure("none");
    }
    void TearDown() override
    {
        for (Nimbo::INimboDevice* device : m_devices)
            Nimbo::CTlFactory::GetInstance().DestroyDevice(device);
        std::lock_guard<std::mutex> lock(g_knownMutex);
        for (const std::string& name : m_names)
            g_known.erase(name);
        arv_disable_interface("Fake");
    }

    Nimbo::INimboDevice* createDevice(bool async)
    {
        KnownDevice known;
        known.deviceId = "Fake_1";
        known.asyncUsb = async;
        known.info.SetDeviceClass("VelmarUsb");
        known.info.SetTLType("U3V");
        known.info.SetSerialNumber("FAKE-USB-1");
        known.info.SetFriendlyName("Aravis Fake (FAKE-USB-1)");
        known.info.SetFullName(async ? "usb#Fake_1-async" : "usb#Fake_1-sync");
        {
            std::lock_guard<std::mutex> lock(g_knownMutex);
            g_known[known.info.GetFullName().c_str()] = known;
            m_names.push_back(known.info.GetFullName().c_str());
        }
        m_devices.push_back(Nimbo::CTlFactory::GetInstance().CreateDevice(known.info));
        return m_devices.back();
    }

    Nimbo::NimboAutoInitTerm m_init;

private:
    std::vector<Nimbo::INimboDevice*> m_devices;
    std::vector<std::string> m_names;
};

// The SDK's device and stream grabber over the fake device as a USB camera, its buffers lent as the
// synchronous and the asynchronous USB transfers need them (the fake device's stream stands in for
// both: Aravis' asynchronous one keeps a buffer object's transfers for the stream's life and needs
// buffers of the frame's size): buffers larger than the frame, a second grab at a larger region into
// the same ones, and a buffer too small for the frame.
TEST_F(FakeUsbDeviceTest, FramesCarryTheCamerasPixelsWithEitherTransferAcrossRegionChanges)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    for (const bool async : {false, true}) {
        SCOPED_TRACE(async ? "asynchronous" : "synchronous");
        Nimbo::INimboDevice* device = createDevice(async);
        device->Open();
        GenApi::INodeMap& map = *device->GetNodeMap();
        Nimbo::IStreamGrabber* grabber = device->GetStreamGrabber(0);
        constexpr size_t kSize = 512 * 256 + 4096;
        std::vector<std::vector<uint8_t>> memory(4, std::vector<uint8_t>(kSize));
        for (const auto& region : {std::make_pair(256, 128), std::make_pair(512, 256)}) {
            GenApi::CIntegerPtr(map.GetNode("Width"))->SetValue(region.first);
            GenApi::CIntegerPtr(map.GetNode("Height"))->SetValue(region.second);
            GenApi::CEnumerationPtr(map.GetNode("PixelFormat"))->FromString("Mono8");
            grabber->Open();
            GenApi::CIntegerPtr(grabber->GetNodeMap()->GetNode("MaxBufferSize"))->SetValue(kSize);
            grabber->PrepareGrab();
            std::vector<Nimbo::StreamBufferHandle> handles;
            for (auto& m : memory) {
                handles.push_back(grabber->RegisterBuffer(m.data(), kSize));
                grabber->QueueBuffer(handles.back(), reinterpret_cast<const void*>(handles.size() - 1));
            }
            GenApi::CCommandPtr(map.GetNode("AcquisitionStart"))->Execute();
            int good = 0;
            Nimbo::GrabResult r;
            while (good < 20 && testsupport::waitFor([&] { return grabber->RetrieveResult(r); }, 10000)) {
                ASSERT_EQ(r.Status(), Nimbo::Grabbed) << r.GetErrorDescription();
                EXPECT_EQ(r.GetPayloadSize(), size_t(region.first * region.second));
                EXPECT_TRUE(
                    testsupport::diagonal(static_cast<const uint8_t*>(r.Buffer()), region.first, region.second));
                ++good;
                grabber->QueueBuffer(handles[reinterpret_cast<uintptr_t>(r.Context())], r.Context());
            }
            EXPECT_EQ(good, 20);
            GenApi::CCommandPtr(map.GetNode("AcquisitionStop"))->Execute();
            grabber->CancelGrab();
            while (grabber->RetrieveResult(r)) {
            }
            for (auto h : handles)
                grabber->DeregisterBuffer(h);
            grabber->FinishGrab();
            grabber->Close();
        }
        // A buffer too small for the frame comes back failed, and the grab goes on.
        grabber->Open();
        grabber->PrepareGrab();
        std::vector<uint8_t> small(512 * 128);
        const Nimbo::StreamBufferHandle handle = grabber->RegisterBuffer(small.data(), small.size());
        grabber->QueueBuffer(handle, nullptr);
        GenApi::CCommandPtr(map.GetNode("AcquisitionStart"))->Execute();
        Nimbo::GrabResult r;
        ASSERT_TRUE(testsupport::waitFor([&] { return grabber->RetrieveResult(r); }, 10000));
        EXPECT_EQ(r.Status(), Nimbo::Failed);
        EXPECT_FALSE(r.GetErrorDescription().empty());
        GenApi::CCommandPtr(map.GetNode("AcquisitionStop"))->Execute();
        grabber->CancelGrab();
        while (grabber->RetrieveResult(r)) {
        }
        grabber->DeregisterBuffer(handle);
        grabber->FinishGrab();
        grabber->Close();
        device->Close();
    }
}

// Aravis sizes and queues a real USB3 Vision camera's transfers itself (1 MiB each at most; with
// asynchronous transfers 8 MiB of them at once, else one at a time): those settings are read-only and
// say so, rather than taking values that change nothing.
TEST_F(FakeUsbDeviceTest, TransferSettingsThatAravisFixesAreReadOnlyAndSayWhy)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    for (const bool async : {false, true}) {
        SCOPED_TRACE(async ? "asynchronous" : "synchronous");
        Nimbo::INimboDevice* device = createDevice(async);
        testsupport::expectFixedByAravis(*device->GetTLNodeMap(), "MaxTransferSize", 1 << 20);
        GenApi::INodeMap& sg = *device->GetStreamGrabber(0)->GetNodeMap();
        testsupport::expectFixedByAravis(sg, "MaxTransferSize", 1 << 20);
        testsupport::expectFixedByAravis(sg, "NumMaxQueuedUrbs", async ? 8 : 1);
    }
}

// A sysfs folder of USB devices and their interfaces side by side, as /sys/bus/usb/devices holds them,
// and a device-node folder beside it.
class UsbSysfsTest : public testsupport::TempDirTest {
protected:
    struct Interface {
        const char* name; // "<device>:<configuration>.<number>"
        const char* classCode;
        const char* subClass;
        bool bound; // a driver holds it: usbfs, when a program claimed it
    };

    std::string sys() const { return stdPath() + "/sys"; }
    std::string dev() const { return stdPath() + "/dev"; }

    void device(const std::string& name, const char* serial, const char* manufacturer, const char* product, int bus,
                int number, std::initializer_list<Interface> interfaces, bool node = true)
    {
        namespace fs = std::filesystem;
        const std::string folder = sys() + "/" + name;
        fs::create_directories(folder);
        write(folder, "serial", serial);
        write(folder, "manufacturer", manufacturer);
        write(folder, "product", product);
        write(folder, "idVendor", "1ab2");
        write(folder, "idProduct", "00c3");
        write(folder, "busnum", std::to_string(bus));
        write(folder, "devnum", std::to_string(number));
        for (const Interface& i : interfaces) {
            const std::string f = sys() + "/" + i.name;
            fs::create_directories(f);
            write(f, "bInterfaceClass", i.classCode);
            write(f, "bInterfaceSubClass", i.subClass);
            if (i.bound)
                fs::create_directory_symlink("../../../bus/usb/drivers/usbfs", f + "/driver");
        }
        if (node) {
            char path[64];
            std::snprintf(path, sizeof path, "/bus/usb/%03d/%03d", bus, number);
            fs::create_directories(fs::path(dev() + path).parent_path());
            std::ofstream(dev() + path).put('\0');
        }
    }

    // A machine with a keyboard, a hub and four cameras: free, held by a program, without a device
    // node this user may open, and with a vendor interface beside its USB3 Vision ones.
    void machine()
    {
        device("1-1", "", "Keys", "Keyboard", 1, 2, {{"1-1:1.0", "03", "01", true}});
        device("usb2", "0000:00:14.0", "Linux", "xHCI Host Controller", 2, 1, {{"2-0:1.0", "09", "00", true}});
        device("2-3", "21000042", "Velmar", "VX-1600c", 2, 4,
               {{"2-3:1.0", "ef", "05", false}, {"2-3:1.1", "ef", "05", false}, {"2-3:1.2", "ef", "05", false}});
        device("2-4", "21000043", "Velmar", "VX-1600m", 2, 5,
               {{"2-4:1.0", "EF", "05", true}, {"2-4:1.1", "ef", "05", false}, {"2-4:1.2", "ef", "05", true}});
        device("3-1", "21000044", "Velmar", "VX-2000c", 3, 7, {{"3-1:1.0", "ef", "05", false}}, false);
        device("3-2", "21000045", "Velmar", "VX-2000m", 3, 8,
               {{"3-2:1.0", "ff", "00", true}, {"3-2:1.1", "ef", "05", false}});
        // Class EF with another subclass is no USB3 Vision interface.
        device("3-3", "99", "Other", "Misc", 3, 9, {{"3-3:1.0", "ef", "02", false}});
    }

private:
    static void write(const std::string& folder, const char* name, const std::string& text)
    {
        std::ofstream(folder + "/" + name) << text << "\n";
    }
};

TEST_F(UsbSysfsTest, CamerasAreTheDevicesWithAUsb3VisionInterfaceAndTheirStateComesFromSysfs)
{
    machine();
    const std::vector<UsbVisionDevice> cameras = usbVisionDevices(sys(), dev());
    struct Row {
        const char* name;
        const char* serial;
        const char* product;
        const char* node;
        bool claimed;
        UsbAccess access;
        const char* why;
    };
    const Row rows[] = {
        {"2-3", "21000042", "VX-1600c", "/bus/usb/002/004", false, UsbAccess::Free, ""},
        {"2-4", "21000043", "VX-1600m", "/bus/usb/002/005", true, UsbAccess::InUse, "another program"},
        {"3-1", "21000044", "VX-2000c", "/bus/usb/003/007", false, UsbAccess::NoPermission, "/bus/usb/003/007 ("},
        // Only its USB3 Vision interfaces tell whether a program holds the camera.
        {"3-2", "21000045", "VX-2000m", "/bus/usb/003/008", false, UsbAccess::Free, ""},
    };
    ASSERT_EQ(cameras.size(), std::size(rows));
    for (size_t i = 0; i < cameras.size(); ++i) {
        const Row& row = rows[i];
        const UsbVisionDevice& c = cameras[i];
        EXPECT_EQ(c.name, row.name);
        EXPECT_EQ(c.serial, row.serial) << row.name;
        EXPECT_EQ(c.manufacturer, "Velmar") << row.name;
        EXPECT_EQ(c.product, row.product) << row.name;
        EXPECT_EQ(c.ids.vendorId, "1AB2") << row.name;
        EXPECT_EQ(c.ids.productId, "00C3") << row.name;
        EXPECT_EQ(c.node, dev() + row.node) << row.name;
        EXPECT_EQ(c.claimed, row.claimed) << row.name;
        std::string why;
        EXPECT_EQ(usbAccess(c, &why), row.access) << row.name;
        EXPECT_NE(why.find(row.why), std::string::npos) << row.name << ": " << why;
    }
    EXPECT_EQ(findUsbVisionDevice(cameras, "21000043", "Velmar", "VX-1600m"), &cameras[1]);
    EXPECT_EQ(findUsbVisionDevice(cameras, "21000043", "", ""), &cameras[1]);
    EXPECT_EQ(findUsbVisionDevice(cameras, "21000043", "Other", ""), nullptr);
    EXPECT_EQ(findUsbVisionDevice(cameras, "", "", ""), nullptr);
    EXPECT_TRUE(usbVisionDevices(stdFilePath("missing"), dev()).empty());
}

// The whole transport layer over the fixture: real USB discovery (which finds no camera of the fixture)
// and the accessibility test.
class UsbDiscoveryTest : public UsbSysfsTest {
protected:
    void SetUp() override
    {
        UsbSysfsTest::SetUp();
        machine();
        setUsbSysfs(sys(), dev());
        setenv("NIMBO_REAL_CAMERAS", "1", 1);
        Nimbo::Emulation::Configure("none");
    }
    void TearDown() override
    {
        setUsbSysfs("/sys/bus/usb/devices", "/dev");
        setenv("NIMBO_REAL_CAMERAS", "0", 1);
        Nimbo::Emulation::ConfigureFromEnvironment();
        std::lock_guard<std::mutex> lock(g_knownMutex);
        for (auto it = g_known.begin(); it != g_known.end();)
            it = it->second.info.GetSerialNumber().substr(0, 4) == "2100" ? g_known.erase(it) : std::next(it);
    }

    static Nimbo::DeviceInfoList_t enumerate()
    {
        Nimbo::DeviceInfoList_t list;
        Nimbo::CTlFactory::GetInstance().CreateTl("VelmarUsb")->EnumerateDevices(list, false);
        return list;
    }
    static const Nimbo::CDeviceInfo* bySerial(const Nimbo::DeviceInfoList_t& list, const char* serial)
    {
        for (const auto& d : list)
            if (d.GetSerialNumber() == serial)
                return &d;
        return nullptr;
    }

    Nimbo::NimboAutoInitTerm m_init;
};

// Aravis leaves out a camera this user may not open; it is listed all the same, inaccessible, and
// opening it says why and what to do.
TEST_F(UsbDiscoveryTest, ACameraThisUserMayNotOpenIsListedAsInaccessibleAndCreatingItSaysWhy)
{
    testsupport::LogCapture log;
    const Nimbo::DeviceInfoList_t list = enumerate();
    const Nimbo::CDeviceInfo* found = bySerial(list, "21000044");
    ASSERT_NE(found, nullptr) << "a camera without access is left out silently";
    const Nimbo::CDeviceInfo info = *found;
    EXPECT_EQ(info.GetDeviceClass(), "VelmarUsb");
    EXPECT_EQ(info.GetTLType(), "U3V");
    EXPECT_EQ(info.GetVendorName(), "Velmar");
    EXPECT_EQ(info.GetModelName(), "VX-2000c");
    EXPECT_EQ(info.GetVendorId(), "1AB2");
    EXPECT_EQ(info.GetProductId(), "00C3");
    EXPECT_EQ(info.GetFriendlyName(), "Velmar VX-2000c (21000044)");
    EXPECT_FALSE(info.GetFullName().empty());
    // Cameras this user may open but Aravis did not list are no business of this list.
    EXPECT_EQ(bySerial(list, "21000042"), nullptr);
    EXPECT_EQ(bySerial(list, "21000045"), nullptr);

    EXPECT_FALSE(Nimbo::CTlFactory::GetInstance().IsDeviceAccessible(info));
    try {
        Nimbo::CTlFactory::GetInstance().CreateDevice(info);
        ADD_FAILURE() << "a camera without access was created";
    } catch (const GenICam::GenericException& e) {
        const std::string text = e.GetDescription();
        EXPECT_NE(text.find(dev() + "/bus/usb/003/007"), std::string::npos) << text;
        EXPECT_NE(text.find("udev rule"), std::string::npos) << text;
    }
    EXPECT_EQ(log.count("21000044"), 1u);

    // Found again under the same name at the next scan, without a second warning.
    const Nimbo::DeviceInfoList_t next = enumerate();
    const Nimbo::CDeviceInfo* again = bySerial(next, "21000044");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->GetFullName(), info.GetFullName());
    EXPECT_EQ(log.count("21000044"), 1u);
}

// Aravis lists a camera another program holds (opening the device works, claiming its interfaces
// does not): the accessibility test says so, and a camera free in sysfs is accessible.
TEST_F(UsbDiscoveryTest, AListedCameraIsAccessibleOnlyWhenNoProgramHoldsItsInterfaces)
{
    const auto listed = [](const char* serial, const char* model) {
        KnownDevice known;
        known.info.SetSerialNumber(serial);
        known.info.SetVendorName("Velmar");
        known.info.SetModelName(model);
        known.info.SetDeviceClass("VelmarUsb");
        known.info.SetFullName((std::string("usb#Velmar-test-") + serial).c_str());
        std::lock_guard<std::mutex> lock(g_knownMutex);
        g_known[known.info.GetFullName().c_str()] = known;
        return known.info.GetFullName();
    };
    EXPECT_TRUE(accessible(listed("21000042", "VX-1600c")));
    EXPECT_FALSE(accessible(listed("21000043", "VX-1600m")));
    // Not in sysfs (or sysfs not readable): nothing speaks against it.
    EXPECT_TRUE(accessible(listed("21009999", "VX-9")));
}

// udev's own reading of a rule against a fake sysfs: "udevadm test" in a mount namespace of its own,
// in which the fixture stands in for /sys, the rules under test (beside udev's 50-udev-default.rules)
// for the system's rules, and tmpfs for /dev and /run. Needs root and udevadm ($UDEVADM names one
// unpacked from the udev package, with its rules beside it in ../lib/udev/rules.d).
class UdevRuleTest : public testsupport::TempDirTest {
protected:
    // What udev did to the device node: its last MODE and GROUP, which rules file gave them, its tags.
    struct Outcome {
        std::string mode, modeFile, group, groupFile, interfaces;
        bool uaccess = false;
    };

    void SetUp() override
    {
        TempDirTest::SetUp();
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root for a mount namespace of its own";
        const char* given = std::getenv("UDEVADM");
        for (const std::string candidate : {given ? given : "", "/usr/bin/udevadm", "/bin/udevadm", "/sbin/udevadm"})
            if (!candidate.empty() && access(candidate.c_str(), X_OK) == 0) {
                m_udevadm = candidate;
                break;
            }
        if (m_udevadm.empty())
            GTEST_SKIP() << "udevadm is not installed (the udev package; or set UDEVADM)";
        const std::string beside = std::filesystem::path(m_udevadm).parent_path().string() + "/../lib/udev/rules.d";
        for (const std::string folder :
             {beside, std::string("/usr/lib/udev/rules.d"), std::string("/lib/udev/rules.d")})
            if (access((folder + "/50-udev-default.rules").c_str(), R_OK) == 0) {
                m_defaults = folder + "/50-udev-default.rules";
                break;
            }
        if (m_defaults.empty())
            GTEST_SKIP() << "udev's 50-udev-default.rules is not installed";
    }

    // A USB device on bus 2 whose configuration holds interfaces of these class, subclass and protocol
    // triples; its device class says "interface association", as for USB3 Vision cameras and webcams.
    std::string usbDevice(const std::string& name, std::initializer_list<std::array<uint8_t, 3>> interfaces)
    {
        namespace fs = std::filesystem;
        const std::string sys = stdPath() + "/sys";
        const std::string devpath = "/devices/pci0000:00/0000:00:14.0/usb2/" + name;
        const std::string folder = sys + devpath;
        fs::create_directories(folder);
        fs::create_directories(sys + "/bus/usb/devices");
        if (!fs::exists(sys + "/bus/usb/devices/" + name))
            fs::create_directory_symlink("../../.." + devpath, sys + "/bus/usb/devices/" + name);
        fs::create_directory_symlink("../../../../../bus/usb", folder + "/subsystem");
        const int number = 2 + static_cast<int>(std::distance(fs::directory_iterator(sys + "/bus/usb/devices"),
                                                              fs::directory_iterator()));
        std::ostringstream uevent;
        uevent << "MAJOR=189\nMINOR=" << (128 + number) << "\nDEVNAME=bus/usb/002/00" << number
               << "\nDEVTYPE=usb_device\nDRIVER=usb\nPRODUCT=1ab2/c3/100\nTYPE=239/2/1\nBUSNUM=002\nDEVNUM=00" << number
               << "\n";
        write(folder + "/uevent", uevent.str());
        const std::pair<const char*, std::string> attributes[] = {
            {"idVendor", "1ab2"},
            {"idProduct", "00c3"},
            {"bDeviceClass", "ef"},
            {"bDeviceSubClass", "02"},
            {"bDeviceProtocol", "01"},
            {"busnum", "2"},
            {"devnum", std::to_string(number)},
            {"serial", name + "-serial"},
            {"dev", "189:" + std::to_string(128 + number)},
        };
        for (const auto& a : attributes)
            write(folder + "/" + a.first, a.second + "\n");
        // The raw descriptors: the device's, then its configuration with an interface association,
        // the interfaces and one bulk endpoint each.
        std::string config;
        config += std::string{8, 0x0B, 0, static_cast<char>(interfaces.size()), '\xEF', 0x05, 0, 0};
        uint8_t index = 0;
        for (const auto& i : interfaces) {
            config += std::string{9,
                                  0x04,
                                  static_cast<char>(index),
                                  0,
                                  1,
                                  static_cast<char>(i[0]),
                                  static_cast<char>(i[1]),
                                  static_cast<char>(i[2]),
                                  0};
            config += std::string{7, 0x05, static_cast<char>(0x81 + index), 0x02, 0, 0x04, 0};
            ++index;
        }
        const size_t total = 9 + config.size();
        const std::string head{9,
                               0x02,
                               static_cast<char>(total & 0xFF),
                               static_cast<char>(total >> 8),
                               static_cast<char>(interfaces.size()),
                               1,
                               0,
                               '\x80',
                               0x32};
        const std::string device{18,   0x01,   0x00, 0x03, '\xEF', 0x02, 0x01, 0x09, '\xB2',
                                 0x1A, '\xC3', 0x00, 0x00, 0x01,   1,    2,    3,    1};
        write(folder + "/descriptors", device + head + config);
        return devpath;
    }

    // udev's handling of the device's "add" event with the system's defaults and `rules` (file name and
    // text) in place of every other rule.
    Outcome run(const std::string& devpath, const std::string& rulesName, const std::string& rules)
    {
        namespace fs = std::filesystem;
        const std::string folder = stdPath() + "/rules";
        fs::remove_all(folder);
        fs::create_directories(folder);
        fs::copy_file(m_defaults, folder + "/50-udev-default.rules", fs::copy_options::overwrite_existing);
        write(folder + "/" + rulesName, rules);
        const std::string empty = stdPath() + "/empty";
        fs::create_directories(empty);
        // Every folder udev reads rules from shows the test's own; nothing mounted leaves the namespace.
        std::string mounts = "mount --make-rprivate / && mount --bind '" + stdPath() + "/sys' /sys";
        for (const char* rulesDir : {"/usr/lib/udev/rules.d", "/lib/udev/rules.d"})
            if (fs::is_directory(rulesDir))
                mounts += std::string(" && mount --bind '") + folder + "' " + rulesDir;
        for (const char* other : {"/etc/udev/rules.d", "/usr/local/lib/udev/rules.d"})
            if (fs::is_directory(other))
                mounts += std::string(" && mount --bind '") + empty + "' " + other;
        mounts += " && mount -t tmpfs none /run && mount -t tmpfs none /dev";
        const std::string command = "unshare -m sh -c \"" + mounts + " && SYSTEMD_DEVICE_VERIFY_SYSFS=0 '" + m_udevadm +
                                    "' test --action=add '/sys" + devpath + "'\" 2>&1";
        std::string output;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char chunk[4096];
            while (size_t n = fread(chunk, 1, sizeof chunk, pipe))
                output.append(chunk, n);
            pclose(pipe);
        }
        Outcome o;
        static const std::regex assignment(R"(^\S+: (\S+):\d+ (MODE|GROUP) (\S+)$)");
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            if (std::regex_match(line, m, assignment)) {
                const std::string file = fs::path(m[1].str()).filename().string();
                if (m[2] == "MODE")
                    o.mode = m[3], o.modeFile = file;
                else
                    o.group = m[3], o.groupFile = file;
            } else if (line.rfind("TAGS=", 0) == 0) {
                o.uaccess = line.find(":uaccess:") != std::string::npos;
            } else if (line.rfind("ID_USB_INTERFACES=", 0) == 0) {
                o.interfaces = line.substr(18);
            }
        }
        EXPECT_FALSE(o.mode.empty()) << "udevadm gave no outcome:\n" << output;
        return o;
    }

    static std::string read(const std::string& path)
    {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    static void write(const std::string& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    std::string m_udevadm, m_defaults;
};

TEST_F(UdevRuleTest, TheShippedRuleGivesACameraItsUsbDeviceAndNothingElse)
{
    const std::string camera = usbDevice("2-1", {{0xEF, 0x05, 0x00}, {0xEF, 0x05, 0x01}, {0xEF, 0x05, 0x02}});
    const std::string webcam = usbDevice("2-2", {{0x0E, 0x01, 0x00}, {0x0E, 0x02, 0x00}});
    const std::string shipped = read(USB3VISION_RULES);
    ASSERT_FALSE(shipped.empty()) << USB3VISION_RULES;
    const std::string shippedName = std::filesystem::path(USB3VISION_RULES).filename().string();
    // The rule an earlier README gave: interface attributes, which the USB device never has.
    const std::string interfaceRule =
        "SUBSYSTEM==\"usb\", ATTRS{bInterfaceClass}==\"ef\", ATTRS{bInterfaceSubClass}==\"05\", MODE=\"0666\"\n";
    const group* plugdev = getgrnam("plugdev");

    struct Case {
        const char* what;
        const std::string& devpath;
        std::string rulesName, rules;
        bool granted;
    };
    const Case cases[] = {
        {"camera, shipped rule", camera, shippedName, shipped, true},
        {"webcam, shipped rule", webcam, shippedName, shipped, false},
        {"camera, interface rule", camera, "99-usb3vision.rules", interfaceRule, false},
    };
    for (const Case& c : cases) {
        const Outcome o = run(c.devpath, c.rulesName, c.rules);
        if (c.granted) {
            EXPECT_EQ(o.interfaces, ":ef0500:ef0501:ef0502:") << c.what;
            EXPECT_EQ(o.mode, "0660") << c.what;
            EXPECT_EQ(o.modeFile, c.rulesName) << c.what;
            if (plugdev)
                EXPECT_EQ(o.group, std::to_string(plugdev->gr_gid)) << c.what;
        } else {
            // udev's default for every USB device: writable by root alone.
            EXPECT_EQ(o.mode, "0664") << c.what;
            EXPECT_EQ(o.modeFile, "50-udev-default.rules") << c.what;
            EXPECT_TRUE(o.group.empty()) << c.what;
        }
        EXPECT_EQ(o.uaccess, c.granted) << c.what;
    }
}

} // namespace
