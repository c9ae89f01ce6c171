// The camera that reads and drives the grab engine through the standard camera features.
#pragma once

#include "Camera.h"

#include <cstdint>

// The engine's one concrete camera. Its feature bindings are set by onOpen and cleared by onClose in
// the owner's thread; prepareGrab reads them under the engine's mutex, which every binding change
// also holds.
class StdFeatureListCamera : public Camera {
    Q_OBJECT
public:
    StdFeatureListCamera(const Nimbo::CDeviceInfo& info, QObject* parent, unsigned usedBufferMemory);
    ~StdFeatureListCamera() override;

    // A Mono16 or Bayer 16 type becomes its 10- or 12-bit twin when the dynamic range says so.
    static uint32_t pixelTypeForDynamicRange(uint32_t pixelType, int64_t dynamicRangeMax);

protected:
    int getWidth() override;
    int getHeight() override;
    int getBytesPerPixel() override;
    uint64_t getPayloadSize() override;
    uint32_t getPixelType() override;
    void executeAcquisitionStart() override;
    void executeAcquisitionStop() override;
    void onOpen() override;
    void onClose() override;
    void setAcquisitionMode(int mode) override;
    void onPrepareGrab(uint64_t bufferSize, uint32_t numBuffers) override;

private:
    int readSize(const char* name);

    // The device map the bindings below were made in; null while unbound.
    grab::GrabNodeMap* m_features = nullptr;
    bool m_pixelDynamicRangeMax = false;
    bool m_acquisitionStart = false;
    bool m_acquisitionStop = false;
    bool m_acquisitionMode = false;
    bool m_payloadSize = false;
    bool m_pixelFormat = false;
};
