// The catalogue of emulated camera models: their features (one table that serves both the GenICam
// description and the camera's register space), sensor and identity.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Nimbo {
namespace emulation {

enum class FeatureKind { Integer, Float, Enumeration, Boolean, Command, String, Register, FloatOverRaw };

struct FeatureDef {
    std::string name;
    std::string category;
    FeatureKind kind = FeatureKind::Integer;
    int64_t address = 0;
    int64_t length = 8;
    std::string access = "RW"; // RO, WO or RW
    std::string visibility = "Beginner";
    std::string unit;
    std::string toolTip;
    int64_t min = 0, max = 0, inc = 1;                    // integers, enumerations (entry values)
    std::string pMax;                                     // integer: name of the feature that gives the maximum
    double fmin = 0, fmax = 0;                            // floats
    std::string raw;                                      // FloatOverRaw: the integer feature behind the float
    double factor = 1.0;                                  // FloatOverRaw: float = raw * factor
    std::vector<std::pair<std::string, int64_t>> entries; // enumerations
    std::vector<std::string> selected;                    // selectors: the features whose value depends on this one
    std::string selector;             // selected features: the selector their value is kept per entry of
    bool lockedWhileGrabbing = false; // locked while TLParamsLocked is 1
    int pollingTime = 0;              // ms; the value may change on the camera side
    // Features whose change makes the camera compute this one anew: the node map must read it again.
    std::vector<std::string> invalidators;
    // The camera changes the value by itself (auto functions, statistics, rates): never cached.
    bool volatileValue = false;
    // Initial value; for enumerations the symbolic name of the entry.
    int64_t defaultInt = 0;
    double defaultFloat = 0;
    std::string defaultString;

    int64_t entryValue(const std::string& symbolic, bool* found = nullptr) const;
    const std::string* entryName(int64_t value) const;
};

struct CameraModel {
    std::string modelName;
    std::string vendorName;
    std::string deviceClass; // "VelmarUsb" or "VelmarGigE"
    std::string transport;   // "usb" or "gige"
    int sfncMajor = 2, sfncMinor = 0, sfncSubMinor = 0;
    int sensorWidth = 0, sensorHeight = 0;
    bool colour = false;
    std::string deviceVersion, firmwareVersion;
    std::string productId; // USB product id, hexadecimal
    std::vector<FeatureDef> features;
    std::map<std::string, size_t> byName;
    std::map<int64_t, size_t> byAddress;

    const FeatureDef* find(const std::string& name) const;
    // The feature whose register span holds the address.
    const FeatureDef* findByAddress(int64_t address, int64_t length) const;
    // The camera's GenICam description.
    std::string description() const;
    // Names of the pixel formats the model offers, in entry order.
    std::vector<std::string> pixelFormats() const;
};

// The model of that name, null when the catalogue has none.
std::shared_ptr<const CameraModel> findModel(const std::string& modelName);
// The first model of the transport ("usb" or "gige"); the default USB model is the colour one.
std::shared_ptr<const CameraModel> defaultModel(const std::string& transport);
std::vector<std::string> modelNames();

// Transport-layer node map descriptions; their registers live in the device object. A heartbeat
// minimum above 0 is the smallest HeartbeatTimeout the camera's transport keeps it controlled with.
// `fixed` names the settings the camera's transport fixes itself, each with why: they are read-only,
// their tool tips saying why.
std::string transportLayerDescription(const std::string& deviceClass, int64_t heartbeatMinimum = 0,
                                      const std::map<std::string, std::string>& fixed = {});
// The stream grabber's description (buffer limits and statistics); `packets` adds the packet size,
// inter-packet delay and packet statistics of a packet transport; `fixed` as above.
std::string streamGrabberDescription(const std::string& deviceClass, bool packets = false,
                                     const std::map<std::string, std::string>& fixed = {});

// Addresses of the transport-layer and stream-grabber registers.
namespace tlreg {
constexpr int64_t HeartbeatTimeout = 0x10, WriteTimeout = 0x18, CommandDuplicationEnable = 0x20,
                  MaxRetryCountWrite = 0x28, ReadTimeout = 0x30, MaxTransferSize = 0x38;
}
namespace sgreg {
constexpr int64_t MaxBufferSize = 0x10, MaxNumBuffer = 0x18, TotalBufferCount = 0x20, FailedBufferCount = 0x28,
                  BufferUnderrunCount = 0x30, MissedFrameCount = 0x38, ProbePacketSize = 0x40, MaxTransferSize = 0x48,
                  NumMaxQueuedUrbs = 0x50, ResendPacketCount = 0x58, LostPacketCount = 0x60, PacketSize = 0x68,
                  InterPacketDelay = 0x70;
}
constexpr int64_t kMaxNumBuffer = 1024;

} // namespace emulation
} // namespace Nimbo
