// GigE transport tuning of the cameras on one network adapter: packet-size probing, staggered frame
// transmission delays and an even share of the adapter's bandwidth; and the trigger check.
#pragma once

#include "orbelt/BandwidthMeasuringCamera.h"
#include "orbelt/Export.h"

#include <QList>
#include <QString>

#include <functional>
#include <string>
#include <vector>

// What one adapter's run changed; per camera, and ORed over the adapter's cameras.
struct ORBELT_EXPORT SOptimizationResult {
    bool packetSizeChanged = false;
    bool frameTransmissionDelayChanged = false;
    bool interPacketDelayChanged = false;
    bool packetSizeAtMost1500 = false;
    bool interPacketDelayAtLimit = false;
    bool packetSizeSetTo1500 = false;
};

// The capacity of a GigE adapter in bytes per second (112.5 MB/s, MB of 1000000 bytes).
constexpr unsigned long long MaxBandwidthBps = 112500000ull;

// One camera row of an adapter as the bandwidth tree hands it over. Widget thread only.
struct ORBELT_EXPORT GigEOptimizationRow {
    bool checked = false;     // checked in column 0
    bool isCameraRow = false; // the row stands for a camera
    std::string deviceClass;
    CBandwidthMeasuringCamera* camera = nullptr; // null while the row is switched off
    // The row's camera as it is when the row's turn comes, which replaces `camera` then; empty: `camera`
    // stands. Receivers of what an earlier row's turn reports may have switched it off meanwhile.
    std::function<CBandwidthMeasuringCamera*()> currentCamera;
    // Switches the row on; null when that failed (the row shows and reports the failure itself).
    std::function<CBandwidthMeasuringCamera*()> enable;
    // Sets the row's inter-packet-delay limit editor to a share in MB/s; empty without such an editor.
    std::function<void(int64_t megabytesPerSecond)> setBandwidthShare;
};

// Tunes one camera: `share` in MB/s, `slot` its position in the adapter's run. `result` may be null.
ORBELT_EXPORT void optimizeGigECamera(GigEOptimizationRow& row, double share, unsigned int slot,
                                      SOptimizationResult* result);
// Tunes an adapter's cameras; with `onlySelected` only the checked ones, which then share the
// bandwidth alone. False when there was nothing to do (no checked camera with `onlySelected`).
ORBELT_EXPORT bool optimizeGigECameras(std::vector<GigEOptimizationRow>& rows, bool onlySelected,
                                       SOptimizationResult* adapterResult);

// Camera node helpers; missing nodes give -1 or false.
ORBELT_EXPORT int64_t frameTransmissionDelay(CBandwidthMeasuringCamera& camera);
ORBELT_EXPORT bool setFrameTransmissionDelay(CBandwidthMeasuringCamera& camera, int64_t value);
ORBELT_EXPORT bool setPacketSize(CBandwidthMeasuringCamera& camera, int64_t value);
// Runs the stream grabber's packet-size probe; true when the probe exists and ran.
ORBELT_EXPORT bool probePacketSize(CBandwidthMeasuringCamera& camera, int64_t* after, int64_t* before);

// Under the camera lock; the trigger selector reads as before afterwards.
ORBELT_EXPORT bool isAnyTriggerModeOn(CBandwidthMeasuringCamera& camera);
ORBELT_EXPORT bool hasSoftwareTrigger(CBandwidthMeasuringCamera& camera);
// Names the switched-on cameras that wait for a trigger, software ones apart; false when none does.
ORBELT_EXPORT bool checkTriggerState(const MeasuringCameraList& list, QList<QString>* softwareTriggered,
                                     QList<QString>* otherTriggered);
