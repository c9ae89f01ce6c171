// Camera configuration: the state a freshly opened camera is put in, one-shot image-quality
// adjustment, the white-balance area and the hardware trigger.
//
// All of them run in the GUI thread on the camera's device node map and go through the safe node
// access helpers, so a feature the camera lacks is skipped; a value the camera rejects throws.
#pragma once

#include <QRect>
#include <QString>

class Camera;

namespace CameraConfiguration {

// Full sensor, triggers and sequencer off, auto-function areas, white-balance preset, colour pixel
// format, gamma, auto limits and the operator's stored exposure, gain and colour values (settings
// group "Camera").
void applyDefaultConfiguration(Camera& camera);
// One-shot automatic gain, exposure (unless running continuously) and white balance.
void adjustImageQuality(Camera& camera);
// The white-balance area (auto-function area 2) from a picked rectangle, then a one-shot balance.
void setWhiteBalanceArea(Camera& camera, const QRect& rect);
void disableTrigger(Camera& camera);
// Frame-start trigger on the given input line ("Line3" for trigger port 1, "Line1" for port 2). False,
// with the trigger switched off, when the camera offers no frame-start trigger on that line.
bool enableTrigger(Camera& camera, const QString& line);

} // namespace CameraConfiguration
