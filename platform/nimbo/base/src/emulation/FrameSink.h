// What an emulated camera hands its frames to: the stream grabber's queue of buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Nimbo {
namespace emulation {

// A buffer the frame thread fills; it was registered and queued by the stream grabber's user.
struct FrameBuffer {
    void* handle = nullptr;
    const void* context = nullptr;
    uint8_t* data = nullptr;
    size_t size = 0;
};

struct FrameInfo {
    bool failed = false;
    uint32_t errorCode = 0;
    std::string errorText;
    uint32_t pixelType = 0;
    int width = 0, height = 0, offsetX = 0, offsetY = 0;
    size_t payloadSize = 0;
    uint64_t blockId = 0;
    uint64_t timeStamp = 0; // ns
};

// Implemented by the stream grabber; called from the camera's frame thread.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Takes the oldest queued buffer; false when none is queued (the frame is then missed).
    virtual bool takeBuffer(FrameBuffer& buffer) = 0;
    // Hands a buffer taken by takeBuffer back as a result.
    virtual void deliver(const FrameBuffer& buffer, const FrameInfo& info) = 0;
    // Counts a frame that found no buffer.
    virtual void frameMissed() = 0;
    // The camera went away: every queued buffer comes back cancelled and new ones are refused.
    virtual void cameraRemoved() = 0;
};

} // namespace emulation
} // namespace Nimbo
