// Our node map: the nodes built from the descriptions, the lock, and the dispatch of change callbacks.
//
// Threads: any thread may use the map; every member is guarded by m_lock (recursive). Callbacks of kind
// cbPostInsideLock run with the lock held, cbPostOutsideLock ones after it was released, both in the
// thread whose operation changed the values.
// Lock order between node maps: a callback that writes another node map must be a cbPostOutsideLock one.
// Inside the lock it would take the other map's lock while holding this one, and deadlock against a
// thread that writes the other map while that map's callback writes this one back. Outside the lock no
// node-map lock is held (unless the changing thread holds one itself), so such pairs cannot deadlock.
#pragma once

#include "NodeImpl.h"
#include "PortNode.h"

#include <GenApi/DeviceInfo.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>

namespace GenApi {
// Lets Deregister(handle) reach a node while another thread may destroy the node's map: DestroyNodeMap
// ends the lifetime, which waits for the callers inside, and nobody enters after it.
class MapLifetime {
public:
    bool enter();
    void leave();
    void end();

private:
    std::mutex m_mutex;
    std::condition_variable m_left;
    int m_inside = 0;
    bool m_ended = false;
};

class CNodeMapImpl : public INodeMap, public IDeviceInfo {
public:
    CNodeMapImpl(const GenICam::gcstring& description, const GenICam::gcstring_vector& injected,
                 const GenICam::gcstring& deviceName);
    ~CNodeMapImpl() override;

    // INodeMap
    void GetNodes(NodeList_t& Nodes) const override;
    INode* GetNode(const GenICam::gcstring& Name) const override;
    void InvalidateNodes() const override;
    bool Connect(IPort* pPort, const GenICam::gcstring& PortName) const override;
    bool Connect(IPort* pPort) const override;
    GenICam::gcstring GetDeviceName() override { return m_deviceName; }
    void Poll(int64_t ElapsedTime) override;
    CLock& GetLock() const override { return m_lock; }
    uint64_t GetNumNodes() const override { return m_nodes.size(); }

    // IDeviceInfo
    GenICam::gcstring GetModelName() override { return rootAttribute("ModelName"); }
    GenICam::gcstring GetVendorName() override { return rootAttribute("VendorName"); }
    GenICam::gcstring GetToolTip() override { return rootAttribute("ToolTip"); }
    GenICam::gcstring GetStandardNameSpace() override { return rootAttribute("StandardNameSpace"); }
    GenICam::gcstring GetProductGuid() override { return rootAttribute("ProductGuid"); }
    GenICam::gcstring GetVersionGuid() override { return rootAttribute("VersionGuid"); }
    GenICam::gcstring GetSchemaVersion() override;
    GenICam::gcstring GetDeviceVersion() override;

    CNodeImpl* find(const std::string& name) const;
    // True for a node of the descriptions that could not be used and is not in the map.
    bool isLeftOut(const std::string& name) const { return m_leftOut.count(name) != 0; }
    const GenICam::gcstring& deviceName() const { return m_deviceName; }
    const std::shared_ptr<MapLifetime>& lifetime() const { return m_lifetime; }

    // A change of node's own value: it and its dependents are invalidated and queued for their callbacks.
    void changed(CNodeImpl* node);

    // One public operation: holds the lock and, when the outermost one ends, runs the queued callbacks.
    class Operation {
    public:
        explicit Operation(const CNodeMapImpl* map);
        ~Operation();
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        CNodeMapImpl* m_map;
    };

private:
    void build(const std::vector<NodeDefinition>& specs);
    void queue(CNodeImpl* node);
    void dispatch(std::vector<CNodeImpl*>& nodes);
    std::string rootAttribute(const char* name) const;

    mutable CLock m_lock;
    std::shared_ptr<MapLifetime> m_lifetime = std::make_shared<MapLifetime>();
    GenICam::gcstring m_deviceName;
    std::vector<std::pair<std::string, std::string>> m_rootAttributes;
    std::vector<std::unique_ptr<CNodeImpl>> m_nodes;
    std::unordered_map<std::string, CNodeImpl*> m_byName;
    std::set<std::string> m_leftOut;
    std::vector<CPortNode*> m_ports;
    int m_operationDepth = 0;
    std::vector<CNodeImpl*> m_pending;
};

// The global table of callback handles, so that Deregister(handle) finds the node holding one. Its mutex
// is never held while a node map's lock is taken (a callback inside the lock may register or deregister).
namespace callbackRegistry {
CallbackHandleType add(CNodeImpl* node);
// The node holding the handle, and the lifetime of its map to enter before the node is used.
CNodeImpl* owner(CallbackHandleType handle, std::shared_ptr<MapLifetime>& lifetime);
void remove(CallbackHandleType handle);
} // namespace callbackRegistry
} // namespace GenApi
