// What a node map tells about the description it was built from.
#pragma once

#include <GenApi/Types.h>

namespace GenApi {
class IDeviceInfo {
public:
    virtual ~IDeviceInfo() = default;
    // Attributes of the description's root element (of the first description, not the injected ones).
    virtual GenICam::gcstring GetModelName() = 0;
    virtual GenICam::gcstring GetVendorName() = 0;
    virtual GenICam::gcstring GetToolTip() = 0;
    virtual GenICam::gcstring GetStandardNameSpace() = 0;
    virtual GenICam::gcstring GetProductGuid() = 0;
    virtual GenICam::gcstring GetVersionGuid() = 0;
    // "major.minor.subminor"
    virtual GenICam::gcstring GetSchemaVersion() = 0;
    virtual GenICam::gcstring GetDeviceVersion() = 0;
};
} // namespace GenApi
