// AravisCamera, the device backend over one ArvDevice: register access, the camera's description with
// the GigE Vision bootstrap registers, opening and control, the stream grabber's registers, removal on
// lost control.
#include "AravisPrivate.h"

#include "../emulation/CameraModel.h"
#include "../emulation/EventThread.h"
#include "Gvcp.h"
#include "PacketSizeProbe.h"

#include <GenICam/GenericException.h>

#include <algorithm>
#include <cstring>

namespace Nimbo {
namespace aravis {

namespace {

// One 32-bit big-endian register of the GigE Vision bootstrap block; `bits` makes it a masked
// register ("31" for one bit, "31-16" for a field, in the block's MSB-0 numbering).
std::string bootstrapRegister(const char* name, uint32_t address, const char* access, const char* visibility,
                              const std::string& bits = std::string())
{
    char head[160];
    std::snprintf(head, sizeof head,
                  "<Address>0x%X</Address><Length>4</Length><AccessMode>%s</AccessMode><pPort>Device</pPort>", address,
                  access);
    const std::string kind = bits.empty() ? "IntReg" : "MaskedIntReg";
    std::string mask;
    if (!bits.empty()) {
        const auto dash = bits.find('-');
        mask = dash == std::string::npos
                   ? "<Bit>" + bits + "</Bit>"
                   : "<LSB>" + bits.substr(0, dash) + "</LSB><MSB>" + bits.substr(dash + 1) + "</MSB>";
    }
    return "  <" + kind + " Name=\"" + name + "\" NameSpace=\"Standard\" MergePriority=\"-1\">\n    <Visibility>" +
           visibility + "</Visibility>\n    " + head + "\n    <Cachable>NoCache</Cachable>" + mask +
           "<Sign>Unsigned</Sign><Endianess>BigEndian</Endianess>\n  </" + kind + ">\n";
}

} // namespace

std::string gigeBootstrapDescription()
{
    struct Register {
        const char* name;
        uint32_t address;
        const char* access;
        const char* visibility;
        const char* bits;
    };
    static const Register registers[] = {
        {"GevSCPSPacketSize", gvbs::StreamChannelPacketSize, "RW", "Expert", "31-16"},
        {"GevSCPD", gvbs::StreamChannelPacketDelay, "RW", "Expert", ""},
        {"GevHeartbeatTimeout", gvbs::HeartbeatTimeout, "RW", "Guru", ""},
        {"GevCurrentIPAddress", gvbs::CurrentIp, "RO", "Expert", ""},
        {"GevCurrentSubnetMask", gvbs::CurrentSubnetMask, "RO", "Expert", ""},
        {"GevCurrentDefaultGateway", gvbs::CurrentGateway, "RO", "Expert", ""},
        {"GevCurrentIPConfigurationPersistentIP", gvbs::IpConfigCurrent, "RW", "Expert", "29"},
        {"GevCurrentIPConfigurationDHCP", gvbs::IpConfigCurrent, "RW", "Expert", "30"},
        {"GevPersistentIPAddress", gvbs::PersistentIp, "RW", "Expert", ""},
        {"GevPersistentSubnetMask", gvbs::PersistentSubnetMask, "RW", "Expert", ""},
        {"GevPersistentDefaultGateway", gvbs::PersistentGateway, "RW", "Expert", ""},
    };
    std::string features, nodes;
    for (const Register& r : registers) {
        features += std::string("    <pFeature>") + r.name + "</pFeature>\n";
        const std::string bits = r.bits;
        if (bits.empty() || bits.find('-') != std::string::npos) {
            nodes += bootstrapRegister(r.name, r.address, r.access, r.visibility, bits);
            continue;
        }
        // A flag is a Boolean feature over its bit, as the standard names it.
        const std::string reg = std::string(r.name) + "Reg";
        nodes += bootstrapRegister(reg.c_str(), r.address, r.access, "Invisible", bits);
        nodes += std::string("  <Boolean Name=\"") + r.name +
                 "\" NameSpace=\"Standard\" MergePriority=\"-1\">\n    <Visibility>" + r.visibility +
                 "</Visibility>\n    <pValue>" + reg +
                 "</pValue><OnValue>1</OnValue><OffValue>0</OffValue>\n  </Boolean>\n";
    }
    return R"(<?xml version="1.0" encoding="utf-8"?>
<RegisterDescription ModelName="GigEVisionBootstrap" VendorName="Velmar" StandardNameSpace="GEV"
    SchemaMajorVersion="1" SchemaMinorVersion="1" SchemaSubMinorVersion="0" MajorVersion="1" MinorVersion="0"
    SubMinorVersion="0" ToolTip="GigE Vision bootstrap registers" ProductGuid="00000000-0000-0000-0000-000000000000"
    VersionGuid="00000000-0000-0000-0000-000000000000">
  <Category Name="Root" NameSpace="Standard" MergePriority="-1">
    <pFeature>TransportLayerControl</pFeature>
  </Category>
  <Category Name="TransportLayerControl" NameSpace="Standard" MergePriority="-1">
)" + features +
           "  </Category>\n" + nodes + R"(  <Port Name="Device" NameSpace="Standard" MergePriority="-1"/>
</RegisterDescription>
)";
}

emulation::EventThread& releaseThread()
{
    // Never destroyed: devices are destroyed at exit too (the factory's exit hook), after the static
    // objects made later than the hook have gone, and a release still waiting for its camera must not
    // hold the exit up.
    static auto* thread = new emulation::EventThread;
    return *thread;
}

namespace {

// The releases handed to the release thread and not yet ended, by camera (see AravisCamera::releaseKey).
// Never destroyed, as the release thread.
struct PendingReleases {
    std::mutex mutex;
    std::condition_variable ended;
    std::map<std::string, int> count; // under mutex
};

PendingReleases& pendingReleases()
{
    static auto* pending = new PendingReleases;
    return *pending;
}

} // namespace

void RemovalState::tearDown()
{
    {
        std::lock_guard<std::mutex> lock(stopStreamMutex);
        if (stopStream)
            stopStream();
    }
    std::shared_ptr<FrameSink> s;
    {
        std::lock_guard<std::mutex> lock(sinkMutex);
        s = sink;
    }
    if (s)
        s->cameraRemoved();
    std::lock_guard<std::recursive_mutex> lock(listenerMutex);
    const auto called = listeners;
    for (const auto& l : called)
        if (listeners.count(l.first) && l.second)
            l.second();
}

void onControlLost(ArvDevice*, gpointer data)
{
    auto* handed = static_cast<ControlLostData*>(data);
    if (!handed->ready.load())
        return;
    auto weak = handed->state;
    auto state = weak.lock();
    if (!state || !state->markRemoved("A camera stopped answering: its control channel is lost."))
        return;
    emulation::EventThread::instance().post([weak] {
        if (auto s = weak.lock())
            s->tearDown();
    });
}

void deleteWeakState(gpointer data, GClosure*)
{
    delete static_cast<ControlLostData*>(data);
}

AravisCamera::AravisCamera(const KnownDevice& known) : m_known(known), m_state(std::make_shared<RemovalState>())
{
    m_state->stopStream = [this] { stopStream(); };
}

AravisCamera::~AravisCamera()
{
    {
        // Waits for a removal that is stopping the stream right now.
        std::lock_guard<std::mutex> lock(m_state->stopStreamMutex);
        m_state->stopStream = nullptr;
    }
    stopStream();
    ArvDevice* device;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        device = takeDeviceLocked();
    }
    // Aravis gives the control channel back when it destroys the device.
    if (device)
        letGo(device);
}

void AravisCamera::letGo(gpointer object) const
{
    if (!beyondReach()) {
        g_object_unref(object);
        return;
    }
    releaseLater([object] { g_object_unref(object); });
}

std::string AravisCamera::releaseKey() const
{
    return m_known.gige ? "gige:" + m_known.ip : "usb:" + m_known.deviceId;
}

void AravisCamera::releaseLater(std::function<void()> release) const
{
    PendingReleases& pending = pendingReleases();
    const std::string key = releaseKey();
    {
        std::lock_guard<std::mutex> lock(pending.mutex);
        ++pending.count[key];
    }
    releaseThread().post([key, release = std::move(release)] {
        release();
        PendingReleases& pending = pendingReleases();
        {
            std::lock_guard<std::mutex> lock(pending.mutex);
            if (--pending.count[key] == 0)
                pending.count.erase(key);
        }
        pending.ended.notify_all();
    });
}

bool AravisCamera::releasesPending() const
{
    PendingReleases& pending = pendingReleases();
    std::lock_guard<std::mutex> lock(pending.mutex);
    return pending.count.count(releaseKey()) != 0;
}

bool AravisCamera::awaitReleases(std::chrono::milliseconds bound) const
{
    PendingReleases& pending = pendingReleases();
    const std::string key = releaseKey();
    std::unique_lock<std::mutex> lock(pending.mutex);
    return pending.ended.wait_for(lock, bound, [&] { return !pending.count.count(key); });
}

GenICam::gcstring AravisCamera::description()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ensureDeviceLocked();
    size_t size = 0;
    const char* xml = arv_device_get_genicam_xml(m_device, &size);
    if (!xml || size == 0)
        GENICAM_THROW(GenICam::RuntimeException, "The camera %s gave no GenICam description.", label().c_str());
    return GenICam::gcstring(std::string(xml, size).c_str());
}

GenICam::gcstring_vector AravisCamera::transportDescriptions()
{
    GenICam::gcstring_vector v;
    if (m_known.gige)
        v.push_back(gigeBootstrapDescription().c_str());
    return v;
}

void AravisCamera::attachNodeMap(GenApi::INodeMap* nodeMap)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nodeMap = nodeMap;
}

namespace {
// GigE Vision moves whole 32-bit words at word addresses: the words a byte range falls in.
struct WordSpan {
    int64_t first;
    int64_t end;
    bool aligned;
    WordSpan(int64_t address, int64_t length)
        : first(address & ~int64_t(3)), end((address + length + 3) & ~int64_t(3)),
          aligned(first == address && end == address + length)
    {
    }
    size_t size() const { return static_cast<size_t>(end - first); }
};
} // namespace

template <typename Access>
PortStatus AravisCamera::accessMemory(const char* what, int64_t address, int64_t length, Access access)
{
    if (m_state->removed)
        return PortStatus::Removed;
    if (!answering()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastError = "Camera " + label() + " does not answer: the " + what + " is not tried until it answers again.";
        return PortStatus::Rejected;
    }
    ArvDevice* device = deviceRef();
    if (!device)
        return PortStatus::Removed;
    GError* error = nullptr;
    const bool ok = access(device, WordSpan(address, length), &error);
    g_object_unref(device);
    return finish(ok, error, what, address, length);
}

PortStatus AravisCamera::read(void* buffer, int64_t address, int64_t length)
{
    return accessMemory("read", address, length, [&](ArvDevice* device, const WordSpan& span, GError** error) {
        if (span.aligned)
            return bool(arv_device_read_memory(device, static_cast<guint64>(address), static_cast<guint32>(length),
                                               buffer, error));
        std::vector<uint8_t> words(span.size());
        if (!arv_device_read_memory(device, static_cast<guint64>(span.first), static_cast<guint32>(words.size()),
                                    words.data(), error))
            return false;
        std::memcpy(buffer, words.data() + (address - span.first), static_cast<size_t>(length));
        return true;
    });
}

PortStatus AravisCamera::write(const void* buffer, int64_t address, int64_t length)
{
    // The heartbeat time-out, written whole by the camera's own feature.
    if (m_known.gige && address == gvbs::HeartbeatTimeout && length == 4) {
        const auto* b = static_cast<const uint8_t*>(buffer);
        const std::string why = heartbeatRefusal(int64_t(b[0]) << 24 | int64_t(b[1]) << 16 | int64_t(b[2]) << 8 | b[3]);
        if (!why.empty()) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lastError = why;
            return PortStatus::Rejected;
        }
    }
    // The bytes of the stream channel's packet size, the low half of its register.
    const int64_t sizeFirst = gvbs::StreamChannelPacketSize + 2, sizeEnd = gvbs::StreamChannelPacketSize + 4;
    if (!m_known.gige || address >= sizeEnd || address + length <= sizeFirst)
        return writeMemory(buffer, address, length);
    std::lock_guard<std::mutex> lock(m_streamMutex);
    if (m_stream || m_streamStarting) {
        // The size the write leaves: its own bytes where it covers the field, the current ones elsewhere.
        uint8_t size[2] = {uint8_t(m_streamPacketSize >> 8), uint8_t(m_streamPacketSize)};
        for (int64_t a = std::max(address, sizeFirst); a < std::min(address + length, sizeEnd); ++a)
            size[a - sizeFirst] = static_cast<const uint8_t*>(buffer)[a - address];
        const std::string why = packetSizeRefusalLocked(uint32_t(size[0]) << 8 | size[1]);
        if (!why.empty()) {
            std::lock_guard<std::mutex> errorLock(m_mutex);
            m_lastError = why;
            return PortStatus::Rejected;
        }
    }
    return writeMemory(buffer, address, length);
}

std::string AravisCamera::heartbeatRefusal(int64_t timeoutMs) const
{
    if (timeoutMs >= kMinimumHeartbeatTimeoutMs)
        return std::string();
    return "Camera " + label() + ": a heartbeat time-out of " + std::to_string(timeoutMs) +
           " ms would lose the camera: the heartbeat beats once a second, and the time-out must be at least " +
           std::to_string(kMinimumHeartbeatTimeoutMs) + " ms.";
}

std::vector<AravisCamera::FixedSetting> AravisCamera::fixedSettingTable() const
{
    using namespace emulation;
    // Aravis 0.8 offers no setting for any of these.
    if (m_known.gige) {
        static const char* const waits =
            "A real camera's requests go through Aravis, which waits 500 ms for each answer; it has no setting for it.";
        return {
            {false, tlreg::ReadTimeout, "ReadTimeout", 500, waits},
            {false, tlreg::WriteTimeout, "WriteTimeout", 500, waits},
            {false, tlreg::CommandDuplicationEnable, "CommandDuplicationEnable", 0,
             "A real camera's requests go through Aravis, which sends a request again only when its answer does not "
             "come; it has no setting for it."},
            {false, tlreg::MaxRetryCountWrite, "MaxRetryCountWrite", 4,
             "A real camera's requests go through Aravis, which sends each one five times at most (four retries); it "
             "has no setting for it."},
        };
    }
    static const char* const sizes =
        "Aravis sizes a real USB3 Vision camera's transfers itself, 1 MiB at most; it has no setting for it.";
    return {
        {false, tlreg::MaxTransferSize, "MaxTransferSize", 1 << 20, sizes},
        {true, sgreg::MaxTransferSize, "MaxTransferSize", 1 << 20, sizes},
        {true, sgreg::NumMaxQueuedUrbs, "NumMaxQueuedUrbs", m_known.asyncUsb ? 8 : 1,
         "Aravis queues a real USB3 Vision camera's transfers itself: with asynchronous transfers as many as 8 MiB "
         "of them, else one at a time; it has no setting for it."},
    };
}

std::map<std::string, std::string> AravisCamera::fixedSettings() const
{
    std::map<std::string, std::string> fixed;
    for (const FixedSetting& f : fixedSettingTable())
        fixed[f.feature] = f.why;
    return fixed;
}

bool AravisCamera::readFixedSetting(bool streamGrabber, int64_t address, int64_t& value) const
{
    for (const FixedSetting& f : fixedSettingTable())
        if (f.streamGrabber == streamGrabber && f.address == address) {
            value = f.value;
            return true;
        }
    return false;
}

bool AravisCamera::readTransportRegister(int64_t address, int64_t& value)
{
    if (readFixedSetting(false, address, value))
        return true;
    if (!m_known.gige || address != emulation::tlreg::HeartbeatTimeout)
        return false;
    guint32 word = 0;
    if (isOpen() && readWord(gvbs::HeartbeatTimeout, word)) {
        value = word;
        return true;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_heartbeatTimeout <= 0)
        return false;
    value = m_heartbeatTimeout;
    return true;
}

bool AravisCamera::writeTransportRegister(int64_t address, int64_t value)
{
    if (!m_known.gige || address != emulation::tlreg::HeartbeatTimeout)
        return false;
    const std::string why = heartbeatRefusal(value);
    if (!why.empty() || value > 0xFFFFFFFF)
        GENICAM_THROW(GenICam::OutOfRangeException, "%s",
                      why.empty() ? "The heartbeat time-out does not fit the camera's register." : why.c_str());
    const auto keep = [this, value] {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_heartbeatTimeout = value;
    };
    if (!isOpen()) {
        keep(); // the camera gets it when it opens
        return true;
    }
    const bool ok = writeWord(gvbs::HeartbeatTimeout, static_cast<guint32>(value));
    invalidateRegisters({gvbs::HeartbeatTimeout});
    // A refused time-out is not given to the camera at its next open either.
    if (!ok)
        GENICAM_THROW(GenICam::AccessException, "Camera %s refused the heartbeat time-out of %lld ms.", label().c_str(),
                      static_cast<long long>(value));
    keep();
    return true;
}

std::string AravisCamera::packetSizeRefusalLocked(uint32_t size) const
{
    if ((!m_stream && !m_streamStarting) || size == m_streamPacketSize)
        return std::string();
    return "Camera " + label() + ": the packet size cannot change to " + std::to_string(size) +
           " while the camera streams: the stream's packet layout is fixed when the grab is prepared. Set it "
           "before the grab starts.";
}

PortStatus AravisCamera::writeMemory(const void* buffer, int64_t address, int64_t length)
{
    return accessMemory("write", address, length, [&](ArvDevice* device, const WordSpan& span, GError** error) {
        if (span.aligned)
            return bool(arv_device_write_memory(device, static_cast<guint64>(address), static_cast<guint32>(length),
                                                const_cast<void*>(buffer), error));
        // Read, patch and write back the words the bytes fall in.
        std::vector<uint8_t> words(span.size());
        if (!arv_device_read_memory(device, static_cast<guint64>(span.first), static_cast<guint32>(words.size()),
                                    words.data(), error))
            return false;
        std::memcpy(words.data() + (address - span.first), buffer, static_cast<size_t>(length));
        return bool(arv_device_write_memory(device, static_cast<guint64>(span.first),
                                            static_cast<guint32>(words.size()), words.data(), error));
    });
}

std::string AravisCamera::lastError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastError;
}

bool AravisCamera::holdsDevice() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_device != nullptr;
}

bool AravisCamera::isOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open;
}

bool AravisCamera::tryOpen(std::string* why)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto fail = [why](const std::string& text) {
        if (why)
            *why = text;
        return false;
    };
    if (m_state->removed)
        return fail("the camera has been removed");
    if (m_open)
        return fail("the camera is open already");
    if (m_known.gige && !(m_device && arv_gv_device_is_controller(ARV_GV_DEVICE(m_device)))) {
        // Asked first: some cameras (Aravis' fake one among them) answer no request for control while
        // another controller holds it, and Aravis would wait out its time-outs twice.
        const auto controlled = [this] {
            std::vector<uint8_t> ccp;
            return readMemory(m_known.ip, gvbs::ControlChannelPrivilege, 4, ccp) && bigEndian32(ccp, 0) != 0;
        };
        // The controller may be a device of this camera that is still being let go of (it was silent
        // then): its release gives the control channel back as soon as the camera answers. Looked for
        // before the camera is asked, as the release may end in between.
        const bool releasing = releasesPending();
        if (controlled() && !(releasing && awaitReleases(kReleaseWait) && !controlled()))
            return fail("the camera is controlled elsewhere (by another program, or by another device object of "
                        "this one)");
    }
    try {
        ensureDeviceLocked();
    } catch (const GenICam::GenericException& e) {
        return fail(e.GetDescription());
    }
    if (m_known.gige && !arv_gv_device_is_controller(ARV_GV_DEVICE(m_device))) {
        GError* error = nullptr;
        if (!arv_gv_device_take_control(ARV_GV_DEVICE(m_device), &error)) {
            if (!timedOut(error))
                return fail("the camera is controlled elsewhere (" + errorText(error) + ")");
            noteFailure(error);
            // The request may reach the camera yet, which would then keep this device as its
            // controller: the device goes, and its release gives the control channel back once the
            // camera answers.
            letGo(takeDeviceLocked());
            return fail("the camera does not answer (" + errorText(error) + ")");
        }
        // Whatever timed out before, the camera answers now.
        answersAgain();
    }
    // The heartbeat time-out the transport layer was given before the camera opened.
    if (m_known.gige && m_heartbeatTimeout > 0) {
        GError* error = nullptr;
        if (!arv_device_write_register(m_device, gvbs::HeartbeatTimeout, static_cast<guint32>(m_heartbeatTimeout),
                                       &error))
            Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning,
                               "Camera %s: its heartbeat time-out stays as it was: %s", label().c_str(),
                               errorText(error).c_str());
    }
    m_open = true;
    return true;
}

void AravisCamera::close()
{
    stopStream();
    ArvDevice* device = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_open)
            return;
        m_open = false;
        // Another program may open the camera now.
        if (m_known.gige && !beyondReach() && m_device && arv_gv_device_is_controller(ARV_GV_DEVICE(m_device))) {
            GError* error = nullptr;
            if (!arv_gv_device_leave_control(ARV_GV_DEVICE(m_device), &error)) {
                noteFailure(error);
                g_clear_error(&error);
            }
        }
        // A USB camera's interfaces stay claimed for as long as Aravis' device lives. A GigE camera
        // beyond reach goes whole: Aravis would wait for it again to give its control channel back,
        // and an open later starts afresh.
        if (!m_known.gige || beyondReach())
            device = takeDeviceLocked();
    }
    // Outside the lock: the last reference ends Aravis' USB event thread, which waits for nothing of ours.
    if (device)
        letGo(device);
}

size_t AravisCamera::payloadSize() const
{
    GenApi::INodeMap* nodeMap;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        nodeMap = m_nodeMap;
    }
    // Read outside the lock: the node map reads the camera's registers through this backend.
    return payloadOf(nodeMap);
}

void AravisCamera::setParamsLocked(bool locked)
{
    GenApi::INodeMap* nodeMap;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        nodeMap = m_nodeMap;
    }
    const auto lockParameters = [nodeMap](bool value) {
        if (!nodeMap)
            return;
        try {
            GenApi::CIntegerPtr node = nodeMap->GetNode("TLParamsLocked");
            if (node.IsValid() && GenApi::IsWritable(node))
                node->SetValue(value ? 1 : 0);
        } catch (const GenICam::GenericException&) {
            // A camera that refuses the lock still streams.
        }
    };
    lockParameters(locked);
    if (!locked) {
        stopStream();
        // Aravis closes the stream channel (its port 0) when it destroys the stream.
        if (m_known.gige)
            invalidateRegisters({gvbs::StreamChannelPort});
        return;
    }
    try {
        // Aravis makes the stream through its own requests, which would each wait for the time-out
        // again and then name a wrong reason.
        if (!answering())
            throwStreamUnanswered();
        startStream();
    } catch (...) {
        lockParameters(false);
        throw;
    }
}

void AravisCamera::setSink(std::shared_ptr<FrameSink> sink)
{
    std::lock_guard<std::mutex> lock(m_state->sinkMutex);
    m_state->sink = std::move(sink);
}

void AravisCamera::detachSink(const FrameSink* sink)
{
    bool stop = false;
    {
        std::lock_guard<std::mutex> lock(m_state->sinkMutex);
        if (m_state->sink.get() == sink) {
            m_state->sink.reset();
            stop = true;
        }
    }
    if (stop)
        stopStream();
}

bool AravisCamera::readStreamRegister(int64_t address, int64_t& value)
{
    using namespace emulation;
    if (readFixedSetting(true, address, value))
        return true;
    switch (address) {
    case sgreg::ResendPacketCount:
    case sgreg::LostPacketCount: {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        guint64 resent = 0, missing = 0;
        if (m_stream && ARV_IS_GV_STREAM(m_stream))
            arv_gv_stream_get_statistics(ARV_GV_STREAM(m_stream), &resent, &missing);
        value = static_cast<int64_t>(address == sgreg::ResendPacketCount ? m_resentBefore + resent
                                                                         : m_lostBefore + missing);
        return true;
    }
    case sgreg::PacketSize:
    case sgreg::InterPacketDelay: {
        guint32 word = 0;
        if (!readWord(address == sgreg::PacketSize ? gvbs::StreamChannelPacketSize : gvbs::StreamChannelPacketDelay,
                      word))
            return false;
        value = address == sgreg::PacketSize ? (word & 0xFFFF) : word;
        return true;
    }
    case sgreg::ProbePacketSize: value = 0; return true; // the probe completes within the write
    default: return false;
    }
}

bool AravisCamera::writeStreamRegister(int64_t address, int64_t value, bool& accepted)
{
    using namespace emulation;
    if (!m_known.gige)
        return false;
    const bool camerasOwn =
        address == sgreg::ProbePacketSize || address == sgreg::PacketSize || address == sgreg::InterPacketDelay;
    if (camerasOwn && !answering())
        GENICAM_THROW(GenICam::AccessException,
                      "Camera %s does not answer: the setting is not tried until it answers again.", label().c_str());
    switch (address) {
    case sgreg::ProbePacketSize:
        accepted = probePacketSize();
        // The probe points the stream channel elsewhere while it runs, and leaves the size it found.
        invalidateRegisters({gvbs::StreamChannelPacketSize, gvbs::StreamChannelDestination, gvbs::StreamChannelPort});
        return true;
    case sgreg::PacketSize: {
        if (value <= 0 || value > scps::SizeMask) {
            accepted = false;
            return true;
        }
        {
            std::lock_guard<std::mutex> lock(m_streamMutex);
            const std::string why = packetSizeRefusalLocked(static_cast<uint32_t>(value));
            if (!why.empty())
                GENICAM_THROW(GenICam::AccessException, "%s", why.c_str());
            // The size is the register's low half; the flags above it stay as the camera has them.
            guint32 word = 0;
            accepted = readWord(gvbs::StreamChannelPacketSize, word) &&
                       writeWord(gvbs::StreamChannelPacketSize,
                                 (word & ~(scps::SizeMask | scps::FireTestPacket)) | static_cast<guint32>(value));
        }
        invalidateRegisters({gvbs::StreamChannelPacketSize});
        return true;
    }
    case sgreg::InterPacketDelay:
        accepted =
            value >= 0 && value <= 0xFFFFFFFF && writeWord(gvbs::StreamChannelPacketDelay, static_cast<guint32>(value));
        invalidateRegisters({gvbs::StreamChannelPacketDelay});
        return true;
    default: return false;
    }
}

void AravisCamera::invalidateRegisters(std::initializer_list<uint32_t> addresses)
{
    GenApi::INodeMap* nodeMap;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        nodeMap = m_nodeMap;
    }
    if (!nodeMap)
        return;
    // Each node on its own, so that its callbacks run outside the node map's lock where they asked so.
    GenApi::NodeList_t nodes;
    nodeMap->GetNodes(nodes);
    for (GenApi::INode* node : nodes) {
        GenApi::CRegisterPtr reg = node;
        if (!reg.IsValid())
            continue;
        int64_t first = 0, length = 0;
        try {
            first = reg->GetAddress();
            length = reg->GetLength();
        } catch (const GenICam::GenericException&) {
            continue; // an address that cannot be had now is no register of these
        }
        for (uint32_t address : addresses)
            if (first < int64_t(address) + 4 && int64_t(address) < first + length) {
                // The node and whatever reads it.
                node->InvalidateNode();
                break;
            }
    }
}

bool AravisCamera::probePacketSize()
{
    // The probe points the stream channel at its own socket until it ends: no stream may start meanwhile,
    // or the probe's restore would take the new stream's destination away.
    std::lock_guard<std::mutex> control(m_streamControl);
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        if (m_stream) {
            Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning,
                               "Camera %s: the packet size is not probed while the camera streams.", label().c_str());
            return false;
        }
    }
    if (!isOpen())
        return false;
    const std::string host = m_known.info.GetInterface().c_str();
    PacketSizeRange range;
    // Jumbo frames end at the adapter's MTU; the camera's own limits narrow the search further.
    range.maximum = std::min(range.maximum, interfaceMtu(host));
    if (range.maximum == 0) {
        Mivtrace::LogTrace(
            traceCategory(), Mivtrace::TraceLevel_Warning,
            "Camera %s: no network adapter of this host shares its subnet; the packet size is not probed.",
            label().c_str());
        return false;
    }
    GenApi::INodeMap* nodeMap;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        nodeMap = m_nodeMap;
    }
    try {
        GenApi::CIntegerPtr node = nodeMap ? nodeMap->GetNode("GevSCPSPacketSize") : nullptr;
        if (node.IsValid() && GenApi::IsReadable(node)) {
            range.minimum =
                std::max<uint32_t>(range.minimum, static_cast<uint32_t>(std::max<int64_t>(0, node->GetMin())));
            range.maximum = static_cast<uint32_t>(std::min<int64_t>(range.maximum, node->GetMax()));
            range.increment = static_cast<uint32_t>(std::max<int64_t>(range.increment, node->GetInc()));
        }
    } catch (const GenICam::GenericException&) {
        // Without the camera's limits the search keeps to the adapter's.
    }
    ControlRegisters registers;
    registers.read = [this](uint32_t address, uint32_t& value) { return readWord(address, value); };
    registers.write = [this](uint32_t address, uint32_t value) { return writeWord(address, value); };
    const PacketSizeProbeResult result = aravis::probePacketSize(registers, host, range);
    if (!result.answered)
        Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning,
                           "Camera %s: no test packet arrived; its packet size stays %u.", label().c_str(),
                           result.packetSize);
    else
        Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Info, "Camera %s: packet size %u after the probe.",
                           label().c_str(), result.packetSize);
    return result.answered;
}

int AravisCamera::addRemovalListener(RemovalListener listener)
{
    std::lock_guard<std::recursive_mutex> lock(m_state->listenerMutex);
    const int id = m_state->nextListener++;
    m_state->listeners[id] = std::move(listener);
    return id;
}

void AravisCamera::removeRemovalListener(int id)
{
    std::lock_guard<std::recursive_mutex> lock(m_state->listenerMutex);
    m_state->listeners.erase(id);
}

void AravisCamera::throwStreamUnanswered() const
{
    GENICAM_THROW(GenICam::AccessException, "Camera %s does not answer: its stream is not made until it answers again.",
                  label().c_str());
}

bool AravisCamera::answering()
{
    if (!m_known.gige || !m_unanswered.load())
        return true;
    {
        // One look a moment, with a request of its own that waits briefly; the others fail at once.
        std::lock_guard<std::mutex> lock(m_answerMutex);
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastAnswerCheck < kAnswerCheckInterval)
            return false;
        m_lastAnswerCheck = now;
    }
    if (!answersShortRequest())
        return false;
    answersAgain();
    return true;
}

bool AravisCamera::answersShortRequest() const
{
    std::vector<uint8_t> version;
    return readMemory(m_known.ip, 0, 4, version, kAnswerCheckTimeoutMs);
}

void AravisCamera::answersAgain()
{
    if (m_unanswered.exchange(false))
        Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Info, "Camera %s answers again.", label().c_str());
}

bool AravisCamera::timedOut(const GError* error)
{
    return error && error->domain == ARV_DEVICE_ERROR && error->code == ARV_DEVICE_ERROR_TIMEOUT;
}

void AravisCamera::noteFailure(const GError* error)
{
    if (m_known.gige && timedOut(error))
        markUnanswered();
}

void AravisCamera::markUnanswered()
{
    {
        std::lock_guard<std::mutex> lock(m_answerMutex);
        m_lastAnswerCheck = std::chrono::steady_clock::now();
    }
    if (!m_unanswered.exchange(true))
        Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning,
                           "Camera %s does not answer: its registers are not tried until it answers again.",
                           label().c_str());
}

PortStatus AravisCamera::finish(bool ok, GError* error, const char* what, int64_t address, int64_t length)
{
    if (ok)
        return PortStatus::Ok;
    noteFailure(error);
    const std::string why = errorText(error);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastError = "Camera " + label() + ": the " + what + " of " + std::to_string(length) + " bytes at 0x" +
                  [address] {
                      char t[32];
                      std::snprintf(t, sizeof t, "%llx", static_cast<unsigned long long>(address));
                      return std::string(t);
                  }() +
                  " failed: " + why;
    return PortStatus::Rejected;
}

bool AravisCamera::readWord(uint32_t address, guint32& word)
{
    // A removed camera would only let the request time out.
    if (m_state->removed || !answering())
        return false;
    ArvDevice* device = deviceRef();
    if (!device)
        return false;
    GError* error = nullptr;
    const bool ok = arv_device_read_register(device, address, &word, &error);
    g_object_unref(device);
    noteFailure(error);
    if (error)
        g_error_free(error);
    return ok;
}

bool AravisCamera::writeWord(uint32_t address, guint32 word)
{
    if (m_state->removed || !isOpen() || !answering())
        return false;
    ArvDevice* device = deviceRef();
    if (!device)
        return false;
    GError* error = nullptr;
    const bool ok = arv_device_write_register(device, address, word, &error);
    g_object_unref(device);
    noteFailure(error);
    if (error)
        Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning, "Camera %s: %s", label().c_str(),
                           errorText(error).c_str());
    return ok;
}

// A reference to the device (opened on first use), or null when it cannot be opened.
ArvDevice* AravisCamera::deviceRef()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    try {
        ensureDeviceLocked();
    } catch (const GenICam::GenericException&) {
        return nullptr;
    }
    return ARV_DEVICE(g_object_ref(m_device));
}

void AravisCamera::ensureDeviceLocked()
{
    if (m_device)
        return;
    GError* error = nullptr;
    ArvDevice* device;
    {
        std::lock_guard<std::mutex> aravisLock(aravisMutex());
        // A GigE camera is opened by its address: no broadcast is needed to find it again.
        device = arv_open_device(m_known.gige ? m_known.ip.c_str() : m_known.deviceId.c_str(), &error);
    }
    if (!device)
        GENICAM_THROW(GenICam::RuntimeException, "Cannot reach the camera %s: %s", label().c_str(),
                      errorText(error).c_str());
    m_device = device;
    if (!m_known.gige && ARV_IS_UV_DEVICE(device)) {
        // Read by the stream when it is created.
        if (m_known.asyncUsb)
            arv_uv_device_set_usb_mode(ARV_UV_DEVICE(device), ARV_UV_USB_MODE_ASYNC);
        Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Info, "Camera %s: %s USB transfers (Aravis %u.%u.%u).",
                           label().c_str(), m_known.asyncUsb ? "asynchronous" : "synchronous", arv_get_major_version(),
                           arv_get_minor_version(), arv_get_micro_version());
    }
    // Opening takes the control channel; it is held only while the device is open here.
    if (m_known.gige && !m_open && arv_gv_device_is_controller(ARV_GV_DEVICE(m_device)))
        arv_gv_device_leave_control(ARV_GV_DEVICE(m_device), nullptr);
    m_controlLostHandler = g_signal_connect_data(m_device, "control-lost", G_CALLBACK(onControlLost),
                                                 new ControlLostData(m_state), deleteWeakState, GConnectFlags(0));
}

ArvDevice* AravisCamera::takeDeviceLocked()
{
    ArvDevice* device = m_device;
    if (device)
        g_signal_handler_disconnect(device, m_controlLostHandler);
    m_device = nullptr;
    m_controlLostHandler = 0;
    return device;
}

size_t AravisCamera::payloadOf(GenApi::INodeMap* nodeMap)
{
    if (!nodeMap)
        return 0;
    try {
        GenApi::CIntegerPtr payload = nodeMap->GetNode("PayloadSize");
        if (payload.IsValid() && GenApi::IsReadable(payload))
            return static_cast<size_t>(std::max<int64_t>(0, payload->GetValue()));
    } catch (const GenICam::GenericException&) {
    }
    return 0;
}

} // namespace aravis
} // namespace Nimbo
