// GoogleTest main for the suite's test programs: isolates the environment, then creates the
// application object the program needs (an offscreen QApplication for widget tests).
#include "testsupport/TestEnvironment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef TESTSUPPORT_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    testsupport::isolateEnvironment();
    ::testing::InitGoogleMock(&argc, argv);
    TestApplication app(argc, argv);
    TestApplication::setOrganizationName("KalmuthTests");
    TestApplication::setApplicationName("tests");
    return RUN_ALL_TESTS();
}
