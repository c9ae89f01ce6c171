// The interface of whatever stands in front of a node map and can hand out the node map itself.
#pragma once

#include <GenApi/NodeMap.h>

namespace Nimbo {

// A node map placed in front of another (an adapter handing out wrapped nodes) gives the one behind
// it here, so that code needing the camera's own nodes can reach them.
class INodeMapProvider {
public:
    virtual GenApi::INodeMap* GetNodeMap() = 0;

protected:
    virtual ~INodeMapProvider() = default;
};

} // namespace Nimbo
