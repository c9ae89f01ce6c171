// Trace categories kept in a registry so that a handle stays valid for the whole process.
#include <nimbo/Mivtrace.h>

#include <log4cpp/Category.hh>
#include <log4cpp/Priority.hh>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace Mivtrace {
namespace {

struct Registry {
    std::mutex mutex;
    std::vector<std::pair<std::string, log4cpp::Category*>> categories; // handle = index + 1
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

// log4cpp builds its category hierarchy on first use, and a thread of Aravis' (one that reports a lost
// camera) may be the first to log after the main thread has: built as this library loads, before any
// thread runs, the hierarchy is there for every thread, with no first use racing another.
const bool g_hierarchyBuilt = (log4cpp::Category::getRoot(), true);

log4cpp::Priority::Value priorityOf(unsigned int level)
{
    if (level >= TraceLevel_Error)
        return log4cpp::Priority::ERROR;
    if (level >= TraceLevel_Warning)
        return log4cpp::Priority::WARN;
    if (level >= TraceLevel_Info)
        return log4cpp::Priority::INFO;
    return log4cpp::Priority::DEBUG;
}

} // namespace

CatID LogGetCatID(const char* name)
{
    if (!name || !*name)
        return 0;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (size_t i = 0; i < r.categories.size(); ++i)
        if (r.categories[i].first == name)
            return static_cast<CatID>(i + 1);
    r.categories.emplace_back(name, &log4cpp::Category::getInstance(name));
    return static_cast<CatID>(r.categories.size());
}

void LogTrace(CatID category, unsigned int level, const char* format, ...)
{
    if (category == 0 || !format)
        return;
    log4cpp::Category* target = nullptr;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        if (category > r.categories.size())
            return;
        target = r.categories[category - 1].second;
    }
    const log4cpp::Priority::Value priority = priorityOf(level);
    if (!target->isPriorityEnabled(priority))
        return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(&text[0], text.size(), format, args);
        text.resize(static_cast<size_t>(length));
    }
    va_end(args);
    target->log(priority, text);
}

} // namespace Mivtrace
