// The grab engine and the camera configuration against the SDK's emulated camera models.
#include "CameraConfiguration.h"
#include "NimboGrabDevice.h"
#include "SafeNodeAccess.h"
#include "StdFeatureListCamera.h"

#include <testsupport/LogCapture.h>

#include <lorvish/StreamBuffer.h>
#include <nimbo/Emulation.h>
#include <nimbo/NimboDevice.h>
#include <nimbo/TlFactory.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <ostream>
#include <vector>

namespace {

struct Model {
    const char* cameraList;
    const char* serial;
    const char* colourFormat; // what the default configuration leaves in PixelFormat
    bool sfnc2;
};

const Model kModels[] = {
    {"usb:qvUsb1920c:40000001", "40000001", "YCbCr422_8", true},
    {"usb:vxUsb1920m:40000002", "40000002", "Mono8", true},
    {"gige:gxGige1280c:40000003", "40000003", "YUV422_YUYV_Packed", false},
};

void PrintTo(const Model& model, std::ostream* out)
{
    *out << model.cameraList;
}

using testsupport::waitFor;

class EmulatedCameraTest : public ::testing::TestWithParam<Model> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Nimbo::Emulation::Configure(GetParam().cameraList));
        Nimbo::DeviceInfoList_t devices;
        Nimbo::CTlFactory::GetInstance().EnumerateDevices(devices);
        for (const auto& info : devices)
            if (std::string(info.GetSerialNumber().c_str()) == GetParam().serial)
                m_info = info;
        ASSERT_EQ(std::string(m_info.GetSerialNumber().c_str()), GetParam().serial);
        Nimbo::INimboDevice* device = Nimbo::CTlFactory::GetInstance().CreateDevice(m_info);
        ASSERT_NE(device, nullptr);
        camera = std::make_unique<StdFeatureListCamera>(m_info, nullptr, 0x800000);
        camera->setBufferReturnTimeout(2000);
        QObject::connect(
            camera.get(), &Camera::bufferAvailable, camera.get(),
            [this](Lorvish::StreamBuffer* b) {
                if (b->imageWidth() > 0 && b->imageHeight() > 0)
                    ++received;
            },
            Qt::DirectConnection);
        camera->attachNimboDevice(device);
        camera->open();
        ASSERT_TRUE(camera->isOpen());
        CameraConfiguration::applyDefaultConfiguration(*camera);
    }
    void TearDown() override
    {
        if (camera)
            camera->shutDown();
        camera.reset();
        QCoreApplication::processEvents();
    }

    Nimbo::CDeviceInfo m_info;
    Nimbo::NimboAutoInitTerm init;
    std::unique_ptr<StdFeatureListCamera> camera;
    std::atomic<int> received{0};
};

TEST_P(EmulatedCameraTest, DefaultConfiguration)
{
    grab::GrabNodeMap* map = camera->getFeatures();
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->enumValue("PixelFormat"), GetParam().colourFormat);
    EXPECT_EQ(map->intValue("OffsetX"), 0);
    EXPECT_EQ(map->intValue("Width"), map->intMax("Width"));
    EXPECT_EQ(map->intValue("Height"), map->intMax("Height"));
    EXPECT_EQ(map->enumValue("TriggerMode"), "Off");
    EXPECT_EQ(map->enumValue("AcquisitionMode"), "Continuous");
    EXPECT_EQ(camera->getDevice()->isSfnc2(), GetParam().sfnc2);
    if (GetParam().sfnc2) {
        EXPECT_EQ(map->floatValue("AutoExposureTimeUpperLimit"), 1'000'000.0);
        EXPECT_EQ(map->enumValue("AutoFunctionProfile"), "MinimizeGain");
    } else {
        EXPECT_EQ(map->intValue("AutoTargetValue"), 80);
        EXPECT_EQ(map->intValue("AutoGainRawUpperLimit"), map->intMax("AutoGainRawUpperLimit"));
        EXPECT_EQ(map->floatValue("AutoExposureTimeAbsUpperLimit"), map->floatMax("AutoExposureTimeAbsUpperLimit"));
        EXPECT_EQ(map->enumValue("AutoFunctionProfile"), "GainMinimum");
    }
    // The safe helpers on the SDK's own node map.
    GenApi::INodeMap* genApi = camera->getNodeMap();
    EXPECT_TRUE(grab::setIntValue(genApi, "Width", map->intMax("Width") + 5, 3));
    EXPECT_EQ(map->intValue("Width"), map->intMax("Width"));
    EXPECT_FALSE(grab::setEnumValue(genApi, "NoSuchFeature", "On"));
    EXPECT_FALSE(grab::setBoolValue(genApi, "Width", true));
    EXPECT_EQ(grab::getIntMax(static_cast<GenApi::INodeMap*>(nullptr), "Width", -1), -1);
    EXPECT_EQ(grab::getStringValue(genApi, "PixelFormat", ""), GetParam().colourFormat);
    EXPECT_NE(camera->getNimboDevice(), nullptr);
    EXPECT_EQ(camera->getNodeMap(), camera->getNimboDevice()->GetNodeMap());
    EXPECT_NE(camera->getTLNodeMap(), nullptr);
    EXPECT_NE(camera->getStreamGrabberNodeMap(), nullptr);
}

TEST_P(EmulatedCameraTest, ContinuousAndOneShotGrabs)
{
    grab::GrabNodeMap* map = camera->getFeatures();
    const char* rateNode = GetParam().sfnc2 ? "AcquisitionFrameRate" : "AcquisitionFrameRateAbs";
    map->setBoolValue("AcquisitionFrameRateEnable", true);
    map->setFloatValue(rateNode, 50.0);
    camera->startContinuousShot();
    ASSERT_EQ(camera->getState(), Camera::GrabbingContinuous);
    ASSERT_TRUE(waitFor([&] { return received >= 15; }));
    double fps = 0.0;
    uint64_t bytesPerSecond = 0;
    camera->getPerfData(&fps, &bytesPerSecond, nullptr);
    // The emulator paints at 50 frames per second; a loaded machine may fall behind, and a frame that
    // comes late is followed by one sent early to keep the rate, so short windows may show more.
    EXPECT_GT(fps, 5.0);
    EXPECT_LT(fps, 100.0);
    EXPECT_GT(bytesPerSecond, 0u);
    camera->stopGrab();
    uint32_t images = 0, errors = 0;
    camera->getCounterData(images, errors);
    EXPECT_GE(images, 15u);
    EXPECT_EQ(images, uint32_t(received.load())); // every counted frame was handed on
    EXPECT_LE(uint64_t(images), Nimbo::Emulation::FramesProduced(GetParam().serial));
    EXPECT_EQ(errors, 0u);
    EXPECT_TRUE(waitFor([&] { return camera->liveBufferCount() == 0; }));

    received = 0;
    camera->startOneShot();
    ASSERT_TRUE(waitFor([&] { return camera->getState() == Camera::Open; }));
    EXPECT_EQ(received, 1);
    EXPECT_TRUE(waitFor([&] { return camera->liveBufferCount() == 0; }));
}

TEST_P(EmulatedCameraTest, FailedFramesAreCounted)
{
    camera->startContinuousShot();
    ASSERT_TRUE(waitFor([&] { return received >= 1; }));
    ASSERT_TRUE(Nimbo::Emulation::InjectFailedFrames(GetParam().serial, 2));
    uint32_t images = 0, errors = 0;
    ASSERT_TRUE(waitFor([&] {
        camera->getCounterData(images, errors);
        return errors >= 2 && images >= errors + 2;
    }));
    camera->stopGrab();
    camera->getCounterData(images, errors);
    EXPECT_EQ(errors, 2u);
}

// A hundred live-view restarts: each must leave the camera ready for the next, with no buffer lost.
TEST_P(EmulatedCameraTest, StopAndRestartRepeatedly)
{
    for (int round = 0; round < 100; ++round) {
        camera->startContinuousShot();
        ASSERT_EQ(camera->getState(), Camera::GrabbingContinuous) << round;
        camera->stopGrab();
        ASSERT_EQ(camera->getState(), Camera::Open) << round;
    }
    EXPECT_TRUE(waitFor([&] { return camera->liveBufferCount() == 0; }));
}

TEST_P(EmulatedCameraTest, UnplugDuringGrabEndsCleanly)
{
    camera->startContinuousShot();
    ASSERT_TRUE(waitFor([&] { return received >= 2; }));
    ASSERT_TRUE(Nimbo::Emulation::Unplug(GetParam().serial));
    QElapsedTimer timer;
    timer.start();
    camera->shutDown();
    EXPECT_LT(timer.elapsed(), 8000);
    EXPECT_FALSE(camera->isGrabThreadRunning());
    EXPECT_EQ(camera->getState(), Camera::DeviceAttached);
    EXPECT_TRUE(waitFor([&] { return camera->liveBufferCount() == 0; }));
}

// After an unplug the grab goes on until its owner hears of the removal and stops it; meanwhile the
// buffers come home: those the grabber held, cancelled at once, and those the display or a recording
// let go of later. None is offered to a grabber that takes nothing any more once the removal is known,
// and the whole lot leaves at most one line in the log, not one for each buffer.
TEST_P(EmulatedCameraTest, BuffersComingHomeAfterAnUnplugAreNotRequeuedOneByOne)
{
    const auto requeueLines = [](const testsupport::LogCapture& log) {
        size_t lines = 0;
        for (const auto& m : log.messages())
            if (m.text.find("QueueBuffer") != std::string::npos || m.text.find("requeue") != std::string::npos)
                ++lines;
        return lines;
    };
    std::mutex heldMutex;
    std::vector<Lorvish::StreamBuffer*> held;
    bool holding = true;
    QObject::connect(
        camera.get(), &Camera::bufferAvailable, camera.get(),
        [&](Lorvish::StreamBuffer* b) {
            std::lock_guard<std::mutex> lock(heldMutex);
            if (holding) {
                b->lock();
                held.push_back(b);
            }
        },
        Qt::DirectConnection);
    const auto heldCount = [&] {
        std::lock_guard<std::mutex> lock(heldMutex);
        return held.size();
    };

    // Every buffer of the pool is held downstream when the camera goes: the grabber has none to cancel,
    // and those let go of after the removal notice are not offered to it (each would fail and be logged).
    camera->startContinuousShot();
    ASSERT_TRUE(waitFor([&] { return heldCount() == camera->numBuffers(); }));
    {
        testsupport::LogCapture log;
        ASSERT_TRUE(Nimbo::Emulation::Unplug(GetParam().serial));
        ASSERT_TRUE(waitFor([&] { return camera->getNimboDevice()->IsRemoved(); }));
        ASSERT_TRUE(camera->isGrabbing());
        for (Lorvish::StreamBuffer* b : held)
            b->unlock();
        EXPECT_EQ(requeueLines(log), 0u) << "a buffer was offered to the removed device's grabber";
        EXPECT_TRUE(waitFor([&] { return camera->liveBufferCount() == 0; }));
    }
    camera->shutDown();

    // The buffers the grabber holds come back cancelled at the unplug, before the removal notice.
    {
        std::lock_guard<std::mutex> lock(heldMutex);
        held.clear();
        holding = false;
    }
    ASSERT_TRUE(Nimbo::Emulation::Replug(GetParam().serial));
    camera->detachDevice();
    Nimbo::INimboDevice* device = Nimbo::CTlFactory::GetInstance().CreateDevice(m_info);
    ASSERT_NE(device, nullptr);
    camera->attachNimboDevice(device);
    camera->open();
    ASSERT_TRUE(camera->isOpen());
    const int before = received;
    camera->startContinuousShot();
    ASSERT_TRUE(waitFor([&] { return received >= before + 2; }));
    testsupport::LogCapture log;
    ASSERT_TRUE(Nimbo::Emulation::Unplug(GetParam().serial));
    ASSERT_TRUE(waitFor([&] { return camera->liveBufferCount() == 0; }))
        << camera->liveBufferCount() << " buffers live";
    EXPECT_TRUE(camera->isGrabbing());
    EXPECT_LE(requeueLines(log), 1u);
}

INSTANTIATE_TEST_SUITE_P(Models, EmulatedCameraTest, ::testing::ValuesIn(kModels),
                         [](const ::testing::TestParamInfo<Model>& info) {
                             return std::string(info.param.serial) == "40000001"   ? "UsbColour"
                                    : std::string(info.param.serial) == "40000002" ? "UsbMono"
                                                                                   : "GigE";
                         });

} // namespace
