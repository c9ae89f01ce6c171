// The device plug-in: stream-grabber plug-ins and the device's node map.
#include "DevicePlugin.h"

#include "StreamGrabberPlugin.h"

#include <nimbo/NimboDevice.h>

#include <new>

namespace Huvane {

Nimbo::IStreamGrabberPlugin* CDevicePlugin::CreateStreamGrabberPlugin(Nimbo::IStreamGrabber*)
{
    CStreamGrabberPlugin* plugin = new (std::nothrow) CStreamGrabberPlugin(m_device);
    if (plugin)
        ++m_streamGrabberPlugins;
    return plugin;
}

void CDevicePlugin::DestroyStreamGrabberPlugin(Nimbo::IStreamGrabberPlugin* plugin)
{
    if (CStreamGrabberPlugin* own = dynamic_cast<CStreamGrabberPlugin*>(plugin)) {
        delete own;
        --m_streamGrabberPlugins;
    }
}

GenApi::INodeMap* CDevicePlugin::GetNodeMap()
{
    return m_device ? m_device->GetNodeMap() : nullptr;
}

} // namespace Huvane
