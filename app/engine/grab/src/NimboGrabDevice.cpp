// The engine's device interface over an SDK device (see NimboGrabDevice.h).
#include "NimboGrabDevice.h"

#include <nimbo/GrabResult.h>
#include <nimbo/InstantCamera.h>
#include <nimbo/NimboDevice.h>
#include <nimbo/StreamGrabber.h>
#include <nimbo/TlFactory.h>

#include <GenApi/GenApi.h>

class NimboGrabDevice::StreamGrabber : public grab::GrabStreamGrabber {
public:
    explicit StreamGrabber(Nimbo::IStreamGrabber* grabber) : m_grabber(grabber) {}

    void open() override { m_grabber->Open(); }
    void close() override { m_grabber->Close(); }
    bool isOpen() const override { return m_grabber->IsOpen(); }
    grab::GrabNodeMap* nodeMap() override
    {
        GenApi::INodeMap* map = m_grabber->GetNodeMap();
        if (!map)
            return nullptr;
        if (!m_nodeMap || m_nodeMap->genApiNodeMap() != map)
            m_nodeMap = std::make_unique<GenApiNodeMap>(map);
        return m_nodeMap.get();
    }
    void prepareGrab() override { m_grabber->PrepareGrab(); }
    void* registerBuffer(void* data, size_t size) override { return m_grabber->RegisterBuffer(data, size); }
    void queueBuffer(void* handle, void* context) override { m_grabber->QueueBuffer(handle, context); }
    bool waitForResult(int timeoutMs) override
    {
        return m_grabber->GetWaitObject().Wait(static_cast<unsigned>(timeoutMs < 0 ? 0 : timeoutMs));
    }
    bool retrieveResult(grab::GrabResult& result) override
    {
        Nimbo::GrabResult r;
        if (!m_grabber->RetrieveResult(r))
            return false;
        result.context = const_cast<void*>(r.Context());
        switch (r.Status()) {
        case Nimbo::Grabbed: result.status = grab::GrabStatus::Grabbed; break;
        case Nimbo::Failed: result.status = grab::GrabStatus::Failed; break;
        case Nimbo::Queued: result.status = grab::GrabStatus::Queued; break;
        case Nimbo::Idle: result.status = grab::GrabStatus::Idle; break;
        default: result.status = grab::GrabStatus::Canceled; break;
        }
        result.hasPixelType = r.GetPixelType() != Nimbo::PixelType_Undefined;
        result.pixelType = static_cast<uint32_t>(r.GetPixelType());
        result.width = r.GetSizeX();
        result.height = r.GetSizeY();
        result.paddingX = r.GetPaddingX();
        result.payloadSize = r.GetPayloadSize();
        result.errorCode = r.GetErrorCode();
        result.errorDescription = r.GetErrorDescription().c_str();
        return true;
    }
    void cancelGrab() override { m_grabber->CancelGrab(); }
    // The wait object is the grabber's own: raised with no result behind it, the next retrieve finds
    // nothing and lowers it again.
    void interruptWait() override { m_grabber->GetWaitObject().Signal(); }
    void finishGrab() override { m_grabber->FinishGrab(); }

private:
    Nimbo::IStreamGrabber* m_grabber;
    std::unique_ptr<GenApiNodeMap> m_nodeMap;
};

NimboGrabDevice::NimboGrabDevice(Nimbo::INimboDevice* device) : m_device(device) {}

NimboGrabDevice::~NimboGrabDevice() = default;

Nimbo::CDeviceInfo NimboGrabDevice::deviceInfo() const
{
    return m_device->GetDeviceInfo();
}

void NimboGrabDevice::open(unsigned accessModes)
{
    Nimbo::AccessModeSet modes;
    if (accessModes & grab::DeviceAccess_Control)
        modes = modes | Nimbo::Control;
    if (accessModes & grab::DeviceAccess_Stream)
        modes = modes | Nimbo::Stream;
    m_device->Open(modes);
}

void NimboGrabDevice::close()
{
    m_device->Close();
}

bool NimboGrabDevice::isOpen() const
{
    return m_device->IsOpen();
}

bool NimboGrabDevice::isRemoved() const
{
    return m_device->IsRemoved();
}

grab::GrabNodeMap* NimboGrabDevice::nodeMap()
{
    GenApi::INodeMap* map = m_device->GetNodeMap();
    if (!map)
        return nullptr;
    // The device makes a new node map at each open; the wrapper follows it.
    if (!m_nodeMap || m_nodeMap->genApiNodeMap() != map)
        m_nodeMap = std::make_unique<GenApiNodeMap>(map);
    return m_nodeMap.get();
}

grab::GrabNodeMap* NimboGrabDevice::tlNodeMap()
{
    GenApi::INodeMap* map = m_device->GetTLNodeMap();
    if (!map)
        return nullptr;
    if (!m_tlNodeMap || m_tlNodeMap->genApiNodeMap() != map)
        m_tlNodeMap = std::make_unique<GenApiNodeMap>(map);
    return m_tlNodeMap.get();
}

size_t NimboGrabDevice::streamGrabberCount() const
{
    return m_device->GetNumStreamGrabberChannels();
}

grab::GrabStreamGrabber* NimboGrabDevice::streamGrabber(size_t index)
{
    if (index != 0 || m_device->GetNumStreamGrabberChannels() == 0)
        return nullptr;
    if (!m_streamGrabber) {
        Nimbo::IStreamGrabber* grabber = m_device->GetStreamGrabber(0);
        if (!grabber)
            return nullptr;
        m_streamGrabber = std::make_unique<StreamGrabber>(grabber);
    }
    return m_streamGrabber.get();
}

bool NimboGrabDevice::attachFileAccess()
{
    GenApi::INodeMap* map = m_device->GetNodeMap();
    return map && m_fileAdapter.attach(map);
}

bool NimboGrabDevice::isSfnc2() const
{
    if (!m_device || !m_device->IsOpen())
        return false;
    // A camera attached without ownership only to read the version; the device stays ours.
    Nimbo::CInstantCamera camera(m_device, Nimbo::Cleanup_None);
    const bool sfnc2 = camera.GetSfncVersion() >= Nimbo::VersionInfo(2, 0, 0);
    camera.DetachDevice();
    return sfnc2;
}

void NimboGrabDevice::release()
{
    Nimbo::INimboDevice* device = m_device;
    m_device = nullptr;
    m_streamGrabber.reset();
    m_nodeMap.reset();
    m_tlNodeMap.reset();
    Nimbo::CTlFactory::GetInstance().DestroyDevice(device);
    delete this;
}
