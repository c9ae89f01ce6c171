// The root of every GenApi interface.
#pragma once

#include <GenApi/Types.h>

namespace GenApi {
class IBase {
public:
    virtual ~IBase() = default;
    virtual EAccessMode GetAccessMode() const = 0;
};

inline bool IsReadable(EAccessMode mode)
{
    return mode == RO || mode == RW;
}
inline bool IsWritable(EAccessMode mode)
{
    return mode == WO || mode == RW;
}
inline bool IsImplemented(EAccessMode mode)
{
    return mode != NI;
}
inline bool IsAvailable(EAccessMode mode)
{
    return mode != NI && mode != NA;
}
inline bool IsReadable(const IBase* base)
{
    return base && IsReadable(base->GetAccessMode());
}
inline bool IsWritable(const IBase* base)
{
    return base && IsWritable(base->GetAccessMode());
}
inline bool IsImplemented(const IBase* base)
{
    return base && IsImplemented(base->GetAccessMode());
}
inline bool IsAvailable(const IBase* base)
{
    return base && IsAvailable(base->GetAccessMode());
}
} // namespace GenApi
