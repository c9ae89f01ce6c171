// The engine's named node access over a GenApi node map (see GenApiNodeMap.h).
#include "GenApiNodeMap.h"

#include <GenApi/GenApi.h>

namespace {

grab::AccessMode toAccessMode(GenApi::EAccessMode mode)
{
    switch (mode) {
    case GenApi::NA: return grab::AccessMode::NA;
    case GenApi::WO: return grab::AccessMode::WO;
    case GenApi::RO: return grab::AccessMode::RO;
    case GenApi::RW: return grab::AccessMode::RW;
    default: return grab::AccessMode::NI;
    }
}

} // namespace

GenApi::INode* GenApiNodeMap::node(const std::string& name) const
{
    return m_nodeMap ? m_nodeMap->GetNode(name.c_str()) : nullptr;
}

template <class T>
T* GenApiNodeMap::as(const std::string& name) const
{
    T* value = dynamic_cast<T*>(node(name));
    if (!value)
        GENICAM_THROW(GenICam::LogicalErrorException, "NULL pointer dereferenced");
    return value;
}

grab::NodeKind GenApiNodeMap::kind(const std::string& name) const
{
    GenApi::INode* n = node(name);
    if (!n)
        return grab::NodeKind::Missing;
    switch (n->GetPrincipalInterfaceType()) {
    case GenApi::intfIInteger: return grab::NodeKind::Integer;
    case GenApi::intfIFloat: return grab::NodeKind::Float;
    case GenApi::intfIEnumeration: return grab::NodeKind::Enumeration;
    case GenApi::intfIBoolean: return grab::NodeKind::Boolean;
    case GenApi::intfICommand: return grab::NodeKind::Command;
    case GenApi::intfIString: return grab::NodeKind::String;
    default: return grab::NodeKind::Other;
    }
}

grab::AccessMode GenApiNodeMap::accessMode(const std::string& name) const
{
    GenApi::INode* n = node(name);
    return n ? toAccessMode(n->GetAccessMode()) : grab::AccessMode::NI;
}

int64_t GenApiNodeMap::intValue(const std::string& name) const
{
    return as<GenApi::IInteger>(name)->GetValue();
}

int64_t GenApiNodeMap::intMin(const std::string& name) const
{
    return as<GenApi::IInteger>(name)->GetMin();
}

int64_t GenApiNodeMap::intMax(const std::string& name) const
{
    return as<GenApi::IInteger>(name)->GetMax();
}

int64_t GenApiNodeMap::intInc(const std::string& name) const
{
    return as<GenApi::IInteger>(name)->GetInc();
}

void GenApiNodeMap::setIntValue(const std::string& name, int64_t value)
{
    as<GenApi::IInteger>(name)->SetValue(value, true);
}

double GenApiNodeMap::floatValue(const std::string& name) const
{
    return as<GenApi::IFloat>(name)->GetValue();
}

double GenApiNodeMap::floatMin(const std::string& name) const
{
    return as<GenApi::IFloat>(name)->GetMin();
}

double GenApiNodeMap::floatMax(const std::string& name) const
{
    return as<GenApi::IFloat>(name)->GetMax();
}

void GenApiNodeMap::setFloatValue(const std::string& name, double value)
{
    as<GenApi::IFloat>(name)->SetValue(value, true);
}

std::string GenApiNodeMap::enumValue(const std::string& name) const
{
    return as<GenApi::IEnumeration>(name)->ToString().c_str();
}

void GenApiNodeMap::setEnumValue(const std::string& name, const std::string& entry)
{
    as<GenApi::IEnumeration>(name)->FromString(entry.c_str(), true);
}

std::vector<std::string> GenApiNodeMap::enumEntries(const std::string& name) const
{
    GenApi::NodeList_t entries;
    as<GenApi::IEnumeration>(name)->GetEntries(entries);
    std::vector<std::string> names;
    for (GenApi::INode* n : entries)
        if (auto* entry = dynamic_cast<GenApi::IEnumEntry*>(n))
            names.emplace_back(entry->GetSymbolic().c_str());
    return names;
}

grab::AccessMode GenApiNodeMap::enumEntryAccessMode(const std::string& name, const std::string& entry) const
{
    GenApi::IEnumEntry* e = as<GenApi::IEnumeration>(name)->GetEntryByName(entry.c_str());
    return e ? toAccessMode(e->GetAccessMode()) : grab::AccessMode::NI;
}

bool GenApiNodeMap::boolValue(const std::string& name) const
{
    return as<GenApi::IBoolean>(name)->GetValue();
}

void GenApiNodeMap::setBoolValue(const std::string& name, bool value)
{
    as<GenApi::IBoolean>(name)->SetValue(value, true);
}

std::string GenApiNodeMap::stringValue(const std::string& name) const
{
    return as<GenApi::IString>(name)->GetValue().c_str();
}

void GenApiNodeMap::setStringValue(const std::string& name, const std::string& value)
{
    as<GenApi::IString>(name)->SetValue(value.c_str(), true);
}

void GenApiNodeMap::executeCommand(const std::string& name)
{
    as<GenApi::ICommand>(name)->Execute(true);
}

void GenApiNodeMap::invalidateNodes()
{
    if (m_nodeMap)
        m_nodeMap->InvalidateNodes();
}
