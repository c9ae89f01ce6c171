// GoogleTest main for the suite's test programs: isolates the environment, then creates the
// application object the program needs (an offscreen QApplication for widget tests).
#include "testsupport/TestEnvironment.h"

#include "LsanSuppressions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef TESTSUPPORT_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

// Qt's offscreen platform keeps a few screen objects until exit; listing the tests runs without
// the test environment, so the suppressions must not depend on LSAN_OPTIONS.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions()
{
    return kLsanSuppressions;
}

extern "C" const char* __asan_default_options();
extern "C" const char* __asan_default_options()
{
    return "detect_leaks=1:detect_stack_use_after_return=0";
}

extern "C" const char* __ubsan_default_options();
extern "C" const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

extern "C" const char* __lsan_default_options();
extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}

int main(int argc, char** argv)
{
    testsupport::isolateEnvironment();
    ::testing::InitGoogleMock(&argc, argv);
    TestApplication app(argc, argv);
    TestApplication::setOrganizationName("KalmuthTests");
    TestApplication::setApplicationName("tests");
    return RUN_ALL_TESTS();
}
