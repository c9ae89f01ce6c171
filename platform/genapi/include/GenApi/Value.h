// The value interface shared by every node that has a value.
#pragma once

#include <GenApi/Base.h>

namespace GenApi {
class INode;

class IValue : virtual public IBase {
public:
    virtual INode* GetNode() = 0;
    virtual GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) = 0;
    virtual void FromString(const GenICam::gcstring& ValueStr, bool Verify = true) = 0;
    virtual bool IsValueCacheValid() const = 0;
};
} // namespace GenApi
