// Enumeration nodes.
#include "EnumerationNode.h"

#include "NodeMapImpl.h"
#include "NodeText.h"

#include <cinttypes>

namespace GenApi {
void CEnumerationNode::Resolve()
{
    CNodeImpl::Resolve();
    for (CNodeImpl* n : links("pEnumEntry")) {
        auto entry = dynamic_cast<CEnumEntryNode*>(n);
        if (!entry)
            throw RUNTIME_EXCEPTION("Node '%s': '%s' is not an EnumEntry", name().c_str(), n->name().c_str());
        m_entries.push_back(entry);
    }
    if (!link("pValue"))
        m_value = property("Value") ? parseInteger(text("Value"), "Value") : 0;
}

EAccessMode CEnumerationNode::intrinsicAccessMode() const
{
    return pointedAccessMode(RW);
}

CEnumEntryNode* CEnumerationNode::entryFor(int64_t value) const
{
    for (CEnumEntryNode* e : m_entries)
        if (e->GetValue() == value)
            return e;
    return nullptr;
}

int64_t CEnumerationNode::readInteger()
{
    return readOwnOrPointed(m_value, m_cached);
}

void CEnumerationNode::writeInteger(int64_t value, bool verify)
{
    writeOwnOrPointed(m_value, value, verify);
    noteWritten(keyOf(value));
}

void CEnumerationNode::GetSymbolics(StringList_t& symbolics)
{
    AutoLock lock(m_map->GetLock());
    symbolics.clear();
    for (CEnumEntryNode* e : m_entries)
        if (IsAvailable(e->GetAccessMode()))
            symbolics.push_back(e->GetSymbolic());
}

void CEnumerationNode::GetEntries(NodeList_t& entries)
{
    entries.assign(m_entries.begin(), m_entries.end());
}

IEnumeration& CEnumerationNode::operator=(const GenICam::gcstring& text)
{
    FromString(text);
    return *this;
}

void CEnumerationNode::SetIntValue(int64_t value, bool verify)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
    CEnumEntryNode* entry = entryFor(value);
    if (!entry)
        throw OUT_OF_RANGE_EXCEPTION("Node '%s': no entry has the value %" PRId64, name().c_str(), value);
    if (!IsAvailable(entry->GetAccessMode()))
        throw ACCESS_EXCEPTION("Node '%s': entry '%s' is not available", name().c_str(), entry->GetSymbolic().c_str());
    writeInteger(value, verify);
}

int64_t CEnumerationNode::GetIntValue(bool, bool ignoreCache)
{
    return checkedRead(ignoreCache, [this] { return readInteger(); });
}

IEnumEntry* CEnumerationNode::GetEntryByName(const GenICam::gcstring& symbolic)
{
    for (CEnumEntryNode* e : m_entries)
        if (e->GetSymbolic() == symbolic)
            return e;
    return nullptr;
}

IEnumEntry* CEnumerationNode::GetEntry(const int64_t value)
{
    return entryFor(value);
}

IEnumEntry* CEnumerationNode::GetCurrentEntry(bool verify, bool ignoreCache)
{
    AutoLock lock(m_map->GetLock());
    return entryFor(GetIntValue(verify, ignoreCache));
}

GenICam::gcstring CEnumerationNode::ToString(bool verify, bool ignoreCache)
{
    AutoLock lock(m_map->GetLock());
    const int64_t v = GetIntValue(verify, ignoreCache);
    CEnumEntryNode* e = entryFor(v);
    if (!e)
        throw RUNTIME_EXCEPTION("Node '%s': the value %" PRId64 " has no entry", name().c_str(), v);
    return e->GetSymbolic();
}

void CEnumerationNode::FromString(const GenICam::gcstring& text, bool verify)
{
    CNodeMapImpl::Operation op(m_map);
    checkWritable();
    IEnumEntry* entry = GetEntryByName(GenICam::gcstring(trimmedText(text.str())));
    if (!entry)
        throw INVALID_ARGUMENT_EXCEPTION("Node '%s' has no entry '%s'", name().c_str(), text.c_str());
    if (!IsAvailable(entry->GetAccessMode()))
        throw ACCESS_EXCEPTION("Node '%s': entry '%s' is not available", name().c_str(), text.c_str());
    writeInteger(entry->GetValue(), verify);
}
} // namespace GenApi
