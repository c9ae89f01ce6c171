// Node maps built in tests from small GenICam descriptions, without a device. Header only: tests that
// include it link the node-map engine.
#pragma once

#include <GenApi/GenApi.h>

#include <memory>
#include <string>

namespace testsupport {

// The nodes wrapped in a description's root element.
inline std::string describeNodes(const std::string& nodes, const std::string& model = "TestModel")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<RegisterDescription ModelName=\"" + model +
           "\" VendorName=\"Test\" StandardNameSpace=\"None\" SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\""
           " SchemaSubMinorVersion=\"0\" MajorVersion=\"1\" MinorVersion=\"0\" SubMinorVersion=\"0\">\n" +
           nodes + "\n</RegisterDescription>\n";
}

struct NodeMapDeleter {
    void operator()(GenApi::INodeMap* map) const { GenApi::DestroyNodeMap(map); }
};
using NodeMapPtr = std::unique_ptr<GenApi::INodeMap, NodeMapDeleter>;

inline NodeMapPtr loadNodeMap(const std::string& nodes, const std::string& deviceName = "TestDevice",
                              const std::string& model = "TestModel", const GenICam::gcstring_vector& injected = {})
{
    return NodeMapPtr(GenApi::CreateNodeMap(describeNodes(nodes, model).c_str(), injected, deviceName.c_str()));
}

// Counts the calls of a member callback and remembers the node it was given.
struct CallCounter {
    void onChange(GenApi::INode* node)
    {
        ++calls;
        last = node;
    }
    int calls = 0;
    GenApi::INode* last = nullptr;
};

} // namespace testsupport
