// The stream path of AravisCamera: the stream grabber's buffers are lent to an Aravis stream as they
// are queued, and Aravis writes the frames straight into them; its own receiving thread hands each
// frame back as a result as soon as the frame is done. Buffers still lent when the stream stops come
// back cancelled. Packet statistics are kept across streams.
#include "AravisPrivate.h"

#include "Gvcp.h"
#include "PacketSizeProbe.h"

#include <GenICam/GenericException.h>

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>

namespace Nimbo {
namespace aravis {

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

void AravisCamera::startStream()
{
    std::lock_guard<std::mutex> control(m_streamControl);
    stopStreamLocked();
    ArvDevice* device;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_open || m_state->removed || !m_device)
            return;
        device = ARV_DEVICE(g_object_ref(m_device));
    }
    // The frame's size, which the buffers of Aravis' asynchronous USB stream must have.
    const size_t asyncPayload = m_known.asyncUsb ? payloadSize() : 0;
    {
        // From here on the packet size stays as Aravis reads it for the stream's packet layout.
        std::lock_guard<std::mutex> lock(m_streamMutex);
        m_streamStarting = true;
    }
    GError* error = nullptr;
    auto* events = new StreamEvents{{this}};
    ArvStream* stream = arv_device_create_stream(device, onStreamEvent, events, &error);
    g_object_unref(device);
    if (!stream) {
        delete events;
        {
            std::lock_guard<std::mutex> lock(m_streamMutex);
            m_streamStarting = false;
        }
        // Aravis' own requests that time out while it makes the stream come back as another failure
        // ("No stream channel found"): a camera that does not answer a short request now let them.
        if (m_known.gige && (timedOut(error) || !answersShortRequest())) {
            g_clear_error(&error);
            markUnanswered();
            throwStreamUnanswered();
        }
        const std::string why = errorText(error);
        Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Error, "Camera %s: no stream: %s", label().c_str(),
                           why.c_str());
        GENICAM_THROW(GenICam::RuntimeException, "Camera %s: its stream cannot be made: %s", label().c_str(),
                      why.c_str());
    }
    // Underruns count packets on GigE: the frames they stand for follow from the packets of one frame.
    uint64_t packetsPerFrame = 0;
    guint32 scps = 0;
    if (m_known.gige && readWord(gvbs::StreamChannelPacketSize, scps) &&
        (scps & scps::SizeMask) > scps::StreamHeaderBytes) {
        GenApi::INodeMap* nodeMap;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            nodeMap = m_nodeMap;
        }
        const uint64_t payload = payloadOf(nodeMap);
        const uint64_t perPacket = (scps & scps::SizeMask) - scps::StreamHeaderBytes;
        if (payload > 0)
            packetsPerFrame = 2 + (payload + perPacket - 1) / perPacket; // leader, data, trailer
    }
    {
        std::lock_guard<std::mutex> lock(m_deliverMutex);
        m_lastFrameId = 0;
        m_framesWithoutId = 0;
        m_underrunsCounted = 0;
        m_packetsPerFrame = packetsPerFrame;
    }
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        m_stream = stream;
        m_streamEvents = events;
        m_asyncPayload = asyncPayload;
        m_streamStarting = false;
        m_streamPacketSize = scps & scps::SizeMask;
        m_held = false;
        m_lending = true;
        startPumpLocked();
    }
    lendQueuedBuffers();
    // Aravis has pointed the stream channel at the stream's socket, and may have set its packet size.
    if (m_known.gige)
        invalidateRegisters({gvbs::StreamChannelPacketSize, gvbs::StreamChannelDestination, gvbs::StreamChannelPort});
}

void AravisCamera::stopStream()
{
    std::lock_guard<std::mutex> control(m_streamControl);
    stopStreamLocked();
}

void AravisCamera::holdFrames()
{
    std::lock_guard<std::mutex> control(m_streamControl);
    ArvStream* stream;
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        if (!m_stream || m_held)
            return;
        stream = m_stream;
        m_lending = false;
    }
    stopPump();
    // The stream and its socket stay: the camera goes on sending to them, and a camera may take a
    // new destination only when its acquisition starts. Only the receiving thread stops, and the
    // buffers in the stream go.
    arv_stream_stop_thread(stream, TRUE);
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        m_held = true;
    }
    returnLentBuffers();
}

void AravisCamera::releaseFrames()
{
    std::lock_guard<std::mutex> control(m_streamControl);
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        if (!m_stream || !m_held || m_state->removed)
            return;
        arv_stream_start_thread(m_stream);
        m_held = false;
        m_lending = true;
        startPumpLocked();
    }
    lendQueuedBuffers();
}

void AravisCamera::startPumpLocked()
{
    ArvStream* stream = m_stream;
    m_stopPump = false;
    m_pump = std::thread([this, stream] {
        // Named, so that the threads of a process with cameras can be told apart.
        pthread_setname_np(pthread_self(), "nimbo-pump");
        pump(stream);
    });
}

void AravisCamera::stopPump()
{
    std::thread pump;
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        m_stopPump = true;
        pump.swap(m_pump);
    }
    wakePump();
    if (pump.joinable())
        pump.join();
}

void AravisCamera::onStreamEvent(void* events, ArvStreamCallbackType type, ArvBuffer*)
{
    // On Aravis' receiving thread, just after it put the frame out: the result goes to the grabber
    // from here, without waking a thread of ours.
    if (type != ARV_STREAM_CALLBACK_TYPE_BUFFER_DONE)
        return;
    if (AravisCamera* camera = static_cast<StreamEvents*>(events)->camera.load())
        camera->deliverDone();
}

void AravisCamera::deliverDone()
{
    ArvStream* stream;
    {
        // Once the stream is held or stops, what Aravis puts out (the frame it aborts on the way out
        // among them) comes back cancelled with the rest of the lent buffers.
        std::lock_guard<std::mutex> lock(m_streamMutex);
        if (!m_lending)
            return;
        stream = m_stream; // it lives until its receiving thread, this one, has ended
    }
    std::lock_guard<std::mutex> lock(m_deliverMutex);
    while (ArvBuffer* buffer = arv_stream_try_pop_buffer(stream))
        deliver(stream, buffer);
}

void AravisCamera::buffersQueued()
{
    lendQueuedBuffers();
}

void AravisCamera::wakePump()
{
    {
        std::lock_guard<std::mutex> lock(m_pumpMutex);
        m_pumpSignal = true;
    }
    m_pumpWake.notify_one();
}

void AravisCamera::stopStreamLocked()
{
    ArvStream* stream;
    StreamEvents* events;
    bool held;
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        if (!m_stream)
            return;
        stream = m_stream;
        events = m_streamEvents;
        held = m_held;
        m_lending = false;
    }
    stopPump();
    {
        // Frames missed after the last one that came.
        std::lock_guard<std::mutex> lock(m_deliverMutex);
        countUnderrunFrames(stream);
    }
    if (ARV_IS_GV_STREAM(stream)) {
        guint64 resent = 0, missing = 0;
        arv_gv_stream_get_statistics(ARV_GV_STREAM(stream), &resent, &missing);
        std::lock_guard<std::mutex> lock(m_streamMutex);
        m_resentBefore += resent;
        m_lostBefore += missing;
    }
    // Destroying the stream stops the camera's stream channel with a request of Aravis' that tells
    // nothing of a time-out. Made here first, it shows a camera that lets it time out, whose stream then
    // goes on the release thread rather than wait for the camera once more.
    if (m_known.gige && !beyondReach())
        writeWord(gvbs::StreamChannelPort, 0);
    if (beyondReach()) {
        // Destroying the stream stops the camera's stream channel, a request that waits for the
        // camera: the stream goes on the release thread. Its receiving thread stops here, letting go
        // of every buffer (whose memory is the grabber's), so that nothing of the grabber or of this
        // camera is touched any more.
        if (!held)
            arv_stream_stop_thread(stream, TRUE);
        events->camera = nullptr;
        // Aravis stops the receiving thread of a stream it destroys, and insists that it runs then.
        arv_stream_start_thread(stream);
        releaseLater([stream, events] {
            g_object_unref(stream);
            delete events;
        });
    } else {
        if (held)
            arv_stream_start_thread(stream);
        // Aravis' receiving thread ends here; only then is no lent buffer written any more. The ArvBuffers
        // it still holds go with the stream; their memory is the grabber's and stays.
        g_object_unref(stream);
        delete events;
    }
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        m_stream = nullptr;
        m_streamEvents = nullptr;
        m_held = false;
    }
    returnLentBuffers();
    releaseAsyncBuffers();
}

void AravisCamera::returnLentBuffers()
{
    std::map<ArvBuffer*, Lent> lent;
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        lent.swap(m_lent);
    }
    for (const auto& l : lent) {
        // The grab engine keeps a buffer that comes back cancelled as clean as it was queued; one that
        // Aravis began to fill is cleared again rather than handed back with part of a frame. Aravis
        // marks a buffer it takes for a frame; one it never took keeps the status it was made with.
        if (arv_buffer_get_status(l.first) != ARV_BUFFER_STATUS_CLEARED)
            std::memset(l.second.buffer.data, 0, l.second.buffer.size);
        g_object_unref(l.first);
        FrameInfo info;
        info.cancelled = true;
        l.second.sink->deliver(l.second.buffer, info);
    }
}

void AravisCamera::pump(ArvStream* stream)
{
    bool polls;
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        polls = m_asyncPayload > 0;
    }
    for (;;) {
        if (!polls) {
            // Aravis' receiving thread hands the frames over as they are done; this only catches a
            // buffer it gives back without telling (one it could not make a frame of).
            std::unique_lock<std::mutex> lock(m_pumpMutex);
            m_pumpWake.wait_for(lock, std::chrono::seconds(1), [this] { return m_pumpSignal; });
            m_pumpSignal = false;
        }
        {
            std::lock_guard<std::mutex> lock(m_streamMutex);
            if (m_stopPump)
                return;
        }
        if (polls) {
            // Aravis' asynchronous USB stream hands frames back without telling.
            if (ArvBuffer* buffer = arv_stream_timeout_pop_buffer(stream, kPopTimeoutUs)) {
                std::lock_guard<std::mutex> lock(m_deliverMutex);
                deliver(stream, buffer);
            }
            continue;
        }
        std::lock_guard<std::mutex> lock(m_deliverMutex);
        while (ArvBuffer* buffer = arv_stream_try_pop_buffer(stream))
            deliver(stream, buffer);
    }
}

void AravisCamera::lendQueuedBuffers()
{
    std::shared_ptr<FrameSink> sink;
    {
        std::lock_guard<std::mutex> lock(m_state->sinkMutex);
        sink = m_state->sink;
    }
    if (!sink || m_state->removed)
        return;
    // Held throughout, so that the stream neither stops nor is held while a buffer goes to it.
    std::lock_guard<std::mutex> lock(m_streamMutex);
    if (!m_lending)
        return;
    FrameBuffer target;
    while (sink->takeBuffer(target)) {
        // Aravis writes the frame straight into the grabber's buffer; the ArvBuffer only wraps it. A
        // reference of our own keeps it after the stream has let go of it, so that a buffer handed back
        // cancelled shows whether Aravis had begun to fill it.
        ArvBuffer* buffer = wrapForStreamLocked(target, *sink);
        if (!buffer)
            continue; // handed back failed
        g_object_ref(buffer);
        m_lent[buffer] = Lent{target, sink};
        arv_stream_push_buffer(m_stream, buffer);
    }
}

void AravisCamera::countFrame(ArvStream* stream, uint64_t frameId)
{
    // A frame whose leader was lost carries no block id; it lies in the gap before the next one.
    if (frameId == 0) {
        ++m_framesWithoutId;
        return;
    }
    if (m_lastFrameId == 0) {
        // What Aravis dropped for want of a buffer before the first frame.
        countUnderrunFrames(stream);
    } else {
        // GigE Vision block ids run from 1 to 65535 and wrap past 0 (extended and USB3 Vision ids do
        // not wrap); a step back, or one of half the range, is a camera that started counting anew.
        uint64_t step = 0;
        if (frameId > m_lastFrameId)
            step = frameId - m_lastFrameId;
        else if (m_known.gige && m_lastFrameId <= 0xFFFF && frameId <= 0xFFFF)
            step = frameId + 0xFFFF - m_lastFrameId;
        const bool restarted = step == 0 || (m_known.gige && frameId <= 0xFFFF && step > 0x8000);
        if (!restarted && step - 1 > m_framesWithoutId)
            reportMissed(step - 1 - m_framesWithoutId);
    }
    m_lastFrameId = frameId;
    m_framesWithoutId = 0;
    guint64 completed = 0, failures = 0, underruns = 0;
    arv_stream_get_statistics(stream, &completed, &failures, &underruns);
    m_underrunsCounted = underruns;
}

void AravisCamera::countUnderrunFrames(ArvStream* stream)
{
    if (m_packetsPerFrame == 0)
        return;
    guint64 completed = 0, failures = 0, underruns = 0;
    arv_stream_get_statistics(stream, &completed, &failures, &underruns);
    if (underruns <= m_underrunsCounted)
        return;
    // Every packet of a frame that finds no buffer is one underrun: whole frames of them count, so
    // that the first packets of a frame that then found a buffer (it came, without its block id),
    // and stray packets, add none.
    const uint64_t packets = underruns - m_underrunsCounted;
    m_underrunsCounted = underruns;
    reportMissed(packets / m_packetsPerFrame);
}

void AravisCamera::reportMissed(uint64_t frames)
{
    std::shared_ptr<FrameSink> sink;
    {
        std::lock_guard<std::mutex> lock(m_state->sinkMutex);
        sink = m_state->sink;
    }
    if (sink && frames > 0)
        sink->framesMissed(frames);
}

void AravisCamera::deliver(ArvStream* stream, ArvBuffer* buffer)
{
    Lent lent;
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        auto it = m_lent.find(buffer);
        if (it == m_lent.end()) {
            g_object_unref(buffer);
            return;
        }
        lent = it->second;
        m_lent.erase(it);
    }
    g_object_unref(buffer); // our own reference; the stream's goes at the end
    const FrameBuffer& target = lent.buffer;
    FrameInfo info;
    info.blockId = arv_buffer_get_frame_id(buffer);
    countFrame(stream, info.blockId);
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
        const bool image = type == ARV_BUFFER_PAYLOAD_TYPE_IMAGE || type == ARV_BUFFER_PAYLOAD_TYPE_EXTENDED_CHUNK_DATA;
        const void* data = image ? arv_buffer_get_image_data(buffer, &size) : arv_buffer_get_data(buffer, &size);
        if (image) {
            info.pixelType = arv_buffer_get_image_pixel_format(buffer);
            info.width = arv_buffer_get_image_width(buffer);
            info.height = arv_buffer_get_image_height(buffer);
            info.offsetX = arv_buffer_get_image_x(buffer);
            info.offsetY = arv_buffer_get_image_y(buffer);
        }
        // Aravis cuts a frame at the end of a buffer too small for it and may still call it complete:
        // the image its leader announces must be there whole.
        size_t frameSize = size;
        if (image) {
            const uint64_t bits = uint64_t(ARV_PIXEL_FORMAT_BIT_PER_PIXEL(info.pixelType)) *
                                  uint64_t(std::max(info.width, 0)) * uint64_t(std::max(info.height, 0));
            frameSize = std::max(frameSize, static_cast<size_t>((bits + 7) / 8));
        }
        const auto* bytes = static_cast<const uint8_t*>(data);
        if (!bytes || bytes < target.data || bytes + frameSize > target.data + target.size || frameSize > size) {
            info.failed = true;
            info.errorCode = kFrameTooLarge;
            info.errorText = "The frame (" + std::to_string(frameSize) + " bytes) does not fit the buffer (" +
                             std::to_string(target.size) + " bytes).";
        } else {
            // The payload is where the result's buffer begins; only a part found further in moves.
            if (bytes != target.data)
                std::memmove(target.data, bytes, size);
            info.payloadSize = size;
        }
    }
    g_object_unref(buffer);
    lent.sink->deliver(target, info);
}

ArvBuffer* AravisCamera::wrapForStreamLocked(const FrameBuffer& target, FrameSink& sink)
{
    if (!m_known.asyncUsb)
        return arv_buffer_new_full(target.size, target.data, nullptr, nullptr);
    // Aravis' asynchronous USB stream cuts a buffer into transfers by its size once, when it first
    // sees the buffer object, and keeps them for the stream's life: each frame needs a buffer of its
    // own size, and a grabber buffer always the same buffer object, never one at the address of a
    // freed one. Such an object keeps its last frame's status until Aravis takes it again: cancelled,
    // it comes back cleared even when no frame had begun in it.
    const size_t size = m_asyncPayload > 0 ? m_asyncPayload : target.size;
    if (size <= target.size) {
        ArvBuffer*& wrapper = m_asyncBuffers[{target.data, size}];
        if (!wrapper)
            wrapper = arv_buffer_new_full(size, target.data, nullptr, nullptr);
        return ARV_BUFFER(g_object_ref(wrapper));
    }
    FrameInfo info;
    info.failed = true;
    info.errorCode = kFrameTooLarge;
    info.errorText = "The frame (" + std::to_string(size) + " bytes) does not fit the buffer (" +
                     std::to_string(target.size) + " bytes).";
    sink.deliver(target, info);
    return nullptr;
}

void AravisCamera::releaseAsyncBuffers()
{
    std::map<std::pair<uint8_t*, size_t>, ArvBuffer*> buffers;
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        buffers.swap(m_asyncBuffers);
    }
    for (const auto& b : buffers)
        g_object_unref(b.second);
}

} // namespace aravis
} // namespace Nimbo
