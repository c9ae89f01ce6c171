// The grab engine of one camera: device, stream grabber, buffer pool and grab thread.
#pragma once

#include "CountingSemaphore.h"
#include "GrabDevice.h"

#include <nimbo/DeviceInfo.h>

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace Lorvish {
class StreamBuffer;
}

namespace Nimbo {
class INimboDevice;
}

namespace GenApi {
class INodeMap;
}

class FpsStatistic;

// Abstract grab engine; the subclass supplies the feature access (StdFeatureListCamera).
//
// Threads: the owner's thread (GUI) runs open, the starts, stopGrab, close and shutDown; the grab thread
// runs the grab loop and, for one-shot grabs, stopGrab; comeHome runs in whichever thread releases a
// buffer last. m_mutex (recursive; a standard one, which the thread checker sees) guards m_state,
// m_device, m_streamGrabber, m_loop, m_pool, m_queued, m_retired, the grab geometry (m_bufferSize,
// m_width, m_height, m_pixelType, m_generation, m_numBuffers) and every call into the device and stream
// grabber except the grab loop's own waits and retrievals, which the grabber serialises itself.
// m_imageCount, m_errorCount, m_pureGrab, m_speedTest and m_showFailedBuffers are atomics read by the
// grab thread. The frame-rate meter and the count of buffers out of the grabber have their own locks.
// The settings members are the owner thread's.
//
// The grab thread is not the camera's own: it co-owns its loop (GrabLoop) with the camera and reaches
// the camera only through the loop's gate. A camera that has waited its bound for a thread stuck in an
// SDK call lets go of the loop and leaves the device (whose grabber the call is in) and the buffers
// still queued there in the loop's keeping; the thread hands them back to the SDK and frees them when
// the call returns. So neither closing nor destroying a camera waits without bound for the SDK.
class Camera : public QObject {
    Q_OBJECT
public:
    enum State : uint32_t { NoDevice = 0, DeviceAttached = 1, Open = 2, GrabbingOneShot = 3, GrabbingContinuous = 4 };

    Camera(const Nimbo::CDeviceInfo& info, QObject* parent, unsigned usedBufferMemory);
    ~Camera() override;

    // Pool size for one grab: max(minBuffers, memory / bufferSize) capped at maxBuffers when counted
    // from memory; minBuffers otherwise.
    static int computeBufferCount(int minBuffers, bool countFromMemory, uint64_t bufferSize, uint32_t usedBufferMemory,
                                  int maxBuffers);

    bool prepareGrab(int minBuffers, bool countFromMemory, int acquisitionMode);
    void finishGrab();
    void queueBuffer(Lorvish::StreamBuffer* buffer);
    static bool setEnumValSafe(grab::GrabNodeMap* nodeMap, const char* name, const char* value);

    uint32_t getState() const;
    bool isAttached() const { return getState() != NoDevice; }
    bool isDeviceAttachedNotOpen() const { return getState() == DeviceAttached; }
    bool isOpen() const { return getState() > DeviceAttached; }
    bool isGrabbing() const;
    bool hasStreamGrabberChannel() const;
    bool hasFileAccess() const { return m_hasFileAccess; }
    bool isSingleFrameModeAvailable() const;
    grab::GrabDevice* getDevice() const;
    QString getName() const;
    Nimbo::CDeviceInfo getDeviceInfo() const;

    // The SDK device behind the attached one; null when none or not an SDK device.
    Nimbo::INimboDevice* getNimboDevice() const;

    // The GenApi node maps, announced under the roles "Camera", "TransportLayer" and
    // "StreamParameters"; each null when no device is attached (the last also without a grabber).
    GenApi::INodeMap* getNodeMap() const;
    GenApi::INodeMap* getTLNodeMap() const;
    GenApi::INodeMap* getStreamGrabberNodeMap() const;
    // The same maps through the engine's named node access.
    grab::GrabNodeMap* getFeatures() const;
    grab::GrabNodeMap* getTLFeatures() const;
    grab::GrabNodeMap* getStreamGrabberFeatures() const;

    // The pixel type the camera reports for recording: its corrected type (a 16-bit format narrowed
    // to the dynamic range the sensor delivers), which the PixelFormat entry alone does not say;
    // kUnknownPixelType while closed or unknown.
    uint32_t recordingPixelType() { return getPixelType(); }
    static constexpr uint32_t kUnknownPixelType = 0xFFFFFFFFu;

    void setShowFailedBuffers(bool show) { m_showFailedBuffers = show; }
    // How long stopping waits for the stream grabber to return its buffers before giving them up.
    void setBufferReturnTimeout(int milliseconds) { m_bufferReturnTimeoutMs = milliseconds; }
    // How long stopping and destruction wait for the grab thread to end before leaving it behind.
    void setGrabThreadTimeout(int milliseconds) { m_grabThreadTimeoutMs = milliseconds; }
    // True from a start until the grab thread has left its loop (also while it is stuck in the SDK).
    bool isGrabThreadRunning() const;

    uint32_t numBuffers() const;
    uint32_t generation() const;
    uint64_t bufferSize() const;
    // Buffers of this camera that exist now (queued, handed on, or waiting to be deleted).
    size_t liveBufferCount() const;

signals:
    void bufferAvailable(Lorvish::StreamBuffer* buffer);
    void cameraStateChanged();
    void cameraOpened();
    void cameraClosed();
    void preparedGrab();
    void finishedGrab();
    void stopRequest();

public slots:
    void open();
    void close();
    void startOneShot();
    void startContinuousShot(bool speedtest);
    void startContinuousShot() { startContinuousShot(false); }
    void stopGrab();
    void shutDown();
    // Takes an SDK device made by the transport-layer factory; detaching hands it back there.
    void attachNimboDevice(Nimbo::INimboDevice* pCamera);
    void detachNimboDevice() { detachDevice(); }
    // Takes any device of the engine's device interface; detaching calls its release().
    void attachDevice(grab::GrabDevice* pCamera);
    void detachDevice();
    void comeHome(Lorvish::StreamBuffer* buffer);
    void setPureGrab(bool PureGrab) { m_pureGrab = PureGrab; }
    void getPerfData(double* pFramesPerSecond, uint64_t* pBytesPerSecond, bool* hasBeenReset);
    void getCounterData(uint32_t& imageCounter, uint32_t& erroneousCounter);

protected:
    virtual int getWidth() = 0;
    virtual int getHeight() = 0;
    virtual int getBytesPerPixel() = 0;
    virtual uint64_t getPayloadSize() = 0;
    virtual uint32_t getPixelType() = 0;
    virtual void executeAcquisitionStart() = 0;
    virtual void executeAcquisitionStop() = 0;
    virtual void onOpen() = 0;
    virtual void onClose() = 0;
    virtual void setAcquisitionMode(int mode) = 0;
    virtual void onPrepareGrab(uint64_t bufferSize, uint32_t numBuffers) = 0;

    grab::GrabStreamGrabber* streamGrabber() const;

private:
    struct GrabLoop;

    void setState(uint32_t state);
    void takeStreamGrabber();
    void startGrabThread();
    static void runGrabLoop(const std::shared_ptr<GrabLoop>& loop);
    std::shared_ptr<GrabLoop> grabLoop() const;
    bool waitForGrabThread();
    void endGrabLoop();
    void letGoOfGrabLoop();
    void enqueueBuffer(Lorvish::StreamBuffer* buffer, bool zeroFill);
    void releasePool();
    void retireBuffer(Lorvish::StreamBuffer* buffer, bool reusable);
    void purgeRetired();
    Lorvish::StreamBuffer* takeSpare(GenApi::INodeMap* nodeMap);
    void dropSpares();
    void destroyBuffers(const std::vector<Lorvish::StreamBuffer*>& buffers);
    bool resetForGrab();
    void closeStreamGrabber(const char* function);
    void handleResult(const grab::GrabResult& result);

    grab::GrabDevice* m_device = nullptr;
    Nimbo::CDeviceInfo m_deviceInfo;
    grab::GrabStreamGrabber* m_streamGrabber = nullptr;
    std::atomic<uint32_t> m_state{NoDevice};
    mutable std::recursive_mutex m_mutex;
    grab::CountingSemaphore m_semNonQueuedBuffers;
    // The loop of the last started grab thread; null before the first start and once let go of.
    std::shared_ptr<GrabLoop> m_loop;
    uint32_t m_generation = 0;
    uint64_t m_bufferSize = 0;
    int32_t m_width = 0;
    int32_t m_height = 0;
    uint32_t m_pixelType = 0xFFFFFFFFu;
    std::unique_ptr<FpsStatistic> m_fpsStatistic;
    std::atomic<bool> m_pureGrab{false};
    uint32_t m_usedBufferMemory;
    uint32_t m_numBuffers = 0;
    bool m_hasFileAccess = false;
    std::atomic<uint32_t> m_imageCount{0};
    std::atomic<uint32_t> m_errorCount{0};
    int32_t m_minNumBuffersContinuousShot = 10;
    int32_t m_maxNumBuffersContinuousShot = 450;
    std::atomic<bool> m_showFailedBuffers{true};
    std::atomic<bool> m_speedTest{false};
    QString m_name;

    // Every buffer this camera made and has not deleted; m_queued are those the grabber holds.
    std::set<Lorvish::StreamBuffer*> m_pool;
    std::set<Lorvish::StreamBuffer*> m_queued;
    // Buffers that came home for good, with whether they may serve again; dealt with later in the
    // owner's thread, never inside their own backToHome emission.
    std::vector<std::pair<Lorvish::StreamBuffer*, bool>> m_retired;
    // Buffers of the last grab, home and idle, kept for the next grab of the same buffer size: a
    // live-view restart then allocates and registers memory that is already mapped instead of a new
    // pool. Not counted as live; given up when the size changes, the device goes or the camera ends.
    std::vector<Lorvish::StreamBuffer*> m_spare;
    // Pool and spare buffers known to hold only zeros: made so, or cleared and since then filled by
    // no grab result (a cancelled buffer comes back untouched). Clearing them again would cost a
    // restart a write over every page of the pool.
    std::set<Lorvish::StreamBuffer*> m_clean;
    // The last failure to requeue a buffer in this grab, logged once however many buffers meet it.
    std::string m_requeueFailure;
    int m_bufferReturnTimeoutMs = 5000;
    int m_grabThreadTimeoutMs = 6000;
};
