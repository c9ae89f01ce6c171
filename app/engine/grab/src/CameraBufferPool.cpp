// The buffer pool of the grab engine (see Camera.h): sized and allocated for each grab, queued in the
// stream grabber, requeued or retired as buffers come home, and given back when a grab finishes.
#include "Camera.h"

#include "CameraTrace.h"
#include "GrabSupport.h"

#include <GenICam/CaughtException.h>
#include <lorvish/StreamBuffer.h>
#include <threadcheck/HandOff.h>

#include <algorithm>
#include <mutex>

namespace {

constexpr uint32_t kUnknownPixelType = 0xFFFFFFFFu;

} // namespace

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
    m_requeueFailure.clear();
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
                buffer = new Lorvish::StreamBuffer(
                    static_cast<unsigned>(m_bufferSize), static_cast<Nimbo::EPixelType>(m_pixelType),
                    static_cast<unsigned>(m_width), static_cast<unsigned>(m_height), m_generation, genApiMap);
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
        m_semNonQueuedBuffers.acquireAll();
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
    // A removed device's grabber takes nothing back. The grab goes on until the removal notice has
    // been handled, and every buffer coming home meanwhile (those the grabber cancelled at the unplug,
    // those the display and a recording let go of later) would fail the same way: once the removal
    // is known, none is offered, and a failure like the last one of this grab is not logged again.
    // Out of the grabber and held by nobody, the buffer is retired: kept, it would never be freed.
    if (m_device && m_device->isRemoved()) {
        retireBuffer(buffer, false);
        return;
    }
    buffersLog().debug("Camera::comeHome(): Requeue Buffer %p", buffer->handle());
    try {
        queueBuffer(buffer);
    } catch (...) {
        const std::string failure = GenICam::CaughtException::Current().What();
        if (failure != m_requeueFailure) {
            m_requeueFailure = failure;
            qWarning("Camera::comeHome: Failed to requeue the buffer: %s", failure.c_str());
        }
        retireBuffer(buffer, false);
    }
}

void Camera::retireBuffer(Lorvish::StreamBuffer* buffer, bool reusable)
{
    m_pool.erase(buffer);
    m_queued.erase(buffer);
    disconnect(buffer, nullptr, this, nullptr);
    const bool first = m_retired.empty();
    m_retired.emplace_back(buffer, reusable);
    if (first)
        threadcheck::post(this,
                          [this] { QMetaObject::invokeMethod(this, &Camera::purgeRetired, Qt::QueuedConnection); });
}

void Camera::purgeRetired()
{
    // Queued from whichever thread retired the first buffer.
    threadcheck::takeOver(this);
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

void Camera::finishGrab()
{
    if (getState() <= DeviceAttached)
        return;
    const int expected = static_cast<int>(numBuffers());
    // Bounded: a removed device or a failed cancel never returns its queued buffers.
    if (!m_semNonQueuedBuffers.tryAcquire(expected, m_bufferReturnTimeoutMs)) {
        qWarning("Camera::finishGrab(): %d of %d buffers did not come back from the stream grabber",
                 expected - m_semNonQueuedBuffers.available(), expected);
        m_semNonQueuedBuffers.acquireAll();
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
