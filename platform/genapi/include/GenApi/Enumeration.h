// The enumeration value interface.
#pragma once

#include <GenApi/EnumEntry.h>
#include <GenApi/Value.h>

namespace GenApi {
class IEnumeration : virtual public IValue {
public:
    // Symbols of the entries that are available now.
    virtual void GetSymbolics(StringList_t& Symbolics) = 0;
    // Every entry, available or not.
    virtual void GetEntries(NodeList_t& Entries) = 0;
    virtual IEnumeration& operator=(const GenICam::gcstring& ValueStr) = 0;
    virtual void SetIntValue(int64_t Value, bool Verify = true) = 0;
    virtual int64_t GetIntValue(bool Verify = false, bool IgnoreCache = false) = 0;
    // Null for an unknown symbol.
    virtual IEnumEntry* GetEntryByName(const GenICam::gcstring& Symbolic) = 0;
    virtual IEnumEntry* GetEntry(const int64_t IntValue) = 0;
    virtual IEnumEntry* GetCurrentEntry(bool Verify = false, bool IgnoreCache = false) = 0;
};
} // namespace GenApi
