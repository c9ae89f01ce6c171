// The node map interface.
#pragma once

#include <GenApi/Lock.h>
#include <GenApi/Node.h>
#include <GenApi/Port.h>

namespace GenApi {
class INodeMap {
public:
    virtual ~INodeMap() = default;
    virtual void GetNodes(NodeList_t& Nodes) const = 0;
    // Null for an unknown name; never throws.
    virtual INode* GetNode(const GenICam::gcstring& Name) const = 0;
    // Drops every cached value and fires the callbacks of the nodes whose value may have changed.
    virtual void InvalidateNodes() const = 0;
    virtual bool Connect(IPort* pPort, const GenICam::gcstring& PortName) const = 0;
    virtual bool Connect(IPort* pPort) const = 0;
    virtual GenICam::gcstring GetDeviceName() = 0;
    // Fires the callbacks of polled nodes whose polling time ran out and whose value changed.
    virtual void Poll(int64_t ElapsedTime) = 0;
    virtual CLock& GetLock() const = 0;
    virtual uint64_t GetNumNodes() const = 0;
};
} // namespace GenApi
