// Topology instances: the machine's tree, or one a builder fills.
#include "TopologyNode.h"

namespace Gorsk {
namespace detail {

uint32_t NodeProperties::GetIds(uint32_t* buffer, uint32_t capacity) const
{
    const uint32_t count = GetCount();
    if (buffer && capacity >= count) {
        uint32_t i = 0;
        for (const auto& entry : m_entries)
            buffer[i++] = entry.first;
    }
    return count;
}

const Property* NodeProperties::GetByIndex(uint32_t index) const
{
    if (index >= m_entries.size())
        return nullptr;
    auto it = m_entries.begin();
    std::advance(it, index);
    return &it->second.record;
}

const Property* NodeProperties::GetById(uint32_t id) const
{
    auto it = m_entries.find(id);
    return it == m_entries.end() ? nullptr : &it->second.record;
}

void NodeProperties::set(uint32_t id, const Property& value)
{
    Entry& entry = m_entries[id];
    entry.record = value;
    entry.record.type = propertyType(id);
    const uint32_t type = entry.record.type;
    if (type == PropertyType_String || type == PropertyType_StringList) {
        entry.text = value.stringValue ? value.stringValue : L"";
        entry.record.stringValue = entry.text.c_str();
    }
}

void NodeProperties::setInt32(uint32_t id, int32_t value)
{
    Property p;
    p.int32Value = value;
    set(id, p);
}

void NodeProperties::setUInt64(uint32_t id, uint64_t value)
{
    Property p;
    p.uint64Value = value;
    set(id, p);
}

void NodeProperties::setString(uint32_t id, const std::wstring& value)
{
    Property p;
    p.stringValue = value.c_str();
    set(id, p);
}

int32_t countU3VDevices(Node& node)
{
    int32_t count = node.GetKind() == NodeKind_U3VDevice ? 1 : 0;
    for (const auto& child : node.children())
        count += countU3VDevices(*child);
    if (node.GetKind() >= NodeKind_Top && node.GetKind() <= NodeKind_Hub)
        node.properties().setInt32(Property_NumberOfU3VDevices, count);
    return count;
}

namespace {

class Topology : public ITopology {
public:
    bool Init(uint64_t, uint32_t flags) override
    {
        m_flags = flags;
        m_initialized = true;
        if (flags & Init_Empty) {
            m_root.reset();
            return true;
        }
        return Refresh();
    }
    void Uninit() override
    {
        m_root.reset();
        m_building.reset();
        m_initialized = false;
    }
    bool Refresh() override
    {
        if (!m_initialized)
            return false;
        if (m_flags & Init_Empty)
            return true; // a built tree has no source to read again
        auto top = std::make_unique<Node>(this, nullptr, NodeKind_Top, L"USB", L"USB");
        readMachineTree(*top);
        countU3VDevices(*top);
        m_root = std::move(top);
        return true;
    }
    INode* GetRoot() const override { return m_root.get(); }
    INode* FindNode(const wchar_t* id) const override { return id && m_root ? find(*m_root, id) : nullptr; }
    bool IsInitialized() const override { return m_initialized; }
    bool BeginUpdate() override
    {
        if (!m_initialized || m_updating)
            return false;
        m_updating = true;
        m_building.reset();
        return true;
    }
    bool EndUpdate(bool success) override
    {
        if (!m_updating)
            return false;
        m_updating = false;
        if (success)
            m_root = std::move(m_building);
        m_building.reset();
        return success;
    }
    INode* AddNode(INode* parent, uint32_t kind, const wchar_t* name, const wchar_t* id) override
    {
        if (!m_updating)
            return nullptr;
        const std::wstring n = name ? name : L"", i = id ? id : L"";
        if (!parent) {
            m_building = std::make_unique<Node>(this, nullptr, kind, n, i);
            return m_building.get();
        }
        if (parent->GetTopology() != this)
            return nullptr;
        return static_cast<Node*>(parent)->addChild(kind, n, i);
    }
    bool SetProperty(INode* node, uint32_t id, const Property& value) override
    {
        if (!node || node->GetTopology() != this)
            return false;
        static_cast<Node*>(node)->properties().set(id, value);
        return true;
    }

private:
    static INode* find(Node& node, const wchar_t* id)
    {
        if (node.GetId() == std::wstring(id))
            return &node;
        for (const auto& child : node.children())
            if (INode* found = find(*child, id))
                return found;
        return nullptr;
    }

    bool m_initialized = false;
    bool m_updating = false;
    uint32_t m_flags = 0;
    std::unique_ptr<Node> m_root;
    std::unique_ptr<Node> m_building;
};

} // namespace
} // namespace detail

ITopology* CreateTopologyInstance()
{
    return new detail::Topology;
}

void DestroyTopologyInstance(ITopology* topology)
{
    delete topology;
}

} // namespace Gorsk
