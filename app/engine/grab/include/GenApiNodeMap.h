// The engine's named node access over a GenApi node map.
#pragma once

#include "GrabDevice.h"

namespace GenApi {
class INode;
class INodeMap;
} // namespace GenApi

// Thread use: as the node map itself (its own recursive lock guards every node access).
class GenApiNodeMap : public grab::GrabNodeMap {
public:
    explicit GenApiNodeMap(GenApi::INodeMap* nodeMap) : m_nodeMap(nodeMap) {}

    grab::NodeKind kind(const std::string& name) const override;
    grab::AccessMode accessMode(const std::string& name) const override;
    int64_t intValue(const std::string& name) const override;
    int64_t intMin(const std::string& name) const override;
    int64_t intMax(const std::string& name) const override;
    int64_t intInc(const std::string& name) const override;
    void setIntValue(const std::string& name, int64_t value) override;
    double floatValue(const std::string& name) const override;
    double floatMin(const std::string& name) const override;
    double floatMax(const std::string& name) const override;
    void setFloatValue(const std::string& name, double value) override;
    std::string enumValue(const std::string& name) const override;
    void setEnumValue(const std::string& name, const std::string& entry) override;
    std::vector<std::string> enumEntries(const std::string& name) const override;
    grab::AccessMode enumEntryAccessMode(const std::string& name, const std::string& entry) const override;
    bool boolValue(const std::string& name) const override;
    void setBoolValue(const std::string& name, bool value) override;
    std::string stringValue(const std::string& name) const override;
    void setStringValue(const std::string& name, const std::string& value) override;
    void executeCommand(const std::string& name) override;
    void invalidateNodes() override;
    GenApi::INodeMap* genApiNodeMap() const override { return m_nodeMap; }

private:
    GenApi::INode* node(const std::string& name) const;
    template <class T>
    T* as(const std::string& name) const;

    GenApi::INodeMap* m_nodeMap;
};
