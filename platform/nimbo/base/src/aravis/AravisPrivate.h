// Declarations shared by the files of the Aravis backend: the devices found by discovery, the
// removal state the Aravis callbacks share with a camera, and AravisCamera, the device backend over one
// ArvDevice.
#pragma once

#include "../emulation/EventThread.h"
#include "AravisTransport.h"
#include "UsbDeviceIds.h"

#include <nimbo/Mivtrace.h>

#include <GenApi/GenApi.h>

#include <arv.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace Nimbo {
namespace aravis {

Mivtrace::CatID traceCategory();

// Aravis keeps its device lists in globals of its own; every call that touches them is serialised.
std::mutex& aravisMutex();

std::string text(const char* s);

// The message of `error` (which it frees), or a placeholder when there is none.
std::string errorText(GError* error);

class AravisCamera;

// Where Aravis' objects of a camera that does not answer, or was removed, are let go of: their release
// waits for the camera (to stop its stream channel, to give its control channel back), and no caller
// need wait for that. Tasks run in order; the thread lives as long as the process.
emulation::EventThread& releaseThread();

struct KnownDevice {
    CDeviceInfo info;
    std::string deviceId; // Aravis' id
    std::string ip;       // GigE only
    bool gige = false;
    std::weak_ptr<AravisCamera> camera;
    // Why the camera cannot be used at all (a USB camera Aravis could not list); empty when it can.
    std::string unusable;
    // A USB camera streams through Aravis' asynchronous USB transfers.
    bool asyncUsb = false;
    // The discovery that listed it last (they count from 1; 0: none).
    uint64_t discovery = 0;
};

// True when Aravis of that version streams soundly through its asynchronous USB transfers (libusb
// transfers queued ahead into the buffers): before 0.8.28 its asynchronous stream thread polls for
// buffers without waiting, a processor core busy for the whole grab, and waits for transfers to
// complete without a time-out, which a completion between its check and its wait leaves waiting for
// good when the stream stops.
bool asyncUsbTransfers(unsigned major, unsigned minor, unsigned micro);

// The devices of the last discovery of each transport layer, by full name, and those of earlier ones
// whose backend still lives (a device object of the program holds it).
extern std::mutex g_knownMutex;
extern std::map<std::string, KnownDevice> g_known; // by full name

// The GigE camera with that MAC address that discovery listed last; null when none, or when that
// discovery listed two cameras with it. Under g_knownMutex.
KnownDevice* knownByMacLocked(uint64_t mac);

// Where the USB devices are found in sysfs, and their device nodes; tests point them at a fixture.
void setUsbSysfs(const std::string& usbDevices, const std::string& devRoot);
std::vector<UsbVisionDevice> scanUsbVisionDevices();
// What sysfs says of the USB camera of that info (found by its serial number and names); Free when
// sysfs does not show it.
UsbAccess usbCameraAccess(const CDeviceInfo& info, std::string* why = nullptr);

// The GigE Vision bootstrap registers that the program's features need, for cameras whose own
// description leaves them out; merged below the camera's description, whose own nodes win a clash.
std::string gigeBootstrapDescription();

// Shared with the Aravis callbacks and the event thread, which may outlive the camera object.
struct RemovalState {
    std::atomic<bool> removed{false};
    std::mutex sinkMutex;
    std::shared_ptr<FrameSink> sink;
    // Held while listeners run, so that removing one waits for its call.
    std::recursive_mutex listenerMutex;
    std::map<int, DeviceBackend::RemovalListener> listeners;
    int nextListener = 1;
    // Set by the camera while it lives: stops its stream, which hands the lent buffers back, so that
    // the sink's cancel finds none outstanding.
    std::mutex stopStreamMutex;
    std::function<void()> stopStream;

    // Marks the camera removed; true for the first call only. It waits for nothing, so that any
    // thread may call it, Aravis' own included.
    bool markRemoved(const std::string& why)
    {
        if (removed.exchange(true))
            return false;
        Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning, "%s", why.c_str());
        return true;
    }
    // What follows a removal: the stream stops (handing the lent buffers back, and waiting for Aravis'
    // stream thread), the grabber's queue comes back cancelled, and the listeners hear of it. Never on
    // one of Aravis' threads: the stream's own would wait for itself.
    void tearDown();
};

// What the "control-lost" handler is given. GLib hands it to Aravis's heartbeat thread under locks of
// its own; the flag publishes it by our own means as well, so that the hand-over is visible to tools
// that check our threads (GLib's locks are not).
struct ControlLostData {
    explicit ControlLostData(std::weak_ptr<RemovalState> s) : state(std::move(s)) { ready.store(true); }
    std::weak_ptr<RemovalState> state;
    std::atomic<bool> ready{false};
};

// Aravis' "control-lost" handler, on whichever of Aravis' threads noticed (heartbeat, USB stream or
// hot-plug thread): marks the camera removed and leaves the teardown to the SDK's event thread.
void onControlLost(ArvDevice*, gpointer data);
void deleteWeakState(gpointer data, GClosure*);

const char* statusText(ArvBufferStatus status);

// Error codes of failed frames: a fixed prefix and the transport's status.
constexpr uint32_t kFrameErrorBase = 0xE1000100;
constexpr uint32_t kFrameTooLarge = 0xE1000200;

class AravisCamera : public DeviceBackend {
public:
    AravisCamera(const KnownDevice& known);
    ~AravisCamera() override;

    std::string deviceClass() const override { return m_known.gige ? "VelmarGigE" : "VelmarUsb"; }
    std::string label() const override { return m_known.info.GetSerialNumber().c_str(); }

    GenICam::gcstring description() override;
    GenICam::gcstring_vector transportDescriptions() override;
    void attachNodeMap(GenApi::INodeMap* nodeMap) override;
    PortStatus read(void* buffer, int64_t address, int64_t length) override;
    PortStatus write(const void* buffer, int64_t address, int64_t length) override;
    std::string lastError() const override;
    bool isPlugged() const override { return !m_state->removed; }
    bool isOpen() const override;
    bool tryOpen(std::string* why) override;
    void close() override;
    size_t payloadSize() const override;
    void setParamsLocked(bool locked) override;
    void setSink(std::shared_ptr<FrameSink> sink) override;
    void buffersQueued() override;
    void detachSink(const FrameSink* sink) override;
    bool streamsPackets() const override { return m_known.gige; }
    bool readStreamRegister(int64_t address, int64_t& value) override;
    bool readTransportRegister(int64_t address, int64_t& value) override;
    bool writeTransportRegister(int64_t address, int64_t value) override;
    int64_t minimumHeartbeatTimeout() const override { return m_known.gige ? kMinimumHeartbeatTimeoutMs : 0; }
    std::map<std::string, std::string> fixedSettings() const override;
    bool writeStreamRegister(int64_t address, int64_t value, bool& accepted) override;
    int addRemovalListener(RemovalListener listener) override;
    void removeRemovalListener(int id) override;
    void holdFrames() override;
    void releaseFrames() override;

    // One 32-bit register of the camera, through the device this backend holds (written only while
    // it holds the control channel); false at once for a camera that was removed or does not answer.
    bool readWord(uint32_t address, guint32& word);
    bool writeWord(uint32_t address, guint32 word);
    // After this backend or Aravis wrote 32-bit registers behind the node map: the nodes over them read
    // the camera again, and their callbacks fire. Takes the node map's lock: for callers that hold none
    // of this backend's stream locks but m_streamControl.
    void invalidateRegisters(std::initializer_list<uint32_t> addresses);

    // A reference to the device (opened on first use), or null when it cannot be opened.
    ArvDevice* deviceRef();
    // True while Aravis' device lives here (for a USB camera: while its interfaces are claimed).
    bool holdsDevice() const;

private:
    PortStatus finish(bool ok, GError* error, const char* what, int64_t address, int64_t length);
    // A GigE camera that let a request time out costs the wait once: until a short request of our own
    // finds it answering again (looked for at most every kAnswerCheckInterval), accesses fail at once.
    bool answering();
    // The camera answered a request: accesses go to it again.
    void answersAgain();
    // A short request of our own (kAnswerCheckTimeoutMs) that the camera answers.
    bool answersShortRequest() const;
    static bool timedOut(const GError* error);
    // A request timed out: the camera does not answer until answering() finds it does.
    void noteFailure(const GError* error);
    void markUnanswered();
    [[noreturn]] void throwStreamUnanswered() const;
    // The camera was removed, or let a request time out and has not answered since: what would only
    // reach it is skipped, and its Aravis objects are let go of on the release thread.
    bool beyondReach() const { return m_state->removed || m_unanswered; }
    // Drops a reference to an Aravis object of this camera: here, or on the release thread when the
    // camera is beyond reach.
    void letGo(gpointer object) const;
    // Releases of this camera's Aravis objects go to the release thread through releaseLater, which
    // counts them by releaseKey (the camera, not this object: a device object made afresh for it sees
    // them too) until they end. awaitReleases waits, at most `bound`, until none is under way; true
    // when none is.
    std::string releaseKey() const;
    void releaseLater(std::function<void()> release) const;
    bool releasesPending() const;
    bool awaitReleases(std::chrono::milliseconds bound) const;
    // How long opening waits for such a release: the camera that answers again ends it within the
    // request of it under way, which Aravis sends for 2.5 s at most.
    static constexpr std::chrono::milliseconds kReleaseWait{3000};
    static constexpr std::chrono::milliseconds kAnswerCheckInterval{500};
    static constexpr int kAnswerCheckTimeoutMs = 100;
    PortStatus writeMemory(const void* buffer, int64_t address, int64_t length);
    // Under m_streamMutex: why the packet size may not become `size` now, or an empty text.
    std::string packetSizeRefusalLocked(uint32_t size) const;
    // Why the camera may not get that heartbeat time-out, or an empty text.
    std::string heartbeatRefusal(int64_t timeoutMs) const;

    // A setting of the transport layer (or of the stream grabber) that Aravis fixes itself: its
    // register, what Aravis does, and why it cannot change.
    struct FixedSetting {
        bool streamGrabber;
        int64_t address;
        const char* feature;
        int64_t value;
        const char* why;
    };
    std::vector<FixedSetting> fixedSettingTable() const;
    bool readFixedSetting(bool streamGrabber, int64_t address, int64_t& value) const;

    // Aravis beats once a second and the camera drops control after its time-out: twice the period
    // survives one lost beat.
    static constexpr int64_t kMinimumHeartbeatTimeoutMs = 2000;
    // Checks the camera is there, holds its device for the call and reports the outcome of access.
    template <typename Access>
    PortStatus accessMemory(const char* what, int64_t address, int64_t length, Access access);
    // Searches the largest packet that arrives unfragmented and leaves it set; false when the camera
    // is not open here, streams, or fires no test packets.
    bool probePacketSize();
    void ensureDeviceLocked();
    // Gives up the device: its reference goes to the caller, to be dropped outside m_mutex.
    ArvDevice* takeDeviceLocked();
    static size_t payloadOf(GenApi::INodeMap* nodeMap);

    // The stream path (AravisStream.cpp).
    void startStream();
    void stopStream();
    void stopStreamLocked(); // under m_streamControl
    void startPumpLocked();  // under m_streamMutex
    void stopPump();
    void returnLentBuffers();
    void pump(ArvStream* stream);
    // The grabber's queued buffers go to the stream while it receives.
    void lendQueuedBuffers();
    // On Aravis' receiving thread: the frames it is done with become results.
    void deliverDone();
    // Missed frames: the gaps in the block ids of the frames Aravis hands back, and the frames its
    // underruns stand for before the first of them and after the last.
    void countFrame(ArvStream* stream, uint64_t frameId);
    void countUnderrunFrames(ArvStream* stream);
    void reportMissed(uint64_t frames);
    void deliver(ArvStream* stream, ArvBuffer* buffer); // under m_deliverMutex
    // Under m_streamMutex: the buffer object Aravis fills for a grabber buffer, with a reference for the
    // caller; null when the buffer went straight back failed (too small for the frame).
    ArvBuffer* wrapForStreamLocked(const FrameBuffer& target, FrameSink& sink);
    // After the stream: the buffer objects kept for Aravis' asynchronous USB stream go.
    void releaseAsyncBuffers();

    // Whom Aravis' receiving thread tells of frames: the camera while the stream is its own, no one
    // once the stream is being let go of (its release may end after the camera). Made with the stream
    // and deleted after it.
    struct StreamEvents {
        std::atomic<AravisCamera*> camera;
    };
    // Aravis' stream thread: a frame is done, or the thread starts or ends.
    static void onStreamEvent(void* events, ArvStreamCallbackType type, ArvBuffer* buffer);
    void wakePump();

    // Aravis' asynchronous USB stream hands frames back without telling: its pump looks this often.
    static constexpr guint64 kPopTimeoutUs = 5000;

    // A grabber buffer that Aravis holds, and the grabber it goes back to.
    struct Lent {
        FrameBuffer buffer;
        std::shared_ptr<FrameSink> sink;
    };

    const KnownDevice m_known;
    const std::shared_ptr<RemovalState> m_state;

    mutable std::mutex m_mutex; // m_device, m_open, m_nodeMap, m_lastError, m_heartbeatTimeout
    ArvDevice* m_device = nullptr;
    int64_t m_heartbeatTimeout = 0; // set through the transport layer, given to the camera when it opens; 0: none

    std::atomic<bool> m_unanswered{false};
    std::mutex m_answerMutex; // m_lastAnswerCheck
    std::chrono::steady_clock::time_point m_lastAnswerCheck;
    gulong m_controlLostHandler = 0;
    bool m_open = false;
    GenApi::INodeMap* m_nodeMap = nullptr;
    std::string m_lastError;

    // Serialises starting and stopping the stream and the packet-size probe; taken before m_streamMutex.
    std::mutex m_streamControl;
    // m_stream, m_streamEvents, m_streamStarting, m_streamPacketSize, m_pump, m_stopPump, m_lent, m_held, m_lending,
    // the packet counts and m_async*; also held while the packet-size register is written, so that no stream starts
    // meanwhile, and while buffers are lent.
    std::mutex m_streamMutex;
    ArvStream* m_stream = nullptr;
    StreamEvents* m_streamEvents = nullptr;
    bool m_streamStarting = false;
    uint32_t m_streamPacketSize = 0; // what the stream's packet layout was made for
    std::thread m_pump;
    bool m_stopPump = false;
    // The pump sleeps until it is to stop, looking now and then for buffers Aravis gave back untold.
    std::mutex m_pumpMutex;
    std::condition_variable m_pumpWake;
    bool m_pumpSignal = false;         // under m_pumpMutex
    bool m_held = false;               // the stream is there, its receiving thread is not
    bool m_lending = false;            // the stream is there and receives: queued buffers go to it
    std::map<ArvBuffer*, Lent> m_lent; // each ArvBuffer with a reference of ours
    uint64_t m_resentBefore = 0, m_lostBefore = 0;
    // Serialises handing frames over (Aravis' receiving thread, the pump) and the missed-frame count
    // of the current stream below (see countFrame).
    std::mutex m_deliverMutex;
    uint64_t m_lastFrameId = 0;     // 0: no frame with a block id yet
    uint64_t m_framesWithoutId = 0; // frames since then whose leader was lost
    guint64 m_underrunsCounted = 0; // Aravis' underruns up to the last frame
    uint64_t m_packetsPerFrame = 0; // packets of one frame; 0 when underruns do not count packets
    // Asynchronous USB transfers only: the frame's size, and the buffer object of each grabber buffer
    // (by its memory and the size it is lent with), each with a reference of its own, for the stream's life.
    size_t m_asyncPayload = 0;
    std::map<std::pair<uint8_t*, size_t>, ArvBuffer*> m_asyncBuffers;
};

} // namespace aravis
} // namespace Nimbo
