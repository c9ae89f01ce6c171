// Forwarding of every node operation to the wrapped node.
#include "NodeWrapper.h"

#include <GenICam/GenericException.h>

namespace TesvarNodeTools {

CNodeWrapper::CNodeWrapper(GenApi::INode* node) : m_pNode(node) {}

GenApi::INode* CNodeWrapper::node() const
{
    if (!m_pNode)
        throw LOGICAL_ERROR_EXCEPTION("NULL pointer dereferenced");
    return m_pNode;
}

GenICam::gcstring CNodeWrapper::GetName(bool FullQualified) const
{
    return node()->GetName(FullQualified);
}
GenApi::ENameSpace CNodeWrapper::GetNameSpace() const
{
    return node()->GetNameSpace();
}
GenApi::EVisibility CNodeWrapper::GetVisibility() const
{
    return node()->GetVisibility();
}
void CNodeWrapper::InvalidateNode()
{
    node()->InvalidateNode();
}
bool CNodeWrapper::IsCachable() const
{
    return node()->IsCachable();
}
GenApi::EYesNo CNodeWrapper::IsAccessModeCacheable() const
{
    return node()->IsAccessModeCacheable();
}
GenApi::ECachingMode CNodeWrapper::GetCachingMode() const
{
    return node()->GetCachingMode();
}
int64_t CNodeWrapper::GetPollingTime() const
{
    return node()->GetPollingTime();
}
GenICam::gcstring CNodeWrapper::GetToolTip() const
{
    return node()->GetToolTip();
}
GenICam::gcstring CNodeWrapper::GetDescription() const
{
    return node()->GetDescription();
}
GenICam::gcstring CNodeWrapper::GetDisplayName() const
{
    return node()->GetDisplayName();
}
GenICam::gcstring CNodeWrapper::GetDeviceName() const
{
    return node()->GetDeviceName();
}
void CNodeWrapper::GetChildren(GenApi::NodeList_t& Children, GenApi::ELinkType LinkType) const
{
    node()->GetChildren(Children, LinkType);
}
void CNodeWrapper::GetParents(GenApi::NodeList_t& Parents) const
{
    node()->GetParents(Parents);
}
GenApi::CallbackHandleType CNodeWrapper::RegisterCallback(GenApi::CNodeCallback* pCallback)
{
    return node()->RegisterCallback(pCallback);
}
bool CNodeWrapper::DeregisterCallback(GenApi::CallbackHandleType hCallback)
{
    return node()->DeregisterCallback(hCallback);
}
GenApi::INodeMap* CNodeWrapper::GetNodeMap() const
{
    return node()->GetNodeMap();
}
GenICam::gcstring CNodeWrapper::GetEventID() const
{
    return node()->GetEventID();
}
bool CNodeWrapper::IsStreamable() const
{
    return node()->IsStreamable();
}
void CNodeWrapper::GetPropertyNames(GenICam::gcstring_vector& PropertyNames) const
{
    node()->GetPropertyNames(PropertyNames);
}
bool CNodeWrapper::GetProperty(const GenICam::gcstring& PropertyName, GenICam::gcstring& ValueStr,
                               GenICam::gcstring& AttributeStr)
{
    return node()->GetProperty(PropertyName, ValueStr, AttributeStr);
}
void CNodeWrapper::ImposeAccessMode(GenApi::EAccessMode ImposedAccessMode)
{
    node()->ImposeAccessMode(ImposedAccessMode);
}
void CNodeWrapper::ImposeVisibility(GenApi::EVisibility ImposedVisibility)
{
    node()->ImposeVisibility(ImposedVisibility);
}
GenApi::INode* CNodeWrapper::GetAlias() const
{
    return node()->GetAlias();
}
GenApi::INode* CNodeWrapper::GetCastAlias() const
{
    return node()->GetCastAlias();
}
GenICam::gcstring CNodeWrapper::GetDocuURL() const
{
    return node()->GetDocuURL();
}
bool CNodeWrapper::IsDeprecated() const
{
    return node()->IsDeprecated();
}
GenApi::EInterfaceType CNodeWrapper::GetPrincipalInterfaceType() const
{
    return node()->GetPrincipalInterfaceType();
}
bool CNodeWrapper::IsFeature() const
{
    return node()->IsFeature();
}
void* CNodeWrapper::GetUserData() const
{
    return node()->GetUserData();
}
void* CNodeWrapper::SetUserData(void* userData)
{
    return node()->SetUserData(userData);
}

} // namespace TesvarNodeTools
