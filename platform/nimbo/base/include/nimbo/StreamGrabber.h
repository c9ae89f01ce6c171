// A device's image stream channel: buffers are registered, queued, filled and retrieved.
#pragma once

#include <nimbo/GrabResult.h>
#include <nimbo/WaitObject.h>

#include <GenApi/NodeMap.h>

#include <cstddef>

namespace Nimbo {

// Usage: Open, PrepareGrab, RegisterBuffer..., QueueBuffer..., (RetrieveResult after
// GetWaitObject().Wait)..., CancelGrab, RetrieveResult until false, FinishGrab, Close.
// All operations may be called from any thread; they are serialised inside.
class IStreamGrabber {
public:
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Takes MaxBufferSize and MaxNumBuffer from the node map and locks the stream parameters.
    virtual void PrepareGrab() = 0;
    // Drops every registration and unlocks the stream parameters; queued buffers must have been
    // retrieved (CancelGrab returns them).
    virtual void FinishGrab() = 0;
    virtual StreamBufferHandle RegisterBuffer(void* buffer, size_t bufferSize) = 0;
    // Gives back the registered memory; throws while the buffer is queued.
    virtual const void* DeregisterBuffer(StreamBufferHandle handle) = 0;
    virtual void QueueBuffer(StreamBufferHandle handle, const void* context = nullptr) = 0;
    // Every queued buffer comes back as cancelled.
    virtual void CancelGrab() = 0;
    // The oldest result; false when none waits.
    virtual bool RetrieveResult(GrabResult& result) = 0;
    // Signalled while results wait.
    virtual WaitObject& GetWaitObject() const = 0;
    virtual GenApi::INodeMap* GetNodeMap() = 0;

protected:
    virtual ~IStreamGrabber() = default;
};

} // namespace Nimbo
