// Warnings of the plug-in through GenICam's log4cpp categories.
#include "Diagnostics.h"

#include <GenICam/GenericException.h>
#include <GenICam/Log.h>
#include <log4cpp/Category.hh>

namespace Huvane {

namespace {
log4cpp::Category& logger()
{
    return *GenICam::CLog::GetLogger("Huvane");
}
} // namespace

std::string currentExceptionText()
{
    try {
        throw;
    } catch (const GenICam::GenericException& e) {
        return e.GetDescription();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unspecified exception occurred.";
    }
}

void warnCurrentException(const char* step, const char* function)
{
    const std::string what = currentExceptionText();
    logger().warn("%s", step);
    logger().warn("%s: %s", function, what.c_str());
}

void warn(const char* text)
{
    logger().warn("%s", text);
}

} // namespace Huvane
