// The processing layer over the topology library: simplified views of the USB tree and node
// properties filtered and ordered per view and node kind.
#pragma once

#include "orbelt/Export.h"

#include <gorsk/Topology.h>

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace procLayer {

// View numbers.
enum EView : uint32_t {
    View_Flat = 0,     // every USB3 Vision device directly under the top node
    View_Cameras = 1,  // host controllers, hubs and cameras
    View_Complete = 2, // the whole tree
    View_None = 3,     // a node of no view
};

// Which properties a node shows, and in which order.
enum EPropertyFilter : uint32_t {
    PropertyFilter_Summary = 4,
    PropertyFilter_Details = 28,
    PropertyFilter_Copy = 31, // what a view copies from the raw tree
};

struct InitParameter {
    int32_t key;
    uint64_t value;
};

class ITopologyEx : public Gorsk::ITopology {
public:
    using Gorsk::ITopology::Init;
    // The parameters hold, per view number, the value that view's instance is initialised with.
    virtual bool Init(uint64_t context, const InitParameter* parameters, size_t count, uint32_t flags) = 0;
    // Null before a successful initialisation.
    virtual Gorsk::ITopology* GetView(uint32_t view) = 0;
    // Owned by the topology; valid until the next refresh or uninitialisation.
    virtual Gorsk::INodeProperties* GetNodeProperties(Gorsk::INode* node, uint32_t filter) = 0;
    // The counterpart of a node (of any view or the raw tree) in another view; a null node gives
    // that view's root.
    virtual Gorsk::INode* TranslateNode(Gorsk::INode* node, uint32_t toView) = 0;
};

// A node's properties reduced to a list of ids in display order; values come from the node itself.
class ORBELT_EXPORT CNodePropertiesFiltered : public Gorsk::INodeProperties {
public:
    // Without an order map every id is kept, in ascending order.
    CNodePropertiesFiltered(Gorsk::INode* node, const std::map<uint32_t, uint32_t>* order);
    uint32_t GetCount() const override;
    uint32_t GetIds(uint32_t* buffer, uint32_t capacity) const override;
    bool HasId(uint32_t id) const override;
    const Gorsk::Property* GetByIndex(uint32_t index) const override;
    // Unfiltered: any property of the node.
    const Gorsk::Property* GetById(uint32_t id) const override;

private:
    Gorsk::INode* m_node;
    std::vector<uint32_t> m_ids;
};

// Orders property ids by their ranks; ranked ids before unranked ones, ties by id.
ORBELT_EXPORT bool comparePropertyIds(const std::map<uint32_t, uint32_t>* order, uint32_t a, uint32_t b);

// Decides for a node, seen from its parent, whether a selection rule applies.
class ISkipPredicate {
public:
    virtual bool test(Gorsk::INode* parent, Gorsk::INode* node) const = 0;
    virtual ~ISkipPredicate() = default;
};

class ORBELT_EXPORT CHasU3VChildNode : public ISkipPredicate {
public:
    bool test(Gorsk::INode* parent, Gorsk::INode* node) const override;
};

class ORBELT_EXPORT CIsGenericHub : public ISkipPredicate {
public:
    bool test(Gorsk::INode* parent, Gorsk::INode* node) const override;
};

class ViewBuilder;
struct PropertyFilterTable;

// Threads: the widget thread only, like the topology library it wraps.
class ORBELT_EXPORT CTopologyEx : public ITopologyEx {
public:
    CTopologyEx();
    ~CTopologyEx() override;
    CTopologyEx(const CTopologyEx&) = delete;
    CTopologyEx& operator=(const CTopologyEx&) = delete;

    bool Init(uint64_t context, uint32_t flags) override;
    void Uninit() override;
    bool Refresh() override;
    Gorsk::INode* GetRoot() const override;
    Gorsk::INode* FindNode(const wchar_t* id) const override;
    bool IsInitialized() const override;
    bool BeginUpdate() override;
    bool EndUpdate(bool success) override;
    Gorsk::INode* AddNode(Gorsk::INode* parent, uint32_t kind, const wchar_t* name, const wchar_t* id) override;
    bool SetProperty(Gorsk::INode* node, uint32_t id, const Gorsk::Property& value) override;

    bool Init(uint64_t context, const InitParameter* parameters, size_t count, uint32_t flags) override;
    Gorsk::ITopology* GetView(uint32_t view) override;
    Gorsk::INodeProperties* GetNodeProperties(Gorsk::INode* node, uint32_t filter) override;
    Gorsk::INode* TranslateNode(Gorsk::INode* node, uint32_t toView) override;

    // The view a node belongs to, by the top node above it; View_None for the raw tree.
    uint32_t viewOf(Gorsk::INode* node) const;

private:
    struct Translator {
        std::map<Gorsk::INode*, Gorsk::INode*> toRaw;
        std::map<Gorsk::INode*, Gorsk::INode*> fromRaw;
    };
    struct ViewDeleter {
        void operator()(Gorsk::ITopology* view) const { Gorsk::DestroyTopologyInstance(view); }
    };

    bool buildViews();
    void clearViews();

    Gorsk::ITopology* m_inner = nullptr; // owned
    uint64_t m_context = 0;
    std::map<int32_t, uint64_t> m_initParameters;
    uint32_t m_flags = 0x10001;
    std::map<uint32_t, std::unique_ptr<Gorsk::ITopology, ViewDeleter>> m_views;
    std::map<uint32_t, Translator> m_translators;
    std::map<std::pair<Gorsk::INode*, uint32_t>, std::shared_ptr<CNodePropertiesFiltered>> m_propertyCache;
    std::unique_ptr<PropertyFilterTable> m_filterTable;
    std::unique_ptr<ViewBuilder> m_builder;
};

constexpr uint32_t TopologyStatus_Ok = 0;
constexpr uint32_t TopologyStatus_NotInitialized = 1;
constexpr uint32_t TopologyStatus_OutOfMemory = 0xE2000004u;
constexpr uint32_t TopologyStatus_InvalidArgument = 0xE2000008u;

ORBELT_EXPORT uint32_t createTopologyEx(ITopologyEx** out);

} // namespace procLayer
