// Small node maps for the parameter tests, built from GenICam descriptions without a device.
#pragma once

#include <GenApi/GenApi.h>
#include <testsupport/NodeMaps.h>

#include <memory>
#include <string>

namespace parametertest {
using testsupport::NodeMapPtr;

inline NodeMapPtr load(const std::string& nodes)
{
    return testsupport::loadNodeMap(nodes, "TestDevice", "Test");
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

using Counter = testsupport::CallCounter;
} // namespace parametertest
