// The grab engine of one camera (see Camera.h).
#include "Camera.h"

#include "GrabSupport.h"
#include "NimboGrabDevice.h"

#include <brasko/Formatting.h>
#include <brasko/FpsStatistic.h>
#include <lorvish/StreamBuffer.h>
#include <lorvish/Trace.h>
#include <nimbo/Mivtrace.h>
#include <nimbo/ThreadPriority.h>
#include <os/System.h>

#include <QCoreApplication>
#include <QSettings>
#include <QThread>

#include <log4cpp/Category.hh>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr uint32_t kUnknownPixelType = 0xFFFFFFFFu;

log4cpp::Category& cameraLog()
{
    return *Lorvish::GetLazyTraceStructInstance_().camera;
}
log4cpp::Category& buffersLog()
{
    return *Lorvish::GetLazyTraceStructInstance_().cameraBuffers;
}
log4cpp::Category& sequenceLog()
{
    return *Lorvish::GetLazyTraceStructInstance_().sequence;
}

void sdkLog(unsigned level, const QString& text)
{
    static const Mivtrace::CatID category = Mivtrace::LogGetCatID("Tesvar.Base");
    Mivtrace::LogTrace(category, level, "%s", text.toUtf8().constData());
}

// The grab thread asks for the lowest real-time priority above the minimum; without the right to it
// the SDK refuses and the thread keeps its normal priority.
void raiseGrabThreadPriority()
{
    int minimum = 0;
    int maximum = 0;
    Nimbo::GetRTThreadPriorityCapabilities(minimum, maximum);
    Nimbo::SetRTThreadPriority(minimum < maximum ? minimum + 1 : minimum);
}

GenApi::INodeMap* genApiOf(grab::GrabNodeMap* map)
{
    return map ? map->genApiNodeMap() : nullptr;
}

} // namespace

// What the grab thread shares with its camera. The thread holds the loop for as long as it runs; the
// camera holds it until it lets go (a new start, detaching the device, destruction).
struct Camera::GrabLoop {
    // The grabber the thread waits on; it belongs to the camera's device (or to `device` below).
    grab::GrabStreamGrabber* grabber = nullptr;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> ended{false};
    // Guards camera. The thread holds it while it hands a result to the camera, the camera while it
    // lets go; taken before the camera's mutex, never after it.
    std::mutex gate;
    std::condition_variable endedChanged;
    Camera* camera = nullptr;
    // Set once a wait has sat out its whole bound: the thread is stuck, and later stops do not pay the
    // bound again.
    bool overran = false;
    // Left here by a camera that let go while the thread was still in the grabber: the device that
    // owns the grabber and the buffers still queued in it, given up once the thread has let go.
    grab::GrabDevice* device = nullptr;
    std::vector<Lorvish::StreamBuffer*> buffers;

    ~GrabLoop()
    {
        if (device)
            grab::bestEffort("Camera::GrabLoop", "Failed to destroy the device", [&] { device->release(); });
        for (Lorvish::StreamBuffer* buffer : buffers)
            delete buffer;
    }
};

namespace {
// The loop the calling thread runs, so that a stop from inside the loop does not wait for itself.
thread_local const void* t_runningLoop = nullptr;
} // namespace

Camera::Camera(const Nimbo::CDeviceInfo& info, QObject* parent, unsigned usedBufferMemory)
    : QObject(parent), m_deviceInfo(info), m_fpsStatistic(std::make_unique<FpsStatistic>(32)),
      m_usedBufferMemory(usedBufferMemory)
{
    QSettings settings;
    settings.beginGroup("Grab");
    m_minNumBuffersContinuousShot = settings.value("MinNumBuffersContinuousShot", 10).toInt();
    m_maxNumBuffersContinuousShot = settings.value("MaxNumBuffersContinuousShot", 450).toInt();
    settings.endGroup();
    connect(this, &Camera::stopRequest, this, &Camera::stopGrab, Qt::QueuedConnection);
}

Camera::~Camera()
{
    cameraLog().debug("~Camera()");
    // The subclass has closed the camera already (the feature calls are gone by now); a loop that is
    // still running is only told to end. One stuck in the SDK is left behind by detachDevice(), which
    // lets go of the loop even when no device is attached.
    endGrabLoop();
    waitForGrabThread();
    setState(m_device ? DeviceAttached : NoDevice);
    detachDevice();
    releasePool();
    QSettings settings;
    settings.beginGroup("Grab");
    settings.setValue("MinNumBuffersContinuousShot", m_minNumBuffersContinuousShot);
    settings.setValue("MaxNumBuffersContinuousShot", m_maxNumBuffersContinuousShot);
    settings.endGroup();
}

int Camera::computeBufferCount(int minBuffers, bool countFromMemory, uint64_t bufferSize, uint32_t usedBufferMemory,
                               int maxBuffers)
{
    int count = minBuffers;
    if (countFromMemory && bufferSize > 0) {
        const int q = static_cast<int>(static_cast<uint32_t>(uint64_t(usedBufferMemory) / bufferSize));
        if (q > count)
            count = q;
        if (q > maxBuffers)
            count = maxBuffers;
    }
    return count;
}

uint32_t Camera::getState() const
{
    return m_state.load();
}

bool Camera::isGrabbing() const
{
    const uint32_t state = getState();
    return state == GrabbingOneShot || state == GrabbingContinuous;
}

bool Camera::hasStreamGrabberChannel() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_device && m_device->streamGrabberCount() > 0;
}

grab::GrabDevice* Camera::getDevice() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_device;
}

QString Camera::getName() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_name;
}

Nimbo::CDeviceInfo Camera::getDeviceInfo() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_deviceInfo;
}

Nimbo::INimboDevice* Camera::getNimboDevice() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto* device = dynamic_cast<NimboGrabDevice*>(m_device);
    return device ? device->nimboDevice() : nullptr;
}

GenApi::INodeMap* Camera::getNodeMap() const
{
    return genApiOf(getFeatures());
}

GenApi::INodeMap* Camera::getTLNodeMap() const
{
    return genApiOf(getTLFeatures());
}

GenApi::INodeMap* Camera::getStreamGrabberNodeMap() const
{
    return genApiOf(getStreamGrabberFeatures());
}

grab::GrabNodeMap* Camera::getFeatures() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_state != NoDevice && m_device ? m_device->nodeMap() : nullptr;
}

grab::GrabNodeMap* Camera::getTLFeatures() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_state != NoDevice && m_device ? m_device->tlNodeMap() : nullptr;
}

grab::GrabNodeMap* Camera::getStreamGrabberFeatures() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_state != NoDevice && m_streamGrabber ? m_streamGrabber->nodeMap() : nullptr;
}

grab::GrabStreamGrabber* Camera::streamGrabber() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_streamGrabber;
}

uint32_t Camera::numBuffers() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_numBuffers;
}

uint32_t Camera::generation() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_generation;
}

uint64_t Camera::bufferSize() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_bufferSize;
}

size_t Camera::liveBufferCount() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_pool.size() + m_retired.size();
}

bool Camera::isSingleFrameModeAvailable() const
{
    grab::GrabNodeMap* nodeMap = getFeatures();
    if (!nodeMap || nodeMap->kind("AcquisitionMode") != grab::NodeKind::Enumeration)
        return false;
    try {
        return grab::isAvailableMode(nodeMap->enumEntryAccessMode("AcquisitionMode", "SingleFrame"));
    } catch (...) {
        return false;
    }
}

void Camera::setState(uint32_t state)
{
    m_state = state;
}

void Camera::takeStreamGrabber()
{
    if (!m_streamGrabber && m_device && m_device->streamGrabberCount() > 0)
        m_streamGrabber = m_device->streamGrabber(0);
}

void Camera::attachNimboDevice(Nimbo::INimboDevice* pCamera)
{
    attachDevice(pCamera ? new NimboGrabDevice(pCamera) : nullptr);
}

void Camera::attachDevice(grab::GrabDevice* pCamera)
{
    // Outside the mutex: letting go of a grab thread takes its gate, which comes first.
    if (getDevice())
        detachDevice();
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_device)
            detachDevice();
        m_device = pCamera;
        if (!pCamera)
            return;
        const bool alreadyOpen = pCamera->isOpen();
        setState(alreadyOpen ? Open : DeviceAttached);
        m_deviceInfo = pCamera->deviceInfo();
        m_name = formatDeviceName(&m_deviceInfo);
        if (alreadyOpen) {
            // A device opened elsewhere still needs its stream grabber and bound features.
            takeStreamGrabber();
            grab::bestEffort("Camera::attachDevice", "onOpen() failed", [&] { onOpen(); });
        }
    }
    emit cameraStateChanged();
}

void Camera::detachDevice()
{
    // A grab ends before its device goes.
    if (isGrabbing())
        grab::bestEffort("Camera::detachDevice", nullptr, [&] { stopGrab(); });
    // A grab thread still in the device's grabber keeps the device until it comes out.
    letGoOfGrabLoop();
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_device) {
            grab::GrabDevice* device = m_device;
            m_device = nullptr;
            m_streamGrabber = nullptr;
            grab::bestEffort("Camera::detachDevice", "Failed to destroy the device", [&] { device->release(); });
        }
        setState(NoDevice);
    }
    purgeRetired();
    dropSpares();
    emit cameraStateChanged();
}

void Camera::open()
{
    if (getState() >= Open)
        return;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        cameraLog().debug("open(): Device %s", m_deviceInfo.GetFriendlyName().c_str());
    }
    if (getState() == NoDevice)
        grab::throwLogicalError("Cannot open the camera object if no Nimbo device has been attached.");
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_device->open(grab::DeviceAccess_Control | grab::DeviceAccess_Stream);
        onOpen();
        setState(Open);
    }
    emit cameraStateChanged();
    emit cameraOpened();

    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    takeStreamGrabber();
    m_hasFileAccess = false;
    if (m_state != NoDevice && m_device && m_device->nodeMap()) {
        grab::GrabNodeMap* nodeMap = m_device->nodeMap();
        grab::bestEffort("Camera::open", nullptr, [&] {
            if (m_device->attachFileAccess() && nodeMap->kind("FileSelector") == grab::NodeKind::Enumeration &&
                nodeMap->accessMode("FileSelector") != grab::AccessMode::NI)
                m_hasFileAccess = true;
        });
    }
}

bool Camera::setEnumValSafe(grab::GrabNodeMap* nodeMap, const char* name, const char* value)
{
    if (!nodeMap)
        return false;
    try {
        if (nodeMap->kind(name) != grab::NodeKind::Enumeration) {
            cameraLog().debug("Can't find node '%s' to set value '%s'", name, value);
            return false;
        }
        nodeMap->setEnumValue(name, value);
        return true;
    } catch (...) {
        qWarning("Could not set %s to %s", name, value);
        grab::detail("Camera::setEnumValSafe");
        return false;
    }
}

bool Camera::prepareGrab(int minBuffers, bool countFromMemory, int acquisitionMode)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_state == NoDevice)
        return false;
    if (m_state == DeviceAttached) {
        open();
        if (m_state < Open) {
            sequenceLog().debug("Camera::prepareGrab() could not open camera. Can't prepare grab.");
            return false;
        }
    }
    if (!m_streamGrabber) {
        sequenceLog().debug("Camera::prepareGrab() no stream grabber available. Can't prepare grab.");
        return false;
    }
    if (!m_streamGrabber->isOpen()) {
        m_streamGrabber->open();
        if (!m_streamGrabber->isOpen()) {
            sequenceLog().debug("Camera::prepareGrab() could not open stremgrabber. Can't prepare grab.");
            return false;
        }
    }

    m_bufferSize = 0;
    if (grab::GrabNodeMap* sgNodeMap = m_streamGrabber->nodeMap()) {
        if (sgNodeMap->kind("PayloadSize") == grab::NodeKind::Integer &&
            grab::isReadable(sgNodeMap->accessMode("PayloadSize")))
            m_bufferSize = static_cast<uint64_t>(std::max<int64_t>(0, sgNodeMap->intValue("PayloadSize")));
    }
    m_bufferSize = std::max<uint64_t>(m_bufferSize, static_cast<uint32_t>(getPayloadSize()));

    ++m_generation;
    m_width = getWidth();
    m_height = getHeight();
    m_pixelType = getPixelType();
    if (m_width < 0 || m_height < 0 || m_pixelType == kUnknownPixelType)
        grab::throwRuntimeError("invalid image meta data. Can't allocate buffers.");

    grab::bestEffort("Camera::prepareGrab", "ComputeBufferSize failed:", [&] {
        m_bufferSize = std::max<uint64_t>(m_bufferSize, grab::computeBufferSize(m_pixelType, m_width, m_height));
    });
    if (m_bufferSize == 0)
        grab::throwRuntimeError("Bytes per frame (payloadsize) is zero. Can't allocate buffers.");
    // Buffer sizes travel as 32-bit values; a larger frame cannot be held.
    if (m_bufferSize > 0xFFFFFFFFull)
        grab::throwRuntimeError("Bytes per frame (payloadsize) too large. Can't allocate buffers.");

    if (acquisitionMode == 1 || acquisitionMode == 2) {
        grab::GrabNodeMap* nodeMap = m_state != NoDevice ? m_device->nodeMap() : nullptr;
        if (!setEnumValSafe(nodeMap, "AcquisitionMode", acquisitionMode == 1 ? "SingleFrame" : "Continuous"))
            cameraLog().debug("Could not set AcquisitionMode");
    }

    const int count = computeBufferCount(minBuffers, countFromMemory, m_bufferSize, m_usedBufferMemory,
                                         m_maxNumBuffersContinuousShot);
    if (count <= 0)
        grab::throwRuntimeError("No buffers to grab into. Can't allocate buffers.");

    std::vector<Lorvish::StreamBuffer*> created;
    try {
        m_semNonQueuedBuffers.release(count);
        m_numBuffers = static_cast<uint32_t>(count);
        onPrepareGrab(m_bufferSize, m_numBuffers);
        m_streamGrabber->prepareGrab();
        GenApi::INodeMap* genApiMap = m_device->nodeMap() ? m_device->nodeMap()->genApiNodeMap() : nullptr;
        created.reserve(count);
        for (int i = 0; i < count; ++i) {
            Lorvish::StreamBuffer* buffer = takeSpare(genApiMap);
            if (!buffer) {
                buffer = new Lorvish::StreamBuffer(static_cast<unsigned>(m_bufferSize),
                                                   static_cast<Nimbo::EPixelType>(m_pixelType),
                                                   static_cast<unsigned>(m_width), static_cast<unsigned>(m_height),
                                                   m_generation, genApiMap);
                m_clean.insert(buffer); // zeroed when made
            }
            created.push_back(buffer);
            m_pool.insert(buffer);
            buffer->setHandle(m_streamGrabber->registerBuffer(buffer->rawData(), m_bufferSize));
        }
        dropSpares(); // what this grab did not take
        for (Lorvish::StreamBuffer* buffer : created) {
            connect(buffer, &Lorvish::StreamBuffer::backToHome, this, &Camera::comeHome, Qt::DirectConnection);
            enqueueBuffer(buffer, m_clean.count(buffer) == 0);
        }
    } catch (...) {
        // Give back what this attempt registered and queued, so that a later grab starts clean.
        grab::bestEffort("Camera::prepareGrab", nullptr, [&] {
            m_streamGrabber->cancelGrab();
            grab::GrabResult result;
            while (m_streamGrabber->retrieveResult(result)) {
            }
            m_streamGrabber->finishGrab();
        });
        for (Lorvish::StreamBuffer* buffer : created) {
            m_pool.erase(buffer);
            m_queued.erase(buffer);
            m_clean.erase(buffer);
            delete buffer;
        }
        m_semNonQueuedBuffers.tryAcquire(m_semNonQueuedBuffers.available());
        throw;
    }
    return true;
}

void Camera::queueBuffer(Lorvish::StreamBuffer* buffer)
{
    enqueueBuffer(buffer, true);
}

void Camera::enqueueBuffer(Lorvish::StreamBuffer* buffer, bool zeroFill)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_state <= DeviceAttached || !m_streamGrabber)
        return;
    if (zeroFill) {
        buffer->memset(0);
        m_clean.insert(buffer);
    }
    m_streamGrabber->queueBuffer(buffer->handle(), buffer);
    m_queued.insert(buffer);
    if (!m_semNonQueuedBuffers.tryAcquire(1))
        qWarning("Camera::queueBuffer(): more buffers queued than the pool holds");
}

std::shared_ptr<Camera::GrabLoop> Camera::grabLoop() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_loop;
}

bool Camera::isGrabThreadRunning() const
{
    const std::shared_ptr<GrabLoop> loop = grabLoop();
    return loop && !loop->ended;
}

// True when no grab thread of this camera runs any more (or the caller is that thread).
bool Camera::waitForGrabThread()
{
    const std::shared_ptr<GrabLoop> loop = grabLoop();
    if (!loop || t_runningLoop == loop.get())
        return true;
    std::unique_lock<std::mutex> gate(loop->gate);
    if (loop->ended)
        return true;
    if (loop->overran)
        return false;
    // The loop looks at its stop flag at least every 100 ms; this bound only guards a wedged SDK.
    if (loop->endedChanged.wait_for(gate, std::chrono::milliseconds(m_grabThreadTimeoutMs),
                                    [&] { return loop->ended.load(); }))
        return true;
    loop->overran = true;
    qWarning("The grab thread of \"%s\" did not end in time", qPrintable(m_name));
    return false;
}

void Camera::endGrabLoop()
{
    // The loop would otherwise notice the flag only when its wait times out, which every stop and
    // every live-view restart would pay.
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_loop)
        m_loop->stopRequested = true;
    if (m_streamGrabber)
        m_streamGrabber->interruptWait();
}

void Camera::letGoOfGrabLoop()
{
    const std::shared_ptr<GrabLoop> loop = grabLoop();
    if (!loop)
        return;
    waitForGrabThread(); // a one-shot loop that stopped itself may still be ending
    std::lock_guard<std::mutex> gate(loop->gate);
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_loop == loop)
        m_loop.reset();
    loop->camera = nullptr;
    loop->stopRequested = true;
    if (loop->ended)
        return;
    // The thread is inside the device's grabber, and the grabber may still fill what is queued in it:
    // both stay alive until the thread lets go.
    loop->device = m_device;
    m_device = nullptr;
    m_streamGrabber = nullptr;
    for (Lorvish::StreamBuffer* buffer : m_queued) {
        disconnect(buffer, nullptr, this, nullptr);
        m_pool.erase(buffer);
        m_clean.erase(buffer);
        loop->buffers.push_back(buffer);
    }
    m_queued.clear();
    qWarning("The grab thread of \"%s\" is left to end on its own", qPrintable(m_name));
}

void Camera::startGrabThread()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto loop = std::make_shared<GrabLoop>();
    loop->camera = this;
    loop->grabber = m_streamGrabber;
    m_loop = loop;
    std::thread([loop] { runGrabLoop(loop); }).detach();
}

void Camera::startContinuousShot(bool speedtest)
{
    if (getState() != Open)
        return;
    cameraLog().debug("startContinuousShot()");
    sdkLog(Mivtrace::TraceLevel_Info, QString("Starting continuous shot on \"%1\".").arg(getName()));
    if (!resetForGrab())
        return;
    bool prepared = false;
    grab::warnAndRethrow("Camera::startContinuousShot", "Failed to allocate resources", [&] {
        setAcquisitionMode(1);
        prepared = prepareGrab(m_minNumBuffersContinuousShot, true, 2);
    });
    if (!prepared)
        return;
    m_speedTest = speedtest;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        setState(GrabbingContinuous);
    }
    startGrabThread();
    emit cameraStateChanged();
    grab::warnAndRethrow("Camera::startContinuousShot", "Failed to start the camera.",
                         [&] { executeAcquisitionStart(); });
    m_fpsStatistic->reset();
    sdkLog(Mivtrace::TraceLevel_Info, QString("Continuous shot on \"%1\" has been started.").arg(getName()));
}

void Camera::startOneShot()
{
    if (getState() != Open)
        return;
    cameraLog().debug("startOneShot()");
    if (!resetForGrab())
        return;
    sdkLog(Mivtrace::TraceLevel_Info, QString("Single shot on \"%1\" has been started.").arg(getName()));
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        bool prepared = false;
        grab::warnAndRethrow("Camera::startOneShot", "Failed to allocate resources", [&] {
            setAcquisitionMode(0);
            prepared = prepareGrab(1, false, 1);
        });
        if (!prepared)
            return;
        setState(GrabbingOneShot);
        startGrabThread();
    }
    emit cameraStateChanged();
    grab::warnAndRethrow("Camera::startOneShot", "Failed to start the camera", [&] { executeAcquisitionStart(); });
}

bool Camera::resetForGrab()
{
    // A one-shot loop that stopped itself may still be ending; one stuck in the SDK keeps the grabber.
    if (!waitForGrabThread()) {
        qWarning("Cannot start a grab on \"%s\" while its last grab thread is stuck", qPrintable(getName()));
        return false;
    }
    purgeRetired();
    m_imageCount = 0;
    m_errorCount = 0;
    return true;
}

// The grab thread's body. Waiting and retrieving touch only the grabber, which the loop's device
// keeps alive; a result is handed to the camera only under the gate, while the camera still holds on.
void Camera::runGrabLoop(const std::shared_ptr<GrabLoop>& loop)
{
    t_runningLoop = loop.get();
    os::comInitialize(os::ComApartment::MultiThreaded);
    os::PowerRequest keepAwake;
    keepAwake.keepAwake();
    Lorvish::GetLazyTraceStructInstance_().misc->debug("Setting thread execution state");
    grab::bestEffort("Camera::run", "Pushing Camera grab thread failed:", [] { raiseGrabThreadPriority(); });

    grab::GrabStreamGrabber* grabber = loop->grabber;
    for (;;) {
        bool ready = false;
        if (!grabber)
            QThread::msleep(100);
        else
            ready = grabber->waitForResult(100);
        if (ready && !loop->stopRequested) {
            grab::bestEffort("Camera::run", "StreamGrabber->RetrieveResult(result)  failed:", [&] {
                buffersLog().debug("going to retrieve result");
                grab::GrabResult result;
                if (grabber->retrieveResult(result)) {
                    std::lock_guard<std::mutex> gate(loop->gate);
                    if (loop->camera) {
                        std::lock_guard<std::recursive_mutex> lock(loop->camera->m_mutex);
                        loop->camera->handleResult(result);
                    }
                }
            });
        }
        if (loop->stopRequested)
            break;
    }

    os::comUninitialize();
    Lorvish::GetLazyTraceStructInstance_().misc->debug("Resetting thread execution state");
    keepAwake.release();
    {
        std::lock_guard<std::mutex> gate(loop->gate);
        loop->ended = true;
    }
    loop->endedChanged.notify_all();
    t_runningLoop = nullptr;
}

// Called in the grab thread with the mutex held.
void Camera::handleResult(const grab::GrabResult& result)
{
    m_fpsStatistic->addSample(static_cast<uint64_t>(std::max<int64_t>(result.payloadSize, 0)));
    m_semNonQueuedBuffers.release(1);
    buffersLog().debug("got result  m_semNonQueuedBuffers.available(): %d", m_semNonQueuedBuffers.available());

    auto* buffer = static_cast<Lorvish::StreamBuffer*>(result.context);
    if (buffer && m_pool.count(buffer) == 0)
        buffer = nullptr; // not one of ours: nothing to hand on or bring home
    if (buffer) {
        m_queued.erase(buffer);
        if (result.status == grab::GrabStatus::Grabbed || result.status == grab::GrabStatus::Failed)
            m_clean.erase(buffer);
        buffer->lock();
        buffer->setImageFormat(static_cast<Nimbo::EPixelType>(result.hasPixelType ? result.pixelType : m_pixelType));
        buffer->setImageWidth(static_cast<unsigned>(result.width >= 0 ? result.width : m_width));
        buffer->setImageHeight(static_cast<unsigned>(result.height >= 0 ? result.height : m_height));
        buffer->setPaddingX(static_cast<unsigned>(std::max<int64_t>(result.paddingX, 0)));
        if (m_speedTest)
            buffer->markAsTestBuffer();
        // A failed grab may still be shown, but never recorded.
        buffer->setComplete(result.status == grab::GrabStatus::Grabbed);
    }

    // The buffer's lock is given back even when a receiver throws.
    struct Unlocker {
        Lorvish::StreamBuffer* buffer;
        ~Unlocker()
        {
            if (buffer)
                buffer->unlock();
        }
    } unlocker{buffer};

    if (result.status == grab::GrabStatus::Grabbed) {
        ++m_imageCount;
        if (!m_pureGrab && buffer)
            emit bufferAvailable(buffer);
    } else if (result.status == grab::GrabStatus::Failed) {
        ++m_imageCount;
        ++m_errorCount;
        qDebug("Failed to grab image! result.Errorcode = %#x (%s)", result.errorCode, result.errorDescription.c_str());
        if (!m_pureGrab && m_showFailedBuffers && buffer)
            emit bufferAvailable(buffer);
        sdkLog(Mivtrace::TraceLevel_Warning, QString("Image acquisition on \"%1\" failed! Error: 0x%2 \"%3\"")
                                                 .arg(m_name)
                                                 .arg(result.errorCode, 0, 16)
                                                 .arg(QString::fromStdString(result.errorDescription)));
    }
    if (m_state == GrabbingOneShot)
        stopGrab();
}

void Camera::comeHome(Lorvish::StreamBuffer* buffer)
{
    if (!buffer)
        return;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    buffersLog().debug("Camera::comeHome()");
    if (m_pool.count(buffer) == 0)
        return;
    if (!isGrabbing() || buffer->generationCount() != m_generation) {
        cameraLog().debug("Camera::comeHome(): Deregister and delete buffer %p", buffer->handle());
        retireBuffer(buffer, true);
        return;
    }
    buffersLog().debug("Camera::comeHome(): Requeue Buffer %p", buffer->handle());
    // Out of the grabber and held by nobody: kept, it would never be freed.
    if (!grab::bestEffort("Camera::comeHome", "Failed to requeue the buffer", [&] { queueBuffer(buffer); }))
        retireBuffer(buffer, false);
}

void Camera::retireBuffer(Lorvish::StreamBuffer* buffer, bool reusable)
{
    m_pool.erase(buffer);
    m_queued.erase(buffer);
    disconnect(buffer, nullptr, this, nullptr);
    const bool first = m_retired.empty();
    m_retired.emplace_back(buffer, reusable);
    if (first)
        QMetaObject::invokeMethod(this, &Camera::purgeRetired, Qt::QueuedConnection);
}

void Camera::purgeRetired()
{
    std::vector<Lorvish::StreamBuffer*> doomed;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        // Buffers of the grab that just stopped wait for the next one; older ones, and those a
        // grabber gave up without returning (a device may still write into them), go.
        for (const auto& retired : m_retired) {
            Lorvish::StreamBuffer* buffer = retired.first;
            if (retired.second && !isGrabbing() && buffer->generationCount() == m_generation &&
                buffer->size() == m_bufferSize)
                m_spare.push_back(buffer);
            else
                doomed.push_back(buffer);
        }
        m_retired.clear();
    }
    destroyBuffers(doomed);
}

// Under the mutex, in the owner's thread while a grab is prepared: a spare made ready for the new
// grab (geometry and generation of its own), or null when none fits.
Lorvish::StreamBuffer* Camera::takeSpare(GenApi::INodeMap* nodeMap)
{
    while (!m_spare.empty()) {
        Lorvish::StreamBuffer* buffer = m_spare.back();
        m_spare.pop_back();
        if (buffer->size() != m_bufferSize || buffer->nodeMap() != nodeMap || buffer->lockCount() != 0) {
            destroyBuffers({buffer});
            continue;
        }
        buffer->setGenerationCount(m_generation);
        buffer->setImageFormat(static_cast<Nimbo::EPixelType>(m_pixelType));
        buffer->setImageWidth(static_cast<unsigned>(m_width));
        buffer->setImageHeight(static_cast<unsigned>(m_height));
        buffer->setPaddingX(0);
        buffer->setHasImage(true);
        buffer->setHandle(nullptr);
        return buffer;
    }
    return nullptr;
}

void Camera::dropSpares()
{
    std::vector<Lorvish::StreamBuffer*> spares;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        spares.swap(m_spare);
    }
    destroyBuffers(spares);
}

void Camera::destroyBuffers(const std::vector<Lorvish::StreamBuffer*>& buffers)
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        for (Lorvish::StreamBuffer* buffer : buffers)
            m_clean.erase(buffer);
    }
    for (Lorvish::StreamBuffer* buffer : buffers)
        delete buffer;
}

void Camera::releasePool()
{
    purgeRetired();
    dropSpares();
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    for (Lorvish::StreamBuffer* buffer : m_pool) {
        disconnect(buffer, nullptr, this, nullptr);
        if (m_queued.count(buffer)) {
            delete buffer; // the grabber has let go of it and nobody else holds it
        } else {
            // Still held downstream: it deletes itself once its last holder lets go.
            QObject::connect(buffer, &Lorvish::StreamBuffer::backToHome, buffer, &QObject::deleteLater);
        }
    }
    m_pool.clear();
    m_queued.clear();
    m_clean.clear();
}

void Camera::stopGrab()
{
    if (!isGrabbing())
        return;
    cameraLog().debug("stopGrab()");
    uint32_t oldState;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        oldState = m_state;
        if (!isGrabbing())
            return; // stopped by the other thread meanwhile
        if (oldState == GrabbingContinuous)
            sdkLog(Mivtrace::TraceLevel_Info, QString("Stopping continuous shot on \"%1\".").arg(m_name));
        grab::bestEffort("Camera::stopGrab", "Failed to stop the camera", [&] { executeAcquisitionStop(); });
        setState(Open);
        cameraLog().debug("Cancel grab");
        grab::bestEffort("Camera::stopGrab", "StreamGrabber->CancelGrab() failed", [&] {
            if (m_streamGrabber)
                m_streamGrabber->cancelGrab();
        });
    }
    emit cameraStateChanged();
    grab::bestEffort("Camera::stopGrab", "finsihGrab() failed", [&] { finishGrab(); });
    endGrabLoop();
    if (oldState == GrabbingContinuous) {
        sdkLog(Mivtrace::TraceLevel_Info,
               QString("Continuous shot on \"%1\" has been stopped. (%2)")
                   .arg(getName())
                   .arg(QString("Images: %1; Errors: %2").arg(m_imageCount.load()).arg(m_errorCount.load())));
        waitForGrabThread();
    }
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    closeStreamGrabber("Camera::stopGrab");
    m_fpsStatistic->reset();
    m_speedTest = false;
}

void Camera::finishGrab()
{
    if (getState() <= DeviceAttached)
        return;
    const int expected = static_cast<int>(numBuffers());
    // Bounded: a removed device or a failed cancel never returns its queued buffers.
    if (!m_semNonQueuedBuffers.tryAcquire(expected, m_bufferReturnTimeoutMs)) {
        qWarning("Camera::finishGrab(): %d of %d buffers did not come back from the stream grabber",
                 expected - m_semNonQueuedBuffers.available(), expected);
        m_semNonQueuedBuffers.tryAcquire(m_semNonQueuedBuffers.available());
    }
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    cameraLog().debug("m_pStreamGrabber->FinishGrab()");
    emit finishedGrab();
    std::vector<Lorvish::StreamBuffer*> abandoned(m_queued.begin(), m_queued.end());
    m_numBuffers = 0;
    if (m_streamGrabber)
        m_streamGrabber->finishGrab();
    // The grabber no longer holds the buffers it never returned; nobody else does either.
    for (Lorvish::StreamBuffer* buffer : abandoned)
        retireBuffer(buffer, false);
}

void Camera::close()
{
    if (getState() <= DeviceAttached) {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_streamGrabber = nullptr;
        return;
    }
    cameraLog().debug("close()");
    grab::bestEffort("Camera::close", "stopGrab() failed", [&] { stopGrab(); });
    grab::bestEffort("Camera::close", "onClose() failed", [&] { onClose(); });
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        setState(DeviceAttached);
    }
    emit cameraStateChanged();
    sequenceLog().debug("Camera::close() emit cameraClosed()");
    emit cameraClosed();
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    closeStreamGrabber("Camera::close");
    grab::bestEffort("Camera::close", "failed to close INimbo device", [&] {
        if (m_device)
            m_device->close();
    });
    m_streamGrabber = nullptr;
    dropSpares();
}

// Under the mutex.
void Camera::closeStreamGrabber(const char* function)
{
    grab::bestEffort(function, "failed to close stream grabber", [&] {
        if (m_streamGrabber && m_streamGrabber->isOpen())
            m_streamGrabber->close();
    });
}

void Camera::shutDown()
{
    cameraLog().debug("shutDown()");
    grab::bestEffort("Camera::shutDown", "Camera::shutDown() failed:", [&] { stopGrab(); });
    grab::bestEffort("Camera::shutDown", "Camera::close() failed:", [&] { close(); });
}

void Camera::getPerfData(double* pFramesPerSecond, uint64_t* pBytesPerSecond, bool* hasBeenReset)
{
    double fps = 0.0;
    unsigned long long bytes = 0;
    if (m_fpsStatistic->computeResult(&fps, &bytes)) {
        if (pFramesPerSecond)
            *pFramesPerSecond = fps;
        if (pBytesPerSecond)
            *pBytesPerSecond = bytes;
    } else if (pFramesPerSecond) {
        *pFramesPerSecond = -1.0;
    }
    if (hasBeenReset)
        *hasBeenReset = m_fpsStatistic->hasBeenReset();
}

void Camera::getCounterData(uint32_t& imageCounter, uint32_t& erroneousCounter)
{
    imageCounter = m_imageCount;
    erroneousCounter = m_errorCount;
}
