// The short-lived thread that creates an SDK device, and the GUI-thread wait around it.
#include "CreateDeviceThread.h"

#include "ToolFeatureDescription.h"

#include <brasko/MessageFunctions.h>
#include <nimbo/TlFactory.h>

#include <QCoreApplication>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>

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

} // namespace

CreateDeviceThread::CreateDeviceThread(Nimbo::ITransportLayer* transportLayer, const Nimbo::CDeviceInfo& deviceInfo)
    : QThread(nullptr), m_transportLayer(transportLayer), m_deviceInfo(deviceInfo)
{
}

CreateDeviceThread::~CreateDeviceThread()
{
    wait();
}

void CreateDeviceThread::run()
{
    m_genicamException.reset();
    m_stdException.reset();
    GenICam::gcstring_vector injected;
    injected.push_back(toolFeatureDescription());
    try {
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
}

Nimbo::INimboDevice* CreateDeviceThread::createDevice(const Nimbo::CDeviceInfo& deviceInfo, const char* context)
{
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
    } catch (const GenICam::GenericException& e) {
        showException(context, e, nullptr);
        device = nullptr;
    } catch (const std::exception& e) {
        showException(context, e, "Failed to create the device.", nullptr);
        device = nullptr;
    } catch (...) {
        showUnexpectedException(context, "Failed to create the device.", nullptr);
        device = nullptr;
    }
    return device;
}
