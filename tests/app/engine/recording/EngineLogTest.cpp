// The engine's shared formatter: exception descriptions cut at 255 characters, durable log lines at 2,047.
#include "EngineLog.h"
#include "MediaWriterExceptions.h"

#include <testsupport/LogCapture.h>

#include <nimbo/Mivtrace.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string formatted(size_t capacity, const char* format, ...) __attribute__((format(printf, 2, 3)));
std::string formatted(size_t capacity, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = enginelog::vformat(capacity, format, args);
    va_end(args);
    return text;
}

void writeLine(const char* category, const char* format, ...) __attribute__((format(printf, 2, 3)));
void writeLine(const char* category, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    enginelog::vwrite(category, enginelog::Failure, format, args);
    va_end(args);
}

template <class Exception, class Reporter>
std::string descriptionOf(Reporter report)
{
    try {
        report();
    } catch (const Exception& e) {
        return e.GetDescription();
    }
    ADD_FAILURE() << "nothing thrown";
    return std::string();
}

} // namespace

TEST(EngineLogTest, formatsWithinTheCapacityAndCutsLongerText)
{
    const std::string fits(255, 'a');
    const std::string over(300, 'b');
    const struct {
        const char* what;
        std::string argument;
        std::string expected;
    } cases[] = {
        {"empty", "", "[]"},
        {"short", "x%y", "[x%y]"},
        {"one below the capacity", std::string(253, 'a'), "[" + std::string(253, 'a') + "]"},
        {"exactly the capacity", fits, "[" + std::string(254, 'a')},
        {"far over", over, "[" + std::string(254, 'b')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatted(256, "[%s]", c.argument.c_str()), c.expected) << c.what;
    EXPECT_EQ(formatted(1, "%d", 42), "");
}

TEST(EngineLogTest, mediaWriterReportersCarryTheFormattedTextCut)
{
    const std::string path(400, 'p');
    const std::string fatal = descriptionOf<FatalMediaWriterException>(
        [&] { throwFatalMediaWriterException(__FILE__, __LINE__, "Cannot open %s (%d)", path.c_str(), 5); });
    EXPECT_EQ(fatal, ("Cannot open " + path).substr(0, 255));
    const std::string limit = descriptionOf<MediaFileLimitReachedException>(
        [] { throwMediaFileLimitReachedException(__FILE__, __LINE__, "Limit of %u bytes reached", 2100000000u); });
    EXPECT_EQ(limit, "Limit of 2100000000 bytes reached");
}

TEST(EngineLogTest, durableLinesKeepPercentSignsAndAreCutAt2047Characters)
{
    testsupport::LogCapture capture;
    const std::string text(3000, 'q');
    writeLine("Tesvar.Recording", "100%% %s", text.c_str());
    bool found = false;
    for (const auto& message : capture.messages()) {
        if (message.text.rfind("100% qqq", 0) == 0) {
            found = true;
            EXPECT_EQ(message.text, ("100% " + text).substr(0, 2047));
        }
    }
    EXPECT_TRUE(found);
}
