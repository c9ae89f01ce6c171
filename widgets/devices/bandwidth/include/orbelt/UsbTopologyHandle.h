// Creates, initialises and tears down the USB topology the bandwidth manager walks.
#pragma once

#include "orbelt/Export.h"
#include "orbelt/TopologyEx.h"

#include <darnel/Darnel.h>

#include <string>

// Threads: the widget thread only.
struct ORBELT_EXPORT UsbTopologyHandle {
    UsbTopologyHandle() = default;
    ~UsbTopologyHandle();
    UsbTopologyHandle(const UsbTopologyHandle&) = delete;
    UsbTopologyHandle& operator=(const UsbTopologyHandle&) = delete;

    // Status 0 with a root on success; 1 when the topology does not initialise.
    void open(uint32_t* status, uint32_t view, Darnel::DarnelCallback callback, uint64_t context, uint64_t initParam);
    // After the topology was refreshed, the root of the view again.
    void refreshRoot(uint32_t view);
    // Safe to call more than once.
    void close();
    // The library's text for a status; a non-zero result is the library's own failure.
    static uint32_t statusMessage(uint32_t status, std::string* text);

    uint32_t initialized = 0;
    Gorsk::INode* root = nullptr;
    procLayer::ITopologyEx* topology = nullptr; // owned
    uint64_t callbackContext = 0;
    Darnel::DarnelRegistration registration = nullptr;
};
