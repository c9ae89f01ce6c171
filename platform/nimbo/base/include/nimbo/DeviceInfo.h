// Transport-layer and device descriptions: copyable bags of named text properties.
#pragma once

#include <GenICam/gcstring.h>
#include <GenICam/gcstring_vector.h>

#include <map>
#include <vector>

namespace Nimbo {

// The SDK's 8-bit text type. Values are UTF-8 for GigE cameras and Latin-1 otherwise, as the
// cameras deliver them.
using String_t = GenICam::gcstring;
using StringList_t = GenICam::gcstring_vector;

// A set of properties by name. Value type; not synchronised (each thread keeps its own copy).
class CInfoBase {
public:
    // False, with value untouched, when the property is absent.
    bool GetPropertyValue(const String_t& name, String_t& value) const;
    // Adds or replaces the property.
    CInfoBase& SetPropertyValue(const String_t& name, const String_t& value);
    bool IsPropertyAvailable(const String_t& name) const;
    // Appends the names of all properties, in byte-wise order; returns their count.
    size_t GetPropertyNames(StringList_t& names) const;
    // Empty text when absent.
    String_t GetPropertyOrEmpty(const String_t& name) const;

    bool operator==(const CInfoBase& other) const { return m_properties == other.m_properties; }
    bool operator!=(const CInfoBase& other) const { return !(*this == other); }

protected:
    std::map<String_t, String_t> m_properties;
};

// Get<Name>(), Set<Name>(value) and Is<Name>Available() for the property "<Name>".
#define NIMBO_INFO_PROPERTY(Class, Name)                                                                               \
    String_t Get##Name() const                                                                                         \
    {                                                                                                                  \
        return GetPropertyOrEmpty(#Name);                                                                              \
    }                                                                                                                  \
    Class& Set##Name(const String_t& value)                                                                            \
    {                                                                                                                  \
        SetPropertyValue(#Name, value);                                                                                \
        return *this;                                                                                                  \
    }                                                                                                                  \
    bool Is##Name##Available() const                                                                                   \
    {                                                                                                                  \
        return IsPropertyAvailable(#Name);                                                                             \
    }

// Shared by transport-layer and device infos.
#define NIMBO_COMMON_INFO_PROPERTIES(Class)                                                                            \
    NIMBO_INFO_PROPERTY(Class, FullName)                                                                               \
    NIMBO_INFO_PROPERTY(Class, FriendlyName)                                                                           \
    NIMBO_INFO_PROPERTY(Class, DeviceClass)                                                                            \
    NIMBO_INFO_PROPERTY(Class, VendorName)                                                                             \
    NIMBO_INFO_PROPERTY(Class, ModelName)                                                                              \
    NIMBO_INFO_PROPERTY(Class, TLType)

// One transport layer as the factory enumerates it.
class CTlInfo : public CInfoBase {
public:
    NIMBO_COMMON_INFO_PROPERTIES(CTlInfo)
    NIMBO_INFO_PROPERTY(CTlInfo, Version)
    NIMBO_INFO_PROPERTY(CTlInfo, FileName)
};

// One camera as a transport layer enumerates it. The full name is unique among all cameras of the
// process and stays the same while the camera is plugged in.
class CDeviceInfo : public CInfoBase {
public:
    NIMBO_COMMON_INFO_PROPERTIES(CDeviceInfo)
    NIMBO_INFO_PROPERTY(CDeviceInfo, SerialNumber)
    NIMBO_INFO_PROPERTY(CDeviceInfo, UserDefinedName)
    NIMBO_INFO_PROPERTY(CDeviceInfo, DeviceVersion)
    NIMBO_INFO_PROPERTY(CDeviceInfo, DeviceFactory)
    NIMBO_INFO_PROPERTY(CDeviceInfo, XMLSource)
    NIMBO_INFO_PROPERTY(CDeviceInfo, InternalName)
    NIMBO_INFO_PROPERTY(CDeviceInfo, DeviceGUID)
    NIMBO_INFO_PROPERTY(CDeviceInfo, ManufacturerInfo)
    NIMBO_INFO_PROPERTY(CDeviceInfo, DeviceIdx)
    NIMBO_INFO_PROPERTY(CDeviceInfo, VendorId)
    NIMBO_INFO_PROPERTY(CDeviceInfo, ProductId)
    NIMBO_INFO_PROPERTY(CDeviceInfo, DriverKeyName)
    NIMBO_INFO_PROPERTY(CDeviceInfo, UsbDriverTypeName)
    NIMBO_INFO_PROPERTY(CDeviceInfo, GTLInterfaceID)
    NIMBO_INFO_PROPERTY(CDeviceInfo, GTLDeviceID)
    NIMBO_INFO_PROPERTY(CDeviceInfo, PortID)
    NIMBO_INFO_PROPERTY(CDeviceInfo, DeviceID)
    // GigE: the camera's address ("Address"), its network and the host interface it is reached through.
    NIMBO_INFO_PROPERTY(CDeviceInfo, Address)
    NIMBO_INFO_PROPERTY(CDeviceInfo, IpAddress)
    NIMBO_INFO_PROPERTY(CDeviceInfo, SubnetMask)
    NIMBO_INFO_PROPERTY(CDeviceInfo, DefaultGateway)
    NIMBO_INFO_PROPERTY(CDeviceInfo, MacAddress)
    NIMBO_INFO_PROPERTY(CDeviceInfo, Interface)
    NIMBO_INFO_PROPERTY(CDeviceInfo, IpConfigOptions)
    NIMBO_INFO_PROPERTY(CDeviceInfo, IpConfigCurrent)
    NIMBO_INFO_PROPERTY(CDeviceInfo, PortNr)
};

#undef NIMBO_COMMON_INFO_PROPERTIES
#undef NIMBO_INFO_PROPERTY

using TlInfoList_t = std::vector<CTlInfo>;
using TlInfoList = TlInfoList_t;
using DeviceInfoList_t = std::vector<CDeviceInfo>;
using DeviceInfoList = DeviceInfoList_t;

} // namespace Nimbo
