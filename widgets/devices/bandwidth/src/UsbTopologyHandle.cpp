// The USB topology handle of the bandwidth manager.
#include "orbelt/UsbTopologyHandle.h"

#include <vector>

UsbTopologyHandle::~UsbTopologyHandle()
{
    close();
}

void UsbTopologyHandle::open(uint32_t* status, uint32_t view, Darnel::DarnelCallback callback, uint64_t context,
                             uint64_t initParam)
{
    close(); // a second opening replaces the first
    uint32_t result = procLayer::createTopologyEx(&topology);
    if (result == procLayer::TopologyStatus_Ok) {
        initialized = topology->Init(initParam, nullptr, 0, initParam ? 2 : 0x10001) ? 1 : 0;
        if (initialized) {
            refreshRoot(view);
            callbackContext = context;
            Darnel::DarnelCallbackParams record;
            record.kind = 3;
            record.callback = callback;
            record.reserved = 0;
            record.context = context;
            Darnel::DarnelRegisterCallback(&record, &registration);
        } else {
            result = procLayer::TopologyStatus_NotInitialized;
        }
    }
    if (status)
        *status = result;
}

void UsbTopologyHandle::refreshRoot(uint32_t view)
{
    Gorsk::ITopology* instance = topology ? topology->GetView(view) : nullptr;
    root = instance ? instance->GetRoot() : nullptr;
}

void UsbTopologyHandle::close()
{
    if (initialized) {
        if (registration)
            Darnel::DarnelDeregisterCallback(registration);
        topology->Uninit();
    }
    // A topology that never initialised is still ours to destroy.
    delete topology;
    topology = nullptr;
    registration = nullptr;
    root = nullptr;
    initialized = 0;
}

uint32_t UsbTopologyHandle::statusMessage(uint32_t status, std::string* text)
{
    size_t length = 0;
    uint32_t result = Darnel::GetStatusMessage(status, nullptr, 0, &length);
    if (result != 0)
        return result;
    std::vector<char> buffer(length + 1, '\0');
    result = Darnel::GetStatusMessage(status, buffer.data(), length, &length);
    if (result == 0 && text)
        text->assign(buffer.data()); // up to the terminating zero
    return result;
}
