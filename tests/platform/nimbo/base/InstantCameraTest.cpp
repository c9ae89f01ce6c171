// The instant camera: ownership, the SDK grab loop, handler notices and registration modes.
#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>

#include <GenApi/GenApi.h>
#include <GenICam/GenericException.h>

#include "testsupport/EmulatedCameras.h"
#include "testsupport/HostGrab.h"
#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace Nimbo;

namespace {

using testsupport::emulatedCamera;
using testsupport::smallFrames;
using testsupport::waitFor;

// Records every notice it gets.
class Recorder : public CImageEventHandler, public CConfigurationEventHandler, public CCameraEventHandler {
public:
    explicit Recorder(std::atomic<int>* destroyed = nullptr) : m_destroyed(destroyed) {}
    ~Recorder() override
    {
        if (m_destroyed)
            ++*m_destroyed;
    }
    void OnImageGrabbed(CInstantCamera& camera, const CGrabResultPtr& result) override
    {
        std::lock_guard<GenApi::CLock> lock(camera.GetLock());
        ++images;
        if (!result->GrabSucceeded())
            ++failed;
        grabThread = std::this_thread::get_id();
    }
    void OnAttached(CInstantCamera&) override { add("Attached"); }
    void OnOpened(CInstantCamera&) override { add("Opened"); }
    void OnGrabStart(CInstantCamera&) override { add("GrabStart"); }
    void OnGrabStarted(CInstantCamera&) override { add("GrabStarted"); }
    void OnGrabStop(CInstantCamera&) override { add("GrabStop"); }
    void OnGrabStopped(CInstantCamera&) override { add("GrabStopped"); }
    void OnClose(CInstantCamera&) override { add("Close"); }
    void OnClosed(CInstantCamera&) override { add("Closed"); }
    void OnDestroy(CInstantCamera&) override { add("Destroy"); }
    void OnDestroyed(CInstantCamera&) override { add("Destroyed"); }
    void OnCameraDeviceRemoved(CInstantCamera&) override { ++removed; }
    void OnCameraEvent(CInstantCamera&, intptr_t id, GenApi::INode* node) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        lastEventId = id;
        lastEventNode = node ? node->GetName().str() : "";
        ++events;
    }
    std::vector<std::string> steps()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_steps;
    }

    std::atomic<int> images{0}, failed{0}, removed{0}, events{0};
    std::thread::id grabThread;
    intptr_t lastEventId = -1;
    std::string lastEventNode;

private:
    void add(const char* step)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_steps.push_back(step);
    }
    std::mutex m_mutex;
    std::vector<std::string> m_steps;
    std::atomic<int>* m_destroyed;
};

class InstantCameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Emulation::Configure("usb:qvUsb1920c:11;usb:vxUsb1920m:12;gige:gxGige1280c:13"));
    }
    void TearDown() override { Emulation::WaitForEvents(); }
};

} // namespace

TEST_F(InstantCameraTest, OwningCameraGrabsOnAnSdkThreadAndDestroysItsDevice)
{
    Recorder recorder;
    const CDeviceInfo info = emulatedCamera("11");
    {
        CInstantCamera camera;
        camera.RegisterConfiguration(&recorder, RegistrationMode_ReplaceAll, Cleanup_None);
        camera.RegisterImageEventHandler(&recorder, RegistrationMode_ReplaceAll, Cleanup_None);
        camera.Attach(CTlFactory::GetInstance().CreateDevice(info), Cleanup_Delete);
        EXPECT_TRUE(camera.HasOwnership());
        EXPECT_EQ(camera.GetDeviceInfo().GetFullName(), info.GetFullName());
        camera.Open();
        smallFrames(camera);
        camera.StartGrabbing(GrabStrategy_OneByOne, GrabLoop_ProvidedByInstantCamera);
        EXPECT_TRUE(camera.IsGrabbing());
        EXPECT_TRUE(waitFor([&] { return recorder.images >= 30; }));
        camera.StopGrabbing();
        EXPECT_FALSE(camera.IsGrabbing());
        const int images = recorder.images;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(recorder.images.load(), images) << "images after the stop";
        EXPECT_NE(recorder.grabThread, std::this_thread::get_id());
        EXPECT_EQ(recorder.failed.load(), 0);
        EXPECT_FALSE(CTlFactory::GetInstance().IsDeviceAccessible(info));
        // A second grab works with fresh buffers.
        camera.StartGrabbing(GrabStrategy_OneByOne, GrabLoop_ProvidedByInstantCamera);
        EXPECT_TRUE(waitFor([&] { return recorder.images >= images + 5; }));
    }
    EXPECT_TRUE(CTlFactory::GetInstance().IsDeviceAccessible(info)) << "the owned device was not destroyed";
    const std::vector<std::string> expected = {"Attached",    "Opened",    "GrabStart",   "GrabStarted", "GrabStop",
                                               "GrabStopped", "GrabStart", "GrabStarted", "Destroy",     "GrabStop",
                                               "GrabStopped", "Close",     "Closed",      "Destroyed"};
    EXPECT_EQ(recorder.steps(), expected);
}

TEST_F(InstantCameraTest, BorrowedDeviceStaysOpenWithItsHost)
{
    INimboDevice* device = CTlFactory::GetInstance().CreateDevice(emulatedCamera("12"));
    device->Open();
    {
        CInstantCamera camera(device, Cleanup_None);
        EXPECT_FALSE(camera.HasOwnership());
        EXPECT_TRUE(camera.IsOpen());
        EXPECT_GE(camera.GetSfncVersion(), VersionInfo(2, 0, 0));
        EXPECT_FALSE(camera.IsGigE());
        EXPECT_TRUE(camera.IsUsb());
    }
    EXPECT_TRUE(device->IsOpen());
    CTlFactory::GetInstance().DestroyDevice(device);

    CInstantCamera gige(CTlFactory::GetInstance().CreateDevice(emulatedCamera("13")));
    EXPECT_LT(gige.GetSfncVersion(), VersionInfo(2, 0, 0));
    EXPECT_TRUE(gige.IsGigE());
    CInstantCamera empty;
    EXPECT_FALSE(empty.IsNimboDeviceAttached());
    EXPECT_THROW(empty.GetNodeMap(), GenICam::RuntimeException);
    EXPECT_THROW(empty.Open(), GenICam::RuntimeException);
    EXPECT_FALSE(empty.IsCameraDeviceRemoved());
}

// Another user grabs from the device through its stream grabber: a start is refused before it touches
// anything, and that grab goes on.
TEST_F(InstantCameraTest, StartOnADeviceGrabbedElsewhereLeavesThatGrabAlone)
{
    INimboDevice* device = CTlFactory::GetInstance().CreateDevice(emulatedCamera("12"));
    device->Open();
    smallFrames(*device->GetNodeMap());
    {
        testsupport::HostGrab host(device);
        ASSERT_TRUE(host.nextFrame());
        Recorder recorder;
        CInstantCamera camera(device, Cleanup_None);
        camera.RegisterConfiguration(&recorder, RegistrationMode_ReplaceAll, Cleanup_None);
        EXPECT_THROW(camera.StartGrabbing(GrabStrategy_OneByOne, GrabLoop_ProvidedByInstantCamera),
                     GenICam::RuntimeException);
        EXPECT_FALSE(camera.IsGrabbing());
        EXPECT_EQ(recorder.steps(), std::vector<std::string>()) << "no grab began";
        EXPECT_TRUE(host.grabber()->IsOpen());
        EXPECT_TRUE(host.nextFrame()) << "the other user still gets frames";
        camera.DeregisterConfiguration(&recorder);
    }
    EXPECT_TRUE(device->IsOpen());
    CTlFactory::GetInstance().DestroyDevice(device);
}

TEST_F(InstantCameraTest, RemovalDuringGrabIsReportedOnceAndStopDoesNotHang)
{
    Recorder recorder;
    CInstantCamera camera(CTlFactory::GetInstance().CreateDevice(emulatedCamera("12")));
    camera.RegisterConfiguration(&recorder, RegistrationMode_Append, Cleanup_None);
    camera.RegisterImageEventHandler(&recorder, RegistrationMode_Append, Cleanup_None);
    camera.Open();
    smallFrames(camera);
    camera.StartGrabbing(GrabStrategy_OneByOne, GrabLoop_ProvidedByInstantCamera);
    ASSERT_TRUE(waitFor([&] { return recorder.images >= 3; }));
    ASSERT_TRUE(Emulation::Unplug("12"));
    Emulation::WaitForEvents();
    EXPECT_EQ(recorder.removed.load(), 1);
    EXPECT_TRUE(camera.IsCameraDeviceRemoved());
    camera.StopGrabbing();
    camera.Close();
    EXPECT_THROW(camera.StartGrabbing(), GenICam::RuntimeException);
    EXPECT_EQ(recorder.removed.load(), 1);
}

TEST_F(InstantCameraTest, UserGrabLoopSeesFailedFrames)
{
    CInstantCamera camera(CTlFactory::GetInstance().CreateDevice(emulatedCamera("13")));
    camera.Open();
    smallFrames(camera);
    camera.SetMaxNumBuffer(4);
    Emulation::InjectFailedFrames("13", 2, 0xE1000014u);
    camera.StartGrabbing(GrabStrategy_OneByOne, GrabLoop_ProvidedByUser);
    for (int i = 0; i < 6; ++i) {
        CGrabResultPtr result;
        ASSERT_TRUE(camera.RetrieveResult(5000, result, TimeoutHandling_Return)) << i;
        EXPECT_EQ(result->GrabSucceeded(), i >= 2) << i;
        if (i < 2)
            EXPECT_EQ(result->GetErrorCode(), 0xE1000014u);
        else
            EXPECT_EQ(result->GetPayloadSize(), 64u * 32u);
    }
    camera.StopGrabbing();
    CGrabResultPtr none;
    EXPECT_THROW(none->GetPayloadSize(), GenICam::LogicalErrorException);
}

TEST_F(InstantCameraTest, CameraEventsFollowTheirNodeAndRegistrationModes)
{
    std::atomic<int> destroyed{0};
    CInstantCamera camera(CTlFactory::GetInstance().CreateDevice(emulatedCamera("11")));
    auto* first = new Recorder(&destroyed);
    Recorder second;
    camera.RegisterCameraEventHandler(first, "AcquisitionFrameRate", 5, RegistrationMode_ReplaceAll, Cleanup_Delete);
    // ReplaceAll drops (and, with Cleanup_Delete, deletes) what was there.
    camera.RegisterCameraEventHandler(&second, "AcquisitionFrameRate", 0, RegistrationMode_ReplaceAll, Cleanup_None);
    EXPECT_EQ(destroyed.load(), 1);
    camera.RegisterCameraEventHandler(&second, "ResultingFrameRateAbs", 0, RegistrationMode_Append, Cleanup_None,
                                      CameraEventAvailability_Optional);
    EXPECT_THROW(camera.RegisterCameraEventHandler(&second, "NoSuchNode", 0, RegistrationMode_Append, Cleanup_None),
                 GenICam::RuntimeException);
    camera.Open();
    GenApi::CFloatPtr(camera.GetNodeMap().GetNode("AcquisitionFrameRate"))->SetValue(42.0);
    EXPECT_TRUE(waitFor([&] { return second.events > 0; }));
    EXPECT_EQ(second.lastEventNode, "AcquisitionFrameRate");
    EXPECT_EQ(second.lastEventId, 0);
    EXPECT_TRUE(camera.DeregisterCameraEventHandler(&second, "AcquisitionFrameRate"));
    EXPECT_FALSE(camera.DeregisterCameraEventHandler(&second, "AcquisitionFrameRate"));
    const int events = second.events;
    GenApi::CFloatPtr(camera.GetNodeMap().GetNode("AcquisitionFrameRate"))->SetValue(43.0);
    EXPECT_EQ(second.events.load(), events);

    // Image handlers: ReplaceAll with cleanup deletes the replaced one when the camera goes.
    {
        CInstantCamera other;
        other.RegisterImageEventHandler(new Recorder(&destroyed), RegistrationMode_Append, Cleanup_Delete);
        other.RegisterConfiguration(new Recorder(&destroyed), RegistrationMode_Append, Cleanup_Delete);
    }
    EXPECT_EQ(destroyed.load(), 3);
}

// The SDK's grab loop hands out images while the node map is polled: a poll that takes long (a slow
// camera, a callback that takes its time) must not hold the images back.
TEST_F(InstantCameraTest, ASlowPollOfTheNodeMapHoldsNoImageBack)
{
    CInstantCamera camera(CTlFactory::GetInstance().CreateDevice(emulatedCamera("11")));
    Recorder recorder;
    camera.RegisterImageEventHandler(&recorder, RegistrationMode_Append, Cleanup_None);
    camera.Open();
    smallFrames(camera);
    // Slow frames: the auto function the test starts runs until the next one, long enough for polls.
    GenApi::CBooleanPtr(camera.GetNodeMap().GetNode("AcquisitionFrameRateEnable"))->SetValue(true);
    GenApi::CFloatPtr(camera.GetNodeMap().GetNode("AcquisitionFrameRate"))->SetValue(4.0);

    // A callback of a polled node that keeps whichever thread polls until it is released.
    struct Blocker {
        std::thread::id testThread = std::this_thread::get_id();
        std::mutex mutex;
        std::condition_variable released;
        bool release = false;
        std::atomic<bool> holding{false};
        void onChange(GenApi::INode*)
        {
            if (std::this_thread::get_id() == testThread)
                return;
            std::unique_lock<std::mutex> lock(mutex);
            holding = true;
            released.wait_for(lock, std::chrono::seconds(10), [this] { return release; });
        }
    } blocker;
    GenApi::INode* exposureAuto = camera.GetNodeMap().GetNode("ExposureAuto");
    const GenApi::CallbackHandleType handle =
        GenApi::Register(exposureAuto, blocker, &Blocker::onChange, GenApi::cbPostOutsideLock);
    camera.StartGrabbing(GrabStrategy_OneByOne, GrabLoop_ProvidedByInstantCamera);
    ASSERT_TRUE(waitFor([&] { return recorder.images > 0; }));
    // The camera settles "Once" with its next frame and goes back to "Off"; a poll sees that.
    GenApi::CEnumerationPtr(exposureAuto)->FromString("Once");
    ASSERT_TRUE(waitFor([&] { return blocker.holding.load(); }));
    const int before = recorder.images;
    EXPECT_TRUE(waitFor([&] { return recorder.images >= before + 3; }, 5000)) << "images while the poll is held";
    {
        std::lock_guard<std::mutex> lock(blocker.mutex);
        blocker.release = true;
    }
    blocker.released.notify_all();
    camera.StopGrabbing();
    GenApi::Deregister(handle);
}

TEST_F(InstantCameraTest, ResultHeldPastTheCameraKeepsItsBuffer)
{
    CGrabResultPtr kept;
    {
        CInstantCamera camera(CTlFactory::GetInstance().CreateDevice(emulatedCamera("12")));
        camera.Open();
        smallFrames(camera);
        GenApi::CEnumerationPtr(camera.GetNodeMap().GetNode("TestPattern"))->FromString("GreyDiagonalSawtooth8");
        camera.StartGrabbing(GrabStrategy_OneByOne, GrabLoop_ProvidedByUser);
        ASSERT_TRUE(camera.RetrieveResult(5000, kept, TimeoutHandling_Return));
    }
    ASSERT_TRUE(kept->GrabSucceeded());
    const uint8_t* image = static_cast<const uint8_t*>(kept->GetBuffer());
    EXPECT_EQ(image[1], static_cast<uint8_t>(image[0] + 1)); // the sawtooth, still readable
    kept.Release();
}

// A grab of n images ends after n results, whether they failed or not, in either grab loop.
TEST_F(InstantCameraTest, GrabOfNImagesEndsAfterNResultsEvenWhenTheyFail)
{
    for (EGrabLoop loop : {GrabLoop_ProvidedByInstantCamera, GrabLoop_ProvidedByUser}) {
        SCOPED_TRACE(loop == GrabLoop_ProvidedByUser ? "user's grab loop" : "SDK's grab loop");
        Recorder recorder;
        CInstantCamera camera(CTlFactory::GetInstance().CreateDevice(emulatedCamera("13")));
        camera.RegisterConfiguration(&recorder, RegistrationMode_Append, Cleanup_None);
        camera.RegisterImageEventHandler(&recorder, RegistrationMode_Append, Cleanup_None);
        camera.Open();
        smallFrames(camera);
        Emulation::InjectFailedFrames("13", 50, 0xE1000014u);
        camera.StartGrabbing(5, GrabStrategy_OneByOne, loop);
        int retrieved = 0;
        if (loop == GrabLoop_ProvidedByUser) {
            while (camera.IsGrabbing()) {
                CGrabResultPtr result;
                ASSERT_TRUE(camera.RetrieveResult(5000, result, TimeoutHandling_Return)) << retrieved;
                EXPECT_FALSE(result->GrabSucceeded());
                ++retrieved;
            }
        } else {
            EXPECT_TRUE(waitFor([&] { return !camera.IsGrabbing(); }));
            retrieved = recorder.images;
            EXPECT_EQ(recorder.failed.load(), 5);
        }
        EXPECT_EQ(retrieved, 5);
        // The grab was torn down: the steps ran, parameters are unlocked and a new grab starts.
        EXPECT_TRUE(waitFor([&] {
            const auto steps = recorder.steps();
            return !steps.empty() && steps.back() == "GrabStopped";
        }));
        EXPECT_NO_THROW(GenApi::CIntegerPtr(camera.GetNodeMap().GetNode("Width"))->SetValue(80));
        camera.StartGrabbing(1, GrabStrategy_OneByOne, loop);
        if (loop == GrabLoop_ProvidedByUser) {
            CGrabResultPtr result;
            EXPECT_TRUE(camera.RetrieveResult(5000, result, TimeoutHandling_Return));
        }
        EXPECT_TRUE(waitFor([&] { return !camera.IsGrabbing(); }));
    }
}

// Of the results waiting, LatestImageOnly hands out the newest and counts the ones it skipped.
TEST_F(InstantCameraTest, LatestImageOnlyHandsOutTheNewestResult)
{
    for (EGrabStrategy strategy : {GrabStrategy_OneByOne, GrabStrategy_LatestImageOnly}) {
        CInstantCamera camera(CTlFactory::GetInstance().CreateDevice(emulatedCamera("12")));
        camera.Open();
        smallFrames(camera);
        GenApi::CIntegerPtr total = camera.GetStreamGrabberNodeMap().GetNode("Statistic_Total_Buffer_Count");
        camera.StartGrabbing(strategy, GrabLoop_ProvidedByUser);
        ASSERT_TRUE(waitFor([&] { return total->GetValue() >= 5; }));
        CGrabResultPtr result;
        ASSERT_TRUE(camera.RetrieveResult(5000, result, TimeoutHandling_Return));
        if (strategy == GrabStrategy_OneByOne) {
            EXPECT_EQ(result->GetBlockID(), 1u);
            EXPECT_EQ(result->GetNumberOfSkippedImages(), 0u);
        } else {
            EXPECT_GE(result->GetBlockID(), 5u);
            EXPECT_GE(result->GetNumberOfSkippedImages(), 4u);
        }
        result.Release();
        camera.StopGrabbing();
    }
}

// Threads racing to start one camera: exactly one grab starts, the others are told it runs already.
TEST_F(InstantCameraTest, ConcurrentStartsStartOneGrab)
{
    CInstantCamera camera(CTlFactory::GetInstance().CreateDevice(emulatedCamera("12")));
    camera.Open();
    smallFrames(camera);
    for (int round = 0; round < 5; ++round) {
        std::atomic<int> started{0}, refused{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] {
                try {
                    camera.StartGrabbing(GrabStrategy_OneByOne, GrabLoop_ProvidedByInstantCamera);
                    ++started;
                } catch (const GenICam::RuntimeException&) {
                    ++refused;
                }
            });
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(started.load(), 1);
        EXPECT_EQ(refused.load(), 3);
        EXPECT_TRUE(camera.IsGrabbing());
        camera.StopGrabbing();
        EXPECT_FALSE(camera.IsGrabbing());
    }
}

// Software-triggered grabbing: ready for a trigger, trigger, an image; a free-running camera never waits for one.
TEST_F(InstantCameraTest, WaitForFrameTriggerReadyWaitsUntilTheCameraAcceptsATrigger)
{
    CInstantCamera camera(CTlFactory::GetInstance().CreateDevice(emulatedCamera("11")));
    camera.Open();
    smallFrames(camera);
    GenApi::INodeMap& map = camera.GetNodeMap();
    camera.StartGrabbing(GrabStrategy_OneByOne, GrabLoop_ProvidedByUser);
    EXPECT_FALSE(camera.WaitForFrameTriggerReady(50, TimeoutHandling_Return));
    EXPECT_THROW(camera.WaitForFrameTriggerReady(50, TimeoutHandling_ThrowException), GenICam::TimeoutException);
    camera.StopGrabbing();

    GenApi::CEnumerationPtr(map.GetNode("TriggerSelector"))->FromString("FrameStart");
    GenApi::CEnumerationPtr(map.GetNode("TriggerMode"))->FromString("On");
    GenApi::CEnumerationPtr(map.GetNode("TriggerSource"))->FromString("Software");
    camera.StartGrabbing(3, GrabStrategy_OneByOne, GrabLoop_ProvidedByUser);
    int images = 0;
    while (camera.IsGrabbing()) {
        ASSERT_TRUE(camera.WaitForFrameTriggerReady(5000, TimeoutHandling_ThrowException)) << images;
        camera.ExecuteSoftwareTrigger();
        CGrabResultPtr result;
        ASSERT_TRUE(camera.RetrieveResult(5000, result, TimeoutHandling_Return)) << images;
        EXPECT_TRUE(result->GrabSucceeded());
        ++images;
    }
    EXPECT_EQ(images, 3);
    EXPECT_FALSE(camera.WaitForFrameTriggerReady(50, TimeoutHandling_ThrowException)) << "not grabbing";
}
