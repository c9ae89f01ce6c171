// The engine's front object: one device context per chosen device, commands, throttle and removal.
#pragma once

#include "DeviceContext.h"
#include "RecordingOptions.h"

#include <GenICam/gcstring.h>
#include <nimbo/DeviceInfo.h>

#include <QObject>
#include <QString>
#include <QVector>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>

class Camera;
class HiResTimer;
class QMainWindow;
class QMdiArea;
class QTimer;

namespace Nimbo {
class INimboDevice;
}

// Threads: all slots run on the GUI thread; m_mutex (recursive) guards the map, the current context
// and the settings values against each other's re-entrant calls. throttleTimerTick() is emitted in the
// throttle timer's thread and reaches the decoupler directly. The SDK's removal callback runs on an
// SDK thread and touches nothing but a queued post to surpriseRemove.
class ContextManager : public QObject {
    Q_OBJECT
public:
    ContextManager(QMdiArea* mdiArea, QObject* parent, DeviceContextWindowFactory windowFactory = {});
    ~ContextManager() override;

    Camera* currentCamera();
    DeviceContext* currentContext();
    DeviceContext* contextOf(const Nimbo::CDeviceInfo* info);
    IDeviceContextWindow* imageWindowOfCamera(Camera* camera);
    Camera* cameraOfImageWindow(IDeviceContextWindow* window);
    uint64_t grabbingDeviceCount();
    uint64_t openDeviceCount();
    uint64_t openDevices(QVector<Nimbo::INimboDevice*>& devices);

    bool isDeviceOpen(const Nimbo::CDeviceInfo* info = nullptr);
    bool isDeviceIdle(const Nimbo::CDeviceInfo* info = nullptr);
    bool isDeviceGrabbing(const Nimbo::CDeviceInfo* info = nullptr);
    bool isDeviceReadyToRecord(const Nimbo::CDeviceInfo* info = nullptr);
    bool isDeviceRecording(const Nimbo::CDeviceInfo* info = nullptr);
    bool isDeviceFileAccessible(const Nimbo::CDeviceInfo* info = nullptr);
    bool isDeviceOpenAndIdle(const Nimbo::CDeviceInfo* info = nullptr);
    bool isDeviceReadyForOneShot(const Nimbo::CDeviceInfo* info = nullptr);

    void setShowFailedBuffers(bool show);
    void shutDownContext(DeviceContext* context);

    // The program tells which image window is the active one (its MDI area's active sub-window);
    // without a provider there is none.
    void setActiveWindowProvider(std::function<IDeviceContextWindow*()> provider);
    IDeviceContextWindow* activeImageWindow() const;
    bool canSaveImage();
    bool hasActiveImage() const;
    bool canZoom100() const;
    bool canZoomIn() const;
    bool canZoomOut() const;
    bool canZoomToFit() const;
    void pauseUpdates();
    void unpauseUpdates();

    // Connects `slot` (of `context`) directly to the throttle tick, under the tick's lock: the first
    // tick that reaches it, in the timer's thread, sees everything this thread did before (Qt's own
    // connection lock is invisible to the thread checker).
    template <class Receiver, class Slot>
    QMetaObject::Connection connectToThrottleTick(const Receiver* context, Slot slot)
    {
        std::lock_guard<std::mutex> lock(m_throttleMutex);
        return connect(this, &ContextManager::throttleTimerTick, context, std::move(slot), Qt::DirectConnection);
    }

    bool isThrottleEnabled();
    int32_t maxFps() const { return m_maxFps; }
    // The throttle period in ms, 0 while none runs.
    unsigned throttleInterval();

signals:
    void deviceOpened(Nimbo::INimboDevice* device);
    void deviceClosed(Nimbo::INimboDevice* device);
    void cameraChanged(Camera* camera);
    void cameraStateChanged();
    void cameraRemoved(Camera* camera);
    void surpriseRemoved(QString fullName, QString friendlyName);
    void nodemapAvailable(Camera* camera, GenApi::INodeMap* nodeMap, QString displayName, QString roleName);
    void zoomChanged();
    void throttleTimerEnabled(bool enabled);
    void throttleTimerTick();
    void notifyDeviceShutDown(Camera* camera);
    void recordingStateChanged();
    // An open asked for did not leave the device open (the failure has been reported to the user);
    // the device manager lets the next scan try the device again.
    void deviceOpenFailed(QString fullName);

public slots:
    void shutDown();
    void changeCurrentDevice(const Nimbo::CDeviceInfo* info);
    // The port becomes the one every camera takes once opened (the open's default configuration lets
    // it run free); the current camera takes it at once. Without a camera it is only kept.
    void changeCurrentTriggerPort(CRecordingOptions::ETriggerPort triggerPort);
    void openDevice(const Nimbo::CDeviceInfo* info);
    void openActiveDevice();
    void closeDevice(const Nimbo::CDeviceInfo* info);
    void closeActiveDevice();
    void removeDevice(const Nimbo::CDeviceInfo* info, bool regularRemoval);
    void surpriseRemove(uintptr_t Device);
    // The removal notice as the SDK callback posts it: the device and the full name it had.
    void surpriseRemove(uintptr_t Device, QString removedName);
    void startOneShot();
    void startContinuousShot(bool speedTest = false);
    void stopGrab();
    void startRecording(CRecordingOptions* pOptions);
    void pauseRecording();
    void stopRecording();
    void stopAllGrabs();
    void zoomIn();
    void zoomOut();
    void zoomToFit();
    void zoom100();
    void saveCurrentContextImage(QString fileName);
    void enableFpsThrottle(bool enable);
    bool optimizeCamera(const Nimbo::CDeviceInfo* pDeviceInfo);
    void onPerfTimer();
    void onCameraStateChanged();
    void onPrepareGrab() {}
    void onFinishGrab() {}

private:
    void changeDeviceContext(DeviceContext* context);
    void removeDeviceContext(DeviceContext* context);
    void shutDownContextOnly(DeviceContext* context);
    void emitThrottleTick();
    void detachFromThrottle(DeviceContext* context);
    DeviceContext* findContext(const Nimbo::CDeviceInfo* info);
    // Under the mutex: false without a context and camera for the device, else what the predicate
    // (DeviceContext&, Camera&) answers.
    template <class Predicate>
    bool askDevice(const Nimbo::CDeviceInfo* info, Predicate predicate);

    DeviceContext* m_currentContext = nullptr;
    QMdiArea* m_mdiArea;
    IDeviceContextWindow* m_pausedWindow = nullptr;
    std::function<IDeviceContextWindow*()> m_activeWindowProvider;
    std::map<GenICam::gcstring, DeviceContext*> m_contexts;
    // Full names of devices a scan no longer listed while they were being opened: when such an open
    // fails, the context goes with the device.
    std::set<GenICam::gcstring> m_droppedWhileOpening;
    std::recursive_mutex m_mutex;
    // Held while a throttle tick is handed to the contexts (in the timer's thread) and while a context
    // is put on or taken off the tick (in the GUI thread), so no tick reaches a context being shut
    // down or deleted, and the first tick that reaches a context sees it whole.
    std::mutex m_throttleMutex;
    bool m_throttleEnabled = false;
    int32_t m_maxFps = 50;
    uint32_t m_timerRes = 0;
    HiResTimer* m_throttleTimer = nullptr;
    unsigned m_throttleInterval = 0;
    uint32_t m_usedBufferMemory = 0x800000;
    bool m_showFailedBuffers = true;
    CRecordingOptions::ETriggerPort m_triggerPort = CRecordingOptions::TriggerPortNone;
    QTimer* m_perfTimer = nullptr;
    DeviceContextWindowFactory m_windowFactory;
};

// The first of the application's top-level widgets, in their order, that is a main window; null when
// there is none (or no widget application).
QMainWindow* findMainWindow();
