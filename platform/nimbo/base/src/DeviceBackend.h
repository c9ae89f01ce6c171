// The seam between the SDK's device objects and what stands behind them: an emulated camera or a
// real one reached through a transport library. A backend gives register access, the camera's own
// description, a frame source and removal notices; the node maps, stream grabber and callbacks
// above it are the same for every backend.
#pragma once

#include <GenICam/gcstring_vector.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace GenApi {
class INodeMap;
}

namespace Nimbo {

// Port access result; the GenICam port adapter turns failures into exceptions.
enum class PortStatus { Ok, Removed, BadAddress, Rejected };

// A buffer the frame source fills; it was registered and queued by the stream grabber's user.
struct FrameBuffer {
    void* handle = nullptr;
    const void* context = nullptr;
    uint8_t* data = nullptr;
    size_t size = 0;
};

struct FrameInfo {
    bool cancelled = false; // the buffer comes back without a frame (see DeviceBackend::holdFrames)
    bool failed = false;
    uint32_t errorCode = 0;
    std::string errorText;
    uint32_t pixelType = 0;
    int width = 0, height = 0, offsetX = 0, offsetY = 0;
    size_t payloadSize = 0;
    uint64_t blockId = 0;
    uint64_t timeStamp = 0; // ns
};

// Implemented by the stream grabber; called from the backend's frame thread.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Takes the oldest queued buffer; false when none is queued (the frame is then missed). A source
    // may take buffers ahead of its frames; each comes back through deliver.
    virtual bool takeBuffer(FrameBuffer& buffer) = 0;
    // Hands a buffer taken by takeBuffer back as a result.
    virtual void deliver(const FrameBuffer& buffer, const FrameInfo& info) = 0;
    // Counts frames that found no buffer.
    virtual void framesMissed(uint64_t count) = 0;
    // The camera went away: every queued buffer comes back cancelled and new ones are refused.
    virtual void cameraRemoved() = 0;
};

// Threads: every operation may be called from any thread; removal listeners run on an SDK thread.
class DeviceBackend {
public:
    virtual ~DeviceBackend() = default;

    // "VelmarUsb" or "VelmarGigE".
    virtual std::string deviceClass() const = 0;
    // How messages name the camera (its serial number).
    virtual std::string label() const = 0;
    // The camera's GenICam description; throws a GenICam exception when it cannot be had.
    virtual GenICam::gcstring description() = 0;
    // Descriptions merged below the camera's own (transport registers every such camera has).
    virtual GenICam::gcstring_vector transportDescriptions() { return {}; }
    // The node map built from the description (null before it is destroyed): backends that learn
    // feature values (the payload size) read them through it, never through a feature engine of
    // their own.
    virtual void attachNodeMap(GenApi::INodeMap* /*nodeMap*/) {}

    virtual PortStatus read(void* buffer, int64_t address, int64_t length) = 0;
    virtual PortStatus write(const void* buffer, int64_t address, int64_t length) = 0;
    // Why the last access failed, for the exception text.
    virtual std::string lastError() const = 0;

    virtual bool isPlugged() const = 0;
    virtual bool isOpen() const = 0;
    // False when removed, in use elsewhere or open already; `why` says which.
    virtual bool tryOpen(std::string* why) = 0;
    virtual void close() = 0;

    // Bytes of one frame at the current settings.
    virtual size_t payloadSize() const = 0;
    // Set between PrepareGrab and FinishGrab. Locking throws a GenICam exception, the parameters left
    // unlocked, when the camera cannot stream (its stream cannot be made, say).
    virtual void setParamsLocked(bool locked) = 0;
    // The stream grabber that receives frames.
    virtual void setSink(std::shared_ptr<FrameSink> sink) = 0;
    // The grabber queued buffers: a source that takes buffers ahead of its frames takes them now.
    virtual void buffersQueued() {}
    // Detaches the sink only when it is still the attached one.
    virtual void detachSink(const FrameSink* sink) = 0;

    // True when frames arrive in packets (GigE Vision): the stream grabber then offers the packet
    // size, the inter-packet delay and the packet statistics.
    virtual bool streamsPackets() const { return false; }
    // Stream-grabber registers the backend answers itself (transport statistics, packet size
    // probe); false leaves the register to the grabber.
    virtual bool readStreamRegister(int64_t /*address*/, int64_t& /*value*/) { return false; }
    virtual bool writeStreamRegister(int64_t /*address*/, int64_t /*value*/, bool& /*accepted*/) { return false; }

    // Transport-layer registers the backend carries to the camera (the heartbeat time-out): false
    // leaves the register to the device, which keeps it in memory. A value the camera cannot keep is
    // refused with a GenICam exception that says why.
    virtual bool readTransportRegister(int64_t /*address*/, int64_t& /*value*/) { return false; }
    virtual bool writeTransportRegister(int64_t /*address*/, int64_t /*value*/) { return false; }
    // The smallest heartbeat time-out (ms) the transport keeps the camera controlled with; 0: any.
    virtual int64_t minimumHeartbeatTimeout() const { return 0; }
    // Settings of the transport layer and the stream grabber that the transport fixes itself, by feature
    // name, each with why (for the tool tip): their features are read-only, and read what the transport
    // uses through readTransportRegister and readStreamRegister.
    virtual std::map<std::string, std::string> fixedSettings() const { return {}; }

    // A source that takes buffers ahead of its frames hands every one it holds back as cancelled
    // (untouched, or cleared if a frame had begun in it) and takes no more until releaseFrames; both
    // return when done. The grabber holds the frames
    // while it cancels its queue, which waits for every buffer taken.
    virtual void holdFrames() {}
    virtual void releaseFrames() {}

    // Called once per removal, on an SDK thread; removing a listener waits for its call to end.
    using RemovalListener = std::function<void()>;
    virtual int addRemovalListener(RemovalListener listener) = 0;
    virtual void removeRemovalListener(int id) = 0;
};

} // namespace Nimbo
