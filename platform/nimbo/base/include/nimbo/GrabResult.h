// The outcome of one queued buffer, as RetrieveResult hands it back.
#pragma once

#include <nimbo/DeviceInfo.h>
#include <nimbo/NimboTypes.h>
#include <nimbo/PixelType.h>

#include <cstddef>
#include <cstdint>

namespace Nimbo {

// Value type, filled by the stream grabber.
class GrabResult {
public:
    EGrabStatus Status() const { return m_status; }
    bool Succeeded() const { return m_status == Grabbed; }
    const void* Context() const { return m_context; }
    StreamBufferHandle Handle() const { return m_handle; }
    void* Buffer() const { return m_buffer; }
    EPayloadType GetPayloadType() const { return m_payloadType; }
    EPixelType GetPixelType() const { return m_pixelType; }
    int32_t GetSizeX() const { return m_sizeX; }
    int32_t GetSizeY() const { return m_sizeY; }
    int32_t GetOffsetX() const { return m_offsetX; }
    int32_t GetOffsetY() const { return m_offsetY; }
    int32_t GetPaddingX() const { return m_paddingX; }
    int32_t GetPaddingY() const { return m_paddingY; }
    int64_t GetPayloadSize() const { return m_payloadSize; }
    size_t GetPayloadSize_t() const { return static_cast<size_t>(m_payloadSize < 0 ? 0 : m_payloadSize); }
    uint32_t GetErrorCode() const { return m_errorCode; }
    String_t GetErrorDescription() const { return m_errorDescription; }
    uint64_t GetBlockID() const { return m_blockId; }
    uint64_t GetTimeStamp() const { return m_timeStamp; }

    // For the stream grabber that fills it.
    EGrabStatus m_status = _UndefinedGrabStatus;
    const void* m_context = nullptr;
    StreamBufferHandle m_handle = nullptr;
    void* m_buffer = nullptr;
    EPayloadType m_payloadType = PayloadType_Undefined;
    EPixelType m_pixelType = PixelType_Undefined;
    int32_t m_sizeX = -1, m_sizeY = -1, m_offsetX = 0, m_offsetY = 0, m_paddingX = 0, m_paddingY = 0;
    int64_t m_payloadSize = 0;
    uint32_t m_errorCode = 0;
    String_t m_errorDescription;
    uint64_t m_blockId = 0;
    uint64_t m_timeStamp = 0;
};

} // namespace Nimbo
