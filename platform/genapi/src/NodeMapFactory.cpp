// Entry points that create and destroy node maps.
#include <GenApi/NodeMapFactory.h>

#include <GenICam/GenericException.h>

namespace GenApi {
INodeMap* CreateNodeMap(const GenICam::gcstring&, const GenICam::gcstring_vector&, const GenICam::gcstring&)
{
    throw RUNTIME_EXCEPTION("CreateNodeMap: not implemented");
}

void DestroyNodeMap(INodeMap* nodeMap)
{
    delete nodeMap;
}

CallbackHandleType RegisterDestructionCallback(INodeMap*, DestructionCallback)
{
    return 0;
}

CallbackHandleType RegisterDestructionCallback(INode*, DestructionCallback)
{
    return 0;
}

bool DeregisterDestructionCallback(CallbackHandleType)
{
    return false;
}

CallbackHandleType RegisterCallbackObject(INode* node, CNodeCallback* callback)
{
    if (!node || !callback)
        return 0;
    return node->RegisterCallback(callback);
}

bool Deregister(CallbackHandleType)
{
    return false;
}
} // namespace GenApi
