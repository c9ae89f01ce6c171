// The command interface.
#pragma once

#include <GenApi/Value.h>

namespace GenApi {
class ICommand : virtual public IValue {
public:
    virtual void Execute(bool Verify = true) = 0;
    virtual void operator()() = 0;
    virtual bool IsDone(bool Verify = true) = 0;
};
} // namespace GenApi
