// A GenApi node face that forwards every node operation to a real node of the camera's node map.
#pragma once

#include <GenApi/Node.h>

namespace TesvarNodeTools {

// GUI thread only. The wrapped node belongs to the camera device and is not owned: nothing may use
// the wrapper after the device's node map is gone.
class CNodeWrapper : public virtual GenApi::INode {
public:
    explicit CNodeWrapper(GenApi::INode* node);

    GenICam::gcstring GetName(bool FullQualified = false) const override;
    GenApi::ENameSpace GetNameSpace() const override;
    GenApi::EVisibility GetVisibility() const override;
    void InvalidateNode() override;
    bool IsCachable() const override;
    GenApi::EYesNo IsAccessModeCacheable() const override;
    GenApi::ECachingMode GetCachingMode() const override;
    int64_t GetPollingTime() const override;
    GenICam::gcstring GetToolTip() const override;
    GenICam::gcstring GetDescription() const override;
    GenICam::gcstring GetDisplayName() const override;
    GenICam::gcstring GetDeviceName() const override;
    void GetChildren(GenApi::NodeList_t& Children,
                     GenApi::ELinkType LinkType = GenApi::ctReadingChildren) const override;
    void GetParents(GenApi::NodeList_t& Parents) const override;
    // The callback goes to the real node, so it fires when the real node changes; it still hands its
    // client the node it was registered with (this wrapper).
    GenApi::CallbackHandleType RegisterCallback(GenApi::CNodeCallback* pCallback) override;
    bool DeregisterCallback(GenApi::CallbackHandleType hCallback) override;
    GenApi::INodeMap* GetNodeMap() const override;
    GenICam::gcstring GetEventID() const override;
    bool IsStreamable() const override;
    void GetPropertyNames(GenICam::gcstring_vector& PropertyNames) const override;
    bool GetProperty(const GenICam::gcstring& PropertyName, GenICam::gcstring& ValueStr,
                     GenICam::gcstring& AttributeStr) override;
    void ImposeAccessMode(GenApi::EAccessMode ImposedAccessMode) override;
    void ImposeVisibility(GenApi::EVisibility ImposedVisibility) override;
    GenApi::INode* GetAlias() const override;
    GenApi::INode* GetCastAlias() const override;
    GenICam::gcstring GetDocuURL() const override;
    bool IsDeprecated() const override;
    GenApi::EInterfaceType GetPrincipalInterfaceType() const override;
    bool IsFeature() const override;
    void* GetUserData() const override;
    void* SetUserData(void* userData) override;

    GenApi::INode* wrappedNode() const { return m_pNode; }

protected:
    GenApi::INode* node() const;

    GenApi::INode* m_pNode;
};

} // namespace TesvarNodeTools
