// Reading environment variables and expanding $(NAME) references.
#include <lorvish/Environment.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace Corvel;

namespace {

class EnvironmentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("LORVISH_TEST_ROOT", "/opt/velmar", 1);
        setenv("LORVISH_TEST_SUB", "lib", 1);
        setenv("LORVISH_TEST_EMPTY", "", 1);
        setenv("LORVISH_TEST_UTF8", "K\xC3\xA4mera", 1);
        unsetenv("LORVISH_TEST_UNSET");
    }
    void TearDown() override
    {
        for (const char* name : {"LORVISH_TEST_ROOT", "LORVISH_TEST_SUB", "LORVISH_TEST_EMPTY", "LORVISH_TEST_UTF8"})
            unsetenv(name);
    }
};

} // namespace

TEST_F(EnvironmentTest, ExpandsReferencesAndLeavesMalformedOnesAlone)
{
    const struct {
        std::string input;
        std::string expected;
        int count;
    } cases[] = {
        {"$(LORVISH_TEST_ROOT)/bin", "/opt/velmar/bin", 1},
        {"$(LORVISH_TEST_ROOT)/$(LORVISH_TEST_SUB)/x", "/opt/velmar/lib/x", 2},
        {"$(LORVISH_TEST_UTF8)!", "K\xC3\xA4mera!", 1},
        {"a$(LORVISH_TEST_UNSET)b", "ab", 1},
        {"a$(LORVISH_TEST_EMPTY)b", "ab", 1},
        {"$$(LORVISH_TEST_ROOT)", "$(LORVISH_TEST_ROOT)", 0},
        {"cost $$5", "cost $5", 0},
        {"ends in $", "ends in $", 0},
        {"$(LORVISH_TEST_ROOT", "$(LORVISH_TEST_ROOT", 0},
        {"a$()b", "a$()b", 0},
        {"$x and $ y", "$x and $ y", 0},
        {"no reference here", "no reference here", 0},
        // Three characters or fewer are never expanded.
        {"$$a", "$$a", 0},
        {"$()", "$()", 0},
        {"$$", "$$", 0},
        {"", "", 0},
        // Four characters are.
        {"$$ab", "$ab", 0},
        {"$(A)", "", 1},
    };
    unsetenv("A");
    for (const auto& c : cases) {
        std::string text = c.input;
        EXPECT_EQ(expandEnvironmentVariables(text), c.count) << c.input;
        EXPECT_EQ(text, c.expected) << c.input;
    }
}

TEST_F(EnvironmentTest, ReadsValuesOfAnyLength)
{
    const std::string longValue(300, 'v');
    setenv("LORVISH_TEST_LONG", longValue.c_str(), 1);
    std::string value = "old";
    EXPECT_TRUE(getEnvironmentVariable("LORVISH_TEST_LONG", value));
    EXPECT_EQ(value, longValue);
    unsetenv("LORVISH_TEST_LONG");

    value = "old";
    EXPECT_TRUE(getEnvironmentVariable("LORVISH_TEST_EMPTY", value));
    EXPECT_EQ(value, "");

    EXPECT_TRUE(getEnvironmentVariableUtf8("LORVISH_TEST_UTF8", value));
    EXPECT_EQ(value, "K\xC3\xA4mera");
}

TEST_F(EnvironmentTest, MissingVariablesAndEmptyNamesLeaveTheValueAlone)
{
    for (const char* name : {"LORVISH_TEST_UNSET", "", static_cast<const char*>(nullptr)}) {
        std::string value = "kept";
        EXPECT_FALSE(getEnvironmentVariable(name, value));
        EXPECT_EQ(value, "kept");
    }
}
