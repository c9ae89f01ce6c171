// The grab engine of one camera (see Camera.h): device, state, starts and stops.
#include "Camera.h"

#include "CameraTrace.h"
#include "GrabSupport.h"
#include "NimboGrabDevice.h"

#include <brasko/Formatting.h>
#include <brasko/FpsStatistic.h>
#include <lorvish/StreamBuffer.h>

#include <QSettings>

#include <mutex>

namespace {

GenApi::INodeMap* genApiOf(grab::GrabNodeMap* map)
{
    return map ? map->genApiNodeMap() : nullptr;
}

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

void Camera::startContinuousShot(bool speedtest)
{
    if (getState() != Open)
        return;
    cameraLog().debug("startContinuousShot()");
    sdkLog(enginelog::Progress, QString("Starting continuous shot on \"%1\".").arg(getName()));
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
    sdkLog(enginelog::Progress, QString("Continuous shot on \"%1\" has been started.").arg(getName()));
}

void Camera::startOneShot()
{
    if (getState() != Open)
        return;
    cameraLog().debug("startOneShot()");
    if (!resetForGrab())
        return;
    sdkLog(enginelog::Progress, QString("Single shot on \"%1\" has been started.").arg(getName()));
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
            sdkLog(enginelog::Progress, QString("Stopping continuous shot on \"%1\".").arg(m_name));
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
        sdkLog(enginelog::Progress,
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
