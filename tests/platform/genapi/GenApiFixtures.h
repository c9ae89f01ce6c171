// Helpers of the node-map tests: descriptions wrapped in a root element, and a port over memory.
#pragma once

#include <GenApi/GenApi.h>
#include <testsupport/LogCapture.h>
#include <testsupport/NodeMaps.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace genapitest {
inline std::string describe(const std::string& nodes, const std::string& model = "TestModel")
{
    return testsupport::describeNodes(nodes, model);
}

// Device memory behind a port; counts the accesses so that tests can see caching.
class MemoryPort : public GenApi::IPort {
public:
    explicit MemoryPort(size_t size = 256) : bytes(size, 0) {}
    GenApi::EAccessMode GetAccessMode() const override { return GenApi::RW; }
    void Read(void* buffer, int64_t address, int64_t length) override
    {
        ++reads;
        check(address, length);
        std::memcpy(buffer, bytes.data() + address, static_cast<size_t>(length));
    }
    void Write(const void* buffer, int64_t address, int64_t length) override
    {
        ++writes;
        check(address, length);
        std::memcpy(bytes.data() + address, buffer, static_cast<size_t>(length));
    }
    std::vector<uint8_t> bytes;
    int reads = 0;
    int writes = 0;

private:
    void check(int64_t address, int64_t length) const
    {
        if (address < 0 || length < 0 || static_cast<size_t>(address + length) > bytes.size())
            throw OUT_OF_RANGE_EXCEPTION("address %lld+%lld outside the memory", static_cast<long long>(address),
                                         static_cast<long long>(length));
    }
};

using testsupport::NodeMapPtr;

inline NodeMapPtr load(const std::string& nodes, const GenICam::gcstring_vector& injected = {})
{
    return testsupport::loadNodeMap(nodes, "TestDevice", "TestModel", injected);
}

// What a capture holds, one message a line, for failure messages.
inline std::string dump(const testsupport::LogCapture& log)
{
    std::string text;
    for (const auto& m : log.messages())
        text += m.text + "\n";
    return text;
}

using Counter = testsupport::CallCounter;
} // namespace genapitest
