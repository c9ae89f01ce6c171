// Measuring cameras against the emulated USB and GigE cameras: creation, counting, sampling, the
// group operations, the GigE link settings, and the integer-node setter.
#include <orbelt/BandwidthMeasuringCamera.h>

#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>

#include <GenApi/GenApi.h>

#include <testsupport/EmulatedCameras.h>
#include <testsupport/HostGrab.h>
#include <testsupport/Wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

using namespace Nimbo;

namespace {

using testsupport::emulatedCamera;
using testsupport::smallFrames;
using testsupport::waitFor;

int64_t intValue(GenApi::INodeMap& map, const char* name)
{
    return GenApi::CIntegerPtr(map.GetNode(name))->GetValue();
}

// 100 frames per second: sixteen buffers then cover a stall of more than a tenth of a second.
void moderateRate(CInstantCamera& camera)
{
    smallFrames(camera);
    GenApi::INodeMap& map = camera.GetNodeMap();
    GenApi::CBooleanPtr(map.GetNode("AcquisitionFrameRateEnable"))->SetValue(true);
    GenApi::CFloatPtr rate = map.GetNode("AcquisitionFrameRate");
    if (!rate.IsValid())
        rate = map.GetNode("AcquisitionFrameRateAbs");
    rate->SetValue(100.0);
}

class BandwidthMeasuringCameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Emulation::Configure("usb:vxUsb1920m:U1;gige:gxGige1280c:G1;usb:qvUsb1920c:U2"));
    }
    void TearDown() override { Emulation::WaitForEvents(); }
};

} // namespace

TEST_F(BandwidthMeasuringCameraTest, CreationChoosesTheClassByDeviceClassAndOwnsTheDevice)
{
    MeasuringCameraList list;
    CBandwidthMeasuringCamera* usb = createMeasuringCamera(list, emulatedCamera("U1"));
    CBandwidthMeasuringCamera* gige = createMeasuringCamera(list, emulatedCamera("G1"));
    EXPECT_EQ(dynamic_cast<CBandwidthMeasuringCameraGigE*>(usb), nullptr);
    EXPECT_NE(dynamic_cast<CBandwidthMeasuringCameraGigE*>(gige), nullptr);
    ASSERT_EQ(list.cameras.size(), 2u);
    EXPECT_EQ(list.cameras[0], usb);
    EXPECT_EQ(list.cameras[1], gige);
    for (CBandwidthMeasuringCamera* camera : list.cameras) {
        EXPECT_TRUE(camera->IsOpen());
        EXPECT_TRUE(camera->HasOwnership());
        EXPECT_EQ(camera->GetCameraContext(), 1);
    }
    EXPECT_EQ(findMeasuringCamera(list, emulatedCamera("G1")), gige);
    EXPECT_EQ(findMeasuringCamera(list, emulatedCamera("U2")), nullptr);

    // A camera of another list is left alone.
    MeasuringCameraList other;
    CBandwidthMeasuringCamera* stranger = createMeasuringCamera(other, emulatedCamera("U2"));
    removeMeasuringCamera(list, stranger);
    EXPECT_EQ(list.cameras.size(), 2u);
    EXPECT_TRUE(stranger->IsOpen());

    removeMeasuringCamera(list, usb);
    ASSERT_EQ(list.cameras.size(), 1u);
    EXPECT_EQ(list.cameras[0], gige);
    EXPECT_TRUE(CTlFactory::GetInstance().IsDeviceAccessible(emulatedCamera("U1")));
    EXPECT_FALSE(CTlFactory::GetInstance().IsDeviceAccessible(emulatedCamera("G1")));
}

TEST_F(BandwidthMeasuringCameraTest, IdleSampleReadsWhatTheCameraWouldSend)
{
    MeasuringCameraList list;
    // SFNC 2 USB: "ResultingFrameRate"; SFNC 1 GigE: only "ResultingFrameRateAbs".
    for (const char* serial : {"U1", "G1"}) {
        SCOPED_TRACE(serial);
        CBandwidthMeasuringCamera* camera = createMeasuringCamera(list, emulatedCamera(serial));
        GenApi::INodeMap& map = camera->GetNodeMap();
        GenApi::CFloatPtr rate = map.GetNode("ResultingFrameRate");
        if (!rate.IsValid())
            rate = map.GetNode("ResultingFrameRateAbs");
        ASSERT_TRUE(rate.IsValid());
        const SampleData data = sample(*camera);
        EXPECT_EQ(data.images, 0u);
        EXPECT_EQ(data.errors, 0u);
        EXPECT_DOUBLE_EQ(data.fpsReceived, -1.0);
        EXPECT_EQ(data.bytesPerSecondReceived, 0u);
        EXPECT_GT(data.fpsSent, 0.0);
        EXPECT_DOUBLE_EQ(data.fpsSent, rate->GetValue());
        EXPECT_EQ(data.bytesPerSecondSent,
                  static_cast<uint64_t>(static_cast<double>(intValue(map, "PayloadSize")) * rate->GetValue()));
        EXPECT_FALSE(data.deviceRemoved);
        EXPECT_FALSE(data.grabStartTime.isValid());
        EXPECT_EQ(data.linkThroughputLimit, -1);
        EXPECT_TRUE(canStartGrab(*camera));
    }
}

TEST_F(BandwidthMeasuringCameraTest, GrabbingCountsImagesAndReceivedRatesThenResetStartsAfresh)
{
    MeasuringCameraList list;
    CBandwidthMeasuringCamera* usb = createMeasuringCamera(list, emulatedCamera("U1"));
    CBandwidthMeasuringCamera* gige = createMeasuringCamera(list, emulatedCamera("G1"));
    for (CBandwidthMeasuringCamera* camera : list.cameras) {
        smallFrames(*camera);
        GenApi::CEnumerationPtr(camera->GetNodeMap().GetNode("AcquisitionMode"))->FromString("SingleFrame");
    }
    startAll(list);
    EXPECT_EQ(list.measuring, 1);
    for (CBandwidthMeasuringCamera* camera : list.cameras) {
        EXPECT_TRUE(camera->IsGrabbing());
        // A single-frame mode would end the measurement after one image.
        EXPECT_EQ(GenApi::CEnumerationPtr(camera->GetNodeMap().GetNode("AcquisitionMode"))->ToString(), "Continuous");
    }
    // Starting again leaves grabbing cameras alone.
    startAll(list);
    // A rate shows after the second image; wait for more, so that the counts below and the fresh count
    // after the reset have room between them.
    ASSERT_TRUE(waitFor([&] {
        return sample(*usb).images > 10u && sample(*usb).fpsReceived > 0.0 && sample(*gige).fpsReceived > 0.0;
    }));
    const int64_t payload = intValue(usb->GetNodeMap(), "PayloadSize");
    const SampleData data = sample(*usb);
    EXPECT_GT(data.images, 2u);
    // Frames missed under load count in both.
    EXPECT_LE(data.errors, data.images);
    EXPECT_GT(data.bytesPerSecondReceived, 0u);
    EXPECT_TRUE(data.grabStartTime.isValid());
    EXPECT_EQ(data.linkThroughputLimit, intValue(usb->GetNodeMap(), "DeviceLinkThroughputLimit"));
    EXPECT_EQ(sample(*gige).linkThroughputLimit, -1) << "GigE has no link throughput limit";
    // Every grab result carries one payload, so the data rate lies within a few frames of it.
    EXPECT_LT(static_cast<double>(data.bytesPerSecondReceived), data.fpsReceived * payload * 2);

    resetAll(list);
    const SampleData fresh = sample(*usb);
    EXPECT_LT(fresh.images, data.images);
    EXPECT_TRUE(fresh.grabStartTime.isValid()) << "still grabbing";

    stopAll(list);
    EXPECT_EQ(list.measuring, 0);
    for (CBandwidthMeasuringCamera* camera : list.cameras)
        EXPECT_FALSE(camera->IsGrabbing());
    resetAll(list);
    const SampleData stopped = sample(*usb);
    EXPECT_EQ(stopped.images, 0u);
    EXPECT_EQ(stopped.errors, 0u);
    EXPECT_DOUBLE_EQ(stopped.fpsReceived, -1.0);
    EXPECT_FALSE(stopped.grabStartTime.isValid());
    EXPECT_EQ(stopped.linkThroughputLimit, -1);
}

TEST_F(BandwidthMeasuringCameraTest, FailedGrabResultCountsAsImageAndError)
{
    MeasuringCameraList list;
    CBandwidthMeasuringCamera* camera = createMeasuringCamera(list, emulatedCamera("U1"));
    moderateRate(*camera);
    ASSERT_TRUE(Emulation::InjectFailedFrames("U1", 3));
    startGrab(*camera);
    ASSERT_TRUE(waitFor([&] { return sample(*camera).images >= 6; }));
    stopAll(list);
    const SampleData data = sample(*camera);
    EXPECT_EQ(data.errors, 3u);
    EXPECT_GE(data.images, 6u);
}

// Frames that arrive while the grab loop is held up find no buffer and are missed: each counts as an image
// and as an error, once, also when the measurement starts again (the SDK's counter runs for the device's
// life). No failed frame is injected, so every error here is a missed frame.
TEST_F(BandwidthMeasuringCameraTest, MissedFramesCountOnceInImagesAndErrorsAcrossARestart)
{
    MeasuringCameraList list;
    CBandwidthMeasuringCamera* camera = createMeasuringCamera(list, emulatedCamera("U1"));
    moderateRate(*camera);
    GenApi::CIntegerPtr missed = camera->GetStreamGrabberNodeMap().GetNode("Statistic_Buffer_Underrun_Count");
    ASSERT_TRUE(missed.IsValid());
    const int64_t atStart = missed->GetValue();
    startAll(list);
    ASSERT_TRUE(waitFor([&] { return sample(*camera).images >= 2; }));
    {
        // Every grab result waits for the camera lock: the buffers run out and the camera misses frames.
        std::lock_guard<GenApi::CLock> hold(camera->GetLock());
        ASSERT_TRUE(waitFor([&] { return missed->GetValue() >= atStart + 5; }));
    }
    int64_t before = missed->GetValue();
    const SampleData data = sample(*camera);
    int64_t after = missed->GetValue();
    EXPECT_GE(data.errors, static_cast<uint64_t>(before - atStart));
    EXPECT_LE(data.errors, static_cast<uint64_t>(after - atStart));
    EXPECT_GE(data.images, data.errors + 2) << "the frames received count as well";

    // The counter rests while no grab runs; the next measurement counts only what it misses itself.
    stopAll(list);
    const uint64_t errorsSoFar = sample(*camera).errors;
    const int64_t atRestart = missed->GetValue();
    ASSERT_GE(atRestart, 5);
    startAll(list);
    before = missed->GetValue();
    const SampleData again = sample(*camera);
    after = missed->GetValue();
    EXPECT_LE(again.errors, errorsSoFar + static_cast<uint64_t>(after - atRestart))
        << "the misses of the first measurement are counted once";
    EXPECT_GE(again.errors + 1, errorsSoFar + static_cast<uint64_t>(before - atRestart));
    stopAll(list);
}

// While grabbing, the sent frame rate is read again only when the camera reports a change.
TEST_F(BandwidthMeasuringCameraTest, FrameRateChangeWhileGrabbingIsPickedUp)
{
    MeasuringCameraList list;
    CBandwidthMeasuringCamera* camera = createMeasuringCamera(list, emulatedCamera("U1"));
    moderateRate(*camera);
    startGrab(*camera);
    ASSERT_TRUE(waitFor([&] { return sample(*camera).fpsReceived > 0.0; }));
    EXPECT_NEAR(sample(*camera).fpsSent, 100.0, 0.01);
    GenApi::CFloatPtr(camera->GetNodeMap().GetNode("AcquisitionFrameRate"))->SetValue(50.0);
    ASSERT_TRUE(waitFor([&] { return std::abs(sample(*camera).fpsSent - 50.0) < 0.01; }));
    stopAll(list);
}

TEST_F(BandwidthMeasuringCameraTest, WrappedPreopenedDeviceStaysOpenWhenRemoved)
{
    INimboDevice* device = CTlFactory::GetInstance().CreateDevice(emulatedCamera("U2"));
    device->Open(AccessModeSet(Control) | Stream | Event);
    {
        MeasuringCameraList list;
        CBandwidthMeasuringCamera* camera = wrapPreopenedDevice(list, device);
        EXPECT_EQ(camera->GetCameraContext(), 0);
        EXPECT_FALSE(camera->HasOwnership());
        smallFrames(*camera);
        startGrab(*camera);
        ASSERT_TRUE(waitFor([&] { return sample(*camera).images >= 2; }));
        removeMeasuringCamera(list, camera);
        EXPECT_TRUE(list.cameras.empty());
    }
    EXPECT_TRUE(device->IsOpen());
    CTlFactory::GetInstance().DestroyDevice(device);
}

// The host grabs from the device it gave the bandwidth manager: measuring it is refused with the reason,
// and the host's grab goes on as it was.
TEST_F(BandwidthMeasuringCameraTest, DeviceTheHostGrabsFromIsNotMeasuredAndKeepsItsFrames)
{
    INimboDevice* device = CTlFactory::GetInstance().CreateDevice(emulatedCamera("U2"));
    device->Open(AccessModeSet(Control) | Stream | Event);
    smallFrames(*device->GetNodeMap());
    {
        testsupport::HostGrab host(device);
        ASSERT_TRUE(host.nextFrame());
        MeasuringCameraList list;
        CBandwidthMeasuringCamera* camera = wrapPreopenedDevice(list, device);
        ASSERT_TRUE(canStartGrab(*camera));
        try {
            startGrab(*camera);
            ADD_FAILURE() << "measured a device grabbed elsewhere";
        } catch (const GenICam::GenericException& e) {
            EXPECT_NE(std::string(e.GetDescription()).find("in use elsewhere"), std::string::npos)
                << e.GetDescription();
        }
        EXPECT_FALSE(camera->isMeasuringGrab());
        startAll(list);
        EXPECT_FALSE(camera->IsGrabbing());
        EXPECT_TRUE(host.grabber()->IsOpen());
        EXPECT_TRUE(host.nextFrame()) << "the host still gets frames";
        removeMeasuringCamera(list, camera);
        EXPECT_TRUE(host.nextFrame());
    }
    EXPECT_TRUE(device->IsOpen());
    CTlFactory::GetInstance().DestroyDevice(device);
}

TEST_F(BandwidthMeasuringCameraTest, RemovedDeviceIsReportedRefusesToStartAndIsDropped)
{
    MeasuringCameraList list;
    CBandwidthMeasuringCamera* removed = createMeasuringCamera(list, emulatedCamera("U1"));
    CBandwidthMeasuringCamera* kept = createMeasuringCamera(list, emulatedCamera("U2"));
    smallFrames(*removed);
    startGrab(*removed);
    ASSERT_TRUE(Emulation::Unplug("U1"));
    Emulation::WaitForEvents();
    ASSERT_TRUE(waitFor([&] { return sample(*removed).deviceRemoved; }));
    EXPECT_FALSE(canStartGrab(*removed));
    EXPECT_FALSE(sample(*kept).deviceRemoved);
    dropRemoved(list);
    ASSERT_EQ(list.cameras.size(), 1u);
    EXPECT_EQ(list.cameras[0], kept);
}

TEST_F(BandwidthMeasuringCameraTest, GrabNoticesNeverWaitForTheCameraLock)
{
    // The SDK gives its grab notices under its handler lock, and a removal notice takes that lock while
    // the device holds its own callback lock, which the camera's attach takes inside the camera lock: a
    // notice that waited for the camera lock could close that circle. So a grab starts and stops while
    // another thread holds the camera lock.
    MeasuringCameraList list;
    CBandwidthMeasuringCamera* camera = createMeasuringCamera(list, emulatedCamera("U1"));
    smallFrames(*camera);
    std::promise<void> locked;
    std::promise<void> release;
    std::thread holder([&] {
        std::lock_guard<GenApi::CLock> lock(camera->GetLock());
        locked.set_value();
        release.get_future().wait();
    });
    locked.get_future().wait();
    // The test drives the grab itself, so no grab-loop thread waits for the lock meanwhile.
    std::future<void> grab = std::async(std::launch::async, [camera] {
        camera->StartGrabbing(GrabStrategy_OneByOne, GrabLoop_ProvidedByUser);
        camera->StopGrabbing();
    });
    const bool done = grab.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    release.set_value();
    holder.join();
    grab.get();
    EXPECT_TRUE(done) << "a grab notice waited for the camera lock";
    EXPECT_FALSE(camera->IsGrabbing());
}

// The GigE camera hardens the link while it is open and puts the earlier settings back, both when it
// is removed from the list and when the list itself goes.
TEST_F(BandwidthMeasuringCameraTest, GigELinkSettingsAreHardenedWhileOpenAndRestoredOnClose)
{
    const struct {
        const char* name;
        int64_t hardened;
    } settings[] = {
        {"HeartbeatTimeout", 10000}, {"WriteTimeout", 50}, {"CommandDuplicationEnable", 1}, {"MaxRetryCountWrite", 60}};
    std::vector<int64_t> before;
    {
        CInstantCamera plain(CTlFactory::GetInstance().CreateDevice(emulatedCamera("G1")));
        plain.Open();
        for (const auto& s : settings)
            before.push_back(intValue(plain.GetTLNodeMap(), s.name));
    }
    for (bool throughList : {false, true}) {
        SCOPED_TRACE(throughList ? "list deleted" : "camera removed");
        auto list = std::make_unique<MeasuringCameraList>();
        CBandwidthMeasuringCamera* camera = createMeasuringCamera(*list, emulatedCamera("G1"));
        for (const auto& s : settings)
            EXPECT_EQ(intValue(camera->GetTLNodeMap(), s.name), s.hardened) << s.name;
        if (throughList)
            list.reset();
        else
            removeMeasuringCamera(*list, camera);

        CInstantCamera plain(CTlFactory::GetInstance().CreateDevice(emulatedCamera("G1")));
        plain.Open();
        for (size_t i = 0; i < before.size(); ++i)
            EXPECT_EQ(intValue(plain.GetTLNodeMap(), settings[i].name), before[i]) << settings[i].name;
    }
}

namespace {
const char* kIntegers = R"(<?xml version="1.0" encoding="utf-8"?>
<RegisterDescription ModelName="M" VendorName="T" StandardNameSpace="None" SchemaMajorVersion="1"
  SchemaMinorVersion="1" SchemaSubMinorVersion="0" MajorVersion="1" MinorVersion="0" SubMinorVersion="0">
  <Integer Name="Grid"><Value>20</Value><Min>10</Min><Max>102</Max><Inc>4</Inc></Integer>
  <Integer Name="Fine"><Value>5</Value><Min>0</Min><Max>9</Max></Integer>
  <Integer Name="ReadOnly"><Value>5</Value><Min>0</Min><Max>9</Max><ImposedAccessMode>RO</ImposedAccessMode></Integer>
</RegisterDescription>)";
}

TEST(SetIntegerNodeTest, CorrectsOrRefusesValuesByMode)
{
    std::unique_ptr<GenApi::INodeMap, void (*)(GenApi::INodeMap*)> map(
        GenApi::CreateNodeMap(kIntegers, GenICam::gcstring_vector(), "Test"), GenApi::DestroyNodeMap);
    ASSERT_TRUE(map);
    // Grid: 10, 14, ..., 98, 102.
    const struct {
        const char* node;
        int64_t value;
        int mode;
        bool result;
        int64_t stored;
    } cases[] = {
        {"Grid", 18, SetInteger_Exact, true, 18},
        {"Grid", 19, SetInteger_Exact, false, 18},
        {"Grid", 6, SetInteger_Exact, false, 18},
        {"Grid", 106, SetInteger_Exact, false, 18},
        {"Grid", 5, SetInteger_RoundUp, true, 10},
        {"Grid", 500, SetInteger_RoundDown, true, 102},
        {"Grid", 19, SetInteger_RoundUp, true, 22},
        {"Grid", 19, SetInteger_RoundDown, true, 18},
        {"Grid", 19, SetInteger_Nearest, true, 18},
        {"Grid", 20, SetInteger_Nearest, true, 22}, // half the increment rounds up
        {"Grid", 21, SetInteger_Nearest, true, 22},
        {"Grid", 21, 7, true, 18}, // any other mode rounds down
        {"Grid", INT64_MIN, SetInteger_Nearest, true, 10},
        {"Grid", INT64_MAX, SetInteger_Exact, false, 10},
        {"Fine", 7, SetInteger_RoundUp, true, 7},
        {"Fine", -3, SetInteger_Exact, false, 7},
        {"ReadOnly", 4, SetInteger_RoundDown, false, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.node) + " " + std::to_string(c.value) + " mode " + std::to_string(c.mode));
        GenApi::CIntegerPtr node = map->GetNode(c.node);
        EXPECT_EQ(setIntegerNode(node, c.value, c.mode), c.result);
        EXPECT_EQ(node->GetValue(), c.stored);
    }
    EXPECT_FALSE(setIntegerNode(nullptr, 1, SetInteger_Exact));
}

TEST(SetIntegerNodeTest, MaximumOffTheGridRoundsIntoRange)
{
    std::unique_ptr<GenApi::INodeMap, void (*)(GenApi::INodeMap*)> map(
        GenApi::CreateNodeMap(R"(<?xml version="1.0" encoding="utf-8"?>
<RegisterDescription ModelName="M" VendorName="T" StandardNameSpace="None" SchemaMajorVersion="1"
  SchemaMinorVersion="1" SchemaSubMinorVersion="0" MajorVersion="1" MinorVersion="0" SubMinorVersion="0">
  <Integer Name="Odd"><Value>0</Value><Min>0</Min><Max>10</Max><Inc>4</Inc></Integer>
</RegisterDescription>)",
                              GenICam::gcstring_vector(), "Test"),
        GenApi::DestroyNodeMap);
    GenApi::CIntegerPtr odd = map->GetNode("Odd");
    for (int mode : {SetInteger_RoundUp, SetInteger_Nearest}) {
        EXPECT_TRUE(setIntegerNode(odd, 11, mode));
        EXPECT_EQ(odd->GetValue(), 8) << "mode " << mode;
    }
}
