// Loading, resolving and unloading libraries through the janitor.
#include <lorvish/DLLJanitor.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using Corvel::CDLLJanitor;

namespace {

// Built beside this test program by the tests' CMakeLists.
const std::string kFixtureFolder = LORVISH_JANITOR_FIXTURE_DIR;
const std::string kFixtureName = "liblorvish-janitor-fixture.so";

using AnswerFunction = int (*)();

} // namespace

TEST(DLLJanitorTest, LoadsThroughAnEnvironmentReferenceAndResolves)
{
    setenv("LORVISH_TEST_FIXTURES", kFixtureFolder.c_str(), 1);
    CDLLJanitor janitor;
    ASSERT_TRUE(janitor.load(("$(LORVISH_TEST_FIXTURES)/" + kFixtureName).c_str())) << janitor.lastError();
    EXPECT_TRUE(janitor.isLoaded());
    EXPECT_TRUE(janitor.lastError().empty());

    auto answer = janitor.resolveFunction<AnswerFunction>("lorvishJanitorFixtureAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);

    EXPECT_EQ(janitor.resolve("noSuchSymbol"), nullptr);
    EXPECT_FALSE(janitor.lastError().empty());
    EXPECT_NE(janitor.resolve("lorvishJanitorFixtureAnswer"), nullptr);
    EXPECT_TRUE(janitor.lastError().empty()) << "a success clears the last failure";

    EXPECT_TRUE(janitor.unload());
    EXPECT_FALSE(janitor.isLoaded());
    EXPECT_FALSE(janitor.unload());
    EXPECT_EQ(janitor.resolve("lorvishJanitorFixtureAnswer"), nullptr);
    unsetenv("LORVISH_TEST_FIXTURES");
}

TEST(DLLJanitorTest, BackslashesAreTakenAsSeparators)
{
    std::string path = kFixtureFolder + "/" + kFixtureName;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    CDLLJanitor janitor;
    EXPECT_TRUE(janitor.load(path.c_str())) << janitor.lastError();
}

TEST(DLLJanitorTest, AFailedLoadKeepsTheEarlierLibraryAndTellsWhy)
{
    CDLLJanitor janitor;
    ASSERT_TRUE(janitor.load((kFixtureFolder + "/" + kFixtureName).c_str()));
    EXPECT_FALSE(janitor.load((kFixtureFolder + "/libNoSuchLibrary.so").c_str()));
    EXPECT_NE(janitor.lastError().find("libNoSuchLibrary.so"), std::string::npos) << janitor.lastError();
    EXPECT_TRUE(janitor.isLoaded());
    EXPECT_NE(janitor.resolve("lorvishJanitorFixtureAnswer"), nullptr);

    CDLLJanitor empty;
    EXPECT_FALSE(empty.load(""));
    EXPECT_FALSE(empty.load(nullptr));
    EXPECT_FALSE(empty.lastError().empty());
    EXPECT_EQ(empty.resolve("anything"), nullptr);
}

TEST(DLLJanitorTest, ErrorTextsForCodes)
{
    CDLLJanitor janitor;
    janitor.setLastErrorText(2); // ENOENT
    EXPECT_EQ(janitor.lastError(), "No such file or directory");
    janitor.setLastErrorText(0xDEADBEEF);
    EXPECT_EQ(janitor.lastError(), "FormatMessage failed for error code 0xdeadbeef");
}
