// The engine's device interface over an SDK device and its first stream grabber.
#pragma once

#include "GenApiNodeMap.h"
#include "GrabDevice.h"

#include <GenApi/FileProtocolAdapter.h>

#include <memory>

namespace Nimbo {
class INimboDevice;
class IStreamGrabber;
} // namespace Nimbo

// Made for one device created by the transport-layer factory; release() hands that device back to
// the factory and deletes this object. Thread use: the owner's thread, except the stream grabber's
// wait and retrieve calls, which the SDK allows from the grab thread.
class NimboGrabDevice : public grab::GrabDevice {
public:
    explicit NimboGrabDevice(Nimbo::INimboDevice* device);
    ~NimboGrabDevice() override;

    Nimbo::CDeviceInfo deviceInfo() const override;
    void open(unsigned accessModes) override;
    void close() override;
    bool isOpen() const override;
    bool isRemoved() const override;
    grab::GrabNodeMap* nodeMap() override;
    grab::GrabNodeMap* tlNodeMap() override;
    size_t streamGrabberCount() const override;
    grab::GrabStreamGrabber* streamGrabber(size_t index) override;
    bool attachFileAccess() override;
    // The SDK reports feature naming standard 2.0.0 or later for the open device.
    bool isSfnc2() const override;
    void release() override;

    Nimbo::INimboDevice* nimboDevice() const { return m_device; }

private:
    class StreamGrabber;

    Nimbo::INimboDevice* m_device;
    std::unique_ptr<GenApiNodeMap> m_nodeMap;
    std::unique_ptr<GenApiNodeMap> m_tlNodeMap;
    std::unique_ptr<StreamGrabber> m_streamGrabber;
    GenApi::FileProtocolAdapter m_fileAdapter;
};
