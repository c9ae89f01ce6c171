// Measuring cameras: counting grab results, sampling the counters, the owning list and its group
// operations.
#include "orbelt/BandwidthMeasuringCamera.h"

#include <nimbo/FeaturePersistence.h>
#include <nimbo/TlFactory.h>

#include <algorithm>
#include <mutex>

namespace {

using Guard = std::lock_guard<GenApi::CLock>;

GenApi::INode* nodeOf(GenApi::INodeMap& map, const char* name)
{
    return map.GetNode(name);
}

template <class Pointer>
bool readable(const Pointer& p)
{
    return p.IsValid() && GenApi::IsReadable(p->GetAccessMode());
}

// Best-effort teardown: a removed device may refuse its last steps, and a destructor must not throw.
template <class F>
void quietly(F f)
{
    try {
        f();
    } catch (...) {
    }
}

bool isGigEClass(const Nimbo::String_t& deviceClass)
{
    return deviceClass == "VelmarGigE";
}

CBandwidthMeasuringCamera* makeCamera(const Nimbo::String_t& deviceClass)
{
    if (isGigEClass(deviceClass))
        return new CBandwidthMeasuringCameraGigE;
    return new CBandwidthMeasuringCamera;
}

} // namespace

CBandwidthMeasuringCamera::CBandwidthMeasuringCamera()
{
    // The handlers are part of this object, so the SDK must never delete them.
    RegisterConfiguration(this, Nimbo::RegistrationMode_ReplaceAll, Nimbo::Cleanup_None);
    RegisterImageEventHandler(this, Nimbo::RegistrationMode_ReplaceAll, Nimbo::Cleanup_None);
    RegisterCameraEventHandler(this, "ResultingFrameRate", 0, Nimbo::RegistrationMode_ReplaceAll, Nimbo::Cleanup_None,
                               Nimbo::CameraEventAvailability_Optional);
    RegisterCameraEventHandler(this, "ResultingFrameRateAbs", 0, Nimbo::RegistrationMode_Append, Nimbo::Cleanup_None,
                               Nimbo::CameraEventAvailability_Optional);
}

CBandwidthMeasuringCamera::~CBandwidthMeasuringCamera()
{
    releaseDevice();
    // No SDK thread may reach the handlers once this object's members are gone.
    DeregisterImageEventHandler(this);
    DeregisterConfiguration(this);
    DeregisterCameraEventHandler(this, "ResultingFrameRate");
    DeregisterCameraEventHandler(this, "ResultingFrameRateAbs");
}

void CBandwidthMeasuringCamera::releaseDevice()
{
    quietly([this] { StopGrabbing(); });
    m_grabbing = false;
    quietly([this] { DestroyDevice(); });
}

void CBandwidthMeasuringCamera::OnImageGrabbed(Nimbo::CInstantCamera&, const Nimbo::CGrabResultPtr& grabResult)
{
    Guard lock(GetLock());
    const int64_t payload = grabResult->GetPayloadSize();
    m_fpsStatistic.addSample(static_cast<unsigned long long>(std::max<int64_t>(payload, 0)));
    ++m_imageCount;
    if (!grabResult->GrabSucceeded())
        ++m_errorCount;
}

// The SDK gives the configuration notices under its handler lock, which a removal notice takes inside
// the device's callback lock, and the camera takes that one inside the camera lock when it attaches a
// device. So the notices never take the camera lock: they write atomic fields only, and sample(), which
// runs under the camera lock, takes up what they left.
void CBandwidthMeasuringCamera::OnGrabStart(Nimbo::CInstantCamera&)
{
    m_grabStartMs = QDateTime::currentMSecsSinceEpoch();
    m_grabError = false;
    GenApi::CEnumerationPtr mode = nodeOf(GetNodeMap(), "AcquisitionMode");
    if (mode.IsValid() && GenApi::IsWritable(mode->GetAccessMode()))
        mode->FromString("Continuous", true);
}

void CBandwidthMeasuringCamera::OnGrabStarted(Nimbo::CInstantCamera&)
{
    if (IsGigE())
        return;
    GenApi::INodeMap& map = GetStreamGrabberNodeMap();
    GenApi::CIntegerPtr counter = nodeOf(map, "Statistic_Buffer_Underrun_Count");
    if (!counter.IsValid())
        counter = nodeOf(map, "Statistic_Missed_Frame_Count");
    // The SDK counts misses for the device's whole life: what it holds now was missed before this grab
    // and has been counted already. The next sample takes this base up.
    int64_t base = 0;
    try {
        if (readable(counter))
            base = counter->GetValue();
    } catch (...) {
        // Unreadable now: counted from zero, as a counter that went backwards would be.
    }
    m_missedFrameBase = base;
    m_missedFrameRebound = true;
    m_missedFrameNode = static_cast<GenApi::IInteger*>(counter);
}

void CBandwidthMeasuringCamera::OnGrabStop(Nimbo::CInstantCamera&)
{
    m_missedFrameNode = nullptr;
}

void CBandwidthMeasuringCamera::OnGrabError(Nimbo::CInstantCamera&, const char*)
{
    m_grabError = true;
}

void CBandwidthMeasuringCamera::OnCameraDeviceRemoved(Nimbo::CInstantCamera&)
{
    m_deviceRemoved = true;
}

void CBandwidthMeasuringCamera::OnCameraEvent(Nimbo::CInstantCamera&, intptr_t userProvidedId, GenApi::INode* node)
{
    if (userProvidedId != 0)
        return;
    try {
        GenApi::CFloatPtr rate = node;
        if (!readable(rate))
            return;
        // Without the camera lock: a node written inside a grab notice calls this back at once.
        if (rate->GetValue() != m_frameRateSent.load())
            m_frameRateChanged = true;
    } catch (...) {
        // A frame-rate notice is only a hint; the next sample reads the node again.
    }
}

SampleData CBandwidthMeasuringCamera::sample()
{
    Guard lock(GetLock());
    SampleData data;
    if (!m_deviceRemoved) {
        if (IsGrabbing()) {
            if (m_frameRateChanged) {
                // The older samples were taken at the old rate.
                m_fpsStatistic.removeAllButLastTwoSamples(nullptr);
                try {
                    m_frameRateSent = resultingFrameRate(*this);
                } catch (...) {
                }
                m_frameRateChanged = false;
            }
            m_linkThroughputLimit = linkThroughputLimit(*this);
        } else {
            m_frameRateSent = resultingFrameRate(*this);
            m_bandwidthSent = bandwidthSent(*this);
        }
    }
    const GenApi::CIntegerPtr missedFrames = m_missedFrameNode.load();
    if (m_missedFrameRebound.exchange(false))
        m_missedFrameLast = m_missedFrameBase;
    if (readable(missedFrames)) {
        const int64_t value = missedFrames->GetValue();
        // A counter that went backwards (device reset) only becomes the new base.
        const uint64_t delta = value > m_missedFrameLast ? static_cast<uint64_t>(value - m_missedFrameLast) : 0;
        m_missedFrameLast = value;
        m_imageCount += delta;
        m_errorCount += delta;
    }
    data.images = m_imageCount;
    data.errors = m_errorCount;
    unsigned long long received = 0;
    if (!m_fpsStatistic.computeResult(&data.fpsReceived, &received)) {
        data.fpsReceived = -1.0;
        received = 0;
    }
    data.bytesPerSecondReceived = received;
    data.fpsSent = m_frameRateSent;
    data.bytesPerSecondSent = m_bandwidthSent;
    data.deviceRemoved = m_deviceRemoved;
    data.grabError = m_grabError;
    const qint64 startMs = m_grabStartMs;
    if (startMs != NoGrabStart)
        data.grabStartTime = QDateTime::fromMSecsSinceEpoch(startMs);
    data.linkThroughputLimit = m_linkThroughputLimit;
    return data;
}

void CBandwidthMeasuringCamera::startGrab()
{
    // Refreshes the sent rates while not yet grabbing. Here and not in the grab-start notice, which
    // must not take the camera lock.
    sample();
    StartGrabbing(Nimbo::GrabStrategy_OneByOne, Nimbo::GrabLoop_ProvidedByInstantCamera);
    m_grabbing = true;
    m_frameRateChanged = true;
    Guard lock(GetLock());
    m_linkThroughputLimit = -1;
}

bool CBandwidthMeasuringCamera::canStartGrab()
{
    Guard lock(GetLock());
    if (IsCameraDeviceRemoved())
        return false;
    return GetStreamGrabberNodeMap().GetNode("MaxNumBuffer") != nullptr;
}

void CBandwidthMeasuringCamera::stopGrab()
{
    if (!m_grabbing)
        return;
    StopGrabbing();
    m_grabbing = false;
}

void CBandwidthMeasuringCamera::reset()
{
    Guard lock(GetLock());
    m_fpsStatistic.reset();
    m_imageCount = 0;
    m_errorCount = 0;
    const GenApi::CIntegerPtr missedFrames = m_missedFrameNode.load();
    m_missedFrameRebound = false;
    if (readable(missedFrames))
        m_missedFrameLast = missedFrames->GetValue();
    m_grabStartMs = IsGrabbing() ? QDateTime::currentMSecsSinceEpoch() : NoGrabStart;
    m_linkThroughputLimit = -1;
}

CBandwidthMeasuringCameraGigE::~CBandwidthMeasuringCameraGigE()
{
    // Closing here, not in the SDK camera's destructor, so that the settings are put back.
    releaseDevice();
}

void CBandwidthMeasuringCameraGigE::OnOpened(Nimbo::CInstantCamera&)
{
    try {
        GenApi::INodeMap& tl = GetTLNodeMap();
        Nimbo::CFeaturePersistence::SaveToString(m_savedTlSettings, &tl);
        const struct {
            const char* name;
            int64_t value;
        } settings[] = {
            {"HeartbeatTimeout", 10000},
            {"WriteTimeout", 50},
            {"CommandDuplicationEnable", 1},
            {"MaxRetryCountWrite", 60},
        };
        for (const auto& s : settings) {
            GenApi::CIntegerPtr node = tl.GetNode(s.name);
            if (node.IsValid())
                setIntegerNode(node, s.value, SetInteger_Exact);
        }
    } catch (...) {
        // A link that cannot be hardened is measured anyway.
    }
}

void CBandwidthMeasuringCameraGigE::OnClose(Nimbo::CInstantCamera&)
{
    if (m_savedTlSettings.empty())
        return;
    try {
        Nimbo::CFeaturePersistence::LoadFromString(m_savedTlSettings, &GetTLNodeMap(), true);
    } catch (...) {
        // The device goes anyway; its next opening starts from the transport layer's defaults.
    }
}

MeasuringCameraList::~MeasuringCameraList()
{
    for (CBandwidthMeasuringCamera* camera : cameras)
        delete camera;
}

CBandwidthMeasuringCamera* createMeasuringCamera(MeasuringCameraList& list, const Nimbo::CDeviceInfo& info)
{
    std::unique_ptr<CBandwidthMeasuringCamera> camera(makeCamera(info.GetDeviceClass()));
    camera->Attach(Nimbo::CTlFactory::GetInstance().CreateDevice(info), Nimbo::Cleanup_Delete);
    camera->SetCameraContext(1);
    camera->Open();
    list.cameras.push_back(camera.get());
    return camera.release();
}

CBandwidthMeasuringCamera* wrapPreopenedDevice(MeasuringCameraList& list, Nimbo::INimboDevice* device)
{
    std::unique_ptr<CBandwidthMeasuringCamera> camera(makeCamera(device->GetDeviceInfo().GetDeviceClass()));
    camera->Attach(device, Nimbo::Cleanup_None);
    camera->SetCameraContext(0);
    camera->Open();
    list.cameras.push_back(camera.get());
    return camera.release();
}

CBandwidthMeasuringCamera* findMeasuringCamera(const MeasuringCameraList& list, const Nimbo::CDeviceInfo& info)
{
    const Nimbo::String_t fullName = info.GetFullName();
    for (CBandwidthMeasuringCamera* camera : list.cameras)
        if (camera->GetDeviceInfo().GetFullName() == fullName)
            return camera;
    return nullptr;
}

void removeMeasuringCamera(MeasuringCameraList& list, CBandwidthMeasuringCamera* camera)
{
    auto it = std::find(list.cameras.begin(), list.cameras.end(), camera);
    if (it == list.cameras.end())
        return;
    if (camera->GetCameraContext() != 0)
        quietly([camera] { camera->Close(); });
    list.cameras.erase(it);
    delete camera;
}

SampleData sample(CBandwidthMeasuringCamera& camera)
{
    return camera.sample();
}

void startGrab(CBandwidthMeasuringCamera& camera)
{
    camera.startGrab();
}

bool canStartGrab(CBandwidthMeasuringCamera& camera)
{
    return camera.canStartGrab();
}

void startAll(MeasuringCameraList& list)
{
    list.measuring = 1;
    for (CBandwidthMeasuringCamera* camera : list.cameras) {
        if (camera->isMeasuringGrab())
            continue;
        try {
            if (camera->canStartGrab())
                camera->startGrab();
        } catch (...) {
            // This camera stays idle; the others still start.
        }
    }
}

void stopAll(MeasuringCameraList& list)
{
    list.measuring = 0;
    for (CBandwidthMeasuringCamera* camera : list.cameras)
        camera->stopGrab();
}

void resetAll(MeasuringCameraList& list)
{
    for (CBandwidthMeasuringCamera* camera : list.cameras)
        camera->reset();
}

void dropRemoved(MeasuringCameraList& list)
{
    auto& cameras = list.cameras;
    for (auto it = cameras.begin(); it != cameras.end();) {
        if ((*it)->IsCameraDeviceRemoved()) {
            delete *it;
            it = cameras.erase(it);
        } else {
            ++it;
        }
    }
}

double resultingFrameRate(Nimbo::CInstantCamera& camera)
{
    Guard lock(camera.GetLock());
    GenApi::INodeMap& map = camera.GetNodeMap();
    GenApi::CFloatPtr rate = map.GetNode("ResultingFrameRate");
    if (!readable(rate))
        rate = map.GetNode("ResultingFrameRateAbs");
    return readable(rate) ? rate->GetValue() : 0.0;
}

uint64_t bandwidthSent(Nimbo::CInstantCamera& camera)
{
    Guard lock(camera.GetLock());
    GenApi::CIntegerPtr payload = camera.GetNodeMap().GetNode("PayloadSize");
    if (!readable(payload))
        return 0;
    const double bytes = static_cast<double>(payload->GetValue()) * resultingFrameRate(camera);
    // Negative or absurd products are not rates; converting them would be undefined.
    if (!(bytes > 0.0))
        return 0;
    if (bytes >= 18446744073709551615.0)
        return UINT64_MAX;
    return static_cast<uint64_t>(bytes);
}

int64_t linkThroughputLimit(Nimbo::CInstantCamera& camera)
{
    Guard lock(camera.GetLock());
    GenApi::CIntegerPtr limit = camera.GetNodeMap().GetNode("DeviceLinkThroughputLimit");
    return readable(limit) ? limit->GetValue() : -1;
}

bool setIntegerNode(GenApi::IInteger* node, int64_t value, int mode)
{
    if (!node || !GenApi::IsWritable(node->GetAccessMode()))
        return false;
    const int64_t min = node->GetMin();
    const int64_t max = node->GetMax();
    const int64_t inc = std::max<int64_t>(node->GetInc(), 1);
    // 128-bit so that the distances of extreme values cannot overflow.
    const __int128 offset = static_cast<__int128>(value) - min;
    if (mode == SetInteger_Exact) {
        if (value < min || value > max || offset % inc != 0)
            return false;
        node->SetValue(value, true);
        return true;
    }
    __int128 corrected = value;
    if (value < min) {
        corrected = min;
    } else if (value > max) {
        corrected = max;
    }
    const __int128 remainder = (corrected - min) % inc;
    if (inc > 1 && remainder != 0) {
        const __int128 down = corrected - remainder;
        const __int128 up = down + inc;
        if (mode == SetInteger_RoundUp)
            corrected = up;
        else if (mode == SetInteger_Nearest)
            corrected = remainder * 2 >= inc ? up : down;
        else
            corrected = down;
        // A maximum off the grid: the grid value above it is out of range, the one below is not.
        if (corrected > max)
            corrected = down;
    }
    node->SetValue(static_cast<int64_t>(corrected), true);
    return true;
}
