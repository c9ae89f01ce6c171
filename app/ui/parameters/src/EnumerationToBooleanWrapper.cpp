// The enumeration-to-boolean value mapping.
#include "EnumerationToBooleanWrapper.h"

#include <GenApi/Node.h>
#include <GenICam/GenericException.h>

namespace TesvarNodeTools {

CEnumerationToBooleanWrapper::CEnumerationToBooleanWrapper(GenApi::IEnumeration* enumeration,
                                                           const GenICam::gcstring& name)
    : m_pEnumeration(enumeration)
{
    if (name == "GainAuto" || name == "ExposureAuto") {
        m_enumToBool["Off"] = "False";
        m_enumToBool["Once"] = "True";
        m_enumToBool["Continuous"] = "True";
        m_boolToEnum["False"] = "Off";
        m_boolToEnum["True"] = "Continuous";
    }
}

GenApi::IEnumeration* CEnumerationToBooleanWrapper::enumeration() const
{
    if (!m_pEnumeration)
        throw LOGICAL_ERROR_EXCEPTION("NULL pointer dereferenced");
    return m_pEnumeration;
}

GenApi::INode* CEnumerationToBooleanWrapper::GetNode()
{
    return dynamic_cast<GenApi::INode*>(this);
}

GenICam::gcstring CEnumerationToBooleanWrapper::ToString(bool Verify, bool IgnoreCache)
{
    const GenICam::gcstring text = enumeration()->ToString(Verify, IgnoreCache);
    const auto it = m_enumToBool.find(text);
    return it != m_enumToBool.end() ? it->second : text;
}

void CEnumerationToBooleanWrapper::FromString(const GenICam::gcstring& ValueStr, bool Verify)
{
    const auto it = m_boolToEnum.find(ValueStr);
    if (it != m_boolToEnum.end())
        enumeration()->FromString(it->second, Verify);
}

bool CEnumerationToBooleanWrapper::IsValueCacheValid() const
{
    return enumeration()->IsValueCacheValid();
}

void CEnumerationToBooleanWrapper::SetValue(bool Value, bool Verify)
{
    FromString(Value ? "True" : "False", Verify);
}

void CEnumerationToBooleanWrapper::operator=(bool Value)
{
    SetValue(Value, true);
}

bool CEnumerationToBooleanWrapper::GetValue(bool Verify, bool IgnoreCache)
{
    const auto it = m_enumToBool.find(enumeration()->ToString(Verify, IgnoreCache));
    return it != m_enumToBool.end() && it->second == "True";
}

bool CEnumerationToBooleanWrapper::operator()()
{
    return GetValue(false, false);
}

} // namespace TesvarNodeTools
