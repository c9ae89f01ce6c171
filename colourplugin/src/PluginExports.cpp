// The module's only two exports, through which the SDK's transport-layer factory loads the plug-in.
#include "TransportLayerPlugin.h"

#include <new>

#define HUVANE_EXPORT __attribute__((visibility("default")))

extern "C" {
HUVANE_EXPORT Nimbo::ITransportLayerPlugin* CreateTransportLayerPlugin()
{
    return new (std::nothrow) Huvane::CTransportLayerPlugin();
}

HUVANE_EXPORT void DestroyTransportLayerPlugin(Nimbo::ITransportLayerPlugin* plugin)
{
    delete dynamic_cast<Huvane::CTransportLayerPlugin*>(plugin);
}
}
