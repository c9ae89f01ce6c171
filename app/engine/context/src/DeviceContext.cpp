// The device context: one camera with its display pipeline, image window and recording.
#include "DeviceContext.h"

#include "CameraConfiguration.h"
#include "Converter.h"
#include "CreateDeviceThread.h"
#include "Decoupler.h"
#include "EngineLog.h"
#include "GrabDevice.h"
#include "GrabSupport.h"
#include "MediaWriterFactory.h"
#include "RecordingController.h"
#include "RecordingFrameGate.h"
#include "SafeNodeAccess.h"
#include "StdFeatureListCamera.h"

#include <brasko/Formatting.h>
#include <brasko/MessageFunctions.h>
#include <GenICam/CaughtException.h>
#include <GenICam/GenericException.h>
#include <nimbo/PixelType.h>
#include <threadcheck/HandOff.h>
#include <nimbo/TlFactory.h>
#include <orbelt/Helpers.h>
#include <orbelt/NodeNotice.h>

#include <log4cpp/Category.hh>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QLocale>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include <chrono>
#include <cstdint>

Q_DECLARE_METATYPE(GenApi::INode*)

namespace {

// The camera's current pixel type, size from its features; Undefined while closed or unknown.
struct ImageFormat {
    Nimbo::EPixelType pixelType = Nimbo::PixelType_Undefined;
    uint32_t width = 0;
    uint32_t height = 0;
};

ImageFormat cameraImageFormat(Camera* camera)
{
    ImageFormat format;
    grab::GrabNodeMap* map = camera && camera->isOpen() ? camera->getFeatures() : nullptr;
    if (!map)
        return format;
    if (grab::isReadable(map, "PixelFormat"))
        format.pixelType = Nimbo::CPixelTypeMapper::GetNimboPixelTypeByName(map->enumValue("PixelFormat"));
    if (grab::isReadable(map, "Width"))
        format.width = static_cast<uint32_t>(std::max<int64_t>(map->intValue("Width"), 0));
    if (grab::isReadable(map, "Height"))
        format.height = static_cast<uint32_t>(std::max<int64_t>(map->intValue("Height"), 0));
    return format;
}

double resultingFrameRate(Camera* camera)
{
    grab::GrabNodeMap* map = camera->getFeatures();
    for (const char* name : {"ResultingFrameRate", "ResultingFrameRateAbs"}) {
        if (map && map->kind(name) == grab::NodeKind::Float && grab::isReadable(map, name))
            return map->floatValue(name);
    }
    return 25.0;
}

void setRootUserData(GenApi::INodeMap* map, intptr_t tag)
{
    if (GenApi::INode* root = map->GetNode("Root"))
        root->SetUserData(reinterpret_cast<void*>(tag));
}

} // namespace

DeviceContext::DeviceContext(QMdiArea* mdiArea, QObject* parent, DeviceContextWindowFactory windowFactory)
    : QObject(parent), m_mdiArea(mdiArea), m_recordingFrames(std::make_shared<CRecordingFrameGate>()),
      m_windowFactory(std::move(windowFactory))
{
    registerRecordingStateMetaType();
    if (!m_windowFactory)
        m_windowFactory = [](DeviceContext&, QMdiArea*) { return new NullDeviceContextWindow; };
}

DeviceContext::~DeviceContext()
{
    enginelog::sequence().debug("DeviceContext::~DeviceContext()");
    // A context deleted without shutDown() still leaves no thread, callback or recording behind; a
    // recording is written out without handling events, which would reach a context half destroyed.
    m_destroying = true;
    shutDown();
    delete m_converter;
}

bool DeviceContext::event(QEvent* event)
{
    // Shutting down writes out a recording while events are handled; a removal handled meanwhile may
    // ask for this context to be deleted. It goes once the shut-down that is running has ended.
    if (event->type() == QEvent::DeferredDelete && m_shuttingDown) {
        m_deleteAfterShutDown = true;
        return true;
    }
    return QObject::event(event);
}

void DeviceContext::init(Camera* camera)
{
    m_camera = camera;
    const Nimbo::CDeviceInfo info = camera->getDeviceInfo();
    m_deviceName = formatDeviceName(&info, {});
    const QString serial = QString::fromLatin1(info.GetSerialNumber().c_str());
    setObjectName("DC_" + serial);
    m_decoupler = new Decoupler(this, "Decoupler_" + serial);
    m_decoupler->start();
    // The extension plug-in the settings name (the Quennet plug-in when none is named and it is
    // installed) draws over every frame and brings its node map.
    OverlaySelection overlay;
    if (isExtensionPluginAvailable()) {
        overlay.pluginName = getExtensionPluginName();
        overlay.quennet = amIQuennet();
    }
    m_converter = new Converter(nullptr, overlay);
    connect(m_converter, &Converter::nodemapAvailable, this, &DeviceContext::onNodemapAvailable);
    connect(camera, &Camera::bufferAvailable, m_decoupler, &Decoupler::setBuffer, Qt::DirectConnection);
    connect(
        camera, &Camera::bufferAvailable, this,
        [gate = m_recordingFrames](Lorvish::StreamBuffer* buffer) { gate->deliver(buffer); }, Qt::DirectConnection);
    connect(m_decoupler, &Decoupler::bufferAvailable, m_converter, &Converter::setBuffer, Qt::DirectConnection);
    connect(camera, &Camera::cameraStateChanged, this, &DeviceContext::cameraStateChanged);
    connect(camera, &Camera::cameraOpened, this, &DeviceContext::onCameraOpened);
    connect(camera, &Camera::cameraClosed, this, &DeviceContext::onCameraClosed);
    if (QObject* manager = parent()) {
        connect(camera, SIGNAL(preparedGrab()), manager, SLOT(onPrepareGrab()));
        connect(camera, SIGNAL(finishedGrab()), manager, SLOT(onFinishGrab()));
    }
}

bool DeviceContext::hasRecordingController()
{
    std::lock_guard<std::recursive_mutex> lock(m_recordingMutex);
    return m_recordingController != nullptr;
}

bool DeviceContext::isRecordingActive()
{
    std::lock_guard<std::recursive_mutex> lock(m_recordingMutex);
    return m_recordingController && m_recordingController->state() == RecordingActive;
}

bool DeviceContext::isRecordingPaused()
{
    std::lock_guard<std::recursive_mutex> lock(m_recordingMutex);
    return m_recordingController && m_recordingController->state() == RecordingPaused;
}

QString DeviceContext::friendlyName() const
{
    if (!m_camera)
        return QString();
    const Nimbo::CDeviceInfo info = m_camera->getDeviceInfo();
    const std::string name = info.GetFriendlyName().c_str();
    return IsUtf8Device(&info) ? QString::fromUtf8(name.c_str()) : QString::fromLatin1(name.c_str());
}

Nimbo::INimboDevice* DeviceContext::createNimboDevice(const Nimbo::CDeviceInfo& deviceInfo)
{
    return CreateDeviceThread::createDevice(deviceInfo, "DeviceContext::createNimboDevice", &m_creationFailure);
}

void DeviceContext::registerRemovalCallback(Nimbo::DeviceRemovalCallback callback)
{
    Nimbo::INimboDevice* device = m_camera ? m_camera->getNimboDevice() : nullptr;
    if (!device)
        return;
    if (m_removalDevice)
        m_removalDevice->DeregisterRemovalCallback(m_removalCallback);
    m_removalDevice = device;
    m_removalCallback = device->RegisterRemovalCallback(std::move(callback));
}

bool DeviceContext::attachAndOpenDevice(const Nimbo::CDeviceInfo* pDeviceInfo)
{
    if (!m_camera || !pDeviceInfo)
        return false;
    // A request handled while an earlier one waits for the device (the creation handles events)
    // must not end the earlier one's "creating" as its own refused creation ends.
    const bool wasCreating = m_creatingDevice;
    try {
        m_creatingDevice = true;
        Nimbo::INimboDevice* device = createNimboDevice(*pDeviceInfo); // reports its own failures
        m_creatingDevice = wasCreating;
        if (device && m_shutDownWhileCreating) {
            // The context was shut down (the program closing) while the device was made: the device is
            // let go of rather than opened under an engine that has gone.
            enginelog::sequence().debug("DeviceContext::attachAndOpenDevice: shut down meanwhile; the device goes");
            Nimbo::CTlFactory::GetInstance().DestroyDevice(device);
            return false;
        }
        if (device) {
            m_camera->attachNimboDevice(device);
            if (openCamera())
                return true;
            m_camera->detachNimboDevice();
        }
    } catch (...) {
        m_creatingDevice = wasCreating;
        reportOpenFailure("DeviceContext::attachAndOpenDevice");
    }
    if (m_camera->isAttached()) {
        try {
            m_camera->detachNimboDevice();
        } catch (...) {
        }
    }
    return false;
}

bool DeviceContext::openCamera()
{
    if (!m_camera)
        return false;
    try {
        m_camera->open();
        m_openFailure.clear();
        return true;
    } catch (...) {
        reportOpenFailure("DeviceContext::openCamera");
    }
    return false;
}

void DeviceContext::reportOpenFailure(const char* where)
{
    const char* message = "Failed to open the camera.";
    if (!m_openFailure.toldAlready(where, message))
        reportCaughtException(where, message);
}

void DeviceContext::closeCamera()
{
    if (!m_camera)
        return;
    try {
        m_camera->close();
        if (m_window)
            m_window->closeWindow();
    } catch (...) {
        reportCaughtException("DeviceContext::closeCamera", "Failed to close the camera.");
    }
}

void DeviceContext::announceNodemaps()
{
    if (!m_camera) {
        qWarning("%s: Must not be called when no camera has been set", "DeviceContext::announceNodemaps");
        return;
    }
    if (GenApi::INodeMap* map = m_camera->getNodeMap()) {
        setRootUserData(map, 0);
        try {
            GenApi::INode* node = map->GetNode("WhiteBalancePickerEnable");
            if (node && node->GetAccessMode() > GenApi::NA && !m_whiteBalanceCallback) {
                static const int registered = qRegisterMetaType<GenApi::INode*>("GenApi::INode*");
                (void)registered;
                m_whiteBalanceEnableNode = node;
                m_whiteBalanceCallback = GenApi::Register(node, *this, &DeviceContext::onWhiteBalanceEnableNodeUpdate);
            }
        } catch (...) {
            qWarning("%s: Failed to inject the WhiteBalancePickerEnable boolean value into GenIcam node map.",
                     "DeviceContext::announceNodemaps");
            grab::detail("DeviceContext::announceNodemaps");
        }
        emit nodemapAvailable(m_camera, map, friendlyName(), "Camera");
    }
    if (GenApi::INodeMap* map = m_camera->getTLNodeMap()) {
        setRootUserData(map, 1);
        emit nodemapAvailable(m_camera, map, "Transport Layer", "TransportLayer");
    }
    if (GenApi::INodeMap* map = m_camera->getStreamGrabberNodeMap()) {
        setRootUserData(map, 2);
        emit nodemapAvailable(m_camera, map, "Stream Parameters", "StreamParameters");
    }
    m_converter->announceNodemaps();
}

void DeviceContext::onNodemapAvailable(GenApi::INodeMap* nodeMap, QString displayName, QString roleName)
{
    emit nodemapAvailable(m_camera, nodeMap, displayName, roleName);
}

void DeviceContext::onWhiteBalanceEnableNodeUpdate(GenApi::INode* node)
{
    if (node != m_whiteBalanceEnableNode)
        return;
    postNodeNotice(this, "onWhiteBalanceEnableNodeUpdateImpl", node);
}

void DeviceContext::onWhiteBalanceEnableNodeUpdateImpl(GenApi::INode* pWhiteBalanceEnable)
{
    // Posted by onWhiteBalanceEnableNodeUpdate when the node changed on another thread.
    threadcheck::takeOver(this);
    // A post may arrive after the callback went with the camera: only the remembered node is read.
    if (!m_window || !pWhiteBalanceEnable || pWhiteBalanceEnable != m_whiteBalanceEnableNode)
        return;
    try {
        GenApi::CBooleanPtr value(pWhiteBalanceEnable);
        if (value.IsValid())
            m_window->setWhiteBalancePickerEnabled(value->GetValue());
    } catch (...) {
        grab::detail("DeviceContext::onWhiteBalanceEnableNodeUpdateImpl");
    }
}

void DeviceContext::onWhiteBalanceAreaUpdated(QRect rect)
{
    if (!m_camera)
        return;
    try {
        CameraConfiguration::setWhiteBalanceArea(*m_camera, rect);
    } catch (...) {
        grab::detail("DeviceContext::onWhiteBalanceAreaUpdated");
    }
}

bool DeviceContext::ensureImageWindow()
{
    if (m_window)
        return true;
    m_window = m_windowFactory(*this, m_mdiArea);
    if (!m_window)
        return false;
    m_window->setDeviceName(friendlyName());
    IDeviceContextWindow* window = m_window;
    // Direct: the converter hands the image over in its own thread, the window passes it on.
    connect(
        m_converter, &Converter::imageAvailable, this,
        [this, window](const Lorvish::Image& image) {
            if (m_window == window)
                window->setImage(image);
        },
        Qt::DirectConnection);
    return true;
}

bool DeviceContext::prepareGrab(const char* source)
{
    if (!ensureImageWindow())
        return false;
    // An edit box still holding the keyboard focus (a camera setting being typed) lets go of it, so
    // that keys reach the window's actions again.
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        if (QWidget* focused = QApplication::focusWidget())
            focused->clearFocus();
    }
    if (m_window->isWindowHidden())
        m_window->showWindow();
    const ImageFormat format = cameraImageFormat(m_camera);
    if (!m_converter->isSupportedInputFormat(format.pixelType)) {
        showWarningMessage("Unsupported Pixel Format", "Start Grabbing",
                           "The current pixel format is not yet supported!", nullptr);
        return false;
    }
    (void)source;
    return true;
}

void DeviceContext::startContinuousShot(bool speedTest)
{
    if (!canStartGrab())
        return;
    try {
        if (prepareGrab("DeviceContext::startContinuousShot"))
            m_camera->startContinuousShot(speedTest);
    } catch (...) {
        reportCaughtException("DeviceContext::startContinuousShot", "Failed to start the image acquisition");
        stopFailedGrab();
    }
}

void DeviceContext::startOneShot()
{
    if (!canStartGrab())
        return;
    try {
        if (prepareGrab("DeviceContext::startOneShot"))
            m_camera->startOneShot();
    } catch (...) {
        reportCaughtException("DeviceContext::startOneShot", "Failed to start the image acquisition");
        stopFailedGrab();
    }
}

bool DeviceContext::canStartGrab() const
{
    // A camera that is not open (not yet, or its open failed) has nothing to show: no window is made
    // for it and no pixel format of a camera that reports none is called unsupported.
    return m_camera && !m_shuttingDown && m_camera->isOpen();
}

void DeviceContext::stopFailedGrab()
{
    // A camera that refused AcquisitionStart is already in its grabbing state with the grab thread
    // running and the buffers queued; it would count as grabbing without ever sending a frame.
    grab::bestEffort("DeviceContext::stopFailedGrab", "Failed to stop the image acquisistion", [this] {
        if (m_camera->isGrabbing())
            m_camera->stopGrab();
    });
}

void DeviceContext::stopGrab()
{
    try {
        {
            std::lock_guard<std::recursive_mutex> lock(m_recordingMutex);
            if (m_recordingController) {
                const ERecordingState state = m_recordingController->state();
                if (state == RecordingActive || state == RecordingPaused)
                    m_recordingController->stop();
            }
        }
        if (m_camera)
            m_camera->stopGrab();
    } catch (...) {
        reportCaughtException("DeviceContext::stopGrab", "Failed to stop the image acquisistion");
    }
}

void DeviceContext::imageWindowClosed()
{
    try {
        if (m_camera)
            m_camera->stopGrab();
    } catch (...) {
        reportCaughtException("DeviceContext::imageWindowClosed", "Failed to stop the image acquisistion");
    }
    // The frames already captured are written: the recording drains and ends as after a stop.
    std::lock_guard<std::recursive_mutex> lock(m_recordingMutex);
    if (m_recordingController)
        m_recordingController->stop();
}

void DeviceContext::enableThrottle(bool enable)
{
    if (m_decoupler)
        m_decoupler->enableThrottle(enable);
}

void DeviceContext::onThrottleTimerTick()
{
    if (m_decoupler)
        m_decoupler->throttleTimerTick();
}

void DeviceContext::startRecording(CRecordingOptions* options)
{
    // A command that was on its way when the shut-down began (an automatic start, say) finds the
    // camera going and starts nothing; a camera that is not open records nothing either.
    if (!options || !canStartGrab())
        return;
    enginelog::write(enginelog::Base, enginelog::Progress, "Start recording.");
    {
        // A second recording is refused before anything else changes, so it cannot start a grab
        // or touch the playback rate of the one in progress.
        std::lock_guard<std::recursive_mutex> lock(m_recordingMutex);
        if (m_recordingController) {
            showCriticalMessage("Recording Error", "DeviceContext::startRecording",
                                "Recording could not be started because another recording is already in progress.",
                                nullptr);
            return;
        }
    }
    if (!m_camera->isGrabbing()) {
        startContinuousShot(false);
        m_grabStartedByRecording = m_camera->isGrabbing();
    }
    if (m_camera->isGrabbing() && options->AutomaticFpsPlayback) {
        // The rate frames are recorded at, not the camera's: a recording that samples every 40 ms
        // plays at 25 frames per second whatever the camera delivers, and a time-lapse at the camera's.
        options->FpsPlaybackRate = options->recordedFrameRate(resultingFrameRate(m_camera));
        // The shortest form that reads back as the same number: six digits would log 333.333 for a
        // recording sampled every 3 ms.
        enginelog::write(
            enginelog::Base, enginelog::Progress, "Playback frame rate set to \"%s\".",
            QString::number(options->FpsPlaybackRate, 'g', QLocale::FloatingPointShortest).toUtf8().constData());
    }
    if (!m_camera->isGrabbing()) {
        // Nothing would ever reach the recording: the grab could not start and was reported.
        return;
    }
    if (m_camera->getState() != Camera::NoDevice && ensureImageWindow() && m_window->isWindowHidden())
        m_window->showWindow();

    std::lock_guard<std::recursive_mutex> lock(m_recordingMutex);
    const ImageFormat format = cameraImageFormat(m_camera);
    // The frames carry the type the camera reports for recording (a 16-bit format narrowed to its
    // real dynamic range, for one), which may differ from the PixelFormat node's entry.
    const uint32_t recordingType = m_camera->recordingPixelType();
    const Nimbo::EPixelType pixelType =
        recordingType == Camera::kUnknownPixelType ? format.pixelType : static_cast<Nimbo::EPixelType>(recordingType);
    CRecordingController* controller =
        m_recordingControllerFactory
            ? m_recordingControllerFactory(*options, pixelType, format.width, format.height)
            : createRecordingController(*options, createMediaWriter, pixelType, format.width, format.height, nullptr);
    if (!controller) {
        showCriticalMessage("Recording Error", "DeviceContext::startRecording",
                            "Recording could not be started because no media writer could be made for the options.",
                            nullptr);
        if (m_grabStartedByRecording) {
            m_grabStartedByRecording = false;
            stopGrab();
        }
        return;
    }
    m_recordingController = controller;
    const uint64_t recording = ++m_recordingNumber;
    m_recordingFrames->open(controller);
    // Queued: the controller reports from its own calls and threads; tearing it down from inside
    // one of its own emissions would delete it under its feet. The state goes to the window first,
    // then to this context's own signal, both on this context's thread.
    IDeviceContextWindow* window = m_window;
    connect(
        controller, &CRecordingController::stateChanged, this,
        [this, window](ERecordingState state) {
            threadcheck::post(this, [&] {
                QMetaObject::invokeMethod(
                    this,
                    [this, window, state] {
                        threadcheck::takeOver(this);
                        if (window && m_window == window)
                            window->recordingStateChanged(state);
                        recordingStateChanged(state);
                    },
                    Qt::QueuedConnection);
            });
        },
        Qt::DirectConnection);
    connect(controller, &CRecordingController::waitingForQueueEmptied, this,
            &DeviceContext::updateImageWindowRecordingStatus, Qt::QueuedConnection);
    // The failure of a recording that has ended meanwhile is still told, but aborts no later one (the
    // record key pressed again before the notice arrived).
    connect(
        controller, &CRecordingController::recordingFailure, this,
        [this, recording](QString errorMessage, QString addlInfo) {
            reportRecordingFailure(errorMessage, addlInfo, recording);
        },
        Qt::QueuedConnection);
    controller->start(friendlyName());
}

void DeviceContext::setRecordingControllerFactory(RecordingControllerFactory factory)
{
    m_recordingControllerFactory = std::move(factory);
}

void DeviceContext::stopRecording()
{
    enginelog::write(enginelog::Base, enginelog::Progress, "Stop recording.");
    std::lock_guard<std::recursive_mutex> lock(m_recordingMutex);
    if (m_recordingController)
        m_recordingController->stop();
}

void DeviceContext::pauseRecording()
{
    std::lock_guard<std::recursive_mutex> lock(m_recordingMutex);
    if (!m_recordingController)
        return;
    const ERecordingState state = m_recordingController->state();
    if (state == RecordingActive)
        m_recordingController->setPaused(true);
    else if (state == RecordingPaused)
        m_recordingController->setPaused(false);
}

void DeviceContext::destroyRecordingController()
{
    std::lock_guard<std::recursive_mutex> lock(m_recordingMutex);
    if (!m_recordingController)
        return;
    CRecordingController* controller = m_recordingController;
    m_recordingController = nullptr;
    // Once the gate is closed no frame is inside the controller and none can reach it.
    m_recordingFrames->close();
    // A file that cannot be finished is told from here, while this context and its window still
    // exist: queued, the notice would reach a context deleted meanwhile (its camera unplugged) or
    // come after the main window has closed. The recording is no longer the current one: nothing is
    // aborted.
    disconnect(controller, &CRecordingController::recordingFailure, this, nullptr);
    // The report may come from a writer thread that finish() is joining while this thread holds the
    // recording lock: it shows the message and takes no lock.
    connect(
        controller, &CRecordingController::recordingFailure, this,
        [](QString errorMessage, QString addlInfo) {
            showCriticalMessage("Recording Error", "DeviceContext::recordingFailure", errorMessage, addlInfo, nullptr);
        },
        Qt::DirectConnection);
    controller->finish();
    ::destroyRecordingController(controller);
}

void DeviceContext::recordingStateChanged(ERecordingState state)
{
    switch (state) {
    case RecordingActive:
        enginelog::write(enginelog::Base, enginelog::Progress, "Recording has been continued.");
        break;
    case RecordingPaused: enginelog::write(enginelog::Base, enginelog::Progress, "Recording has been paused."); break;
    case RecordingStopped: {
        bool stopped = false;
        {
            std::lock_guard<std::recursive_mutex> lock(m_recordingMutex);
            // A stale notice from a controller already torn down finds nothing to tear down, and the
            // notice of one that a shut-down is writing out leaves it to the shut-down.
            if (m_recordingController && !m_draining && m_recordingController->state() == RecordingStopped) {
                destroyRecordingController();
                stopped = true;
            }
        }
        if (stopped) {
            if (m_grabStartedByRecording) {
                stopGrab();
                m_grabStartedByRecording = false;
            }
            enginelog::write(enginelog::Base, enginelog::Progress, "Recording has been stopped.");
        }
        break;
    }
    default: break;
    }
    emit recordingStateChanged();
}

void DeviceContext::recordingFailure(QString errorMessage, QString addlInfo)
{
    reportRecordingFailure(errorMessage, addlInfo, m_recordingNumber);
}

void DeviceContext::reportRecordingFailure(const QString& errorMessage, const QString& addlInfo, uint64_t recording)
{
    showCriticalMessage("Recording Error", "DeviceContext::recordingFailure", errorMessage, addlInfo, nullptr);
    std::lock_guard<std::recursive_mutex> lock(m_recordingMutex);
    if (m_recordingController && recording == m_recordingNumber)
        m_recordingController->abort();
}

void DeviceContext::updateImageWindowRecordingStatus()
{
    RecordingStatusInfo status;
    {
        std::lock_guard<std::recursive_mutex> lock(m_recordingMutex);
        if (!m_recordingController)
            return;
        m_recordingController->updateStatusInfo();
        status = m_recordingController->statusInfo();
    }
    if (m_window)
        m_window->setRecordingStatus(status);
}

void DeviceContext::drainRecording()
{
    std::lock_guard<std::recursive_mutex> lock(m_recordingMutex);
    CRecordingController* controller = m_recordingController;
    const ERecordingState state = controller->state();
    if (state != RecordingActive && state != RecordingPaused && state != RecordingDraining)
        return;
    controller->stop();
    // The window goes on painting while the frames are written: events other than user input are
    // handled between short waits. What they may do to this context meanwhile is held off: the
    // controller's own stopped notice leaves the teardown to the caller, a second shut-down returns
    // at once, new grabs and recordings are refused and a deletion waits (see event()).
    QCoreApplication* application = QCoreApplication::instance();
    const bool handleEvents = !m_destroying && application && QThread::currentThread() == application->thread();
    const std::chrono::milliseconds step(handleEvents ? 20 : 100);
    struct Draining {
        bool& flag;
        explicit Draining(bool& f) : flag(f) { flag = true; }
        ~Draining() { flag = false; }
    } draining(m_draining);
    QElapsedTimer elapsed;
    elapsed.start();
    for (;;) {
        if (controller->waitUntilWritten(step)) {
            updateImageWindowRecordingStatus();
            return;
        }
        updateImageWindowRecordingStatus();
        if (elapsed.elapsed() >= m_drainTimeoutMs)
            break;
        if (handleEvents)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    controller->updateStatusInfo();
    const RecordingStatusInfo status = controller->statusInfo();
    enginelog::write(enginelog::Base, enginelog::Failure,
                     "The recording was ended before its buffer was written: %llu queued frames were not written.",
                     static_cast<unsigned long long>(status.bufferUsed));
}

void DeviceContext::triggerPortChanged(CRecordingOptions::ETriggerPort triggerPort)
{
    if (triggerPort != m_triggerPort)
        applyTriggerPort(triggerPort);
}

void DeviceContext::applyTriggerPort(CRecordingOptions::ETriggerPort triggerPort)
{
    if (!m_camera)
        return;
    try {
        const char* line = triggerPort == CRecordingOptions::TriggerPortOne   ? "Line3"
                           : triggerPort == CRecordingOptions::TriggerPortTwo ? "Line1"
                                                                              : nullptr;
        if (!line)
            CameraConfiguration::disableTrigger(*m_camera);
        else if (m_camera->isOpen() && !CameraConfiguration::enableTrigger(*m_camera, line))
            qWarning("DeviceContext::triggerPortChanged: the camera offers no frame-start trigger on \"%s\"; it "
                     "runs without trigger.",
                     line);
        m_triggerPort = triggerPort;
    } catch (...) {
        grab::detail("DeviceContext::triggerPortChanged");
    }
}

void DeviceContext::onCameraOpened()
{
    emit deviceOpened(m_camera ? m_camera->getNimboDevice() : nullptr);
}

void DeviceContext::onCameraClosed()
{
    enginelog::sequence().debug("DeviceContext::onCameraClosed(): entering...");
    Nimbo::INimboDevice* device = m_camera ? m_camera->getNimboDevice() : nullptr;
    enginelog::sequence().debug("DeviceContext::onCameraClosed(): emit deviceClosed (%p)...",
                                static_cast<void*>(device));
    emit deviceClosed(device);
    enginelog::sequence().debug("DeviceContext::onCameraClosed(): leaving...");
}

void DeviceContext::deregisterCallbacks()
{
    if (m_whiteBalanceCallback) {
        GenApi::Deregister(m_whiteBalanceCallback);
        m_whiteBalanceCallback = 0;
    }
    m_whiteBalanceEnableNode = nullptr;
    if (m_removalDevice) {
        m_removalDevice->DeregisterRemovalCallback(m_removalCallback);
        m_removalDevice = nullptr;
        m_removalCallback = 0;
    }
}

void DeviceContext::shutDown()
{
    log4cpp::Category& log = enginelog::removeCamera();
    log.debug("DeviceContext::shutDown(): entering...");
    // Reached again from an event handled while this shut-down writes out a recording (a removal of
    // the camera, the main window closing): the shut-down under way does it all.
    if (m_shuttingDown) {
        log.debug("DeviceContext::shutDown(): already shutting down; leaving...");
        return;
    }
    m_shuttingDown = true;
    if (m_creatingDevice)
        m_shutDownWhileCreating = true;
    auto step = [](auto&& action) {
        try {
            action();
        } catch (...) {
            grab::detail("DeviceContext::shutDown");
            qWarning("DeviceContext::shutDown failed.");
        }
    };
    // The node callback and the removal callback go before the device they hang on.
    step([this] {
        if (m_camera && m_camera->isAttached())
            deregisterCallbacks();
        else {
            m_whiteBalanceCallback = 0;
            m_whiteBalanceEnableNode = nullptr;
            m_removalDevice = nullptr;
        }
    });
    step([this] {
        if (m_camera)
            m_camera->shutDown();
    });
    step([this] {
        if (m_decoupler)
            m_decoupler->shutDown();
    });
    step([this] {
        if (m_converter)
            m_converter->shutDown();
    });
    step([this] {
        std::lock_guard<std::recursive_mutex> lock(m_recordingMutex);
        if (m_recordingController) {
            // The camera is stopped: the frames already captured are written before the file is
            // finished, within a bound, the recording status showing how many are left.
            drainRecording();
            m_recordingController->abort();
            // The controller's own threads are joined here; its queued notices find nothing left.
            destroyRecordingController();
        }
        m_grabStartedByRecording = false;
    });
    step([this] {
        if (m_window) {
            IDeviceContextWindow* window = m_window;
            m_window = nullptr;
            window->shutDownAndDispose();
        }
    });
    m_shuttingDown = false;
    if (m_deleteAfterShutDown && !m_destroying) {
        m_deleteAfterShutDown = false;
        deleteLater();
    }
    log.debug("DeviceContext::shutDown(): leaving...");
}

DeviceContext* createDeviceContext(const Nimbo::CDeviceInfo& deviceInfo, QMdiArea* mdiArea, QObject* contextManager,
                                   unsigned usedBufferMemory, DeviceContextWindowFactory windowFactory)
{
    auto* context = new DeviceContext(mdiArea, contextManager, std::move(windowFactory));
    auto* camera = new StdFeatureListCamera(deviceInfo, context, usedBufferMemory);
    context->init(camera);
    if (contextManager) {
        QObject::connect(context, SIGNAL(cameraStateChanged()), contextManager, SLOT(onCameraStateChanged()));
        QObject::connect(context, SIGNAL(nodemapAvailable(Camera*, GenApi::INodeMap*, QString, QString)),
                         contextManager, SIGNAL(nodemapAvailable(Camera*, GenApi::INodeMap*, QString, QString)));
        QObject::connect(context, SIGNAL(deviceOpened(Nimbo::INimboDevice*)), contextManager,
                         SIGNAL(deviceOpened(Nimbo::INimboDevice*)));
        QObject::connect(context, SIGNAL(deviceClosed(Nimbo::INimboDevice*)), contextManager,
                         SIGNAL(deviceClosed(Nimbo::INimboDevice*)));
        QObject::connect(context, SIGNAL(recordingStateChanged()), contextManager, SIGNAL(recordingStateChanged()));
        QObject::connect(contextManager, SIGNAL(throttleTimerEnabled(bool)), context, SLOT(enableThrottle(bool)));
    }
    return context;
}
