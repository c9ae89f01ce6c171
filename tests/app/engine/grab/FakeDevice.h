// In-process devices for the grab engine's tests and benchmarks: a node map of plain values, a
// stream grabber fed by the test, and a device that holds both.
#pragma once

#include "GrabDevice.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace fake {

// One node of the fake map; only the fields of its kind matter.
struct Node {
    grab::NodeKind kind = grab::NodeKind::Integer;
    grab::AccessMode access = grab::AccessMode::RW;
    int64_t intValue = 0, intMin = 0, intMax = 0, intInc = 1;
    double floatValue = 0.0, floatMin = 0.0, floatMax = 0.0;
    std::vector<std::pair<std::string, grab::AccessMode>> entries;
    std::string text; // enumeration entry or string value
    bool boolValue = false;
    int executed = 0;
};

Node integer(int64_t value, int64_t min, int64_t max, int64_t inc = 1, grab::AccessMode access = grab::AccessMode::RW);
Node floating(double value, double min, double max, grab::AccessMode access = grab::AccessMode::RW);
Node enumeration(const std::string& current, std::vector<std::string> entries,
                 grab::AccessMode access = grab::AccessMode::RW);
Node boolean(bool value, grab::AccessMode access = grab::AccessMode::RW);
Node command(grab::AccessMode access = grab::AccessMode::RW);
Node string(const std::string& value, grab::AccessMode access = grab::AccessMode::RW);

// Values checked like a GenApi map: wrong kind or access throws AccessException, out of range throws
// OutOfRangeException. Every write is appended to writes() as "name=value". One mutex guards all.
class NodeMap : public grab::GrabNodeMap {
public:
    void add(const std::string& name, Node node);
    void remove(const std::string& name);
    Node& node(const std::string& name);
    std::vector<std::string> writes() const;
    void clearWrites();
    int invalidations() const { return m_invalidations; }

    grab::NodeKind kind(const std::string& name) const override;
    grab::AccessMode accessMode(const std::string& name) const override;
    int64_t intValue(const std::string& name) const override;
    int64_t intMin(const std::string& name) const override;
    int64_t intMax(const std::string& name) const override;
    int64_t intInc(const std::string& name) const override;
    void setIntValue(const std::string& name, int64_t value) override;
    double floatValue(const std::string& name) const override;
    double floatMin(const std::string& name) const override;
    double floatMax(const std::string& name) const override;
    void setFloatValue(const std::string& name, double value) override;
    std::string enumValue(const std::string& name) const override;
    void setEnumValue(const std::string& name, const std::string& entry) override;
    std::vector<std::string> enumEntries(const std::string& name) const override;
    grab::AccessMode enumEntryAccessMode(const std::string& name, const std::string& entry) const override;
    bool boolValue(const std::string& name) const override;
    void setBoolValue(const std::string& name, bool value) override;
    std::string stringValue(const std::string& name) const override;
    void setStringValue(const std::string& name, const std::string& value) override;
    void executeCommand(const std::string& name) override;
    void invalidateNodes() override;

private:
    const Node& readable(const std::string& name, grab::NodeKind kind) const;
    // One field of a readable node, copied under the mutex.
    template <class T>
    T read(const std::string& name, grab::NodeKind kind, T Node::*field) const
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        return readable(name, kind).*field;
    }
    Node& writable(const std::string& name, grab::NodeKind kind);
    void record(const std::string& name, const std::string& value);

    mutable std::recursive_mutex m_mutex;
    std::map<std::string, Node> m_nodes;
    std::vector<std::string> m_writes;
    int m_invalidations = 0;
};

// Where a held stream grabber keeps the grab thread, like an SDK call that does not return.
enum class Hold { None, Wait, Retrieve };

// A stream grabber that the test feeds: deliver() fills the oldest queued buffer, cancelGrab()
// returns every queued buffer as cancelled, unplug() makes it a removed device's grabber that returns
// nothing and fails to cancel. Thread-safe.
class StreamGrabber : public grab::GrabStreamGrabber {
public:
    void open() override;
    void close() override;
    bool isOpen() const override;
    grab::GrabNodeMap* nodeMap() override { return &m_nodeMap; }
    void prepareGrab() override;
    void* registerBuffer(void* data, size_t size) override;
    void queueBuffer(void* handle, void* context) override;
    bool waitForResult(int timeoutMs) override;
    bool retrieveResult(grab::GrabResult& result) override;
    void cancelGrab() override;
    void interruptWait() override;
    void finishGrab() override;

    // Fills the oldest queued buffer with the value and hands it out with the status; false when
    // none is queued.
    bool deliver(grab::GrabStatus status = grab::GrabStatus::Grabbed, uint8_t value = 0x5A);
    // Waits until a buffer is queued, then delivers it; false after the time-out.
    bool deliverWhenQueued(grab::GrabStatus status = grab::GrabStatus::Grabbed,
                           std::chrono::milliseconds timeout = std::chrono::seconds(5));
    void unplug();
    bool isUnplugged() const;
    // From now on the calls of that kind block, deaf to interruptWait() and time-outs, until
    // releaseHold(); holding() says how many are blocked right now.
    void hold(Hold where);
    void releaseHold();
    int holding() const;
    // The registration with this ordinal (1-based) throws; 0 means none.
    void failRegistrationNumber(int number);

    size_t queuedCount() const;
    // True when every queued buffer holds only zero bytes.
    bool queuedBuffersAreZero() const;
    size_t registeredCount() const;
    int finishCount() const;
    int prepareCount() const;
    // Time the newest result was made ready, for latency measurements.
    std::chrono::steady_clock::time_point lastDelivery() const;

    fake::NodeMap& params() { return m_nodeMap; }

private:
    void sitOutHold(std::unique_lock<std::mutex>& lock, Hold where);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
    bool m_removed = false;
    std::map<void*, std::pair<void*, size_t>> m_registered; // handle -> data, size
    std::deque<std::pair<void*, void*>> m_queued;           // handle, context
    std::deque<grab::GrabResult> m_results;
    int m_nextHandle = 1;
    int m_registrations = 0;
    int m_failRegistration = 0;
    int m_finishCount = 0;
    bool m_interrupted = false; // until the next wait returns
    Hold m_hold = Hold::None;
    int m_holding = 0;
    int m_prepareCount = 0;
    std::chrono::steady_clock::time_point m_lastDelivery;
    fake::NodeMap m_nodeMap;
};

// A device with one stream grabber; release() only records the hand-back (the test owns the object).
// The hand-back may come from a grab thread the camera left behind: released() is what tells the test
// that the thread is done with the device, so everything the thread did to it comes before.
class Device : public grab::GrabDevice {
public:
    explicit Device(const std::string& modelName = "FakeCam", bool sfnc2 = true);

    Nimbo::CDeviceInfo deviceInfo() const override { return m_info; }
    void open(unsigned accessModes) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    bool isRemoved() const override { return m_grabber.isUnplugged(); }
    grab::GrabNodeMap* nodeMap() override { return m_open ? &m_nodeMap : nullptr; }
    grab::GrabNodeMap* tlNodeMap() override { return m_open ? &m_tlNodeMap : nullptr; }
    size_t streamGrabberCount() const override { return m_hasGrabber ? 1 : 0; }
    grab::GrabStreamGrabber* streamGrabber(size_t index) override;
    bool attachFileAccess() override { return m_fileAccess; }
    bool isSfnc2() const override { return m_sfnc2; }
    void release() override { ++m_released; }

    fake::NodeMap& features() { return m_nodeMap; }
    StreamGrabber& grabber() { return m_grabber; }
    unsigned openModes() const { return m_openModes; }
    int released() const { return m_released.load(); }
    void setOpen(bool open) { m_open = open; }
    void setHasGrabber(bool has) { m_hasGrabber = has; }
    void setFileAccess(bool has) { m_fileAccess = has; }
    void setCloseThrows(bool throws) { m_closeThrows = throws; }

private:
    Nimbo::CDeviceInfo m_info;
    bool m_sfnc2;
    bool m_open = false;
    bool m_hasGrabber = true;
    bool m_fileAccess = false;
    bool m_closeThrows = false;
    unsigned m_openModes = 0;
    std::atomic<int> m_released{0};
    fake::NodeMap m_nodeMap;
    fake::NodeMap m_tlNodeMap;
    StreamGrabber m_grabber;
};

} // namespace fake
