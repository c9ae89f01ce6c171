// The integer node seen as a float node whose alias is itself.
#include "WrappedIntegerToFloat.h"

namespace TesvarNodeTools {

CWrappedIntegerToFloat::CWrappedIntegerToFloat(GenApi::INode* node)
    : CNodeWrapper(node), CIntegerToFloatWrapper(dynamic_cast<GenApi::IInteger*>(node))
{
}

GenApi::EAccessMode CWrappedIntegerToFloat::GetAccessMode() const
{
    return integer()->GetAccessMode();
}
GenApi::INode* CWrappedIntegerToFloat::GetAlias() const
{
    return m_pNode;
}
GenApi::INode* CWrappedIntegerToFloat::GetCastAlias() const
{
    return m_pNode;
}

} // namespace TesvarNodeTools
