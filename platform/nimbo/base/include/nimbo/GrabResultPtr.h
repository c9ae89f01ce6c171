// A grab result of the instant camera; its buffer goes back to the camera when the last copy goes.
#pragma once

#include <nimbo/GrabResult.h>

#include <memory>

namespace Nimbo {

// The data of one grab result. Read-only for the user.
class CGrabResultData {
public:
    bool GrabSucceeded() const { return m_result.Status() == Grabbed; }
    EGrabStatus GetStatus() const { return m_result.Status(); }
    const void* GetBuffer() const { return m_result.Buffer(); }
    size_t GetBufferSize() const { return m_bufferSize; }
    size_t GetPayloadSize() const { return m_result.GetPayloadSize_t(); }
    EPixelType GetPixelType() const { return m_result.GetPixelType(); }
    uint32_t GetWidth() const { return m_result.GetSizeX() < 0 ? 0u : static_cast<uint32_t>(m_result.GetSizeX()); }
    uint32_t GetHeight() const { return m_result.GetSizeY() < 0 ? 0u : static_cast<uint32_t>(m_result.GetSizeY()); }
    uint32_t GetOffsetX() const { return static_cast<uint32_t>(m_result.GetOffsetX()); }
    uint32_t GetOffsetY() const { return static_cast<uint32_t>(m_result.GetOffsetY()); }
    uint32_t GetPaddingX() const { return static_cast<uint32_t>(m_result.GetPaddingX()); }
    uint32_t GetErrorCode() const { return m_result.GetErrorCode(); }
    String_t GetErrorDescription() const { return m_result.GetErrorDescription(); }
    uint64_t GetBlockID() const { return m_result.GetBlockID(); }
    uint64_t GetTimeStamp() const { return m_result.GetTimeStamp(); }
    // Number of images the camera skipped before this one.
    size_t GetNumberOfSkippedImages() const { return m_skipped; }
    const GrabResult& GetRawResult() const { return m_result; }

    // For the instant camera.
    GrabResult m_result;
    size_t m_bufferSize = 0;
    size_t m_skipped = 0;
};

// Shared ownership; the camera requeues the buffer (or frees it after the grab) on the last release.
class CGrabResultPtr {
public:
    CGrabResultPtr() = default;
    explicit CGrabResultPtr(std::shared_ptr<CGrabResultData> data) : m_data(std::move(data)) {}
    bool IsValid() const { return m_data != nullptr; }
    explicit operator bool() const { return IsValid(); }
    const CGrabResultData* operator->() const;
    const CGrabResultData& operator*() const { return *operator->(); }
    void Release() { m_data.reset(); }

private:
    std::shared_ptr<CGrabResultData> m_data;
};

} // namespace Nimbo
