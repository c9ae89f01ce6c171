// GenICam's logger lookup over log4cpp.
#include <GenICam/Log.h>

#include <log4cpp/Category.hh>

namespace GenICam {
log4cpp::Category* CLog::GetLogger(const char* name)
{
    return &log4cpp::Category::getInstance(name ? name : "");
}

log4cpp::Category& CLog::GetRootLogger()
{
    return log4cpp::Category::getRoot();
}
} // namespace GenICam
