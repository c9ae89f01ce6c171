// The integer-to-float value mapping.
#include "IntegerToFloatWrapper.h"

#include <GenApi/Node.h>
#include <GenICam/GenericException.h>

#include <cmath>

namespace TesvarNodeTools {
namespace {
// Toward zero; a double beyond the 64-bit range is held at the nearest limit rather than overflowing.
int64_t truncate(double value)
{
    if (std::isnan(value))
        throw INVALID_ARGUMENT_EXCEPTION("Value is not a number");
    const double t = std::trunc(value);
    if (t >= 9223372036854775807.0)
        return INT64_MAX;
    if (t <= -9223372036854775808.0)
        return INT64_MIN;
    return static_cast<int64_t>(t);
}
} // namespace

CIntegerToFloatWrapper::CIntegerToFloatWrapper(GenApi::IInteger* integer) : m_pInteger(integer) {}

GenApi::IInteger* CIntegerToFloatWrapper::integer() const
{
    if (!m_pInteger)
        throw LOGICAL_ERROR_EXCEPTION("NULL pointer dereferenced");
    return m_pInteger;
}

GenApi::INode* CIntegerToFloatWrapper::GetNode()
{
    return dynamic_cast<GenApi::INode*>(this);
}
GenICam::gcstring CIntegerToFloatWrapper::ToString(bool Verify, bool IgnoreCache)
{
    return integer()->ToString(Verify, IgnoreCache);
}
void CIntegerToFloatWrapper::FromString(const GenICam::gcstring& ValueStr, bool Verify)
{
    integer()->FromString(ValueStr, Verify);
}
bool CIntegerToFloatWrapper::IsValueCacheValid() const
{
    return integer()->IsValueCacheValid();
}
void CIntegerToFloatWrapper::SetValue(double Value, bool Verify)
{
    integer()->SetValue(truncate(Value), Verify);
}
GenApi::IFloat& CIntegerToFloatWrapper::operator=(double Value)
{
    SetValue(Value, false);
    return *this;
}
double CIntegerToFloatWrapper::GetValue(bool Verify, bool IgnoreCache)
{
    return static_cast<double>(integer()->GetValue(Verify, IgnoreCache));
}
double CIntegerToFloatWrapper::operator()()
{
    return static_cast<double>((*integer())());
}
double CIntegerToFloatWrapper::operator*()
{
    return static_cast<double>(**integer());
}
double CIntegerToFloatWrapper::GetMin()
{
    return static_cast<double>(integer()->GetMin());
}
double CIntegerToFloatWrapper::GetMax()
{
    return static_cast<double>(integer()->GetMax());
}
bool CIntegerToFloatWrapper::HasInc()
{
    return false;
}
GenApi::EIncMode CIntegerToFloatWrapper::GetIncMode()
{
    return integer()->GetIncMode();
}
double CIntegerToFloatWrapper::GetInc()
{
    return static_cast<double>(integer()->GetInc());
}
GenApi::double_autovector_t CIntegerToFloatWrapper::GetListOfValidValues(bool bounded)
{
    const GenApi::int64_autovector_t values = integer()->GetListOfValidValues(bounded);
    return GenApi::double_autovector_t(values.begin(), values.end());
}
GenApi::ERepresentation CIntegerToFloatWrapper::GetRepresentation()
{
    return integer()->GetRepresentation();
}
GenICam::gcstring CIntegerToFloatWrapper::GetUnit() const
{
    return integer()->GetUnit();
}
GenApi::EDisplayNotation CIntegerToFloatWrapper::GetDisplayNotation() const
{
    return GenApi::fnFixed;
}
int64_t CIntegerToFloatWrapper::GetDisplayPrecision() const
{
    return 0;
}
void CIntegerToFloatWrapper::ImposeMin(double Value)
{
    integer()->ImposeMin(truncate(Value));
}
void CIntegerToFloatWrapper::ImposeMax(double Value)
{
    integer()->ImposeMax(truncate(Value));
}

} // namespace TesvarNodeTools
