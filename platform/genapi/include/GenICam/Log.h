// GenICam's access to the log4cpp categories by name.
#pragma once

// Callers use the category directly (GetLogger(name)->debug(...)), so its declaration comes along.
#include <log4cpp/Category.hh>

namespace GenICam {
class CLog {
public:
    // The log4cpp category of that name (created on first use, never null).
    static log4cpp::Category* GetLogger(const char* name);
    // The root category.
    static log4cpp::Category& GetRootLogger();
};
} // namespace GenICam
