// The common behaviour of all nodes: properties, links, access mode, visibility, caching and callbacks.
#include "NodeImpl.h"

#include "NodeMapImpl.h"
#include "NodeText.h"

#include <GenICam/Log.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <type_traits>

namespace GenApi {
namespace {
thread_local int t_depth = 0;
const int kMaxDepth = 64;
// Steps from node to node of the outermost access in progress. Within the depth, a description whose
// nodes each read the one below more than once (and cache nothing) makes a read take 2^depth steps.
thread_local long t_steps = 0;
const long kMaxSteps = 1000000;

bool isLinkName(const std::string& name)
{
    return name.size() > 1 && name[0] == 'p' && name[1] >= 'A' && name[1] <= 'Z';
}

// Links a node can do without: a feature of a category, a selected feature, an invalidator, an alias, an
// entry of an enumeration.
bool isOptionalLink(const std::string& name)
{
    static const std::set<std::string> optional = {"pFeature", "pSelected",  "pInvalidator",
                                                   "pAlias",   "pCastAlias", "pEnumEntry"};
    return optional.count(name) != 0;
}

// Links whose value the node reads; a change of any of them may change this node.
bool isReadingLink(const std::string& name)
{
    static const std::set<std::string> reading = {
        "pValue",       "pMin",       "pMax",       "pInc",          "pVariable",    "pIsImplemented",
        "pIsAvailable", "pIsLocked",  "pAddress",   "pIndex",        "pLength",      "pCommandValue",
        "pPort",        "pEnumEntry", "pValueCopy", "pValueIndexed", "pValueDefault"};
    return reading.count(name) != 0;
}

// The links whose nodes a value is made of (not its limits, states or entries).
bool isValueSourceLink(const std::string& name)
{
    static const std::set<std::string> sources = {"pValue",  "pVariable",     "pAddress",     "pIndex",
                                                  "pLength", "pValueIndexed", "pValueDefault"};
    return sources.count(name) != 0;
}

// NoCache before WriteAround before WriteThrough.
int cachingRestriction(ECachingMode mode)
{
    return mode == NoCache ? 2 : mode == WriteAround ? 1 : 0;
}

EAccessMode combine(EAccessMode mode, EAccessMode imposed)
{
    if (mode == NI || imposed == NI)
        return NI;
    if (mode == NA || imposed == NA)
        return NA;
    switch (imposed) {
    case RO: return mode == WO ? NA : RO;
    case WO: return mode == RO ? NA : WO;
    default: return mode;
    }
}

bool parseAccessMode(const std::string& text, EAccessMode& mode)
{
    static const std::pair<const char*, EAccessMode> modes[] = {
        {"RW", RW}, {"RO", RO}, {"WO", WO}, {"NA", NA}, {"NI", NI}};
    for (const auto& m : modes)
        if (text == m.first)
            return mode = m.second, true;
    return false;
}
} // namespace

DepthGuard::DepthGuard(const CNodeImpl* node)
{
    if (t_depth == 0)
        t_steps = 0;
    if (++t_steps > kMaxSteps)
        throw RUNTIME_EXCEPTION("Node '%s': working it out takes more than %ld steps through other nodes",
                                node->name().c_str(), kMaxSteps);
    if (++t_depth > kMaxDepth) {
        --t_depth;
        throw RUNTIME_EXCEPTION("Node '%s': references form a cycle or a chain deeper than %d nodes",
                                node->name().c_str(), kMaxDepth);
    }
}

DepthGuard::~DepthGuard()
{
    --t_depth;
}

CNodeImpl::CNodeImpl(CNodeMapImpl* map, NodeDefinition definition) : m_map(map), m_definition(std::move(definition)) {}

CNodeImpl::~CNodeImpl()
{
    for (auto& entry : m_callbackHandles) {
        entry.second->alive = false;
        callbackRegistry::remove(entry.first);
    }
}

const XmlProperty* CNodeImpl::property(const char* name) const
{
    for (const auto& p : m_definition.properties)
        if (p.name == name)
            return &p;
    return nullptr;
}

std::string CNodeImpl::text(const char* name, const std::string& fallback) const
{
    const XmlProperty* p = property(name);
    return p ? p->text : fallback;
}

CNodeImpl* CNodeImpl::link(const char* name) const
{
    auto it = m_links.find(name);
    return it == m_links.end() || it->second.empty() ? nullptr : it->second.front();
}

std::vector<CNodeImpl*> CNodeImpl::links(const char* name) const
{
    auto it = m_links.find(name);
    return it == m_links.end() ? std::vector<CNodeImpl*>() : it->second;
}

int64_t CNodeImpl::parseInteger(const std::string& raw, const char* what) const
{
    int64_t v = 0;
    if (!textToInteger(raw, v))
        throw RUNTIME_EXCEPTION("Node '%s': %s '%s' is not an integer", name().c_str(), what, raw.c_str());
    return v;
}

double CNodeImpl::parseDouble(const std::string& raw, const char* what) const
{
    double v = 0.0;
    if (!textToDouble(raw, v))
        throw RUNTIME_EXCEPTION("Node '%s': %s '%s' is not a number", name().c_str(), what, raw.c_str());
    return v;
}

int64_t CNodeImpl::integerOf(const char* valueName, const char* pointerName, int64_t fallback)
{
    if (CNodeImpl* p = pointerName ? link(pointerName) : nullptr)
        return p->readInteger();
    if (const XmlProperty* v = property(valueName))
        return parseInteger(v->text, valueName);
    return fallback;
}

double CNodeImpl::doubleOf(const char* valueName, const char* pointerName, double fallback)
{
    if (CNodeImpl* p = pointerName ? link(pointerName) : nullptr)
        return p->readDouble();
    if (const XmlProperty* v = property(valueName))
        return parseDouble(v->text, valueName);
    return fallback;
}

void CNodeImpl::Resolve()
{
    for (const auto& p : m_definition.properties) {
        if (!isLinkName(p.name))
            continue;
        const std::string target = trimmedText(p.text);
        CNodeImpl* node = m_map->find(target);
        if (!node) {
            const std::string missing = m_map->isLeftOut(target) ? "the node '" + target + "', which is left out"
                                                                 : "the unknown node '" + target + "'";
            // The tree and the notices survive a missing member; a value cannot do without its sources.
            if (isOptionalLink(p.name)) {
                GenICam::CLog::GetLogger("GenApi")->warn("Node '%s': %s refers to %s; the link is ignored",
                                                         name().c_str(), p.name.c_str(), missing.c_str());
                continue;
            }
            throw RUNTIME_EXCEPTION("Node '%s': %s refers to %s", name().c_str(), p.name.c_str(), missing.c_str());
        }
        m_links[p.name].push_back(node);
        if (isReadingLink(p.name))
            m_readingChildren.push_back(node);
        if (p.name == "pInvalidator")
            m_invalidators.push_back(node);
        if (p.name == "pVariable") {
            const std::string* var = p.attribute("Name");
            if (!var || var->empty())
                throw RUNTIME_EXCEPTION("Node '%s': a pVariable has no Name", name().c_str());
            m_variableNodes[*var] = node;
        }
        if (p.name == "pSelected") {
            node->addSelecting(this);
            addDependent(node); // a selected feature may change with its selector
        }
    }
    for (CNodeImpl* child : m_readingChildren)
        child->addDependent(this);
    for (CNodeImpl* invalidator : m_invalidators)
        invalidator->addDependent(this);
    for (const auto& p : m_definition.properties) {
        const std::string* var = p.attribute("Name");
        if (p.name == "Constant" && var)
            m_constants[*var] = parseDouble(p.text, "Constant");
        else if (p.name == "Expression" && var)
            m_expressions[*var] = std::make_unique<CFormula>(p.text);
    }
    // Checked once all are known, as expressions may use each other in any order; a name that is
    // missing would otherwise only show when the value is read.
    for (const auto& expression : m_expressions)
        checkVariables(*expression.second, "Expression '" + expression.first + "'");
    if (const XmlProperty* v = property("Visibility")) {
        static const std::pair<const char*, EVisibility> levels[] = {
            {"Beginner", Beginner}, {"Expert", Expert}, {"Guru", Guru}, {"Invisible", Invisible}};
        bool known = false;
        for (const auto& l : levels)
            if (trimmedText(v->text) == l.first)
                m_visibility = l.second, known = true;
        if (!known)
            GenICam::CLog::GetLogger("GenApi")->warn("Node '%s': unknown Visibility '%s'; Beginner is taken",
                                                     name().c_str(), v->text.c_str());
    }
    if (const XmlProperty* v = property("ImposedAccessMode")) {
        if (!parseAccessMode(trimmedText(v->text), m_imposedAccess))
            throw RUNTIME_EXCEPTION("Node '%s': unknown ImposedAccessMode '%s'", name().c_str(), v->text.c_str());
    }
    if (const XmlProperty* v = property("PollingTime"))
        m_pollingTime = parseInteger(v->text, "PollingTime");
    const std::string c = trimmedText(text("Cachable", "WriteThrough"));
    m_cachingMode = c == "NoCache" ? NoCache : c == "WriteAround" ? WriteAround : WriteThrough;
    m_pIsImplemented = link("pIsImplemented");
    m_pIsAvailable = link("pIsAvailable");
    m_pIsLocked = link("pIsLocked");
}

std::unique_ptr<CFormula> CNodeImpl::parseFormula(const char* prop, bool required)
{
    const XmlProperty* p = property(prop);
    if (!p) {
        if (required)
            throw RUNTIME_EXCEPTION("Node '%s' (%s) has no %s", name().c_str(), kind().c_str(), prop);
        return nullptr;
    }
    std::unique_ptr<CFormula> formula;
    try {
        formula = std::make_unique<CFormula>(p->text);
    } catch (const GenICam::GenericException& e) {
        throw RUNTIME_EXCEPTION("Node '%s': %s", name().c_str(), e.GetDescription());
    }
    checkVariables(*formula, prop);
    return formula;
}

void CNodeImpl::checkVariables(const CFormula& formula, const std::string& what) const
{
    for (const std::string& var : formula.GetVariableNames()) {
        const bool known = m_variableNodes.count(var) || m_constants.count(var) || m_expressions.count(var) ||
                           ((var == "FROM" || var == "TO") && (kind() == "Converter" || kind() == "IntConverter"));
        if (!known)
            throw RUNTIME_EXCEPTION("Node '%s': %s uses the unknown variable '%s'", name().c_str(), what.c_str(),
                                    var.c_str());
    }
}

template <class T>
T CNodeImpl::evaluate(const CFormula& formula, const std::map<std::string, T>& extra)
{
    DepthGuard guard(this);
    const auto& names = formula.GetVariableNames();
    std::function<T(size_t)> get = [&](size_t i) -> T {
        const std::string& var = names[i];
        auto x = extra.find(var);
        if (x != extra.end())
            return x->second;
        auto n = m_variableNodes.find(var);
        if (n != m_variableNodes.end()) {
            if constexpr (std::is_integral<T>::value)
                return n->second->readInteger();
            else
                return n->second->readDouble();
        }
        auto c = m_constants.find(var);
        if (c != m_constants.end())
            return static_cast<T>(c->second);
        auto e = m_expressions.find(var);
        if (e == m_expressions.end()) // the load refuses such formulas; never a std::out_of_range here
            throw RUNTIME_EXCEPTION("Node '%s': the formula uses the unknown variable '%s'", name().c_str(),
                                    var.c_str());
        return evaluate(*e->second, extra);
    };
    CFormula::Variables vars;
    if constexpr (std::is_integral<T>::value) {
        vars.asInteger = get;
        vars.asDouble = [&](size_t i) { return static_cast<double>(get(i)); };
        return formula.EvaluateInteger(vars);
    } else {
        vars.asDouble = get;
        vars.asInteger = [&](size_t i) { return static_cast<int64_t>(get(i)); };
        return formula.EvaluateDouble(vars);
    }
}

template double CNodeImpl::evaluate(const CFormula&, const std::map<std::string, double>&);
template int64_t CNodeImpl::evaluate(const CFormula&, const std::map<std::string, int64_t>&);

double CNodeImpl::evalDouble(const CFormula& formula, const std::map<std::string, double>& extra)
{
    return evaluate(formula, extra);
}

int64_t CNodeImpl::evalInteger(const CFormula& formula, const std::map<std::string, int64_t>& extra)
{
    return evaluate(formula, extra);
}

CLock& CNodeImpl::nodeMapLock() const
{
    return m_map->GetLock();
}

int64_t CNodeImpl::readOwnOrPointed(int64_t own, int64_t& cached)
{
    DepthGuard guard(this);
    if (m_cacheValid && IsCachable())
        return cached;
    CNodeImpl* p = link("pValue");
    cached = p ? p->readInteger() : own;
    m_cacheValid = true;
    return cached;
}

void CNodeImpl::writeOwnOrPointed(int64_t& own, int64_t value, bool verify)
{
    DepthGuard guard(this);
    m_cacheValid = false;
    if (CNodeImpl* p = link("pValue")) {
        p->writeInteger(value, verify);
    } else {
        own = value;
        changed();
    }
}

EAccessMode CNodeImpl::pointedAccessMode(EAccessMode fallback) const
{
    if (CNodeImpl* v = link("pValue"))
        return v->GetAccessMode();
    return fallback;
}

int64_t CNodeImpl::readInteger()
{
    throw RUNTIME_EXCEPTION("Node '%s' (%s) has no integer value", name().c_str(), kind().c_str());
}

double CNodeImpl::readDouble()
{
    return static_cast<double>(readInteger());
}

void CNodeImpl::writeInteger(int64_t, bool)
{
    throw ACCESS_EXCEPTION("Node '%s' (%s) cannot take an integer value", name().c_str(), kind().c_str());
}

void CNodeImpl::writeDouble(double value, bool verify)
{
    writeInteger(roundToInteger(this, value), verify);
}

void CNodeImpl::writeText(const std::string&, bool)
{
    throw ACCESS_EXCEPTION("Node '%s' (%s) cannot take a text", name().c_str(), kind().c_str());
}

EAccessMode CNodeImpl::GetAccessMode() const
{
    AutoLock lock(m_map->GetLock());
    auto self = const_cast<CNodeImpl*>(this);
    try {
        DepthGuard guard(this);
        if (CNodeImpl* p = m_pIsImplemented)
            if (p->readInteger() == 0)
                return NI;
        if (CNodeImpl* p = m_pIsAvailable)
            if (p->readInteger() == 0)
                return NA;
        EAccessMode mode = self->intrinsicAccessMode();
        if (mode == NI || mode == NA)
            return mode;
        if (CNodeImpl* p = m_pIsLocked)
            if (p->readInteger() != 0)
                mode = combine(mode, RO);
        return combine(mode, m_imposedAccess);
    } catch (const GenICam::GenericException&) {
        // A state that cannot be read (port gone, broken chain) leaves the node unavailable.
        return NA;
    }
}

GenICam::gcstring CNodeImpl::GetName(bool FullQualified) const
{
    if (!FullQualified)
        return name();
    return (GetNameSpace() == Standard ? "Std::" : "Cust::") + name();
}

ENameSpace CNodeImpl::GetNameSpace() const
{
    return m_definition.nameSpace == "Standard" ? Standard : Custom;
}

EVisibility CNodeImpl::GetVisibility() const
{
    AutoLock lock(m_map->GetLock());
    return m_hasImposedVisibility ? m_imposedVisibility : m_visibility;
}

void CNodeImpl::InvalidateNode()
{
    CNodeMapImpl::Operation op(m_map);
    invalidateReadingTree();
    m_map->changed(this);
}

void CNodeImpl::invalidateReadingTree()
{
    walkLinks(
        this, [](CNodeImpl* n) -> const std::vector<CNodeImpl*>& { return n->m_readingChildren; },
        [](CNodeImpl* n) { n->invalidateCache(); });
}

bool CNodeImpl::IsCachable() const
{
    return GetCachingMode() != NoCache;
}

EYesNo CNodeImpl::IsAccessModeCacheable() const
{
    return Yes;
}

ECachingMode CNodeImpl::GetCachingMode() const
{
    return m_cachingMode;
}

int64_t CNodeImpl::GetPollingTime() const
{
    return m_pollingTime;
}

GenICam::gcstring CNodeImpl::GetToolTip() const
{
    return text("ToolTip");
}

GenICam::gcstring CNodeImpl::GetDescription() const
{
    return text("Description");
}

GenICam::gcstring CNodeImpl::GetDisplayName() const
{
    return text("DisplayName", name());
}

GenICam::gcstring CNodeImpl::GetDeviceName() const
{
    return m_map->deviceName();
}

void CNodeImpl::GetChildren(NodeList_t& children, ELinkType linkType) const
{
    AutoLock lock(m_map->GetLock());
    children.clear();
    auto self = const_cast<CNodeImpl*>(this);
    switch (linkType) {
    case ctParentNodes: GetParents(children); return;
    case ctReadingChildren:
        for (CNodeImpl* c : m_readingChildren)
            children.push_back(c);
        for (CNodeImpl* c : links("pFeature"))
            children.push_back(c);
        return;
    case ctWritingChildren:
    case ctValueChangingChildren:
        if (CNodeImpl* v = link("pValue"))
            children.push_back(v);
        return;
    case ctInvalidatingChildren:
        for (CNodeImpl* c : m_invalidators)
            children.push_back(c);
        return;
    case ctDependingNodes:
        for (CNodeImpl* c : self->dependents())
            children.push_back(c);
        return;
    case ctTerminalNodes: {
        std::vector<const CNodeImpl*> stack{this};
        std::set<const CNodeImpl*> seen;
        while (!stack.empty()) {
            const CNodeImpl* n = stack.back();
            stack.pop_back();
            if (!seen.insert(n).second)
                continue;
            if (n->m_readingChildren.empty() || n->isDeviceRegister()) {
                if (n != this || n->isDeviceRegister())
                    children.push_back(const_cast<CNodeImpl*>(n));
                continue;
            }
            for (CNodeImpl* c : n->m_readingChildren)
                if (c->kind() != "Port")
                    stack.push_back(c);
        }
        return;
    }
    }
}

void CNodeImpl::GetParents(NodeList_t& parents) const
{
    AutoLock lock(m_map->GetLock());
    parents.clear();
    for (CNodeImpl* d : m_directDependents) {
        const auto& rc = d->m_readingChildren;
        if (std::find(rc.begin(), rc.end(), this) != rc.end())
            parents.push_back(d);
    }
}

void CNodeImpl::addDependent(CNodeImpl* node)
{
    if (node != this &&
        std::find(m_directDependents.begin(), m_directDependents.end(), node) == m_directDependents.end())
        m_directDependents.push_back(node);
}

const std::vector<CNodeImpl*>& CNodeImpl::dependents()
{
    if (!m_dependentsKnown) {
        std::set<CNodeImpl*> seen{this};
        std::vector<CNodeImpl*> stack(m_directDependents.rbegin(), m_directDependents.rend());
        while (!stack.empty()) {
            CNodeImpl* n = stack.back();
            stack.pop_back();
            if (!seen.insert(n).second)
                continue;
            m_dependents.push_back(n);
            for (auto it = n->m_directDependents.rbegin(); it != n->m_directDependents.rend(); ++it)
                stack.push_back(*it);
        }
        m_dependentsKnown = true;
    }
    return m_dependents;
}

namespace {
// Works a property out for start and every node it reaches through next(node), each node's after
// those of the nodes it reaches: begin(node) when the walk enters a node, then fold(node, reached) for
// each node reached from it. known(node) marks a node once entered, so a cycle ends where it closes
// (with what the node had gathered so far), and a node is worked out once over several walks. The
// walk keeps its own stack: a description may chain more nodes than a thread's stack holds frames.
template <class Known, class Next, class Begin, class Fold>
void foldReachable(CNodeImpl* start, Known known, Next next, Begin begin, Fold fold)
{
    struct Frame {
        CNodeImpl* node;
        std::vector<CNodeImpl*> reached;
        size_t done;
    };
    if (known(start))
        return;
    known(start) = true;
    begin(start);
    std::vector<Frame> stack;
    stack.push_back({start, next(start), 0});
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.done == top.reached.size()) {
            CNodeImpl* finished = top.node;
            stack.pop_back();
            if (!stack.empty())
                fold(stack.back().node, finished);
            continue;
        }
        CNodeImpl* n = top.reached[top.done++];
        if (known(n)) {
            fold(top.node, n);
            continue;
        }
        known(n) = true;
        begin(n);
        stack.push_back({n, next(n), 0});
    }
}
} // namespace

void CNodeImpl::computeDeviceBacked()
{
    foldReachable(
        this, [](CNodeImpl* n) -> bool& { return n->m_deviceBackedKnown; },
        [](CNodeImpl* n) { return n->m_readingChildren; },
        [](CNodeImpl* n) { n->m_deviceBacked = n->isDeviceRegister(); },
        [](CNodeImpl* n, CNodeImpl* child) { n->m_deviceBacked = n->m_deviceBacked || child->m_deviceBacked; });
}

void CNodeImpl::computeCachingMode()
{
    foldReachable(
        this, [](CNodeImpl* n) -> bool& { return n->m_cachingModeKnown; },
        [](CNodeImpl* n) {
            std::vector<CNodeImpl*> sources;
            for (const auto& l : n->m_links)
                if (isValueSourceLink(l.first))
                    sources.insert(sources.end(), l.second.begin(), l.second.end());
            return sources;
        },
        [](CNodeImpl*) {},
        [](CNodeImpl* n, CNodeImpl* source) {
            if (cachingRestriction(source->m_cachingMode) > cachingRestriction(n->m_cachingMode))
                n->m_cachingMode = source->m_cachingMode;
        });
}

CallbackHandleType CNodeImpl::RegisterCallback(CNodeCallback* callback)
{
    if (!callback)
        return 0;
    AutoLock lock(m_map->GetLock());
    auto holder = std::make_shared<CallbackHolder>(callback);
    const CallbackHandleType handle = callbackRegistry::add(this);
    m_callbackHandles.emplace_back(handle, holder);
    m_callbacks.push_back(holder);
    return handle;
}

bool CNodeImpl::DeregisterCallback(CallbackHandleType handle)
{
    AutoLock lock(m_map->GetLock());
    for (auto it = m_callbackHandles.begin(); it != m_callbackHandles.end(); ++it) {
        if (it->first != handle)
            continue;
        it->second->alive = false;
        m_callbacks.erase(std::find(m_callbacks.begin(), m_callbacks.end(), it->second));
        m_callbackHandles.erase(it);
        callbackRegistry::remove(handle);
        return true;
    }
    return false;
}

INodeMap* CNodeImpl::GetNodeMap() const
{
    return m_map;
}

GenICam::gcstring CNodeImpl::GetEventID() const
{
    return trimmedText(text("EventID"));
}

bool CNodeImpl::IsStreamable() const
{
    return trimmedText(text("Streamable")) == "Yes";
}

void CNodeImpl::GetPropertyNames(GenICam::gcstring_vector& names) const
{
    AutoLock lock(m_map->GetLock());
    names.clear();
    names.push_back("Name");
    names.push_back("NameSpace");
    for (const auto& p : m_definition.properties)
        if (std::find(names.begin(), names.end(), GenICam::gcstring(p.name)) == names.end())
            names.push_back(p.name);
    if (!m_directDependents.empty())
        names.push_back("pDependent");
    NodeList_t terminals;
    GetChildren(terminals, ctTerminalNodes);
    if (!terminals.empty())
        names.push_back("pTerminal");
    if (!m_selecting.empty())
        names.push_back("pSelecting");
}

bool CNodeImpl::GetProperty(const GenICam::gcstring& propertyName, GenICam::gcstring& value,
                            GenICam::gcstring& attributes)
{
    AutoLock lock(m_map->GetLock());
    value.clear();
    attributes.clear();
    auto join = [&](const std::string& item) {
        if (!value.empty())
            value += "\t";
        value += item.c_str();
    };
    const std::string wanted = propertyName.str();
    if (wanted == "Name") {
        value = name();
        return true;
    }
    if (wanted == "NameSpace") {
        value = GetNameSpace() == Standard ? "Standard" : "Custom";
        return true;
    }
    if (wanted == "pDependent" || wanted == "pSelecting" || wanted == "pTerminal") {
        NodeList_t nodes;
        if (wanted == "pTerminal")
            GetChildren(nodes, ctTerminalNodes);
        for (CNodeImpl* n : wanted == "pDependent"   ? m_directDependents
                            : wanted == "pSelecting" ? m_selecting
                                                     : std::vector<CNodeImpl*>())
            nodes.push_back(n);
        for (INode* n : nodes)
            join(n->GetName().str());
        return !nodes.empty();
    }
    bool found = false;
    for (const auto& p : m_definition.properties) {
        if (p.name != wanted)
            continue;
        found = true;
        join(p.text);
        // A lone Name attribute (pVariable, Constant, Expression) is given as the bare name.
        std::string attribute;
        if (p.attributes.size() == 1 && p.attributes[0].first == "Name") {
            attribute = p.attributes[0].second;
        } else {
            for (const auto& a : p.attributes)
                attribute += (attribute.empty() ? "" : " ") + a.first + "=" + a.second;
        }
        if (!attribute.empty()) {
            if (!attributes.empty())
                attributes += "\t";
            attributes += attribute.c_str();
        }
    }
    return found;
}

void CNodeImpl::ImposeAccessMode(EAccessMode mode)
{
    CNodeMapImpl::Operation op(m_map);
    if (mode != m_imposedAccess) {
        m_imposedAccess = mode;
        m_map->changed(this);
    }
}

void CNodeImpl::ImposeVisibility(EVisibility visibility)
{
    AutoLock lock(m_map->GetLock());
    m_hasImposedVisibility = true;
    m_imposedVisibility = visibility;
}

INode* CNodeImpl::GetAlias() const
{
    return link("pAlias");
}

INode* CNodeImpl::GetCastAlias() const
{
    return link("pCastAlias");
}

GenICam::gcstring CNodeImpl::GetDocuURL() const
{
    return trimmedText(text("DocuURL"));
}

bool CNodeImpl::IsDeprecated() const
{
    return trimmedText(text("IsDeprecated")) == "Yes";
}

bool CNodeImpl::IsFeature() const
{
    return m_isFeature;
}

void* CNodeImpl::SetUserData(void* userData)
{
    AutoLock lock(m_map->GetLock());
    void* previous = m_userData;
    m_userData = userData;
    return previous;
}

bool CNodeImpl::IsSelector() const
{
    return m_links.count("pSelected") != 0;
}

void CNodeImpl::GetSelectedFeatures(FeatureList_t& features) const
{
    features.clear();
    for (CNodeImpl* n : links("pSelected"))
        features.push_back(n);
}

void CNodeImpl::GetSelectingFeatures(FeatureList_t& features) const
{
    features.clear();
    for (CNodeImpl* n : m_selecting)
        features.push_back(n);
}

GenICam::gcstring CNodeImpl::ToString(bool, bool)
{
    return GenICam::gcstring();
}

void CNodeImpl::FromString(const GenICam::gcstring&, bool)
{
    throw ACCESS_EXCEPTION("Node '%s' (%s) has no value that can be set", name().c_str(), kind().c_str());
}

bool CNodeImpl::IsValueCacheValid() const
{
    AutoLock lock(m_map->GetLock());
    return m_cacheValid;
}

void CNodeImpl::checkReadable() const
{
    const EAccessMode mode = GetAccessMode();
    if (!IsReadable(mode))
        throw ACCESS_EXCEPTION("Node '%s' is not readable (access mode %s)", name().c_str(), accessModeName(mode));
}

void CNodeImpl::checkWritable() const
{
    const EAccessMode mode = GetAccessMode();
    if (!IsWritable(mode))
        throw ACCESS_EXCEPTION("Node '%s' is not writable (access mode %s)", name().c_str(), accessModeName(mode));
}

void CNodeImpl::changed()
{
    m_map->changed(this);
}

std::string CNodeImpl::keyOf(int64_t value)
{
    return "=" + std::to_string(value);
}

std::string CNodeImpl::keyOf(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "=%.17g", value);
    return text;
}

std::string CNodeImpl::keyOf(bool value)
{
    return value ? "=1" : "=0";
}

std::string CNodeImpl::keyOf(const std::string& value)
{
    return "=" + value;
}

void CNodeImpl::noteHandedOut(const std::string& key)
{
    if (m_noticeOpen)
        m_noticeOpen = false;
    else if (!m_handedOut.empty() && key != m_handedOut)
        m_owesNotice = true;
    m_handedOut = key;
}

void CNodeImpl::noteWritten(const std::string& key)
{
    m_handedOut = key;
    m_owesNotice = false;
}

void CNodeImpl::noteNotified()
{
    m_owesNotice = false;
    m_noticeOpen = true;
}

bool CNodeImpl::pollSees(const std::string& fresh)
{
    if (fresh.empty())
        return false;
    // Nothing handed out yet: this poll is the first look, and nobody holds another value.
    const bool news = !m_handedOut.empty() && (m_owesNotice || fresh != m_handedOut);
    m_handedOut = fresh;
    return news;
}
} // namespace GenApi
