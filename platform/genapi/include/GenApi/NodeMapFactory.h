// Creating and destroying node maps from GenICam descriptions, and the notice of their destruction.
#pragma once

#include <GenApi/NodeMap.h>

#include <functional>

namespace GenApi {
// Builds a node map from a GenICam XML description. The injected descriptions merge into it by node
// name (MergePriority decides a clash; categories of one name join their features). Throws a
// RuntimeException naming the problem when a description cannot be read.
INodeMap* CreateNodeMap(const GenICam::gcstring& description,
                        const GenICam::gcstring_vector& injected = GenICam::gcstring_vector(),
                        const GenICam::gcstring& deviceName = "Device");

// Destroys a node map made by CreateNodeMap (null is ignored). The destruction notices run first.
void DestroyNodeMap(INodeMap* nodeMap);

// Called once, in the destroying thread, just before the node map (and with it its nodes) goes away.
typedef std::function<void()> DestructionCallback;

// Notice for a node map made by CreateNodeMap, or for a node that belongs to one (one of its own nodes, or
// a node of another implementation whose GetNodeMap() is that map); 0 for anything else.
CallbackHandleType RegisterDestructionCallback(INodeMap* nodeMap, DestructionCallback callback);
CallbackHandleType RegisterDestructionCallback(INode* node, DestructionCallback callback);
bool DeregisterDestructionCallback(CallbackHandleType handle);
} // namespace GenApi
