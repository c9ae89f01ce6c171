// The interface of one entry of an enumeration.
#pragma once

#include <GenApi/Value.h>

namespace GenApi {
class IEnumEntry : virtual public IValue {
public:
    virtual int64_t GetValue() = 0;
    virtual GenICam::gcstring GetSymbolic() const = 0;
    virtual double GetNumericValue() = 0;
    virtual bool IsSelfClearing() = 0;
};
} // namespace GenApi
