// Boolean nodes.
#include "BooleanNode.h"

#include "NodeMapImpl.h"
#include "NodeText.h"

#include <algorithm>
#include <cctype>

namespace GenApi {
void CBooleanNode::Resolve()
{
    CNodeImpl::Resolve();
    m_on = property("OnValue") ? parseInteger(text("OnValue"), "OnValue") : 1;
    m_off = property("OffValue") ? parseInteger(text("OffValue"), "OffValue") : 0;
    if (!link("pValue")) {
        const std::string v = trimmedText(text("Value", "0"));
        m_value = v == "true" || v == "True" ? m_on : v == "false" || v == "False" ? m_off : parseInteger(v, "Value");
    }
}

EAccessMode CBooleanNode::intrinsicAccessMode() const
{
    return pointedAccessMode(RW);
}

int64_t CBooleanNode::readInteger()
{
    return readOwnOrPointed(m_value, m_cached);
}

void CBooleanNode::writeInteger(int64_t value, bool verify)
{
    writeOwnOrPointed(m_value, value, verify);
    noteWritten(keyOf(value == m_on));
}

void CBooleanNode::SetValue(bool value, bool verify)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
    writeInteger(value ? m_on : m_off, verify);
}

bool CBooleanNode::GetValue(bool, bool ignoreCache)
{
    return checkedRead(ignoreCache, [this] { return readInteger() == m_on; });
}

GenICam::gcstring CBooleanNode::ToString(bool verify, bool ignoreCache)
{
    return GetValue(verify, ignoreCache) ? "1" : "0";
}

void CBooleanNode::FromString(const GenICam::gcstring& text, bool verify)
{
    std::string t = trimmedText(text.str());
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (t == "1" || t == "true")
        SetValue(true, verify);
    else if (t == "0" || t == "false")
        SetValue(false, verify);
    else
        throw INVALID_ARGUMENT_EXCEPTION("Node '%s': '%s' is not a boolean", name().c_str(), text.c_str());
}
} // namespace GenApi
