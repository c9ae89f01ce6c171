// Enumeration nodes.
#pragma once

#include "NodeImpl.h"
#include "EnumEntryNode.h"

namespace GenApi {
class CEnumerationNode : public CNodeImpl, virtual public IEnumeration {
public:
    using CNodeImpl::CNodeImpl;
    void Resolve() override;
    void GetSymbolics(StringList_t& Symbolics) override;
    void GetEntries(NodeList_t& Entries) override;
    IEnumeration& operator=(const GenICam::gcstring& ValueStr) override;
    void SetIntValue(int64_t Value, bool Verify = true) override;
    int64_t GetIntValue(bool Verify = false, bool IgnoreCache = false) override;
    IEnumEntry* GetEntryByName(const GenICam::gcstring& Symbolic) override;
    IEnumEntry* GetEntry(const int64_t IntValue) override;
    IEnumEntry* GetCurrentEntry(bool Verify = false, bool IgnoreCache = false) override;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIEnumeration; }
    GenICam::gcstring ToString(bool Verify = false, bool IgnoreCache = false) override;
    void FromString(const GenICam::gcstring& ValueStr, bool Verify = true) override;

    int64_t readInteger() override;
    void writeInteger(int64_t value, bool verify) override;
    std::string valueKey() override { return keyOf(readInteger()); }
    EAccessMode intrinsicAccessMode() const override;

private:
    CEnumEntryNode* entryFor(int64_t value) const;
    std::vector<CEnumEntryNode*> m_entries;
    int64_t m_value = 0, m_cached = 0;
};
} // namespace GenApi
