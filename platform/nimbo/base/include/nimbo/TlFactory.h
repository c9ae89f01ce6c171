// The process-wide entry to transport layers and devices.
#pragma once

#include <nimbo/TransportLayer.h>

namespace Nimbo {

// Thread-safe. Devices outlive the release of the transport layer that made them.
class CTlFactory {
public:
    static CTlFactory& GetInstance();

    // Appends one info per transport layer; returns the list's size.
    int EnumerateTls(TlInfoList_t& list);
    // Null when no transport layer matches. Every successful call needs a ReleaseTl.
    ITransportLayer* CreateTl(const CTlInfo& info);
    ITransportLayer* CreateTl(const String_t& deviceClass);
    // Null is ignored; a transport layer released more often than created throws a LogicalErrorException.
    void ReleaseTl(const ITransportLayer* tl);

    // Over all transport layers.
    int EnumerateDevices(DeviceInfoList_t& list, bool append = false);
    INimboDevice* CreateDevice(const CDeviceInfo& info,
                               const GenICam::gcstring_vector& injected = GenICam::gcstring_vector());
    // Closes and destroys a device made by any transport layer; null is ignored.
    void DestroyDevice(INimboDevice* device);
    bool IsDeviceAccessible(const CDeviceInfo& info, AccessModeSet mode = AccessModeSet(Control));

private:
    CTlFactory();
    ~CTlFactory();
    CTlFactory(const CTlFactory&) = delete;
    CTlFactory& operator=(const CTlFactory&) = delete;
};

// Initialises the SDK while it lives; nests.
class NimboAutoInitTerm {
public:
    NimboAutoInitTerm();
    ~NimboAutoInitTerm();
    NimboAutoInitTerm(const NimboAutoInitTerm&) = delete;
    NimboAutoInitTerm& operator=(const NimboAutoInitTerm&) = delete;
};
void NimboInitialize();
// Destroys the devices still alive when the last initialisation ends.
void NimboTerminate();

} // namespace Nimbo
