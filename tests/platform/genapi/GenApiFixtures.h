// Helpers of the node-map tests: descriptions wrapped in a root element, and a port over memory.
#pragma once

#include <GenApi/GenApi.h>
#include <testsupport/LogCapture.h>
#include <testsupport/NodeMaps.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace genapitest {
inline std::string describe(const std::string& nodes, const std::string& model = "TestModel")
{
    return testsupport::describeNodes(nodes, model);
}

using testsupport::MemoryPort;
using testsupport::NodeMapPtr;

inline NodeMapPtr load(const std::string& nodes, const GenICam::gcstring_vector& injected = {})
{
    return testsupport::loadNodeMap(nodes, "TestDevice", "TestModel", injected);
}

// What a capture holds, one message a line, for failure messages.
inline std::string dump(const testsupport::LogCapture& log)
{
    std::string text;
    for (const auto& m : log.messages())
        text += m.text + "\n";
    return text;
}

using Counter = testsupport::CallCounter;
} // namespace genapitest
