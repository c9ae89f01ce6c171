// A grab engine of fixed geometry whose camera hooks do nothing: for tests and benchmarks that need a
// Camera as an identity or drive it through an in-process device.
#pragma once

#include <Camera.h>

#include <cstdint>

namespace fake {

class StubCamera : public Camera {
public:
    explicit StubCamera(int width = 0, int height = 0, uint32_t pixelType = 0, unsigned usedBufferMemory = 0x100000)
        : Camera(Nimbo::CDeviceInfo(), nullptr, usedBufferMemory), m_width(width), m_height(height),
          m_pixelType(pixelType)
    {
    }
    ~StubCamera() override { close(); }

protected:
    int getWidth() override { return m_width; }
    int getHeight() override { return m_height; }
    int getBytesPerPixel() override { return 1; }
    uint64_t getPayloadSize() override { return uint64_t(m_width) * uint64_t(m_height); }
    uint32_t getPixelType() override { return m_pixelType; }
    void executeAcquisitionStart() override {}
    void executeAcquisitionStop() override {}
    void onOpen() override {}
    void onClose() override {}
    void setAcquisitionMode(int) override {}
    void onPrepareGrab(uint64_t, uint32_t) override {}

private:
    const int m_width;
    const int m_height;
    const uint32_t m_pixelType;
};

} // namespace fake
