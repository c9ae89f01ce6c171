// The standard feature-list camera (see StdFeatureListCamera.h).
#include "StdFeatureListCamera.h"

#include "GrabSupport.h"
#include "SafeNodeAccess.h"

#include <nimbo/PixelType.h>

#include <QtGlobal>

#include <algorithm>

namespace {
constexpr uint32_t kUnknownPixelType = 0xFFFFFFFFu;
}

StdFeatureListCamera::StdFeatureListCamera(const Nimbo::CDeviceInfo& info, QObject* parent, unsigned usedBufferMemory)
    : Camera(info, parent, usedBufferMemory)
{
}

StdFeatureListCamera::~StdFeatureListCamera()
{
    // The engine's destructor can no longer reach the feature calls; the grab ends here.
    Camera::close();
}

uint32_t StdFeatureListCamera::pixelTypeForDynamicRange(uint32_t pixelType, int64_t dynamicRangeMax)
{
    struct Twins {
        uint32_t sixteen, ten, twelve;
    };
    static const Twins twins[] = {
        {0x01100007, 0x01100003, 0x01100005}, // Mono
        {0x0110002E, 0x0110000C, 0x01100010}, // BayerGR
        {0x0110002F, 0x0110000D, 0x01100011}, // BayerRG
        {0x01100030, 0x0110000E, 0x01100012}, // BayerGB
        {0x01100031, 0x0110000F, 0x01100013}, // BayerBG
    };
    for (const Twins& t : twins) {
        if (t.sixteen != pixelType)
            continue;
        if (dynamicRangeMax == 1023)
            return t.ten;
        if (dynamicRangeMax == 4095)
            return t.twelve;
        return pixelType;
    }
    return pixelType;
}

int StdFeatureListCamera::readSize(const char* name)
{
    grab::GrabNodeMap* sgMap = getStreamGrabberFeatures();
    if (sgMap && sgMap->kind(name) == grab::NodeKind::Integer && grab::isReadable(sgMap, name))
        return static_cast<int>(std::clamp<int64_t>(sgMap->intValue(name), INT32_MIN, INT32_MAX));
    grab::GrabNodeMap* map = isOpen() ? getFeatures() : nullptr;
    if (map && map->kind(name) == grab::NodeKind::Integer && grab::isReadable(map, name))
        return static_cast<int>(std::clamp<int64_t>(map->intValue(name), INT32_MIN, INT32_MAX));
    return 0;
}

int StdFeatureListCamera::getWidth()
{
    return readSize("Width");
}

int StdFeatureListCamera::getHeight()
{
    return readSize("Height");
}

int StdFeatureListCamera::getBytesPerPixel()
{
    const uint32_t type = getPixelType();
    if (type == kUnknownPixelType)
        return 1;
    return static_cast<int>(Nimbo::BitPerPixel(static_cast<Nimbo::EPixelType>(type)) / 8);
}

uint64_t StdFeatureListCamera::getPayloadSize()
{
    if (!isOpen() || !m_payloadSize || !m_features)
        return 0;
    return static_cast<uint64_t>(std::max<int64_t>(m_features->intValue("PayloadSize"), 0));
}

uint32_t StdFeatureListCamera::getPixelType()
{
    if (!isOpen() || !m_pixelFormat || !m_features)
        return kUnknownPixelType;
    const std::string entry = m_features->enumValue("PixelFormat");
    uint32_t type = static_cast<uint32_t>(Nimbo::CPixelTypeMapper::GetNimboPixelTypeByName(entry));
    if (type == static_cast<uint32_t>(Nimbo::PixelType_Undefined))
        return kUnknownPixelType;
    if (m_pixelDynamicRangeMax && grab::isReadable(m_features, "PixelDynamicRangeMax")) {
        const bool sixteenBit = type == 0x01100007 || (type >= 0x0110002E && type <= 0x01100031);
        if (sixteenBit)
            type = pixelTypeForDynamicRange(type, m_features->intValue("PixelDynamicRangeMax"));
    }
    return type;
}

void StdFeatureListCamera::executeAcquisitionStart()
{
    if (!isOpen())
        return;
    grab::GrabNodeMap* map = getFeatures();
    bool tlParamsLocked = false;
    if (!(m_acquisitionStart && grab::isWritable(m_features, "AcquisitionStart"))) {
        if (map && map->kind("TLParamsLocked") == grab::NodeKind::Integer) {
            tlParamsLocked = true;
            if (grab::isWritable(map, "TLParamsLocked"))
                map->setIntValue("TLParamsLocked", 0);
        }
    }
    if (!m_acquisitionStart || !m_features)
        grab::throwLogicalError("NULL pointer dereferenced");
    m_features->executeCommand("AcquisitionStart");
    if (tlParamsLocked && grab::isWritable(map, "TLParamsLocked"))
        map->setIntValue("TLParamsLocked", 1);
}

void StdFeatureListCamera::executeAcquisitionStop()
{
    if (!isOpen())
        return;
    if (!m_acquisitionStop || !m_features)
        grab::throwLogicalError("NULL pointer dereferenced");
    m_features->executeCommand("AcquisitionStop");
}

void StdFeatureListCamera::onOpen()
{
    grab::GrabDevice* device = getDevice();
    grab::GrabNodeMap* map = device ? device->nodeMap() : nullptr;
    m_features = map;
    if (!map)
        return;
    auto bind = [map](bool& bound, const char* name, grab::NodeKind kind) {
        if (!bound)
            bound = map->kind(name) == kind;
    };
    bind(m_pixelDynamicRangeMax, "PixelDynamicRangeMax", grab::NodeKind::Integer);
    bind(m_acquisitionStart, "AcquisitionStart", grab::NodeKind::Command);
    bind(m_acquisitionStop, "AcquisitionStop", grab::NodeKind::Command);
    bind(m_acquisitionMode, "AcquisitionMode", grab::NodeKind::Enumeration);
    bind(m_payloadSize, "PayloadSize", grab::NodeKind::Integer);
    bind(m_pixelFormat, "PixelFormat", grab::NodeKind::Enumeration);
}

void StdFeatureListCamera::onClose()
{
    m_features = nullptr;
    m_pixelDynamicRangeMax = m_acquisitionStart = m_acquisitionStop = false;
    m_acquisitionMode = m_payloadSize = m_pixelFormat = false;
}

void StdFeatureListCamera::setAcquisitionMode(int mode)
{
    if (!m_acquisitionMode || !m_features)
        return;
    if (mode == 1)
        m_features->setEnumValue("AcquisitionMode", "Continuous");
    else if (mode == 0)
        m_features->setEnumValue("AcquisitionMode", "SingleFrame");
}

void StdFeatureListCamera::onPrepareGrab(uint64_t bufferSize, uint32_t numBuffers)
{
    grab::GrabNodeMap* sgMap = isOpen() ? getStreamGrabberFeatures() : nullptr;
    if (!sgMap)
        return;
    if (sgMap->kind("MaxBufferSize") == grab::NodeKind::Integer)
        sgMap->setIntValue("MaxBufferSize", static_cast<int64_t>(bufferSize));
    else
        qWarning("%s: No MaxBufferSize node found???", "StdFeatureListCamera::onPrepareGrab");
    if (sgMap->kind("MaxNumBuffer") == grab::NodeKind::Integer)
        sgMap->setIntValue("MaxNumBuffer", static_cast<int64_t>(numBuffers));
    else
        qWarning("%s: No MaxNumBuffer node found???", "StdFeatureListCamera::onPrepareGrab");
}
