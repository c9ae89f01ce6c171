// The transport-layer plug-in: the model test, device plug-ins and the feature description.
#include "TransportLayerPlugin.h"

#include "DevicePlugin.h"
#include "FeatureDescription.h"

#include <new>

namespace Huvane {

bool isQualifyingModel(const GenICam::gcstring& modelName)
{
    const std::string name = modelName.c_str();
    return name.size() >= 3 && name.compare(0, 2, "qv") == 0 && name.compare(name.size() - 3, 3, "ZRX") != 0;
}

Nimbo::IDevicePlugin* CTransportLayerPlugin::CreateDevicePlugin(const Nimbo::CDeviceInfo& info)
{
    if (!isQualifyingModel(info.GetModelName()))
        return nullptr;
    CDevicePlugin* plugin = new (std::nothrow) CDevicePlugin();
    if (plugin)
        ++m_devicePlugins;
    return plugin;
}

void CTransportLayerPlugin::DestroyDevicePlugin(Nimbo::IDevicePlugin* plugin)
{
    // Only what this plug-in made is deleted, and counted off.
    if (CDevicePlugin* own = dynamic_cast<CDevicePlugin*>(plugin)) {
        delete own;
        --m_devicePlugins;
    }
}

void CTransportLayerPlugin::ContributeDescriptions(const Nimbo::CDeviceInfo& info,
                                                   Nimbo::IDescriptionReceiver* receiver)
{
    if (!receiver || !isQualifyingModel(info.GetModelName()))
        return;
    GenICam::gcstring description;
    loadFeatureDescription(description);
    if (!description.empty())
        receiver->AddDescription(description);
}

} // namespace Huvane
