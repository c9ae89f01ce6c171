// Topology instances of the USB tree: nodes, their properties, and the instance that holds them.
#pragma once

#include <cstddef>
#include <cstdint>

#define GORSK_EXPORT __attribute__((visibility("default")))

namespace Gorsk {

// Property ids are 32-bit; their low 16 bits give the type of the value.
enum EPropertyType : uint32_t {
    PropertyType_Int32 = 0x0002,
    PropertyType_UInt64 = 0x0004,
    PropertyType_String = 0x0006,
    PropertyType_Int32List = 0x0082,  // held as its first value
    PropertyType_StringList = 0x0086, // held as one text, values joined by ", "
};

inline uint32_t propertyType(uint32_t id)
{
    return id & 0xFFFFu;
}

// Node kinds.
enum ENodeKind : uint32_t {
    NodeKind_Uninitialized = 0,
    NodeKind_Top = 1,
    NodeKind_HostController = 2,
    NodeKind_RootHub = 3,
    NodeKind_Hub = 4,
    NodeKind_Device = 5,
    NodeKind_HidFunction = 8,
    NodeKind_StorageFunction = 9,
    NodeKind_VideoFunction = 10,
    NodeKind_AudioFunction = 11,
    NodeKind_CommunicationFunction = 12,
    NodeKind_OtherFunction = 25,
    NodeKind_U3VDevice = 27,
};

// Property ids the stand-in fills.
enum EPropertyId : uint32_t {
    Property_Description = 0xA0006,        // node description
    Property_Location = 0xB0006,           // port path, e.g. "1-2.3"
    Property_NumberOfU3VDevices = 0xC0002, // U3V devices in the subtree
    Property_HubPortCount = 0x110002,      // ports of a hub
    Property_Speed = 0x450002,             // link speed in Mbit/s
    Property_Manufacturer = 0x320006,
    Property_Product = 0x330006,
    Property_Bandwidth = 0x6F0004,    // usable bytes per second of a host controller
    Property_MaxBandwidth = 0x6E0004, // raw bytes per second of a host controller
    Property_FunctionName = 0xC90006, // name of a device function
    Property_U3VVendor = 0xA280006,
    Property_U3VModel = 0xA290006,
    Property_U3VSerial = 0xA2A0006,
    Property_U3VVersion = 0xA2B0006,
    Property_U3VUserName = 0xA2C0006,
    Property_U3VDeviceIndex = 0xC70002,
    Property_DeviceInstancePath = 0xA5C0006, // the SDK's full name of the camera
};

// One property: the type word, and eight bytes from the start the value.
struct Property {
    uint32_t type = 0;
    uint32_t reserved = 0;
    union {
        int32_t int32Value;
        uint64_t uint64Value;
        const wchar_t* stringValue;
    };
    Property() : uint64Value(0) {}
};
static_assert(offsetof(Property, uint64Value) == 8, "the value sits eight bytes from the start");

class INodeProperties {
public:
    virtual uint32_t GetCount() const = 0;
    // Copies the ids when the buffer holds them all; returns the count in every case.
    virtual uint32_t GetIds(uint32_t* buffer, uint32_t capacity) const = 0;
    virtual bool HasId(uint32_t id) const = 0;
    // Null past the end or for an absent id.
    virtual const Property* GetByIndex(uint32_t index) const = 0;
    virtual const Property* GetById(uint32_t id) const = 0;
    virtual ~INodeProperties() = default;
};

class ITopology;

// Nodes belong to their topology instance and live until it is refreshed, uninitialised or destroyed.
class INode {
public:
    virtual ITopology* GetTopology() const = 0;
    virtual const wchar_t* GetName() const = 0;
    virtual const wchar_t* GetId() const = 0;
    virtual uint32_t GetKind() const = 0;
    virtual size_t GetChildCount() const = 0;
    virtual INode* GetChild(size_t index) const = 0;
    virtual INode* GetParent() const = 0;
    virtual INodeProperties* GetProperties() const = 0;

protected:
    virtual ~INode() = default;
};

// Init flags: Init_Machine reads the machine's USB tree; Init_Empty leaves the instance empty for a
// builder that fills it between BeginUpdate and EndUpdate.
enum EInitFlags : uint32_t {
    Init_Quiet = 0x2,
    Init_Empty = 0x4,
    Init_Machine = 0x10001,
};

// Threads: one thread at a time; the instance takes no lock.
class ITopology {
public:
    virtual bool Init(uint64_t context, uint32_t flags) = 0;
    virtual void Uninit() = 0;
    // Reads the tree again; nodes handed out earlier are gone afterwards.
    virtual bool Refresh() = 0;
    virtual INode* GetRoot() const = 0;
    // Null when no node has the id.
    virtual INode* FindNode(const wchar_t* id) const = 0;
    virtual bool IsInitialized() const = 0;
    // Building: a new tree replaces the old one when EndUpdate(true) follows.
    virtual bool BeginUpdate() = 0;
    virtual bool EndUpdate(bool success) = 0;
    // With a null parent the node becomes the root (the previous root is dropped).
    virtual INode* AddNode(INode* parent, uint32_t kind, const wchar_t* name, const wchar_t* id) = 0;
    virtual bool SetProperty(INode* node, uint32_t id, const Property& value) = 0;
    virtual ~ITopology() = default;
};

GORSK_EXPORT ITopology* CreateTopologyInstance();
GORSK_EXPORT void DestroyTopologyInstance(ITopology* topology);

} // namespace Gorsk
