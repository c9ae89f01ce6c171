// Small node maps for the parameter tests, built from GenICam descriptions without a device.
#pragma once

#include <GenApi/GenApi.h>

#include <memory>
#include <string>

namespace parametertest {
inline std::string describe(const std::string& nodes)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<RegisterDescription ModelName=\"Test\" VendorName=\"Test\""
           " StandardNameSpace=\"None\" SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\" SchemaSubMinorVersion=\"0\""
           " MajorVersion=\"1\" MinorVersion=\"0\" SubMinorVersion=\"0\">\n" +
           nodes + "\n</RegisterDescription>\n";
}

struct NodeMapDeleter {
    void operator()(GenApi::INodeMap* map) const { GenApi::DestroyNodeMap(map); }
};
using NodeMapPtr = std::unique_ptr<GenApi::INodeMap, NodeMapDeleter>;

inline NodeMapPtr load(const std::string& nodes)
{
    return NodeMapPtr(GenApi::CreateNodeMap(describe(nodes).c_str(), {}, "TestDevice"));
}

inline std::string autoEnumeration(const std::string& name, const std::string& value)
{
    return "<Enumeration Name=\"" + name +
           "\"><EnumEntry Name=\"Off\"><Value>0</Value></EnumEntry>"
           "<EnumEntry Name=\"Once\"><Value>1</Value></EnumEntry>"
           "<EnumEntry Name=\"Continuous\"><Value>2</Value></EnumEntry>"
           "<EnumEntry Name=\"Periodic\"><Value>3</Value></EnumEntry>"
           "<Value>" +
           value + "</Value></Enumeration>";
}

// Counts the calls of a member callback and remembers the node it was given.
struct Counter {
    void onChange(GenApi::INode* node)
    {
        ++calls;
        last = node;
    }
    int calls = 0;
    GenApi::INode* last = nullptr;
};
} // namespace parametertest
