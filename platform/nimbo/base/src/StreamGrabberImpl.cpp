// Stream grabber of a device, over the frame source of its backend.
#include "StreamGrabberImpl.h"

#include "emulation/CameraModel.h"

#include <GenApi/GenApi.h>
#include <GenICam/GenericException.h>

#include <algorithm>
#include <thread>

namespace Nimbo {

using namespace emulation;

// The part the camera's frame thread holds on to (as its sink) for as long as it paints.
class StreamGrabberImpl::Core : public FrameSink {
public:
    struct Registration {
        uint8_t* data;
        size_t size;
        bool queued;
        const void* context;
    };

    explicit Core(WaitObject waitObject) : waitObject(std::move(waitObject)) {}

    bool takeBuffer(FrameBuffer& buffer) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (removed || queue.empty())
            return false;
        buffer = queue.front();
        queue.pop_front();
        ++inFlight;
        return true;
    }

    void deliver(const FrameBuffer& buffer, const FrameInfo& info) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            --inFlight;
            GrabResult r;
            r.m_status = info.cancelled ? Canceled : info.failed ? Failed : Grabbed;
            r.m_context = buffer.context;
            r.m_handle = buffer.handle;
            r.m_buffer = buffer.data;
            r.m_payloadType = PayloadType_Image;
            r.m_pixelType = static_cast<EPixelType>(info.pixelType);
            r.m_sizeX = info.width;
            r.m_sizeY = info.height;
            r.m_offsetX = info.offsetX;
            r.m_offsetY = info.offsetY;
            r.m_payloadSize = static_cast<int64_t>(info.payloadSize);
            r.m_errorCode = info.errorCode;
            r.m_errorDescription = info.errorText.c_str();
            r.m_blockId = info.blockId;
            r.m_timeStamp = info.timeStamp;
            finishLocked(buffer.handle);
            results.push_back(r);
            if (!info.cancelled) {
                ++totalCount;
                if (info.failed)
                    ++failedCount;
            }
        }
        idle.notify_all();
        waitObject.Signal();
    }

    void framesMissed(uint64_t count) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        missedCount += count;
    }

    void cameraRemoved() override
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            removed = true;
        }
        cancel();
    }

    // Every queued buffer becomes a cancelled result; waits for the one being painted.
    void cancel()
    {
        bool any = false;
        {
            std::unique_lock<std::mutex> lock(mutex);
            idle.wait(lock, [this] { return inFlight == 0; });
            while (!queue.empty()) {
                const FrameBuffer b = queue.front();
                queue.pop_front();
                GrabResult r;
                r.m_status = Canceled;
                r.m_context = b.context;
                r.m_handle = b.handle;
                r.m_buffer = b.data;
                finishLocked(b.handle);
                results.push_back(r);
                any = true;
            }
        }
        if (any)
            waitObject.Signal();
    }

    void finishLocked(StreamBufferHandle handle)
    {
        auto it = registrations.find(handle);
        if (it != registrations.end())
            it->second.queued = false;
    }

    std::mutex mutex;
    std::condition_variable idle;
    std::map<StreamBufferHandle, Registration> registrations;
    std::deque<FrameBuffer> queue;
    std::deque<GrabResult> results;
    int inFlight = 0;
    bool removed = false;
    bool open = false;
    bool prepared = false;
    std::thread::id finisher; // the thread in FinishGrab, none when no grab is finishing: QueueBuffer refuses
    int64_t maxBufferSize = 0;
    int64_t maxBufferSizeSet = 0; // 0: MaxBufferSize follows the camera's payload size
    int64_t maxNumBuffer = 0;
    uint64_t nextHandle = 1;
    uint64_t totalCount = 0, failedCount = 0, missedCount = 0;
    WaitObject waitObject;
};

namespace {

// The value the user set, else the camera's payload at its current settings (read outside the
// grabber's lock: a real camera's payload comes through its node map).
template <class Core>
int64_t maxBufferSizeOf(Core& core, const DeviceBackend* camera)
{
    {
        std::lock_guard<std::mutex> lock(core.mutex);
        if (core.maxBufferSizeSet > 0)
            return core.maxBufferSizeSet;
    }
    return camera ? static_cast<int64_t>(camera->payloadSize()) : 0;
}

} // namespace

StreamGrabberImpl::StreamGrabberImpl(std::shared_ptr<DeviceBackend> camera)
    : m_camera(std::move(camera)), m_port(new RegisterPort)
{
    const std::string deviceClass = m_camera->deviceClass();
    m_core = std::make_shared<Core>(m_waitObject);
    m_port->define(sgreg::MaxBufferSize, 0); // answered by the hooks
    m_port->define(sgreg::MaxNumBuffer, 16);
    m_port->define(sgreg::TotalBufferCount, 0);
    m_port->define(sgreg::FailedBufferCount, 0);
    if (deviceClass == "VelmarGigE") {
        m_port->define(sgreg::MissedFrameCount, 0);
        m_port->define(sgreg::ProbePacketSize, 0);
        if (m_camera->streamsPackets()) {
            m_port->define(sgreg::PacketSize, 1500);
            m_port->define(sgreg::InterPacketDelay, 0);
            m_port->define(sgreg::ResendPacketCount, 0);
            m_port->define(sgreg::LostPacketCount, 0);
        }
    } else {
        m_port->define(sgreg::BufferUnderrunCount, 0);
        m_port->define(sgreg::MaxTransferSize, 262144);
        m_port->define(sgreg::NumMaxQueuedUrbs, 64);
    }
    std::weak_ptr<Core> weak = m_core;
    std::weak_ptr<DeviceBackend> weakCamera = m_camera;
    m_port->setHooks(
        [weak, weakCamera](int64_t address, int64_t& value) {
            auto core = weak.lock();
            if (!core)
                return false;
            auto camera = weakCamera.lock();
            if (camera && camera->readStreamRegister(address, value))
                return true;
            if (address == sgreg::MaxBufferSize) {
                value = maxBufferSizeOf(*core, camera.get());
                return true;
            }
            std::lock_guard<std::mutex> lock(core->mutex);
            switch (address) {
            case sgreg::TotalBufferCount: value = static_cast<int64_t>(core->totalCount); return true;
            case sgreg::FailedBufferCount: value = static_cast<int64_t>(core->failedCount); return true;
            case sgreg::MissedFrameCount:
            case sgreg::BufferUnderrunCount: value = static_cast<int64_t>(core->missedCount); return true;
            case sgreg::ProbePacketSize: value = 0; return true; // the probe completes at once
            default: return false;
            }
        },
        [weak, weakCamera](int64_t address, int64_t value) {
            auto core = weak.lock();
            if (!core)
                return false;
            bool accepted = false;
            if (auto camera = weakCamera.lock())
                if (camera->writeStreamRegister(address, value, accepted))
                    return accepted;
            std::lock_guard<std::mutex> lock(core->mutex);
            switch (address) {
            case sgreg::MaxBufferSize:
                if (core->prepared || value <= 0)
                    return false;
                core->maxBufferSizeSet = value;
                return true;
            case sgreg::MaxNumBuffer: return !core->prepared && value > 0; // fixed while a grab is prepared
            case sgreg::TotalBufferCount:
            case sgreg::FailedBufferCount:
            case sgreg::MissedFrameCount:
            case sgreg::BufferUnderrunCount:
            case sgreg::ResendPacketCount:
            case sgreg::LostPacketCount: return false;
            default: return true;
            }
        });
}

StreamGrabberImpl::~StreamGrabberImpl()
{
    try {
        Close();
    } catch (...) {
        // Closing a removed camera's grabber must not throw out of a destructor.
    }
}

void StreamGrabberImpl::Open()
{
    {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        if (m_core->open)
            return;
        if (!m_camera->isOpen())
            GENICAM_THROW(GenICam::RuntimeException, "The stream grabber cannot open: the device is not open.");
        m_core->open = true;
    }
    m_camera->setSink(m_core);
    if (m_plugin)
        m_plugin->OnStreamGrabberOpened();
}

void StreamGrabberImpl::Close()
{
    {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        if (!m_core->open)
            return;
    }
    if (m_plugin)
        m_plugin->OnStreamGrabberClosing();
    bool prepared;
    {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        prepared = m_core->prepared;
    }
    if (prepared)
        FinishGrab();
    m_camera->detachSink(m_core.get());
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->open = false;
    m_core->maxBufferSizeSet = 0;
    m_core->results.clear();
    m_waitObject.Reset();
}

bool StreamGrabberImpl::IsOpen() const
{
    std::lock_guard<std::mutex> lock(m_core->mutex);
    return m_core->open;
}

void StreamGrabberImpl::PrepareGrab()
{
    const int64_t maxBufferSize = maxBufferSizeOf(*m_core, m_camera.get());
    {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        if (!m_core->open)
            GENICAM_THROW(GenICam::RuntimeException, "PrepareGrab: the stream grabber is not open.");
        if (m_core->prepared)
            return;
        m_core->maxBufferSize = maxBufferSize;
        m_core->maxNumBuffer = std::min<int64_t>(m_port->value(sgreg::MaxNumBuffer), kMaxNumBuffer);
        m_core->prepared = true;
        m_core->removed = !m_camera->isPlugged();
    }
    try {
        lockParameters(true);
    } catch (...) {
        // Without its stream the grab would never see a frame: it is not prepared.
        std::lock_guard<std::mutex> lock(m_core->mutex);
        m_core->prepared = false;
        throw;
    }
    if (m_plugin)
        m_plugin->OnPrepareGrab();
}

void StreamGrabberImpl::FinishGrab()
{
    {
        std::unique_lock<std::mutex> lock(m_core->mutex);
        const std::thread::id me = std::this_thread::get_id();
        // Called again from within this thread's own finish: that finish gives everything back.
        if (m_core->finisher == me)
            return;
        // Another thread's finish ends first. Returning while it still works, this caller would take
        // its buffers back early, and a grab prepared meanwhile would lose its registrations to it
        // with its buffers still queued.
        m_core->idle.wait(lock, [this] { return m_core->finisher == std::thread::id(); });
        if (!m_core->prepared)
            return;
        // From here on nothing joins the queue: a buffer queued after the cancel below would outlive
        // its registration, and the next grab would hand memory its owner has freed to the camera.
        m_core->finisher = me;
    }
    try {
        // Buffers still queued come back cancelled rather than staying in the frame thread's reach.
        m_camera->holdFrames();
        m_core->cancel();
        if (m_finishingHook)
            m_finishingHook();
    } catch (...) {
        // Still prepared: a later FinishGrab tries again.
        {
            std::lock_guard<std::mutex> lock(m_core->mutex);
            m_core->finisher = std::thread::id();
        }
        m_core->idle.notify_all();
        throw;
    }
    bool removed;
    {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        m_core->registrations.clear();
        m_core->prepared = false;
        m_core->finisher = std::thread::id();
        removed = m_core->removed;
    }
    m_core->idle.notify_all();
    // A removed camera may be someone else's by now.
    if (!removed)
        lockParameters(false);
    if (m_plugin)
        m_plugin->OnFinishGrab();
}

void StreamGrabberImpl::lockParameters(bool locked)
{
    // The camera has changed the value itself, also when locking failed half-way: the nodes that
    // depend on it must read it afresh.
    const auto invalidate = [this] {
        if (GenApi::INode* node = m_deviceNodeMap ? m_deviceNodeMap->GetNode("TLParamsLocked") : nullptr)
            node->InvalidateNode();
    };
    try {
        m_camera->setParamsLocked(locked);
    } catch (...) {
        invalidate();
        throw;
    }
    invalidate();
}

StreamBufferHandle StreamGrabberImpl::RegisterBuffer(void* buffer, size_t bufferSize)
{
    std::lock_guard<std::mutex> lock(m_core->mutex);
    if (!m_core->prepared)
        GENICAM_THROW(GenICam::RuntimeException, "RegisterBuffer: PrepareGrab has not been called.");
    if (!buffer || bufferSize == 0)
        GENICAM_THROW(GenICam::InvalidArgumentException, "RegisterBuffer: the buffer is null or empty.");
    if (static_cast<int64_t>(bufferSize) > m_core->maxBufferSize)
        GENICAM_THROW(GenICam::OutOfRangeException, "RegisterBuffer: %zu bytes exceed MaxBufferSize (%lld).",
                      bufferSize, static_cast<long long>(m_core->maxBufferSize));
    if (static_cast<int64_t>(m_core->registrations.size()) >= m_core->maxNumBuffer)
        GENICAM_THROW(GenICam::OutOfRangeException, "RegisterBuffer: MaxNumBuffer (%lld) buffers are registered.",
                      static_cast<long long>(m_core->maxNumBuffer));
    for (const auto& r : m_core->registrations)
        if (r.second.data == buffer)
            GENICAM_THROW(GenICam::InvalidArgumentException, "RegisterBuffer: the buffer is registered already.");
    StreamBufferHandle handle = reinterpret_cast<StreamBufferHandle>(static_cast<uintptr_t>(m_core->nextHandle++));
    m_core->registrations[handle] = {static_cast<uint8_t*>(buffer), bufferSize, false, nullptr};
    return handle;
}

const void* StreamGrabberImpl::DeregisterBuffer(StreamBufferHandle handle)
{
    std::lock_guard<std::mutex> lock(m_core->mutex);
    auto it = m_core->registrations.find(handle);
    if (it == m_core->registrations.end())
        GENICAM_THROW(GenICam::InvalidArgumentException, "DeregisterBuffer: unknown buffer handle.");
    if (it->second.queued)
        GENICAM_THROW(GenICam::RuntimeException, "DeregisterBuffer: the buffer is still queued.");
    const void* data = it->second.data;
    m_core->registrations.erase(it);
    return data;
}

void StreamGrabberImpl::QueueBuffer(StreamBufferHandle handle, const void* context)
{
    {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        auto it = m_core->registrations.find(handle);
        if (it == m_core->registrations.end())
            GENICAM_THROW(GenICam::InvalidArgumentException, "QueueBuffer: unknown buffer handle.");
        if (it->second.queued)
            GENICAM_THROW(GenICam::RuntimeException, "QueueBuffer: the buffer is queued already.");
        if (m_core->removed)
            GENICAM_THROW(GenICam::RuntimeException, "QueueBuffer: the device has been removed.");
        if (m_core->finisher != std::thread::id())
            GENICAM_THROW(GenICam::RuntimeException, "QueueBuffer: the grab is finishing.");
        it->second.queued = true;
        it->second.context = context;
        m_core->queue.push_back({handle, context, it->second.data, it->second.size});
    }
    m_camera->buffersQueued();
}

void StreamGrabberImpl::CancelGrab()
{
    m_camera->holdFrames();
    m_core->cancel();
    m_camera->releaseFrames();
    if (m_plugin)
        m_plugin->OnGrabCancelled();
}

bool StreamGrabberImpl::RetrieveResult(GrabResult& result)
{
    std::lock_guard<std::mutex> lock(m_core->mutex);
    if (m_core->results.empty()) {
        m_waitObject.Reset();
        return false;
    }
    result = m_core->results.front();
    m_core->results.pop_front();
    if (m_core->results.empty())
        m_waitObject.Reset();
    return true;
}

WaitObject& StreamGrabberImpl::GetWaitObject() const
{
    return m_waitObject;
}

} // namespace Nimbo
