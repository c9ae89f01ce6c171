// The short-lived thread that creates an SDK device, and the GUI-thread wait around it.
#pragma once

#include <GenICam/GenericException.h>
#include <nimbo/DeviceInfo.h>
#include <nimbo/NimboDevice.h>
#include <nimbo/TransportLayer.h>

#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>

class ToldFailure;

// Threads: run() alone writes the device and the captured exceptions and then sets m_finished (a
// release); the creator reads them after the thread has ended, through the accessors, which take the
// flag (an acquire) first. The transport layer is used by run() only.
class CreateDeviceThread : public QThread {
    Q_OBJECT
public:
    CreateDeviceThread(Nimbo::ITransportLayer* transportLayer, const Nimbo::CDeviceInfo& deviceInfo);
    ~CreateDeviceThread() override;

    // Each null until run() has stored its result (what it stored is seen by the caller from then on).
    Nimbo::INimboDevice* getDevice() const { return hasFinished() ? m_device : nullptr; }
    const GenICam::GenericException* getGenICamException() const
    {
        return hasFinished() ? m_genicamException.get() : nullptr;
    }
    const std::exception* getStdException() const { return hasFinished() ? m_stdException.get() : nullptr; }
    // True once run() has stored its result.
    bool hasFinished() const;

    // On the GUI thread: creates the device for the info on a CreateDeviceThread with the tool feature
    // description injected, processing events other than user input while it waits. Null when the
    // device class has no transport layer (silently) or the creation failed (shown once through the
    // error queue with the source `context`). With `told`, the camera's memory of the creation failure
    // it was told last: the same failure again is only logged, and a device made clears it. Not
    // re-entrant per device: a request for a device whose creation is waited for further up the stack
    // (an event handled during that wait) is refused with a warning and gives null, so a device is never
    // made twice nor the first one replaced.
    static Nimbo::INimboDevice* createDevice(const Nimbo::CDeviceInfo& deviceInfo,
                                             const char* context = "DeviceContext::createNimboDevice",
                                             ToldFailure* told = nullptr);

    // Called on the creating thread just before the transport layer makes the device; empty to remove.
    // Lets tests hold a creation at a known point.
    using CreationHook = std::function<void(const Nimbo::CDeviceInfo&)>;
    static void setCreationHook(CreationHook hook);

protected:
    void run() override;

private:
    Nimbo::ITransportLayer* m_transportLayer;
    Nimbo::CDeviceInfo m_deviceInfo;
    Nimbo::INimboDevice* m_device = nullptr;
    std::unique_ptr<GenICam::GenericException> m_genicamException;
    // Kept as a runtime_error so that the message survives the copy.
    std::unique_ptr<std::runtime_error> m_stdException;
    std::atomic<bool> m_finished{false};
};
