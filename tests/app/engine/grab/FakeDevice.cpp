// In-process devices for the grab engine's tests and benchmarks (see FakeDevice.h).
#include "FakeDevice.h"

#include <GenICam/GenericException.h>

#include <algorithm>
#include <cstring>

namespace fake {

using grab::AccessMode;
using grab::NodeKind;

Node integer(int64_t value, int64_t min, int64_t max, int64_t inc, AccessMode access)
{
    Node n;
    n.kind = NodeKind::Integer;
    n.access = access;
    n.intValue = value;
    n.intMin = min;
    n.intMax = max;
    n.intInc = inc;
    return n;
}

Node floating(double value, double min, double max, AccessMode access)
{
    Node n;
    n.kind = NodeKind::Float;
    n.access = access;
    n.floatValue = value;
    n.floatMin = min;
    n.floatMax = max;
    return n;
}

Node enumeration(const std::string& current, std::vector<std::string> entries, AccessMode access)
{
    Node n;
    n.kind = NodeKind::Enumeration;
    n.access = access;
    n.text = current;
    for (auto& entry : entries)
        n.entries.emplace_back(entry, AccessMode::RO);
    return n;
}

Node boolean(bool value, AccessMode access)
{
    Node n;
    n.kind = NodeKind::Boolean;
    n.access = access;
    n.boolValue = value;
    return n;
}

Node command(AccessMode access)
{
    Node n;
    n.kind = NodeKind::Command;
    n.access = access;
    return n;
}

Node string(const std::string& value, AccessMode access)
{
    Node n;
    n.kind = NodeKind::String;
    n.access = access;
    n.text = value;
    return n;
}

void NodeMap::add(const std::string& name, Node node)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_nodes[name] = std::move(node);
}

void NodeMap::remove(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_nodes.erase(name);
}

Node& NodeMap::node(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_nodes.at(name);
}

std::vector<std::string> NodeMap::writes() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_writes;
}

void NodeMap::clearWrites()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_writes.clear();
}

NodeKind NodeMap::kind(const std::string& name) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_nodes.find(name);
    return it == m_nodes.end() ? NodeKind::Missing : it->second.kind;
}

AccessMode NodeMap::accessMode(const std::string& name) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_nodes.find(name);
    return it == m_nodes.end() ? AccessMode::NI : it->second.access;
}

const Node& NodeMap::readable(const std::string& name, NodeKind kind) const
{
    auto it = m_nodes.find(name);
    if (it == m_nodes.end() || it->second.kind != kind)
        GENICAM_THROW(GenICam::LogicalErrorException, "NULL pointer dereferenced");
    if (kind != NodeKind::Enumeration && !grab::isReadable(it->second.access) && kind != NodeKind::Command)
        GENICAM_THROW(GenICam::AccessException, "Node '%s' is not readable", name.c_str());
    return it->second;
}

Node& NodeMap::writable(const std::string& name, NodeKind kind)
{
    auto it = m_nodes.find(name);
    if (it == m_nodes.end() || it->second.kind != kind)
        GENICAM_THROW(GenICam::LogicalErrorException, "NULL pointer dereferenced");
    if (!grab::isWritable(it->second.access))
        GENICAM_THROW(GenICam::AccessException, "Node '%s' is not writable", name.c_str());
    return it->second;
}

void NodeMap::record(const std::string& name, const std::string& value)
{
    m_writes.push_back(name + "=" + value);
}

int64_t NodeMap::intValue(const std::string& name) const
{
    return read(name, NodeKind::Integer, &Node::intValue);
}
int64_t NodeMap::intMin(const std::string& name) const
{
    return read(name, NodeKind::Integer, &Node::intMin);
}
int64_t NodeMap::intMax(const std::string& name) const
{
    return read(name, NodeKind::Integer, &Node::intMax);
}
int64_t NodeMap::intInc(const std::string& name) const
{
    return read(name, NodeKind::Integer, &Node::intInc);
}

void NodeMap::setIntValue(const std::string& name, int64_t value)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Node& n = writable(name, NodeKind::Integer);
    if (value < n.intMin || value > n.intMax || (n.intInc > 0 && (value - n.intMin) % n.intInc != 0))
        GENICAM_THROW(GenICam::OutOfRangeException, "%s: %lld out of range", name.c_str(), (long long)value);
    n.intValue = value;
    record(name, std::to_string(value));
}

double NodeMap::floatValue(const std::string& name) const
{
    return read(name, NodeKind::Float, &Node::floatValue);
}
double NodeMap::floatMin(const std::string& name) const
{
    return read(name, NodeKind::Float, &Node::floatMin);
}
double NodeMap::floatMax(const std::string& name) const
{
    return read(name, NodeKind::Float, &Node::floatMax);
}

void NodeMap::setFloatValue(const std::string& name, double value)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Node& n = writable(name, NodeKind::Float);
    if (value < n.floatMin || value > n.floatMax)
        GENICAM_THROW(GenICam::OutOfRangeException, "%s: %g out of range", name.c_str(), value);
    n.floatValue = value;
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    record(name, text);
}

std::string NodeMap::enumValue(const std::string& name) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const Node& n = readable(name, NodeKind::Enumeration);
    if (!grab::isReadable(n.access))
        GENICAM_THROW(GenICam::AccessException, "Node '%s' is not readable", name.c_str());
    return n.text;
}

void NodeMap::setEnumValue(const std::string& name, const std::string& entry)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Node& n = writable(name, NodeKind::Enumeration);
    for (const auto& e : n.entries) {
        if (e.first == entry) {
            if (!grab::isAvailableMode(e.second))
                GENICAM_THROW(GenICam::AccessException, "Entry '%s' is not available", entry.c_str());
            n.text = entry;
            record(name, entry);
            return;
        }
    }
    GENICAM_THROW(GenICam::InvalidArgumentException, "%s has no entry '%s'", name.c_str(), entry.c_str());
}

std::vector<std::string> NodeMap::enumEntries(const std::string& name) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::vector<std::string> names;
    for (const auto& e : readable(name, NodeKind::Enumeration).entries)
        names.push_back(e.first);
    return names;
}

AccessMode NodeMap::enumEntryAccessMode(const std::string& name, const std::string& entry) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    for (const auto& e : readable(name, NodeKind::Enumeration).entries)
        if (e.first == entry)
            return e.second;
    return AccessMode::NI;
}

bool NodeMap::boolValue(const std::string& name) const
{
    return read(name, NodeKind::Boolean, &Node::boolValue);
}

void NodeMap::setBoolValue(const std::string& name, bool value)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    writable(name, NodeKind::Boolean).boolValue = value;
    record(name, value ? "true" : "false");
}

std::string NodeMap::stringValue(const std::string& name) const
{
    return read(name, NodeKind::String, &Node::text);
}

void NodeMap::setStringValue(const std::string& name, const std::string& value)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    writable(name, NodeKind::String).text = value;
    record(name, value);
}

void NodeMap::executeCommand(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    ++writable(name, NodeKind::Command).executed;
    record(name, "execute");
}

void NodeMap::invalidateNodes()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    ++m_invalidations;
}

void StreamGrabber::open()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open = true;
}

void StreamGrabber::close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open = false;
}

bool StreamGrabber::isOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open;
}

void StreamGrabber::prepareGrab()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_prepareCount;
}

void* StreamGrabber::registerBuffer(void* data, size_t size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_registrations;
    if (m_failRegistration != 0 && m_registrations == m_failRegistration)
        GENICAM_THROW(GenICam::RuntimeException, "Registration %d refused", m_registrations);
    void* handle = reinterpret_cast<void*>(static_cast<uintptr_t>(m_nextHandle++));
    m_registered[handle] = {data, size};
    return handle;
}

void StreamGrabber::queueBuffer(void* handle, void* context)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_registered.count(handle) == 0)
        GENICAM_THROW(GenICam::LogicalErrorException, "Buffer %p is not registered", handle);
    m_queued.emplace_back(handle, context);
    m_changed.notify_all();
}

void StreamGrabber::sitOutHold(std::unique_lock<std::mutex>& lock, Hold where)
{
    if (m_hold != where)
        return;
    ++m_holding;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return m_hold != where; });
    --m_holding;
}

void StreamGrabber::hold(Hold where)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hold = where;
}

void StreamGrabber::releaseHold()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hold = Hold::None;
    m_changed.notify_all();
}

int StreamGrabber::holding() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_holding;
}

bool StreamGrabber::waitForResult(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    sitOutHold(lock, Hold::Wait);
    // A finished grab ends the wait early, so that a stopping loop need not sit out its time-out.
    const int finishes = m_finishCount;
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return (!m_removed && !m_results.empty()) || m_finishCount != finishes || m_interrupted;
    });
    m_interrupted = false;
    return !m_removed && !m_results.empty();
}

void StreamGrabber::interruptWait()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interrupted = true;
    m_changed.notify_all();
}

bool StreamGrabber::retrieveResult(grab::GrabResult& result)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    sitOutHold(lock, Hold::Retrieve);
    if (m_removed || m_results.empty())
        return false;
    result = m_results.front();
    m_results.pop_front();
    return true;
}

void StreamGrabber::cancelGrab()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_removed)
        GENICAM_THROW(GenICam::RuntimeException, "The device has been removed");
    for (const auto& q : m_queued) {
        grab::GrabResult r;
        r.context = q.second;
        r.status = grab::GrabStatus::Canceled;
        m_results.push_back(r);
    }
    m_queued.clear();
    m_changed.notify_all();
}

void StreamGrabber::finishGrab()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_finishCount;
    m_registered.clear();
    m_queued.clear();
    m_results.clear();
    m_changed.notify_all();
}

bool StreamGrabber::deliver(grab::GrabStatus status, uint8_t value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_removed || m_queued.empty())
        return false;
    auto q = m_queued.front();
    m_queued.pop_front();
    auto& reg = m_registered.at(q.first);
    std::memset(reg.first, value, reg.second);
    grab::GrabResult r;
    r.context = q.second;
    r.status = status;
    r.payloadSize = static_cast<int64_t>(reg.second);
    if (status == grab::GrabStatus::Failed) {
        r.errorCode = 0xE1000014;
        r.errorDescription = "Frame incomplete";
    }
    m_results.push_back(r);
    m_lastDelivery = std::chrono::steady_clock::now();
    m_changed.notify_all();
    return true;
}

bool StreamGrabber::deliverWhenQueued(grab::GrabStatus status, std::chrono::milliseconds timeout)
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_changed.wait_for(lock, timeout, [this] { return m_removed || !m_queued.empty(); }))
            return false;
    }
    return deliver(status);
}

void StreamGrabber::unplug()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_removed = true;
    m_changed.notify_all();
}

bool StreamGrabber::isUnplugged() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_removed;
}

void StreamGrabber::failRegistrationNumber(int number)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failRegistration = number;
    m_registrations = 0;
}

size_t StreamGrabber::queuedCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queued.size();
}

bool StreamGrabber::queuedBuffersAreZero() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& queued : m_queued) {
        const auto it = m_registered.find(queued.first);
        if (it == m_registered.end())
            return false;
        const auto* data = static_cast<const uint8_t*>(it->second.first);
        if (std::any_of(data, data + it->second.second, [](uint8_t b) { return b != 0; }))
            return false;
    }
    return true;
}

size_t StreamGrabber::registeredCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_registered.size();
}

int StreamGrabber::finishCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_finishCount;
}

int StreamGrabber::prepareCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_prepareCount;
}

std::chrono::steady_clock::time_point StreamGrabber::lastDelivery() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastDelivery;
}

Device::Device(const std::string& modelName, bool sfnc2) : m_sfnc2(sfnc2)
{
    m_info.SetModelName(modelName.c_str());
    m_info.SetFriendlyName((modelName + " (12345678)").c_str());
    m_info.SetFullName(("Fake#" + modelName + "#12345678").c_str());
    m_info.SetDeviceClass("VelmarUsb");
}

void Device::open(unsigned accessModes)
{
    m_openModes = accessModes;
    m_open = true;
}

void Device::close()
{
    m_open = false;
    if (m_closeThrows)
        GENICAM_THROW(GenICam::RuntimeException, "The device has been removed");
}

grab::GrabStreamGrabber* Device::streamGrabber(size_t index)
{
    return m_hasGrabber && index == 0 ? &m_grabber : nullptr;
}

} // namespace fake
