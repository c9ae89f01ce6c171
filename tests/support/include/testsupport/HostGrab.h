// A host that grabs from a device through its stream grabber, as the program's grab engine does, so that
// tests can see another user of the device keep its frames. Header only: tests that include it link the SDK.
#pragma once

#include <nimbo/NimboIncludes.h>

#include <GenApi/GenApi.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace testsupport {

// Opens the device's stream grabber, queues its buffers and starts the acquisition; the destructor ends
// the grab and closes the grabber. The device must be open. Test thread only.
class HostGrab {
public:
    explicit HostGrab(Nimbo::INimboDevice* device, size_t bufferCount = 8)
        : m_device(device), m_grabber(device->GetStreamGrabber(0))
    {
        GenApi::INodeMap* map = device->GetNodeMap();
        const int64_t payload = GenApi::CIntegerPtr(map->GetNode("PayloadSize"))->GetValue();
        m_grabber->Open();
        GenApi::CIntegerPtr(m_grabber->GetNodeMap()->GetNode("MaxBufferSize"))->SetValue(payload);
        GenApi::CIntegerPtr(m_grabber->GetNodeMap()->GetNode("MaxNumBuffer"))->SetValue(int64_t(bufferCount));
        m_grabber->PrepareGrab();
        m_buffers.assign(bufferCount, std::vector<uint8_t>(static_cast<size_t>(payload)));
        for (std::vector<uint8_t>& buffer : m_buffers)
            m_grabber->QueueBuffer(m_grabber->RegisterBuffer(buffer.data(), buffer.size()), &buffer);
        GenApi::CCommandPtr(map->GetNode("AcquisitionStart"))->Execute();
    }
    ~HostGrab()
    {
        GenApi::CCommandPtr(m_device->GetNodeMap()->GetNode("AcquisitionStop"))->Execute();
        m_grabber->CancelGrab();
        Nimbo::GrabResult result;
        while (m_grabber->RetrieveResult(result)) {
        }
        m_grabber->FinishGrab();
        m_grabber->Close();
    }
    HostGrab(const HostGrab&) = delete;
    HostGrab& operator=(const HostGrab&) = delete;

    Nimbo::IStreamGrabber* grabber() const { return m_grabber; }

    // Waits for a frame grabbed from now on, giving every buffer back as it comes; false when none
    // arrives within the bound (generous, for a loaded machine).
    bool nextFrame(std::chrono::milliseconds bound = std::chrono::seconds(10))
    {
        drain();
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!m_grabber->GetWaitObject().Wait(100))
                continue;
            Nimbo::GrabResult result;
            while (m_grabber->RetrieveResult(result)) {
                m_grabber->QueueBuffer(result.Handle(), result.Context());
                if (result.Status() == Nimbo::Grabbed)
                    return true;
            }
        }
        return false;
    }

private:
    // Results that were waiting already came before the call.
    void drain()
    {
        Nimbo::GrabResult result;
        while (m_grabber->RetrieveResult(result))
            m_grabber->QueueBuffer(result.Handle(), result.Context());
    }

    Nimbo::INimboDevice* m_device;
    Nimbo::IStreamGrabber* m_grabber;
    std::vector<std::vector<uint8_t>> m_buffers;
};

} // namespace testsupport
