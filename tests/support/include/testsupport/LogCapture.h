// Captures log4cpp records and Qt messages while it lives, for assertions on what was logged.
#pragma once

#include <QtGlobal>

#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

struct CapturedMessage {
    enum class Source { Log4cpp, Qt };
    Source source;
    std::string category; // log4cpp category name, or the Qt message type ("debug", "warning", ...)
    int priority;         // log4cpp priority value; for Qt messages the QtMsgType
    std::string text;
};

// Only one capture may be active at a time; it is installed on the log4cpp root category (so every
// category that inherits its appenders is seen) and as the Qt message handler. Thread-safe.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<CapturedMessage> messages() const;
    // True when any captured message contains the text.
    bool contains(const std::string& text) const;
    // Number of captured messages that contain the text.
    size_t count(const std::string& text) const;
    void clear();

    // Called by the appender and the message handler.
    void add(CapturedMessage message);

private:
    mutable std::mutex m_mutex;
    std::vector<CapturedMessage> m_messages;
    void* m_appender; // log4cpp::Appender, owned by the root category while installed
    QtMessageHandler m_previousHandler;
    int m_previousPriority; // of the root category, restored at destruction
};

} // namespace testsupport
