// The interfaces through which the transport-layer factory loads plug-ins that serve its devices.
//
// A plug-in module exports two C functions:
//   Nimbo::ITransportLayerPlugin* CreateTransportLayerPlugin();
//   void DestroyTransportLayerPlugin(Nimbo::ITransportLayerPlugin*);
// The factory creates one transport-layer plug-in per module when it starts. For each device it
// first asks every plug-in for extra descriptions (before the node map is built), then creates the
// device plug-in and hands it the device. Each stream grabber gets a stream-grabber plug-in, which
// hears of PrepareGrab and FinishGrab while the node map is usable and its lock is not held. Plug-ins
// are destroyed before the node maps they served.
#pragma once

#include <nimbo/DeviceInfo.h>

#include <GenApi/NodeMap.h>
#include <GenICam/gcstring.h>

namespace Nimbo {

class INimboDevice;
class IStreamGrabber;

// Takes the descriptions a plug-in contributes to a device's node map.
class IDescriptionReceiver {
public:
    virtual void AddDescription(const GenICam::gcstring& description) = 0;

protected:
    virtual ~IDescriptionReceiver() = default;
};

class IStreamGrabberPlugin {
public:
    virtual void OnStreamGrabberOpened() = 0;  // after Open
    virtual void OnStreamGrabberClosing() = 0; // before Close
    virtual void OnPrepareGrab() = 0;          // after PrepareGrab
    virtual void OnBufferQueued() = 0;         // reserved, not called per buffer
    virtual void OnGrabCancelled() = 0;        // after CancelGrab
    virtual void OnFinishGrab() = 0;           // after FinishGrab
    virtual void OnReserved() = 0;
    virtual ~IStreamGrabberPlugin() = default;
};

class IDevicePlugin {
public:
    virtual void SetDevice(INimboDevice* device) = 0;
    virtual IStreamGrabberPlugin* CreateStreamGrabberPlugin(IStreamGrabber* grabber) = 0;
    virtual void DestroyStreamGrabberPlugin(IStreamGrabberPlugin* plugin) = 0;
    virtual void OnDeviceOpened() = 0;
    virtual GenApi::INodeMap* GetNodeMap() = 0;
    virtual void OnDeviceClosing() = 0;
    virtual void OnReserved() = 0;

protected:
    virtual ~IDevicePlugin() = default;
};

class ITransportLayerPlugin {
public:
    // Null when the plug-in does not serve the device.
    virtual IDevicePlugin* CreateDevicePlugin(const CDeviceInfo& info) = 0;
    virtual void DestroyDevicePlugin(IDevicePlugin* plugin) = 0;
    virtual void ContributeDescriptions(const CDeviceInfo& info, IDescriptionReceiver* receiver) = 0;
    virtual void OnReserved() = 0;

protected:
    virtual ~ITransportLayerPlugin() = default;
};

extern "C" {
typedef ITransportLayerPlugin* (*CreateTransportLayerPluginFunction)();
typedef void (*DestroyTransportLayerPluginFunction)(ITransportLayerPlugin*);
}

} // namespace Nimbo
