// log4cpp appender and Qt message handler that feed a LogCapture.
#include "testsupport/LogCapture.h"

#include <log4cpp/AppenderSkeleton.hh>
#include <log4cpp/Category.hh>
#include <log4cpp/LoggingEvent.hh>

#include <QString>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>

namespace testsupport {

namespace {

std::atomic<LogCapture*> g_active{nullptr};
// Held while a message from any thread goes into the active capture, and while the capture stops
// taking them: a capture being destroyed never meets a message half added.
std::mutex g_addMutex;

void addToActive(CapturedMessage message)
{
    std::lock_guard<std::mutex> lock(g_addMutex);
    if (LogCapture* capture = g_active.load())
        capture->add(std::move(message));
}

class CaptureAppender : public log4cpp::AppenderSkeleton {
public:
    CaptureAppender() : AppenderSkeleton("testsupport.capture") {}
    void close() override {}
    bool requiresLayout() const override { return false; }
    void setLayout(log4cpp::Layout* layout) override { delete layout; }

protected:
    void _append(const log4cpp::LoggingEvent& event) override
    {
        addToActive(
            {CapturedMessage::Source::Log4cpp, event.categoryName, static_cast<int>(event.priority), event.message});
    }
};

const char* qtTypeName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return "debug";
    case QtInfoMsg: return "info";
    case QtWarningMsg: return "warning";
    case QtCriticalMsg: return "critical";
    case QtFatalMsg: return "fatal";
    }
    return "unknown";
}

void captureQtMessage(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    addToActive({CapturedMessage::Source::Qt, qtTypeName(type), static_cast<int>(type), text.toStdString()});
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

LogCapture::LogCapture() : m_appender(nullptr), m_previousHandler(nullptr), m_previousPriority(0)
{
    LogCapture* expected = nullptr;
    if (!g_active.compare_exchange_strong(expected, this))
        std::abort(); // two captures at once would steal each other's messages
    auto* appender = new CaptureAppender;
    m_appender = appender;
    log4cpp::Category& root = log4cpp::Category::getRoot();
    root.addAppender(appender); // the root category owns it from here
    // log4cpp counts severity downwards: DEBUG is the largest value, so this lets every record through.
    m_previousPriority = root.getPriority();
    if (m_previousPriority < log4cpp::Priority::DEBUG)
        root.setPriority(log4cpp::Priority::DEBUG);
    m_previousHandler = qInstallMessageHandler(captureQtMessage);
}

LogCapture::~LogCapture()
{
    {
        // Waits for a message being added from another thread; later ones find no capture.
        std::lock_guard<std::mutex> lock(g_addMutex);
        g_active.store(nullptr);
    }
    qInstallMessageHandler(m_previousHandler);
    log4cpp::Category& root = log4cpp::Category::getRoot();
    root.removeAppender(static_cast<log4cpp::Appender*>(m_appender));
    root.setPriority(m_previousPriority);
}

std::vector<CapturedMessage> LogCapture::messages() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

bool LogCapture::contains(const std::string& text) const
{
    return count(text) > 0;
}

size_t LogCapture::count(const std::string& text) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<size_t>(std::count_if(m_messages.begin(), m_messages.end(), [&](const CapturedMessage& m) {
        return m.text.find(text) != std::string::npos;
    }));
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.clear();
}

void LogCapture::add(CapturedMessage message)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.push_back(std::move(message));
}

} // namespace testsupport
