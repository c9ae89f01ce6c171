// Safe node access (see SafeNodeAccess.h).
#include "SafeNodeAccess.h"

#include "GenApiNodeMap.h"

#include <algorithm>
#include <cmath>

namespace grab {

namespace {

bool has(const GrabNodeMap* nodeMap, const std::string& name, NodeKind kind)
{
    return nodeMap && nodeMap->kind(name) == kind;
}

bool readableOf(const GrabNodeMap* nodeMap, const std::string& name, NodeKind kind)
{
    return has(nodeMap, name, kind) && grab::isReadable(nodeMap->accessMode(name));
}

bool writableOf(const GrabNodeMap* nodeMap, const std::string& name, NodeKind kind)
{
    return has(nodeMap, name, kind) && grab::isWritable(nodeMap->accessMode(name));
}

} // namespace

int64_t correctIntValue(int64_t value, int64_t min, int64_t max, int64_t inc, int correction)
{
    if (value < min)
        return min;
    if (value > max)
        return max;
    if (inc <= 1)
        return value;
    const int64_t r = (value - min) % inc;
    if (r == 0)
        return value;
    const int64_t down = value - r;
    int64_t corrected = down;
    if (correction == 1)
        corrected = down + inc;
    else if (correction == 3)
        corrected = r < inc - r ? down : down + inc;
    // Rounding up past the maximum would leave the range; the step below is the nearest valid one.
    return corrected > max ? down : corrected;
}

int64_t getIntMax(const GrabNodeMap* nodeMap, const std::string& name, int64_t defaultValue)
{
    return readableOf(nodeMap, name, NodeKind::Integer) ? nodeMap->intMax(name) : defaultValue;
}

double getFloatMin(const GrabNodeMap* nodeMap, const std::string& name, double defaultValue)
{
    return readableOf(nodeMap, name, NodeKind::Float) ? nodeMap->floatMin(name) : defaultValue;
}

double getFloatMax(const GrabNodeMap* nodeMap, const std::string& name, double defaultValue)
{
    return readableOf(nodeMap, name, NodeKind::Float) ? nodeMap->floatMax(name) : defaultValue;
}

double getNumberMin(const GrabNodeMap* nodeMap, const std::string& name, double defaultValue)
{
    if (readableOf(nodeMap, name, NodeKind::Integer))
        return double(nodeMap->intMin(name));
    return getFloatMin(nodeMap, name, defaultValue);
}

double getNumberMax(const GrabNodeMap* nodeMap, const std::string& name, double defaultValue)
{
    if (readableOf(nodeMap, name, NodeKind::Integer))
        return double(nodeMap->intMax(name));
    return getFloatMax(nodeMap, name, defaultValue);
}

std::string getStringValue(const GrabNodeMap* nodeMap, const std::string& name, const std::string& defaultValue)
{
    if (readableOf(nodeMap, name, NodeKind::Enumeration))
        return nodeMap->enumValue(name);
    if (readableOf(nodeMap, name, NodeKind::String))
        return nodeMap->stringValue(name);
    return defaultValue;
}

bool setIntValue(GrabNodeMap* nodeMap, const std::string& name, int64_t value, int correction)
{
    if (!writableOf(nodeMap, name, NodeKind::Integer))
        return false;
    const int64_t min = nodeMap->intMin(name);
    const int64_t max = nodeMap->intMax(name);
    const int64_t inc = std::max<int64_t>(nodeMap->intInc(name), 1);
    if (correction == 0) {
        if (value < min || value > max || (value - min) % inc != 0)
            return false;
    } else {
        value = correctIntValue(value, min, max, inc, correction);
    }
    nodeMap->setIntValue(name, value);
    return true;
}

bool setFloatValue(GrabNodeMap* nodeMap, const std::string& name, double value, int correction)
{
    if (!writableOf(nodeMap, name, NodeKind::Float) || std::isnan(value))
        return false;
    const double min = nodeMap->floatMin(name);
    const double max = nodeMap->floatMax(name);
    if (correction == 0 && (value < min || value > max))
        return false;
    nodeMap->setFloatValue(name, std::clamp(value, min, max));
    return true;
}

bool setNumberValue(GrabNodeMap* nodeMap, const std::string& name, double value)
{
    if (has(nodeMap, name, NodeKind::Integer)) {
        if (std::isnan(value))
            return false;
        // Limits read from an integer node are exact; anything else is brought into 64 bits first.
        const double bounded = std::clamp(value, -9.2e18, 9.2e18);
        return setIntValue(nodeMap, name, static_cast<int64_t>(std::llround(bounded)), 3);
    }
    return setFloatValue(nodeMap, name, value, 1);
}

bool setEnumValue(GrabNodeMap* nodeMap, const std::string& name, const std::string& text)
{
    if (writableOf(nodeMap, name, NodeKind::Enumeration)) {
        if (!grab::isAvailableMode(nodeMap->enumEntryAccessMode(name, text)))
            return false;
        nodeMap->setEnumValue(name, text);
        return true;
    }
    if (writableOf(nodeMap, name, NodeKind::String)) {
        nodeMap->setStringValue(name, text);
        return true;
    }
    return false;
}

bool setBoolValue(GrabNodeMap* nodeMap, const std::string& name, bool value)
{
    if (!writableOf(nodeMap, name, NodeKind::Boolean))
        return false;
    nodeMap->setBoolValue(name, value);
    return true;
}

bool isAvailable(const GrabNodeMap* nodeMap, const std::string& name)
{
    return nodeMap && nodeMap->kind(name) != NodeKind::Missing && grab::isAvailableMode(nodeMap->accessMode(name));
}

bool isImplemented(const GrabNodeMap* nodeMap, const std::string& name)
{
    return nodeMap && nodeMap->kind(name) != NodeKind::Missing && nodeMap->accessMode(name) != AccessMode::NI;
}

bool isReadable(const GrabNodeMap* nodeMap, const std::string& name)
{
    return nodeMap && nodeMap->kind(name) != NodeKind::Missing && grab::isReadable(nodeMap->accessMode(name));
}

bool isWritable(const GrabNodeMap* nodeMap, const std::string& name)
{
    return nodeMap && nodeMap->kind(name) != NodeKind::Missing && grab::isWritable(nodeMap->accessMode(name));
}

namespace {

// A null GenApi map becomes a null engine map, so every helper keeps its answer for "no map".
template <class Helper>
auto onGenApi(GenApi::INodeMap* nodeMap, Helper helper)
{
    GenApiNodeMap map(nodeMap);
    return helper(nodeMap ? &map : nullptr);
}

} // namespace

int64_t getIntMax(GenApi::INodeMap* nodeMap, const std::string& name, int64_t defaultValue)
{
    return onGenApi(nodeMap, [&](GrabNodeMap* m) { return getIntMax(m, name, defaultValue); });
}
double getFloatMin(GenApi::INodeMap* nodeMap, const std::string& name, double defaultValue)
{
    return onGenApi(nodeMap, [&](GrabNodeMap* m) { return getFloatMin(m, name, defaultValue); });
}
double getFloatMax(GenApi::INodeMap* nodeMap, const std::string& name, double defaultValue)
{
    return onGenApi(nodeMap, [&](GrabNodeMap* m) { return getFloatMax(m, name, defaultValue); });
}
std::string getStringValue(GenApi::INodeMap* nodeMap, const std::string& name, const std::string& defaultValue)
{
    return onGenApi(nodeMap, [&](GrabNodeMap* m) { return getStringValue(m, name, defaultValue); });
}
bool setIntValue(GenApi::INodeMap* nodeMap, const std::string& name, int64_t value, int correction)
{
    return onGenApi(nodeMap, [&](GrabNodeMap* m) { return setIntValue(m, name, value, correction); });
}
bool setFloatValue(GenApi::INodeMap* nodeMap, const std::string& name, double value, int correction)
{
    return onGenApi(nodeMap, [&](GrabNodeMap* m) { return setFloatValue(m, name, value, correction); });
}
bool setEnumValue(GenApi::INodeMap* nodeMap, const std::string& name, const std::string& text)
{
    return onGenApi(nodeMap, [&](GrabNodeMap* m) { return setEnumValue(m, name, text); });
}
bool setBoolValue(GenApi::INodeMap* nodeMap, const std::string& name, bool value)
{
    return onGenApi(nodeMap, [&](GrabNodeMap* m) { return setBoolValue(m, name, value); });
}
bool isAvailable(GenApi::INodeMap* nodeMap, const std::string& name)
{
    return onGenApi(nodeMap, [&](GrabNodeMap* m) { return isAvailable(m, name); });
}
bool isImplemented(GenApi::INodeMap* nodeMap, const std::string& name)
{
    return onGenApi(nodeMap, [&](GrabNodeMap* m) { return isImplemented(m, name); });
}
bool isReadable(GenApi::INodeMap* nodeMap, const std::string& name)
{
    return onGenApi(nodeMap, [&](GrabNodeMap* m) { return isReadable(m, name); });
}
bool isWritable(GenApi::INodeMap* nodeMap, const std::string& name)
{
    return onGenApi(nodeMap, [&](GrabNodeMap* m) { return isWritable(m, name); });
}

} // namespace grab
