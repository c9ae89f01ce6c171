// Real cameras through the Aravis backend, against Aravis' fake GigE Vision camera; each test runs
// in a network namespace of its own that holds only the loopback interface (RealCameraSupport.h).
#include <nimbo/Emulation.h>
#include <nimbo/InstantCamera.h>
#include <nimbo/NimboIncludes.h>
#include <nimbo/TlFactory.h>

#include "RealCameraSupport.h"
#include "testsupport/Wait.h"

#include <GenApi/GenApi.h>

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::diagonal;
using testsupport::FakeCamera;
using testsupport::FakeCameraDevice;

class RealCameraTest : public testsupport::RealCameraFixture {
protected:
    // Sets up a Mono8 region and, when given, the frame rate of an open camera.
    static void configure(GenApi::INodeMap& map, int64_t width, int64_t height, double rate = 0)
    {
        GenApi::CIntegerPtr(map.GetNode("Width"))->SetValue(width);
        GenApi::CIntegerPtr(map.GetNode("Height"))->SetValue(height);
        GenApi::CEnumerationPtr(map.GetNode("PixelFormat"))->FromString("Mono8");
        if (rate > 0)
            GenApi::CFloatPtr(map.GetNode("AcquisitionFrameRate"))->SetValue(rate);
    }

    // A device's stream grabber, prepared, with `count` buffers of `size` bytes queued; a buffer's
    // context is its index.
    struct Grab {
        Grab(Nimbo::INimboDevice* device, size_t count, size_t size)
            : grabber(device->GetStreamGrabber(0)), memory(count, std::vector<uint8_t>(size))
        {
            grabber->Open();
            grabber->PrepareGrab();
            for (size_t i = 0; i < count; ++i) {
                handles.push_back(grabber->RegisterBuffer(memory[i].data(), size));
                queue(i);
            }
        }
        void queue(uintptr_t index) { grabber->QueueBuffer(handles[index], reinterpret_cast<const void*>(index)); }
        static uintptr_t indexOf(const Nimbo::GrabResult& r) { return reinterpret_cast<uintptr_t>(r.Context()); }

        Nimbo::IStreamGrabber* grabber;
        std::vector<std::vector<uint8_t>> memory;
        std::vector<Nimbo::StreamBufferHandle> handles;
    };
};

TEST_F(RealCameraTest, TheFakeCameraIsFoundUnderGigEWithTheInfoItGives)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCamera fake("RC0001");
    Nimbo::CDeviceInfo info;
    ASSERT_TRUE(find("RC0001", info));
    EXPECT_EQ(info.GetDeviceClass(), "VelmarGigE");
    EXPECT_EQ(info.GetVendorName(), "Aravis");
    EXPECT_EQ(info.GetModelName(), "Fake");
    EXPECT_EQ(info.GetIpAddress(), "127.0.0.1");
    EXPECT_EQ(info.GetInterface(), "127.0.0.1");
    EXPECT_EQ(info.GetFullName(), "Fake#127.0.0.1:3956#RC0001");
    EXPECT_EQ(info.GetMacAddress().size(), 12u);
    EXPECT_FALSE(info.GetDeviceVersion().empty());
    EXPECT_FALSE(info.GetSubnetMask().empty());
    EXPECT_TRUE(Nimbo::CTlFactory::GetInstance().IsDeviceAccessible(info));

    // The USB transport layer does not list it.
    Nimbo::DeviceInfoList_t usb;
    Nimbo::CTlFactory::GetInstance().CreateTl("VelmarUsb")->EnumerateDevices(usb, false);
    for (const auto& d : usb)
        EXPECT_NE(d.GetSerialNumber(), "RC0001");
}

TEST_F(RealCameraTest, FeaturesReadAndWriteTheCamerasRegisters)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RC0002");
    ASSERT_NE(fake.device(), nullptr);
    Nimbo::CInstantCamera camera(fake.release());
    camera.Open();
    EXPECT_FALSE(Nimbo::CTlFactory::GetInstance().IsDeviceAccessible(fake.info())); // open here
    GenApi::INodeMap& map = camera.GetNodeMap();

    GenApi::CIntegerPtr width = map.GetNode("Width");
    GenApi::CIntegerPtr height = map.GetNode("Height");
    ASSERT_TRUE(width.IsValid() && height.IsValid());
    EXPECT_GT(width->GetValue(), 0);
    width->SetValue(320);
    height->SetValue(240);
    EXPECT_EQ(width->GetValue(), 320);
    EXPECT_EQ(height->GetValue(), 240);

    GenApi::CEnumerationPtr format = map.GetNode("PixelFormat");
    ASSERT_TRUE(format.IsValid());
    format->FromString("Mono16");
    EXPECT_EQ(format->ToString(), "Mono16");
    format->FromString("Mono8");
    EXPECT_EQ(format->ToString(), "Mono8");
    GenApi::CIntegerPtr payload = map.GetNode("PayloadSize");
    EXPECT_EQ(payload->GetValue(), 320 * 240);

    // The fake camera names its exposure time the SFNC 1 way.
    GenApi::CFloatPtr exposure = map.GetNode("ExposureTimeAbs");
    ASSERT_TRUE(exposure.IsValid());
    exposure->SetValue(20000.0);
    EXPECT_NEAR(exposure->GetValue(), 20000.0, 1.0);

    // The transport's registers stand in for features the camera's description lacks.
    GenApi::CIntegerPtr packetSize = map.GetNode("GevSCPSPacketSize");
    ASSERT_TRUE(packetSize.IsValid());
    EXPECT_GT(packetSize->GetValue(), 0);
    GenApi::CIntegerPtr ip = map.GetNode("GevCurrentIPAddress");
    ASSERT_TRUE(ip.IsValid());
    EXPECT_EQ(ip->GetValue(), 0x7F000001);
    camera.Close();
    EXPECT_TRUE(Nimbo::CTlFactory::GetInstance().IsDeviceAccessible(fake.info()));
}

TEST_F(RealCameraTest, HundredFramesCarryTheFakeCamerasPixels)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RC0003");
    ASSERT_NE(fake.device(), nullptr);
    Nimbo::CInstantCamera camera(fake.release());
    camera.Open();
    configure(camera.GetNodeMap(), 256, 128, 100.0);
    camera.StartGrabbing();
    int good = 0;
    uint64_t lastBlock = 0;
    Nimbo::CGrabResultPtr result;
    while (good < 100 && camera.RetrieveResult(5000, result)) {
        ASSERT_TRUE(result->GrabSucceeded()) << result->GetErrorDescription();
        EXPECT_EQ(result->GetWidth(), 256u);
        EXPECT_EQ(result->GetHeight(), 128u);
        EXPECT_EQ(result->GetPixelType(), Nimbo::PixelType_Mono8);
        EXPECT_EQ(result->GetPayloadSize(), 256u * 128u);
        EXPECT_NE(result->GetBlockID(), lastBlock); // 16-bit GigE Vision block ids wrap
        lastBlock = result->GetBlockID();
        EXPECT_TRUE(diagonal(static_cast<const uint8_t*>(result->GetBuffer()), 256, 128));
        ++good;
    }
    camera.StopGrabbing();
    EXPECT_EQ(good, 100);
    GenApi::CIntegerPtr total = camera.GetStreamGrabberNodeMap().GetNode("Statistic_Total_Buffer_Count");
    EXPECT_GE(total->GetValue(), 100);
}

// With packets dropped by the camera, no corrupted frame passes as good, a failed result says why,
// and the grabber's statistics agree with the results it handed out: the grab runs over the stream
// grabber itself, so that every result is seen, those that come after the camera stops too.
TEST_F(RealCameraTest, LostPacketsNeverMakeACorruptedFrameGoodAndTheStatisticsAgree)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RC0004", 50);
    Nimbo::INimboDevice* device = fake.device();
    ASSERT_NE(device, nullptr);
    device->Open();
    GenApi::INodeMap& map = *device->GetNodeMap();
    configure(map, 512, 256, 50.0);
    Grab grab(device, 8, 512 * 256);
    Nimbo::IStreamGrabber* grabber = grab.grabber;
    GenApi::CCommandPtr(map.GetNode("AcquisitionStart"))->Execute();

    int good = 0, failed = 0;
    std::set<std::string> reasons;
    const auto count = [&](const Nimbo::GrabResult& r) {
        if (r.Status() == Nimbo::Grabbed) {
            EXPECT_TRUE(diagonal(static_cast<const uint8_t*>(r.Buffer()), 512, 256));
            ++good;
        } else if (r.Status() == Nimbo::Failed) {
            EXPECT_EQ(r.GetErrorCode() & 0xFFFFFF00u, 0xE1000100u) << std::hex << r.GetErrorCode();
            EXPECT_FALSE(r.GetErrorDescription().empty());
            reasons.insert(r.GetErrorDescription().c_str());
            ++failed;
        }
    };
    Nimbo::GrabResult r;
    while (good + failed < 60 && testsupport::waitFor([&] { return grabber->RetrieveResult(r); }, 10000)) {
        count(r);
        grab.queue(Grab::indexOf(r));
    }
    EXPECT_EQ(good + failed, 60);
    GenApi::CCommandPtr(map.GetNode("AcquisitionStop"))->Execute();
    grabber->FinishGrab();
    while (grabber->RetrieveResult(r))
        count(r);

    GenApi::INodeMap& sg = *grabber->GetNodeMap();
    const auto stat = [&sg](const char* name) { return GenApi::CIntegerPtr(sg.GetNode(name))->GetValue(); };
    EXPECT_EQ(stat("Statistic_Total_Buffer_Count"), good + failed);
    EXPECT_EQ(stat("Statistic_Failed_Buffer_Count"), failed);
    // One packet in twenty goes: most come back resent, and a frame fails only for packets lost for good.
    EXPECT_GT(stat("Statistic_Resend_Packet_Count") + stat("Statistic_Lost_Packet_Count"), 0);
    if (reasons.count("Packets of the frame are missing.")) {
        EXPECT_GT(stat("Statistic_Lost_Packet_Count"), 0);
    }
    grabber->Close();
}

// Aravis writes frames straight into the grabber's buffers, so it holds queued buffers before any
// frame exists. A triggered camera sends nothing until told: the buffers it holds must come back
// cancelled on CancelGrab and on FinishGrab, and the grab must go on after a cancel.
TEST_F(RealCameraTest, BuffersHeldAheadOfFramesComeBackCancelledAndTheGrabGoesOn)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RC0006");
    Nimbo::INimboDevice* device = fake.device();
    ASSERT_NE(device, nullptr);
    device->Open();
    GenApi::INodeMap& map = *device->GetNodeMap();
    configure(map, 128, 64);
    GenApi::CEnumerationPtr(map.GetNode("TriggerMode"))->FromString("On");
    GenApi::CEnumerationPtr(map.GetNode("TriggerSource"))->FromString("Software");
    GenApi::CCommandPtr trigger = map.GetNode("TriggerSoftware");
    ASSERT_TRUE(trigger.IsValid());

    constexpr int kBuffers = 4;
    Grab grab(device, kBuffers, 128 * 64);
    Nimbo::IStreamGrabber* grabber = grab.grabber;
    GenApi::CCommandPtr(map.GetNode("AcquisitionStart"))->Execute();

    // One result: every buffer, those after it too, sits in Aravis' stream.
    const auto triggered = [&](Nimbo::GrabResult& r) {
        // A trigger sent before the stream is ready again finds no buffer; trigger until one lands.
        return testsupport::waitFor(
            [&] {
                trigger->Execute();
                return testsupport::waitFor([&] { return grabber->RetrieveResult(r); }, 500);
            },
            20000);
    };
    Nimbo::GrabResult r;
    ASSERT_TRUE(triggered(r));
    ASSERT_EQ(r.Status(), Nimbo::Grabbed) << r.GetErrorDescription();
    EXPECT_EQ(r.Buffer(), grab.memory[Grab::indexOf(r)].data()); // the result is the registered buffer itself
    EXPECT_TRUE(diagonal(static_cast<const uint8_t*>(r.Buffer()), 128, 64));

    grabber->CancelGrab();
    std::set<const void*> cancelled;
    while (grabber->RetrieveResult(r)) {
        EXPECT_EQ(r.Status(), Nimbo::Canceled);
        cancelled.insert(r.Context());
    }
    EXPECT_EQ(cancelled.size(), size_t(kBuffers - 1));

    // Queued again after the cancel, the buffers take frames again.
    for (int i = 0; i < kBuffers; ++i)
        grab.queue(i);
    ASSERT_TRUE(triggered(r));
    ASSERT_EQ(r.Status(), Nimbo::Grabbed) << r.GetErrorDescription();
    EXPECT_TRUE(diagonal(static_cast<const uint8_t*>(r.Buffer()), 128, 64));

    // Ending the grab with buffers held must not wait for frames that never come.
    GenApi::CCommandPtr(map.GetNode("AcquisitionStop"))->Execute();
    grabber->FinishGrab();
    int back = 0;
    while (grabber->RetrieveResult(r))
        back += r.Status() == Nimbo::Canceled ? 1 : 0;
    EXPECT_EQ(back, kBuffers - 1);
    grabber->Close();
}

// Frames the camera sends while no buffer is queued are missed frames, one each, whatever number of
// packets they came in: the count is what the block ids of the results say is missing between them.
TEST_F(RealCameraTest, MissedFramesAreCountedAsTheBlockIdsOfTheResultsShowThem)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RC0008");
    Nimbo::INimboDevice* device = fake.device();
    ASSERT_NE(device, nullptr);
    device->Open();
    GenApi::INodeMap& map = *device->GetNodeMap();
    // A megabyte a frame, hundreds of packets each; enough buffers that none runs short but while the
    // test holds them all.
    configure(map, 1024, 1024, 20.0);
    constexpr size_t kBuffers = 8;
    Grab grab(device, kBuffers, 1024 * 1024);
    Nimbo::IStreamGrabber* grabber = grab.grabber;
    GenApi::CCommandPtr(map.GetNode("AcquisitionStart"))->Execute();

    // GigE Vision block ids count 1 to 65535 and wrap past 0. A frame that found a buffer only after
    // its first packets (its leader among them) fails and carries no block id: it came, and is not
    // missed. The fake camera's first frame is 65401: frames that find no buffer before it count too.
    int64_t expected = 0;
    uint64_t lastBlock = 65400;
    int64_t withoutId = 0;
    const auto take = [&](const Nimbo::GrabResult& r) {
        const uint64_t block = r.GetBlockID();
        if (block == 0) {
            ++withoutId;
            return;
        }
        expected +=
            static_cast<int64_t>(block > lastBlock ? block - lastBlock : block + 65535 - lastBlock) - 1 - withoutId;
        lastBlock = block;
        withoutId = 0;
    };
    std::vector<uintptr_t> held;
    Nimbo::GrabResult r;
    for (int n = 0; n < 36; ++n) {
        ASSERT_TRUE(testsupport::waitFor([&] { return grabber->RetrieveResult(r); }, 10000)) << n;
        take(r);
        // Twice the grab keeps every buffer for a while: the camera's frames find none meanwhile.
        if (n == 5 || n == 20) {
            held.push_back(Grab::indexOf(r));
            while (held.size() < kBuffers) {
                ASSERT_TRUE(testsupport::waitFor([&] { return grabber->RetrieveResult(r); }, 10000));
                take(r);
                held.push_back(Grab::indexOf(r));
                ++n;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            for (uintptr_t index : held)
                grab.queue(index);
            held.clear();
            continue;
        }
        grab.queue(Grab::indexOf(r));
    }
    // Every frame up to the stop finds a buffer: taken until the camera is quiet.
    GenApi::CCommandPtr(map.GetNode("AcquisitionStop"))->Execute();
    while (testsupport::waitFor([&] { return grabber->RetrieveResult(r); }, 500)) {
        take(r);
        grab.queue(Grab::indexOf(r));
    }
    EXPECT_GE(expected, 4) << "the camera kept sending while no buffer was queued";
    GenApi::CIntegerPtr missed = grabber->GetNodeMap()->GetNode("Statistic_Missed_Frame_Count");
    EXPECT_EQ(missed->GetValue(), expected);
    grabber->FinishGrab();
    EXPECT_EQ(missed->GetValue(), expected) << "the end of the stream adds none";
    while (grabber->RetrieveResult(r)) {
    }

    // Frames that find no buffer after the last one that came count too, though no later frame shows
    // the gap: the first frame of the next grab tells how many the camera sent.
    const auto single = [&](uint64_t& block) {
        grabber->PrepareGrab();
        grabber->QueueBuffer(grabber->RegisterBuffer(grab.memory[0].data(), grab.memory[0].size()), nullptr);
        GenApi::CCommandPtr(map.GetNode("AcquisitionStart"))->Execute();
        ASSERT_TRUE(testsupport::waitFor([&] { return grabber->RetrieveResult(r); }, 10000));
        ASSERT_EQ(r.Status(), Nimbo::Grabbed) << r.GetErrorDescription();
        block = r.GetBlockID();
    };
    uint64_t first = 0, next = 0;
    single(first);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    GenApi::CCommandPtr(map.GetNode("AcquisitionStop"))->Execute();
    grabber->FinishGrab();
    single(next);
    // The last frame before the stop may still wait in the socket when the stream ends: it goes
    // uncounted.
    const int64_t sent = static_cast<int64_t>(next > first ? next - first : next + 65535 - first) - 1;
    EXPECT_GE(sent, 2);
    EXPECT_GE(missed->GetValue() - expected, sent - 1);
    EXPECT_LE(missed->GetValue() - expected, sent);
    GenApi::CCommandPtr(map.GetNode("AcquisitionStop"))->Execute();
    grabber->FinishGrab();
    grabber->Close();
}

// A cancel may catch Aravis in the middle of a frame: a buffer it has begun to fill comes back cleared,
// every other one as it was queued, and never with part of a frame.
TEST_F(RealCameraTest, CancelledBuffersComeBackUntouchedOrClearedNeverHoldingPartOfAFrame)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RC0007");
    Nimbo::INimboDevice* device = fake.device();
    ASSERT_NE(device, nullptr);
    device->Open();
    GenApi::INodeMap& map = *device->GetNodeMap();
    configure(map, 2048, 2048, 100.0);
    constexpr size_t kSize = 2048 * 2048;
    constexpr uint8_t kQueued = 0xA5;
    Nimbo::IStreamGrabber* grabber = device->GetStreamGrabber(0);
    grabber->Open();
    grabber->PrepareGrab();
    std::vector<std::vector<uint8_t>> memory(4, std::vector<uint8_t>(kSize));
    std::vector<Nimbo::StreamBufferHandle> handles;
    for (auto& m : memory)
        handles.push_back(grabber->RegisterBuffer(m.data(), kSize));
    const auto queue = [&](uintptr_t index) {
        std::fill(memory[index].begin(), memory[index].end(), kQueued);
        grabber->QueueBuffer(handles[index], reinterpret_cast<const void*>(index));
    };
    const auto all = [](const uint8_t* p, uint8_t value) {
        return std::find_if(p, p + kSize, [value](uint8_t b) { return b != value; }) == p + kSize;
    };
    GenApi::CCommandPtr(map.GetNode("AcquisitionStart"))->Execute();

    int cleared = 0, untouched = 0, partial = 0;
    for (int round = 0; round < 60 && cleared < 3; ++round) {
        for (uintptr_t i = 0; i < memory.size(); ++i)
            queue(i);
        // A frame arrives first, so that the stream runs; the cancel then falls at a varying point of
        // the next one.
        Nimbo::GrabResult r;
        ASSERT_TRUE(testsupport::waitFor([&] { return grabber->RetrieveResult(r); }, 10000)) << round;
        if (r.Status() == Nimbo::Grabbed) {
            EXPECT_TRUE(diagonal(static_cast<const uint8_t*>(r.Buffer()), 2048, 2048));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(700 * (round % 13)));
        grabber->CancelGrab();
        while (grabber->RetrieveResult(r)) {
            if (r.Status() != Nimbo::Canceled)
                continue;
            const auto* pixels = static_cast<const uint8_t*>(r.Buffer());
            if (all(pixels, kQueued))
                ++untouched;
            else if (all(pixels, 0))
                ++cleared;
            else
                ++partial;
        }
    }
    EXPECT_EQ(partial, 0) << "cancelled buffers holding part of a frame";
    EXPECT_GT(cleared, 0) << "no cancel fell inside a frame";
    EXPECT_GT(untouched, 0);
    GenApi::CCommandPtr(map.GetNode("AcquisitionStop"))->Execute();
    grabber->FinishGrab();
    grabber->Close();
}

// A buffer smaller than the frame: Aravis fills what fits and may call the frame complete; the result
// fails, saying why, rather than passing part of a frame as good, and the grab goes on.
TEST_F(RealCameraTest, ABufferSmallerThanTheFrameFailsAndTheGrabGoesOn)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RC0014");
    Nimbo::INimboDevice* device = fake.device();
    ASSERT_NE(device, nullptr);
    device->Open();
    GenApi::INodeMap& map = *device->GetNodeMap();
    constexpr size_t kFrame = 512 * 256;
    configure(map, 512, 256, 50.0);
    Nimbo::IStreamGrabber* grabber = device->GetStreamGrabber(0);
    grabber->Open();
    grabber->PrepareGrab();
    // Half the frame ends on a packet's edge; a byte short cuts its last packet.
    const std::pair<const char*, size_t> shortBuffers[] = {{"half the frame", kFrame / 2},
                                                           {"a byte short", kFrame - 1}};
    std::vector<std::vector<uint8_t>> memory;
    std::vector<Nimbo::StreamBufferHandle> handles;
    for (const auto& b : shortBuffers) {
        memory.emplace_back(b.second);
        handles.push_back(grabber->RegisterBuffer(memory.back().data(), b.second));
    }
    memory.emplace_back(kFrame);
    handles.push_back(grabber->RegisterBuffer(memory.back().data(), kFrame));
    GenApi::CCommandPtr(map.GetNode("AcquisitionStart"))->Execute();
    Nimbo::GrabResult r;
    for (size_t i = 0; i < handles.size(); ++i) {
        const bool fits = i == handles.size() - 1;
        SCOPED_TRACE(fits ? "the frame's size" : shortBuffers[i].first);
        grabber->QueueBuffer(handles[i], nullptr);
        ASSERT_TRUE(testsupport::waitFor([&] { return grabber->RetrieveResult(r); }, 5000));
        EXPECT_EQ(r.Buffer(), memory[i].data());
        if (fits) {
            ASSERT_EQ(r.Status(), Nimbo::Grabbed) << r.GetErrorDescription();
            EXPECT_EQ(r.GetPayloadSize(), int64_t(kFrame));
            EXPECT_TRUE(diagonal(static_cast<const uint8_t*>(r.Buffer()), 512, 256));
        } else {
            EXPECT_EQ(r.Status(), Nimbo::Failed) << r.GetPayloadSize() << " bytes of " << kFrame << " passed as good";
            EXPECT_EQ(r.GetErrorCode(), 0xE1000200u) << std::hex << r.GetErrorCode();
            EXPECT_NE(std::string(r.GetErrorDescription().c_str()).find("does not fit"), std::string::npos)
                << r.GetErrorDescription();
        }
    }
    GenApi::CCommandPtr(map.GetNode("AcquisitionStop"))->Execute();
    grabber->FinishGrab();
    grabber->Close();
}

// The context switches of this process's threads of that name.
uint64_t contextSwitches(const std::string& name)
{
    uint64_t total = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return 0;
    while (dirent* task = readdir(tasks)) {
        const std::string base = std::string("/proc/self/task/") + task->d_name + "/";
        std::ifstream comm(base + "comm");
        std::string threadName;
        std::getline(comm, threadName);
        if (threadName != name)
            continue;
        std::ifstream status(base + "status");
        for (std::string line; std::getline(status, line);)
            if (line.find("ctxt_switches:") != std::string::npos)
                total += std::stoull(line.substr(line.find(':') + 1));
    }
    closedir(tasks);
    return total;
}

// A grab that waits for frames (buffers queued, the camera not sending) costs no wake-ups of its own.
TEST_F(RealCameraTest, AStreamWithoutFramesWakesNoThreadOfTheSdk)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RC0009");
    Nimbo::INimboDevice* device = fake.device();
    ASSERT_NE(device, nullptr);
    device->Open();
    configure(*device->GetNodeMap(), 256, 128);
    {
        Grab grab(device, 4, 256 * 128);
        ASSERT_TRUE(testsupport::waitFor([] { return contextSwitches("nimbo-pump") > 0; }, 5000));
        const uint64_t before = contextSwitches("nimbo-pump");
        std::this_thread::sleep_for(std::chrono::seconds(1));
        EXPECT_LT(contextSwitches("nimbo-pump") - before, 20u) << "wake-ups in a second";
        grab.grabber->FinishGrab();
        grab.grabber->Close();
    }
}

// Aravis' receiving thread hands each frame over itself: no thread of the SDK wakes for it.
TEST_F(RealCameraTest, FramesReachTheGrabberWithoutWakingAThreadOfTheSdk)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RC0013");
    Nimbo::INimboDevice* device = fake.device();
    ASSERT_NE(device, nullptr);
    device->Open();
    GenApi::INodeMap& map = *device->GetNodeMap();
    configure(map, 256, 128, 200.0);
    Grab grab(device, 4, 256 * 128);
    ASSERT_TRUE(testsupport::waitFor([] { return contextSwitches("nimbo-pump") > 0; }, 5000));
    const uint64_t before = contextSwitches("nimbo-pump");
    GenApi::CCommandPtr(map.GetNode("AcquisitionStart"))->Execute();
    int frames = 0;
    Nimbo::GrabResult r;
    while (frames < 200 && grab.grabber->GetWaitObject().Wait(5000)) {
        while (grab.grabber->RetrieveResult(r)) {
            frames += r.Status() == Nimbo::Grabbed;
            grab.queue(Grab::indexOf(r));
        }
    }
    // Results that came together are all taken: the count may pass 200.
    EXPECT_GE(frames, 200);
    EXPECT_LT(contextSwitches("nimbo-pump") - before, 20u) << "wake-ups for " << frames << " frames";
    GenApi::CCommandPtr(map.GetNode("AcquisitionStop"))->Execute();
    grab.grabber->FinishGrab();
    grab.grabber->Close();
}

// A camera that stops answering costs the wait for Aravis' time-out once: later accesses fail at
// once, until the camera answers again.
TEST_F(RealCameraTest, ACameraThatStopsAnsweringFailsFastUntilItAnswersAgain)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RC0010");
    Nimbo::INimboDevice* device = fake.device();
    ASSERT_NE(device, nullptr);
    // Long enough that the camera keeps its controller through the pause.
    GenApi::CIntegerPtr(device->GetTLNodeMap()->GetNode("HeartbeatTimeout"))->SetValue(30000);
    device->Open();
    GenApi::CIntegerPtr address = device->GetNodeMap()->GetNode("GevCurrentIPAddress"); // read every time
    ASSERT_EQ(address->GetValue(), 0x7F000001);
    fake.camera().pause();
    EXPECT_THROW(address->GetValue(), GenICam::GenericException);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i)
        EXPECT_THROW(address->GetValue(), GenICam::GenericException);
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(took, 2000) << "ms for five reads after the time-out";
    // Nor do the grabber's settings and a grab wait for it: they fail at once, saying why.
    Nimbo::IStreamGrabber* grabber = device->GetStreamGrabber(0);
    grabber->Open();
    const std::pair<const char*, std::function<void()>> accesses[] = {
        {"packet size", [&] { GenApi::CIntegerPtr(grabber->GetNodeMap()->GetNode("PacketSize"))->SetValue(1400); }},
        {"inter-packet delay",
         [&] { GenApi::CIntegerPtr(grabber->GetNodeMap()->GetNode("InterPacketDelay"))->SetValue(100); }},
        {"prepare", [&] { grabber->PrepareGrab(); }},
    };
    for (const auto& access : accesses) {
        SCOPED_TRACE(access.first);
        const auto begin = std::chrono::steady_clock::now();
        try {
            access.second();
            ADD_FAILURE() << "done on a camera that does not answer";
        } catch (const GenICam::GenericException& e) {
            EXPECT_NE(std::string(e.GetDescription()).find("does not answer"), std::string::npos) << e.GetDescription();
        }
        EXPECT_LT(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin).count(),
            2000);
    }
    fake.camera().resume();
    EXPECT_TRUE(testsupport::waitFor(
        [&] {
            try {
                return address->GetValue() == 0x7F000001;
            } catch (const GenICam::GenericException&) {
                return false;
            }
        },
        10000));
    EXPECT_FALSE(device->IsRemoved());
    // Answering again, it streams.
    grabber->PrepareGrab();
    grabber->FinishGrab();
    grabber->Close();
}

TEST_F(RealCameraTest, ACameraThatStopsAnsweringIsReportedRemovedOnce)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RC0005");
    Nimbo::INimboDevice* device = fake.device();
    ASSERT_NE(device, nullptr);
    std::atomic<int> removals{0};
    device->RegisterRemovalCallback([&removals](Nimbo::INimboDevice*) { ++removals; });
    Nimbo::CInstantCamera camera(fake.release());
    camera.Open();
    camera.StartGrabbing();
    Nimbo::CGrabResultPtr result;
    ASSERT_TRUE(camera.RetrieveResult(5000, result));
    fake.camera().stop(SIGKILL);
    EXPECT_TRUE(testsupport::waitFor([&] { return removals.load() > 0; }, 30000));
    EXPECT_TRUE(camera.IsCameraDeviceRemoved());
    camera.StopGrabbing(); // must not hang
    Nimbo::Emulation::WaitForEvents();
    EXPECT_EQ(removals.load(), 1);
}

// A camera that dies while it streams costs its user at most the one request that finds it silent:
// stopping the grab, closing and destroying the device skip whatever cannot reach it, and Aravis'
// own objects, whose release would wait for the camera again, are let go where nobody waits for them.
// Once the removal is reported nothing waits for the camera at all. A camera that comes back opens
// and streams as before.
TEST_F(RealCameraTest, ACameraThatDiesWhileItStreamsIsLetGoWithoutWaitingForIt)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    // Aravis waits 2.5 s for a request the camera does not answer; the first one may also queue behind
    // a request of Aravis' heartbeat. Letting go of the camera before wasted some 15 s.
    struct Case {
        const char* what;
        bool removalReported;
        int64_t boundMs;
    };
    const Case cases[] = {
        {"as soon as it died", false, 7000},
        {"after its removal was reported", true, 1500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeCameraDevice fake("RC0015");
        Nimbo::INimboDevice* device = fake.device();
        ASSERT_NE(device, nullptr);
        std::atomic<int> removals{0};
        device->RegisterRemovalCallback([&removals](Nimbo::INimboDevice*) { ++removals; });
        device->Open();
        GenApi::INodeMap& map = *device->GetNodeMap();
        configure(map, 256, 128, 50.0);
        Grab grab(device, 4, 256 * 128);
        GenApi::CCommandPtr(map.GetNode("AcquisitionStart"))->Execute();
        Nimbo::GrabResult r;
        ASSERT_TRUE(testsupport::waitFor([&] { return grab.grabber->RetrieveResult(r); }, 10000));
        fake.camera().stop(SIGKILL);
        if (c.removalReported) {
            ASSERT_TRUE(testsupport::waitFor([&] { return removals.load() > 0; }, 30000));
            Nimbo::Emulation::WaitForEvents();
        }

        // What the grab engine does to stop and let go of a camera.
        const auto start = std::chrono::steady_clock::now();
        try {
            GenApi::CCommandPtr(map.GetNode("AcquisitionStop"))->Execute();
        } catch (const GenICam::GenericException&) {
            // A dead camera refuses it; the teardown goes on.
        }
        grab.grabber->CancelGrab();
        grab.grabber->FinishGrab();
        while (grab.grabber->RetrieveResult(r)) {
        }
        grab.grabber->Close();
        device->Close();
        Nimbo::CTlFactory::GetInstance().DestroyDevice(fake.release());
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(took, c.boundMs) << "ms to stop, close and destroy";
    }

    // The camera comes back: it opens and streams.
    FakeCameraDevice again("RC0015");
    ASSERT_NE(again.device(), nullptr);
    Nimbo::CInstantCamera camera(again.release());
    camera.Open();
    configure(camera.GetNodeMap(), 256, 128, 50.0);
    camera.StartGrabbing();
    Nimbo::CGrabResultPtr result;
    ASSERT_TRUE(camera.RetrieveResult(5000, result));
    EXPECT_TRUE(result->GrabSucceeded()) << result->GetErrorDescription();
    camera.StopGrabbing();
    camera.Close();
}

// A camera that dies at any step of a grab costs its user the wait for the one request that finds it
// silent (2.5 s, longer behind a request of Aravis' heartbeat): every step after that one, to the
// device's destruction, waits for nothing. Among those requests are Aravis' own, which it sends to make
// a stream or to stop the stream channel and which tell nothing of a time-out.
TEST_F(RealCameraTest, ACameraThatDiesAtAnyStepOfAGrabCostsOneWait)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    enum Moment { BeforePrepare, AfterStop, AfterFinish, AfterClose };
    const std::pair<Moment, const char*> moments[] = {
        {BeforePrepare, "before the grab is prepared"},
        {AfterStop, "after the acquisition stopped"},
        {AfterFinish, "after the grab finished"},
        {AfterClose, "after the device closed"},
    };
    for (const auto& moment : moments) {
        SCOPED_TRACE(moment.second);
        FakeCameraDevice fake("RC0018");
        ASSERT_NE(fake.device(), nullptr);
        Nimbo::INimboDevice* device = fake.release();
        device->Open();
        GenApi::INodeMap& map = *device->GetNodeMap();
        configure(map, 256, 128, 50.0);
        Nimbo::IStreamGrabber* grabber = device->GetStreamGrabber(0);
        grabber->Open();
        std::vector<std::vector<uint8_t>> memory(4, std::vector<uint8_t>(256 * 128));
        bool died = false;
        std::vector<std::pair<std::string, int64_t>> waits; // the steps after the death that took long
        const auto step = [&](Moment before, const char* what, const std::function<void()>& action) {
            if (moment.first == before) {
                fake.camera().stop(SIGKILL);
                died = true;
            }
            const auto start = std::chrono::steady_clock::now();
            try {
                action();
            } catch (const GenICam::GenericException&) {
                ASSERT_TRUE(died) << what << " failed on a camera that answers";
            }
            const int64_t took =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
            if (died && took >= 1500)
                waits.emplace_back(what, took);
        };
        step(BeforePrepare, "prepare", [&] {
            grabber->PrepareGrab();
            for (size_t i = 0; i < memory.size(); ++i)
                grabber->QueueBuffer(grabber->RegisterBuffer(memory[i].data(), memory[i].size()),
                                     reinterpret_cast<const void*>(i));
        });
        step(BeforePrepare, "start", [&] {
            GenApi::CCommandPtr(map.GetNode("AcquisitionStart"))->Execute();
            Nimbo::GrabResult r;
            if (!died)
                ASSERT_TRUE(testsupport::waitFor([&] { return grabber->RetrieveResult(r); }, 10000));
        });
        step(BeforePrepare, "stop", [&] { GenApi::CCommandPtr(map.GetNode("AcquisitionStop"))->Execute(); });
        step(AfterStop, "finish", [&] {
            grabber->CancelGrab();
            grabber->FinishGrab();
            Nimbo::GrabResult r;
            while (grabber->RetrieveResult(r)) {
            }
            grabber->Close();
        });
        step(AfterFinish, "close", [&] { device->Close(); });
        step(AfterClose, "destroy", [&] { Nimbo::CTlFactory::GetInstance().DestroyDevice(device); });
        EXPECT_LE(waits.size(), 1u) << [&] {
            std::string text;
            for (const auto& w : waits)
                text += w.first + " took " + std::to_string(w.second) + " ms; ";
            return text;
        }();
    }
}

// A camera that answers again after letting requests time out opens again at once and answers as
// before, whether it fell silent while open here (and was closed meanwhile) or while it was being
// opened: the control channel that this program took or asked for while the camera was silent is
// given back, not left to hold the camera against its next opening.
TEST_F(RealCameraTest, ACameraThatAnswersAgainOpensAgainAtOnce)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    struct Case {
        const char* what;
        bool silentWhileOpen;
    };
    const Case cases[] = {
        {"closed while it did not answer", true},
        {"silent while it was being opened", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeCameraDevice fake("RC0017");
        Nimbo::INimboDevice* device = fake.device();
        ASSERT_NE(device, nullptr);
        // Long enough that the camera keeps its controller through the pause.
        GenApi::CIntegerPtr(device->GetTLNodeMap()->GetNode("HeartbeatTimeout"))->SetValue(30000);
        GenApi::CIntegerPtr address = device->GetNodeMap()->GetNode("GevCurrentIPAddress"); // read every time
        if (c.silentWhileOpen) {
            device->Open();
            fake.camera().pause();
            EXPECT_THROW(address->GetValue(), GenICam::GenericException);
            fake.camera().resume();
            device->Close();
        } else {
            fake.camera().pause();
            try {
                device->Open();
                ADD_FAILURE() << "opened a camera that does not answer";
            } catch (const GenICam::GenericException& e) {
                EXPECT_NE(std::string(e.GetDescription()).find("does not answer"), std::string::npos)
                    << e.GetDescription();
            }
            fake.camera().resume();
        }
        try {
            device->Open();
            EXPECT_EQ(address->GetValue(), 0x7F000001);
        } catch (const GenICam::GenericException& e) {
            ADD_FAILURE() << e.GetDescription();
        }
        device->Close();
    }
}

// Once a camera's removal is reported, the settings of its transport layer and stream grabber that live
// in the camera fail, or read what is known here, at once: none of them waits for the camera, also
// when it is the first access since the camera went (a grab engine or the bandwidth manager restoring
// its link settings while it lets the camera go).
TEST_F(RealCameraTest, TheSettingsOfARemovedCameraWaitForNothing)
{
    RUN_IN_LOOPBACK_NAMESPACE();
    FakeCameraDevice fake("RC0016");
    Nimbo::INimboDevice* device = fake.device();
    ASSERT_NE(device, nullptr);
    std::atomic<int> removals{0};
    device->RegisterRemovalCallback([&removals](Nimbo::INimboDevice*) { ++removals; });
    device->Open();
    Nimbo::IStreamGrabber* grabber = device->GetStreamGrabber(0);
    grabber->Open();
    GenApi::CIntegerPtr heartbeat = device->GetTLNodeMap()->GetNode("HeartbeatTimeout");
    GenApi::CIntegerPtr packetSize = grabber->GetNodeMap()->GetNode("PacketSize");
    GenApi::CIntegerPtr packetDelay = grabber->GetNodeMap()->GetNode("InterPacketDelay");
    ASSERT_TRUE(heartbeat.IsValid() && packetSize.IsValid() && packetDelay.IsValid());
    fake.camera().stop(SIGKILL);
    ASSERT_TRUE(testsupport::waitFor([&] { return removals.load() > 0; }, 30000));
    Nimbo::Emulation::WaitForEvents();

    const std::pair<const char*, std::function<void()>> accesses[] = {
        {"read the heartbeat time-out", [&] { heartbeat->GetValue(); }},
        {"write the heartbeat time-out", [&] { heartbeat->SetValue(5000); }},
        {"read the packet size", [&] { packetSize->GetValue(); }},
        {"read the inter-packet delay", [&] { packetDelay->GetValue(); }},
        {"write the packet size", [&] { packetSize->SetValue(1400); }},
        {"write the inter-packet delay", [&] { packetDelay->SetValue(10); }},
    };
    for (const auto& access : accesses) {
        SCOPED_TRACE(access.first);
        const auto start = std::chrono::steady_clock::now();
        try {
            access.second();
        } catch (const GenICam::GenericException&) {
            // Failing is fine; waiting is not.
        }
        EXPECT_LT(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count(),
            1000);
    }
    grabber->Close();
}

// True when sysfs shows a USB3 Vision interface (class ef, subclass 05) on this machine.
bool usb3VisionPlugged()
{
    DIR* folder = opendir("/sys/bus/usb/devices");
    if (!folder)
        return false;
    const auto read = [](const std::string& path) {
        std::ifstream file(path);
        std::string text;
        file >> text;
        return text;
    };
    bool found = false;
    while (dirent* entry = readdir(folder)) {
        const std::string base = std::string("/sys/bus/usb/devices/") + entry->d_name + "/";
        found = found || (read(base + "bInterfaceClass") == "ef" && read(base + "bInterfaceSubClass") == "05");
    }
    closedir(folder);
    return found;
}

TEST_F(RealCameraTest, UsbDiscoveryWithoutDevicesListsOnlyTheEmulatedCameras)
{
    // USB discovery sends nothing over the network; it runs wherever the test does.
    if (usb3VisionPlugged())
        GTEST_SKIP() << "a USB3 Vision camera is plugged into this machine";
    setenv("NIMBO_REAL_CAMERAS", "1", 1);
    Nimbo::Emulation::Configure("usb:qvUsb1920c:40000001;gige:gxGige1280c:40000002");
    Nimbo::DeviceInfoList_t list;
    ASSERT_NO_THROW(Nimbo::CTlFactory::GetInstance().CreateTl("VelmarUsb")->EnumerateDevices(list, false));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].GetSerialNumber(), "40000001");
    EXPECT_EQ(list[0].GetDeviceClass(), "VelmarUsb");
}

} // namespace
