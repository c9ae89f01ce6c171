// Safe node access: reads and writes of camera features that do nothing when a feature is missing, of
// another type or not accessible, so that one piece of code serves every camera model.
//
// Each helper looks the name up in the given node map and returns false (or the default) for a null
// map, a missing node, a node of another type or one whose access mode forbids the call; it never
// throws for those cases. A value the device itself rejects still throws its SDK exception.
#pragma once

#include "GrabDevice.h"

#include <cstdint>
#include <string>

namespace grab {

// Integer correction: clamps to [min, max] and, for an increment above 1, moves the value onto the
// increment grid: correction 1 rounds up, 3 to the nearest step (a tie goes up), any other down.
int64_t correctIntValue(int64_t value, int64_t min, int64_t max, int64_t inc, int correction);

int64_t getIntMax(const GrabNodeMap* nodeMap, const std::string& name, int64_t defaultValue);
double getFloatMin(const GrabNodeMap* nodeMap, const std::string& name, double defaultValue);
double getFloatMax(const GrabNodeMap* nodeMap, const std::string& name, double defaultValue);
// The limits of an integer or float node, whichever the camera has; default otherwise.
double getNumberMin(const GrabNodeMap* nodeMap, const std::string& name, double defaultValue);
double getNumberMax(const GrabNodeMap* nodeMap, const std::string& name, double defaultValue);
// Current entry of a readable enumeration or value of a readable string node.
std::string getStringValue(const GrabNodeMap* nodeMap, const std::string& name, const std::string& defaultValue);

// Correction 0: the value must lie in range and on the increment grid, else false; other corrections
// move it there (correctIntValue).
bool setIntValue(GrabNodeMap* nodeMap, const std::string& name, int64_t value, int correction);
// Correction 0: a value out of range gives false; otherwise it is clamped.
bool setFloatValue(GrabNodeMap* nodeMap, const std::string& name, double value, int correction);
// An integer node gets the value rounded to its nearest step (correction 3), a float node the value
// clamped.
bool setNumberValue(GrabNodeMap* nodeMap, const std::string& name, double value);
// Enumeration: only an available entry is set. A writable string node takes the text as it is.
bool setEnumValue(GrabNodeMap* nodeMap, const std::string& name, const std::string& text);
bool setBoolValue(GrabNodeMap* nodeMap, const std::string& name, bool value);

bool isAvailable(const GrabNodeMap* nodeMap, const std::string& name);
bool isImplemented(const GrabNodeMap* nodeMap, const std::string& name);
bool isReadable(const GrabNodeMap* nodeMap, const std::string& name);
bool isWritable(const GrabNodeMap* nodeMap, const std::string& name);

// The same helpers on a GenApi node map.
int64_t getIntMax(GenApi::INodeMap* nodeMap, const std::string& name, int64_t defaultValue);
double getFloatMin(GenApi::INodeMap* nodeMap, const std::string& name, double defaultValue);
double getFloatMax(GenApi::INodeMap* nodeMap, const std::string& name, double defaultValue);
std::string getStringValue(GenApi::INodeMap* nodeMap, const std::string& name, const std::string& defaultValue);
bool setIntValue(GenApi::INodeMap* nodeMap, const std::string& name, int64_t value, int correction);
bool setFloatValue(GenApi::INodeMap* nodeMap, const std::string& name, double value, int correction);
bool setEnumValue(GenApi::INodeMap* nodeMap, const std::string& name, const std::string& text);
bool setBoolValue(GenApi::INodeMap* nodeMap, const std::string& name, bool value);
bool isAvailable(GenApi::INodeMap* nodeMap, const std::string& name);
bool isImplemented(GenApi::INodeMap* nodeMap, const std::string& name);
bool isReadable(GenApi::INodeMap* nodeMap, const std::string& name);
bool isWritable(GenApi::INodeMap* nodeMap, const std::string& name);

} // namespace grab
