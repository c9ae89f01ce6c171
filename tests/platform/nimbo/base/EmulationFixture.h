// Helpers for tests that drive an emulated camera through its register space, without node maps.
#pragma once

#include "emulation/EmulatedCamera.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace testnimbo {

using Nimbo::emulation::EmulatedCamera;
using Nimbo::emulation::FeatureDef;
using Nimbo::emulation::PortStatus;

// Reads and writes features by name, as a node map would through the port.
class Registers {
public:
    explicit Registers(EmulatedCamera& camera) : m_camera(camera) {}

    const FeatureDef& feature(const std::string& name) const
    {
        const FeatureDef* f = m_camera.model().find(name);
        if (!f)
            throw std::runtime_error("no feature " + name);
        return *f;
    }
    int64_t readInt(const std::string& name) const
    {
        int64_t v = 0;
        EXPECT_EQ(m_camera.read(&v, feature(name).address, 8), PortStatus::Ok) << name;
        return v;
    }
    double readFloat(const std::string& name) const
    {
        double v = 0;
        EXPECT_EQ(m_camera.read(&v, feature(name).address, 8), PortStatus::Ok) << name;
        return v;
    }
    std::string readEnum(const std::string& name) const
    {
        const std::string* entry = feature(name).entryName(readInt(name));
        return entry ? *entry : std::string("?");
    }
    PortStatus writeInt(const std::string& name, int64_t v) { return m_camera.write(&v, feature(name).address, 8); }
    PortStatus writeFloat(const std::string& name, double v) { return m_camera.write(&v, feature(name).address, 8); }
    PortStatus writeEnum(const std::string& name, const std::string& symbolic)
    {
        bool found = false;
        const int64_t v = feature(name).entryValue(symbolic, &found);
        EXPECT_TRUE(found) << name << " has no entry " << symbolic;
        return writeInt(name, v);
    }
    PortStatus execute(const std::string& name) { return writeInt(name, 1); }

private:
    EmulatedCamera& m_camera;
};

inline std::shared_ptr<EmulatedCamera> makeCamera(const std::string& model, const std::string& serial = "100")
{
    auto m = Nimbo::emulation::findModel(model);
    if (!m)
        throw std::runtime_error("no model " + model);
    return std::make_shared<EmulatedCamera>(m, serial, 0);
}

} // namespace testnimbo
