// Discovery of plug-in libraries and the records that tie each instance to the library that made it.
#include "lorvish/PluginManager.h"

#include "lorvish/DLLJanitor.h"

#include <GenICam/CaughtException.h>
#include <os/Module.h>

#include <QDir>
#include <QFile>
#include <QtDebug>

#include <condition_variable>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace Lorvish {

namespace {

struct PluginRecord {
    PluginCreateInstanceFunction create = nullptr;
    PluginDestroyInstanceFunction destroy = nullptr;
    ArdenmoorPluginVersionFunction version = nullptr;
    GenICam::gcstring name;
    std::shared_ptr<Corvel::CDLLJanitor> janitor; // keeps the library loaded while a record refers to it
};

// Plain byte comparison, so names are case-sensitive.
struct ByteOrder {
    bool operator()(const GenICam::gcstring& left, const GenICam::gcstring& right) const
    {
        return std::strcmp(left.c_str(), right.c_str()) < 0;
    }
};

// Each failure says why on the Qt message log and gives false.
bool loadPlugin(const QByteArray& path, PluginRecord& record)
{
    const char* file = path.constData();
    if (!record.janitor->load(file)) {
        qWarning("Failed to load library %s", file);
        return false;
    }
    record.version = record.janitor->resolveFunction<ArdenmoorPluginVersionFunction>(LORVISH_PLUGIN_VERSION_EXPORT);
    if (!record.version) {
        qDebug("%s: is no valid plugin library. Failed to locate 'ArdenmoorPluginVersion' function", file);
        return false;
    }
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t third = 0;
    record.version(&major, &minor, &third, &record.name);
    if (major != 1 || minor != 0) {
        qWarning("%s: plugin version (%d.%d) is not supported.", file, int(major), int(minor));
        return false;
    }
    record.create = record.janitor->resolveFunction<PluginCreateInstanceFunction>(LORVISH_PLUGIN_CREATE_EXPORT);
    if (!record.create) {
        qWarning("%s: Failed to locate 'PluginCreateInstance' function", file);
        return false;
    }
    record.destroy = record.janitor->resolveFunction<PluginDestroyInstanceFunction>(LORVISH_PLUGIN_DESTROY_EXPORT);
    if (!record.destroy) {
        qWarning("%s: Failed to locate 'PluginDestroyInstance' function", file);
        return false;
    }
    // An empty name could never be asked for on purpose: an unset setting reads as "".
    if (record.name.empty()) {
        qWarning("%s: plugin reports no name.", file);
        return false;
    }
    return true;
}

// Runs one of a plug-in's instance functions; what it throws is logged under the plug-in's name and
// goes no further. `action` is "create" or "destroy".
template <class Call>
void callPlugin(const GenICam::gcstring& name, const char* action, Call call)
{
    try {
        call();
    } catch (...) {
        qWarning("%s: Failed to %s a plugin instance: %s", name.c_str(), action,
                 GenICam::CaughtException::Current().Description());
    }
}

} // namespace

// Guarded by mutex; the plug-ins' own functions are called without it, so that a plug-in may
// call back into the manager, even from its version function during discovery.
struct PluginManager::Private {
    std::mutex mutex;
    std::condition_variable discoveryEnded;
    bool discovered = false;
    // The thread that runs the discovery, while it runs: its own calls back into the manager go on
    // with what is known so far, other threads wait for the whole result.
    std::thread::id discoverer;
    std::map<GenICam::gcstring, PluginRecord, ByteOrder> byName;
    std::map<IPlugin*, PluginRecord> byInstance;
};

PluginManager::PluginManager() : d(new Private) {}

PluginManager::~PluginManager()
{
    delete d;
}

PluginManager& PluginManager::getInstance()
{
    // Never destroyed: instances still alive at exit (held by other static objects, or by threads
    // the process did not join) may call into their libraries and hand themselves back from their
    // destructors, after a function-local manager would already have unloaded the libraries and
    // freed its maps. The libraries go with the process.
    static PluginManager* const manager = new PluginManager;
    manager->init();
    return *manager;
}

void PluginManager::init()
{
    const std::thread::id self = std::this_thread::get_id();
    {
        std::unique_lock<std::mutex> lock(d->mutex);
        d->discoveryEnded.wait(lock, [&] { return d->discoverer == std::thread::id() || d->discoverer == self; });
        if (d->discovered || d->discoverer == self)
            return;
        d->discoverer = self;
    }
    bool done = false;
    auto end = [&] {
        {
            std::lock_guard<std::mutex> lock(d->mutex);
            d->discovered = done;
            d->discoverer = std::thread::id();
        }
        d->discoveryEnded.notify_all();
    };
    try {
        done = discover();
    } catch (...) {
        end(); // the waiting threads try again themselves
        throw;
    }
    end();
}

// Loads the libraries and calls their version functions outside the lock; each record is entered as
// soon as it is complete. False when the program's folder is unknown for now: the next call tries again.
bool PluginManager::discover()
{
    const std::string folder = os::programFolder();
    if (folder.empty() || folder == ".")
        return false;

    // Sorted by name, so that of two libraries reporting one name the same one wins on every run.
    const QDir directory(QFile::decodeName(folder.c_str()));
    const QStringList files =
        directory.entryList({QStringLiteral("lib*Plugin.so")}, QDir::Files | QDir::CaseSensitive, QDir::Name);
    for (const QString& file : files) {
        const QByteArray path = QFile::encodeName(directory.filePath(file));
        PluginRecord record;
        record.janitor = std::make_shared<Corvel::CDLLJanitor>();
        try {
            if (!loadPlugin(path, record))
                continue;
        } catch (...) {
            qWarning("%s: %s", path.constData(), GenICam::CaughtException::Current().What());
            continue;
        }
        std::lock_guard<std::mutex> lock(d->mutex);
        d->byName.emplace(record.name, std::move(record)); // the first library of a name stays
    }
    return true;
}

IPlugin* PluginManager::createInstance(QString name)
{
    PluginManager& manager = getInstance();
    const GenICam::gcstring key(name.toLatin1().constData());
    PluginRecord record;
    {
        std::lock_guard<std::mutex> lock(manager.d->mutex);
        const auto found = manager.d->byName.find(key);
        if (found == manager.d->byName.end())
            return nullptr;
        record = found->second;
    }
    // A plug-in that cannot make an instance is skipped: its failure must not reach the caller's
    // conversion or display path, which goes on without it.
    IPlugin* instance = nullptr;
    callPlugin(key, "create", [&] { instance = record.create(); });
    if (!instance)
        return nullptr;
    std::lock_guard<std::mutex> lock(manager.d->mutex);
    manager.d->byInstance[instance] = std::move(record);
    return instance;
}

void PluginManager::destroyInstance(IPlugin* instance)
{
    if (!instance)
        return;
    PluginManager& manager = getInstance();
    PluginRecord record;
    {
        std::lock_guard<std::mutex> lock(manager.d->mutex);
        const auto found = manager.d->byInstance.find(instance);
        if (found == manager.d->byInstance.end())
            return; // never made here, or destroyed already
        // Forgotten before the call, so that a later instance at the same address cannot be sent to
        // this library; the local copy keeps the library loaded until its destroy function returned.
        record = std::move(found->second);
        manager.d->byInstance.erase(found);
    }
    // Called from destructors (the converter's): a plug-in's failure must not escape into them.
    callPlugin(record.name, "destroy", [&] { record.destroy(instance); });
}

bool PluginManager::isPluginAvailable(QString name)
{
    PluginManager& manager = getInstance();
    const GenICam::gcstring key(name.toLatin1().constData());
    std::lock_guard<std::mutex> lock(manager.d->mutex);
    return manager.d->byName.count(key) != 0;
}

} // namespace Lorvish
