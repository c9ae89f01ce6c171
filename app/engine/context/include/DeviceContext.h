// Everything the engine holds for one camera: grab engine, display pipeline, image window, recording.
#pragma once

#include "DeviceContextWindow.h"
#include "RecordingOptions.h"
#include "RecordingState.h"
#include "ToldFailure.h"

#include <GenApi/GenApi.h>
#include <nimbo/DeviceInfo.h>
#include <nimbo/NimboDevice.h>
#include <nimbo/PixelType.h>

#include <QObject>
#include <QRect>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class Camera;
class Converter;
class CRecordingController;
class CRecordingFrameGate;
class Decoupler;
class QMdiArea;
class DeviceContext;

namespace Lorvish {
class Image;
}

// Makes the image window of a context; the program plugs its own in, the engine defaults to the null window.
using DeviceContextWindowFactory = std::function<IDeviceContextWindow*(DeviceContext& context, QMdiArea* mdiArea)>;
// Makes the recording controller (with its writer and sampling controller) for a recording's options and
// the camera's frames; null when no writer fits. The default is createRecordingController.
using RecordingControllerFactory = std::function<CRecordingController*(
    const CRecordingOptions& options, Nimbo::EPixelType pixelType, uint32_t width, uint32_t height)>;

// Threads: the context lives on the GUI thread and all slots run there, except
// onThrottleTimerTick (the throttle timer's thread; it only touches the decoupler, which locks
// itself) and the white-balance node callback (whichever thread changed the node; it only re-posts).
// m_recordingController is guarded by m_recordingMutex against the recorder's callbacks; every
// other member belongs to the GUI thread. m_window->setImage is called in the decoupler's thread.
// The camera's frames reach the recording controller only through m_recordingFrames, on the grab
// thread; the teardown closes that gate before it finishes the controller.
// shutDown() handles events other than user input while it writes out a recording, so that the
// window keeps painting; what those events may ask of the context meanwhile (a second shut-down, a
// new grab or recording, its deletion, the controller's own stopped notice) waits or is refused.
class DeviceContext : public QObject {
    Q_OBJECT
public:
    DeviceContext(QMdiArea* mdiArea, QObject* parent, DeviceContextWindowFactory windowFactory = {});
    ~DeviceContext() override;
    bool event(QEvent* event) override;

    void init(Camera* camera);

    Camera* camera() const { return m_camera; }
    // The image window, null until the first grab.
    IDeviceContextWindow* imageWindow() const { return m_window; }
    Converter* converter() const { return m_converter; }
    Decoupler* decoupler() const { return m_decoupler; }
    QString deviceName() const { return m_deviceName; }
    bool hasRecordingController();
    bool isRecordingActive();
    bool isRecordingPaused();

    void startRecording(CRecordingOptions* options);
    // Replaces how recordings are made (tests give them writers of their own); empty restores the default.
    void setRecordingControllerFactory(RecordingControllerFactory factory);
    // How long closing the context (removal of the camera, the end of the program) waits for the
    // frames of a recording still queued to be written.
    void setDrainTimeout(int milliseconds) { m_drainTimeoutMs = milliseconds; }
    void stopRecording();
    void pauseRecording();

    // The SDK device for the device info, made on a worker thread; null on failure (reported).
    Nimbo::INimboDevice* createNimboDevice(const Nimbo::CDeviceInfo& deviceInfo);

    // The removal callback of the attached device; taken off again before the device goes.
    void registerRemovalCallback(Nimbo::DeviceRemovalCallback callback);
    // Takes the node and removal callbacks off the device; called before the device is detached.
    void deregisterCallbacks();

signals:
    void cameraStateChanged();
    void deviceOpened(Nimbo::INimboDevice* device);
    void deviceClosed(Nimbo::INimboDevice* device);
    void nodemapAvailable(Camera* camera, GenApi::INodeMap* nodeMap, QString displayName, QString roleName);
    void recordingStateChanged();

public slots:
    void shutDown();
    void startOneShot();
    void startContinuousShot(bool speedTest);
    void stopGrab();
    bool openCamera();
    bool attachAndOpenDevice(const Nimbo::CDeviceInfo* pDeviceInfo);
    // True while attachAndOpenDevice waits for the device to be made (events are handled meanwhile).
    bool isCreatingDevice() const { return m_creatingDevice; }
    void closeCamera();
    void enableThrottle(bool enable);
    void announceNodemaps();
    void onThrottleTimerTick();
    void imageWindowClosed();
    void updateImageWindowRecordingStatus();
    void recordingStateChanged(ERecordingState state);
    void recordingFailure(QString errorMessage, QString addlInfo);
    // Applies the port unless it is the one applied last.
    void triggerPortChanged(CRecordingOptions::ETriggerPort triggerPort);
    // Applies the port whatever was applied before (after an open the camera's own state counts).
    void applyTriggerPort(CRecordingOptions::ETriggerPort triggerPort);
    void onCameraOpened();
    void onCameraClosed();
    void onNodemapAvailable(GenApi::INodeMap* nodeMap, QString displayName, QString roleName);
    void onWhiteBalanceEnableNodeUpdateImpl(GenApi::INode* pWhiteBalanceEnable);
    void onWhiteBalanceAreaUpdated(QRect rect);

private:
    void onWhiteBalanceEnableNodeUpdate(GenApi::INode* node);
    // False while a grab cannot start: no camera, the camera not open, or the context shutting down.
    bool canStartGrab() const;
    bool ensureImageWindow();
    bool prepareGrab(const char* source);
    // Takes the camera out of a grab whose start failed half-way.
    void stopFailedGrab();
    QString friendlyName() const;
    void destroyRecordingController();
    // Tells the user that the camera could not be opened, once: the scans that try it again and fail
    // the same way (taken by another program each time) only log it, until it opens or fails
    // otherwise. Call only inside a catch block.
    void reportOpenFailure(const char* where);
    // Tells the user of a recording's failure and aborts that recording if it is still the current one.
    void reportRecordingFailure(const QString& errorMessage, const QString& addlInfo, uint64_t recording);
    // Stops the recording and waits, within the drain time-out, for its queued frames to be written,
    // refreshing the recording status and (on the GUI thread) handling events other than user input
    // meanwhile, so that the window keeps painting.
    void drainRecording();

    Camera* m_camera = nullptr;
    IDeviceContextWindow* m_window = nullptr;
    QMdiArea* m_mdiArea;
    Decoupler* m_decoupler = nullptr;
    Converter* m_converter = nullptr;
    GenApi::INode* m_whiteBalanceEnableNode = nullptr;
    GenApi::CallbackHandleType m_whiteBalanceCallback = 0;
    CRecordingController* m_recordingController = nullptr;
    // Counts the recording controllers made, so that a queued notice can tell whose it is.
    uint64_t m_recordingNumber = 0;
    // Shared with the camera's frame connection, which may outlive the context by one emission.
    std::shared_ptr<CRecordingFrameGate> m_recordingFrames;
    std::recursive_mutex m_recordingMutex;
    QString m_deviceName;
    bool m_grabStartedByRecording = false;
    int32_t m_triggerPort = CRecordingOptions::TriggerPortNone;
    DeviceContextWindowFactory m_windowFactory;
    RecordingControllerFactory m_recordingControllerFactory;
    Nimbo::INimboDevice* m_removalDevice = nullptr;
    Nimbo::DeviceCallbackHandle m_removalCallback = 0;
    int m_drainTimeoutMs = 30000;
    // The open failure last told the user, empty once the camera has opened.
    // The failures last told of making the device and of opening the camera.
    ToldFailure m_creationFailure;
    ToldFailure m_openFailure;
    bool m_creatingDevice = false;
    // shutDown() ran while the device was being made: the device made is not opened.
    bool m_shutDownWhileCreating = false;
    // A shut-down is running (it may handle events while it writes out a recording).
    bool m_shuttingDown = false;
    // The shut-down is writing out the recording controller's queue.
    bool m_draining = false;
    // A deletion asked for while shutting down, carried out when the shut-down has ended.
    bool m_deleteAfterShutDown = false;
    bool m_destroying = false;
};

// Makes a context with its camera and wires it to the context manager.
DeviceContext* createDeviceContext(const Nimbo::CDeviceInfo& deviceInfo, QMdiArea* mdiArea, QObject* contextManager,
                                   unsigned usedBufferMemory, DeviceContextWindowFactory windowFactory = {});
