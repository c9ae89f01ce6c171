// The grab thread of the grab engine (see Camera.h): its loop, which it shares with the camera, and the
// handling of each result it retrieves.
#include "Camera.h"

#include "CameraTrace.h"
#include "GrabSupport.h"

#include <brasko/FpsStatistic.h>
#include <lorvish/StreamBuffer.h>
#include <lorvish/Trace.h>
#include <nimbo/ThreadPriority.h>
#include <os/System.h>

#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// The grab thread asks for the lowest real-time priority above the minimum; without the right to it
// the SDK refuses and the thread keeps its normal priority.
void raiseGrabThreadPriority()
{
    int minimum = 0;
    int maximum = 0;
    Nimbo::GetRTThreadPriorityCapabilities(minimum, maximum);
    Nimbo::SetRTThreadPriority(minimum < maximum ? minimum + 1 : minimum);
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
        sdkLog(enginelog::Failure, QString("Image acquisition on \"%1\" failed! Error: 0x%2 \"%3\"")
                                       .arg(m_name)
                                       .arg(result.errorCode, 0, 16)
                                       .arg(QString::fromStdString(result.errorDescription)));
    }
    if (m_state == GrabbingOneShot)
        stopGrab();
}
