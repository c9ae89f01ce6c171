// The colour event manager: makes the plug-in's colour features take effect in the camera.
#pragma once

#include "ColorMatrixAdapter.h"

#include <GenApi/GenApi.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Huvane {

// One per stream grabber. Hue, saturation and the light-source preset are carried out at once as the
// camera's colour matrix; brightness, contrast and contrast mode as its lookup table, filled and
// uploaded by a worker thread of the manager's own.
//
// Threads:
// - bind() and stop() run in the SDK thread that prepares and releases the grabber; they own the node
//   pointers, the node map pointer, the callback handles and the thread handle.
// - The colour and tone updates run in whichever thread changed a feature, under the node map's lock;
//   that lock guards the matrices, the preset-pending flag and where the base came from.
// - The worker thread owns the lookup table and the applied request.
// - m_mutex guards the requested tone values and pairs with m_wake; m_stop is atomic because the worker
//   reads it between upload chunks.
// - The acquisition state is guarded by the node map's lock: the callbacks on AcquisitionStart and
//   AcquisitionStop run inside it, and the worker ends an upload inside it, so that an upload restores
//   what the grab last asked for however it interleaves with the grab's own start and stop.
class CTavoEventManager {
public:
    CTavoEventManager();
    ~CTavoEventManager();
    CTavoEventManager(const CTavoEventManager&) = delete;
    CTavoEventManager& operator=(const CTavoEventManager&) = delete;

    // The grabber is prepared: looks the features up, registers the callbacks, carries the current
    // values out once and starts the worker. A node map without "PixelFormat" raises the GenICam
    // logical-error exception "NULL pointer dereferenced" and leaves the manager unbound. Binding an
    // already bound manager stops it first.
    void bind(GenApi::INodeMap* nodeMap);

    // The grabber is released: ends the worker, drops the callbacks and releases every node.
    void stop();

    bool isBound() const { return m_nodeMap != nullptr; }
    // Why the worker ended, or "Internal error." after stop; empty before.
    std::string errorText() const;

private:
    enum class Mode { Unset, Linear, SCurve };
    struct ToneRequest {
        double brightness;
        double contrast;
        Mode mode;
        bool operator==(const ToneRequest& o) const
        {
            return brightness == o.brightness && contrast == o.contrast && mode == o.mode;
        }
        bool operator!=(const ToneRequest& o) const { return !(*this == o); }
    };

    void onColourChanged(GenApi::INode* node);
    void onPresetChanged(GenApi::INode* node);
    void onToneChanged(GenApi::INode* node);
    void onAcquisitionStarted(GenApi::INode* node);
    void onAcquisitionStopped(GenApi::INode* node);
    void colourUpdate();
    void toneUpdate();
    bool canCapturePreset() const;
    void captureBaseMatrix();
    void takeCameraMatrix();
    void giveCameraMatrixBack();

    void workerMain();
    // False when the worker must end.
    bool apply(const ToneRequest& request);
    void upload(const ToneRequest& request);
    bool isSuperseded(const ToneRequest& request);
    // Executes AcquisitionStart or AcquisitionStop for the upload; the caller holds the node map's lock.
    void executeOwnCommand(const GenApi::CCommandPtr& command);
    void registerCallback(GenApi::INode* node, void (CTavoEventManager::*member)(GenApi::INode*));
    void deregisterCallbacks();
    void releaseNodes();
    void setErrorText(const std::string& text);

    // Worker thread and its wake-up.
    std::shared_ptr<std::thread> m_thread;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;

    CColorMatrixAdapter m_baseMatrix;    // the camera's matrix for its light-source preset
    CColorMatrixAdapter m_workingMatrix; // what is written to the camera

    GenApi::CFloatPtr m_hue;
    GenApi::CFloatPtr m_saturation;
    GenApi::CFloatPtr m_brightness;
    GenApi::CFloatPtr m_contrast;
    GenApi::CEnumerationPtr m_contrastMode;
    GenApi::CEnumerationPtr m_lightSourcePreset;
    GenApi::CBooleanPtr m_lutEnable;
    GenApi::CRegisterPtr m_lutValueAll;
    GenApi::CFloatPtr m_balanceRatio;
    GenApi::CEnumerationPtr m_balanceRatioSelector;
    GenApi::CPortPtr m_port;
    GenApi::CCommandPtr m_acquisitionStart;
    GenApi::CCommandPtr m_acquisitionStop;
    GenApi::INodeMap* m_nodeMap = nullptr;

    std::vector<uint32_t> m_lut;
    uint32_t m_lutStep = 1;
    uint32_t m_lutLargest = 255;

    std::vector<GenApi::CallbackHandleType> m_callbacks;
    std::string m_errorText; // guarded by m_mutex

    ToneRequest m_requested; // guarded by m_mutex
    ToneRequest m_applied;   // worker thread
    bool m_presetPending = false;
    // The base of this binding is settled (from the preset or from the camera's own matrix).
    bool m_baseSettled = false;
    // The base is the matrix the camera held when the binding began: the camera gets it back at stop,
    // unless someone else has set its matrix since the last write here.
    bool m_baseFromCamera = false;
    // What the camera held after the last write of the working matrix, when m_heldKnown.
    ColorMatrix m_held;
    bool m_heldKnown = false;

    // Guarded by the node map's lock. Bound at the grab's preparation, before the grab starts the
    // acquisition: until the grab asks for it, the camera is taken as stopped.
    bool m_acquisitionRequested = false; // what the grab (anyone but the upload) last asked for
    bool m_acquiring = false;            // what the camera was last told, by anyone
    bool m_ownCommand = false;           // the upload's own command is being executed
};

} // namespace Huvane
