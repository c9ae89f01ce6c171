// The transport-layer factory: transport layers, device bookkeeping, plug-in loading, SDK init.
#include "GigEIpConfiguration.h"
#include "NimboDeviceImpl.h"
#include "TransportLayerImpl.h"
#include "aravis/AravisTransport.h"
#include "aravis/Gvcp.h"
#include "emulation/EmulatedBackend.h"
#include "emulation/EventThread.h"
#include "emulation/World.h"

#include <nimbo/Emulation.h>
#include <nimbo/Mivtrace.h>
#include <nimbo/TlFactory.h>
#include <nimbo/TransportLayerPlugin.h>

#include <GenICam/GenericException.h>

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

namespace Nimbo {

using namespace emulation;

namespace {

Mivtrace::CatID traceCategory()
{
    static const Mivtrace::CatID id = Mivtrace::LogGetCatID("Tesvar.TlFactory");
    return id;
}

std::string programFolder()
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    std::string p(path, static_cast<size_t>(n));
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

class DescriptionCollector : public IDescriptionReceiver {
public:
    void AddDescription(const GenICam::gcstring& description) override { descriptions.push_back(description); }
    GenICam::gcstring_vector descriptions;
};

struct LoadedPlugin {
    void* module = nullptr;
    ITransportLayerPlugin* plugin = nullptr;
    DestroyTransportLayerPluginFunction destroy = nullptr;
    std::string path;
};

} // namespace

// Threads: any; the device set and the plug-ins are guarded by m_mutex (recursive: destroying a
// device may ask the factory again).
class TlFactoryState {
public:
    TlFactoryState()
        : m_usb(makeInfo("VelmarUsb", "USB3 Vision", "U3V"), *this),
          m_gige(makeInfo("VelmarGigE", "GigE Vision", "GEV"), *this)
    {
    }

    static CTlInfo makeInfo(const char* deviceClass, const char* friendly, const char* type)
    {
        CTlInfo info;
        info.SetDeviceClass(deviceClass).SetFullName(deviceClass).SetFriendlyName(friendly).SetVendorName("Velmar");
        info.SetModelName(deviceClass).SetTLType(type).SetVersion("1.0.0");
        return info;
    }

    ITransportLayer* tl(const String_t& deviceClass)
    {
        if (deviceClass == "VelmarUsb")
            return &m_usb;
        if (deviceClass == "VelmarGigE")
            return &m_gige;
        return nullptr;
    }

    // CreateTl and ReleaseTl: every transport layer handed out is given back once.
    ITransportLayer* acquireTl(const String_t& deviceClass)
    {
        ITransportLayer* layer = tl(deviceClass);
        if (layer) {
            std::lock_guard<std::recursive_mutex> lock(m_mutex);
            ++m_tlUses[layer];
        }
        return layer;
    }

    void releaseTl(const ITransportLayer* layer)
    {
        if (!layer)
            return;
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        auto it = m_tlUses.find(layer);
        if (it == m_tlUses.end() || it->second == 0)
            GENICAM_THROW(GenICam::LogicalErrorException,
                          "ReleaseTl: the transport layer was not created by this factory, or is released already.");
        --it->second;
    }

    void loadPlugins()
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_pluginsLoaded)
            return;
        m_pluginsLoaded = true;
        std::vector<std::string> folders;
        const char* env = std::getenv("NIMBO_TL_PLUGIN_PATH");
        if (env && *env) {
            std::istringstream in(env);
            std::string folder;
            while (std::getline(in, folder, ':'))
                if (!folder.empty())
                    folders.push_back(folder);
        } else {
            folders.push_back(programFolder() + "/tlplugins");
        }
        for (const std::string& folder : folders) {
            DIR* dir = opendir(folder.c_str());
            if (!dir)
                continue;
            std::vector<std::string> names;
            while (dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name.size() > 12 && name.compare(0, 3, "lib") == 0 &&
                    name.compare(name.size() - 9, 9, "Plugin.so") == 0)
                    names.push_back(name);
            }
            closedir(dir);
            std::sort(names.begin(), names.end());
            for (const std::string& name : names)
                loadPlugin(folder + "/" + name);
        }
        // A program that never calls NimboTerminate still releases its devices and plug-ins at exit.
        // Registered after the plug-ins were loaded, the hook runs before their own globals go. Plug-ins
        // loaded again after a terminate have new globals, destroyed before an older hook would run:
        // each load needs a hook of its own (an older one then finds nothing left to release).
        if (!m_plugins.empty() && !m_exitHook) {
            m_exitHook = true;
            std::atexit(exitHook);
        }
    }

    static void exitHook();

    void loadPlugin(const std::string& path)
    {
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* error = dlerror();
            Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning, "Cannot load plug-in %s: %s",
                               path.c_str(), error ? error : "unknown error");
            return;
        }
        auto create = reinterpret_cast<CreateTransportLayerPluginFunction>(dlsym(module, "CreateTransportLayerPlugin"));
        auto destroy =
            reinterpret_cast<DestroyTransportLayerPluginFunction>(dlsym(module, "DestroyTransportLayerPlugin"));
        ITransportLayerPlugin* plugin = create && destroy ? create() : nullptr;
        if (!plugin) {
            Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Warning,
                               "%s is no transport-layer plug-in (or it could not start).", path.c_str());
            dlclose(module);
            return;
        }
        Mivtrace::LogTrace(traceCategory(), Mivtrace::TraceLevel_Info, "Loaded transport-layer plug-in %s.",
                           path.c_str());
        m_plugins.push_back({module, plugin, destroy, path});
    }

    INimboDevice* createDevice(const CDeviceInfo& requested, const GenICam::gcstring_vector& injected)
    {
        loadPlugins();
        CDeviceInfo info;
        std::shared_ptr<DeviceBackend> camera;
        if (std::shared_ptr<EmulatedCamera> emulated = World::instance().find(requested.GetFullName(), &info))
            camera = std::make_shared<EmulatedBackend>(emulated);
        else
            camera = aravis::createBackend(requested.GetFullName(), &info);
        if (!camera)
            GENICAM_THROW(GenICam::InvalidArgumentException, "No device with the full name '%s' exists.",
                          requested.GetFullName().c_str());
        if (!camera->isPlugged())
            GENICAM_THROW(GenICam::RuntimeException, "The device '%s' has been removed.",
                          info.GetFriendlyName().c_str());
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        // Plug-ins contribute their descriptions before the node map is built.
        GenICam::gcstring_vector descriptions = injected;
        for (const LoadedPlugin& p : m_plugins) {
            DescriptionCollector collector;
            p.plugin->ContributeDescriptions(info, &collector);
            descriptions.insert(descriptions.end(), collector.descriptions.begin(), collector.descriptions.end());
        }
        auto device = std::make_unique<NimboDeviceImpl>(camera, info, descriptions);
        for (const LoadedPlugin& p : m_plugins)
            if (IDevicePlugin* dp = p.plugin->CreateDevicePlugin(info)) {
                device->attachPlugin(p.plugin, dp);
                break;
            }
        NimboDeviceImpl* raw = device.release();
        m_devices.insert(raw);
        return raw;
    }

    void destroyDevice(INimboDevice* device)
    {
        if (!device)
            return;
        NimboDeviceImpl* impl = nullptr;
        {
            std::lock_guard<std::recursive_mutex> lock(m_mutex);
            // Compared as base pointers: the pointer may name a destroyed device, which must not be cast.
            auto it = std::find_if(m_devices.begin(), m_devices.end(),
                                   [device](NimboDeviceImpl* d) { return static_cast<INimboDevice*>(d) == device; });
            if (it == m_devices.end())
                GENICAM_THROW(GenICam::InvalidArgumentException, "DestroyDevice: the device was not made here.");
            impl = *it;
            m_devices.erase(it);
        }
        try {
            impl->Close();
        } catch (...) {
            // Closing a removed device may fail; it is destroyed anyway.
        }
        impl->releasePlugins();
        impl->destroy();
    }

    bool accessible(const CDeviceInfo& info)
    {
        std::shared_ptr<EmulatedCamera> camera = World::instance().find(info.GetFullName());
        if (!camera)
            return aravis::accessible(info.GetFullName());
        return camera->isPlugged() && !camera->isInUseElsewhere() && !camera->isOpen();
    }

    void terminate(bool drainEvents = true)
    {
        std::set<NimboDeviceImpl*> devices;
        {
            std::lock_guard<std::recursive_mutex> lock(m_mutex);
            devices.swap(m_devices);
        }
        for (NimboDeviceImpl* d : devices) {
            try {
                d->Close();
            } catch (...) {
            }
            d->releasePlugins();
            d->destroy();
        }
        if (drainEvents)
            EventThread::instance().drain();
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        for (LoadedPlugin& p : m_plugins) {
            p.destroy(p.plugin);
            dlclose(p.module);
        }
        m_plugins.clear();
        m_pluginsLoaded = false;
        m_exitHook = false;
    }

    int initCount = 0;

private:
    std::recursive_mutex m_mutex;
    TransportLayerImpl m_usb;
    GigETransportLayerImpl m_gige;
    std::set<NimboDeviceImpl*> m_devices;
    std::map<const ITransportLayer*, int> m_tlUses; // transport layers handed out and not yet released
    std::vector<LoadedPlugin> m_plugins;
    bool m_pluginsLoaded = false;
    bool m_exitHook = false;
};

namespace {
TlFactoryState& state()
{
    static TlFactoryState s;
    return s;
}
std::mutex g_initMutex;
} // namespace

void TlFactoryState::exitHook()
{
    // The event thread may be gone already; no events are drained.
    state().terminate(false);
}

int TransportLayerImpl::EnumerateDevices(DeviceInfoList_t& list, bool append)
{
    if (!append)
        list.clear();
    for (const CameraEntry& e : World::instance().plugged(m_info.GetDeviceClass().str()))
        list.push_back(e.info);
    if (World::instance().takeEnumerationFailure(m_info.GetDeviceClass().str()))
        GENICAM_THROW(GenICam::RuntimeException, "Emulated failure while enumerating the devices of %s.",
                      m_info.GetDeviceClass().c_str());
    for (const CDeviceInfo& info : aravis::discover(m_info.GetDeviceClass().str()))
        list.push_back(info);
    return static_cast<int>(list.size());
}

INimboDevice* TransportLayerImpl::CreateDevice(const CDeviceInfo& info, const GenICam::gcstring_vector& injected)
{
    CDeviceInfo known;
    if ((World::instance().find(info.GetFullName(), &known) || aravis::knows(info.GetFullName(), &known)) &&
        known.GetDeviceClass() != m_info.GetDeviceClass())
        GENICAM_THROW(GenICam::InvalidArgumentException, "The device '%s' belongs to another transport layer.",
                      info.GetFullName().c_str());
    return m_factory.createDevice(info, injected);
}

void TransportLayerImpl::DestroyDevice(INimboDevice* device)
{
    m_factory.destroyDevice(device);
}

bool TransportLayerImpl::IsDeviceAccessible(const CDeviceInfo& info, AccessModeSet)
{
    return m_factory.accessible(info);
}

namespace {

// Runs `change` on the emulated camera of that MAC address, else on the real one.
template <class Change>
bool onGigECamera(const String_t& macAddress, Change change)
{
    uint64_t mac = 0;
    if (!aravis::parseMac(macAddress.c_str(), mac))
        return false;
    if (std::optional<bool> done = change(World::instance(), mac))
        return *done;
    return change(aravis::gigeNetwork(), mac).value_or(false);
}

bool parseAddress(const String_t& ip, const String_t& mask, const String_t& gateway, GigEAddress& address)
{
    return parseIp(ip.c_str(), address.ip) && parseIp(mask.c_str(), address.mask) &&
           parseIp(gateway.c_str(), address.gateway);
}

} // namespace

bool GigETransportLayerImpl::ForceIp(const String_t& macAddress, const String_t& ipAddress, const String_t& subnetMask,
                                     const String_t& defaultGateway)
{
    GigEAddress address;
    if (!parseAddress(ipAddress, subnetMask, defaultGateway, address) || address.ip == 0 || address.mask == 0)
        return false;
    return onGigECamera(macAddress, [&](auto& cameras, uint64_t mac) { return cameras.forceIp(mac, address); });
}

bool GigETransportLayerImpl::RestartIpConfiguration(const String_t& macAddress)
{
    return onGigECamera(macAddress, [](auto& cameras, uint64_t mac) { return cameras.forceIp(mac, GigEAddress()); });
}

bool GigETransportLayerImpl::ChangeIpConfiguration(const String_t& macAddress, bool enablePersistentIp, bool enableDhcp)
{
    const uint32_t configuration =
        ipconfig::LinkLocal | (enablePersistentIp ? ipconfig::PersistentIp : 0) | (enableDhcp ? ipconfig::Dhcp : 0);
    return onGigECamera(macAddress,
                        [&](auto& cameras, uint64_t mac) { return cameras.setIpConfiguration(mac, configuration); });
}

bool GigETransportLayerImpl::SetPersistentIp(const String_t& macAddress, const String_t& ipAddress,
                                             const String_t& subnetMask, const String_t& defaultGateway)
{
    GigEAddress address;
    if (!parseAddress(ipAddress, subnetMask, defaultGateway, address))
        return false;
    return onGigECamera(macAddress, [&](auto& cameras, uint64_t mac) { return cameras.setPersistentIp(mac, address); });
}

bool GigETransportLayerImpl::GetPersistentIp(const String_t& macAddress, String_t& ipAddress, String_t& subnetMask,
                                             String_t& defaultGateway, bool* persistentIpEnabled, bool* dhcpEnabled)
{
    GigEAddress address;
    uint32_t configuration = 0;
    if (!onGigECamera(macAddress, [&](auto& cameras, uint64_t mac) {
            return cameras.ipConfiguration(mac, address, configuration);
        }))
        return false;
    ipAddress = dottedIp(address.ip).c_str();
    subnetMask = dottedIp(address.mask).c_str();
    defaultGateway = dottedIp(address.gateway).c_str();
    if (persistentIpEnabled)
        *persistentIpEnabled = (configuration & ipconfig::PersistentIp) != 0;
    if (dhcpEnabled)
        *dhcpEnabled = (configuration & ipconfig::Dhcp) != 0;
    return true;
}

CTlFactory& CTlFactory::GetInstance()
{
    static CTlFactory factory;
    state().loadPlugins();
    return factory;
}

CTlFactory::CTlFactory() = default;
CTlFactory::~CTlFactory() = default;

int CTlFactory::EnumerateTls(TlInfoList_t& list)
{
    list.push_back(state().tl("VelmarUsb")->GetTlInfo());
    list.push_back(state().tl("VelmarGigE")->GetTlInfo());
    return static_cast<int>(list.size());
}

ITransportLayer* CTlFactory::CreateTl(const CTlInfo& info)
{
    return state().acquireTl(info.GetDeviceClass());
}

ITransportLayer* CTlFactory::CreateTl(const String_t& deviceClass)
{
    return state().acquireTl(deviceClass);
}

void CTlFactory::ReleaseTl(const ITransportLayer* tl)
{
    // The transport layers themselves live as long as the process, and devices never depend on the
    // release; a release without its CreateTl is the caller's error all the same.
    state().releaseTl(tl);
}

int CTlFactory::EnumerateDevices(DeviceInfoList_t& list, bool append)
{
    if (!append)
        list.clear();
    state().tl("VelmarUsb")->EnumerateDevices(list, true);
    return state().tl("VelmarGigE")->EnumerateDevices(list, true);
}

INimboDevice* CTlFactory::CreateDevice(const CDeviceInfo& info, const GenICam::gcstring_vector& injected)
{
    return state().createDevice(info, injected);
}

void CTlFactory::DestroyDevice(INimboDevice* device)
{
    state().destroyDevice(device);
}

bool CTlFactory::IsDeviceAccessible(const CDeviceInfo& info, AccessModeSet)
{
    return state().accessible(info);
}

void NimboInitialize()
{
    std::lock_guard<std::mutex> lock(g_initMutex);
    if (state().initCount++ == 0)
        state().loadPlugins();
}

void NimboTerminate()
{
    std::lock_guard<std::mutex> lock(g_initMutex);
    if (state().initCount > 0 && --state().initCount == 0)
        state().terminate();
}

NimboAutoInitTerm::NimboAutoInitTerm()
{
    NimboInitialize();
}

NimboAutoInitTerm::~NimboAutoInitTerm()
{
    NimboTerminate();
}

namespace Emulation {

bool Configure(const std::string& cameraList)
{
    return World::instance().configure(cameraList);
}

bool ConfigureFromEnvironment()
{
    const char* env = std::getenv("NIMBO_EMULATION");
    return Configure(env ? env : "");
}

std::vector<std::string> SerialNumbers()
{
    return World::instance().serials();
}

std::vector<std::string> ModelNames()
{
    return modelNames();
}

bool Unplug(const std::string& serial)
{
    auto camera = World::instance().findBySerial(serial);
    return camera && camera->unplug();
}

bool Replug(const std::string& serial)
{
    auto camera = World::instance().findBySerial(serial);
    return camera && camera->replug();
}

bool SetInUseElsewhere(const std::string& serial, bool inUse)
{
    auto camera = World::instance().findBySerial(serial);
    if (camera)
        camera->setInUseElsewhere(inUse);
    return camera != nullptr;
}

bool InjectFailedFrames(const std::string& serial, unsigned count, uint32_t errorCode)
{
    auto camera = World::instance().findBySerial(serial);
    if (camera)
        camera->injectFailedFrames(count, errorCode);
    return camera != nullptr;
}

bool FireLineEdge(const std::string& serial, const std::string& line, bool rising)
{
    auto camera = World::instance().findBySerial(serial);
    if (camera)
        camera->fireLineEdge(line, rising);
    return camera != nullptr;
}

uint64_t FramesProduced(const std::string& serial)
{
    auto camera = World::instance().findBySerial(serial);
    return camera ? camera->framesPainted() : 0;
}

bool FailEnumerations(const std::string& deviceClass, unsigned count)
{
    if (deviceClass != "VelmarUsb" && deviceClass != "VelmarGigE")
        return false;
    World::instance().failEnumerations(deviceClass, count);
    return true;
}

void WaitForEvents()
{
    EventThread::instance().drain();
}

} // namespace Emulation
} // namespace Nimbo
