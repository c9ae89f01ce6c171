// The short-lived thread that creates an SDK device, and the GUI-thread wait around it.
#include "CreateDeviceThread.h"

#include "ToldFailure.h"
#include "ToolFeatureDescription.h"

#include <brasko/MessageFunctions.h>
#include <nimbo/TlFactory.h>

#include <QCoreApplication>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QSet>
#include <QString>

#include <mutex>

namespace {

// The wait cursor exists only with a GUI application; it is taken down on every path.
class WaitCursor {
public:
    WaitCursor() : m_active(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
    {
        if (m_active)
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    ~WaitCursor()
    {
        if (m_active)
            QGuiApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool m_active;
};

// Gives the transport layer back to the factory on every path.
class TlHolder {
public:
    explicit TlHolder(Nimbo::ITransportLayer* tl) : m_tl(tl) {}
    ~TlHolder()
    {
        if (m_tl)
            Nimbo::CTlFactory::GetInstance().ReleaseTl(m_tl);
    }
    TlHolder(const TlHolder&) = delete;
    TlHolder& operator=(const TlHolder&) = delete;
    Nimbo::ITransportLayer* get() const { return m_tl; }

private:
    Nimbo::ITransportLayer* m_tl;
};

std::mutex g_creationMutex;
// Full names of the devices whose creation is being waited for.
QSet<QString> g_inCreation;
CreateDeviceThread::CreationHook g_creationHook;

// Marks a device as being created for as long as it lives; refused() when it was already.
class CreationClaim {
public:
    explicit CreationClaim(const Nimbo::CDeviceInfo& info) : m_name(QString::fromUtf8(info.GetFullName().c_str()))
    {
        std::lock_guard<std::mutex> lock(g_creationMutex);
        m_refused = g_inCreation.contains(m_name);
        if (!m_refused)
            g_inCreation.insert(m_name);
    }
    ~CreationClaim()
    {
        std::lock_guard<std::mutex> lock(g_creationMutex);
        if (!m_refused)
            g_inCreation.remove(m_name);
    }
    CreationClaim(const CreationClaim&) = delete;
    CreationClaim& operator=(const CreationClaim&) = delete;
    bool refused() const { return m_refused; }

private:
    QString m_name;
    bool m_refused;
};

// Inside a catch block: shows the creation failure being handled.
void showCreationFailure(const char* context)
{
    try {
        throw;
    } catch (const GenICam::GenericException& e) {
        showException(context, e, nullptr);
    } catch (const std::exception& e) {
        showException(context, e, "Failed to create the device.", nullptr);
    } catch (...) {
        showUnexpectedException(context, "Failed to create the device.", nullptr);
    }
}

} // namespace

void CreateDeviceThread::setCreationHook(CreationHook hook)
{
    std::lock_guard<std::mutex> lock(g_creationMutex);
    g_creationHook = std::move(hook);
}

CreateDeviceThread::CreateDeviceThread(Nimbo::ITransportLayer* transportLayer, const Nimbo::CDeviceInfo& deviceInfo)
    : QThread(nullptr), m_transportLayer(transportLayer), m_deviceInfo(deviceInfo)
{
}

CreateDeviceThread::~CreateDeviceThread()
{
    wait();
    // Takes over what run() left, which goes with this object.
    m_finished.load(std::memory_order_acquire);
}

void CreateDeviceThread::run()
{
    m_finished.store(false, std::memory_order_relaxed);
    m_genicamException.reset();
    m_stdException.reset();
    GenICam::gcstring_vector injected;
    injected.push_back(toolFeatureDescription());
    CreationHook hook;
    {
        std::lock_guard<std::mutex> lock(g_creationMutex);
        hook = g_creationHook;
    }
    try {
        if (hook)
            hook(m_deviceInfo);
        m_device = m_transportLayer->CreateDevice(m_deviceInfo, injected);
    } catch (const GenICam::GenericException& e) {
        m_genicamException.reset(
            new GenICam::GenericException(e.GetDescription(), e.GetSourceFileName(), e.GetSourceLine()));
    } catch (const std::exception& e) {
        m_stdException.reset(new std::runtime_error(e.what()));
    } catch (...) {
        // Nothing may escape a thread body; an unknown failure still reports a failure.
        m_stdException.reset(new std::runtime_error("Unspecified exception occurred."));
    }
    // Publishes the device and the exceptions: the creator's wait for the thread is Qt's, which the
    // thread checker does not see, so the creator reads them after taking this flag.
    m_finished.store(true, std::memory_order_release);
}

bool CreateDeviceThread::hasFinished() const
{
    return m_finished.load(std::memory_order_acquire);
}

Nimbo::INimboDevice* CreateDeviceThread::createDevice(const Nimbo::CDeviceInfo& deviceInfo, const char* context,
                                                      ToldFailure* told)
{
    // The wait below handles events; one of them (a second open request, a scan result that chooses
    // this device) may ask for the same device again. The first creation goes on; the second is not
    // started, for two devices of one camera would have the later one replace the earlier under the
    // feet of those that already hold it.
    CreationClaim claim(deviceInfo);
    if (claim.refused()) {
        qWarning("%s: \"%s\" is being created already; the request is refused", context,
                 deviceInfo.GetFullName().c_str());
        return nullptr;
    }
    WaitCursor cursor;
    Nimbo::INimboDevice* device = nullptr;
    try {
        TlHolder tl(Nimbo::CTlFactory::GetInstance().CreateTl(deviceInfo.GetDeviceClass()));
        if (!tl.get())
            return nullptr;
        CreateDeviceThread thread(tl.get(), deviceInfo);
        thread.start(QThread::InheritPriority);
        while (!thread.wait(100))
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (const GenICam::GenericException* e = thread.getGenICamException())
            throw GenICam::GenericException(*e);
        if (const std::exception* e = thread.getStdException())
            throw std::runtime_error(e->what());
        device = thread.getDevice();
        if (!device)
            qCritical("%s: TLFactory returned something which is not a INimboDevice", context);
    } catch (...) {
        if (!told || !told->toldAlready(context, "Failed to create the device."))
            showCreationFailure(context);
        device = nullptr;
    }
    if (device && told)
        told->clear();
    return device;
}
