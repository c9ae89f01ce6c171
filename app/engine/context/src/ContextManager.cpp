// The context manager: device contexts by full name, the current one, the display throttle and removal.
#include "ContextManager.h"

#include "CameraConfiguration.h"
#include "DeviceManager.h"
#include "EngineLog.h"
#include "GrabSupport.h"
#include "StdFeatureListCamera.h"

#include <brasko/Formatting.h>
#include <brasko/HiResTimer.h>
#include <brasko/MessageFunctions.h>
#include <nimbo/NimboDevice.h>
#include <threadcheck/HandOff.h>

#include <log4cpp/Category.hh>

#include <QApplication>
#include <QMainWindow>
#include <QMetaObject>
#include <QMetaType>
#include <QPointer>
#include <QSettings>
#include <QTimer>

#include <atomic>
#include <cmath>
#include <memory>

namespace {

QString deviceText(const Nimbo::CDeviceInfo& info, const GenICam::gcstring& text)
{
    return IsUtf8Device(&info) ? QString::fromUtf8(text.c_str()) : QString::fromLatin1(text.c_str());
}

QByteArray formatName(const Nimbo::CDeviceInfo* info)
{
    return formatDeviceName(info, {}).toUtf8();
}

} // namespace

ContextManager::ContextManager(QMdiArea* mdiArea, QObject* parent, DeviceContextWindowFactory windowFactory)
    : QObject(parent), m_mdiArea(mdiArea), m_windowFactory(std::move(windowFactory))
{
    QSettings settings;
    m_maxFps = settings.value("Display/MaxFps", 50).toInt();
    m_timerRes = settings.value("Display/TimerRes", 0).toUInt();
    m_usedBufferMemory = settings.value("Grab/UsedBufferMemory", 0x800000u).toUInt();
    m_showFailedBuffers = settings.value("Grab/ShowFailedBuffers", true).toBool();

    m_perfTimer = new QTimer(this);
    connect(m_perfTimer, &QTimer::timeout, this, &ContextManager::onPerfTimer);
    m_perfTimer->start(500);
    // Only a positive rate has a period; 0 and below run without a throttle.
    if (m_maxFps > 0)
        enableFpsThrottle(true);
}

ContextManager::~ContextManager()
{
    if (m_throttleTimer)
        m_throttleTimer->stop();
    QSettings settings;
    settings.setValue("Display/MaxFps", m_maxFps);
    settings.setValue("Display/TimerRes", m_timerRes);
    settings.setValue("Grab/UsedBufferMemory", m_usedBufferMemory);
    settings.setValue("Grab/ShowFailedBuffers", m_showFailedBuffers);
    // Contexts still in the map are children and go with the manager; each shuts itself down first.
    std::map<GenICam::gcstring, DeviceContext*> contexts;
    {
        std::unique_lock<std::recursive_mutex> lock(m_mutex);
        contexts.swap(m_contexts);
        m_currentContext = nullptr;
    }
    for (auto& entry : contexts) {
        detachFromThrottle(entry.second);
        delete entry.second;
    }
}

void ContextManager::emitThrottleTick()
{
    std::lock_guard<std::mutex> lock(m_throttleMutex);
    emit throttleTimerTick();
}

void ContextManager::detachFromThrottle(DeviceContext* context)
{
    // Waits for a tick in progress; later ticks no longer reach the context.
    std::lock_guard<std::mutex> lock(m_throttleMutex);
    disconnect(this, &ContextManager::throttleTimerTick, context, nullptr);
}

DeviceContext* ContextManager::findContext(const Nimbo::CDeviceInfo* info)
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    if (!info)
        return m_currentContext;
    auto it = m_contexts.find(info->GetFullName());
    return it == m_contexts.end() ? nullptr : it->second;
}

DeviceContext* ContextManager::contextOf(const Nimbo::CDeviceInfo* info)
{
    return findContext(info);
}

DeviceContext* ContextManager::currentContext()
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    return m_currentContext;
}

Camera* ContextManager::currentCamera()
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    return m_currentContext ? m_currentContext->camera() : nullptr;
}

IDeviceContextWindow* ContextManager::imageWindowOfCamera(Camera* camera)
{
    if (!camera)
        return nullptr;
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    for (auto& entry : m_contexts)
        if (entry.second->camera() == camera)
            return entry.second->imageWindow();
    return nullptr;
}

Camera* ContextManager::cameraOfImageWindow(IDeviceContextWindow* window)
{
    if (!window)
        return nullptr;
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    for (auto& entry : m_contexts)
        if (entry.second->imageWindow() == window)
            return entry.second->camera();
    return nullptr;
}

uint64_t ContextManager::grabbingDeviceCount()
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    uint64_t count = 0;
    for (auto& entry : m_contexts)
        if (entry.second->camera() && entry.second->camera()->isGrabbing())
            ++count;
    return count;
}

uint64_t ContextManager::openDeviceCount()
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    uint64_t count = 0;
    for (auto& entry : m_contexts)
        if (entry.second->camera() && entry.second->camera()->isOpen())
            ++count;
    return count;
}

uint64_t ContextManager::openDevices(QVector<Nimbo::INimboDevice*>& devices)
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    devices.clear();
    devices.reserve(static_cast<int>(m_contexts.size()));
    for (auto& entry : m_contexts) {
        Camera* camera = entry.second->camera();
        if (camera && camera->isOpen())
            devices.append(camera->getNimboDevice());
    }
    return static_cast<uint64_t>(devices.size());
}

template <class Predicate>
bool ContextManager::askDevice(const Nimbo::CDeviceInfo* info, Predicate predicate)
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    DeviceContext* context = findContext(info);
    Camera* camera = context ? context->camera() : nullptr;
    return camera && predicate(*context, *camera);
}

bool ContextManager::isDeviceOpen(const Nimbo::CDeviceInfo* info)
{
    return askDevice(info, [](DeviceContext&, Camera& camera) { return camera.isOpen(); });
}

bool ContextManager::isDeviceIdle(const Nimbo::CDeviceInfo* info)
{
    return askDevice(
        info, [](DeviceContext&, Camera& camera) { return camera.hasStreamGrabberChannel() && !camera.isGrabbing(); });
}

bool ContextManager::isDeviceGrabbing(const Nimbo::CDeviceInfo* info)
{
    return askDevice(info, [](DeviceContext&, Camera& camera) { return camera.isGrabbing(); });
}

bool ContextManager::isDeviceReadyToRecord(const Nimbo::CDeviceInfo* info)
{
    return askDevice(info, [](DeviceContext& context, Camera& camera) {
        return camera.hasStreamGrabberChannel() && !context.hasRecordingController();
    });
}

bool ContextManager::isDeviceRecording(const Nimbo::CDeviceInfo* info)
{
    return askDevice(info, [](DeviceContext& context, Camera& camera) {
        return camera.hasStreamGrabberChannel() && context.hasRecordingController();
    });
}

bool ContextManager::isDeviceFileAccessible(const Nimbo::CDeviceInfo* info)
{
    return askDevice(info,
                     [](DeviceContext&, Camera& camera) { return !camera.isGrabbing() && camera.hasFileAccess(); });
}

bool ContextManager::isDeviceOpenAndIdle(const Nimbo::CDeviceInfo* info)
{
    return askDevice(info, [](DeviceContext&, Camera& camera) { return camera.isOpen() && !camera.isGrabbing(); });
}

bool ContextManager::isDeviceReadyForOneShot(const Nimbo::CDeviceInfo* info)
{
    return askDevice(info, [](DeviceContext&, Camera& camera) {
        return camera.hasStreamGrabberChannel() && camera.isSingleFrameModeAvailable() && !camera.isGrabbing();
    });
}

void ContextManager::setShowFailedBuffers(bool show)
{
    m_showFailedBuffers = show;
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    for (auto& entry : m_contexts)
        if (entry.second->camera())
            entry.second->camera()->setShowFailedBuffers(show);
}

void ContextManager::shutDownContext(DeviceContext* context)
{
    if (!context)
        return;
    if (context->camera())
        emit notifyDeviceShutDown(context->camera());
    shutDownContextOnly(context);
}

void ContextManager::shutDownContextOnly(DeviceContext* context)
{
    {
        // The paused window goes with its context and must not be resumed later.
        std::unique_lock<std::recursive_mutex> lock(m_mutex);
        if (m_pausedWindow && m_pausedWindow == context->imageWindow())
            m_pausedWindow = nullptr;
    }
    context->shutDown();
}

void ContextManager::shutDown()
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    // A context writing out its recording handles events meanwhile, and one of them may remove a
    // context from the map (a camera unplugged): the contexts are taken from a list of their own.
    QVector<QPointer<DeviceContext>> contexts;
    for (auto& entry : m_contexts)
        contexts.append(entry.second);
    for (const QPointer<DeviceContext>& context : qAsConst(contexts)) {
        if (context)
            shutDownContext(context);
    }
}

void ContextManager::changeCurrentDevice(const Nimbo::CDeviceInfo* info)
{
    if (!info)
        return;
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    DeviceContext* context = nullptr;
    auto it = m_contexts.find(info->GetFullName());
    if (it == m_contexts.end()) {
        context = createDeviceContext(*info, m_mdiArea, this, m_usedBufferMemory, m_windowFactory);
        // The first tick that reaches the context sees it made, its decoupler included.
        connectToThrottleTick(context, &DeviceContext::onThrottleTimerTick);
        m_contexts.emplace(info->GetFullName(), context);
        context->enableThrottle(m_throttleEnabled);
        context->camera()->setShowFailedBuffers(m_showFailedBuffers);
    } else {
        context = it->second;
    }
    lock.unlock();
    changeDeviceContext(context);
}

void ContextManager::changeDeviceContext(DeviceContext* context)
{
    log4cpp::Category& log = enginelog::sequence();
    log.debug("ContextManager::changeDeviceContext: entering...");
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    if (context != m_currentContext || !context) {
        m_currentContext = context;
        if (context && context->imageWindow())
            context->imageWindow()->giveFocus();
        Camera* camera = context ? context->camera() : nullptr;
        lock.unlock();
        if (camera) {
            log.debug("ContextManager::changeDeviceContext: emit cameraChanged( m_pCurrentContext->camera())...");
            emit cameraChanged(camera);
        } else {
            log.debug("ContextManager::changeDeviceContext: emit cameraChanged(NULL)...");
            emit cameraChanged(nullptr);
        }
    }
    log.debug("ContextManager::changeDeviceContext: leaving...");
}

void ContextManager::changeCurrentTriggerPort(CRecordingOptions::ETriggerPort triggerPort)
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    m_triggerPort = triggerPort;
    if (m_currentContext)
        m_currentContext->triggerPortChanged(triggerPort);
}

void ContextManager::openDevice(const Nimbo::CDeviceInfo* info)
{
    DeviceContext* context = info ? findContext(info) : nullptr;
    if (!context || !context->camera())
        return;
    Camera* camera = context->camera();
    const QByteArray name = camera->isAttached() ? context->deviceName().toUtf8() : formatName(info);
    const QString fullName = deviceText(*info, info->GetFullName());
    // A request that arrives while the device is being opened (the creation handles events) is
    // refused; the open under way decides, and only its outcome is reported.
    const bool openUnderWay = context->isCreatingDevice();
    enginelog::write(enginelog::Base, enginelog::Progress, "Opening \"%s\".", name.constData());
    if (camera->isAttached()) {
        context->openCamera();
    } else if (!context->attachAndOpenDevice(info)) {
        if (openUnderWay)
            return;
        std::unique_lock<std::recursive_mutex> lock(m_mutex);
        // A scan dropped the device while it was being opened, and the open failed: it is gone, and
        // no later scan reports it again.
        if (m_droppedWhileOpening.erase(info->GetFullName()) > 0) {
            removeDeviceContext(context);
            lock.unlock();
            emit deviceOpenFailed(fullName);
            return;
        }
    } else {
        {
            std::unique_lock<std::recursive_mutex> lock(m_mutex);
            m_droppedWhileOpening.erase(info->GetFullName());
        }
        // The callback only posts: the manager's state belongs to the GUI thread.
        static const int registered = qRegisterMetaType<uintptr_t>("uintptr_t");
        (void)registered;
        QPointer<ContextManager> self(this);
        // The device's full name goes with the notice: by the time it is handled, the device may be
        // gone and its address taken by another one.
        const QString fullName = QString::fromUtf8(camera->getDeviceInfo().GetFullName().c_str());
        // The callback and the look below may both see the removal; it is posted once.
        auto posted = std::make_shared<std::atomic<bool>>(false);
        const auto postRemoval = [self, fullName, posted](Nimbo::INimboDevice* device) {
            if (self && !posted->exchange(true)) {
                ContextManager* manager = self.data();
                threadcheck::post(manager, [&] {
                    QMetaObject::invokeMethod(manager, "surpriseRemove", Qt::QueuedConnection,
                                              Q_ARG(uintptr_t, reinterpret_cast<uintptr_t>(device)),
                                              Q_ARG(QString, fullName));
                });
            }
        };
        context->registerRemovalCallback(postRemoval);
        // A camera unplugged after its open and before the callback was there told no one: it goes as
        // for any unplug, or its context would stay open on a removed device that no replug reopens.
        Nimbo::INimboDevice* device = camera->getNimboDevice();
        if (device && device->IsRemoved()) {
            enginelog::removeCamera().debug("ContextManager::openDevice: the device was removed while it was opened");
            postRemoval(device);
            return;
        }
        // Another device may have become current while this one was being made (the creation handles
        // events): the panel stays with the camera the commands go to.
        if (context == currentContext())
            emit cameraChanged(camera);
        context->announceNodemaps();
        grab::bestEffort("ContextManager::openDevice", nullptr,
                         [&] { CameraConfiguration::applyDefaultConfiguration(*camera); });
    }
    if (camera->isOpen()) {
        // The port chosen is what the camera does, whatever the configuration above or an earlier
        // session left in it.
        CRecordingOptions::ETriggerPort triggerPort;
        {
            std::lock_guard<std::recursive_mutex> lock(m_mutex);
            triggerPort = m_triggerPort;
        }
        context->applyTriggerPort(triggerPort);
        enginelog::write(enginelog::Base, enginelog::Progress, "\"%s\" has been opened.", name.constData());
    } else {
        emit deviceOpenFailed(fullName);
    }
}

void ContextManager::openActiveDevice()
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    try {
        Camera* camera = m_currentContext ? m_currentContext->camera() : nullptr;
        if (camera && !camera->isOpen()) {
            const Nimbo::CDeviceInfo info = camera->getDeviceInfo();
            openDevice(&info);
        }
    } catch (...) {
        enginelog::write(enginelog::Base, enginelog::Caught, "Exception caught in ContextManager::openActiveDevice().");
    }
}

void ContextManager::closeDevice(const Nimbo::CDeviceInfo* info)
{
    enginelog::sequence().debug("ContextManager::closeDevice: entering...");
    if (!info)
        return;
    const QByteArray name = formatName(info);
    enginelog::write(enginelog::Base, enginelog::Progress, "Closing \"%s\".", name.constData());
    DeviceContext* context = findContext(info);
    if (!context)
        return;
    if (context->isRecordingActive() || context->isRecordingPaused())
        context->stopRecording();
    context->closeCamera();
    if (Camera* camera = context->camera()) {
        context->deregisterCallbacks();
        camera->detachNimboDevice();
        emit cameraRemoved(camera);
    }
    shutDownContextOnly(context);
    removeDeviceContext(context);
    enginelog::write(enginelog::Base, enginelog::Progress, "\"%s\" has been closed.", name.constData());
}

void ContextManager::closeActiveDevice()
{
    Camera* camera = currentCamera();
    if (!camera)
        return;
    const Nimbo::CDeviceInfo info = camera->getDeviceInfo();
    closeDevice(&info);
}

void ContextManager::removeDevice(const Nimbo::CDeviceInfo* info, bool regularRemoval)
{
    (void)regularRemoval;
    enginelog::sequence().debug("ContextManager::removeDevice: entering...");
    if (info) {
        std::unique_lock<std::recursive_mutex> lock(m_mutex);
        auto it = m_contexts.find(info->GetFullName());
        // A scan that no longer lists a device being opened right now (its creation waits handling
        // events) must not pull its context away under the open; the open's outcome decides.
        if (it != m_contexts.end() && it->second->isCreatingDevice()) {
            enginelog::sequence().debug("ContextManager::removeDevice: the device is being opened; its context stays");
            m_droppedWhileOpening.insert(info->GetFullName());
        } else if (it != m_contexts.end())
            removeDeviceContext(it->second);
    }
    enginelog::sequence().debug("ContextManager::removeDevice: leaving...");
}

void ContextManager::removeDeviceContext(DeviceContext* context)
{
    enginelog::sequence().debug("ContextManager::removeDeviceContext: entering...");
    if (!context)
        return;
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    if (context == m_currentContext) {
        lock.unlock();
        changeDeviceContext(nullptr);
        lock.lock();
    }
    detachFromThrottle(context);
    shutDownContextOnly(context);
    enginelog::sequence().debug("ContextManager::changeDeviceContext: pContextToRemove->shutDown(); finished");
    for (auto it = m_contexts.begin(); it != m_contexts.end(); ++it) {
        if (it->second == context) {
            m_contexts.erase(it);
            break;
        }
    }
    context->deleteLater();
}

void ContextManager::surpriseRemove(uintptr_t Device)
{
    surpriseRemove(Device, QString());
}

void ContextManager::surpriseRemove(uintptr_t Device, QString removedName)
{
    // Posted by the SDK's removal callback, on an SDK thread.
    threadcheck::takeOver(this);
    log4cpp::Category& log = enginelog::removeCamera();
    log.debug("ContextManager::surpriseRemove: entering...");
    static const int registered = qRegisterMetaType<const Nimbo::CDeviceInfo*>("const Nimbo::CDeviceInfo*");
    (void)registered;
    auto* removed = reinterpret_cast<Nimbo::INimboDevice*>(Device);
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    DeviceContext* context = nullptr;
    for (auto& entry : m_contexts) {
        Camera* camera = entry.second->camera();
        // Both must match: the address alone may by now belong to another device.
        if (camera && camera->isAttached() && camera->getNimboDevice() == removed &&
            (removedName.isNull() || QString::fromUtf8(entry.first.c_str()) == removedName)) {
            context = entry.second;
            break;
        }
    }
    if (context) {
        Camera* camera = context->camera();
        const Nimbo::CDeviceInfo info = camera->getDeviceInfo();
        const QString fullName = deviceText(info, info.GetFullName());
        const QString friendlyName = deviceText(info, info.GetFriendlyName());
        emit notifyDeviceShutDown(camera);
        log.debug("ContextManager::surpriseRemove: emit cameraRemoved( it->second->camera()= %p)...",
                  static_cast<void*>(camera));
        emit cameraRemoved(camera);
        shutDownContextOnly(context);
        removeDeviceContext(context);
        removeDevice(&info, false);
        log.debug("ContextManager::surpriseRemove: emit surpriseRemoved(...) ...");
        lock.unlock();
        emit surpriseRemoved(fullName, friendlyName);
    }
    log.debug("ContextManager::surpriseRemove: leaving...");
}

#define FORWARD_TO_CURRENT(call)                                                                                       \
    do {                                                                                                               \
        std::unique_lock<std::recursive_mutex> lock(m_mutex);                                                          \
        if (m_currentContext)                                                                                          \
            m_currentContext->call;                                                                                    \
    } while (false)

void ContextManager::startOneShot()
{
    FORWARD_TO_CURRENT(startOneShot());
}

void ContextManager::startContinuousShot(bool speedTest)
{
    FORWARD_TO_CURRENT(startContinuousShot(speedTest));
}

void ContextManager::stopGrab()
{
    FORWARD_TO_CURRENT(stopGrab());
}

void ContextManager::startRecording(CRecordingOptions* pOptions)
{
    FORWARD_TO_CURRENT(startRecording(pOptions));
}

void ContextManager::pauseRecording()
{
    FORWARD_TO_CURRENT(pauseRecording());
}

void ContextManager::stopRecording()
{
    FORWARD_TO_CURRENT(stopRecording());
}

#undef FORWARD_TO_CURRENT

void ContextManager::stopAllGrabs()
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    for (auto& entry : m_contexts)
        entry.second->stopGrab();
}

void ContextManager::setActiveWindowProvider(std::function<IDeviceContextWindow*()> provider)
{
    m_activeWindowProvider = std::move(provider);
}

IDeviceContextWindow* ContextManager::activeImageWindow() const
{
    return m_activeWindowProvider ? m_activeWindowProvider() : nullptr;
}

bool ContextManager::canSaveImage()
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    IDeviceContextWindow* window = activeImageWindow();
    return window && window->hasImage();
}

#define ACTIVE_WINDOW_ANSWER(query)                                                                                    \
    bool ContextManager::query() const                                                                                 \
    {                                                                                                                  \
        IDeviceContextWindow* window = activeImageWindow();                                                            \
        return window && window->query();                                                                              \
    }

ACTIVE_WINDOW_ANSWER(canZoom100)
ACTIVE_WINDOW_ANSWER(canZoomIn)
ACTIVE_WINDOW_ANSWER(canZoomOut)
ACTIVE_WINDOW_ANSWER(canZoomToFit)
#undef ACTIVE_WINDOW_ANSWER

bool ContextManager::hasActiveImage() const
{
    IDeviceContextWindow* window = activeImageWindow();
    return window && window->hasImage();
}

void ContextManager::zoomIn()
{
    if (IDeviceContextWindow* window = activeImageWindow())
        window->zoomIn();
}

void ContextManager::zoomOut()
{
    if (IDeviceContextWindow* window = activeImageWindow())
        window->zoomOut();
}

void ContextManager::zoomToFit()
{
    if (IDeviceContextWindow* window = activeImageWindow())
        window->zoomToFit();
}

void ContextManager::zoom100()
{
    if (IDeviceContextWindow* window = activeImageWindow())
        window->zoom100();
}

void ContextManager::pauseUpdates()
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    if (m_pausedWindow) {
        m_pausedWindow->pauseUpdates(false);
        m_pausedWindow = nullptr;
    }
    if (IDeviceContextWindow* window = activeImageWindow()) {
        m_pausedWindow = window;
        window->pauseUpdates(true);
    } else {
        enginelog::sequence().debug("ContextManager::pauseUpdates() - there is no image window!");
    }
}

void ContextManager::unpauseUpdates()
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    if (m_pausedWindow) {
        m_pausedWindow->pauseUpdates(false);
        m_pausedWindow = nullptr;
    } else {
        enginelog::sequence().debug("ContextManager::unpauseUpdates() - there is no image window!");
    }
}

void ContextManager::saveCurrentContextImage(QString fileName)
{
    DeviceContext* context = currentContext();
    if (!context)
        return;
    if (!context->imageWindow()) {
        showWarningMessage("Warning", "Save Image", "Failed to save image because there is no image window", nullptr);
        return;
    }
    context->imageWindow()->saveImage(fileName);
}

void ContextManager::enableFpsThrottle(bool enable)
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    if (enable == m_throttleEnabled)
        return;
    if (enable) {
        if (!m_throttleTimer) {
            m_throttleTimer = new HiResTimer(this);
            connect(m_throttleTimer, &HiResTimer::timeout, this, &ContextManager::emitThrottleTick,
                    Qt::DirectConnection);
        }
        // A rate of 0 or below has no period: the start fails visibly in the log instead of
        // dividing by zero or turning a negative period into an endless one. A rate above 1000
        // ticks every millisecond, the finest period the timer has, instead of never.
        const double period = m_maxFps > 0 ? std::max(1.0, std::trunc(1000.0 / m_maxFps)) : 0.0;
        m_throttleInterval = static_cast<unsigned>(period);
        if (m_throttleInterval == 0 || !m_throttleTimer->start(m_throttleInterval, 0)) {
            enginelog::sequence().debug("Failed to start hires timer");
            m_throttleInterval = 0;
            // A throttle without ticks would hold every frame back: it stays off and the live
            // view runs unpaced.
            return;
        }
    } else {
        if (m_throttleTimer)
            m_throttleTimer->stop();
        m_throttleInterval = 0;
    }
    m_throttleEnabled = enable;
    lock.unlock();
    emit throttleTimerEnabled(enable);
}

bool ContextManager::isThrottleEnabled()
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    return m_throttleEnabled;
}

unsigned ContextManager::throttleInterval()
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    return m_throttleInterval;
}

bool ContextManager::optimizeCamera(const Nimbo::CDeviceInfo* pDeviceInfo)
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    DeviceContext* context = findContext(pDeviceInfo);
    if (!context || !context->camera())
        return false;
    const QByteArray name = context->deviceName().toUtf8();
    try {
        enginelog::write(enginelog::Base, enginelog::Progress, "Adjusting image quality on \"%s\".", name.constData());
        CameraConfiguration::adjustImageQuality(*context->camera());
        return true;
    } catch (...) {
        enginelog::write(enginelog::Base, enginelog::Failure, "Error while adjusting image quality on \"%s\".",
                         name.constData());
        return false;
    }
}

void ContextManager::onPerfTimer()
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    for (auto& entry : m_contexts) {
        DeviceContext* context = entry.second;
        IDeviceContextWindow* window = context->imageWindow();
        Camera* camera = context->camera();
        if (!window || !camera)
            continue;
        if (camera->getState() == Camera::GrabbingContinuous) {
            double fps = 0.0;
            uint64_t bytesPerSecond = 0;
            bool reset = false;
            camera->getPerfData(&fps, &bytesPerSecond, &reset);
            window->setPerfData(fps, bytesPerSecond, reset);
        } else {
            window->clearPerfData();
        }
        uint32_t images = 0;
        uint32_t errors = 0;
        camera->getCounterData(images, errors);
        window->updateImageCounter(images, errors);
    }
}

void ContextManager::onCameraStateChanged()
{
    emit cameraStateChanged();
}

QMainWindow* findMainWindow()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget* widget : widgets) {
        if (auto* window = qobject_cast<QMainWindow*>(widget))
            return window;
    }
    return nullptr;
}
