// The enumeration node seen as a boolean node.
#include "WrappedEnumerationToBoolean.h"

namespace TesvarNodeTools {

CWrappedEnumerationToBoolean::CWrappedEnumerationToBoolean(GenApi::INode* node, const GenICam::gcstring& name)
    : CNodeWrapper(node), CEnumerationToBooleanWrapper(dynamic_cast<GenApi::IEnumeration*>(node), name)
{
}

GenApi::EAccessMode CWrappedEnumerationToBoolean::GetAccessMode() const
{
    return enumeration()->GetAccessMode();
}

} // namespace TesvarNodeTools
