// Streaming from an emulated camera into a stream grabber: order, failures, triggers, removal.
#include "EmulationFixture.h"

#include "StreamGrabberImpl.h"
#include "emulation/CameraModel.h"
#include "emulation/EmulatedBackend.h"
#include "testsupport/Wait.h"

#include <GenICam/GenericException.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

using namespace Nimbo;
using namespace Nimbo::emulation;
using namespace testnimbo;

namespace {

// An opened camera with a small, fast image and a prepared grabber holding `count` queued buffers.
class GrabFixture : public ::testing::Test {
protected:
    void start(const char* model, int count, double rate = 2000.0, std::function<void(Registers&)> setup = {})
    {
        camera = makeCamera(model);
        regs.reset(new Registers(*camera));
        ASSERT_TRUE(camera->tryOpen(nullptr));
        ASSERT_EQ(regs->writeInt("Width", 64), PortStatus::Ok);
        ASSERT_EQ(regs->writeInt("Height", 32), PortStatus::Ok);
        ASSERT_EQ(regs->writeInt("ExposureTimeRaw", 50), PortStatus::Ok);
        const bool sfnc2 = camera->model().sfncMajor >= 2;
        ASSERT_EQ(regs->writeInt("AcquisitionFrameRateEnable", 1), PortStatus::Ok);
        ASSERT_EQ(regs->writeFloat(sfnc2 ? "AcquisitionFrameRate" : "AcquisitionFrameRateAbs", rate), PortStatus::Ok);
        if (setup)
            setup(*regs);
        grabber.reset(new StreamGrabberImpl(std::make_shared<EmulatedBackend>(camera)));
        grabber->Open();
        grabber->port().set(sgreg::MaxBufferSize, static_cast<int64_t>(camera->payloadSize()));
        grabber->port().set(sgreg::MaxNumBuffer, count);
        grabber->PrepareGrab();
        buffers.assign(static_cast<size_t>(count), std::vector<uint8_t>(camera->payloadSize()));
        for (int i = 0; i < count; ++i) {
            handles.push_back(grabber->RegisterBuffer(buffers[i].data(), buffers[i].size()));
            grabber->QueueBuffer(handles.back(), &buffers[i]);
        }
    }

    // A statistics register, read as the node map reads it.
    int64_t statistic(int64_t address)
    {
        int64_t v = -1;
        grabber->port().Read(&v, address, 8);
        return v;
    }

    // The next result, waiting up to 5 s for it.
    bool next(GrabResult& result)
    {
        for (int i = 0; i < 50; ++i) {
            if (grabber->RetrieveResult(result))
                return true;
            grabber->GetWaitObject().Wait(100);
        }
        return false;
    }

    // A grab after the last one finished, into a buffer of its own: `spared`, a buffer of a grab that
    // finished, must come through untouched (its owner may have freed it).
    void expectTheNextGrabToSpare(std::vector<uint8_t>& spared)
    {
        std::fill(spared.begin(), spared.end(), uint8_t(0xA5));
        grabber->PrepareGrab();
        std::vector<uint8_t> fresh(camera->payloadSize());
        grabber->QueueBuffer(grabber->RegisterBuffer(fresh.data(), fresh.size()), &fresh);
        ASSERT_EQ(regs->execute("AcquisitionStart"), PortStatus::Ok);
        GrabResult r;
        const bool got = next(r);
        regs->execute("AcquisitionStop");
        grabber->CancelGrab();
        GrabResult rest;
        while (grabber->RetrieveResult(rest)) {
        }
        grabber->FinishGrab();
        ASSERT_TRUE(got);
        EXPECT_EQ(r.Status(), Grabbed);
        EXPECT_EQ(r.Context(), &fresh);
        EXPECT_EQ(std::count(spared.begin(), spared.end(), uint8_t(0xA5)), static_cast<long>(spared.size()))
            << "the finished grab's buffer was painted";
    }

    void TearDown() override
    {
        if (grabber) {
            regs->execute("AcquisitionStop");
            grabber->CancelGrab();
            GrabResult r;
            while (grabber->RetrieveResult(r)) {
            }
            grabber->FinishGrab();
            grabber->Close();
        }
        if (camera)
            camera->close();
    }

    std::shared_ptr<EmulatedCamera> camera;
    std::unique_ptr<Registers> regs;
    std::unique_ptr<StreamGrabberImpl> grabber;
    std::vector<std::vector<uint8_t>> buffers;
    std::vector<StreamBufferHandle> handles;
};

} // namespace

// The node map reads the statistics (the port asks the grabber) while the grab is prepared and
// finished (the grabber reads its port): neither may wait for the other, and the buffers that each
// finish hands back cancelled are no results of the camera's.
TEST_F(GrabFixture, StatisticsAreReadWhileTheGrabIsPreparedAndFinished)
{
    start("qvUsb1920c", 2);
    std::atomic<bool> reading{true};
    std::atomic<int> reads{0}, wrong{0};
    std::thread reader([&] {
        while (reading) {
            if (statistic(sgreg::TotalBufferCount) != 0 || statistic(sgreg::FailedBufferCount) != 0)
                ++wrong;
            ++reads;
        }
    });
    GrabResult r;
    for (int i = 0; i < 500 || reads < 100; ++i) {
        grabber->FinishGrab();
        while (grabber->RetrieveResult(r))
            EXPECT_EQ(r.Status(), Canceled);
        grabber->PrepareGrab();
        for (int b = 0; b < 2; ++b)
            grabber->QueueBuffer(grabber->RegisterBuffer(buffers[b].data(), buffers[b].size()), &buffers[b]);
    }
    reading = false;
    reader.join();
    EXPECT_EQ(wrong.load(), 0);
    // The grabber still streams afterwards, and counts what the camera sends.
    ASSERT_EQ(regs->execute("AcquisitionStart"), PortStatus::Ok);
    ASSERT_TRUE(next(r));
    EXPECT_EQ(r.Status(), Grabbed);
    EXPECT_TRUE(testsupport::waitFor([&] { return statistic(sgreg::TotalBufferCount) >= 1; }, 5000));
}

TEST_F(GrabFixture, ThousandFramesComeBackInQueueOrder)
{
    start("qvUsb1920c", 8, 2000.0, [](Registers& r) {
        ASSERT_EQ(r.writeInt("OffsetX", 6), PortStatus::Ok);
        ASSERT_EQ(r.writeInt("OffsetY", 4), PortStatus::Ok);
        ASSERT_EQ(r.writeEnum("TestPattern", "GreyDiagonalSawtooth8"), PortStatus::Ok);
    });
    EXPECT_EQ(regs->writeInt("OffsetX", 8), PortStatus::Rejected) << "stream parameters are locked";
    ASSERT_EQ(regs->execute("AcquisitionStart"), PortStatus::Ok);
    size_t expected = 0;
    uint64_t lastBlock = 0;
    for (int n = 0; n < 1000; ++n) {
        GrabResult r;
        ASSERT_TRUE(next(r)) << "frame " << n;
        ASSERT_EQ(r.Status(), Grabbed);
        ASSERT_EQ(r.Context(), &buffers[expected]) << "frame " << n;
        ASSERT_EQ(r.Handle(), handles[expected]);
        EXPECT_EQ(r.GetPixelType(), PixelType_Mono8);
        EXPECT_EQ(r.GetSizeX(), 64);
        EXPECT_EQ(r.GetSizeY(), 32);
        EXPECT_EQ(r.GetPayloadSize(), 64 * 32);
        EXPECT_GT(r.GetBlockID(), lastBlock);
        lastBlock = r.GetBlockID();
        // Each frame is the test pattern of its own frame number.
        const uint8_t* image = static_cast<const uint8_t*>(r.Buffer());
        for (int y : {0, 31})
            for (int x : {0, 17, 63})
                ASSERT_EQ(image[y * 64 + x], static_cast<uint8_t>((x + 6 + y + 4 + r.GetBlockID()) % 256)) << n;
        grabber->QueueBuffer(r.Handle(), r.Context());
        expected = (expected + 1) % buffers.size();
    }
    EXPECT_GE(statistic(sgreg::TotalBufferCount), 1000);
    EXPECT_EQ(statistic(sgreg::FailedBufferCount), 0);
}

TEST_F(GrabFixture, CancelReturnsEveryQueuedBufferAndFinishDropsRegistrations)
{
    start("vxUsb1920m", 5);
    grabber->CancelGrab();
    std::vector<const void*> contexts;
    GrabResult r;
    while (grabber->RetrieveResult(r)) {
        EXPECT_EQ(r.Status(), Canceled);
        contexts.push_back(r.Context());
    }
    ASSERT_EQ(contexts.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(contexts[i], &buffers[i]);
    EXPECT_FALSE(grabber->GetWaitObject().Wait(0));

    // Registration limits: the count and the size given before PrepareGrab.
    std::vector<uint8_t> extra(camera->payloadSize());
    EXPECT_THROW(grabber->RegisterBuffer(extra.data(), extra.size()), GenICam::OutOfRangeException);
    EXPECT_THROW(grabber->QueueBuffer(reinterpret_cast<StreamBufferHandle>(0x999), nullptr),
                 GenICam::InvalidArgumentException);
    grabber->QueueBuffer(handles[0], nullptr);
    EXPECT_THROW(grabber->QueueBuffer(handles[0], nullptr), GenICam::RuntimeException);
    EXPECT_THROW(grabber->DeregisterBuffer(handles[0]), GenICam::RuntimeException);

    // FinishGrab returns what is still queued and forgets every handle.
    grabber->FinishGrab();
    ASSERT_TRUE(grabber->RetrieveResult(r));
    EXPECT_EQ(r.Status(), Canceled);
    EXPECT_THROW(grabber->QueueBuffer(handles[1], nullptr), GenICam::InvalidArgumentException);
    EXPECT_THROW(grabber->RegisterBuffer(extra.data(), extra.size()), GenICam::RuntimeException);
    EXPECT_EQ(regs->readInt("TLParamsLocked"), 0);
}

// A buffer queued while FinishGrab is under way (by a thread that requeues what came back, say) must
// not stay queued: once FinishGrab returns the caller frees its buffers, and the next grab would hand
// the freed memory to the camera.
TEST_F(GrabFixture, ABufferQueuedWhileTheGrabFinishesIsNotFilledByTheNextGrab)
{
    start("vxUsb1920m", 2);
    grabber->CancelGrab();
    GrabResult r;
    while (grabber->RetrieveResult(r)) {
    }
    bool refused = false;
    grabber->setFinishingHook([&] {
        try {
            grabber->QueueBuffer(handles[0], &buffers[0]);
        } catch (const GenICam::RuntimeException&) {
            refused = true;
        }
    });
    grabber->FinishGrab();
    grabber->setFinishingHook({});
    EXPECT_TRUE(refused) << "a grab that is finishing takes no more buffers";
    while (grabber->RetrieveResult(r))
        EXPECT_EQ(r.Status(), Canceled);

    // The caller owns its buffer again; the next grab streams into its own buffer only.
    expectTheNextGrabToSpare(buffers[0]);
}

// A second caller finishes the grab while the first one's finish is under way, then prepares the next
// grab and queues a buffer in it: the first finish must not take that grab's registrations away and
// leave the buffer queued past every FinishGrab. From within the finish (on its own thread) the second
// finish has nothing left to do and the buffer is refused; from another thread the second finish
// waits for the first, and the next grab is whole.
TEST_F(GrabFixture, AFinishDuringAnotherLeavesNoBufferQueuedPastBoth)
{
    start("vxUsb1920m", 2);
    grabber->CancelGrab();
    GrabResult r;
    while (grabber->RetrieveResult(r)) {
    }
    std::vector<uint8_t> late(camera->payloadSize());
    bool lateQueued = false;
    const auto finishAndQueueTheNext = [&] {
        grabber->FinishGrab();
        grabber->PrepareGrab();
        try {
            grabber->QueueBuffer(grabber->RegisterBuffer(late.data(), late.size()), &late);
            lateQueued = true;
        } catch (const GenICam::GenericException&) {
        }
    };
    bool hooked = false;
    grabber->setFinishingHook([&] {
        if (!std::exchange(hooked, true))
            finishAndQueueTheNext();
    });
    grabber->FinishGrab();
    grabber->setFinishingHook({});
    EXPECT_FALSE(lateQueued) << "a grab that is finishing takes no more buffers";
    while (grabber->RetrieveResult(r))
        EXPECT_EQ(r.Status(), Canceled);
    expectTheNextGrabToSpare(late);

    grabber->PrepareGrab();
    grabber->QueueBuffer(grabber->RegisterBuffer(buffers[0].data(), buffers[0].size()), &buffers[0]);
    std::thread second;
    hooked = false;
    grabber->setFinishingHook([&] {
        if (!std::exchange(hooked, true))
            second = std::thread(finishAndQueueTheNext);
    });
    grabber->FinishGrab();
    second.join();
    grabber->setFinishingHook({});
    EXPECT_TRUE(lateQueued) << "the second finish waited for the first, and its grab is prepared afresh";
    int lateBack = 0;
    grabber->FinishGrab();
    while (grabber->RetrieveResult(r))
        lateBack += r.Context() == &late ? 1 : 0;
    EXPECT_EQ(lateBack, 1) << "the last FinishGrab gives the late buffer back";
    expectTheNextGrabToSpare(late);
}

TEST_F(GrabFixture, WaitObjectStaysValidAfterClose)
{
    start("vxUsb1920m", 2);
    WaitObject copy = grabber->GetWaitObject();
    grabber->CancelGrab();
    EXPECT_TRUE(copy.Wait(1000));
    grabber->FinishGrab();
    grabber->Close();
    EXPECT_FALSE(copy.Wait(10));
    grabber.reset();
    EXPECT_FALSE(copy.Wait(0));
}

TEST_F(GrabFixture, InjectedFailuresArriveAsFailedResults)
{
    start("gxGige1280c", 4);
    camera->injectFailedFrames(3, 0xE1000014);
    ASSERT_EQ(regs->execute("AcquisitionStart"), PortStatus::Ok);
    int failed = 0;
    for (int n = 0; n < 6; ++n) {
        GrabResult r;
        ASSERT_TRUE(next(r));
        if (n < 3) {
            EXPECT_EQ(r.Status(), Failed) << n;
            EXPECT_EQ(r.GetErrorCode(), 0xE1000014u);
            EXPECT_FALSE(r.GetErrorDescription().empty());
            ++failed;
        } else {
            EXPECT_EQ(r.Status(), Grabbed) << n;
            EXPECT_EQ(r.GetErrorCode(), 0u);
        }
        grabber->QueueBuffer(r.Handle(), r.Context());
    }
    EXPECT_EQ(statistic(sgreg::FailedBufferCount), 3);
}

TEST_F(GrabFixture, BufferTooSmallFailsInsteadOfOverrunning)
{
    start("vxUsb1920m", 1);
    grabber->CancelGrab();
    GrabResult r;
    ASSERT_TRUE(grabber->RetrieveResult(r));
    grabber->FinishGrab();
    grabber->port().set(sgreg::MaxNumBuffer, 1);
    grabber->PrepareGrab();
    std::vector<uint8_t> small(100, 0x5A);
    grabber->QueueBuffer(grabber->RegisterBuffer(small.data(), small.size()), nullptr);
    regs->execute("AcquisitionStart");
    ASSERT_TRUE(next(r));
    EXPECT_EQ(r.Status(), Failed);
    EXPECT_EQ(std::count(small.begin(), small.end(), 0x5A), 100);
}

TEST_F(GrabFixture, TriggeredFramesFollowSoftwareAndLineTriggers)
{
    start("qvUsb1920c", 4, 10000.0);
    regs->writeEnum("TriggerSelector", "FrameStart");
    regs->writeEnum("TriggerMode", "On");
    regs->writeEnum("TriggerSource", "Software");
    ASSERT_EQ(regs->execute("AcquisitionStart"), PortStatus::Ok);
    GrabResult r;
    EXPECT_FALSE(grabber->GetWaitObject().Wait(200)) << "a frame without a trigger";
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(regs->execute("TriggerSoftware"), PortStatus::Ok);
        ASSERT_TRUE(next(r)) << i;
        EXPECT_EQ(r.Status(), Grabbed);
        grabber->QueueBuffer(r.Handle(), r.Context());
        EXPECT_FALSE(grabber->RetrieveResult(r)) << "one trigger, one frame";
    }
    regs->writeEnum("TriggerSource", "Line1");
    camera->fireLineEdge("Line3", true);
    camera->fireLineEdge("Line1", false); // the wrong edge
    regs->execute("TriggerSoftware");     // not the source any more
    EXPECT_FALSE(grabber->GetWaitObject().Wait(200));
    camera->fireLineEdge("Line1", true);
    ASSERT_TRUE(next(r));
    EXPECT_EQ(r.Status(), Grabbed);
}

TEST_F(GrabFixture, SingleFrameAcquisitionSendsExactlyOneFrame)
{
    start("vxUsb1920m", 3);
    regs->writeEnum("AcquisitionMode", "SingleFrame");
    ASSERT_EQ(regs->execute("AcquisitionStart"), PortStatus::Ok);
    GrabResult r;
    ASSERT_TRUE(next(r));
    EXPECT_EQ(r.Status(), Grabbed);
    EXPECT_FALSE(grabber->GetWaitObject().Wait(300));
    // Starting again gives the next frame.
    ASSERT_EQ(regs->execute("AcquisitionStart"), PortStatus::Ok);
    ASSERT_TRUE(next(r));
}

TEST_F(GrabFixture, UnplugCancelsQueuedBuffersAndRefusesNewOnes)
{
    // 5 frames per second: the five buffers after the first stay queued for a second at least, long
    // enough on a loaded machine for the unplug to find some of them still waiting.
    start("qvUsb1920c", 6, 5.0);
    ASSERT_EQ(regs->execute("AcquisitionStart"), PortStatus::Ok);
    GrabResult r;
    ASSERT_TRUE(next(r));
    ASSERT_TRUE(camera->unplug());
    int cancelled = 0, grabbed = 1;
    while (grabber->RetrieveResult(r))
        (r.Status() == Canceled ? cancelled : grabbed)++;
    EXPECT_EQ(cancelled + grabbed, 6);
    EXPECT_GE(cancelled, 1);
    const uint64_t produced = camera->framesPainted();
    EXPECT_THROW(grabber->QueueBuffer(handles[0], nullptr), GenICam::RuntimeException);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(camera->framesPainted(), produced) << "a removed camera keeps streaming";
    grabber->CancelGrab(); // still fine after removal
    EXPECT_FALSE(grabber->RetrieveResult(r));
}

TEST_F(GrabFixture, FramesWithoutBuffersAreCountedAsMissed)
{
    start("vxUsb1920m", 1, 1000.0);
    ASSERT_EQ(regs->execute("AcquisitionStart"), PortStatus::Ok);
    GrabResult r;
    ASSERT_TRUE(next(r));
    // Keep the only buffer: the following frames find none.
    for (int i = 0; i < 500 && statistic(sgreg::BufferUnderrunCount) < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(statistic(sgreg::BufferUnderrunCount), 3);
}
