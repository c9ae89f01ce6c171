// The base interface of viewer plug-ins and the C entry points that every plug-in library exports.
#pragma once

#include <GenApi/GenApi.h>

#include <cstdint>

namespace Lorvish {

// The order of the operations is the binary contract with plug-in libraries: add none, move none.
// Instances are made and destroyed only by the library that implements them, through the
// PluginManager; hence no public destructor.
class IPlugin {
public:
    // Display name of the plug-in.
    virtual const char* name() = 0;
    // The plug-in's parameter node map, or null when it has none.
    virtual GenApi::INodeMap* nodeMap() = 0;
    // Two integer queries of the contract that this system never calls.
    virtual int firstIntegerQuery() = 0;
    virtual int secondIntegerQuery() = 0;
    // Asked for every frame; for an overlay plug-in, whether it draws on this frame.
    virtual bool isEnabled() = 0;

protected:
    ~IPlugin() = default;
};

} // namespace Lorvish

// Entry points of a plug-in library, looked up by these names with C linkage.
#define LORVISH_PLUGIN_VERSION_EXPORT "ArdenmoorPluginVersion"
#define LORVISH_PLUGIN_CREATE_EXPORT "PluginCreateInstance"
#define LORVISH_PLUGIN_DESTROY_EXPORT "PluginDestroyInstance"

extern "C" {
// Must report major 1 and minor 0 (the third value is not examined) and the plug-in's name, the
// key under which it is found.
typedef void (*ArdenmoorPluginVersionFunction)(uint32_t* major, uint32_t* minor, uint32_t* third,
                                               GenICam::gcstring* name);
typedef Lorvish::IPlugin* (*PluginCreateInstanceFunction)();
typedef void (*PluginDestroyInstanceFunction)(Lorvish::IPlugin* instance);
}
