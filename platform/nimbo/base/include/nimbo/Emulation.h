// Test control of the emulated cameras. Cameras are named by serial number.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Nimbo {
namespace Emulation {

// Replaces the set of cameras by the list (the NIMBO_EMULATION syntax: `;`-separated
// "usb|gige:ModelName[:Serial]"; empty = one USB colour camera; "none" = none). Existing devices keep
// their cameras, which count as unplugged. Returns false when an entry could not be used (the others
// still are).
bool Configure(const std::string& cameraList);
// Configure with the environment variable NIMBO_EMULATION.
bool ConfigureFromEnvironment();
std::vector<std::string> SerialNumbers();
std::vector<std::string> ModelNames();

// Each returns false when no camera has the serial number (or nothing changed).
bool Unplug(const std::string& serial);
bool Replug(const std::string& serial);
bool SetInUseElsewhere(const std::string& serial, bool inUse);
// The next `count` frames fail with the error code.
bool InjectFailedFrames(const std::string& serial, unsigned count, uint32_t errorCode = 0xE1000014u);
// An edge on "Line1" or "Line3"; a frame follows when the trigger source is that line.
bool FireLineEdge(const std::string& serial, const std::string& line, bool rising = true);
// Frames the camera has produced since it was configured (missed ones included).
uint64_t FramesProduced(const std::string& serial);
// The next `count` device enumerations of the transport layer of that device class ("VelmarUsb",
// "VelmarGigE") throw a GenICam RuntimeException once they have listed its emulated cameras, as one
// would that lost its real ones; 0 cancels. False for another device class. Configure drops what is
// left.
bool FailEnumerations(const std::string& deviceClass, unsigned count = 1);
// Waits until the SDK's event thread has delivered every notice posted so far.
void WaitForEvents();

} // namespace Emulation
} // namespace Nimbo
