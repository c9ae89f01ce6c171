// The port that connects a camera's node map to the emulated camera's register space.
#pragma once

#include "emulation/EmulatedCamera.h"

#include <GenApi/Port.h>

#include <memory>

namespace Nimbo {

// Threads: any (the camera is thread-safe).
class CameraPort : public GenApi::IPort {
public:
    explicit CameraPort(std::shared_ptr<emulation::EmulatedCamera> camera) : m_camera(std::move(camera)) {}
    GenApi::EAccessMode GetAccessMode() const override;
    void Read(void* buffer, int64_t address, int64_t length) override;
    void Write(const void* buffer, int64_t address, int64_t length) override;

private:
    std::shared_ptr<emulation::EmulatedCamera> m_camera;
};

} // namespace Nimbo
