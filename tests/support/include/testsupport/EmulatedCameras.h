// Emulated cameras in the SDK's and the widgets' tests: finding one by its serial number, and frames small
// enough that a loaded machine keeps up with them. Header only: tests that include it link the SDK.
#pragma once

#include <nimbo/NimboIncludes.h>

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

// The device information of the listed camera with this serial number; a test failure when there is none.
inline Nimbo::CDeviceInfo emulatedCamera(const std::string& serial)
{
    Nimbo::DeviceInfoList list;
    Nimbo::CTlFactory::GetInstance().EnumerateDevices(list);
    for (const Nimbo::CDeviceInfo& info : list)
        if (info.GetSerialNumber() == serial.c_str())
            return info;
    ADD_FAILURE() << "no camera " << serial;
    return Nimbo::CDeviceInfo();
}

// 64 x 32 pixels with a short exposure.
inline void smallFrames(GenApi::INodeMap& map)
{
    GenApi::CIntegerPtr(map.GetNode("Width"))->SetValue(64);
    GenApi::CIntegerPtr(map.GetNode("Height"))->SetValue(32);
    GenApi::CIntegerPtr(map.GetNode("ExposureTimeRaw"))->SetValue(100);
}
inline void smallFrames(Nimbo::CInstantCamera& camera)
{
    smallFrames(camera.GetNodeMap());
}

} // namespace testsupport
