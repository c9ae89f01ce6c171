// The nodes of our node maps: the common part (CNodeImpl) and one class per family of node kinds.
//
// Threads: any thread may call a node; every member is guarded by the owning node map's lock, which each
// public operation takes (mutable cache members included). Callback holders are shared so that a dispatch
// running without the lock keeps them alive while another thread deregisters them.
#pragma once

#include "Formula.h"

#include <GenApi/GenApi.h>

#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace GenApi {
class CNodeMapImpl;

// One child element of a node element, as read from the description.
struct XmlProperty {
    std::string name;
    std::string text;
    std::vector<std::pair<std::string, std::string>> attributes;

    const std::string* attribute(const char* key) const
    {
        for (const auto& a : attributes)
            if (a.first == key)
                return &a.second;
        return nullptr;
    }
};

// A node element with its properties, before the node is built.
struct NodeDefinition {
    std::string kind;
    std::string name;
    std::string nameSpace;
    int mergePriority = 0;
    std::vector<XmlProperty> properties;
};

struct CallbackHolder {
    explicit CallbackHolder(CNodeCallback* cb) : callback(cb) {}
    ~CallbackHolder()
    {
        if (callback)
            callback->Destroy();
    }
    CallbackHolder(const CallbackHolder&) = delete;
    CallbackHolder& operator=(const CallbackHolder&) = delete;
    CNodeCallback* callback;
    // Cleared under the node map's lock; read also by the callbacks that run outside it.
    std::atomic<bool> alive{true};
};

class CNodeImpl : virtual public INode, virtual public ISelector, virtual public IValue {
public:
    CNodeImpl(CNodeMapImpl* map, NodeDefinition definition);
    ~CNodeImpl() override;

    // Links and formulas are resolved once all nodes exist; throws RuntimeException naming the problem.
    virtual void Resolve();

    // INode
    EAccessMode GetAccessMode() const override;
    GenICam::gcstring GetName(bool FullQualified = false) const override;
    ENameSpace GetNameSpace() const override;
    EVisibility GetVisibility() const override;
    void InvalidateNode() override;
    bool IsCachable() const override;
    EYesNo IsAccessModeCacheable() const override;
    ECachingMode GetCachingMode() const override;
    int64_t GetPollingTime() const override;
    GenICam::gcstring GetToolTip() const override;
    GenICam::gcstring GetDescription() const override;
    GenICam::gcstring GetDisplayName() const override;
    GenICam::gcstring GetDeviceName() const override;
    void GetChildren(NodeList_t& Children, ELinkType LinkType = ctReadingChildren) const override;
    void GetParents(NodeList_t& Parents) const override;
    CallbackHandleType RegisterCallback(CNodeCallback* pCallback) override;
    bool DeregisterCallback(CallbackHandleType hCallback) override;
    INodeMap* GetNodeMap() const override;
    GenICam::gcstring GetEventID() const override;
    bool IsStreamable() const override;
    void GetPropertyNames(GenICam::gcstring_vector& PropertyNames) const override;
    bool GetProperty(const GenICam::gcstring& PropertyName, GenICam::gcstring& ValueStr,
                     GenICam::gcstring& AttributeStr) override;
    void ImposeAccessMode(EAccessMode ImposedAccessMode) override;
    void ImposeVisibility(EVisibility ImposedVisibility) override;
    INode* GetAlias() const override;
    INode* GetCastAlias() const override;
    GenICam::gcstring GetDocuURL() const override;
    bool IsDeprecated() const override;
    EInterfaceType GetPrincipalInterfaceType() const override = 0;
    bool IsFeature() const override;
    void* GetUserData() const override { return m_userData; }
    void* SetUserData(void* userData) override;

    // ISelector
    bool IsSelector() const override;
    void GetSelectedFeatures(FeatureList_t& Features) const override;
    void GetSelectingFeatures(FeatureList_t& Features) const override;

    // IValue
    INode* GetNode() override { return this; }
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
    void FromString(const GenICam::gcstring& ValueStr, bool Verify = true) override;
    bool IsValueCacheValid() const override;

    // Engine side, called with the lock held.
    const std::string& name() const { return m_definition.name; }
    const std::string& kind() const { return m_definition.kind; }
    CNodeMapImpl* map() const { return m_map; }
    const XmlProperty* property(const char* name) const;
    std::string text(const char* name, const std::string& fallback = std::string()) const;
    CNodeImpl* link(const char* name) const;
    std::vector<CNodeImpl*> links(const char* name) const;

    // The value as the formulas and pointers of other nodes see it (no access check).
    virtual int64_t readInteger();
    virtual double readDouble();
    virtual void writeInteger(int64_t value, bool verify);
    virtual void writeDouble(double value, bool verify);
    virtual std::string readText() { return std::to_string(readInteger()); }
    virtual void writeText(const std::string& value, bool verify);

    // The access mode before availability, locking and imposition.
    virtual EAccessMode intrinsicAccessMode() const { return RW; }
    // True for nodes whose value lives in the device (registers and what reads them).
    virtual bool isDeviceRegister() const { return false; }
    bool isDeviceBacked() const { return m_deviceBacked; }
    void computeDeviceBacked();
    // A value is cached no more than what it is read through: the most restrictive caching along the
    // links that carry the value (pValue, pVariable, register addresses and indices).
    void computeCachingMode();

    void invalidateCache() { m_cacheValid = false; }
    // This node and everything it reads from, down to the registers.
    void invalidateReadingTree();
    // Every node whose value may change when this one changes (transitive; this node excluded).
    const std::vector<CNodeImpl*>& dependents();

    void addDependent(CNodeImpl* node);
    void addSelecting(CNodeImpl* node) { m_selecting.push_back(node); }
    void setFeature() { m_isFeature = true; }
    const std::vector<CNodeImpl*>& readingChildren() const { return m_readingChildren; }

    // Callbacks of the given kind, copied so that they can run while the list changes.
    std::vector<std::shared_ptr<CallbackHolder>> callbacks() const { return m_callbacks; }

    bool pendingFlag = false;
    int64_t pollElapsed = 0;

    // Poll tells the listeners of a polled node when the device holds another value than the node last
    // handed out, read or written: a value the device changes and undoes between two polls is not lost.
    // A read counts for the node read alone (the nodes it reads through keep their own record). A reader
    // that sees a change before any listener was told of it leaves the notice owed to the next poll;
    // the first read after a notice is what the notice announced.
    // Values are compared as keys: equal exactly when the values are; empty for a node without a value.
    static std::string keyOf(int64_t value);
    static std::string keyOf(double value);
    static std::string keyOf(bool value);
    static std::string keyOf(const std::string& value);
    // What a reader whose read failed saw, and a poll that cannot read the node: it differs from every value.
    static std::string unreadableKey() { return "!"; }
    // The node's value as a key, read as the node reads it (through its cache, without an access check).
    virtual std::string valueKey() { return std::string(); }
    void noteHandedOut(const std::string& key);
    void noteWritten(const std::string& key);
    // Its callbacks are queued: the listeners are about to read what the node holds now.
    void noteNotified();
    // The key of what the device holds, as a poll read it; true when the listeners have not been told of it.
    bool pollSees(const std::string& fresh);

    // Shared with the register access and the node kinds.
    void checkReadable() const;
    void checkWritable() const;
    // Records a change of this node's own value (all dependents are invalidated and notified).
    void changed();
    // Evaluates a formula property with the node's variables; FROM and TO come from the caller.
    double evalDouble(const CFormula& formula, const std::map<std::string, double>& extra);
    int64_t evalInteger(const CFormula& formula, const std::map<std::string, int64_t>& extra);
    template <class T>
    T evaluate(const CFormula& formula, const std::map<std::string, T>& extra);

    // A public read: under the lock, refused when the node is not readable, fresh from the device with
    // IgnoreCache. A read that fails hands out "cannot be read" to its reader.
    template <class Read>
    auto checkedRead(bool ignoreCache, Read read) -> decltype(read())
    {
        AutoLock lock(nodeMapLock());
        try {
            checkReadable();
            if (ignoreCache)
                invalidateReadingTree();
            auto value = read();
            noteHandedOut(keyOf(value));
            return value;
        } catch (...) {
            noteHandedOut(unreadableKey());
            throw;
        }
    }
    // After a write to the device: a write-through node keeps what it wrote as its cached value.
    template <class V>
    void keepWritten(V& cache, const V& written)
    {
        if (GetCachingMode() == WriteThrough) {
            cache = written;
            m_cacheValid = true;
        }
    }
    // Nodes that hold an integer themselves or forward it to their pValue (Boolean, Enumeration).
    int64_t readOwnOrPointed(int64_t own, int64_t& cached);
    void writeOwnOrPointed(int64_t& own, int64_t value, bool verify);
    EAccessMode pointedAccessMode(EAccessMode fallback) const;
    CLock& nodeMapLock() const;
    std::unique_ptr<CFormula> parseFormula(const char* property, bool required);
    // Throws RuntimeException naming the node when the formula uses a name that is no variable,
    // constant or expression of the node (nor FROM or TO in a converter); `what` names the formula.
    void checkVariables(const CFormula& formula, const std::string& what) const;

    // Numbers of the description; throws RuntimeException naming the node for text that is not a number.
    int64_t parseInteger(const std::string& text, const char* what) const;
    double parseDouble(const std::string& text, const char* what) const;
    int64_t integerOf(const char* valueName, const char* pointerName, int64_t fallback);
    double doubleOf(const char* valueName, const char* pointerName, double fallback);

    CNodeMapImpl* m_map;
    NodeDefinition m_definition;
    bool m_cacheValid = false;

private:
    EVisibility m_visibility = Beginner;
    EAccessMode m_imposedAccess = RW;
    bool m_hasImposedVisibility = false;
    EVisibility m_imposedVisibility = Beginner;
    void* m_userData = nullptr;
    bool m_isFeature = false;
    bool m_deviceBacked = false;
    bool m_deviceBackedKnown = false;
    std::vector<CNodeImpl*> m_readingChildren;
    std::vector<CNodeImpl*> m_invalidators;
    std::vector<CNodeImpl*> m_directDependents;
    std::vector<CNodeImpl*> m_selecting;
    std::vector<CNodeImpl*> m_dependents;
    bool m_dependentsKnown = false;
    // Formula variables: pVariable nodes, constants and sub-expressions by name.
    std::map<std::string, CNodeImpl*> m_variableNodes;
    std::map<std::string, double> m_constants;
    std::map<std::string, std::unique_ptr<CFormula>> m_expressions;
    std::vector<std::pair<CallbackHandleType, std::shared_ptr<CallbackHolder>>> m_callbackHandles;
    std::vector<std::shared_ptr<CallbackHolder>> m_callbacks;
    std::map<std::string, std::vector<CNodeImpl*>, std::less<>> m_links;
    // Looked up on every access, so resolved once.
    CNodeImpl* m_pIsImplemented = nullptr;
    CNodeImpl* m_pIsAvailable = nullptr;
    CNodeImpl* m_pIsLocked = nullptr;
    ECachingMode m_cachingMode = WriteThrough; // as computed: this node's own and its sources'
    bool m_cachingModeKnown = false;
    int64_t m_pollingTime = -1;
    std::string m_handedOut; // key of the value last read or written; empty before either
    bool m_owesNotice = false;
    bool m_noticeOpen = false; // notified, and not read since
};

// Visits start and every node reachable from it through the links next(node) gives, each once, depth first;
// cycles in a description end the walk where they close.
template <class Next, class Visit>
void walkLinks(CNodeImpl* start, Next next, Visit visit)
{
    std::vector<CNodeImpl*> stack{start};
    std::set<CNodeImpl*> seen;
    while (!stack.empty()) {
        CNodeImpl* n = stack.back();
        stack.pop_back();
        if (!seen.insert(n).second)
            continue;
        visit(n);
        for (CNodeImpl* c : next(n))
            stack.push_back(c);
    }
}

// Guards against reference cycles and runaway chains in a description, and against accesses that
// would go from node to node without end.
class DepthGuard {
public:
    explicit DepthGuard(const CNodeImpl* node);
    ~DepthGuard();
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};
} // namespace GenApi
