// Real cameras through Aravis: discovery into our device infos, and AravisCamera, the device backend
// over one ArvDevice (register access, the camera's description, a stream pumped into the stream
// grabber's buffers, removal on lost control).
#include "AravisTransport.h"

#include "../emulation/CameraModel.h"
#include "../emulation/EventThread.h"
#include "Gvcp.h"

#include <nimbo/Mivtrace.h>

#include <GenApi/GenApi.h>
#include <GenICam/GenericException.h>

#include <arv.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace Nimbo {
namespace aravis {

namespace {

Mivtrace::CatID traceCategory()
{
    static const Mivtrace::CatID id = Mivtrace::LogGetCatID("Tesvar.RealCameras");
    return id;
}

// Aravis keeps its device lists in globals of its own; every call that touches them is serialised.
std::mutex& aravisMutex()
{
    static std::mutex m;
    return m;
}

std::string text(const char* s)
{
    return s ? s : "";
}

std::string errorText(GError* error)
{
    std::string t = error && error->message ? error->message : "unknown error";
    if (error)
        g_error_free(error);
    return t;
}

class AravisCamera;

struct KnownDevice {
    CDeviceInfo info;
    std::string deviceId; // Aravis' id
    std::string ip;       // GigE only
    bool gige = false;
    std::weak_ptr<AravisCamera> camera;
};

std::mutex g_knownMutex;
std::map<std::string, KnownDevice> g_known; // by full name

// The address of the local interface in whose network the camera sits, or an empty text.
std::string localInterfaceFor(uint32_t cameraIp)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return std::string();
    std::string found;
    for (ifaddrs* a = list; a && found.empty(); a = a->ifa_next) {
        if (!a->ifa_addr || !a->ifa_netmask || a->ifa_addr->sa_family != AF_INET)
            continue;
        const uint32_t addr = ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr);
        const uint32_t mask = ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr);
        if ((addr & mask) == (cameraIp & mask))
            found = dottedIp(addr);
    }
    freeifaddrs(list);
    return found;
}

CDeviceInfo gigeInfo(ArvInterface* iface, unsigned index, std::string& ip)
{
    CDeviceInfo info;
    ip = text(arv_interface_get_device_address(iface, index));
    std::string vendor = text(arv_interface_get_device_vendor(iface, index));
    std::string model = text(arv_interface_get_device_model(iface, index));
    std::string serial = text(arv_interface_get_device_serial_nbr(iface, index));
    std::string mac = text(arv_interface_get_device_physical_id(iface, index));
    mac.erase(std::remove(mac.begin(), mac.end(), ':'), mac.end());
    std::transform(mac.begin(), mac.end(), mac.begin(), ::toupper);
    info.SetTLType("GEV");
    info.SetAddress(ip.c_str());
    info.SetIpAddress(ip.c_str());
    info.SetPortNr("3956");
    info.SetManufacturerInfo(text(arv_interface_get_device_manufacturer_info(iface, index)).c_str());
    // The bootstrap block holds what discovery does not hand on: names, version, network settings.
    std::vector<uint8_t> block;
    if (readMemory(ip, 0, gvbs::IdentityEnd, block)) {
        const auto bs = [&block](uint32_t address, uint32_t length) { return bootstrapString(block, address, length); };
        if (!bs(gvbs::ManufacturerName, 32).empty())
            vendor = bs(gvbs::ManufacturerName, 32);
        if (!bs(gvbs::ModelName, 32).empty())
            model = bs(gvbs::ModelName, 32);
        if (!bs(gvbs::SerialNumber, 16).empty())
            serial = bs(gvbs::SerialNumber, 16);
        info.SetDeviceVersion(bs(gvbs::DeviceVersion, 32).c_str());
        info.SetUserDefinedName(bs(gvbs::UserDefinedName, 16).c_str());
        info.SetSubnetMask(dottedIp(bigEndian32(block, gvbs::CurrentSubnetMask)).c_str());
        info.SetDefaultGateway(dottedIp(bigEndian32(block, gvbs::CurrentGateway)).c_str());
        info.SetIpConfigOptions(std::to_string(bigEndian32(block, gvbs::IpConfigOptions) & 0x7).c_str());
        info.SetIpConfigCurrent(std::to_string(bigEndian32(block, gvbs::IpConfigCurrent) & 0x7).c_str());
        char macText[13];
        std::snprintf(macText, sizeof macText, "%04X%08X", bigEndian32(block, gvbs::MacHigh) & 0xFFFF,
                      bigEndian32(block, gvbs::MacLow));
        mac = macText;
    } else {
        Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning,
                           "The camera at %s did not answer the read of its bootstrap registers.", ip.c_str());
    }
    in_addr a{};
    if (inet_pton(AF_INET, ip.c_str(), &a) == 1)
        info.SetInterface(localInterfaceFor(ntohl(a.s_addr)).c_str());
    info.SetMacAddress(mac.c_str());
    info.SetVendorName(vendor.c_str());
    info.SetModelName(model.c_str());
    info.SetSerialNumber(serial.c_str());
    info.SetFullName((model + "#" + ip + ":3956#" + serial).c_str());
    info.SetInternalName(("gige:" + ip).c_str());
    return info;
}

CDeviceInfo usbInfo(ArvInterface* iface, unsigned index)
{
    CDeviceInfo info;
    const std::string id = text(arv_interface_get_device_id(iface, index));
    info.SetTLType("U3V");
    info.SetVendorName(text(arv_interface_get_device_vendor(iface, index)).c_str());
    info.SetModelName(text(arv_interface_get_device_model(iface, index)).c_str());
    info.SetSerialNumber(text(arv_interface_get_device_serial_nbr(iface, index)).c_str());
    info.SetManufacturerInfo(text(arv_interface_get_device_manufacturer_info(iface, index)).c_str());
    info.SetGTLDeviceID(id.c_str());
    info.SetInternalName(("usb:" + text(arv_interface_get_device_physical_id(iface, index))).c_str());
    info.SetFullName(("usb#" + id).c_str());
    return info;
}

// One 32-bit big-endian register of the GigE Vision bootstrap block; `bits` makes it a masked
// register ("31" for one bit, "31-16" for a field, in the block's MSB-0 numbering).
std::string bootstrapRegister(const char* name, uint32_t address, const char* access, const char* visibility,
                              const std::string& bits = std::string())
{
    char head[160];
    std::snprintf(head, sizeof head,
                  "<Address>0x%X</Address><Length>4</Length><AccessMode>%s</AccessMode><pPort>Device</pPort>",
                  address, access);
    const std::string kind = bits.empty() ? "IntReg" : "MaskedIntReg";
    std::string mask;
    if (!bits.empty()) {
        const auto dash = bits.find('-');
        mask = dash == std::string::npos ? "<Bit>" + bits + "</Bit>"
                                         : "<LSB>" + bits.substr(0, dash) + "</LSB><MSB>" + bits.substr(dash + 1) +
                                               "</MSB>";
    }
    return "  <" + kind + " Name=\"" + name + "\" NameSpace=\"Standard\" MergePriority=\"-1\">\n    <Visibility>" +
           visibility + "</Visibility>\n    " + head + "\n    <Cachable>NoCache</Cachable>" + mask +
           "<Sign>Unsigned</Sign><Endianess>BigEndian</Endianess>\n  </" + kind + ">\n";
}

// The GigE Vision bootstrap registers that the program's features need, for cameras whose own
// description leaves them out; merged below the camera's description, whose own nodes win a clash.
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
        nodes += bootstrapRegister(r.name, r.address, r.access, r.visibility, r.bits);
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
)" + features + "  </Category>\n" +
           nodes + R"(  <Port Name="Device" NameSpace="Standard" MergePriority="-1"/>
</RegisterDescription>
)";
}

// Shared with the Aravis callbacks and the event thread, which may outlive the camera object.
struct RemovalState {
    std::atomic<bool> removed{false};
    std::mutex sinkMutex;
    std::shared_ptr<FrameSink> sink;
    // Held while listeners run, so that removing one waits for its call.
    std::recursive_mutex listenerMutex;
    std::map<int, DeviceBackend::RemovalListener> listeners;
    int nextListener = 1;

    void markRemoved(const std::string& why)
    {
        if (removed.exchange(true))
            return;
        Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning, "%s", why.c_str());
        std::shared_ptr<FrameSink> s;
        {
            std::lock_guard<std::mutex> lock(sinkMutex);
            s = sink;
        }
        if (s)
            s->cameraRemoved();
    }
};

void onControlLost(ArvDevice*, gpointer data)
{
    auto weak = *static_cast<std::weak_ptr<RemovalState>*>(data);
    auto state = weak.lock();
    if (!state || state->removed.load())
        return;
    state->markRemoved("A camera stopped answering: its control channel is lost.");
    emulation::EventThread::instance().post([weak] {
        auto s = weak.lock();
        if (!s)
            return;
        std::lock_guard<std::recursive_mutex> lock(s->listenerMutex);
        const auto listeners = s->listeners;
        for (const auto& l : listeners)
            if (s->listeners.count(l.first) && l.second)
                l.second();
    });
}

void deleteWeakState(gpointer data, GClosure*)
{
    delete static_cast<std::weak_ptr<RemovalState>*>(data);
}

const char* statusText(ArvBufferStatus status)
{
    switch (status) {
    case ARV_BUFFER_STATUS_SUCCESS: return "complete";
    case ARV_BUFFER_STATUS_CLEARED: return "The buffer was cleared before a frame arrived.";
    case ARV_BUFFER_STATUS_TIMEOUT: return "The frame timed out before all its packets arrived.";
    case ARV_BUFFER_STATUS_MISSING_PACKETS: return "Packets of the frame are missing.";
    case ARV_BUFFER_STATUS_WRONG_PACKET_ID: return "The frame holds a packet with a wrong id.";
    case ARV_BUFFER_STATUS_SIZE_MISMATCH: return "The frame did not fit the transport buffer.";
    case ARV_BUFFER_STATUS_FILLING: return "The frame was still being filled.";
    case ARV_BUFFER_STATUS_ABORTED: return "The frame was aborted before it was complete.";
    default: return "The frame is incomplete for an unknown reason.";
    }
}

// Error codes of failed frames: a fixed prefix and the transport's status.
constexpr uint32_t kFrameErrorBase = 0xE1000100;
constexpr uint32_t kFrameTooLarge = 0xE1000200;

class AravisCamera : public DeviceBackend {
public:
    AravisCamera(const KnownDevice& known) : m_known(known), m_state(std::make_shared<RemovalState>()) {}

    ~AravisCamera() override
    {
        stopStream();
        std::lock_guard<std::mutex> lock(m_mutex);
        releaseDeviceLocked();
    }

    std::string deviceClass() const override { return m_known.gige ? "VelmarGigE" : "VelmarUsb"; }
    std::string label() const override { return m_known.info.GetSerialNumber().c_str(); }

    GenICam::gcstring description() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ensureDeviceLocked();
        size_t size = 0;
        const char* xml = arv_device_get_genicam_xml(m_device, &size);
        if (!xml || size == 0)
            GENICAM_THROW(GenICam::RuntimeException, "The camera %s gave no GenICam description.", label().c_str());
        return GenICam::gcstring(std::string(xml, size).c_str());
    }

    GenICam::gcstring_vector transportDescriptions() override
    {
        GenICam::gcstring_vector v;
        if (m_known.gige)
            v.push_back(gigeBootstrapDescription().c_str());
        return v;
    }

    void attachNodeMap(GenApi::INodeMap* nodeMap) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nodeMap = nodeMap;
    }

    PortStatus read(void* buffer, int64_t address, int64_t length) override
    {
        if (m_state->removed)
            return PortStatus::Removed;
        ArvDevice* device = deviceRef();
        if (!device)
            return PortStatus::Removed;
        GError* error = nullptr;
        bool ok;
        // GigE Vision reads whole 32-bit words at word addresses.
        const int64_t first = address & ~int64_t(3);
        const int64_t end = (address + length + 3) & ~int64_t(3);
        if (first == address && end == address + length) {
            ok = arv_device_read_memory(device, static_cast<guint64>(address), static_cast<guint32>(length), buffer,
                                        &error);
        } else {
            std::vector<uint8_t> words(static_cast<size_t>(end - first));
            ok = arv_device_read_memory(device, static_cast<guint64>(first), static_cast<guint32>(words.size()),
                                        words.data(), &error);
            if (ok)
                std::memcpy(buffer, words.data() + (address - first), static_cast<size_t>(length));
        }
        g_object_unref(device);
        return finish(ok, error, "read", address, length);
    }

    PortStatus write(const void* buffer, int64_t address, int64_t length) override
    {
        if (m_state->removed)
            return PortStatus::Removed;
        ArvDevice* device = deviceRef();
        if (!device)
            return PortStatus::Removed;
        GError* error = nullptr;
        bool ok;
        const int64_t first = address & ~int64_t(3);
        const int64_t end = (address + length + 3) & ~int64_t(3);
        if (first == address && end == address + length) {
            ok = arv_device_write_memory(device, static_cast<guint64>(address), static_cast<guint32>(length),
                                         const_cast<void*>(buffer), &error);
        } else {
            // Read, patch and write back the words the bytes fall in.
            std::vector<uint8_t> words(static_cast<size_t>(end - first));
            ok = arv_device_read_memory(device, static_cast<guint64>(first), static_cast<guint32>(words.size()),
                                        words.data(), &error);
            if (ok) {
                std::memcpy(words.data() + (address - first), buffer, static_cast<size_t>(length));
                ok = arv_device_write_memory(device, static_cast<guint64>(first), static_cast<guint32>(words.size()),
                                             words.data(), &error);
            }
        }
        g_object_unref(device);
        return finish(ok, error, "write", address, length);
    }

    std::string lastError() const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastError;
    }

    bool isPlugged() const override { return !m_state->removed; }

    bool isInUseElsewhere() const override
    {
        if (!m_known.gige || isOpen())
            return false;
        std::vector<uint8_t> ccp;
        return readMemory(m_known.ip, gvbs::ControlChannelPrivilege, 4, ccp) && bigEndian32(ccp, 0) != 0;
    }

    bool isOpen() const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_open;
    }

    bool tryOpen(std::string* why) override
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
        try {
            ensureDeviceLocked();
        } catch (const GenICam::GenericException& e) {
            return fail(e.GetDescription());
        }
        if (m_known.gige && !arv_gv_device_is_controller(ARV_GV_DEVICE(m_device))) {
            GError* error = nullptr;
            if (!arv_gv_device_take_control(ARV_GV_DEVICE(m_device), &error))
                return fail("the camera is in use by another program (" + errorText(error) + ")");
        }
        m_open = true;
        return true;
    }

    void close() override
    {
        stopStream();
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_open)
            return;
        m_open = false;
        // Another program may open the camera now.
        if (m_device && m_known.gige && !m_state->removed && arv_gv_device_is_controller(ARV_GV_DEVICE(m_device)))
            arv_gv_device_leave_control(ARV_GV_DEVICE(m_device), nullptr);
    }

    size_t payloadSize() const override
    {
        GenApi::INodeMap* nodeMap;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            nodeMap = m_nodeMap;
        }
        // Read outside the lock: the node map reads the camera's registers through this backend.
        return payloadOf(nodeMap);
    }

    void setParamsLocked(bool locked) override
    {
        GenApi::INodeMap* nodeMap;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            nodeMap = m_nodeMap;
        }
        if (nodeMap) {
            try {
                GenApi::CIntegerPtr node = nodeMap->GetNode("TLParamsLocked");
                if (node.IsValid() && GenApi::IsWritable(node))
                    node->SetValue(locked ? 1 : 0);
            } catch (const GenICam::GenericException&) {
                // A camera that refuses the lock still streams.
            }
        }
        if (locked)
            startStream();
        else
            stopStream();
    }

    void setSink(std::shared_ptr<FrameSink> sink) override
    {
        std::lock_guard<std::mutex> lock(m_state->sinkMutex);
        m_state->sink = std::move(sink);
    }

    void detachSink(const FrameSink* sink) override
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

    bool streamsPackets() const override { return m_known.gige; }

    bool readStreamRegister(int64_t address, int64_t& value) override
    {
        using namespace emulation;
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
        case sgreg::ProbePacketSize: value = 0; return true;
        default: return false;
        }
    }

    bool writeStreamRegister(int64_t address, int64_t value, bool& accepted) override
    {
        using namespace emulation;
        if (!m_known.gige)
            return false;
        ArvDevice* device = deviceRef();
        if (!device) {
            accepted = false;
            return address == sgreg::ProbePacketSize || address == sgreg::PacketSize ||
                   address == sgreg::InterPacketDelay;
        }
        GError* error = nullptr;
        bool handled = true;
        switch (address) {
        case sgreg::ProbePacketSize:
            // Finds the largest packet that reaches us unfragmented and sets it.
            arv_gv_device_auto_packet_size(ARV_GV_DEVICE(device), &error);
            break;
        case sgreg::PacketSize:
            arv_gv_device_set_packet_size(ARV_GV_DEVICE(device), static_cast<gint>(value), &error);
            break;
        case sgreg::InterPacketDelay:
            arv_device_write_register(device, gvbs::StreamChannelPacketDelay, static_cast<guint32>(value), &error);
            break;
        default: handled = false;
        }
        g_object_unref(device);
        accepted = handled && !error;
        if (error)
            Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning, "Camera %s: %s", label().c_str(),
                               errorText(error).c_str());
        return handled;
    }

    int addRemovalListener(RemovalListener listener) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_state->listenerMutex);
        const int id = m_state->nextListener++;
        m_state->listeners[id] = std::move(listener);
        return id;
    }

    void removeRemovalListener(int id) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_state->listenerMutex);
        m_state->listeners.erase(id);
    }

private:
    PortStatus finish(bool ok, GError* error, const char* what, int64_t address, int64_t length)
    {
        if (ok)
            return PortStatus::Ok;
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

    bool readWord(uint32_t address, guint32& word)
    {
        ArvDevice* device = deviceRef();
        if (!device)
            return false;
        GError* error = nullptr;
        const bool ok = arv_device_read_register(device, address, &word, &error);
        g_object_unref(device);
        if (error)
            g_error_free(error);
        return ok;
    }

    // A reference to the device (opened on first use), or null when it cannot be opened.
    ArvDevice* deviceRef()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        try {
            ensureDeviceLocked();
        } catch (const GenICam::GenericException&) {
            return nullptr;
        }
        return ARV_DEVICE(g_object_ref(m_device));
    }

    void ensureDeviceLocked()
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
        // Opening takes the control channel; it is held only while the device is open here.
        if (m_known.gige && !m_open && arv_gv_device_is_controller(ARV_GV_DEVICE(m_device)))
            arv_gv_device_leave_control(ARV_GV_DEVICE(m_device), nullptr);
        m_controlLostHandler =
            g_signal_connect_data(m_device, "control-lost", G_CALLBACK(onControlLost),
                                  new std::weak_ptr<RemovalState>(m_state), deleteWeakState, GConnectFlags(0));
    }

    void releaseDeviceLocked()
    {
        if (!m_device)
            return;
        g_signal_handler_disconnect(m_device, m_controlLostHandler);
        g_object_unref(m_device);
        m_device = nullptr;
    }

    static size_t payloadOf(GenApi::INodeMap* nodeMap)
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

    void startStream()
    {
        stopStream();
        ArvDevice* device;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_open || m_state->removed || !m_device)
                return;
            device = ARV_DEVICE(g_object_ref(m_device));
        }
        size_t payload = payloadSize();
        GError* error = nullptr;
        ArvStream* stream = arv_device_create_stream(device, nullptr, nullptr, &error);
        g_object_unref(device);
        if (!stream) {
            Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Error, "Camera %s: no stream: %s",
                               label().c_str(), errorText(error).c_str());
            return;
        }
        if (payload == 0)
            payload = 1 << 20;
        for (int i = 0; i < kTransportBuffers; ++i)
            arv_stream_push_buffer(stream, arv_buffer_new_allocate(payload));
        std::lock_guard<std::mutex> lock(m_streamMutex);
        m_stream = stream;
        m_stopPump = false;
        m_pump = std::thread([this, stream] { pump(stream); });
    }

    void stopStream()
    {
        std::thread pump;
        ArvStream* stream;
        {
            std::lock_guard<std::mutex> lock(m_streamMutex);
            if (!m_stream)
                return;
            m_stopPump = true;
            pump.swap(m_pump);
            stream = m_stream;
        }
        if (pump.joinable())
            pump.join();
        std::lock_guard<std::mutex> lock(m_streamMutex);
        if (ARV_IS_GV_STREAM(stream)) {
            guint64 resent = 0, missing = 0;
            arv_gv_stream_get_statistics(ARV_GV_STREAM(stream), &resent, &missing);
            m_resentBefore += resent;
            m_lostBefore += missing;
        }
        g_object_unref(stream);
        m_stream = nullptr;
    }

    void pump(ArvStream* stream)
    {
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(m_streamMutex);
                if (m_stopPump)
                    return;
            }
            ArvBuffer* buffer = arv_stream_timeout_pop_buffer(stream, 50000);
            if (!buffer)
                continue;
            deliver(buffer);
            arv_stream_push_buffer(stream, buffer);
        }
    }

    void deliver(ArvBuffer* buffer)
    {
        std::shared_ptr<FrameSink> sink;
        {
            std::lock_guard<std::mutex> lock(m_state->sinkMutex);
            sink = m_state->sink;
        }
        if (!sink || m_state->removed)
            return;
        FrameBuffer target;
        if (!sink->takeBuffer(target)) {
            sink->frameMissed();
            return;
        }
        FrameInfo info;
        info.blockId = arv_buffer_get_frame_id(buffer);
        info.timeStamp = arv_buffer_get_timestamp(buffer);
        if (info.timeStamp == 0)
            info.timeStamp = arv_buffer_get_system_timestamp(buffer);
        const ArvBufferStatus status = arv_buffer_get_status(buffer);
        if (status != ARV_BUFFER_STATUS_SUCCESS) {
            info.failed = true;
            info.errorCode = kFrameErrorBase + static_cast<uint32_t>(status);
            info.errorText = statusText(status);
        } else {
            size_t size = 0;
            const ArvBufferPayloadType type = arv_buffer_get_payload_type(buffer);
            const bool image =
                type == ARV_BUFFER_PAYLOAD_TYPE_IMAGE || type == ARV_BUFFER_PAYLOAD_TYPE_EXTENDED_CHUNK_DATA;
            const void* data = image ? arv_buffer_get_image_data(buffer, &size) : arv_buffer_get_data(buffer, &size);
            if (image) {
                info.pixelType = arv_buffer_get_image_pixel_format(buffer);
                info.width = arv_buffer_get_image_width(buffer);
                info.height = arv_buffer_get_image_height(buffer);
                info.offsetX = arv_buffer_get_image_x(buffer);
                info.offsetY = arv_buffer_get_image_y(buffer);
            }
            if (!data || size > target.size) {
                info.failed = true;
                info.errorCode = kFrameTooLarge;
                info.errorText = "The frame (" + std::to_string(size) + " bytes) does not fit the buffer (" +
                                 std::to_string(target.size) + " bytes).";
            } else {
                std::memcpy(target.data, data, size);
                info.payloadSize = size;
            }
        }
        sink->deliver(target, info);
    }

    static constexpr int kTransportBuffers = 8;

    const KnownDevice m_known;
    const std::shared_ptr<RemovalState> m_state;

    mutable std::mutex m_mutex; // m_device, m_open, m_nodeMap, m_lastError
    ArvDevice* m_device = nullptr;
    gulong m_controlLostHandler = 0;
    bool m_open = false;
    GenApi::INodeMap* m_nodeMap = nullptr;
    std::string m_lastError;

    std::mutex m_streamMutex; // m_stream, m_pump, m_stopPump and the packet counts
    ArvStream* m_stream = nullptr;
    std::thread m_pump;
    bool m_stopPump = false;
    uint64_t m_resentBefore = 0, m_lostBefore = 0;
};

} // namespace

bool realCamerasEnabled()
{
    const char* env = std::getenv("NIMBO_REAL_CAMERAS");
    if (!env)
        return true;
    std::string v = env;
    std::transform(v.begin(), v.end(), v.begin(), ::tolower);
    return !(v == "0" || v == "off" || v == "no" || v == "false");
}

std::vector<CDeviceInfo> discover(const std::string& deviceClass)
{
    std::vector<CDeviceInfo> found;
    if (!realCamerasEnabled())
        return found;
    const bool gige = deviceClass == "VelmarGigE";
    std::vector<KnownDevice> devices;
    {
        std::lock_guard<std::mutex> lock(aravisMutex());
        ArvInterface* iface = gige ? arv_gv_interface_get_instance() : arv_uv_interface_get_instance();
        if (!iface)
            return found;
        arv_interface_update_device_list(iface);
        const unsigned n = arv_interface_get_n_devices(iface);
        for (unsigned i = 0; i < n; ++i) {
            KnownDevice d;
            d.gige = gige;
            d.deviceId = text(arv_interface_get_device_id(iface, i));
            d.info = gige ? gigeInfo(iface, i, d.ip) : usbInfo(iface, i);
            devices.push_back(d);
        }
    }
    std::lock_guard<std::mutex> lock(g_knownMutex);
    int index = 0;
    for (KnownDevice& d : devices) {
        d.info.SetDeviceClass(deviceClass.c_str());
        d.info.SetFriendlyName(
            (d.info.GetVendorName() + " " + d.info.GetModelName() + " (" + d.info.GetSerialNumber() + ")").c_str());
        d.info.SetDeviceFactory("VelmarTLFactory");
        d.info.SetXMLSource("Device");
        d.info.SetDeviceIdx(std::to_string(index++).c_str());
        const std::string key = d.info.GetFullName().c_str();
        auto it = g_known.find(key);
        if (it != g_known.end())
            d.camera = it->second.camera;
        g_known[key] = d;
        found.push_back(d.info);
    }
    return found;
}

bool knows(const String_t& fullName, CDeviceInfo* info)
{
    std::lock_guard<std::mutex> lock(g_knownMutex);
    auto it = g_known.find(fullName.c_str());
    if (it == g_known.end())
        return false;
    if (info)
        *info = it->second.info;
    return true;
}

std::shared_ptr<DeviceBackend> createBackend(const String_t& fullName, CDeviceInfo* info)
{
    std::lock_guard<std::mutex> lock(g_knownMutex);
    auto it = g_known.find(fullName.c_str());
    if (it == g_known.end())
        return nullptr;
    auto camera = std::make_shared<AravisCamera>(it->second);
    it->second.camera = camera;
    if (info)
        *info = it->second.info;
    return camera;
}

bool accessible(const String_t& fullName)
{
    KnownDevice known;
    {
        std::lock_guard<std::mutex> lock(g_knownMutex);
        auto it = g_known.find(fullName.c_str());
        if (it == g_known.end())
            return false;
        known = it->second;
    }
    if (auto camera = known.camera.lock())
        if (camera->isOpen() || !camera->isPlugged())
            return false;
    if (!known.gige)
        return true;
    // Another program holds the control channel.
    std::vector<uint8_t> ccp;
    if (!readMemory(known.ip, gvbs::ControlChannelPrivilege, 4, ccp))
        return false;
    return bigEndian32(ccp, 0) == 0;
}

} // namespace aravis
} // namespace Nimbo
