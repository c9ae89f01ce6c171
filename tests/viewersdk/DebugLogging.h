// Lets debug-level log4cpp records through while it lives, so that trace lines can be asserted on.
#pragma once

#include <log4cpp/Category.hh>
#include <log4cpp/Priority.hh>

namespace lorvishtest {

class DebugLogging {
public:
    DebugLogging() : m_previous(log4cpp::Category::getRoot().getPriority())
    {
        log4cpp::Category::getRoot().setPriority(log4cpp::Priority::DEBUG);
    }
    ~DebugLogging() { log4cpp::Category::getRoot().setPriority(m_previous); }
    DebugLogging(const DebugLogging&) = delete;
    DebugLogging& operator=(const DebugLogging&) = delete;

private:
    log4cpp::Priority::Value m_previous;
};

} // namespace lorvishtest
