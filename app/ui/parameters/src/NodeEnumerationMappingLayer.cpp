// The node map that hands out the boolean and float wrappers and forwards everything else.
#include "NodeEnumerationMappingLayer.h"

#include <GenApi/Enumeration.h>
#include <GenApi/Integer.h>
#include <GenICam/GenericException.h>

namespace TesvarNodeTools {

CNodeEnumerationMappingLayer::CNodeEnumerationMappingLayer(GenApi::INodeMap* nodeMap) : m_pNodeMap(nodeMap)
{
    if (!m_pNodeMap)
        return;
    wrapBoolean("GainAuto");
    wrapBoolean("ExposureAuto");
    wrapFloat("VlrHue");
    wrapFloat("VlrHueValue");
}

CNodeEnumerationMappingLayer::~CNodeEnumerationMappingLayer()
{
    m_booleanWrappers.clear();
    m_floatWrappers.clear();
}

// A node of that name that is not an enumeration is handed out unwrapped: the boolean face would
// have nothing to read.
void CNodeEnumerationMappingLayer::wrapBoolean(const char* name)
{
    GenApi::INode* node = m_pNodeMap->GetNode(name);
    if (node && dynamic_cast<GenApi::IEnumeration*>(node))
        m_booleanWrappers[name] =
            boost::shared_ptr<CWrappedEnumerationToBoolean>(new CWrappedEnumerationToBoolean(node, name));
}

void CNodeEnumerationMappingLayer::wrapFloat(const char* name)
{
    GenApi::INode* node = m_pNodeMap->GetNode(name);
    if (node && dynamic_cast<GenApi::IInteger*>(node))
        m_floatWrappers[name] = boost::shared_ptr<CWrappedIntegerToFloat>(new CWrappedIntegerToFloat(node));
}

void CNodeEnumerationMappingLayer::GetNodes(GenApi::NodeList_t& Nodes) const
{
    if (m_pNodeMap)
        m_pNodeMap->GetNodes(Nodes);
}

GenApi::INode* CNodeEnumerationMappingLayer::GetNode(const GenICam::gcstring& Name) const
{
    const auto boolean = m_booleanWrappers.find(Name);
    if (boolean != m_booleanWrappers.end())
        return boolean->second.get();
    const auto floating = m_floatWrappers.find(Name);
    if (floating != m_floatWrappers.end())
        return floating->second.get();
    return m_pNodeMap ? m_pNodeMap->GetNode(Name) : nullptr;
}

void CNodeEnumerationMappingLayer::InvalidateNodes() const
{
    if (m_pNodeMap)
        m_pNodeMap->InvalidateNodes();
}
bool CNodeEnumerationMappingLayer::Connect(GenApi::IPort* pPort, const GenICam::gcstring& PortName) const
{
    return m_pNodeMap && m_pNodeMap->Connect(pPort, PortName);
}
bool CNodeEnumerationMappingLayer::Connect(GenApi::IPort* pPort) const
{
    return m_pNodeMap && m_pNodeMap->Connect(pPort);
}
GenICam::gcstring CNodeEnumerationMappingLayer::GetDeviceName()
{
    return m_pNodeMap ? m_pNodeMap->GetDeviceName() : GenICam::gcstring();
}
void CNodeEnumerationMappingLayer::Poll(int64_t ElapsedTime)
{
    if (m_pNodeMap)
        m_pNodeMap->Poll(ElapsedTime);
}
GenApi::CLock& CNodeEnumerationMappingLayer::GetLock() const
{
    if (!m_pNodeMap)
        throw LOGICAL_ERROR_EXCEPTION("NULL pointer dereferenced");
    return m_pNodeMap->GetLock();
}
uint64_t CNodeEnumerationMappingLayer::GetNumNodes() const
{
    return m_pNodeMap ? m_pNodeMap->GetNumNodes() : 0;
}

} // namespace TesvarNodeTools
