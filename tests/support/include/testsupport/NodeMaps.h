// Node maps built in tests from small GenICam descriptions, without a device. Header only: tests that
// include it link the node-map engine.
#pragma once

#include <GenApi/GenApi.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// The nodes wrapped in a description's root element.
inline std::string describeNodes(const std::string& nodes, const std::string& model = "TestModel")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<RegisterDescription ModelName=\"" + model +
           "\" VendorName=\"Test\" StandardNameSpace=\"None\" SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\""
           " SchemaSubMinorVersion=\"0\" MajorVersion=\"1\" MinorVersion=\"0\" SubMinorVersion=\"0\">\n" +
           nodes + "\n</RegisterDescription>\n";
}

struct NodeMapDeleter {
    void operator()(GenApi::INodeMap* map) const { GenApi::DestroyNodeMap(map); }
};
using NodeMapPtr = std::unique_ptr<GenApi::INodeMap, NodeMapDeleter>;

inline NodeMapPtr loadNodeMap(const std::string& nodes, const std::string& deviceName = "TestDevice",
                              const std::string& model = "TestModel", const GenICam::gcstring_vector& injected = {})
{
    return NodeMapPtr(GenApi::CreateNodeMap(describeNodes(nodes, model).c_str(), injected, deviceName.c_str()));
}

// Counts the calls of a member callback and remembers the node it was given.
struct CallCounter {
    void onChange(GenApi::INode* node)
    {
        ++calls;
        last = node;
    }
    int calls = 0;
    GenApi::INode* last = nullptr;
};

// Device memory behind a port, for values that change without a node write; counts the accesses so
// that tests can see caching.
class MemoryPort : public GenApi::IPort {
public:
    explicit MemoryPort(size_t size = 256) : bytes(size, 0) {}
    GenApi::EAccessMode GetAccessMode() const override { return GenApi::RW; }
    void Read(void* buffer, int64_t address, int64_t length) override
    {
        if (unplugged)
            throw RUNTIME_EXCEPTION("the camera is unplugged");
        ++reads;
        check(address, length);
        std::memcpy(buffer, bytes.data() + address, static_cast<size_t>(length));
    }
    void Write(const void* buffer, int64_t address, int64_t length) override
    {
        if (unplugged)
            throw RUNTIME_EXCEPTION("the camera is unplugged");
        if (refuseWrites)
            throw ACCESS_EXCEPTION("the camera refuses the write");
        ++writes;
        check(address, length);
        std::memcpy(bytes.data() + address, buffer, static_cast<size_t>(length));
    }
    std::vector<uint8_t> bytes;
    int reads = 0;
    int writes = 0;
    // A camera that refuses writes without changing any access mode (a value it rejects, a busy device).
    bool refuseWrites = false;
    // A camera gone from the bus: every access throws.
    bool unplugged = false;

private:
    void check(int64_t address, int64_t length) const
    {
        if (address < 0 || length < 0 || static_cast<size_t>(address + length) > bytes.size())
            throw OUT_OF_RANGE_EXCEPTION("address %lld+%lld outside the memory", static_cast<long long>(address),
                                         static_cast<long long>(length));
    }
};

} // namespace testsupport
