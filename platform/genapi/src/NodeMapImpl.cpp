// Building a node map from GenICam descriptions (with merging), and the node map's own operations.
#include "NodeMapImpl.h"

#include "BooleanNode.h"
#include "CategoryNode.h"
#include "CommandNode.h"
#include "EnumerationNode.h"
#include "FloatNode.h"
#include "IntegerNode.h"
#include "NodeText.h"
#include "PlainNode.h"
#include "RegisterNode.h"
#include "StringNode.h"

#include <GenICam/Log.h>

#include <log4cpp/Category.hh>
#include <pugixml.hpp>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>

namespace GenApi {
namespace {
const std::set<std::string>& nodeKinds()
{
    static const std::set<std::string> kinds = {
        "Node",     "Category",  "Integer",      "IntReg",     "MaskedIntReg",  "Float",
        "FloatReg", "Converter", "IntConverter", "SwissKnife", "IntSwissKnife", "Enumeration",
        "Boolean",  "Command",   "String",       "StringReg",  "Register",      "Port"};
    return kinds;
}

int parsePriority(const char* text)
{
    if (!text || !*text)
        return 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    return end && *end == '\0' ? static_cast<int>(v) : 0;
}

XmlProperty readProperty(const pugi::xml_node& element)
{
    XmlProperty p;
    p.name = element.name();
    p.text = element.child_value();
    for (const pugi::xml_attribute& a : element.attributes())
        p.attributes.emplace_back(a.name(), a.value());
    return p;
}

bool isRegisterKind(const std::string& kind)
{
    return kind == "IntReg" || kind == "MaskedIntReg" || kind == "FloatReg" || kind == "StringReg" ||
           kind == "Register" || kind == "StructReg";
}

// Registers as cameras ship them, mended once before the nodes are built, with a warning each:
// - a register without pPort means the camera's own port: it reads through the port named "Device" when
//   the description (with what was injected into it) has one; without that port it stays without one,
//   and is left out for it;
// - an AccessMode of another spelling (such as "R") is read as RO, which never writes what the
//   description may not have meant to be written.
void mendRegisters(std::vector<NodeDefinition>& specs)
{
    auto log = GenICam::CLog::GetLogger("GenApi");
    const bool hasDevicePort = std::any_of(
        specs.begin(), specs.end(), [](const NodeDefinition& d) { return d.kind == "Port" && d.name == "Device"; });
    for (NodeDefinition& definition : specs) {
        if (!isRegisterKind(definition.kind))
            continue;
        bool hasPort = false;
        for (const XmlProperty& p : definition.properties) {
            hasPort = hasPort || p.name == "pPort";
            if (p.name != "AccessMode")
                continue;
            const std::string mode = trimmedText(p.text);
            if (mode != "RO" && mode != "WO" && mode != "RW")
                log->warn("Node '%s': unknown AccessMode '%s'; RO is taken", definition.name.c_str(), p.text.c_str());
        }
        if (!hasPort && hasDevicePort) {
            definition.properties.push_back(XmlProperty{"pPort", "Device", {}});
            log->warn("Node '%s' (%s) has no pPort; it uses the port 'Device'", definition.name.c_str(),
                      definition.kind.c_str());
        }
    }
}

// An address computed by an IntSwissKnife written inside a register becomes a node of its own (named as
// written, else after the register) that the register reads through pAddress.
NodeDefinition embeddedSwissKnife(const pugi::xml_node& element, const std::string& owner, size_t number)
{
    NodeDefinition knife;
    knife.kind = "IntSwissKnife";
    knife.name = element.attribute("Name").value();
    if (knife.name.empty())
        knife.name = owner + "_Address" + (number > 0 ? std::to_string(number + 1) : std::string());
    for (const pugi::xml_node& c : element.children())
        if (c.type() == pugi::node_element)
            knife.properties.push_back(readProperty(c));
    return knife;
}

// A StructReg is one register whose StructEntry elements are bit fields of it: each entry becomes a
// MaskedIntReg with the register's properties, where the entry does not give its own.
void readStructReg(const pugi::xml_node& element, const std::string& source, std::vector<NodeDefinition>& out)
{
    std::vector<XmlProperty> common;
    const pugi::xml_node first = element.child("StructEntry");
    const std::string owner = std::string("StructReg_") + first.attribute("Name").value();
    size_t knives = 0;
    for (const pugi::xml_node& child : element.children()) {
        if (child.type() != pugi::node_element || std::string(child.name()) == "StructEntry")
            continue;
        if (std::string(child.name()) == "IntSwissKnife") {
            NodeDefinition knife = embeddedSwissKnife(child, owner, knives++);
            common.push_back(XmlProperty{"pAddress", knife.name, {}});
            out.push_back(std::move(knife));
            continue;
        }
        common.push_back(readProperty(child));
    }
    const std::string nameSpace = element.attribute("NameSpace").value();
    for (const pugi::xml_node& entry : element.children("StructEntry")) {
        NodeDefinition definition;
        definition.kind = "MaskedIntReg";
        definition.name = entry.attribute("Name").value();
        if (definition.name.empty()) {
            GenICam::CLog::GetLogger("GenApi")->error("%s: a StructEntry at offset %td has no Name; it is left out",
                                                      source.c_str(), entry.offset_debug());
            continue;
        }
        const char* ownSpace = entry.attribute("NameSpace").value();
        definition.nameSpace = *ownSpace ? ownSpace : nameSpace;
        definition.mergePriority = parsePriority(entry.attribute("MergePriority").value());
        for (const pugi::xml_node& c : entry.children())
            if (c.type() == pugi::node_element)
                definition.properties.push_back(readProperty(c));
        for (const XmlProperty& p : common) {
            bool own = false;
            for (const XmlProperty& q : definition.properties)
                own = own || q.name == p.name;
            // One bit of an entry replaces the register's LSB/MSB and the other way round.
            const bool bits = p.name == "Bit" || p.name == "LSB" || p.name == "MSB";
            for (const XmlProperty& q : definition.properties)
                own = own || (bits && (q.name == "Bit" || q.name == "LSB" || q.name == "MSB"));
            if (!own)
                definition.properties.push_back(p);
        }
        out.push_back(std::move(definition));
    }
}

// Reads the node elements of one description (nodes may sit in Group elements).
void readNodes(const pugi::xml_node& parent, const std::string& source, std::vector<NodeDefinition>& out, int depth = 0)
{
    auto log = GenICam::CLog::GetLogger("GenApi");
    if (depth > 32) {
        log->error("%s: Group elements are nested more than 32 deep; the deeper ones are left out", source.c_str());
        return;
    }
    for (const pugi::xml_node& element : parent.children()) {
        if (element.type() != pugi::node_element)
            continue;
        const std::string kind = element.name();
        if (kind == "Group") {
            readNodes(element, source, out, depth + 1);
            continue;
        }
        if (kind == "StructReg") {
            readStructReg(element, source, out);
            continue;
        }
        if (!nodeKinds().count(kind)) {
            GenICam::CLog::GetLogger("GenApi")->warn("%s: element <%s> is not a node kind this engine knows; ignored",
                                                     source.c_str(), kind.c_str());
            continue;
        }
        NodeDefinition definition;
        definition.kind = kind;
        definition.name = element.attribute("Name").value();
        if (definition.name.empty()) {
            log->error("%s: a <%s> element at offset %td has no Name; it is left out", source.c_str(), kind.c_str(),
                       element.offset_debug());
            continue;
        }
        definition.nameSpace = element.attribute("NameSpace").value();
        definition.mergePriority = parsePriority(element.attribute("MergePriority").value());
        std::vector<NodeDefinition> entries; // nodes written inside this one: enumeration entries, address knives
        size_t knives = 0;
        for (const pugi::xml_node& child : element.children()) {
            if (child.type() != pugi::node_element)
                continue;
            if (kind == "Enumeration" && std::string(child.name()) == "EnumEntry") {
                NodeDefinition entry;
                entry.kind = "EnumEntry";
                const std::string written = child.attribute("Name").value();
                if (written.empty()) {
                    log->error("%s: an EnumEntry of '%s' has no Name; it is left out", source.c_str(),
                               definition.name.c_str());
                    continue;
                }
                // Descriptions name their entries "EnumEntry_<Enumeration>_<Symbol>", which is taken as written;
                // a bare symbol gets that prefix, so that both spellings give the same node.
                const std::string prefix = "EnumEntry_" + definition.name + "_";
                std::string symbol = written;
                if (written.compare(0, prefix.size(), prefix) == 0 && written.size() > prefix.size())
                    symbol = written.substr(prefix.size());
                else if (written.compare(0, 10, "EnumEntry_") == 0 && written.size() > 10)
                    symbol = written.substr(10);
                entry.name = written.compare(0, 10, "EnumEntry_") == 0 ? written : prefix + written;
                entry.nameSpace = child.attribute("NameSpace").value();
                for (const pugi::xml_node& c : child.children())
                    if (c.type() == pugi::node_element)
                        entry.properties.push_back(readProperty(c));
                bool hasSymbolic = false;
                for (const auto& p : entry.properties)
                    hasSymbolic = hasSymbolic || p.name == "Symbolic";
                if (!hasSymbolic)
                    entry.properties.push_back(XmlProperty{"Symbolic", symbol, {}});
                XmlProperty link{"pEnumEntry", entry.name, {}};
                definition.properties.push_back(link);
                entries.push_back(std::move(entry));
                continue;
            }
            if (std::string(child.name()) == "IntSwissKnife" && isRegisterKind(kind)) {
                NodeDefinition knife = embeddedSwissKnife(child, definition.name, knives++);
                definition.properties.push_back(XmlProperty{"pAddress", knife.name, {}});
                entries.push_back(std::move(knife));
                continue;
            }
            XmlProperty p = readProperty(child);
            if (p.name == "MergePriority")
                definition.mergePriority = parsePriority(p.text.c_str());
            definition.properties.push_back(std::move(p));
        }
        // Entries go wherever their enumeration goes in a merge.
        for (auto& e : entries)
            e.mergePriority = definition.mergePriority;
        out.push_back(std::move(definition));
        for (auto& e : entries)
            out.push_back(std::move(e));
    }
}

pugi::xml_node parseDescription(pugi::xml_document& doc, const GenICam::gcstring& text, const std::string& source)
{
    if (text.empty())
        throw RUNTIME_EXCEPTION("%s is empty", source.c_str());
    const pugi::xml_parse_result result = doc.load_buffer(text.c_str(), text.size(), pugi::parse_default);
    if (!result)
        throw RUNTIME_EXCEPTION("%s is not well-formed XML: %s at offset %td", source.c_str(), result.description(),
                                result.offset);
    pugi::xml_node root = doc.document_element();
    if (std::string(root.name()) != "RegisterDescription")
        throw RUNTIME_EXCEPTION("%s: the root element is <%s>, not <RegisterDescription>", source.c_str(), root.name());
    return root;
}

// Injected nodes join by name: categories unite their features, other clashes go to the higher MergePriority.
void merge(std::vector<NodeDefinition>& nodes, std::map<std::string, size_t>& index,
           std::vector<NodeDefinition> incoming)
{
    for (NodeDefinition& definition : incoming) {
        auto it = index.find(definition.name);
        if (it == index.end()) {
            index[definition.name] = nodes.size();
            nodes.push_back(std::move(definition));
            continue;
        }
        NodeDefinition& existing = nodes[it->second];
        if (existing.kind == "Category" && definition.kind == "Category") {
            for (const XmlProperty& p : definition.properties) {
                if (p.name != "pFeature")
                    continue;
                bool present = false;
                for (const XmlProperty& q : existing.properties)
                    present = present || (q.name == "pFeature" && q.text == p.text);
                if (!present)
                    existing.properties.push_back(p);
            }
        } else if (definition.mergePriority > existing.mergePriority) {
            existing = std::move(definition);
        }
    }
}

std::unique_ptr<CNodeImpl> makeNode(CNodeMapImpl* map, const NodeDefinition& definition)
{
    const std::string k = definition.kind;
    if (k == "IntReg" || k == "MaskedIntReg")
        return std::make_unique<CIntRegNode>(map, definition);
    if (k == "Integer" || k == "IntSwissKnife" || k == "IntConverter")
        return std::make_unique<CIntegerNode>(map, definition);
    if (k == "FloatReg")
        return std::make_unique<CFloatRegNode>(map, definition);
    if (k == "Float" || k == "Converter" || k == "SwissKnife")
        return std::make_unique<CFloatNode>(map, definition);
    if (k == "Boolean")
        return std::make_unique<CBooleanNode>(map, definition);
    if (k == "Enumeration")
        return std::make_unique<CEnumerationNode>(map, definition);
    if (k == "EnumEntry")
        return std::make_unique<CEnumEntryNode>(map, definition);
    if (k == "Command")
        return std::make_unique<CCommandNode>(map, definition);
    if (k == "StringReg")
        return std::make_unique<CStringRegNode>(map, definition);
    if (k == "String")
        return std::make_unique<CStringNode>(map, definition);
    if (k == "Register")
        return std::make_unique<CRegisterNode>(map, definition);
    if (k == "Port")
        return std::make_unique<CPortNode>(map, definition);
    if (k == "Node")
        return std::make_unique<CPlainNode>(map, definition);
    return std::make_unique<CCategoryNode>(map, definition);
}

struct CallbackOwner {
    CNodeImpl* node;
    std::shared_ptr<MapLifetime> lifetime;
};

std::mutex g_registryMutex;
std::atomic<CallbackHandleType> g_nextHandle{1};
std::map<CallbackHandleType, CallbackOwner> g_callbackOwners;
} // namespace

bool MapLifetime::enter()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_ended)
        return false;
    ++m_inside;
    return true;
}

void MapLifetime::leave()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (--m_inside == 0)
        m_left.notify_all();
}

void MapLifetime::end()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ended = true;
    m_left.wait(lock, [this] { return m_inside == 0; });
}

namespace callbackRegistry {
CallbackHandleType add(CNodeImpl* node)
{
    std::shared_ptr<MapLifetime> lifetime = node->map()->lifetime();
    std::lock_guard<std::mutex> lock(g_registryMutex);
    const CallbackHandleType handle = g_nextHandle++;
    g_callbackOwners[handle] = CallbackOwner{node, std::move(lifetime)};
    return handle;
}

CNodeImpl* owner(CallbackHandleType handle, std::shared_ptr<MapLifetime>& lifetime)
{
    std::lock_guard<std::mutex> lock(g_registryMutex);
    auto it = g_callbackOwners.find(handle);
    if (it == g_callbackOwners.end())
        return nullptr;
    lifetime = it->second.lifetime;
    return it->second.node;
}

void remove(CallbackHandleType handle)
{
    std::lock_guard<std::mutex> lock(g_registryMutex);
    g_callbackOwners.erase(handle);
}
} // namespace callbackRegistry

CNodeMapImpl::CNodeMapImpl(const GenICam::gcstring& description, const GenICam::gcstring_vector& injected,
                           const GenICam::gcstring& deviceName)
    : m_deviceName(deviceName)
{
    std::vector<NodeDefinition> specs;
    std::map<std::string, size_t> index;
    {
        pugi::xml_document doc;
        const pugi::xml_node root = parseDescription(doc, description, "The GenICam description");
        for (const pugi::xml_attribute& a : root.attributes())
            m_rootAttributes.emplace_back(a.name(), a.value());
        std::vector<NodeDefinition> first;
        readNodes(root, "The GenICam description", first);
        merge(specs, index, std::move(first));
    }
    for (size_t i = 0; i < injected.size(); ++i) {
        pugi::xml_document doc;
        const std::string source = "Injected GenICam description " + std::to_string(i + 1);
        const pugi::xml_node root = parseDescription(doc, injected[i], source);
        std::vector<NodeDefinition> more;
        readNodes(root, source, more);
        merge(specs, index, std::move(more));
    }
    mendRegisters(specs);
    build(specs);
    for (auto& node : m_nodes) {
        node->computeDeviceBacked();
        node->computeCachingMode();
    }
    // Features are what the Root category reaches.
    if (CNodeImpl* root = find("Root")) {
        walkLinks(
            root, [](CNodeImpl* n) { return n->links("pFeature"); },
            [root](CNodeImpl* n) {
                if (n != root)
                    n->setFeature();
            });
    }
}

// Real cameras ship imperfect descriptions: a node that cannot be used is logged by name and left out, and
// the rest is built again without it (nodes that need it follow it out in the next round).
void CNodeMapImpl::build(const std::vector<NodeDefinition>& specs)
{
    auto log = GenICam::CLog::GetLogger("GenApi");
    for (;;) {
        m_nodes.clear();
        m_byName.clear();
        m_ports.clear();
        for (const NodeDefinition& definition : specs) {
            if (m_leftOut.count(definition.name))
                continue;
            auto node = makeNode(this, definition);
            m_byName[definition.name] = node.get();
            if (auto port = dynamic_cast<CPortNode*>(node.get()))
                m_ports.push_back(port);
            m_nodes.push_back(std::move(node));
        }
        bool complete = true;
        for (auto& node : m_nodes) {
            try {
                node->Resolve();
            } catch (const GenICam::GenericException& e) {
                log->error("Node '%s' (%s) is left out of the node map: %s", node->name().c_str(), node->kind().c_str(),
                           e.GetDescription());
                m_leftOut.insert(node->name());
                complete = false;
            }
        }
        if (complete)
            return;
    }
}

CNodeMapImpl::~CNodeMapImpl() = default;

CNodeImpl* CNodeMapImpl::find(const std::string& name) const
{
    auto it = m_byName.find(name);
    return it == m_byName.end() ? nullptr : it->second;
}

void CNodeMapImpl::GetNodes(NodeList_t& nodes) const
{
    nodes.clear();
    for (const auto& n : m_nodes)
        nodes.push_back(n.get());
}

INode* CNodeMapImpl::GetNode(const GenICam::gcstring& name) const
{
    std::string key = name.str();
    if (key.compare(0, 5, "Std::") == 0)
        key = key.substr(5);
    else if (key.compare(0, 6, "Cust::") == 0)
        key = key.substr(6);
    return find(key);
}

void CNodeMapImpl::InvalidateNodes() const
{
    Operation op(this);
    auto self = const_cast<CNodeMapImpl*>(this);
    for (const auto& n : m_nodes) {
        n->invalidateCache();
        if (n->isDeviceBacked())
            self->queue(n.get());
    }
}

bool CNodeMapImpl::Connect(IPort* port, const GenICam::gcstring& portName) const
{
    Operation op(this);
    auto self = const_cast<CNodeMapImpl*>(this);
    for (CPortNode* p : m_ports) {
        if (p->name() == portName.str()) {
            p->connect(port);
            // Everything read through the port so far belonged to another device.
            for (const auto& n : m_nodes) {
                n->invalidateCache();
                if (n->isDeviceBacked())
                    self->queue(n.get());
            }
            return true;
        }
    }
    return false;
}

bool CNodeMapImpl::Connect(IPort* port) const
{
    if (m_ports.empty())
        return false;
    for (CPortNode* p : m_ports)
        if (p->name() == "Device")
            return Connect(port, "Device");
    return Connect(port, m_ports.front()->name());
}

void CNodeMapImpl::Poll(int64_t elapsed)
{
    Operation op(this);
    for (const auto& n : m_nodes) {
        const int64_t period = n->GetPollingTime();
        if (period < 0)
            continue;
        n->pollElapsed += elapsed;
        if (n->pollElapsed < period)
            continue;
        n->pollElapsed = 0;
        n->invalidateReadingTree();
        std::string fresh = CNodeImpl::unreadableKey();
        try {
            if (IsReadable(n->GetAccessMode()))
                fresh = n->valueKey();
        } catch (const GenICam::GenericException&) {
        }
        if (n->pollSees(fresh))
            changed(n.get());
    }
}

GenICam::gcstring CNodeMapImpl::GetSchemaVersion()
{
    return rootAttribute("SchemaMajorVersion") + "." + rootAttribute("SchemaMinorVersion") + "." +
           rootAttribute("SchemaSubMinorVersion");
}

GenICam::gcstring CNodeMapImpl::GetDeviceVersion()
{
    return rootAttribute("MajorVersion") + "." + rootAttribute("MinorVersion") + "." + rootAttribute("SubMinorVersion");
}

std::string CNodeMapImpl::rootAttribute(const char* name) const
{
    for (const auto& a : m_rootAttributes)
        if (a.first == name)
            return a.second;
    return std::string();
}

void CNodeMapImpl::queue(CNodeImpl* node)
{
    node->noteNotified();
    if (!node->pendingFlag) {
        node->pendingFlag = true;
        m_pending.push_back(node);
    }
}

void CNodeMapImpl::changed(CNodeImpl* node)
{
    queue(node);
    for (CNodeImpl* d : node->dependents()) {
        d->invalidateCache();
        queue(d);
    }
}

CNodeMapImpl::Operation::Operation(const CNodeMapImpl* map) : m_map(const_cast<CNodeMapImpl*>(map))
{
    m_map->m_lock.Lock();
    ++m_map->m_operationDepth;
}

CNodeMapImpl::Operation::~Operation()
{
    if (--m_map->m_operationDepth > 0 || m_map->m_pending.empty()) {
        m_map->m_lock.Unlock();
        return;
    }
    std::vector<CNodeImpl*> nodes;
    nodes.swap(m_map->m_pending);
    for (CNodeImpl* n : nodes)
        n->pendingFlag = false;
    m_map->dispatch(nodes);
}

// Runs with the lock held once; releases it before the outside-lock callbacks.
void CNodeMapImpl::dispatch(std::vector<CNodeImpl*>& nodes)
{
    std::vector<std::pair<CNodeImpl*, std::vector<std::shared_ptr<CallbackHolder>>>> calls;
    calls.reserve(nodes.size());
    for (CNodeImpl* n : nodes)
        calls.emplace_back(n, n->callbacks());
    auto run = [&](ECallbackType type) {
        for (auto& call : calls) {
            for (auto& holder : call.second) {
                if (!holder->alive || holder->callback->GetCallbackType() != type)
                    continue;
                try {
                    (*holder->callback)(type);
                } catch (const std::exception& e) {
                    GenICam::CLog::GetLogger("GenApi")->error("Callback of node '%s' threw: %s",
                                                              call.first->name().c_str(), e.what());
                } catch (...) {
                    GenICam::CLog::GetLogger("GenApi")->error("Callback of node '%s' threw an unknown exception",
                                                              call.first->name().c_str());
                }
            }
        }
    };
    run(cbPostInsideLock);
    m_lock.Unlock();
    run(cbPostOutsideLock);
}
} // namespace GenApi
