// Camera configuration (see CameraConfiguration.h).
#include "CameraConfiguration.h"

#include "Camera.h"
#include "SafeNodeAccess.h"

#include <QSettings>

#include <algorithm>

namespace CameraConfiguration {

namespace {

constexpr int kNearest = 3;

// The node map to configure, with its cached values dropped; null without an open device.
grab::GrabNodeMap* freshNodeMap(Camera& camera, bool* sfnc2)
{
    grab::GrabNodeMap* map = camera.isOpen() ? camera.getFeatures() : nullptr;
    if (map)
        map->invalidateNodes();
    grab::GrabDevice* device = camera.getDevice();
    *sfnc2 = device && device->isSfnc2();
    return map;
}

void setAutoFunctionArea(grab::GrabNodeMap* map, const char* selector, bool sfnc2, bool brightness, bool whiteBalance)
{
    using namespace grab;
    setEnumValue(map, "AutoFunctionROISelector", selector);
    setIntValue(map, "AutoFunctionROIOffsetX", 0, kNearest);
    setIntValue(map, "AutoFunctionROIOffsetY", 0, kNearest);
    setIntValue(map, "AutoFunctionROIWidth", getIntMax(map, "AutoFunctionROIWidth", 0), kNearest);
    setIntValue(map, "AutoFunctionROIHeight", getIntMax(map, "AutoFunctionROIHeight", 0), kNearest);
    if (sfnc2) {
        setBoolValue(map, "AutoFunctionROIUseBrightness", brightness);
        setBoolValue(map, "AutoFunctionROIUseWhiteBalance", whiteBalance);
    } else {
        setBoolValue(map, "AutoFunctionROIUsageIntensity", brightness);
        setBoolValue(map, "AutoFunctionROIUsageWhiteBalance", whiteBalance);
    }
}

} // namespace

void applyDefaultConfiguration(Camera& camera)
{
    using namespace grab;
    bool sfnc2 = false;
    GrabNodeMap* map = freshNodeMap(camera, &sfnc2);
    if (!map)
        return;

    setEnumValue(map, "SequencerMode", "Off");
    setBoolValue(map, "SequenceEnable", false);

    setIntValue(map, "OffsetX", 0, kNearest);
    setIntValue(map, "OffsetY", 0, kNearest);
    setIntValue(map, "Width", getIntMax(map, "Width", 0), kNearest);
    setIntValue(map, "Height", getIntMax(map, "Height", 0), kNearest);

    if (isAvailable(map, "TriggerSelector") && map->kind("TriggerSelector") == NodeKind::Enumeration) {
        for (const std::string& entry : map->enumEntries("TriggerSelector")) {
            if (!isAvailableMode(map->enumEntryAccessMode("TriggerSelector", entry)))
                continue;
            setEnumValue(map, "TriggerSelector", entry);
            setEnumValue(map, "TriggerMode", "Off");
        }
    }
    setEnumValue(map, "AcquisitionMode", "Continuous");

    setAutoFunctionArea(map, "ROI2", sfnc2, false, true);
    setAutoFunctionArea(map, "ROI1", sfnc2, true, false);

    setEnumValue(map, "BalanceWhiteAuto", "Off");

    if (sfnc2) {
        setEnumValue(map, "LightSourcePreset", "Daylight5000K");
        setEnumValue(map, "PixelFormat", "Mono8");
        setEnumValue(map, "PixelFormat", "YCbCr422_8");
    } else {
        setEnumValue(map, "LightSourceSelector", "Daylight");
        setEnumValue(map, "PixelFormat", "Mono8");
        setEnumValue(map, "PixelFormat", "YUV422_YUYV_Packed");
    }

    setEnumValue(map, "TestImageSelector", "Off");
    setEnumValue(map, "TestPattern", "Off");

    setBoolValue(map, "ProcessedRawEnable", true);
    setBoolValue(map, "GammaEnable", true);
    setEnumValue(map, "GammaSelector", "sRGB");

    // Limits are read as the node's own type: the older cameras' gain limits are integers.
    if (sfnc2) {
        setNumberValue(map, "AutoTargetBrightness", 0.3);
        setEnumValue(map, "AutoFunctionProfile", "MinimizeGain");
        setNumberValue(map, "AutoGainLowerLimit", getNumberMin(map, "AutoGainLowerLimit", 0.0));
        setNumberValue(map, "AutoGainUpperLimit", getNumberMax(map, "AutoGainUpperLimit", 0.0));
        setNumberValue(map, "AutoExposureTimeLowerLimit", getNumberMin(map, "AutoExposureTimeLowerLimit", 0.0));
        setNumberValue(map, "AutoExposureTimeUpperLimit",
                       std::min(getNumberMax(map, "AutoExposureTimeUpperLimit", 0.0), 1000000.0));
    } else {
        setIntValue(map, "AutoTargetValue", 80, kNearest);
        setEnumValue(map, "AutoFunctionProfile", "GainMinimum");
        setNumberValue(map, "AutoGainRawLowerLimit", getNumberMin(map, "AutoGainRawLowerLimit", 0.0));
        setNumberValue(map, "AutoGainRawUpperLimit", getNumberMax(map, "AutoGainRawUpperLimit", 0.0));
        setNumberValue(map, "AutoExposureTimeAbsLowerLimit", getNumberMin(map, "AutoExposureTimeAbsLowerLimit", 0.0));
        setNumberValue(map, "AutoExposureTimeAbsUpperLimit", getNumberMax(map, "AutoExposureTimeAbsUpperLimit", 0.0));
    }

    setEnumValue(map, "GainSelector", "All");

    QSettings settings;
    settings.beginGroup("Camera");
    struct FloatSetting {
        const char* name;
        double defaultValue;
    };
    auto writeFloat = [&](const FloatSetting& s) {
        setFloatValue(map, s.name, settings.value(s.name, s.defaultValue).toDouble(), 1);
    };
    auto writeText = [&](const char* name, const char* defaultValue) {
        setEnumValue(map, name, settings.value(name, defaultValue).toString().toStdString());
    };
    writeFloat({"ExposureTimeAbs", 3500.0});
    writeFloat({"ExposureTime", 3500.0});
    writeText("ExposureAuto", "Off");
    writeFloat({"GainAbs", 0.0});
    writeFloat({"Gain", 0.0});
    writeText("GainAuto", "Off");
    writeFloat({"VlrSaturation", 1.0});
    writeFloat({"VlrContrast", 0.0});
    writeFloat({"VlrBrightness", 0.0});
    writeFloat({"VlrHue", 0.0});
    settings.endGroup();
}

void adjustImageQuality(Camera& camera)
{
    using namespace grab;
    bool sfnc2 = false;
    GrabNodeMap* map = freshNodeMap(camera, &sfnc2);
    if (!map)
        return;
    setEnumValue(map, "GainSelector", "All");
    if (getStringValue(map, "GainAuto", "") != "Continuous")
        setEnumValue(map, "GainAuto", "Once");
    if (getStringValue(map, "ExposureAuto", "") != "Continuous")
        setEnumValue(map, "ExposureAuto", "Once");
    setEnumValue(map, "BalanceWhiteAuto", "Once");
}

void setWhiteBalanceArea(Camera& camera, const QRect& rect)
{
    using namespace grab;
    bool sfnc2 = false;
    GrabNodeMap* map = freshNodeMap(camera, &sfnc2);
    if (!map)
        return;
    setEnumValue(map, "AutoFunctionROISelector", "ROI2");
    // Offsets first go to 0 so that any size fits.
    setIntValue(map, "AutoFunctionROIOffsetX", 0, kNearest);
    setIntValue(map, "AutoFunctionROIOffsetY", 0, kNearest);
    setIntValue(map, "AutoFunctionROIWidth", rect.width(), kNearest);
    setIntValue(map, "AutoFunctionROIHeight", rect.height(), kNearest);
    setIntValue(map, "AutoFunctionROIOffsetX", rect.left(), kNearest);
    setIntValue(map, "AutoFunctionROIOffsetY", rect.top(), kNearest);
    if (sfnc2) {
        setBoolValue(map, "AutoFunctionROIUseBrightness", false);
        setBoolValue(map, "AutoFunctionROIUseWhiteBalance", true);
    } else {
        setBoolValue(map, "AutoFunctionROIUsageIntensity", false);
        setBoolValue(map, "AutoFunctionROIUsageWhiteBalance", true);
    }
    setEnumValue(map, "BalanceWhiteAuto", "Once");
}

void disableTrigger(Camera& camera)
{
    bool sfnc2 = false;
    grab::GrabNodeMap* map = freshNodeMap(camera, &sfnc2);
    grab::setEnumValue(map, "TriggerMode", "Off");
}

bool enableTrigger(Camera& camera, const QString& line)
{
    bool sfnc2 = false;
    grab::GrabNodeMap* map = freshNodeMap(camera, &sfnc2);
    if (!map)
        return false;
    const bool frameStart =
        !grab::isAvailable(map, "TriggerSelector") || grab::setEnumValue(map, "TriggerSelector", "FrameStart");
    if (frameStart && grab::setEnumValue(map, "TriggerSource", line.toStdString()))
        return grab::setEnumValue(map, "TriggerMode", "On");
    // Switched on, the trigger would wait on whatever source was set before (software, or the other
    // port's line) and no frame would come from the line asked for: the camera runs free instead.
    grab::setEnumValue(map, "TriggerMode", "Off");
    return false;
}

} // namespace CameraConfiguration
