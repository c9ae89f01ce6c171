// Cameras that measure how much image data they send and how much arrives, the list that owns them
// and the node helpers the bandwidth manager shares.
#pragma once

#include "orbelt/Export.h"

#include <brasko/FpsStatistic.h>

#include <nimbo/InstantCamera.h>

#include <GenApi/GenApi.h>
#include <GenICam/GenICam.h>

#include <QDateTime>

#include <atomic>
#include <cstdint>
#include <vector>

// One snapshot of a measuring camera's counters, taken on the widget thread.
struct ORBELT_EXPORT SampleData {
    uint64_t images = 0;
    uint64_t errors = 0;
    double fpsReceived = -1.0; // -1 while the statistic has no result
    double fpsSent = 0.0;
    uint64_t bytesPerSecondReceived = 0;
    uint64_t bytesPerSecondSent = 0;
    bool deviceRemoved = false;
    bool grabError = false;
    QDateTime grabStartTime;
    int64_t linkThroughputLimit = -1; // -1 = not available
};

// Threads: the SDK's grab-loop thread delivers grab results (under GetLock()) and camera events; SDK
// threads report grab errors and removal; open, start and stop notices run on the widget thread, which
// also samples. The counters, the statistic, m_missedFrameLast, m_bandwidthSent and
// m_linkThroughputLimit are guarded by GetLock(); m_frameRateSent is written under it and read
// without it by the frame-rate notice. The notices never take GetLock() (the SDK gives them under its
// own handler lock, which a removal takes the other way round): they write the atomic flags, the
// counter-node binding and the grab start time, and readers tolerate a value that changes between two
// samples.
class ORBELT_EXPORT CBandwidthMeasuringCamera : private Nimbo::CImageEventHandler,
                                                private Nimbo::CConfigurationEventHandler,
                                                private Nimbo::CCameraEventHandler,
                                                public Nimbo::CInstantCamera {
public:
    CBandwidthMeasuringCamera();
    ~CBandwidthMeasuringCamera() override;

    SampleData sample();
    void startGrab();
    bool canStartGrab();
    // Fresh counters; misses the counter node already reports are not counted again.
    void reset();
    bool isMeasuringGrab() const { return m_grabbing; }
    void stopGrab();

protected:
    // Stops the grab and lets the device go while the most derived object is still whole, so that the
    // SDK's last notices reach the overrides rather than the handlers' empty defaults.
    void releaseDevice();

private:
    void OnImageGrabbed(Nimbo::CInstantCamera& camera, const Nimbo::CGrabResultPtr& grabResult) override;
    void OnGrabStart(Nimbo::CInstantCamera& camera) override;
    void OnGrabStarted(Nimbo::CInstantCamera& camera) override;
    void OnGrabStop(Nimbo::CInstantCamera& camera) override;
    void OnGrabError(Nimbo::CInstantCamera& camera, const char* errorMessage) override;
    void OnCameraDeviceRemoved(Nimbo::CInstantCamera& camera) override;
    void OnCameraEvent(Nimbo::CInstantCamera& camera, intptr_t userProvidedId, GenApi::INode* node) override;

    FpsStatistic m_fpsStatistic{50};
    bool m_grabbing = false;
    uint64_t m_imageCount = 0;
    uint64_t m_errorCount = 0;
    std::atomic<double> m_frameRateSent{0.0};
    uint64_t m_bandwidthSent = 0;
    std::atomic<bool> m_deviceRemoved{false};
    std::atomic<bool> m_grabError{false};
    std::atomic<bool> m_frameRateChanged{false};
    static constexpr qint64 NoGrabStart = INT64_MIN;
    std::atomic<qint64> m_grabStartMs{NoGrabStart}; // of the last grab start, since the epoch
    int64_t m_missedFrameLast = 0;
    std::atomic<GenApi::IInteger*> m_missedFrameNode{nullptr};
    std::atomic<bool> m_missedFrameRebound{false}; // bound afresh: its count starts from m_missedFrameBase
    std::atomic<int64_t> m_missedFrameBase{0};     // the counter's value when the grab started
    int64_t m_linkThroughputLimit = -1;
};

// Hardens the transport-layer link while open and puts the earlier settings back before closing.
// Threads: as the base; m_savedTlSettings is touched only by the open and close notices, which run on
// the widget thread.
class ORBELT_EXPORT CBandwidthMeasuringCameraGigE : public CBandwidthMeasuringCamera {
public:
    CBandwidthMeasuringCameraGigE() = default;
    ~CBandwidthMeasuringCameraGigE() override;

private:
    void OnOpened(Nimbo::CInstantCamera& camera) override;
    void OnClose(Nimbo::CInstantCamera& camera) override;

    GenICam::gcstring m_savedTlSettings;
};

// The measuring cameras of one bandwidth tree, in order of creation. Widget thread only.
struct ORBELT_EXPORT MeasuringCameraList {
    MeasuringCameraList() = default;
    ~MeasuringCameraList();
    MeasuringCameraList(const MeasuringCameraList&) = delete;
    MeasuringCameraList& operator=(const MeasuringCameraList&) = delete;

    int32_t measuring = 0;
    std::vector<CBandwidthMeasuringCamera*> cameras; // owned
};

// The camera owns the device it creates (context 1) and is appended open.
ORBELT_EXPORT CBandwidthMeasuringCamera* createMeasuringCamera(MeasuringCameraList& list,
                                                               const Nimbo::CDeviceInfo& info);
// The host keeps the device (context 0); removing the camera leaves the device open.
ORBELT_EXPORT CBandwidthMeasuringCamera* wrapPreopenedDevice(MeasuringCameraList& list, Nimbo::INimboDevice* device);
ORBELT_EXPORT CBandwidthMeasuringCamera* findMeasuringCamera(const MeasuringCameraList& list,
                                                             const Nimbo::CDeviceInfo& info);
ORBELT_EXPORT void removeMeasuringCamera(MeasuringCameraList& list, CBandwidthMeasuringCamera* camera);
ORBELT_EXPORT SampleData sample(CBandwidthMeasuringCamera& camera);
ORBELT_EXPORT void startGrab(CBandwidthMeasuringCamera& camera);
ORBELT_EXPORT bool canStartGrab(CBandwidthMeasuringCamera& camera);
ORBELT_EXPORT void startAll(MeasuringCameraList& list);
ORBELT_EXPORT void stopAll(MeasuringCameraList& list);
ORBELT_EXPORT void resetAll(MeasuringCameraList& list);
ORBELT_EXPORT void dropRemoved(MeasuringCameraList& list);

// Node helpers on the camera's node map; missing or unreadable nodes give the neutral value.
ORBELT_EXPORT double resultingFrameRate(Nimbo::CInstantCamera& camera);
ORBELT_EXPORT uint64_t bandwidthSent(Nimbo::CInstantCamera& camera);
ORBELT_EXPORT int64_t linkThroughputLimit(Nimbo::CInstantCamera& camera);

// How setIntegerNode treats a value off the node's range or grid.
enum SetIntegerMode {
    SetInteger_Exact = 0,     // refuse it
    SetInteger_RoundUp = 1,   // the next grid value
    SetInteger_RoundDown = 2, // the grid value below
    SetInteger_Nearest = 3,   // the nearest grid value, halves up
};
ORBELT_EXPORT bool setIntegerNode(GenApi::IInteger* node, int64_t value, int mode);
