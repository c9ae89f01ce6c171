// A node map in front of the camera's node map that hands out simpler wrappers for a few features.
#pragma once

#include "WrappedEnumerationToBoolean.h"
#include "WrappedIntegerToFloat.h"

#include <GenApi/NodeMap.h>
#include <nimbo/NodeMapProvider.h>

#include <boost/shared_ptr.hpp>

#include <map>

namespace TesvarNodeTools {

// GainAuto and ExposureAuto (enumerations) come out as booleans, VlrHue and VlrHueValue (when
// integers) as floats; every other name and every other operation goes to the real node map.
// GUI thread only. The real node map is not owned; the wrappers are, and die with the layer.
class CNodeEnumerationMappingLayer : public GenApi::INodeMap, public Nimbo::INodeMapProvider {
public:
    explicit CNodeEnumerationMappingLayer(GenApi::INodeMap* nodeMap);
    ~CNodeEnumerationMappingLayer() override;
    CNodeEnumerationMappingLayer(const CNodeEnumerationMappingLayer&) = delete;
    CNodeEnumerationMappingLayer& operator=(const CNodeEnumerationMappingLayer&) = delete;

    void GetNodes(GenApi::NodeList_t& Nodes) const override;
    GenApi::INode* GetNode(const GenICam::gcstring& Name) const override;
    void InvalidateNodes() const override;
    bool Connect(GenApi::IPort* pPort, const GenICam::gcstring& PortName) const override;
    bool Connect(GenApi::IPort* pPort) const override;
    GenICam::gcstring GetDeviceName() override;
    void Poll(int64_t ElapsedTime) override;
    GenApi::CLock& GetLock() const override;
    uint64_t GetNumNodes() const override;

    // The real node map.
    GenApi::INodeMap* GetNodeMap() override { return m_pNodeMap; }

private:
    void wrapBoolean(const char* name);
    void wrapFloat(const char* name);

    std::map<GenICam::gcstring, boost::shared_ptr<CWrappedEnumerationToBoolean>> m_booleanWrappers;
    std::map<GenICam::gcstring, boost::shared_ptr<CWrappedIntegerToFloat>> m_floatWrappers;
    GenApi::INodeMap* m_pNodeMap;
};

} // namespace TesvarNodeTools
