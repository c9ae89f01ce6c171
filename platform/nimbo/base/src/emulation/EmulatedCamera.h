// One emulated camera: its register space, its image processing settings and the frame thread
// that paints frames into the buffers of the attached stream grabber at the configured rate.
#pragma once

#include "CameraModel.h"
#include "FramePainter.h"
#include "FrameSink.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Nimbo {
namespace emulation {

using Nimbo::PortStatus;

// Threads: the register space (m_values and friends) and the flags are guarded by m_mutex and used
// from any thread that reads or writes the camera's node map; the frame thread owns m_painter and
// the paint settings copy it builds; m_sink is set under m_mutex by the stream grabber's thread.
class EmulatedCamera : public std::enable_shared_from_this<EmulatedCamera> {
public:
    EmulatedCamera(std::shared_ptr<const CameraModel> model, std::string serial, int index);
    ~EmulatedCamera();
    EmulatedCamera(const EmulatedCamera&) = delete;
    EmulatedCamera& operator=(const EmulatedCamera&) = delete;

    const CameraModel& model() const { return *m_model; }
    const std::string& serial() const { return m_serial; }
    int index() const { return m_index; }

    PortStatus read(void* buffer, int64_t address, int64_t length);
    PortStatus write(const void* buffer, int64_t address, int64_t length);
    // Why the last write was rejected, for the exception text.
    std::string lastError() const;

    // Open and close by a device object of this process.
    bool isPlugged() const;
    bool isInUseElsewhere() const;
    bool isOpen() const;
    // False when unplugged, in use elsewhere or open already.
    bool tryOpen(std::string* why);
    void close();

    // Test control.
    void setInUseElsewhere(bool inUse);
    // Stops streaming; listeners run on an SDK thread. Returns false when already unplugged.
    bool unplug();
    bool replug();
    void injectFailedFrames(unsigned count, uint32_t errorCode);
    void fireLineEdge(const std::string& line, bool rising);
    uint64_t framesPainted() const { return m_framesPainted.load(); }

    // Set by the stream grabber between PrepareGrab and FinishGrab.
    void setParamsLocked(bool locked);
    // The stream grabber that receives frames; null detaches it.
    void setSink(std::shared_ptr<FrameSink> sink);
    // Detaches the sink only when it is still the attached one.
    void detachSink(const FrameSink* sink);
    // Called once per unplug, from the SDK's event thread.
    using RemovalListener = std::function<void()>;
    int addRemovalListener(RemovalListener listener);
    void removeRemovalListener(int id);

    // Values by feature name (selector-indexed features at the current selector entry).
    int64_t intValue(const std::string& name) const;
    // Sets an integer or Boolean as the camera itself does, read-only ones included.
    void setIntValue(const std::string& name, int64_t value);
    double floatValue(const std::string& name) const;
    size_t payloadSize() const;
    double resultingFrameRate() const;

private:
    void notifyRemoval();
    struct Trigger {
        int pending = 0;
    };
    std::string key(const FeatureDef& f) const;
    int64_t intLocked(const std::string& name) const;
    double floatLocked(const std::string& name) const;
    std::string enumLocked(const std::string& name) const;
    void setIntLocked(const std::string& name, int64_t value);
    void setFloatLocked(const std::string& name, double value);
    void setEnumLocked(const std::string& name, const std::string& symbolic);
    int64_t dynamicInt(const FeatureDef& f) const;
    int64_t maxOf(const FeatureDef& f) const;
    size_t payloadLocked() const;
    double frameRateLocked() const;
    bool writeLocked(const FeatureDef& f, const void* buffer, int64_t offset, int64_t length);
    void executeLocked(const std::string& command);
    void applyPresetLocked(const std::string& preset);
    void autoOnceLocked(bool fromFrameThread);
    enum class Action { None, Start, Stop };
    void startAcquisition();
    void stopAcquisition();
    void frameLoop();
    PaintSettings paintSettingsLocked() const;
    bool triggeredLocked() const;

    const std::shared_ptr<const CameraModel> m_model;
    const std::string m_serial;
    const int m_index;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<std::string, int64_t> m_ints;
    std::map<std::string, double> m_floats;
    std::map<std::string, std::string> m_strings;
    std::vector<uint8_t> m_lut; // LUTValueAll, 4096 little-endian 32-bit entries
    std::string m_lastError;
    bool m_plugged = true;
    bool m_inUseElsewhere = false;
    bool m_open = false;
    bool m_acquiring = false;
    bool m_stopFrames = false;
    int64_t m_framesLeft = 0; // single and multi frame: frames still to send; -1 continuous
    int m_triggers = 0;       // pending frame triggers
    bool m_awaitingTrigger = false; // the frame thread waits for a frame trigger
    unsigned m_failedToInject = 0;
    uint32_t m_injectedError = 0;
    uint64_t m_settingsGeneration = 1;
    uint64_t m_blockId = 0;
    std::shared_ptr<FrameSink> m_sink;
    std::thread m_frameThread;
    // Guarded by m_listenerMutex. Listeners run outside it (they call into the factory, which holds its
    // own lock while it adds one); removing a listener from another thread waits for its call to end.
    std::mutex m_listenerMutex;
    std::condition_variable m_listenerDone;
    std::map<int, RemovalListener> m_removalListeners;
    int m_nextListener = 1;
    int m_runningListener = 0; // 0: none
    std::thread::id m_listenerThread;
    // Serialises starting and joining the frame thread.
    std::mutex m_threadMutex;

    // Frame thread only.
    FramePainter m_painter;
    uint64_t m_paintedGeneration = 0;
    std::atomic<uint64_t> m_framesPainted{0};
};

} // namespace emulation
} // namespace Nimbo
