// Tests of the standard feature-list camera, the safe node access helpers and the camera configuration.
#include "CameraConfiguration.h"
#include "FakeDevice.h"
#include "SafeNodeAccess.h"
#include "StdFeatureListCamera.h"

#include <testsupport/LogCapture.h>
#include <testsupport/Wait.h>

#include <GenICam/GenericException.h>
#include <lorvish/StreamBuffer.h>
#include <nimbo/PixelType.h>

#include <QCoreApplication>
#include <QSettings>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>

namespace {

using fake::Node;
using grab::AccessMode;

bool wrote(const fake::NodeMap& map, const std::string& write)
{
    auto w = map.writes();
    return std::find(w.begin(), w.end(), write) != w.end();
}

bool touched(const fake::NodeMap& map, const std::string& name)
{
    for (const auto& w : map.writes())
        if (w.rfind(name + "=", 0) == 0)
            return true;
    return false;
}

// The features the camera models have in common; the colour, mono and older-standard models add theirs.
void addCommonFeatures(fake::NodeMap& map)
{
    map.add("Width", fake::integer(640, 16, 1920, 16));
    map.add("Height", fake::integer(480, 16, 1200, 2));
    map.add("OffsetX", fake::integer(32, 0, 1904, 16));
    map.add("OffsetY", fake::integer(16, 0, 1184, 2));
    map.add("PayloadSize", fake::integer(640 * 480, 0, 1 << 30, 1, AccessMode::RO));
    map.add("AcquisitionStart", fake::command());
    map.add("AcquisitionStop", fake::command());
    map.add("AcquisitionMode", fake::enumeration("SingleFrame", {"SingleFrame", "Continuous"}));
    fake::Node selector = fake::enumeration("FrameStart", {"FrameStart", "FrameBurstStart", "LineStart"});
    selector.entries[2].second = AccessMode::NA; // not offered by this model
    map.add("TriggerSelector", selector);
    map.add("TriggerMode", fake::enumeration("On", {"On", "Off"}));
    map.add("TriggerSource", fake::enumeration("Software", {"Software", "Line1", "Line3"}));
    map.add("AutoFunctionROISelector", fake::enumeration("ROI1", {"ROI1", "ROI2"}));
    map.add("AutoFunctionROIOffsetX", fake::integer(8, 0, 1900, 2));
    map.add("AutoFunctionROIOffsetY", fake::integer(8, 0, 1180, 2));
    map.add("AutoFunctionROIWidth", fake::integer(100, 16, 1920, 2));
    map.add("AutoFunctionROIHeight", fake::integer(100, 16, 1200, 2));
    map.add("BalanceWhiteAuto", fake::enumeration("Continuous", {"Off", "Once", "Continuous"}));
    map.add("GainSelector", fake::enumeration("All", {"All"}));
    map.add("GainAuto", fake::enumeration("Continuous", {"Off", "Once", "Continuous"}));
    map.add("ExposureAuto", fake::enumeration("Off", {"Off", "Once", "Continuous"}));
    map.add("GammaEnable", fake::boolean(false));
    map.add("AutoFunctionProfile",
            fake::enumeration("MinimizeExposureTime", {"MinimizeGain", "MinimizeExposureTime", "GainMinimum"}));
}

void addSfnc2Features(fake::NodeMap& map, bool colour)
{
    addCommonFeatures(map);
    std::vector<std::string> formats = {"Mono8", "Mono12", "Mono16"};
    if (colour)
        formats.insert(formats.end(), {"BayerRG8", "BayerRG16", "YCbCr422_8"});
    map.add("PixelFormat", fake::enumeration(colour ? "BayerRG8" : "Mono12", formats));
    map.add("PixelDynamicRangeMax", fake::integer(4095, 0, 65535, 1, AccessMode::RO));
    map.add("ExposureTime", fake::floating(10000.0, 20.0, 10'000'000.0));
    map.add("Gain", fake::floating(1.0, 0.0, 36.0));
    map.add("AutoFunctionROIUseBrightness", fake::boolean(false));
    map.add("AutoFunctionROIUseWhiteBalance", fake::boolean(false));
    map.add("AutoTargetBrightness", fake::floating(0.5, 0.2, 0.8));
    map.add("AutoGainLowerLimit", fake::floating(3.0, 0.0, 36.0));
    map.add("AutoGainUpperLimit", fake::floating(12.0, 0.0, 36.0));
    map.add("AutoExposureTimeLowerLimit", fake::floating(100.0, 20.0, 10'000'000.0));
    map.add("AutoExposureTimeUpperLimit", fake::floating(100'000.0, 20.0, 10'000'000.0));
    if (colour)
        map.add("LightSourcePreset", fake::enumeration("Off", {"Off", "Daylight5000K", "Tungsten2800K"}));
}

void addSfnc1Features(fake::NodeMap& map)
{
    addCommonFeatures(map);
    map.add("PixelFormat", fake::enumeration("Mono8", {"Mono8", "BayerRG8", "YUV422_YUYV_Packed"}));
    map.add("ExposureTimeAbs", fake::floating(10000.0, 35.0, 9'999'990.0));
    map.add("GainRaw", fake::integer(36, 0, 512));
    map.add("AutoFunctionROIUsageIntensity", fake::boolean(false));
    map.add("AutoFunctionROIUsageWhiteBalance", fake::boolean(false));
    map.add("AutoTargetValue", fake::integer(50, 50, 205));
    map.add("AutoGainRawLowerLimit", fake::integer(100, 36, 512));
    map.add("AutoGainRawUpperLimit", fake::integer(200, 36, 512));
    map.add("AutoExposureTimeAbsLowerLimit", fake::floating(1000.0, 35.0, 9'999'990.0));
    map.add("AutoExposureTimeAbsUpperLimit", fake::floating(100'000.0, 35.0, 9'999'990.0));
    map.add("LightSourceSelector", fake::enumeration("Off", {"Off", "Daylight"}));
}

class TestableCamera : public StdFeatureListCamera {
public:
    TestableCamera() : StdFeatureListCamera(Nimbo::CDeviceInfo(), nullptr, 0x800000) {}
    using StdFeatureListCamera::executeAcquisitionStart;
    using StdFeatureListCamera::getBytesPerPixel;
    using StdFeatureListCamera::getHeight;
    using StdFeatureListCamera::getPayloadSize;
    using StdFeatureListCamera::getPixelType;
    using StdFeatureListCamera::getWidth;
};

TEST(IntegerCorrection, Table)
{
    struct Case {
        int64_t value, min, max, inc;
        int correction;
        int64_t expected;
    } cases[] = {
        {9, 0, 100, 4, 3, 8},
        {10, 0, 100, 4, 3, 12},
        {101, 0, 100, 4, 3, 100},
        {-5, 0, 100, 4, 3, 0},
        {8, 0, 100, 4, 3, 8},
        {9, 0, 100, 4, 1, 12},
        {11, 0, 100, 4, 0, 8},
        {11, 0, 100, 4, 2, 8},
        {57, 0, 100, 1, 3, 57},
        {13, 1, 100, 4, 3, 13},
        {15, 1, 100, 4, 3, 17},
        // Rounding up past the maximum stays on the grid below it.
        {10, 0, 10, 4, 3, 8},
        {9, 0, 10, 4, 1, 8},
    };
    for (const Case& c : cases)
        EXPECT_EQ(grab::correctIntValue(c.value, c.min, c.max, c.inc, c.correction), c.expected)
            << c.value << " in [" << c.min << ", " << c.max << "] step " << c.inc << " correction " << c.correction;
}

TEST(SafeNodeAccess, MissingWrongTypeOrLockedNodesAreSkipped)
{
    fake::NodeMap map;
    map.add("Int", fake::integer(5, 0, 10, 1));
    map.add("LockedInt", fake::integer(5, 0, 10, 1, AccessMode::RO));
    map.add("HiddenInt", fake::integer(5, 0, 10, 1, AccessMode::NA));
    map.add("Float", fake::floating(1.0, 0.0, 2.0));
    map.add("Enum", fake::enumeration("A", {"A", "B"}));
    map.add("Text", fake::string("x"));

    EXPECT_FALSE(grab::setIntValue(static_cast<grab::GrabNodeMap*>(nullptr), "Int", 1, 3));
    EXPECT_FALSE(grab::setIntValue(&map, "Missing", 1, 3));
    EXPECT_FALSE(grab::setIntValue(&map, "Float", 1, 3));
    EXPECT_FALSE(grab::setIntValue(&map, "LockedInt", 1, 3));
    EXPECT_FALSE(grab::setFloatValue(&map, "Int", 1.0, 1));
    EXPECT_FALSE(grab::setBoolValue(&map, "Enum", true));
    EXPECT_FALSE(grab::setEnumValue(&map, "Int", "A"));
    EXPECT_FALSE(grab::setEnumValue(&map, "Enum", "C"));
    EXPECT_EQ(grab::getIntMax(&map, "HiddenInt", -1), -1);
    EXPECT_EQ(grab::getIntMax(&map, "LockedInt", -1), 10);
    EXPECT_EQ(grab::getFloatMax(&map, "Int", -1.0), -1.0);
    EXPECT_EQ(grab::getFloatMin(static_cast<grab::GrabNodeMap*>(nullptr), "Float", -1.0), -1.0);
    EXPECT_EQ(grab::getStringValue(&map, "Missing", "none"), "none");
    EXPECT_EQ(grab::getStringValue(&map, "Text", "none"), "x");
    EXPECT_EQ(grab::getStringValue(&map, "Enum", "none"), "A");
    EXPECT_TRUE(map.writes().empty());

    EXPECT_FALSE(grab::isAvailable(&map, "HiddenInt"));
    EXPECT_TRUE(grab::isImplemented(&map, "HiddenInt"));
    EXPECT_FALSE(grab::isReadable(&map, "Missing"));
    EXPECT_TRUE(grab::isReadable(&map, "LockedInt"));
}

TEST(SafeNodeAccess, StrictAndCorrectedWrites)
{
    fake::NodeMap map;
    map.add("Int", fake::integer(0, 0, 100, 4));
    map.add("Float", fake::floating(1.0, 0.5, 2.0));
    map.add("Enum", fake::enumeration("A", {"A", "B"}));
    map.add("Text", fake::string("x"));
    map.add("Flag", fake::boolean(false));

    EXPECT_FALSE(grab::setIntValue(&map, "Int", 9, 0));   // off the grid
    EXPECT_FALSE(grab::setIntValue(&map, "Int", 104, 0)); // out of range
    EXPECT_TRUE(grab::setIntValue(&map, "Int", 8, 0));
    EXPECT_TRUE(grab::setIntValue(&map, "Int", 10, 3));
    EXPECT_EQ(map.node("Int").intValue, 12);
    EXPECT_FALSE(grab::setFloatValue(&map, "Float", 3.0, 0));
    EXPECT_TRUE(grab::setFloatValue(&map, "Float", 3.0, 1));
    EXPECT_EQ(map.node("Float").floatValue, 2.0);
    EXPECT_TRUE(grab::setNumberValue(&map, "Int", 41.0));
    EXPECT_EQ(map.node("Int").intValue, 40);
    EXPECT_TRUE(grab::setEnumValue(&map, "Enum", "B"));
    EXPECT_TRUE(grab::setEnumValue(&map, "Text", "free text"));
    EXPECT_TRUE(grab::setBoolValue(&map, "Flag", true));
    EXPECT_EQ(map.writes(), (std::vector<std::string>{"Int=8", "Int=12", "Float=2", "Int=40", "Enum=B",
                                                      "Text=free text", "Flag=true"}));
}

TEST(StdFeatureListCamera, PixelTypeFollowsDynamicRange)
{
    struct Case {
        const char* format;
        int64_t dynamicRange;
        uint32_t expected;
    } cases[] = {
        {"Mono16", 4095, Nimbo::PixelType_Mono12}, {"Mono16", 65535, Nimbo::PixelType_Mono16},
        {"Mono16", 1023, Nimbo::PixelType_Mono10}, {"Mono16", 255, Nimbo::PixelType_Mono16},
        {"BayerRG16", 4095, 0x01100011},           {"BayerRG16", 1023, 0x0110000D},
        {"Mono8", 4095, Nimbo::PixelType_Mono8},
    };
    for (const Case& c : cases) {
        fake::Device device;
        addSfnc2Features(device.features(), true);
        device.features().node("PixelFormat").text = c.format;
        device.features().node("PixelDynamicRangeMax").intValue = c.dynamicRange;
        TestableCamera camera;
        EXPECT_EQ(camera.getPixelType(), 0xFFFFFFFFu); // not open
        EXPECT_EQ(camera.getBytesPerPixel(), 1);
        camera.attachDevice(&device);
        camera.open();
        EXPECT_EQ(camera.getPixelType(), c.expected) << c.format << " " << c.dynamicRange;
        // What a recording of this camera is built for, not the PixelFormat entry.
        EXPECT_EQ(camera.recordingPixelType(), c.expected) << c.format << " " << c.dynamicRange;
    }
}

TEST(StdFeatureListCamera, SizesComeFromGrabberThenDevice)
{
    fake::Device device;
    addSfnc2Features(device.features(), false);
    TestableCamera camera;
    camera.attachDevice(&device);
    EXPECT_EQ(camera.getWidth(), 0); // not open, no grabber yet
    EXPECT_EQ(camera.getPayloadSize(), 0u);
    camera.open();
    EXPECT_EQ(camera.getWidth(), 640);
    EXPECT_EQ(camera.getHeight(), 480);
    EXPECT_EQ(camera.getPayloadSize(), 640u * 480u);
    EXPECT_EQ(camera.getBytesPerPixel(), 2); // Mono12 in 16 bits
    device.grabber().params().add("Width", fake::integer(320, 0, 2000));
    EXPECT_EQ(camera.getWidth(), 320);
}

TEST(StdFeatureListCamera, TLParamsLockedOnlyWhenStartIsNotWritable)
{
    {
        fake::Device device;
        addSfnc2Features(device.features(), true);
        device.features().add("TLParamsLocked", fake::integer(0, 0, 1));
        TestableCamera camera;
        camera.attachDevice(&device);
        camera.open();
        camera.executeAcquisitionStart();
        EXPECT_EQ(device.features().writes(), std::vector<std::string>{"AcquisitionStart=execute"});
    }
    {
        fake::Device device;
        addSfnc2Features(device.features(), true);
        device.features().add("TLParamsLocked", fake::integer(1, 0, 1));
        device.features().node("AcquisitionStart").access = AccessMode::RO;
        TestableCamera camera;
        camera.attachDevice(&device);
        camera.open();
        EXPECT_THROW(camera.executeAcquisitionStart(), GenICam::AccessException);
        EXPECT_EQ(device.features().writes(), std::vector<std::string>{"TLParamsLocked=0"});
    }
    {
        fake::Device device;
        addSfnc2Features(device.features(), true);
        device.features().remove("AcquisitionStart");
        TestableCamera camera;
        camera.attachDevice(&device);
        camera.open();
        EXPECT_THROW(camera.executeAcquisitionStart(), GenICam::LogicalErrorException);
    }
}

TEST(StdFeatureListCamera, GrabsThroughTheStandardFeatures)
{
    fake::Device device;
    addSfnc2Features(device.features(), true);
    device.grabber().params().add("MaxBufferSize", fake::integer(0, 0, 1LL << 32));
    device.grabber().params().add("MaxNumBuffer", fake::integer(0, 0, 1000));
    StdFeatureListCamera camera(Nimbo::CDeviceInfo(), nullptr, 0x800000);
    std::atomic<int> received{0};
    QObject::connect(
        &camera, &Camera::bufferAvailable, &camera,
        [&](Lorvish::StreamBuffer* b) {
            EXPECT_EQ(b->imageFormat(), Nimbo::PixelType_BayerRG8);
            ++received;
        },
        Qt::DirectConnection);
    camera.attachDevice(&device);
    camera.open();
    camera.startContinuousShot();
    ASSERT_EQ(camera.getState(), Camera::GrabbingContinuous);
    EXPECT_EQ(device.features().node("AcquisitionMode").text, "Continuous");
    EXPECT_EQ(device.grabber().params().node("MaxBufferSize").intValue, 640 * 480);
    EXPECT_EQ(device.grabber().params().node("MaxNumBuffer").intValue, 27); // 8 MiB / 307,200 bytes
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(device.grabber().deliverWhenQueued());
    EXPECT_TRUE(testsupport::waitFor([&] { return received >= 5; }));
    EXPECT_EQ(received, 5);
    camera.stopGrab();
    EXPECT_EQ(device.features().node("AcquisitionStop").executed, 1);

    // A one-shot grab asks for a single frame.
    camera.startOneShot();
    EXPECT_EQ(device.features().node("AcquisitionMode").text, "SingleFrame");
    ASSERT_TRUE(device.grabber().deliverWhenQueued());
    EXPECT_TRUE(testsupport::waitFor([&] { return camera.getState() == Camera::Open; }));
}

TEST(StdFeatureListCamera, MissingGrabberLimitsAreReported)
{
    fake::Device device;
    addSfnc2Features(device.features(), false);
    StdFeatureListCamera camera(Nimbo::CDeviceInfo(), nullptr, 0x800000);
    camera.attachDevice(&device);
    camera.open();
    testsupport::LogCapture log;
    camera.startContinuousShot();
    EXPECT_TRUE(log.contains("StdFeatureListCamera::onPrepareGrab: No MaxBufferSize node found???"));
    EXPECT_TRUE(log.contains("StdFeatureListCamera::onPrepareGrab: No MaxNumBuffer node found???"));
    camera.stopGrab();
}

class DefaultConfigurationTest : public ::testing::Test {
protected:
    void configure(fake::Device& device)
    {
        StdFeatureListCamera camera(device.deviceInfo(), nullptr, 0x800000);
        camera.attachDevice(&device);
        camera.open();
        CameraConfiguration::applyDefaultConfiguration(camera);
        EXPECT_GE(device.features().invalidations(), 1);
    }
};

TEST_F(DefaultConfigurationTest, ColourCameraOfTheSecondStandard)
{
    QSettings().setValue("Camera/ExposureTime", 12345.0);
    QSettings().setValue("Camera/GainAuto", "Once");
    fake::Device device("ColourCam", true);
    addSfnc2Features(device.features(), true);
    configure(device);
    fake::NodeMap& f = device.features();
    EXPECT_EQ(f.node("OffsetX").intValue, 0);
    EXPECT_EQ(f.node("OffsetY").intValue, 0);
    EXPECT_EQ(f.node("Width").intValue, 1920);
    EXPECT_EQ(f.node("Height").intValue, 1200);
    EXPECT_TRUE(wrote(f, "TriggerSelector=FrameStart"));
    EXPECT_TRUE(wrote(f, "TriggerSelector=FrameBurstStart"));
    EXPECT_FALSE(wrote(f, "TriggerSelector=LineStart"));
    EXPECT_EQ(f.node("TriggerMode").text, "Off");
    EXPECT_EQ(f.node("AcquisitionMode").text, "Continuous");
    // Area 1 was configured last: brightness on, white balance off.
    EXPECT_EQ(f.node("AutoFunctionROISelector").text, "ROI1");
    EXPECT_TRUE(wrote(f, "AutoFunctionROIUseWhiteBalance=true"));
    EXPECT_TRUE(f.node("AutoFunctionROIUseBrightness").boolValue);
    EXPECT_FALSE(f.node("AutoFunctionROIUseWhiteBalance").boolValue);
    EXPECT_EQ(f.node("AutoFunctionROIWidth").intValue, 1920);
    EXPECT_EQ(f.node("BalanceWhiteAuto").text, "Off");
    EXPECT_EQ(f.node("LightSourcePreset").text, "Daylight5000K");
    EXPECT_EQ(f.node("PixelFormat").text, "YCbCr422_8");
    EXPECT_TRUE(f.node("GammaEnable").boolValue);
    EXPECT_DOUBLE_EQ(f.node("AutoTargetBrightness").floatValue, 0.3);
    EXPECT_EQ(f.node("AutoFunctionProfile").text, "MinimizeGain");
    EXPECT_EQ(f.node("AutoGainLowerLimit").floatValue, 0.0);
    EXPECT_EQ(f.node("AutoGainUpperLimit").floatValue, 36.0);
    EXPECT_EQ(f.node("AutoExposureTimeLowerLimit").floatValue, 20.0);
    EXPECT_EQ(f.node("AutoExposureTimeUpperLimit").floatValue, 1'000'000.0); // capped
    EXPECT_EQ(f.node("ExposureTime").floatValue, 12345.0);
    EXPECT_EQ(f.node("ExposureAuto").text, "Off");
    EXPECT_EQ(f.node("Gain").floatValue, 0.0);
    EXPECT_EQ(f.node("GainAuto").text, "Once");
    // Features this model lacks were skipped.
    for (const char* absent : {"SequencerMode", "TestPattern", "ExposureTimeAbs", "VlrHue"})
        EXPECT_FALSE(touched(f, absent)) << absent;
    QSettings().remove("Camera");
}

TEST_F(DefaultConfigurationTest, MonoCameraKeepsMono8)
{
    fake::Device device("MonoCam", true);
    addSfnc2Features(device.features(), false);
    configure(device);
    EXPECT_EQ(device.features().node("PixelFormat").text, "Mono8");
    EXPECT_FALSE(touched(device.features(), "LightSourcePreset"));
}

TEST_F(DefaultConfigurationTest, OlderStandardCamera)
{
    fake::Device device("GigECam", false);
    addSfnc1Features(device.features());
    configure(device);
    fake::NodeMap& f = device.features();
    EXPECT_EQ(f.node("PixelFormat").text, "YUV422_YUYV_Packed");
    EXPECT_EQ(f.node("LightSourceSelector").text, "Daylight");
    EXPECT_EQ(f.node("AutoTargetValue").intValue, 80);
    EXPECT_EQ(f.node("AutoFunctionProfile").text, "GainMinimum");
    EXPECT_TRUE(f.node("AutoFunctionROIUsageIntensity").boolValue);
    // The integer gain limits keep the full range.
    EXPECT_EQ(f.node("AutoGainRawLowerLimit").intValue, 36);
    EXPECT_EQ(f.node("AutoGainRawUpperLimit").intValue, 512);
    EXPECT_EQ(f.node("AutoExposureTimeAbsUpperLimit").floatValue, 9'999'990.0); // not capped
    EXPECT_EQ(f.node("ExposureTimeAbs").floatValue, 3500.0);
    EXPECT_FALSE(touched(f, "AutoTargetBrightness"));
    EXPECT_FALSE(touched(f, "AutoFunctionROIUseBrightness"));
}

TEST(CameraConfiguration, WhiteBalanceAreaAdjustmentAndTrigger)
{
    fake::Device device;
    addSfnc2Features(device.features(), true);
    StdFeatureListCamera camera(device.deviceInfo(), nullptr, 0x800000);
    camera.attachDevice(&device);
    camera.open();
    fake::NodeMap& f = device.features();

    CameraConfiguration::setWhiteBalanceArea(camera, QRect(101, 51, 301, 200));
    EXPECT_EQ(f.writes(), (std::vector<std::string>{"AutoFunctionROISelector=ROI2", "AutoFunctionROIOffsetX=0",
                                                    "AutoFunctionROIOffsetY=0", "AutoFunctionROIWidth=302",
                                                    "AutoFunctionROIHeight=200", "AutoFunctionROIOffsetX=102",
                                                    "AutoFunctionROIOffsetY=52", "AutoFunctionROIUseBrightness=false",
                                                    "AutoFunctionROIUseWhiteBalance=true", "BalanceWhiteAuto=Once"}));

    f.clearWrites();
    CameraConfiguration::adjustImageQuality(camera);
    EXPECT_EQ(f.writes(), (std::vector<std::string>{"GainSelector=All", "ExposureAuto=Once", "BalanceWhiteAuto=Once"}));

    f.clearWrites();
    CameraConfiguration::enableTrigger(camera, "Line3");
    CameraConfiguration::disableTrigger(camera);
    EXPECT_EQ(f.writes(), (std::vector<std::string>{"TriggerSelector=FrameStart", "TriggerSource=Line3",
                                                    "TriggerMode=On", "TriggerMode=Off"}));
}

// A frame-start trigger is switched on only on the line asked for. A camera that cannot take it (the line
// or the frame-start trigger is not offered, or there is no trigger source at all) is left without
// trigger, as free run, rather than waiting on its current source, software or the other port's line.
TEST(CameraConfiguration, ATriggerOnALineTheCameraLacksLeavesItRunningFree)
{
    const auto unavailable = [](fake::NodeMap& f, const char* name, const char* entry) {
        for (auto& e : f.node(name).entries)
            if (e.first == entry)
                e.second = AccessMode::NA;
    };
    const struct Case {
        const char* name;
        std::function<void(fake::NodeMap&)> model;
        bool triggered;
    } cases[] = {
        {"the line is offered", [](fake::NodeMap&) {}, true},
        {"no trigger selector", [](fake::NodeMap& f) { f.remove("TriggerSelector"); }, true},
        {"the line is not offered", [&](fake::NodeMap& f) { unavailable(f, "TriggerSource", "Line3"); }, false},
        {"no frame-start trigger", [&](fake::NodeMap& f) { unavailable(f, "TriggerSelector", "FrameStart"); }, false},
        {"no trigger source", [](fake::NodeMap& f) { f.remove("TriggerSource"); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Device device;
        addSfnc2Features(device.features(), true);
        fake::NodeMap& f = device.features();
        c.model(f);
        StdFeatureListCamera camera(device.deviceInfo(), nullptr, 0x800000);
        camera.attachDevice(&device);
        camera.open();
        // Trigger port 2 ("Line1") was on before.
        if (f.kind("TriggerSource") == grab::NodeKind::Enumeration)
            f.setEnumValue("TriggerSource", "Line1");
        f.setEnumValue("TriggerMode", "On");
        f.clearWrites();
        EXPECT_EQ(CameraConfiguration::enableTrigger(camera, "Line3"), c.triggered);
        EXPECT_EQ(f.enumValue("TriggerMode"), c.triggered ? "On" : "Off");
        if (c.triggered) {
            EXPECT_EQ(f.enumValue("TriggerSource"), "Line3");
        }
    }
}

TEST(CameraConfiguration, ClosedCameraIsLeftAlone)
{
    fake::Device device;
    addSfnc2Features(device.features(), true);
    StdFeatureListCamera camera(device.deviceInfo(), nullptr, 0x800000);
    camera.attachDevice(&device);
    CameraConfiguration::applyDefaultConfiguration(camera);
    CameraConfiguration::enableTrigger(camera, "Line1");
    EXPECT_TRUE(device.features().writes().empty());
}

} // namespace
