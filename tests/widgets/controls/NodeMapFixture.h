// Node maps for the editor tests, built from small GenICam descriptions.
#pragma once

#include <testsupport/NodeMaps.h>

#include <string>

namespace orbelttest {

using testsupport::NodeMapPtr;

inline NodeMapPtr makeNodeMap(const std::string& nodes)
{
    return testsupport::loadNodeMap(nodes, "Device", "EditorModel");
}

} // namespace orbelttest
