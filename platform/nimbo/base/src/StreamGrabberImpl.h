// The stream grabber of a device: buffer registration, the queue the frame thread fills,
// the results and the wait object.
#pragma once

#include "RegisterPort.h"
#include "DeviceBackend.h"

#include <nimbo/StreamGrabber.h>
#include <nimbo/TransportLayerPlugin.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace Nimbo {

// Threads: the user's threads call the IStreamGrabber operations; the camera's frame thread calls
// the FrameSink side from the backend's frame thread. Registrations, queue, results and counters are
// guarded by m_mutex. The node map and the plug-in are set up and torn down by the owning device's
// thread. FinishGrab called while another thread's FinishGrab is under way waits for it to end.
class StreamGrabberImpl : public IStreamGrabber {
public:
    explicit StreamGrabberImpl(std::shared_ptr<DeviceBackend> camera);
    ~StreamGrabberImpl() override;

    void Open() override;
    void Close() override;
    bool IsOpen() const override;
    void PrepareGrab() override;
    void FinishGrab() override;
    StreamBufferHandle RegisterBuffer(void* buffer, size_t bufferSize) override;
    const void* DeregisterBuffer(StreamBufferHandle handle) override;
    void QueueBuffer(StreamBufferHandle handle, const void* context) override;
    void CancelGrab() override;
    bool RetrieveResult(GrabResult& result) override;
    WaitObject& GetWaitObject() const override;
    GenApi::INodeMap* GetNodeMap() override { return m_nodeMap; }

    // Built by the device after construction; null when the description could not be built.
    void setNodeMap(GenApi::INodeMap* nodeMap) { m_nodeMap = nodeMap; }
    // The camera's node map, through which the stream parameters are locked so that its nodes learn it.
    void setDeviceNodeMap(GenApi::INodeMap* nodeMap) { m_deviceNodeMap = nodeMap; }
    RegisterPort& port() { return *m_port; }
    void setPlugin(IStreamGrabberPlugin* plugin) { m_plugin = plugin; }
    IStreamGrabberPlugin* plugin() const { return m_plugin; }
    // Runs in FinishGrab's thread once the queue is cancelled and before the registrations go, so that
    // tests can act from within that step; empty in the product.
    void setFinishingHook(std::function<void()> hook) { m_finishingHook = std::move(hook); }

private:
    class Core;
    std::shared_ptr<DeviceBackend> m_camera;
    std::shared_ptr<Core> m_core;
    std::unique_ptr<RegisterPort> m_port;
    void lockParameters(bool locked);
    GenApi::INodeMap* m_nodeMap = nullptr;
    GenApi::INodeMap* m_deviceNodeMap = nullptr;
    IStreamGrabberPlugin* m_plugin = nullptr;
    mutable WaitObject m_waitObject;
    std::function<void()> m_finishingHook;
};

} // namespace Nimbo
