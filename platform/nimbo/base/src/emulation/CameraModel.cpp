// The three emulated models and the GenICam descriptions written from their feature tables.
#include "CameraModel.h"

#include <sstream>

namespace Nimbo {
namespace emulation {

int64_t FeatureDef::entryValue(const std::string& symbolic, bool* found) const
{
    for (const auto& entry : entries)
        if (entry.first == symbolic) {
            if (found)
                *found = true;
            return entry.second;
        }
    if (found)
        *found = false;
    return 0;
}

const std::string* FeatureDef::entryName(int64_t value) const
{
    for (const auto& entry : entries)
        if (entry.second == value)
            return &entry.first;
    return nullptr;
}

const FeatureDef* CameraModel::find(const std::string& name) const
{
    auto it = byName.find(name);
    return it == byName.end() ? nullptr : &features[it->second];
}

const FeatureDef* CameraModel::findByAddress(int64_t address, int64_t length) const
{
    auto it = byAddress.upper_bound(address);
    if (it == byAddress.begin())
        return nullptr;
    --it;
    const FeatureDef& f = features[it->second];
    if (length < 0 || address < f.address || address + length > f.address + f.length)
        return nullptr;
    return &f;
}

std::vector<std::string> CameraModel::pixelFormats() const
{
    std::vector<std::string> names;
    if (const FeatureDef* f = find("PixelFormat"))
        for (const auto& entry : f->entries)
            names.push_back(entry.first);
    return names;
}

namespace {

// Collects the features of one model; addresses are handed out in order of addition.
class ModelBuilder {
public:
    explicit ModelBuilder(CameraModel& model) : m_model(model) {}

    FeatureDef& add(FeatureKind kind, const std::string& name, const std::string& category)
    {
        FeatureDef f;
        f.kind = kind;
        f.name = name;
        f.category = category;
        if (kind != FeatureKind::FloatOverRaw) {
            f.address = m_next;
            m_next += 0x10;
        }
        m_model.byName[name] = m_model.features.size();
        m_model.features.push_back(f);
        return m_model.features.back();
    }
    FeatureDef& integer(const std::string& name, const std::string& cat, int64_t min, int64_t max, int64_t inc,
                        int64_t def, const char* access = "RW")
    {
        FeatureDef& f = add(FeatureKind::Integer, name, cat);
        f.min = min, f.max = max, f.inc = inc, f.defaultInt = def, f.access = access;
        return f;
    }
    FeatureDef& real(const std::string& name, const std::string& cat, double min, double max, double def,
                     const char* access = "RW")
    {
        FeatureDef& f = add(FeatureKind::Float, name, cat);
        f.fmin = min, f.fmax = max, f.defaultFloat = def, f.access = access;
        return f;
    }
    FeatureDef& overRaw(const std::string& name, const std::string& cat, const std::string& raw, double factor)
    {
        FeatureDef& f = add(FeatureKind::FloatOverRaw, name, cat);
        f.raw = raw, f.factor = factor;
        return f;
    }
    FeatureDef& enumeration(const std::string& name, const std::string& cat, std::vector<std::string> symbols,
                            const std::string& def)
    {
        FeatureDef& f = add(FeatureKind::Enumeration, name, cat);
        for (size_t i = 0; i < symbols.size(); ++i)
            f.entries.emplace_back(symbols[i], static_cast<int64_t>(i));
        f.defaultString = def;
        return f;
    }
    FeatureDef& enumerationWithValues(const std::string& name, const std::string& cat,
                                      std::vector<std::pair<std::string, int64_t>> entries, const std::string& def)
    {
        FeatureDef& f = add(FeatureKind::Enumeration, name, cat);
        f.entries = std::move(entries);
        f.defaultString = def;
        return f;
    }
    FeatureDef& boolean(const std::string& name, const std::string& cat, bool def)
    {
        FeatureDef& f = add(FeatureKind::Boolean, name, cat);
        f.defaultInt = def ? 1 : 0;
        return f;
    }
    FeatureDef& command(const std::string& name, const std::string& cat)
    {
        FeatureDef& f = add(FeatureKind::Command, name, cat);
        f.access = "RW";
        return f;
    }
    FeatureDef& string(const std::string& name, const std::string& cat, const std::string& def,
                       const char* access = "RO")
    {
        FeatureDef& f = add(FeatureKind::String, name, cat);
        f.address = m_stringNext;
        m_stringNext += 0x40;
        f.length = 64;
        f.defaultString = def;
        f.access = access;
        return f;
    }
    FeatureDef& reg(const std::string& name, const std::string& cat, int64_t length)
    {
        FeatureDef& f = add(FeatureKind::Register, name, cat);
        f.address = m_bigNext;
        f.length = length;
        m_bigNext += (length + 0xFFF) & ~int64_t(0xFFF);
        return f;
    }
    void finish()
    {
        for (size_t i = 0; i < m_model.features.size(); ++i)
            if (m_model.features[i].kind != FeatureKind::FloatOverRaw)
                m_model.byAddress[m_model.features[i].address] = i;
    }
    // The camera computes `name` from `sources`: a change of any of them invalidates it.
    void computedFrom(const std::string& name, std::vector<std::string> sources)
    {
        FeatureDef& f = m_model.features[m_model.byName.at(name)];
        f.invalidators.insert(f.invalidators.end(), sources.begin(), sources.end());
    }
    // The camera changes these values by itself; a float over a raw value follows its raw value.
    void changesByItself(std::vector<std::string> names)
    {
        for (const std::string& name : names)
            m_model.features[m_model.byName.at(name)].volatileValue = true;
        for (FeatureDef& f : m_model.features)
            if (f.kind == FeatureKind::FloatOverRaw && m_model.find(f.raw)->volatileValue)
                f.volatileValue = true;
    }
    // Marks `selector` as selecting each of the features.
    void select(const std::string& selector, std::vector<std::string> features)
    {
        m_model.features[m_model.byName.at(selector)].selected = features;
        for (const std::string& name : features)
            m_model.features[m_model.byName.at(name)].selector = selector;
    }

private:
    CameraModel& m_model;
    int64_t m_next = 0x1000;
    int64_t m_stringNext = 0x80000;
    int64_t m_bigNext = 0x100000;
};

// Features every model has; `sfnc2` chooses the generation's names.
void addCommonFeatures(ModelBuilder& b, CameraModel& m)
{
    const bool sfnc2 = m.sfncMajor >= 2;
    const bool gige = m.transport == "gige";
    b.string("DeviceVendorName", "DeviceControl", m.vendorName);
    b.string("DeviceModelName", "DeviceControl", m.modelName);
    b.string("DeviceVersion", "DeviceControl", m.deviceVersion);
    b.string("DeviceFirmwareVersion", "DeviceControl", m.firmwareVersion);
    b.string(sfnc2 ? "DeviceSerialNumber" : "DeviceID", "DeviceControl", "");
    b.string("DeviceUserID", "DeviceControl", "", "RW");
    b.integer("DeviceSFNCVersionMajor", "DeviceControl", 0, 99, 1, m.sfncMajor, "RO").visibility = "Guru";
    b.integer("DeviceSFNCVersionMinor", "DeviceControl", 0, 99, 1, m.sfncMinor, "RO").visibility = "Guru";
    b.integer("DeviceSFNCVersionSubMinor", "DeviceControl", 0, 99, 1, m.sfncSubMinor, "RO").visibility = "Guru";
    if (!gige) {
        b.integer("DeviceLinkSelector", "DeviceControl", 0, 0, 1, 0).visibility = "Expert";
        b.enumeration("DeviceLinkThroughputLimitMode", "DeviceControl", {"Off", "On"}, "Off").visibility = "Expert";
        FeatureDef& limit = b.integer("DeviceLinkThroughputLimit", "DeviceControl", 1000000, 400000000, 1, 360000000);
        limit.unit = "Byte/s";
        limit.visibility = "Expert";
        b.integer("DeviceLinkSpeed", "DeviceControl", 0, 625000000, 1, 400000000, "RO").visibility = "Expert";
    }

    b.integer("SensorWidth", "ImageFormatControl", 1, 100000, 1, m.sensorWidth, "RO").visibility = "Expert";
    b.integer("SensorHeight", "ImageFormatControl", 1, 100000, 1, m.sensorHeight, "RO").visibility = "Expert";
    b.integer("WidthMax", "ImageFormatControl", 1, m.sensorWidth, 1, m.sensorWidth, "RO").visibility = "Expert";
    b.integer("HeightMax", "ImageFormatControl", 1, m.sensorHeight, 1, m.sensorHeight, "RO").visibility = "Expert";
    b.integer("OffsetXMax", "ImageFormatControl", 0, m.sensorWidth, 1, 0, "RO").visibility = "Invisible";
    b.integer("OffsetYMax", "ImageFormatControl", 0, m.sensorHeight, 1, 0, "RO").visibility = "Invisible";
    FeatureDef& width = b.integer("Width", "ImageFormatControl", 16, m.sensorWidth, 2, m.sensorWidth);
    width.pMax = "WidthMax";
    FeatureDef& height = b.integer("Height", "ImageFormatControl", 16, m.sensorHeight, 2, m.sensorHeight);
    height.pMax = "HeightMax";
    FeatureDef& offsetX = b.integer("OffsetX", "ImageFormatControl", 0, m.sensorWidth - 16, 2, 0);
    offsetX.pMax = "OffsetXMax";
    FeatureDef& offsetY = b.integer("OffsetY", "ImageFormatControl", 0, m.sensorHeight - 16, 2, 0);
    offsetY.pMax = "OffsetYMax";
    for (const char* name : {"Width", "Height", "OffsetX", "OffsetY"})
        m.features[m.byName.at(name)].lockedWhileGrabbing = true;
    for (const char* name : {"Width", "Height", "WidthMax", "HeightMax", "SensorWidth", "SensorHeight"})
        m.features[m.byName.at(name)].unit = "px";

    std::vector<std::pair<std::string, int64_t>> formats;
    if (m.colour) {
        formats = {{"Mono8", 0x01080001},
                   {"BayerRG8", 0x01080009},
                   {"BayerRG12", 0x01100011},
                   {"RGB8", 0x02180014},
                   {"BGR8", 0x02180015}};
        formats.emplace_back(sfnc2 ? "YCbCr422_8" : "YUV422_YUYV_Packed", sfnc2 ? 0x0210003B : 0x02100032);
    } else {
        formats = {{"Mono8", 0x01080001}, {"Mono10", 0x01100003}, {"Mono12", 0x01100005}, {"Mono16", 0x01100007}};
    }
    FeatureDef& pixelFormat = b.enumerationWithValues("PixelFormat", "ImageFormatControl", formats, "Mono8");
    pixelFormat.lockedWhileGrabbing = true;
    b.integer("PixelDynamicRangeMin", "ImageFormatControl", 0, 65535, 1, 0, "RO").visibility = "Expert";
    b.integer("PixelDynamicRangeMax", "ImageFormatControl", 0, 65535, 1, 255, "RO").visibility = "Expert";
    if (sfnc2)
        b.enumeration("TestPattern", "ImageFormatControl", {"Off", "GreyDiagonalSawtooth8"}, "Off");
    else
        b.enumeration("TestImageSelector", "ImageFormatControl", {"Off", "Testimage1"}, "Off");

    b.enumeration("AcquisitionMode", "AcquisitionControl", {"SingleFrame", "MultiFrame", "Continuous"}, "Continuous");
    b.command("AcquisitionStart", "AcquisitionControl");
    b.command("AcquisitionStop", "AcquisitionControl");
    b.integer("AcquisitionFrameCount", "AcquisitionControl", 1, 255, 1, 1);
    b.boolean("AcquisitionFrameRateEnable", "AcquisitionControl", false);
    FeatureDef& rate =
        b.real(sfnc2 ? "AcquisitionFrameRate" : "AcquisitionFrameRateAbs", "AcquisitionControl", 1.0, 20000.0, 30.0);
    rate.unit = "Hz";
    FeatureDef& resulting = b.real(sfnc2 ? "ResultingFrameRate" : "ResultingFrameRateAbs", "AcquisitionControl", 0.0,
                                   1000000.0, 30.0, "RO");
    resulting.unit = "Hz";
    resulting.pollingTime = 1000;
    resulting.visibility = "Expert";
    if (sfnc2)
        b.enumeration("TriggerSelector", "AcquisitionControl", {"FrameStart", "FrameBurstStart"}, "FrameStart");
    else
        b.enumeration("TriggerSelector", "AcquisitionControl", {"AcquisitionStart", "FrameStart"}, "FrameStart");
    b.enumeration("TriggerMode", "AcquisitionControl", {"Off", "On"}, "Off");
    b.enumeration("TriggerSource", "AcquisitionControl", {"Software", "Line1", "Line3"}, "Software");
    b.enumeration("TriggerActivation", "AcquisitionControl", {"RisingEdge", "FallingEdge"}, "RisingEdge");
    b.command("TriggerSoftware", "AcquisitionControl");
    b.select("TriggerSelector", {"TriggerMode", "TriggerSource", "TriggerActivation", "TriggerSoftware"});
    b.enumeration("AcquisitionStatusSelector", "AcquisitionControl", {"FrameTriggerWait", "AcquisitionActive"},
                  "FrameTriggerWait")
        .visibility = "Expert";
    FeatureDef& status = b.boolean("AcquisitionStatus", "AcquisitionControl", false);
    status.access = "RO";
    status.visibility = "Expert";
    b.select("AcquisitionStatusSelector", {"AcquisitionStatus"});
    b.enumeration("ExposureMode", "AcquisitionControl", {"Timed"}, "Timed");
    FeatureDef& exposureAuto =
        b.enumeration("ExposureAuto", "AcquisitionControl", {"Off", "Once", "Continuous"}, "Off");
    exposureAuto.pollingTime = 100;
    FeatureDef& exposureRaw = b.integer("ExposureTimeRaw", "AcquisitionControl", 20, 10000000, 1, 3500);
    exposureRaw.visibility = sfnc2 ? "Invisible" : "Beginner";
    exposureRaw.pollingTime = 100;
    b.overRaw(sfnc2 ? "ExposureTime" : "ExposureTimeAbs", "AcquisitionControl", "ExposureTimeRaw", 1.0).unit = "us";

    b.enumeration("GainSelector", "AnalogControl", {"All"}, "All");
    FeatureDef& gainAuto = b.enumeration("GainAuto", "AnalogControl", {"Off", "Once", "Continuous"}, "Off");
    gainAuto.pollingTime = 100;
    FeatureDef& gainRaw = b.integer("GainRaw", "AnalogControl", 0, 240, 1, 0);
    gainRaw.visibility = sfnc2 ? "Invisible" : "Beginner";
    gainRaw.pollingTime = 100;
    b.overRaw(sfnc2 ? "Gain" : "GainAbs", "AnalogControl", "GainRaw", 0.1).unit = "dB";
    b.real("Gamma", "AnalogControl", 0.25, 4.0, 1.0);
    if (!sfnc2) {
        b.boolean("GammaEnable", "AnalogControl", false);
        b.enumeration("GammaSelector", "AnalogControl", {"User", "sRGB"}, "User");
    }

    b.enumeration("LUTSelector", "LUTControl", {"Luminance"}, "Luminance").visibility = "Expert";
    b.boolean("LUTEnable", "LUTControl", false).visibility = "Expert";
    b.integer("LUTIndex", "LUTControl", 0, 4095, 1, 0).visibility = "Guru";
    b.integer("LUTValue", "LUTControl", 0, 4095, 1, 0).visibility = "Guru";
    b.reg("LUTValueAll", "LUTControl", 4096 * 4).visibility = "Guru";

    b.enumeration("AutoFunctionROISelector", "AutoFunctionControl", {"ROI1", "ROI2"}, "ROI1");
    b.integer("AutoFunctionROIOffsetX", "AutoFunctionControl", 0, m.sensorWidth - 1, 1, 0);
    b.integer("AutoFunctionROIOffsetY", "AutoFunctionControl", 0, m.sensorHeight - 1, 1, 0);
    b.integer("AutoFunctionROIWidth", "AutoFunctionControl", 1, m.sensorWidth, 1, m.sensorWidth);
    b.integer("AutoFunctionROIHeight", "AutoFunctionControl", 1, m.sensorHeight, 1, m.sensorHeight);
    std::vector<std::string> roiFeatures = {"AutoFunctionROIOffsetX", "AutoFunctionROIOffsetY", "AutoFunctionROIWidth",
                                            "AutoFunctionROIHeight"};
    for (const char* name :
         sfnc2 ? std::vector<const char*>{"AutoFunctionROIUseBrightness", "AutoFunctionROIUseWhiteBalance"}
               : std::vector<const char*>{"AutoFunctionROIUsageIntensity", "AutoFunctionROIUsageWhiteBalance"}) {
        b.boolean(name, "AutoFunctionControl", false);
        roiFeatures.push_back(name);
    }
    b.select("AutoFunctionROISelector", roiFeatures);
    if (sfnc2) {
        b.real("AutoTargetBrightness", "AutoFunctionControl", 0.0, 1.0, 0.3);
        b.enumeration("AutoFunctionProfile", "AutoFunctionControl", {"MinimizeGain", "MinimizeExposureTime"},
                      "MinimizeGain");
        b.real("AutoGainLowerLimit", "AutoFunctionControl", 0.0, 24.0, 0.0);
        b.real("AutoGainUpperLimit", "AutoFunctionControl", 0.0, 24.0, 24.0);
        b.real("AutoExposureTimeLowerLimit", "AutoFunctionControl", 20.0, 10000000.0, 20.0);
        b.real("AutoExposureTimeUpperLimit", "AutoFunctionControl", 20.0, 10000000.0, 10000000.0);
        b.enumeration("SequencerMode", "SequencerControl", {"Off", "On"}, "Off").visibility = "Expert";
    } else {
        b.integer("AutoTargetValue", "AutoFunctionControl", 1, 255, 1, 50);
        b.enumeration("AutoFunctionProfile", "AutoFunctionControl", {"GainMinimum", "ExposureMinimum"}, "GainMinimum");
        b.integer("AutoGainRawLowerLimit", "AutoFunctionControl", 0, 240, 1, 0);
        b.integer("AutoGainRawUpperLimit", "AutoFunctionControl", 0, 240, 1, 240);
        b.real("AutoExposureTimeAbsLowerLimit", "AutoFunctionControl", 20.0, 10000000.0, 20.0);
        b.real("AutoExposureTimeAbsUpperLimit", "AutoFunctionControl", 20.0, 10000000.0, 10000000.0);
        b.boolean("SequenceEnable", "SequenceControl", false).visibility = "Expert";
    }

    if (m.colour) {
        b.enumeration("BalanceWhiteAuto", "ColorImprovementsControl", {"Off", "Once", "Continuous"}, "Off")
            .pollingTime = 100;
        b.enumeration("BalanceRatioSelector", "ColorImprovementsControl", {"Red", "Green", "Blue"}, "Red");
        b.real(sfnc2 ? "BalanceRatio" : "BalanceRatioAbs", "ColorImprovementsControl", 0.0, 15.98, 1.0).pollingTime =
            100;
        b.select("BalanceRatioSelector", {sfnc2 ? "BalanceRatio" : "BalanceRatioAbs"});
        if (sfnc2)
            b.enumeration("LightSourcePreset", "ColorImprovementsControl", {"Off", "Daylight5000K", "Tungsten2800K"},
                          "Daylight5000K");
        else
            b.enumeration("LightSourceSelector", "ColorImprovementsControl", {"Off", "Custom", "Daylight", "Tungsten"},
                          "Daylight");
        b.enumeration("ColorTransformationSelector", "ColorImprovementsControl", {"RGBtoRGB"}, "RGBtoRGB").visibility =
            "Expert";
        b.enumeration("ColorTransformationValueSelector", "ColorImprovementsControl",
                      {"Gain00", "Gain01", "Gain02", "Gain10", "Gain11", "Gain12", "Gain20", "Gain21", "Gain22"},
                      "Gain00")
            .visibility = "Expert";
        b.real("ColorTransformationValue", "ColorImprovementsControl", -8.0, 8.0, 1.0).visibility = "Expert";
        b.select("ColorTransformationValueSelector", {"ColorTransformationValue"});
        if (!sfnc2)
            b.boolean("ProcessedRawEnable", "ColorImprovementsControl", false).visibility = "Expert";
    }

    b.enumeration("FileSelector", "FileAccessControl", {"UserData", "UserSet1"}, "UserData").visibility = "Guru";

    b.integer("PayloadSize", "TransportLayerControl", 0, int64_t(1) << 40, 1, 0, "RO").visibility = "Expert";
    b.integer("TLParamsLocked", "TransportLayerControl", 0, 1, 1, 0).visibility = "Invisible";
    if (gige) {
        b.integer("GevSCPSPacketSize", "TransportLayerControl", 220, 9000, 4, 1500).visibility = "Expert";
        b.integer("GevSCPD", "TransportLayerControl", 0, 50000, 1, 0).visibility = "Expert";
        b.integer("GevSCFTD", "TransportLayerControl", 0, 50000, 1, 0).visibility = "Expert";
        b.integer("GevSCBWR", "TransportLayerControl", 0, 100, 1, 10).visibility = "Expert";
        b.integer("GevSCDMT", "TransportLayerControl", 0, 125000000, 1, 125000000, "RO").visibility = "Expert";
        b.integer("GevSCDCT", "TransportLayerControl", 0, 125000000, 1, 0, "RO").visibility = "Expert";
        b.integer("GevLinkSpeed", "TransportLayerControl", 0, 10000, 1, 1000, "RO").visibility = "Expert";
        b.integer("GevHeartbeatTimeout", "TransportLayerControl", 500, 600000, 1, 3000).visibility = "Guru";
        // The network configuration, kept with the transport layer's force-IP and IP configuration.
        for (const char* name : {"GevCurrentIPAddress", "GevCurrentSubnetMask", "GevCurrentDefaultGateway"})
            b.integer(name, "TransportLayerControl", 0, 0xFFFFFFFF, 1, 0, "RO").visibility = "Expert";
        b.boolean("GevCurrentIPConfigurationPersistentIP", "TransportLayerControl", true).visibility = "Expert";
        b.boolean("GevCurrentIPConfigurationDHCP", "TransportLayerControl", false).visibility = "Expert";
        for (const char* name : {"GevPersistentIPAddress", "GevPersistentSubnetMask", "GevPersistentDefaultGateway"})
            b.integer(name, "TransportLayerControl", 0, 0xFFFFFFFF, 1, 0).visibility = "Expert";
    }

    // What the camera computes. Values that follow a setting are read afresh when the setting changes;
    // those that the auto functions, the frame rate or the statistics move are never cached.
    b.computedFrom("WidthMax", {"OffsetX"});
    b.computedFrom("HeightMax", {"OffsetY"});
    b.computedFrom("OffsetXMax", {"Width"});
    b.computedFrom("OffsetYMax", {"Height"});
    b.computedFrom("PayloadSize", {"Width", "Height", "PixelFormat"});
    b.computedFrom("PixelDynamicRangeMax", {"PixelFormat"});
    b.computedFrom("LUTValue", {"LUTIndex", "LUTValueAll"});
    // The resulting frame rate is polled instead: its callbacks fire when a poll sees it change. What the
    // auto functions move is polled too (they work at every frame while "Continuous"), and read afresh
    // when an auto function is set: "Once" settles at once while the camera is idle.
    std::vector<std::string> changing = {"AcquisitionStatus", "ExposureAuto", "ExposureTimeRaw", "GainAuto", "GainRaw"};
    b.computedFrom("ExposureTimeRaw", {"ExposureAuto"});
    b.computedFrom("GainRaw", {"GainAuto"});
    if (m.colour) {
        b.computedFrom(sfnc2 ? "BalanceRatio" : "BalanceRatioAbs", {"BalanceWhiteAuto"});
        b.computedFrom("ColorTransformationValue", {sfnc2 ? "LightSourcePreset" : "LightSourceSelector"});
        for (const char* name : {"BalanceWhiteAuto", sfnc2 ? "BalanceRatio" : "BalanceRatioAbs"})
            changing.push_back(name);
    }
    if (gige)
        for (const char* name : {"GevSCDCT", "GevCurrentIPAddress", "GevCurrentSubnetMask", "GevCurrentDefaultGateway"})
            changing.push_back(name);
    b.changesByItself(changing);
    b.finish();
}

std::shared_ptr<const CameraModel> makeModel(const std::string& name, const std::string& transport, bool colour,
                                             int sfncMajor, int width, int height)
{
    auto m = std::make_shared<CameraModel>();
    m->modelName = name;
    m->vendorName = "Velmar";
    m->transport = transport;
    m->deviceClass = transport == "gige" ? "VelmarGigE" : "VelmarUsb";
    m->sfncMajor = sfncMajor;
    m->sfncMinor = sfncMajor >= 2 ? 1 : 2;
    m->sensorWidth = width;
    m->sensorHeight = height;
    m->colour = colour;
    m->deviceVersion = name;
    m->firmwareVersion = transport == "gige" ? "V3.8-build 2461" : "V1.4.0-build 1187";
    m->productId = colour ? "B632" : "B631";
    ModelBuilder b(*m);
    addCommonFeatures(b, *m);
    return m;
}

const std::vector<std::shared_ptr<const CameraModel>>& catalogue()
{
    // The USB colour model's name starts with "qv" so that the colour plug-in serves it.
    static const std::vector<std::shared_ptr<const CameraModel>> models = {
        makeModel("qvUsb1920c", "usb", true, 2, 1920, 1200),
        makeModel("vxUsb1920m", "usb", false, 2, 1920, 1200),
        makeModel("gxGige1280c", "gige", true, 1, 1280, 960),
    };
    return models;
}

// Writes GenICam XML for a feature table.
class XmlWriter {
public:
    explicit XmlWriter(std::ostringstream& out) : m_out(out) {}

    void feature(const CameraModel& m, const FeatureDef& f)
    {
        const std::string reg = f.name + "_Reg";
        switch (f.kind) {
        case FeatureKind::Integer:
            open("Integer", f);
            m_out << "<pValue>" << reg << "</pValue><Min>" << f.min << "</Min>";
            if (!f.pMax.empty())
                m_out << "<pMax>" << f.pMax << "</pMax>";
            else
                m_out << "<Max>" << f.max << "</Max>";
            m_out << "<Inc>" << f.inc << "</Inc>";
            if (!f.unit.empty())
                m_out << "<Unit>" << f.unit << "</Unit>";
            m_out << "</Integer>\n";
            intReg(reg, f);
            break;
        case FeatureKind::Float:
            open("Float", f);
            m_out << "<pValue>" << reg << "</pValue><Min>" << f.fmin << "</Min><Max>" << f.fmax << "</Max>";
            if (!f.unit.empty())
                m_out << "<Unit>" << f.unit << "</Unit>";
            m_out << "<DisplayNotation>Fixed</DisplayNotation><DisplayPrecision>3</DisplayPrecision></Float>\n";
            m_out << "<FloatReg Name=\"" << reg << "\"><Visibility>Invisible</Visibility>";
            regBody(f);
            m_out << "<Endianess>LittleEndian</Endianess></FloatReg>\n";
            break;
        case FeatureKind::FloatOverRaw: {
            const FeatureDef* raw = m.find(f.raw);
            open("Converter", f);
            m_out << "<pAlias>" << f.raw << "</pAlias>";
            m_out << "<FormulaTo>FROM / " << f.factor << "</FormulaTo><FormulaFrom>TO * " << f.factor
                  << "</FormulaFrom><pValue>" << f.raw << "</pValue>";
            if (!f.unit.empty())
                m_out << "<Unit>" << f.unit << "</Unit>";
            m_out << "<Slope>Increasing</Slope></Converter>\n";
            (void)raw;
            break;
        }
        case FeatureKind::Enumeration:
            open("Enumeration", f);
            for (const auto& entry : f.entries)
                m_out << "<EnumEntry Name=\"EnumEntry_" << f.name << "_" << entry.first << "\"><Value>" << entry.second
                      << "</Value><Symbolic>" << entry.first << "</Symbolic></EnumEntry>";
            m_out << "<pValue>" << reg << "</pValue>";
            for (const std::string& s : f.selected)
                m_out << "<pSelected>" << s << "</pSelected>";
            m_out << "</Enumeration>\n";
            intReg(reg, f);
            break;
        case FeatureKind::Boolean:
            open("Boolean", f);
            m_out << "<pValue>" << reg << "</pValue><OnValue>1</OnValue><OffValue>0</OffValue></Boolean>\n";
            intReg(reg, f);
            break;
        case FeatureKind::Command:
            open("Command", f);
            m_out << "<pValue>" << reg << "</pValue><CommandValue>1</CommandValue></Command>\n";
            intReg(reg, f);
            break;
        case FeatureKind::String:
            m_out << "<StringReg Name=\"" << f.name << "\">";
            common(f);
            regBody(f);
            m_out << "</StringReg>\n";
            break;
        case FeatureKind::Register:
            m_out << "<Register Name=\"" << f.name << "\">";
            common(f);
            regBody(f);
            m_out << "</Register>\n";
            break;
        }
    }

private:
    void common(const FeatureDef& f)
    {
        if (!f.toolTip.empty())
            m_out << "<ToolTip>" << f.toolTip << "</ToolTip>";
        m_out << "<Visibility>" << f.visibility << "</Visibility>";
        if (f.lockedWhileGrabbing)
            m_out << "<pIsLocked>TLParamsLocked</pIsLocked>";
        if (f.access != "RW" && (f.kind == FeatureKind::Integer || f.kind == FeatureKind::Float))
            m_out << "<ImposedAccessMode>" << f.access << "</ImposedAccessMode>";
        if (f.pollingTime > 0 && f.kind != FeatureKind::String && f.kind != FeatureKind::Register)
            m_out << "<PollingTime>" << f.pollingTime << "</PollingTime>";
    }
    void open(const char* kind, const FeatureDef& f)
    {
        m_out << "<" << kind << " Name=\"" << f.name << "\">";
        common(f);
    }
    // The register decides how the value is cached; the feature reading it follows. What the camera computes
    // anew is invalidated at the register, so that no cached bytes outlive the setting they follow.
    void regBody(const FeatureDef& f)
    {
        m_out << "<Address>0x" << std::hex << f.address << std::dec << "</Address><Length>" << f.length
              << "</Length><AccessMode>" << f.access << "</AccessMode><pPort>Device</pPort>";
        for (const std::string& source : f.invalidators)
            m_out << "<pInvalidator>" << source << "</pInvalidator>";
        // A selected feature's register holds the value of the selector's current entry.
        if (!f.selector.empty())
            m_out << "<pInvalidator>" << f.selector << "</pInvalidator>";
        // Strings, raw registers and commands are always read from the camera.
        const bool readAlways = f.volatileValue || f.kind == FeatureKind::String || f.kind == FeatureKind::Register ||
                                f.kind == FeatureKind::Command;
        if (readAlways)
            m_out << "<Cachable>NoCache</Cachable>";
    }
    void intReg(const std::string& name, const FeatureDef& f)
    {
        m_out << "<IntReg Name=\"" << name << "\"><Visibility>Invisible</Visibility>";
        regBody(f);
        m_out << "<Sign>Signed</Sign><Endianess>LittleEndian</Endianess></IntReg>\n";
    }
    std::ostringstream& m_out;
};

void writeHeader(std::ostringstream& out, const std::string& model, const std::string& vendor)
{
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        << "<RegisterDescription ModelName=\"" << model << "\" VendorName=\"" << vendor
        << "\" StandardNameSpace=\"None\" SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\" "
           "SchemaSubMinorVersion=\"0\" MajorVersion=\"1\" MinorVersion=\"0\" SubMinorVersion=\"0\" "
           "ProductGuid=\"6C1B4C8E-0000-4000-8000-000000000001\" VersionGuid=\"6C1B4C8E-0000-4000-8000-000000000002\" "
           "xmlns=\"http://www.genicam.org/GenApi/Version_1_1\">\n";
}

// Writes categories in order of first use, under "Root".
void writeCategories(std::ostringstream& out, const std::vector<std::pair<std::string, std::string>>& features)
{
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::string>> members;
    for (const auto& f : features) {
        if (!members.count(f.second))
            order.push_back(f.second);
        members[f.second].push_back(f.first);
    }
    out << "<Category Name=\"Root\">";
    for (const std::string& c : order)
        out << "<pFeature>" << c << "</pFeature>";
    out << "</Category>\n";
    for (const std::string& c : order) {
        out << "<Category Name=\"" << c << "\">";
        for (const std::string& f : members[c])
            out << "<pFeature>" << f << "</pFeature>";
        out << "</Category>\n";
    }
}

std::string describe(const std::string& model, const std::string& vendor, const std::vector<FeatureDef>& features,
                     const CameraModel* owner)
{
    std::ostringstream out;
    writeHeader(out, model, vendor);
    std::vector<std::pair<std::string, std::string>> categorised;
    for (const FeatureDef& f : features)
        categorised.emplace_back(f.name, f.category);
    writeCategories(out, categorised);
    XmlWriter writer(out);
    CameraModel empty;
    for (const FeatureDef& f : features)
        writer.feature(owner ? *owner : empty, f);
    out << "<Port Name=\"Device\"><Visibility>Invisible</Visibility></Port>\n</RegisterDescription>\n";
    return out.str();
}

FeatureDef plainInteger(const std::string& name, const std::string& cat, int64_t address, int64_t min, int64_t max,
                        const char* access = "RW", const char* visibility = "Expert")
{
    FeatureDef f;
    f.name = name, f.category = cat, f.address = address, f.min = min, f.max = max, f.access = access;
    f.visibility = visibility;
    return f;
}

} // namespace

std::string CameraModel::description() const
{
    return describe(modelName, vendorName, features, this);
}

std::shared_ptr<const CameraModel> findModel(const std::string& modelName)
{
    for (const auto& m : catalogue())
        if (m->modelName == modelName)
            return m;
    return nullptr;
}

std::shared_ptr<const CameraModel> defaultModel(const std::string& transport)
{
    for (const auto& m : catalogue())
        if (m->transport == transport)
            return m;
    return nullptr;
}

std::vector<std::string> modelNames()
{
    std::vector<std::string> names;
    for (const auto& m : catalogue())
        names.push_back(m->modelName);
    return names;
}

namespace {

// What a setting does, for the feature tree's tips.
FeatureDef tip(FeatureDef f, const char* text)
{
    f.toolTip = text;
    return f;
}

// A setting the camera's transport fixes itself is read-only, and its tool tip says why.
void applyFixed(std::vector<FeatureDef>& features, const std::map<std::string, std::string>& fixed)
{
    for (FeatureDef& f : features) {
        const auto it = fixed.find(f.name);
        if (it == fixed.end())
            continue;
        f.access = "RO";
        f.toolTip += (f.toolTip.empty() ? "" : " ") + it->second;
    }
}

} // namespace

std::string transportLayerDescription(const std::string& deviceClass, int64_t heartbeatMinimum,
                                      const std::map<std::string, std::string>& fixed)
{
    std::vector<FeatureDef> f;
    if (deviceClass == "VelmarGigE") {
        f.push_back(tip(plainInteger("HeartbeatTimeout", "Communication", tlreg::HeartbeatTimeout,
                                     heartbeatMinimum > 0 ? heartbeatMinimum : 500, 600000),
                        "Time in ms after which the camera takes control away from a program that no longer beats. "
                        "A real GigE camera gets it in its own heartbeat register."));
        // That register is the camera's, which its own feature writes too.
        f.back().volatileValue = true;
        f.push_back(tip(plainInteger("ReadTimeout", "Communication", tlreg::ReadTimeout, 10, 10000),
                        "Time in ms the transport waits for the camera's answer to a read."));
        f.push_back(tip(plainInteger("WriteTimeout", "Communication", tlreg::WriteTimeout, 10, 10000),
                        "Time in ms the transport waits for the camera's answer to a write."));
        f.push_back(
            tip(plainInteger("CommandDuplicationEnable", "Communication", tlreg::CommandDuplicationEnable, 0, 1),
                "Sends every request twice, for links that lose packets."));
        f.push_back(tip(plainInteger("MaxRetryCountWrite", "Communication", tlreg::MaxRetryCountWrite, 0, 100),
                        "How often the transport sends a write again that the camera did not answer."));
    } else {
        f.push_back(tip(plainInteger("MaxTransferSize", "Communication", tlreg::MaxTransferSize, 4096, 4194304),
                        "Largest USB transfer in bytes."));
    }
    applyFixed(f, fixed);
    return describe("TransportLayer", "Velmar", f, nullptr);
}

std::string streamGrabberDescription(const std::string& deviceClass, bool packets,
                                     const std::map<std::string, std::string>& fixed)
{
    std::vector<FeatureDef> f;
    f.push_back(
        plainInteger("MaxBufferSize", "Root_Buffers", sgreg::MaxBufferSize, 1, int64_t(1) << 32, "RW", "Beginner"));
    f.push_back(plainInteger("MaxNumBuffer", "Root_Buffers", sgreg::MaxNumBuffer, 1, kMaxNumBuffer, "RW", "Beginner"));
    f.push_back(
        plainInteger("Statistic_Total_Buffer_Count", "Statistic", sgreg::TotalBufferCount, 0, int64_t(1) << 62, "RO"));
    f.push_back(plainInteger("Statistic_Failed_Buffer_Count", "Statistic", sgreg::FailedBufferCount, 0,
                             int64_t(1) << 62, "RO"));
    if (deviceClass == "VelmarGigE") {
        f.push_back(plainInteger("Statistic_Missed_Frame_Count", "Statistic", sgreg::MissedFrameCount, 0,
                                 int64_t(1) << 62, "RO"));
        FeatureDef probe;
        probe.name = "ProbePacketSize", probe.category = "Root_Buffers", probe.kind = FeatureKind::Command;
        probe.address = sgreg::ProbePacketSize, probe.visibility = "Expert";
        f.push_back(probe);
        if (packets) {
            f.push_back(plainInteger("PacketSize", "Root_Buffers", sgreg::PacketSize, 220, 16404, "RW", "Expert"));
            f.push_back(plainInteger("InterPacketDelay", "Root_Buffers", sgreg::InterPacketDelay, 0, 0xFFFFFFFF, "RW",
                                     "Expert"));
            f.push_back(plainInteger("Statistic_Resend_Packet_Count", "Statistic", sgreg::ResendPacketCount, 0,
                                     int64_t(1) << 62, "RO"));
            f.push_back(plainInteger("Statistic_Lost_Packet_Count", "Statistic", sgreg::LostPacketCount, 0,
                                     int64_t(1) << 62, "RO"));
        }
    } else {
        f.push_back(plainInteger("Statistic_Buffer_Underrun_Count", "Statistic", sgreg::BufferUnderrunCount, 0,
                                 int64_t(1) << 62, "RO"));
        f.push_back(tip(plainInteger("MaxTransferSize", "Root_Buffers", sgreg::MaxTransferSize, 1024, 4194304),
                        "Largest USB transfer of a frame in bytes."));
        f.push_back(tip(plainInteger("NumMaxQueuedUrbs", "Root_Buffers", sgreg::NumMaxQueuedUrbs, 1, 256),
                        "How many USB transfers of frames are queued at once."));
    }
    applyFixed(f, fixed);
    // The statistics count on while the grabber runs; the packet size and delay are the camera's
    // registers, which its own features write too; the buffer size follows the camera's payload.
    for (FeatureDef& feature : f)
        feature.volatileValue = feature.category == "Statistic" || feature.name == "PacketSize" ||
                                feature.name == "InterPacketDelay" || feature.name == "MaxBufferSize";
    return describe("StreamGrabber", "Velmar", f, nullptr);
}

} // namespace emulation
} // namespace Nimbo
