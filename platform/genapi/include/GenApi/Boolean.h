// The boolean value interface.
#pragma once

#include <GenApi/Value.h>

namespace GenApi {
class IBoolean : virtual public IValue {
public:
    virtual void SetValue(bool Value, bool Verify = true) = 0;
    virtual void operator=(bool Value) = 0;
    virtual bool GetValue(bool Verify = false, bool IgnoreCache = false) = 0;
    virtual bool operator()() = 0;
};
} // namespace GenApi
