// Every transport layer with the devices found on it.
#include <nimbo/DeviceEnumeration.h>

#include <nimbo/TlFactory.h>

namespace Nimbo {

namespace {

void reportDevices(const TlEnumeration& how, const CTlInfo& tl, const DeviceInfoList_t& devices)
{
    how.report("Enumerated '" + tl.GetFriendlyName().str() + "' and found " + std::to_string(devices.size()) +
               " devices.");
    for (const CDeviceInfo& device : devices)
        how.report("    Found '" + device.GetFriendlyName().str() + "'");
}

} // namespace

TlDeviceList EnumerateTlsAndDevices(const TlEnumeration& how)
{
    CTlFactory& factory = CTlFactory::GetInstance();
    TlInfoList_t tls;
    tls.reserve(5);
    factory.EnumerateTls(tls);
    TlDeviceList result;
    result.reserve(tls.size());
    for (const CTlInfo& tlInfo : tls) {
        if (how.accept && !how.accept(tlInfo))
            continue;
        result.emplace_back(tlInfo, DeviceInfoList_t());
        if (!how.devices)
            continue;
        DeviceInfoList_t& devices = result.back().second;
        devices.reserve(3);
        ITransportLayer* tl = nullptr;
        try {
            tl = factory.CreateTl(tlInfo);
            if (!tl)
                continue;
            tl->EnumerateDevices(devices, false);
            if (how.report)
                reportDevices(how, tlInfo, devices);
        } catch (...) {
            // The transport layer goes back before anyone hears of the failure.
            factory.ReleaseTl(tl);
            if (!how.failed)
                throw;
            how.failed(tlInfo);
            continue;
        }
        factory.ReleaseTl(tl);
    }
    return result;
}

} // namespace Nimbo
