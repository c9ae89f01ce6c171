// The stream path of AravisCamera: an Aravis stream pumped into the stream grabber's buffers, and the
// packet statistics kept across streams.
#include "AravisPrivate.h"

#include "Gvcp.h"

#include <cstring>

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

void AravisCamera::stopStream()
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

void AravisCamera::pump(ArvStream* stream)
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

void AravisCamera::deliver(ArvBuffer* buffer)
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

} // namespace aravis
} // namespace Nimbo
