// The stream-grabber plug-in: binds and stops the colour event manager around a grab.
#include "StreamGrabberPlugin.h"

#include "Diagnostics.h"

#include <nimbo/NimboDevice.h>

namespace Huvane {

void CStreamGrabberPlugin::OnPrepareGrab()
{
    if (!m_device)
        return;
    // The grab goes on without the colour features rather than failing in the SDK's hands.
    try {
        m_eventManager.bind(m_device->GetNodeMap());
    } catch (...) {
        warnCurrentException("Failed to start the colour event manager.", "CStreamGrabberPlugin::OnPrepareGrab");
    }
}

void CStreamGrabberPlugin::OnFinishGrab()
{
    m_eventManager.stop();
}

} // namespace Huvane
