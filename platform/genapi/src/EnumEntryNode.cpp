// The entries of an enumeration.
#include "EnumEntryNode.h"

#include "NodeMapImpl.h"
#include "NodeText.h"

namespace GenApi {
void CEnumEntryNode::Resolve()
{
    CNodeImpl::Resolve();
    m_value = property("Value") ? parseInteger(text("Value"), "Value") : 0;
    m_numeric =
        property("NumericValue") ? parseDouble(text("NumericValue"), "NumericValue") : static_cast<double>(m_value);
    m_symbolic = trimmedText(text("Symbolic", name()));
}

GenICam::gcstring CEnumEntryNode::ToString(bool, bool)
{
    return m_symbolic;
}
} // namespace GenApi
