// The SDK's emulated cameras opened through the grab engine, for the engine's benchmarks.
#pragma once

#include "CameraConfiguration.h"
#include "StdFeatureListCamera.h"

#include <nimbo/Emulation.h>
#include <nimbo/NimboDevice.h>
#include <nimbo/PixelType.h>
#include <nimbo/TlFactory.h>

#include <cstdint>
#include <memory>
#include <string>

namespace benchcamera {

// Makes `cameraList` (as NIMBO_EMULATION takes it) the emulated cameras and opens the first through
// the grab engine; null when there is none. The caller keeps the SDK initialised meanwhile.
inline std::unique_ptr<StdFeatureListCamera> openEmulatedCamera(const char* cameraList)
{
    Nimbo::Emulation::Configure(cameraList);
    Nimbo::DeviceInfoList_t devices;
    Nimbo::CTlFactory::GetInstance().EnumerateDevices(devices);
    if (devices.empty())
        return nullptr;
    auto camera = std::make_unique<StdFeatureListCamera>(devices.front(), nullptr, 0x800000);
    camera->attachNimboDevice(Nimbo::CTlFactory::GetInstance().CreateDevice(devices.front()));
    camera->open();
    return camera;
}

// The default colour camera (the emulated USB colour model the program starts on) in the program's
// default configuration: YCbCr422_8, full size, full rate; null when there is none. `serial` keeps the
// benchmarks' cameras apart.
inline std::unique_ptr<StdFeatureListCamera> openDefaultColourCamera(const char* serial)
{
    auto camera = openEmulatedCamera((std::string("usb:qvUsb1920c:") + serial).c_str());
    if (camera)
        CameraConfiguration::applyDefaultConfiguration(*camera);
    return camera;
}

// The frame rate the camera delivers at its current settings.
inline double fullFrameRate(Camera& camera)
{
    return camera.getFeatures()->floatValue("ResultingFrameRate");
}

struct Format {
    Nimbo::EPixelType type = Nimbo::PixelType_Undefined;
    uint32_t width = 0;
    uint32_t height = 0;
};

// The image format the camera is set to, read from its features.
inline Format imageFormat(Camera& camera)
{
    grab::GrabNodeMap* map = camera.getFeatures();
    Format format;
    format.type = Nimbo::CPixelTypeMapper::GetNimboPixelTypeByName(map->enumValue("PixelFormat"));
    format.width = uint32_t(map->intValue("Width"));
    format.height = uint32_t(map->intValue("Height"));
    return format;
}

} // namespace benchcamera
