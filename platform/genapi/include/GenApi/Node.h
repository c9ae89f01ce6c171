// The node interface: what every node of a node map tells about itself.
#pragma once

#include <GenApi/Base.h>
#include <GenApi/NodeCallback.h>

namespace GenApi {
class INodeMap;

class INode : virtual public IBase {
public:
    virtual GenICam::gcstring GetName(bool FullQualified = false) const = 0;
    virtual ENameSpace GetNameSpace() const = 0;
    virtual EVisibility GetVisibility() const = 0;
    virtual void InvalidateNode() = 0;
    virtual bool IsCachable() const = 0;
    virtual EYesNo IsAccessModeCacheable() const = 0;
    virtual ECachingMode GetCachingMode() const = 0;
    virtual int64_t GetPollingTime() const = 0;
    virtual GenICam::gcstring GetToolTip() const = 0;
    virtual GenICam::gcstring GetDescription() const = 0;
    virtual GenICam::gcstring GetDisplayName() const = 0;
    virtual GenICam::gcstring GetDeviceName() const = 0;
    virtual void GetChildren(NodeList_t& Children, ELinkType LinkType = ctReadingChildren) const = 0;
    virtual void GetParents(NodeList_t& Parents) const = 0;
    // Takes the callback over; gives its handle, 0 on failure.
    virtual CallbackHandleType RegisterCallback(CNodeCallback* pCallback) = 0;
    virtual bool DeregisterCallback(CallbackHandleType hCallback) = 0;
    virtual INodeMap* GetNodeMap() const = 0;
    virtual GenICam::gcstring GetEventID() const = 0;
    virtual bool IsStreamable() const = 0;
    virtual void GetPropertyNames(GenICam::gcstring_vector& PropertyNames) const = 0;
    // ValueStr holds the property's value (names of linked nodes joined by '\t'), AttributeStr its attributes.
    virtual bool GetProperty(const GenICam::gcstring& PropertyName, GenICam::gcstring& ValueStr,
                             GenICam::gcstring& AttributeStr) = 0;
    // A later imposition replaces an earlier one.
    virtual void ImposeAccessMode(EAccessMode ImposedAccessMode) = 0;
    virtual void ImposeVisibility(EVisibility ImposedVisibility) = 0;
    virtual INode* GetAlias() const = 0;
    virtual INode* GetCastAlias() const = 0;
    virtual GenICam::gcstring GetDocuURL() const = 0;
    virtual bool IsDeprecated() const = 0;
    virtual EInterfaceType GetPrincipalInterfaceType() const = 0;
    virtual bool IsFeature() const = 0;

    // Free user data; adapters that do not keep any need not override these.
    virtual void* GetUserData() const { return nullptr; }
    virtual void* SetUserData(void* /*userData*/) { return nullptr; }
};
} // namespace GenApi
