// Entry points that create and destroy node maps, the callback handles, and the destruction notices.
#include "NodeMapImpl.h"

#include <GenApi/NodeMapFactory.h>

#include <map>
#include <mutex>

namespace GenApi {
namespace {
struct DestructionEntry {
    CNodeMapImpl* map;
    DestructionCallback callback;
};

std::mutex g_destructionMutex;
CallbackHandleType g_nextDestructionHandle = 1;
std::map<CallbackHandleType, DestructionEntry> g_destructionCallbacks;

CallbackHandleType addDestruction(CNodeMapImpl* map, DestructionCallback callback)
{
    if (!map || !callback)
        return 0;
    std::lock_guard<std::mutex> lock(g_destructionMutex);
    const CallbackHandleType handle = g_nextDestructionHandle++;
    g_destructionCallbacks[handle] = DestructionEntry{map, std::move(callback)};
    return handle;
}
} // namespace

INodeMap* CreateNodeMap(const GenICam::gcstring& description, const GenICam::gcstring_vector& injected,
                        const GenICam::gcstring& deviceName)
{
    return new CNodeMapImpl(description, injected, deviceName);
}

void DestroyNodeMap(INodeMap* nodeMap)
{
    auto map = dynamic_cast<CNodeMapImpl*>(nodeMap);
    if (!map)
        return; // not one of ours: its owner destroys it
    std::vector<DestructionCallback> notices;
    {
        std::lock_guard<std::mutex> lock(g_destructionMutex);
        for (auto it = g_destructionCallbacks.begin(); it != g_destructionCallbacks.end();) {
            if (it->second.map == map) {
                notices.push_back(std::move(it->second.callback));
                it = g_destructionCallbacks.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& notice : notices)
        notice();
    map->lifetime()->end(); // a Deregister on another thread finishes with the node first
    delete map;
}

CallbackHandleType RegisterDestructionCallback(INodeMap* nodeMap, DestructionCallback callback)
{
    return addDestruction(dynamic_cast<CNodeMapImpl*>(nodeMap), std::move(callback));
}

CallbackHandleType RegisterDestructionCallback(INode* node, DestructionCallback callback)
{
    if (auto impl = dynamic_cast<CNodeImpl*>(node))
        return addDestruction(impl->map(), std::move(callback));
    // A node of another implementation (an application's wrapper around one of our nodes) that belongs
    // to one of our node maps cannot outlive its use either: it is watched with that map.
    CNodeMapImpl* map = nullptr;
    try {
        map = node ? dynamic_cast<CNodeMapImpl*>(node->GetNodeMap()) : nullptr;
    } catch (...) {
        return 0; // no map to watch it with
    }
    return addDestruction(map, std::move(callback));
}

bool DeregisterDestructionCallback(CallbackHandleType handle)
{
    std::lock_guard<std::mutex> lock(g_destructionMutex);
    return g_destructionCallbacks.erase(handle) != 0;
}

CallbackHandleType RegisterCallbackObject(INode* node, CNodeCallback* callback)
{
    if (!callback)
        return 0;
    if (!node) {
        callback->Destroy();
        return 0;
    }
    return node->RegisterCallback(callback);
}

bool Deregister(CallbackHandleType handle)
{
    std::shared_ptr<MapLifetime> lifetime;
    CNodeImpl* node = callbackRegistry::owner(handle, lifetime);
    // Once its map is being destroyed, the handle goes with it.
    if (!node || !lifetime->enter())
        return false;
    bool removed = false;
    try {
        removed = node->DeregisterCallback(handle);
    } catch (...) {
        lifetime->leave();
        throw;
    }
    lifetime->leave();
    return removed;
}
} // namespace GenApi
