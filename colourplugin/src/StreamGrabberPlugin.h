// The stream-grabber plug-in: runs the colour event manager while the grabber is prepared.
#pragma once

#include "TavoEventManager.h"

#include <nimbo/TransportLayerPlugin.h>

namespace Huvane {

// Threads: the SDK calls it from the thread that prepares and finishes the grab; the event manager
// keeps its own worker (see CTavoEventManager).
class CStreamGrabberPlugin : public Nimbo::IStreamGrabberPlugin {
public:
    explicit CStreamGrabberPlugin(Nimbo::INimboDevice* device) : m_device(device) {}
    ~CStreamGrabberPlugin() override = default; // the manager stops itself

    void OnStreamGrabberOpened() override {}
    void OnStreamGrabberClosing() override {}
    void OnPrepareGrab() override;
    void OnBufferQueued() override {}
    void OnGrabCancelled() override {}
    void OnFinishGrab() override;
    void OnReserved() override {}

    const CTavoEventManager& eventManager() const { return m_eventManager; }

private:
    Nimbo::INimboDevice* m_device; // not owned
    CTavoEventManager m_eventManager;
};

} // namespace Huvane
