// The node and property classes behind the topology instances.
#pragma once

#include <gorsk/Topology.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Gorsk {
namespace detail {

class NodeProperties : public INodeProperties {
public:
    uint32_t GetCount() const override { return static_cast<uint32_t>(m_entries.size()); }
    uint32_t GetIds(uint32_t* buffer, uint32_t capacity) const override;
    bool HasId(uint32_t id) const override { return m_entries.count(id) != 0; }
    const Property* GetByIndex(uint32_t index) const override;
    const Property* GetById(uint32_t id) const override;

    // Strings are copied; the record points into this object.
    void set(uint32_t id, const Property& value);
    void setInt32(uint32_t id, int32_t value);
    void setUInt64(uint32_t id, uint64_t value);
    void setString(uint32_t id, const std::wstring& value);

private:
    struct Entry {
        Property record;
        std::wstring text;
    };
    std::map<uint32_t, Entry> m_entries; // map nodes do not move, so the records' text pointers hold
};

class Node : public INode {
public:
    Node(ITopology* topology, Node* parent, uint32_t kind, std::wstring name, std::wstring id)
        : m_topology(topology), m_parent(parent), m_kind(kind), m_name(std::move(name)), m_id(std::move(id))
    {
    }
    ~Node() override = default;

    ITopology* GetTopology() const override { return m_topology; }
    const wchar_t* GetName() const override { return m_name.c_str(); }
    const wchar_t* GetId() const override { return m_id.c_str(); }
    uint32_t GetKind() const override { return m_kind; }
    size_t GetChildCount() const override { return m_children.size(); }
    INode* GetChild(size_t index) const override
    {
        return index < m_children.size() ? m_children[index].get() : nullptr;
    }
    INode* GetParent() const override { return m_parent; }
    INodeProperties* GetProperties() const override { return &m_properties; }

    Node* addChild(uint32_t kind, std::wstring name, std::wstring id)
    {
        m_children.push_back(std::make_unique<Node>(m_topology, this, kind, std::move(name), std::move(id)));
        return m_children.back().get();
    }
    NodeProperties& properties() { return m_properties; }
    const std::vector<std::unique_ptr<Node>>& children() const { return m_children; }
    void setKind(uint32_t kind) { m_kind = kind; }

private:
    ITopology* m_topology;
    Node* m_parent;
    uint32_t m_kind;
    std::wstring m_name;
    std::wstring m_id;
    mutable NodeProperties m_properties;
    std::vector<std::unique_ptr<Node>> m_children;
};

// Fills a top node (kind 1) with the machine's USB tree: the host controllers of sysfs (the folder
// of NIMBO_TOPOLOGY_SYSFS, else /sys/bus/usb/devices), the SDK's real USB cameras on the functions
// sysfs shows them with, and one emulated controller holding the SDK's emulated USB cameras.
void readMachineTree(Node& top);
// Sets the U3V device count of every node of kinds 1 to 4 below and including `node`; returns it.
int32_t countU3VDevices(Node& node);

} // namespace detail
} // namespace Gorsk
