// An emulated camera behind the device backend seam.
#pragma once

#include "../DeviceBackend.h"
#include "EmulatedCamera.h"

#include <memory>

namespace Nimbo {
namespace emulation {

// Threads: any (the camera is thread-safe).
class EmulatedBackend : public DeviceBackend {
public:
    explicit EmulatedBackend(std::shared_ptr<EmulatedCamera> camera) : m_camera(std::move(camera)) {}

    std::string deviceClass() const override { return m_camera->model().deviceClass; }
    std::string label() const override { return m_camera->serial(); }
    GenICam::gcstring description() override { return m_camera->model().description().c_str(); }
    PortStatus read(void* buffer, int64_t address, int64_t length) override
    {
        return m_camera->read(buffer, address, length);
    }
    PortStatus write(const void* buffer, int64_t address, int64_t length) override
    {
        return m_camera->write(buffer, address, length);
    }
    std::string lastError() const override { return m_camera->lastError(); }
    bool isPlugged() const override { return m_camera->isPlugged(); }
    bool isOpen() const override { return m_camera->isOpen(); }
    bool tryOpen(std::string* why) override { return m_camera->tryOpen(why); }
    void close() override { m_camera->close(); }
    size_t payloadSize() const override { return m_camera->payloadSize(); }
    void setParamsLocked(bool locked) override { m_camera->setParamsLocked(locked); }
    void setSink(std::shared_ptr<FrameSink> sink) override { m_camera->setSink(std::move(sink)); }
    void detachSink(const FrameSink* sink) override { m_camera->detachSink(sink); }
    int addRemovalListener(RemovalListener listener) override
    {
        return m_camera->addRemovalListener(std::move(listener));
    }
    void removeRemovalListener(int id) override { m_camera->removeRemovalListener(id); }

private:
    std::shared_ptr<EmulatedCamera> m_camera;
};

} // namespace emulation
} // namespace Nimbo
