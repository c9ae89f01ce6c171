// Helpers of the node-map tests: descriptions wrapped in a root element, and a port over memory.
#pragma once

#include <GenApi/GenApi.h>
#include <GenICam/Log.h>

#include <log4cpp/AppenderSkeleton.hh>
#include <log4cpp/LoggingEvent.hh>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace genapitest {
inline std::string describe(const std::string& nodes, const std::string& model = "TestModel")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<RegisterDescription ModelName=\"" + model +
           "\" VendorName=\"Test\" StandardNameSpace=\"None\" SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\""
           " SchemaSubMinorVersion=\"0\" MajorVersion=\"1\" MinorVersion=\"0\" SubMinorVersion=\"0\">\n" +
           nodes + "\n</RegisterDescription>\n";
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

struct NodeMapDeleter {
    void operator()(GenApi::INodeMap* map) const { GenApi::DestroyNodeMap(map); }
};
using NodeMapPtr = std::unique_ptr<GenApi::INodeMap, NodeMapDeleter>;

inline NodeMapPtr load(const std::string& nodes, const GenICam::gcstring_vector& injected = {})
{
    return NodeMapPtr(GenApi::CreateNodeMap(describe(nodes).c_str(), injected, "TestDevice"));
}

// Collects what the engine logs (its "GenApi" category) while it lives.
class LogCapture {
public:
    LogCapture() : m_appender(std::make_unique<Appender>()) { logger()->addAppender(*m_appender); }
    ~LogCapture() { logger()->removeAppender(m_appender.get()); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string text() const { return m_appender->text(); }
    bool contains(const std::string& fragment) const { return text().find(fragment) != std::string::npos; }

private:
    class Appender : public log4cpp::AppenderSkeleton {
    public:
        Appender() : AppenderSkeleton("genapitest-capture-" + std::to_string(s_next++)) {}
        void close() override {}
        bool requiresLayout() const override { return false; }
        void setLayout(log4cpp::Layout* layout) override { delete layout; }
        std::string text() const
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            return m_text;
        }

    protected:
        void _append(const log4cpp::LoggingEvent& event) override
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_text += event.message + "\n";
        }

    private:
        static inline std::atomic<int> s_next{0};
        mutable std::mutex m_mutex;
        std::string m_text;
    };
    static log4cpp::Category* logger() { return GenICam::CLog::GetLogger("GenApi"); }
    std::unique_ptr<Appender> m_appender;
};

// Counts the calls of a member callback and remembers the node it was given.
struct Counter {
    void onChange(GenApi::INode* node)
    {
        ++calls;
        last = node;
    }
    int calls = 0;
    GenApi::INode* last = nullptr;
};
} // namespace genapitest
