// Warnings of the plug-in through GenICam's log4cpp categories.
#include "Diagnostics.h"

#include <GenICam/CaughtException.h>
#include <GenICam/Log.h>
#include <log4cpp/Category.hh>

namespace Huvane {

namespace {
log4cpp::Category& logger()
{
    return *GenICam::CLog::GetLogger("Huvane");
}
} // namespace

void warnCurrentException(const char* step, const char* function)
{
    const GenICam::CaughtException caught = GenICam::CaughtException::Current();
    logger().warn("%s", step);
    logger().warn("%s: %s", function, caught.Description());
}

void warn(const char* text)
{
    logger().warn("%s", text);
}

} // namespace Huvane
