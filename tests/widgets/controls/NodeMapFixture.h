// Node maps for the editor tests, built from small GenICam descriptions.
#pragma once

#include <GenApi/GenApi.h>

#include <memory>
#include <string>

namespace orbelttest {

inline std::string describe(const std::string& nodes)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<RegisterDescription ModelName=\"EditorModel\" "
           "VendorName=\"Test\" StandardNameSpace=\"None\" SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\" "
           "SchemaSubMinorVersion=\"0\" MajorVersion=\"1\" MinorVersion=\"0\" SubMinorVersion=\"0\">\n" +
           nodes + "\n</RegisterDescription>\n";
}

struct NodeMapDeleter {
    void operator()(GenApi::INodeMap* map) const { GenApi::DestroyNodeMap(map); }
};
using NodeMapPtr = std::unique_ptr<GenApi::INodeMap, NodeMapDeleter>;

inline NodeMapPtr makeNodeMap(const std::string& nodes)
{
    return NodeMapPtr(GenApi::CreateNodeMap(describe(nodes).c_str(), {}, "Device"));
}

} // namespace orbelttest
