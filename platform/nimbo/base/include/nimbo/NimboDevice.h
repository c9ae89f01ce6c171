// A camera as the SDK hands it out: open it, reach its node maps and its stream grabber.
#pragma once

#include <nimbo/DeviceInfo.h>
#include <nimbo/NimboTypes.h>
#include <nimbo/StreamGrabber.h>

#include <GenApi/NodeMap.h>

#include <functional>

namespace Nimbo {

class INimboDevice;
class IDevicePlugin;

using DeviceCallbackHandle = int;
using DeviceRemovalCallback = std::function<void(INimboDevice*)>;

// Operations may be called from any thread. Removal callbacks run on the SDK's event thread.
class INimboDevice {
public:
    // Throws a GenICam RuntimeException when the camera is in use elsewhere, unplugged or open already.
    virtual void Open(AccessModeSet mode = AccessModeSet(Control) | Stream | Event) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual AccessModeSet AccessMode() const = 0;
    virtual const CDeviceInfo& GetDeviceInfo() const = 0;
    // The camera's node map (with the injected and plug-in descriptions); null while closed.
    virtual GenApi::INodeMap* GetNodeMap() = 0;
    // The transport layer's settings of this device; present while the device exists.
    virtual GenApi::INodeMap* GetTLNodeMap() = 0;
    virtual unsigned int GetNumStreamGrabberChannels() const = 0;
    // Null for a channel that does not exist.
    virtual IStreamGrabber* GetStreamGrabber(unsigned int index) = 0;
    // True once the camera was unplugged; the device object stays usable for closing.
    virtual bool IsRemoved() const = 0;
    // The callback runs once, when the camera goes away, on an SDK thread.
    virtual DeviceCallbackHandle RegisterRemovalCallback(DeviceRemovalCallback callback) = 0;
    virtual bool DeregisterRemovalCallback(DeviceCallbackHandle handle) = 0;
    // The transport-layer plug-in's device part, null when no plug-in serves this device.
    virtual IDevicePlugin* GetDevicePlugin() const = 0;

protected:
    virtual ~INimboDevice() = default;
};

} // namespace Nimbo
