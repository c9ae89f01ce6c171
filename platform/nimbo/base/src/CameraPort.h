// The port that connects a camera's node map to the register space of its device backend.
#pragma once

#include "DeviceBackend.h"

#include <GenApi/Port.h>

#include <memory>

namespace Nimbo {

// Threads: any (backends are thread-safe).
class CameraPort : public GenApi::IPort {
public:
    explicit CameraPort(std::shared_ptr<DeviceBackend> camera) : m_camera(std::move(camera)) {}
    GenApi::EAccessMode GetAccessMode() const override;
    void Read(void* buffer, int64_t address, int64_t length) override;
    void Write(const void* buffer, int64_t address, int64_t length) override;

private:
    std::shared_ptr<DeviceBackend> m_camera;
};

} // namespace Nimbo
