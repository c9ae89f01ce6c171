// Register space, processing settings and frame thread of one emulated camera.
#include "EmulatedCamera.h"

#include "EventThread.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace Nimbo {
namespace emulation {
namespace {

using Clock = std::chrono::steady_clock;

// Colour matrices of the light-source presets, row by row.
const double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
const double kDaylight[9] = {1.5625, -0.4375, -0.125, -0.3125, 1.5, -0.1875, -0.0625, -0.5625, 1.625};
const double kTungsten[9] = {1.25, -0.125, -0.125, -0.375, 1.4375, -0.0625, -0.25, -0.875, 2.125};
const char* const kMatrixEntries[9] = {"Gain00", "Gain01", "Gain02", "Gain10", "Gain11",
                                       "Gain12", "Gain20", "Gain21", "Gain22"};

constexpr double kNominalExposure = 3500.0; // µs at which the scene has its designed brightness
constexpr double kReadoutPixelsPerSecond = 250e6;

template <typename T>
void copyOut(void* buffer, const T& value, int64_t offset, int64_t length)
{
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    std::memcpy(buffer, bytes + offset, static_cast<size_t>(length));
}

} // namespace

EmulatedCamera::EmulatedCamera(std::shared_ptr<const CameraModel> model, std::string serial, int index)
    : m_model(std::move(model)), m_serial(std::move(serial)), m_index(index)
{
    for (const FeatureDef& f : m_model->features) {
        std::vector<std::string> keys;
        if (!f.selector.empty()) {
            for (const auto& entry : m_model->find(f.selector)->entries)
                keys.push_back(f.name + "#" + std::to_string(entry.second));
        } else {
            keys.push_back(f.name);
        }
        for (const std::string& k : keys) {
            switch (f.kind) {
            case FeatureKind::Integer:
            case FeatureKind::Boolean:
            case FeatureKind::Command: m_ints[k] = f.defaultInt; break;
            case FeatureKind::Enumeration: m_ints[k] = f.entryValue(f.defaultString); break;
            case FeatureKind::Float: m_floats[k] = f.defaultFloat; break;
            case FeatureKind::String: m_strings[k] = f.defaultString; break;
            case FeatureKind::Register:
            case FeatureKind::FloatOverRaw: break;
            }
        }
    }
    m_strings[m_model->sfncMajor >= 2 ? "DeviceSerialNumber" : "DeviceID"] = m_serial;
    m_lut.resize(4096 * 4);
    for (uint32_t i = 0; i < 4096; ++i)
        std::memcpy(&m_lut[i * 4], &i, 4);
    if (m_model->colour)
        applyPresetLocked(m_model->sfncMajor >= 2 ? "Daylight5000K" : "Daylight");
}

EmulatedCamera::~EmulatedCamera()
{
    stopAcquisition();
}

std::string EmulatedCamera::key(const FeatureDef& f) const
{
    if (f.selector.empty())
        return f.name;
    auto it = m_ints.find(f.selector);
    return f.name + "#" + std::to_string(it == m_ints.end() ? 0 : it->second);
}

int64_t EmulatedCamera::intLocked(const std::string& name) const
{
    const FeatureDef* f = m_model->find(name);
    if (!f)
        return 0;
    const int64_t dynamic = dynamicInt(*f);
    if (dynamic != INT64_MIN)
        return dynamic;
    auto it = m_ints.find(key(*f));
    return it == m_ints.end() ? 0 : it->second;
}

double EmulatedCamera::floatLocked(const std::string& name) const
{
    const FeatureDef* f = m_model->find(name);
    if (!f)
        return 0.0;
    if (f->kind == FeatureKind::FloatOverRaw)
        return static_cast<double>(intLocked(f->raw)) * f->factor;
    if (name == "ResultingFrameRate" || name == "ResultingFrameRateAbs")
        return frameRateLocked();
    auto it = m_floats.find(key(*f));
    return it == m_floats.end() ? 0.0 : it->second;
}

std::string EmulatedCamera::enumLocked(const std::string& name) const
{
    const FeatureDef* f = m_model->find(name);
    if (!f)
        return std::string();
    const std::string* entry = f->entryName(intLocked(name));
    return entry ? *entry : std::string();
}

void EmulatedCamera::setIntLocked(const std::string& name, int64_t value)
{
    if (const FeatureDef* f = m_model->find(name))
        m_ints[key(*f)] = value;
}

void EmulatedCamera::setFloatLocked(const std::string& name, double value)
{
    if (const FeatureDef* f = m_model->find(name))
        m_floats[key(*f)] = value;
}

void EmulatedCamera::setEnumLocked(const std::string& name, const std::string& symbolic)
{
    if (const FeatureDef* f = m_model->find(name)) {
        bool found = false;
        const int64_t value = f->entryValue(symbolic, &found);
        if (found)
            m_ints[key(*f)] = value;
    }
}

// Values the camera computes rather than stores; INT64_MIN for stored ones.
int64_t EmulatedCamera::dynamicInt(const FeatureDef& f) const
{
    auto stored = [this](const char* name) {
        auto it = m_ints.find(name);
        return it == m_ints.end() ? int64_t(0) : it->second;
    };
    if (f.name == "WidthMax")
        return m_model->sensorWidth - stored("OffsetX");
    if (f.name == "HeightMax")
        return m_model->sensorHeight - stored("OffsetY");
    if (f.name == "OffsetXMax")
        return m_model->sensorWidth - stored("Width");
    if (f.name == "OffsetYMax")
        return m_model->sensorHeight - stored("Height");
    if (f.name == "PayloadSize")
        return static_cast<int64_t>(payloadLocked());
    if (f.name == "PixelDynamicRangeMax") {
        const PixelFormatLayout* layout = findPixelFormat(static_cast<uint32_t>(stored("PixelFormat")));
        return layout ? layout->dynamicRangeMax : 255;
    }
    if (f.name == "GevSCDCT")
        return std::min<int64_t>(125000000, static_cast<int64_t>(payloadLocked() * frameRateLocked()));
    if (f.name == "LUTValue") {
        const int64_t index = std::clamp<int64_t>(stored("LUTIndex"), 0, 4095);
        uint32_t v;
        std::memcpy(&v, &m_lut[static_cast<size_t>(index) * 4], 4);
        return v;
    }
    if (f.name == "AcquisitionStatus") {
        const FeatureDef* selector = m_model->find("AcquisitionStatusSelector");
        if (stored("AcquisitionStatusSelector") == selector->entryValue("FrameTriggerWait"))
            return m_awaitingTrigger ? 1 : 0;
        return m_acquiring ? 1 : 0;
    }
    if (f.kind == FeatureKind::Command)
        return 0; // commands complete at once
    return INT64_MIN;
}

int64_t EmulatedCamera::maxOf(const FeatureDef& f) const
{
    if (!f.pMax.empty())
        return intLocked(f.pMax);
    return f.max;
}

size_t EmulatedCamera::payloadLocked() const
{
    auto stored = [this](const char* name) {
        auto it = m_ints.find(name);
        return it == m_ints.end() ? int64_t(0) : it->second;
    };
    const PixelFormatLayout* layout = findPixelFormat(static_cast<uint32_t>(stored("PixelFormat")));
    return static_cast<size_t>(stored("Width")) * static_cast<size_t>(stored("Height")) *
           static_cast<size_t>(layout ? layout->bytesPerPixel : 1);
}

double EmulatedCamera::frameRateLocked() const
{
    auto stored = [this](const char* name) {
        auto it = m_ints.find(name);
        return it == m_ints.end() ? int64_t(0) : it->second;
    };
    const bool sfnc2 = m_model->sfncMajor >= 2;
    const double exposure = std::max<double>(1.0, static_cast<double>(stored("ExposureTimeRaw")));
    const double pixels = std::max<double>(1.0, static_cast<double>(stored("Width") * stored("Height")));
    double rate = std::min(1e6 / exposure, kReadoutPixelsPerSecond / pixels);
    if (stored("AcquisitionFrameRateEnable")) {
        auto it = m_floats.find(sfnc2 ? "AcquisitionFrameRate" : "AcquisitionFrameRateAbs");
        if (it != m_floats.end())
            rate = std::min(rate, it->second);
    }
    const double payload = std::max<double>(1.0, static_cast<double>(payloadLocked()));
    if (m_model->transport == "usb") {
        if (m_model->find("DeviceLinkThroughputLimitMode") && stored("DeviceLinkThroughputLimitMode") == 1)
            rate = std::min(rate, static_cast<double>(stored("DeviceLinkThroughputLimit")) / payload);
    } else {
        // One packet takes its bytes at 125 bytes/µs plus the inter-packet delay in 8 ns ticks.
        const double packet = static_cast<double>(std::max<int64_t>(220, stored("GevSCPSPacketSize")));
        const double packets = std::ceil(payload / (packet - 36));
        const double frameTime = packets * (packet / 125.0 + stored("GevSCPD") * 0.008) + stored("GevSCFTD") * 0.008;
        rate = std::min(rate, 1e6 / std::max(frameTime, 1.0));
    }
    return rate;
}

std::string EmulatedCamera::lastError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastError;
}

PortStatus EmulatedCamera::read(void* buffer, int64_t address, int64_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_plugged)
        return PortStatus::Removed;
    const FeatureDef* f = m_model->findByAddress(address, length);
    if (!f || !buffer)
        return PortStatus::BadAddress;
    const int64_t offset = address - f->address;
    std::memset(buffer, 0, static_cast<size_t>(length));
    switch (f->kind) {
    case FeatureKind::Integer:
    case FeatureKind::Enumeration:
    case FeatureKind::Boolean:
    case FeatureKind::Command:
        copyOut(buffer, intLocked(f->name), offset, std::min<int64_t>(length, 8 - offset));
        break;
    case FeatureKind::Float:
        copyOut(buffer, floatLocked(f->name), offset, std::min<int64_t>(length, 8 - offset));
        break;
    case FeatureKind::String: {
        const std::string& s = m_strings[key(*f)];
        if (offset < static_cast<int64_t>(s.size()))
            std::memcpy(buffer, s.data() + offset, std::min<size_t>(static_cast<size_t>(length), s.size() - offset));
        break;
    }
    case FeatureKind::Register:
        std::memcpy(buffer, &m_lut[static_cast<size_t>(offset)], static_cast<size_t>(length));
        break;
    case FeatureKind::FloatOverRaw: return PortStatus::BadAddress;
    }
    return PortStatus::Ok;
}

PortStatus EmulatedCamera::write(const void* buffer, int64_t address, int64_t length)
{
    Action action = Action::None;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_plugged)
            return PortStatus::Removed;
        const FeatureDef* f = m_model->findByAddress(address, length);
        if (!f || !buffer)
            return PortStatus::BadAddress;
        if (!writeLocked(*f, buffer, address - f->address, length))
            return PortStatus::Rejected;
        ++m_settingsGeneration;
        if (f->kind == FeatureKind::Command) {
            if (f->name == "AcquisitionStart")
                action = Action::Start;
            else if (f->name == "AcquisitionStop")
                action = Action::Stop;
        }
    }
    if (action == Action::Start)
        startAcquisition();
    else if (action == Action::Stop)
        stopAcquisition();
    m_wake.notify_all();
    return PortStatus::Ok;
}

bool EmulatedCamera::writeLocked(const FeatureDef& f, const void* buffer, int64_t offset, int64_t length)
{
    auto reject = [this, &f](const std::string& why) {
        m_lastError = "Writing " + f.name + " failed: " + why;
        return false;
    };
    if (f.access == "RO")
        return reject("the feature is read-only.");
    if (f.lockedWhileGrabbing && intLocked("TLParamsLocked") == 1)
        return reject("the feature is locked while the stream parameters are locked.");
    if (f.kind == FeatureKind::Register) {
        std::memcpy(&m_lut[static_cast<size_t>(offset)], buffer, static_cast<size_t>(length));
        return true;
    }
    if (f.kind == FeatureKind::String) {
        std::string text(static_cast<const char*>(buffer), static_cast<size_t>(length));
        text = text.substr(0, text.find('\0'));
        std::string& s = m_strings[key(f)];
        s = s.substr(0, static_cast<size_t>(offset)) + text;
        return true;
    }
    if (offset != 0 || length != 8)
        return reject("partial writes are not supported.");
    if (f.kind == FeatureKind::Float) {
        double value;
        std::memcpy(&value, buffer, 8);
        if (!(value >= f.fmin && value <= f.fmax))
            return reject("the value is out of range.");
        m_floats[key(f)] = value;
        return true;
    }
    int64_t value;
    std::memcpy(&value, buffer, 8);
    switch (f.kind) {
    case FeatureKind::Integer:
        if (value < f.min || value > maxOf(f) || (f.inc > 1 && (value - f.min) % f.inc != 0))
            return reject("the value is out of range.");
        if (f.name == "LUTValue") {
            const int64_t index = std::clamp<int64_t>(intLocked("LUTIndex"), 0, 4095);
            const uint32_t v = static_cast<uint32_t>(value);
            std::memcpy(&m_lut[static_cast<size_t>(index) * 4], &v, 4);
            return true;
        }
        break;
    case FeatureKind::Boolean:
        if (value != 0 && value != 1)
            return reject("the value is not a boolean.");
        break;
    case FeatureKind::Enumeration:
        if (!f.entryName(value))
            return reject("the value is no entry of the enumeration.");
        break;
    case FeatureKind::Command:
        if (value != 1)
            return reject("a command takes the value 1.");
        executeLocked(f.name);
        return true;
    default: break;
    }
    m_ints[key(f)] = value;
    if (f.name == "LightSourcePreset" || f.name == "LightSourceSelector")
        applyPresetLocked(*f.entryName(value));
    if ((f.name == "ExposureAuto" || f.name == "GainAuto" || f.name == "BalanceWhiteAuto") && !m_acquiring)
        autoOnceLocked(false);
    return true;
}

void EmulatedCamera::executeLocked(const std::string& command)
{
    if (command == "TriggerSoftware") {
        if (enumLocked("TriggerMode") == "On" && enumLocked("TriggerSource") == "Software") {
            ++m_triggers;
            m_awaitingTrigger = false;
        }
    }
}

void EmulatedCamera::applyPresetLocked(const std::string& preset)
{
    if (!m_model->find("ColorTransformationValueSelector"))
        return;
    const double* matrix = kIdentity;
    if (preset == "Daylight5000K" || preset == "Daylight")
        matrix = kDaylight;
    else if (preset == "Tungsten2800K" || preset == "Tungsten")
        matrix = kTungsten;
    else if (preset == "Custom")
        return; // keeps the user's matrix
    const FeatureDef* selector = m_model->find("ColorTransformationValueSelector");
    for (int i = 0; i < 9; ++i)
        m_floats["ColorTransformationValue#" + std::to_string(selector->entryValue(kMatrixEntries[i]))] = matrix[i];
}

// Auto functions: "Once" settles at once (or at the next frame while acquiring) and returns to "Off";
// "Continuous" keeps settling at every frame.
void EmulatedCamera::autoOnceLocked(bool fromFrameThread)
{
    const bool sfnc2 = m_model->sfncMajor >= 2;
    const std::string exposureAuto = enumLocked("ExposureAuto");
    if (exposureAuto == "Once" || (fromFrameThread && exposureAuto == "Continuous")) {
        double target = sfnc2 ? floatLocked("AutoTargetBrightness") / 0.3 : intLocked("AutoTargetValue") / 50.0;
        const double gain = std::pow(10.0, floatLocked(sfnc2 ? "Gain" : "GainAbs") / 20.0);
        double exposure = kNominalExposure * target / gain;
        const double lower = floatLocked(sfnc2 ? "AutoExposureTimeLowerLimit" : "AutoExposureTimeAbsLowerLimit");
        const double upper = floatLocked(sfnc2 ? "AutoExposureTimeUpperLimit" : "AutoExposureTimeAbsUpperLimit");
        exposure = std::clamp(exposure, std::max(20.0, lower), std::max(lower, upper));
        setIntLocked("ExposureTimeRaw", std::clamp<int64_t>(std::llround(exposure), 20, 10000000));
        if (exposureAuto == "Once")
            setEnumLocked("ExposureAuto", "Off");
    }
    const std::string gainAuto = enumLocked("GainAuto");
    if (gainAuto == "Once" || (fromFrameThread && gainAuto == "Continuous")) {
        // The profile minimises gain: the lower limit.
        const int64_t raw =
            sfnc2 ? std::llround(floatLocked("AutoGainLowerLimit") / 0.1) : intLocked("AutoGainRawLowerLimit");
        setIntLocked("GainRaw", std::clamp<int64_t>(raw, 0, 240));
        if (gainAuto == "Once")
            setEnumLocked("GainAuto", "Off");
    }
    const std::string balanceAuto = enumLocked("BalanceWhiteAuto");
    if (balanceAuto == "Once" || (fromFrameThread && balanceAuto == "Continuous")) {
        const FeatureDef* selector = m_model->find("BalanceRatioSelector");
        const std::string ratio = sfnc2 ? "BalanceRatio" : "BalanceRatioAbs";
        for (const auto& entry : selector->entries)
            m_floats[ratio + "#" + std::to_string(entry.second)] = 1.0;
        if (balanceAuto == "Once")
            setEnumLocked("BalanceWhiteAuto", "Off");
    }
}

bool EmulatedCamera::isPlugged() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_plugged;
}

bool EmulatedCamera::isInUseElsewhere() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inUseElsewhere;
}

bool EmulatedCamera::isOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open;
}

bool EmulatedCamera::tryOpen(std::string* why)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const char* reason = !m_plugged         ? "The device has been removed."
                         : m_inUseElsewhere ? "The device is controlled by another application."
                         : m_open           ? "The device is already open."
                                            : nullptr;
    if (reason) {
        if (why)
            *why = reason;
        return false;
    }
    m_open = true;
    return true;
}

void EmulatedCamera::close()
{
    stopAcquisition();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open = false;
    m_ints["TLParamsLocked"] = 0;
}

void EmulatedCamera::setInUseElsewhere(bool inUse)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_inUseElsewhere = inUse;
}

bool EmulatedCamera::unplug()
{
    std::shared_ptr<FrameSink> sink;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_plugged)
            return false;
        m_plugged = false;
        sink = m_sink;
    }
    stopAcquisition();
    if (sink)
        sink->cameraRemoved();
    std::weak_ptr<EmulatedCamera> weak = shared_from_this();
    EventThread::instance().post([weak] {
        if (auto camera = weak.lock())
            camera->notifyRemoval();
    });
    return true;
}

bool EmulatedCamera::replug()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_plugged)
        return false;
    // A replugged camera starts afresh: nobody holds it open, nothing is locked.
    m_plugged = true;
    m_open = false;
    m_ints["TLParamsLocked"] = 0;
    m_sink.reset();
    return true;
}

void EmulatedCamera::injectFailedFrames(unsigned count, uint32_t errorCode)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failedToInject += count;
    m_injectedError = errorCode;
}

void EmulatedCamera::fireLineEdge(const std::string& line, bool rising)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_plugged || enumLocked("TriggerMode") != "On" || enumLocked("TriggerSource") != line)
            return;
        if ((enumLocked("TriggerActivation") == "RisingEdge") != rising)
            return;
        ++m_triggers;
        m_awaitingTrigger = false;
    }
    m_wake.notify_all();
}

void EmulatedCamera::setParamsLocked(bool locked)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ints["TLParamsLocked"] = locked ? 1 : 0;
}

void EmulatedCamera::setSink(std::shared_ptr<FrameSink> sink)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sink = std::move(sink);
}

void EmulatedCamera::detachSink(const FrameSink* sink)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_sink.get() == sink)
        m_sink.reset();
}

// In the event thread. A listener removed meanwhile (its device destroyed by an earlier listener) is
// not called.
void EmulatedCamera::notifyRemoval()
{
    std::unique_lock<std::mutex> lock(m_listenerMutex);
    std::vector<int> ids;
    for (const auto& listener : m_removalListeners)
        ids.push_back(listener.first);
    for (const int id : ids) {
        auto it = m_removalListeners.find(id);
        if (it == m_removalListeners.end())
            continue;
        const RemovalListener listener = it->second;
        m_runningListener = id;
        m_listenerThread = std::this_thread::get_id();
        lock.unlock();
        listener();
        lock.lock();
        m_runningListener = 0;
        m_listenerThread = std::thread::id();
        m_listenerDone.notify_all();
    }
}

int EmulatedCamera::addRemovalListener(RemovalListener listener)
{
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    const int id = m_nextListener++;
    m_removalListeners[id] = std::move(listener);
    return id;
}

void EmulatedCamera::removeRemovalListener(int id)
{
    std::unique_lock<std::mutex> lock(m_listenerMutex);
    m_removalListeners.erase(id);
    // The listener may be removed from within its own call; from elsewhere, its owner goes only once
    // the call is through.
    if (m_listenerThread != std::this_thread::get_id())
        m_listenerDone.wait(lock, [&] { return m_runningListener != id; });
}

int64_t EmulatedCamera::intValue(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return intLocked(name);
}

void EmulatedCamera::setIntValue(const std::string& name, int64_t value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    setIntLocked(name, value);
}

double EmulatedCamera::floatValue(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return floatLocked(name);
}

size_t EmulatedCamera::payloadSize() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return payloadLocked();
}

double EmulatedCamera::resultingFrameRate() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return frameRateLocked();
}

void EmulatedCamera::startAcquisition()
{
    std::lock_guard<std::mutex> threadLock(m_threadMutex);
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_acquiring || !m_plugged)
        return;
    if (m_frameThread.joinable()) {
        // A single-frame acquisition that ended by itself.
        lock.unlock();
        m_frameThread.join();
        lock.lock();
    }
    const std::string mode = enumLocked("AcquisitionMode");
    m_framesLeft = mode == "SingleFrame" ? 1 : mode == "MultiFrame" ? intLocked("AcquisitionFrameCount") : -1;
    m_acquiring = true;
    m_stopFrames = false;
    m_triggers = 0;
    m_frameThread = std::thread([this] { frameLoop(); });
}

void EmulatedCamera::stopAcquisition()
{
    std::lock_guard<std::mutex> threadLock(m_threadMutex);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopFrames = true;
    }
    m_wake.notify_all();
    if (m_frameThread.joinable() && m_frameThread.get_id() != std::this_thread::get_id())
        m_frameThread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_acquiring = false;
}

bool EmulatedCamera::triggeredLocked() const
{
    // Only the frame-start trigger gates frames; the other selector entries are stored only.
    auto it = m_ints.find("TriggerMode#" + std::to_string(m_model->find("TriggerSelector")->entryValue("FrameStart")));
    return it != m_ints.end() && it->second == 1;
}

PaintSettings EmulatedCamera::paintSettingsLocked() const
{
    const bool sfnc2 = m_model->sfncMajor >= 2;
    PaintSettings s;
    s.pixelFormat = static_cast<uint32_t>(intLocked("PixelFormat"));
    s.sensorWidth = m_model->sensorWidth;
    s.sensorHeight = m_model->sensorHeight;
    s.colourSensor = m_model->colour;
    s.testPattern = sfnc2 ? enumLocked("TestPattern") != "Off" : enumLocked("TestImageSelector") != "Off";
    s.brightness = static_cast<double>(intLocked("ExposureTimeRaw")) / kNominalExposure *
                   std::pow(10.0, floatLocked(sfnc2 ? "Gain" : "GainAbs") / 20.0);
    if (m_model->colour) {
        const FeatureDef* selector = m_model->find("BalanceRatioSelector");
        const std::string ratio = sfnc2 ? "BalanceRatio" : "BalanceRatioAbs";
        const char* const channels[3] = {"Red", "Green", "Blue"};
        for (int c = 0; c < 3; ++c) {
            auto it = m_floats.find(ratio + "#" + std::to_string(selector->entryValue(channels[c])));
            s.whiteBalance[c] = it == m_floats.end() ? 1.0 : it->second;
        }
        const FeatureDef* matrixSelector = m_model->find("ColorTransformationValueSelector");
        s.colourTransformation = true;
        for (int i = 0; i < 9; ++i) {
            auto it = m_floats.find("ColorTransformationValue#" +
                                    std::to_string(matrixSelector->entryValue(kMatrixEntries[i])));
            s.matrix[i] = it == m_floats.end() ? kIdentity[i] : it->second;
        }
    }
    s.lutEnable = intLocked("LUTEnable") == 1;
    if (s.lutEnable) {
        s.lut.resize(4096);
        std::memcpy(s.lut.data(), m_lut.data(), m_lut.size());
    }
    if (sfnc2) {
        s.gammaEnable = true;
        s.gamma = floatLocked("Gamma");
    } else {
        s.gammaEnable = intLocked("GammaEnable") == 1;
        s.gamma = enumLocked("GammaSelector") == "sRGB" ? 2.2 : floatLocked("Gamma");
    }
    return s;
}

void EmulatedCamera::frameLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    Clock::time_point deadline = Clock::now();
    while (!m_stopFrames) {
        const double rate = std::max(frameRateLocked(), 0.01);
        const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
        if (triggeredLocked()) {
            m_awaitingTrigger = m_triggers == 0;
            m_wake.wait(lock, [this] { return m_stopFrames || m_triggers > 0 || !triggeredLocked(); });
            m_awaitingTrigger = false;
            if (m_stopFrames)
                break;
            if (m_triggers == 0)
                continue; // trigger mode was switched off
            // A trigger never makes frames faster than the camera can deliver them.
            if (Clock::now() < deadline && m_wake.wait_until(lock, deadline, [this] { return m_stopFrames; }))
                break;
            --m_triggers;
        } else {
            if (m_wake.wait_until(lock, deadline, [this] { return m_stopFrames; }))
                break;
            if (triggeredLocked())
                continue;
        }
        autoOnceLocked(true);
        std::shared_ptr<FrameSink> sink = m_sink;
        FrameInfo info;
        info.pixelType = static_cast<uint32_t>(intLocked("PixelFormat"));
        info.width = static_cast<int>(intLocked("Width"));
        info.height = static_cast<int>(intLocked("Height"));
        info.offsetX = static_cast<int>(intLocked("OffsetX"));
        info.offsetY = static_cast<int>(intLocked("OffsetY"));
        info.blockId = ++m_blockId;
        if (m_failedToInject > 0) {
            --m_failedToInject;
            info.failed = true;
            info.errorCode = m_injectedError;
            info.errorText = "The image was not transferred completely.";
        }
        // The last frame of a single or multi-frame acquisition ends it before it is delivered, so
        // that a start issued as soon as the frame arrives begins a new acquisition.
        const bool last = m_framesLeft > 0 && --m_framesLeft == 0;
        if (last)
            m_acquiring = false;
        PaintSettings settings;
        const bool reconfigure = m_paintedGeneration != m_settingsGeneration;
        if (reconfigure) {
            settings = paintSettingsLocked();
            m_paintedGeneration = m_settingsGeneration;
        }
        lock.unlock();

        if (reconfigure)
            m_painter.configure(settings);
        if (sink) {
            FrameBuffer buffer;
            if (sink->takeBuffer(buffer)) {
                info.timeStamp = static_cast<uint64_t>(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
                if (!info.failed) {
                    info.payloadSize = m_painter.paint(buffer.data, buffer.size, info.width, info.height, info.offsetX,
                                                       info.offsetY, info.blockId);
                    if (info.payloadSize == 0) {
                        info.failed = true;
                        info.errorCode = 0xE1000013;
                        info.errorText = "The buffer is too small for the image.";
                    }
                }
                sink->deliver(buffer, info);
            } else {
                sink->framesMissed(1);
            }
        }
        m_framesPainted.fetch_add(1);

        lock.lock();
        if (last)
            return;
        deadline += period;
        const auto now = Clock::now();
        if (deadline + period < now)
            deadline = now; // after a stall, go on at the rate instead of catching up in a burst
    }
    m_acquiring = false;
}

} // namespace emulation
} // namespace Nimbo
