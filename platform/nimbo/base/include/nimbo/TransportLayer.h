// A transport layer ("VelmarUsb", "VelmarGigE"): finds its cameras and creates devices for them.
#pragma once

#include <nimbo/DeviceInfo.h>
#include <nimbo/NimboDevice.h>

#include <GenICam/gcstring_vector.h>

namespace Nimbo {

// Thread-safe.
class ITransportLayer {
public:
    virtual const CTlInfo& GetTlInfo() const = 0;
    // Appends the cameras of this transport layer (clears the list first unless append); returns
    // how many the list now holds.
    virtual int EnumerateDevices(DeviceInfoList_t& list, bool append = true) = 0;
    // Throws GenICam exceptions for an unknown or unplugged camera.
    virtual INimboDevice* CreateDevice(const CDeviceInfo& info,
                                       const GenICam::gcstring_vector& injected = GenICam::gcstring_vector()) = 0;
    virtual void DestroyDevice(INimboDevice* device) = 0;
    // False while the camera is in use (elsewhere, or opened by this process), unplugged or unknown.
    virtual bool IsDeviceAccessible(const CDeviceInfo& info, AccessModeSet mode = AccessModeSet(Control)) = 0;

protected:
    virtual ~ITransportLayer() = default;
};

} // namespace Nimbo
