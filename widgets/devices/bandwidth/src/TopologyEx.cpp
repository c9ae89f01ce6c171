// The processing layer over the topology library: the views, their builder and rule tables, the
// property filter table and the filtered node properties.
#include "orbelt/TopologyEx.h"

#include <algorithm>
#include <new>
#include <set>
#include <string>

namespace procLayer {

using Gorsk::INode;
using Gorsk::ITopology;
using OrderMap = std::map<uint32_t, uint32_t>;

namespace {

constexpr uint32_t kKindTop = 1, kKindController = 2, kKindRootHub = 3, kKindHub = 4, kKindDevice = 5, kKindU3V = 27;
constexpr uint32_t kLocation = 0xB0006, kFunctionName = 0xC90006, kHubPorts = 0x110002;

bool isLeaf(INode* node)
{
    return node->GetChildCount() == 0;
}

void collectLeaves(INode* node, std::vector<INode*>& leaves)
{
    for (size_t i = 0; i < node->GetChildCount(); ++i) {
        INode* child = node->GetChild(i);
        if (isLeaf(child))
            leaves.push_back(child);
        else
            collectLeaves(child, leaves);
    }
}

INode* topOf(INode* node)
{
    while (node && node->GetKind() != kKindTop)
        node = node->GetParent();
    return node;
}

} // namespace

bool comparePropertyIds(const OrderMap* order, uint32_t a, uint32_t b)
{
    if (!order)
        return a < b;
    auto ra = order->find(a), rb = order->find(b);
    const bool rankedA = ra != order->end(), rankedB = rb != order->end();
    if (rankedA && rankedB)
        return ra->second != rb->second ? ra->second < rb->second : a < b;
    if (rankedA != rankedB)
        return rankedA;
    return a < b;
}

CNodePropertiesFiltered::CNodePropertiesFiltered(INode* node, const OrderMap* order) : m_node(node)
{
    Gorsk::INodeProperties* own = node ? node->GetProperties() : nullptr;
    if (!own)
        return;
    std::vector<uint32_t> all(own->GetCount());
    if (!all.empty() && own->GetIds(all.data(), static_cast<uint32_t>(all.size())) != all.size())
        return;
    for (uint32_t id : all)
        if (!order || order->count(id))
            m_ids.push_back(id);
    std::sort(m_ids.begin(), m_ids.end(), [order](uint32_t a, uint32_t b) { return comparePropertyIds(order, a, b); });
}

uint32_t CNodePropertiesFiltered::GetCount() const
{
    return static_cast<uint32_t>(m_ids.size());
}

uint32_t CNodePropertiesFiltered::GetIds(uint32_t* buffer, uint32_t capacity) const
{
    if (buffer && capacity >= m_ids.size())
        std::copy(m_ids.begin(), m_ids.end(), buffer);
    return GetCount();
}

bool CNodePropertiesFiltered::HasId(uint32_t id) const
{
    return std::find(m_ids.begin(), m_ids.end(), id) != m_ids.end();
}

const Gorsk::Property* CNodePropertiesFiltered::GetByIndex(uint32_t index) const
{
    return index < m_ids.size() ? GetById(m_ids[index]) : nullptr;
}

const Gorsk::Property* CNodePropertiesFiltered::GetById(uint32_t id) const
{
    Gorsk::INodeProperties* own = m_node ? m_node->GetProperties() : nullptr;
    return own ? own->GetById(id) : nullptr;
}

bool CHasU3VChildNode::test(INode*, INode* node) const
{
    for (size_t i = 0; node && i < node->GetChildCount(); ++i)
        if (node->GetChild(i)->GetKind() == kKindU3V)
            return true;
    return false;
}

bool CIsGenericHub::test(INode*, INode* node) const
{
    if (!node || node->GetKind() != kKindHub)
        return false;
    INode* parent = node->GetParent();
    if (!parent || parent->GetKind() != kKindRootHub)
        return false;
    const Gorsk::Property* ports = parent->GetProperties() ? parent->GetProperties()->GetById(kHubPorts) : nullptr;
    return !ports || ports->int32Value == 0;
}

// (view, node kind) -> filter -> order map. Several keys share one rank list.
struct PropertyFilterTable {
    std::map<std::pair<uint32_t, uint32_t>, std::map<uint32_t, OrderMap>> entries;

    const OrderMap* find(uint32_t view, uint32_t kind, uint32_t filter) const
    {
        auto e = entries.find({view, kind});
        if (e == entries.end())
            return nullptr;
        auto f = e->second.find(filter);
        return f == e->second.end() ? nullptr : &f->second;
    }

    PropertyFilterTable()
    {
        const OrderMap synthetic = {{0xFFFD0082, 200}, {0xFFFC0086, 201}, {0xFFFF0082, 202}, {0xFFFE0086, 203}};
        const OrderMap shortList = {{0x320006, 1}, {0x330006, 2}, {0x450002, 3}, {0xC0002, 4}};
        const OrderMap hubList = {{0xC0002, 1}, {0x150086, 2}, {0x6A0002, 3}};
        OrderMap details = {{0x320006, 1},  {0x330006, 2},  {0x450002, 3}, {0xC0002, 4},  {0xB0006, 5},
                            {0xA0006, 6},   {0xC90006, 7},  {0x680006, 8}, {0x110002, 9}, {0xCE0006, 10},
                            {0x6A0002, 11}, {0x640006, 12}, {0xE10006, 13}};
        details.insert(synthetic.begin(), synthetic.end());
        const OrderMap controller = {{0x6E0004, 1}, {0x6F0004, 2}};
        OrderMap controllerDetails = controller;
        controllerDetails.insert({{0xA0006, 3}, {0xC0002, 4}});
        const OrderMap u3v = {{0xA280006, 1}, {0xA290006, 2}, {0xA2A0006, 3},
                              {0xA2B0006, 4}, {0xA2C0006, 5}, {0xC70002, 100}};
        OrderMap u3vDetails = u3v;
        u3vDetails.insert({{0xA5C0006, 6}, {0xC90006, 7}});
        const OrderMap top = {{0xC0002, 1}};
        for (uint32_t view : {View_Flat, View_Cameras, View_Complete}) {
            entries[{view, kKindTop}] = {
                {PropertyFilter_Summary, top}, {PropertyFilter_Details, top}, {PropertyFilter_Copy, top}};
            entries[{view, kKindController}] = {{PropertyFilter_Summary, controller},
                                                {PropertyFilter_Details, controllerDetails}};
            for (uint32_t hub : {kKindRootHub, kKindHub})
                entries[{view, hub}] = {{PropertyFilter_Summary, hubList}, {PropertyFilter_Details, details}};
            for (uint32_t kind = kKindDevice; kind <= 30; ++kind)
                if (kind != kKindU3V)
                    entries[{view, kind}] = {{PropertyFilter_Summary, shortList}, {PropertyFilter_Details, details}};
            entries[{view, kKindU3V}] = {{PropertyFilter_Summary, u3v}, {PropertyFilter_Details, u3vDetails}};
        }
    }
};

// Copies the raw tree into a view's instance, node by node, after the view's rule table.
class ViewBuilder {
public:
    struct Rule {
        uint32_t flags = 6;
        const ISkipPredicate* predicate = nullptr;
    };
    // Per kind of the node whose children are selected: its own flags and the rules for its
    // children's kinds. A kind without an entry selects nothing.
    struct Selection {
        uint32_t flags = 6;
        std::map<uint32_t, Rule> rules;
    };
    using Pairs = std::vector<std::pair<INode*, INode*>>; // (view node, raw node)

    ViewBuilder()
    {
        auto kinds = [](uint32_t first, uint32_t last) {
            std::vector<uint32_t> k;
            for (uint32_t i = first; i <= last; ++i)
                k.push_back(i);
            return k;
        };
        // View 0: every device below the top is passed through, so only the cameras remain.
        Selection flat;
        for (uint32_t k : kinds(2, 30))
            if (k != kKindU3V)
                flat.rules[k] = Rule{};
        m_tables[View_Flat][kKindTop] = flat;

        // View 1: controllers, the hubs that matter, and cameras in place of their devices.
        auto& cameras = m_tables[View_Cameras];
        cameras[kKindTop] = Selection{};
        Selection controller;
        controller.rules[kKindRootHub] = Rule{};
        controller.rules[kKindHub] = Rule{6, &m_genericHub};
        controller.rules[kKindDevice] = Rule{6, &m_hasU3VChild};
        cameras[kKindController] = controller;
        Selection hub;
        hub.rules[kKindDevice] = Rule{6, &m_hasU3VChild};
        cameras[kKindHub] = hub;
        for (uint32_t k : kinds(6, 30))
            if (k != 21 && k != kKindU3V)
                cameras[k] = Selection{};

        // View 2: the whole tree.
        for (uint32_t k : kinds(1, 30))
            if (k != kKindU3V)
                m_tables[View_Complete][k] = Selection{};
    }

    bool build(uint32_t view, INode* rawRoot, ITopology& target, const PropertyFilterTable& filters, Pairs& pairs)
    {
        if (!target.BeginUpdate())
            return false;
        bool ok = rawRoot != nullptr;
        try {
            if (ok)
                ok = copy(view, rawRoot, nullptr, target, filters, pairs) != nullptr;
        } catch (const std::bad_alloc&) {
            ok = false;
        }
        target.EndUpdate(ok);
        if (!ok)
            pairs.clear();
        return ok;
    }

private:
    INode* copy(uint32_t view, INode* source, INode* parent, ITopology& target, const PropertyFilterTable& filters,
                Pairs& pairs)
    {
        INode* node = target.AddNode(parent, kindIn(view, source), source->GetName(), source->GetId());
        if (!node)
            return nullptr;
        pairs.emplace_back(node, source);
        std::vector<INode*> selected;
        auto table = m_tables[view].find(source->GetKind());
        if (table != m_tables[view].end())
            select(source, table->second.flags, table->second, selected);
        for (INode* child : selected)
            if (!copy(view, child, node, target, filters, pairs))
                return nullptr;
        copyProperties(view, source, node, target, filters);
        return node;
    }

    void select(INode* source, uint32_t flags, const Selection& selection, std::vector<INode*>& out) const
    {
        if (flags & 8) {
            std::vector<INode*> leaves;
            collectLeaves(source, leaves);
            if (!leaves.empty())
                out.push_back(leaves.front());
            return;
        }
        const size_t count =
            ((flags & 2) && !(flags & 4)) ? std::min<size_t>(1, source->GetChildCount()) : source->GetChildCount();
        for (size_t i = 0; i < count; ++i) {
            INode* child = source->GetChild(i);
            auto rule = selection.rules.find(child->GetKind());
            if (rule == selection.rules.end()) {
                out.push_back(child);
                continue;
            }
            const ISkipPredicate* predicate = rule->second.predicate;
            if ((rule->second.flags & 1) && isLeaf(child)) {
                if (!(predicate && predicate->test(source, child)))
                    out.push_back(child);
                continue;
            }
            if (predicate && !predicate->test(source, child)) {
                out.push_back(child);
                continue;
            }
            select(child, rule->second.flags, selection, out);
        }
    }

    static uint32_t kindIn(uint32_t view, INode* source)
    {
        const uint32_t kind = source->GetKind();
        if (view != View_Cameras || kind != kKindDevice)
            return kind;
        // A plain device is shown as what its functions are, when they agree.
        std::vector<INode*> leaves;
        collectLeaves(source, leaves);
        std::set<uint32_t> kinds;
        for (INode* leaf : leaves)
            kinds.insert(leaf->GetKind());
        if (kinds.empty())
            return kind;
        if (kinds.size() == 1)
            return *kinds.begin();
        for (uint32_t k : kinds)
            if (k != 8 && k != 25 && k != 26)
                return kind;
        return 8;
    }

    static void copyProperties(uint32_t view, INode* source, INode* node, ITopology& target,
                               const PropertyFilterTable& filters)
    {
        Gorsk::INodeProperties* own = source->GetProperties();
        if (!own)
            return;
        const OrderMap* list =
            filters.find(view, source->GetKind() == kKindTop ? kKindTop : kKindController, PropertyFilter_Copy);
        std::vector<uint32_t> ids(own->GetCount());
        if (!ids.empty() && own->GetIds(ids.data(), static_cast<uint32_t>(ids.size())) != ids.size())
            return;
        for (uint32_t id : ids) {
            if (list && !list->count(id))
                continue;
            const Gorsk::Property* value = own->GetById(id);
            if (!value)
                continue;
            if (view == View_Cameras && source->GetKind() == kKindDevice && id == kLocation) {
                copyLocationWithFunctions(source, node, *value, target);
                continue;
            }
            target.SetProperty(node, id, *value);
        }
    }

    // "<location> (<function>, <function>)" so that a plain device says what it does.
    static void copyLocationWithFunctions(INode* source, INode* node, const Gorsk::Property& own, ITopology& target)
    {
        std::vector<INode*> leaves;
        collectLeaves(source, leaves);
        std::wstring names;
        for (INode* leaf : leaves) {
            const Gorsk::Property* name =
                leaf->GetProperties() ? leaf->GetProperties()->GetById(kFunctionName) : nullptr;
            if (!name || !name->stringValue)
                continue;
            if (!names.empty())
                names += L", ";
            names += name->stringValue;
        }
        if (names.empty()) {
            target.SetProperty(node, kLocation, own);
            return;
        }
        const std::wstring text = std::wstring(own.stringValue ? own.stringValue : L"") + L" (" + names + L")";
        Gorsk::Property value = own;
        value.stringValue = text.c_str();
        target.SetProperty(node, kLocation, value);
    }

    CHasU3VChildNode m_hasU3VChild;
    CIsGenericHub m_genericHub;
    std::map<uint32_t, std::map<uint32_t, Selection>> m_tables;
};

CTopologyEx::CTopologyEx() = default;

CTopologyEx::~CTopologyEx()
{
    Uninit();
    if (m_inner)
        Gorsk::DestroyTopologyInstance(m_inner);
}

bool CTopologyEx::Init(uint64_t context, uint32_t flags)
{
    return Init(context, nullptr, 0, flags);
}

bool CTopologyEx::Init(uint64_t context, const InitParameter* parameters, size_t count, uint32_t flags)
{
    m_context = context;
    m_initParameters.clear();
    for (size_t i = 0; parameters && i < count; ++i)
        m_initParameters[parameters[i].key] = parameters[i].value;
    m_flags = flags;
    clearViews();
    if (!m_inner)
        m_inner = Gorsk::CreateTopologyInstance();
    if (!m_inner || !m_inner->Init(context, flags))
        return false;
    return buildViews();
}

void CTopologyEx::Uninit()
{
    clearViews();
    if (m_inner)
        m_inner->Uninit();
}

bool CTopologyEx::Refresh()
{
    if (!m_inner)
        return false;
    clearViews();
    if (!m_inner->Refresh())
        return false;
    return buildViews();
}

INode* CTopologyEx::GetRoot() const
{
    return m_inner ? m_inner->GetRoot() : nullptr;
}

INode* CTopologyEx::FindNode(const wchar_t* id) const
{
    return m_inner ? m_inner->FindNode(id) : nullptr;
}

bool CTopologyEx::IsInitialized() const
{
    return m_inner && m_inner->IsInitialized();
}

bool CTopologyEx::BeginUpdate()
{
    return m_inner && m_inner->BeginUpdate();
}

bool CTopologyEx::EndUpdate(bool success)
{
    return m_inner && m_inner->EndUpdate(success);
}

INode* CTopologyEx::AddNode(INode* parent, uint32_t kind, const wchar_t* name, const wchar_t* id)
{
    return m_inner ? m_inner->AddNode(parent, kind, name, id) : nullptr;
}

bool CTopologyEx::SetProperty(INode* node, uint32_t id, const Gorsk::Property& value)
{
    return m_inner && m_inner->SetProperty(node, id, value);
}

ITopology* CTopologyEx::GetView(uint32_t view)
{
    auto it = m_views.find(view);
    return it == m_views.end() ? nullptr : it->second.get();
}

uint32_t CTopologyEx::viewOf(INode* node) const
{
    INode* top = topOf(node);
    if (!top)
        return View_None;
    for (uint32_t view : {View_Cameras, View_Flat, View_Complete}) {
        auto it = m_views.find(view);
        if (it != m_views.end() && it->second->GetRoot() == top)
            return view;
    }
    return View_None;
}

Gorsk::INodeProperties* CTopologyEx::GetNodeProperties(INode* node, uint32_t filter)
{
    if (!node)
        return nullptr;
    auto key = std::make_pair(node, filter);
    auto cached = m_propertyCache.find(key);
    if (cached != m_propertyCache.end())
        return cached->second.get();
    if (!m_filterTable)
        m_filterTable = std::make_unique<PropertyFilterTable>();
    const OrderMap* order = m_filterTable->find(viewOf(node), node->GetKind(), filter);
    auto properties = std::make_shared<CNodePropertiesFiltered>(node, order);
    m_propertyCache[key] = properties;
    return properties.get();
}

INode* CTopologyEx::TranslateNode(INode* node, uint32_t toView)
{
    ITopology* target = GetView(toView);
    if (!target)
        return nullptr;
    if (!node)
        return target->GetRoot();
    INode* raw = node;
    const uint32_t from = viewOf(node);
    if (from != View_None) {
        auto& toRaw = m_translators[from].toRaw;
        auto it = toRaw.find(node);
        if (it == toRaw.end())
            return nullptr;
        raw = it->second;
    }
    auto& fromRaw = m_translators[toView].fromRaw;
    auto it = fromRaw.find(raw);
    return it == fromRaw.end() ? nullptr : it->second;
}

bool CTopologyEx::buildViews()
{
    if (!m_filterTable)
        m_filterTable = std::make_unique<PropertyFilterTable>();
    if (!m_builder)
        m_builder = std::make_unique<ViewBuilder>();
    bool ok = true;
    for (uint32_t view : {View_Cameras, View_Flat, View_Complete}) {
        std::unique_ptr<ITopology, ViewDeleter> instance(Gorsk::CreateTopologyInstance());
        auto parameter = m_initParameters.find(static_cast<int32_t>(view));
        const uint64_t context = parameter == m_initParameters.end() ? 0 : parameter->second;
        if (!instance || !instance->Init(context, Gorsk::Init_Empty)) {
            ok = false;
            continue;
        }
        ViewBuilder::Pairs pairs;
        if (!m_builder->build(view, m_inner->GetRoot(), *instance, *m_filterTable, pairs))
            ok = false;
        Translator& translator = m_translators[view];
        for (const auto& pair : pairs) {
            translator.toRaw[pair.first] = pair.second;
            translator.fromRaw[pair.second] = pair.first;
        }
        m_views[view] = std::move(instance);
    }
    return ok;
}

void CTopologyEx::clearViews()
{
    m_propertyCache.clear();
    m_translators.clear();
    m_views.clear();
}

uint32_t createTopologyEx(ITopologyEx** out)
{
    if (!out)
        return TopologyStatus_InvalidArgument;
    try {
        *out = new CTopologyEx;
    } catch (...) {
        *out = nullptr;
        return TopologyStatus_OutOfMemory;
    }
    return TopologyStatus_Ok;
}

} // namespace procLayer
