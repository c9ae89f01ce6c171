// The engine's view of one camera device, its stream grabber and its node maps.
//
// The grab engine and the camera configuration talk to the SDK only through these interfaces, so the
// same engine runs on the SDK's devices (through an adapter) and on the in-process devices of the tests
// and benchmarks.
#pragma once

#include <nimbo/DeviceInfo.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace GenApi {
class INodeMap;
}

namespace grab {

// GenApi access modes, numbered as the node maps number them.
enum class AccessMode { NI = 0, NA = 1, WO = 2, RO = 3, RW = 4 };

inline bool isReadable(AccessMode mode)
{
    return mode == AccessMode::RO || mode == AccessMode::RW;
}
inline bool isWritable(AccessMode mode)
{
    return mode == AccessMode::WO || mode == AccessMode::RW;
}
inline bool isAvailableMode(AccessMode mode)
{
    return mode != AccessMode::NI && mode != AccessMode::NA;
}

// Principal interface type of a node; Missing when the map has no node of that name.
enum class NodeKind { Missing, Integer, Float, Enumeration, Boolean, Command, String, Other };

// Named access to the nodes of one node map. Value calls on a node of another kind, or on a node that
// is not readable or writable, throw (GenICam exceptions in the adapter); the safe helpers of
// SafeNodeAccess.h test kind and access first. Writes are verified by the implementation.
// Thread use: callers serialise access (the camera's mutex or the GUI thread).
class GrabNodeMap {
public:
    virtual ~GrabNodeMap() = default;

    virtual NodeKind kind(const std::string& name) const = 0;
    virtual AccessMode accessMode(const std::string& name) const = 0;

    virtual int64_t intValue(const std::string& name) const = 0;
    virtual int64_t intMin(const std::string& name) const = 0;
    virtual int64_t intMax(const std::string& name) const = 0;
    virtual int64_t intInc(const std::string& name) const = 0;
    virtual void setIntValue(const std::string& name, int64_t value) = 0;

    virtual double floatValue(const std::string& name) const = 0;
    virtual double floatMin(const std::string& name) const = 0;
    virtual double floatMax(const std::string& name) const = 0;
    virtual void setFloatValue(const std::string& name, double value) = 0;

    virtual std::string enumValue(const std::string& name) const = 0;
    virtual void setEnumValue(const std::string& name, const std::string& entry) = 0;
    virtual std::vector<std::string> enumEntries(const std::string& name) const = 0;
    // NI for an entry the enumeration does not have.
    virtual AccessMode enumEntryAccessMode(const std::string& name, const std::string& entry) const = 0;

    virtual bool boolValue(const std::string& name) const = 0;
    virtual void setBoolValue(const std::string& name, bool value) = 0;

    virtual std::string stringValue(const std::string& name) const = 0;
    virtual void setStringValue(const std::string& name, const std::string& value) = 0;

    virtual void executeCommand(const std::string& name) = 0;

    // Drops cached values so that the next reads ask the device.
    virtual void invalidateNodes() = 0;

    // The GenApi node map behind this one, handed on with each buffer; null when there is none.
    virtual GenApi::INodeMap* genApiNodeMap() const { return nullptr; }
};

// Result status as the stream grabber reports it.
enum class GrabStatus { Idle = 0, Queued = 1, Grabbed = 2, Canceled = 3, Failed = 4 };

// One retrieved result. context is the pointer given to queueBuffer.
struct GrabResult {
    void* context = nullptr;
    GrabStatus status = GrabStatus::Idle;
    bool hasPixelType = false;
    uint32_t pixelType = 0xFFFFFFFFu;
    int64_t width = -1;
    int64_t height = -1;
    int64_t paddingX = 0;
    int64_t payloadSize = 0;
    uint32_t errorCode = 0;
    std::string errorDescription;
};

// Stream grabber channel of a device. registerBuffer, queueBuffer, cancelGrab and finishGrab run in the
// owner's thread; waitForResult and retrieveResult in the grab thread; the implementation is thread-safe
// between those two sides.
class GrabStreamGrabber {
public:
    virtual ~GrabStreamGrabber() = default;
    virtual void open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Null when the grabber has no node map.
    virtual GrabNodeMap* nodeMap() = 0;
    virtual void prepareGrab() = 0;
    virtual void* registerBuffer(void* data, size_t size) = 0;
    virtual void queueBuffer(void* handle, void* context) = 0;
    // True when a result can be retrieved; waits at most timeoutMs.
    virtual bool waitForResult(int timeoutMs) = 0;
    // False when no result is ready.
    virtual bool retrieveResult(GrabResult& result) = 0;
    // Every queued buffer comes back as a cancelled result.
    virtual void cancelGrab() = 0;
    // Any thread: ends a waitForResult under way at once (it may return true with nothing to
    // retrieve), so that a grab loop told to stop need not sit out its time-out.
    virtual void interruptWait() = 0;
    // Drops every registration; buffers still queued are no longer the grabber's.
    virtual void finishGrab() = 0;
};

// Access modes of an open; the camera opens with Control and Stream.
enum DeviceAccessMode : unsigned { DeviceAccess_Stream = 1u << 1, DeviceAccess_Control = 1u << 3 };

// One SDK device. Used in the owner's thread, except the node map calls made under the camera's mutex.
class GrabDevice {
public:
    virtual ~GrabDevice() = default;
    virtual Nimbo::CDeviceInfo deviceInfo() const = 0;
    virtual void open(unsigned accessModes) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // True once the SDK has told that the device is gone (unplugged, or its connection lost). Any thread.
    virtual bool isRemoved() const = 0;
    // Null while the device is not open.
    virtual GrabNodeMap* nodeMap() = 0;
    virtual GrabNodeMap* tlNodeMap() = 0;
    virtual size_t streamGrabberCount() const = 0;
    virtual GrabStreamGrabber* streamGrabber(size_t index) = 0;
    // Attaches file access to the device's node map; false when the device has none.
    virtual bool attachFileAccess() = 0;
    // True for a camera that follows the second generation of the feature naming standard.
    virtual bool isSfnc2() const = 0;
    // Hands the device back to the SDK, which destroys it; the object is gone afterwards.
    virtual void release() = 0;
};

} // namespace grab
