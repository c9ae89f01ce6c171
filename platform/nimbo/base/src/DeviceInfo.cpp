// The property bag behind transport-layer and device infos.
#include <nimbo/DeviceInfo.h>

namespace Nimbo {

bool CInfoBase::GetPropertyValue(const String_t& name, String_t& value) const
{
    auto it = m_properties.find(name);
    if (it == m_properties.end())
        return false;
    value = it->second;
    return true;
}

CInfoBase& CInfoBase::SetPropertyValue(const String_t& name, const String_t& value)
{
    m_properties[name] = value;
    return *this;
}

bool CInfoBase::IsPropertyAvailable(const String_t& name) const
{
    return m_properties.count(name) != 0;
}

size_t CInfoBase::GetPropertyNames(StringList_t& names) const
{
    for (const auto& property : m_properties)
        names.push_back(property.first);
    return m_properties.size();
}

String_t CInfoBase::GetPropertyOrEmpty(const String_t& name) const
{
    auto it = m_properties.find(name);
    return it == m_properties.end() ? String_t() : it->second;
}

} // namespace Nimbo
