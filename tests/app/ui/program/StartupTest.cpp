// Start-up: the SDK library check, the exception-swallowing application object and the exit code.
#include "Startup.h"

#include <testsupport/LogCapture.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(StartupTest, LibraryCheckStopsAtTheFirstMissingLibrary)
{
    EXPECT_EQ(firstMissingLibrary(sdkLibraries()), "") << "the program's own libraries load";
    EXPECT_EQ(firstMissingLibrary({"libNimboBase.so", "libNoSuchSdkPart.so", "libAlsoMissing.so"}),
              "libNoSuchSdkPart.so");
    const std::string text = missingLibraryText("libNoSuchSdkPart.so");
    EXPECT_EQ(text.rfind("The DLL 'libNoSuchSdkPart.so' or one of its dependencies could not be found.", 0), 0u);
    EXPECT_NE(text.find("The application will exit."), std::string::npos);
    EXPECT_LT(text.size(), 1024u);
}

TEST(StartupTest, ExitCodeFoldsTheLoopResult)
{
    EXPECT_EQ(exitCodeOf(0), 0);
    EXPECT_EQ(exitCodeOf(3), 1);
    EXPECT_EQ(exitCodeOf(-1), 1);
}

class Thrower : public QObject {
public:
    int kind = 0;
    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        if (kind == 0)
            throw std::runtime_error("x");
        throw 42;
    }
};

TEST(StartupTest, NotifySwallowsExceptionsFromHandlers)
{
    // The test program's application object is not ours, so the guard that notify() runs around
    // every dispatch is run around the handler itself.
    Thrower thrower;
    testsupport::LogCapture log;
    QEvent event(QEvent::User);
    EXPECT_FALSE(dispatchGuarded([&] { return thrower.event(&event); }, &event));
    EXPECT_TRUE(log.contains("An unexpected exception occurred in an event handler (id=1000)."));
    EXPECT_TRUE(log.contains("Additional info: 'x'"));
    log.clear();
    thrower.kind = 1;
    EXPECT_FALSE(dispatchGuarded([&] { return thrower.event(&event); }, &event));
    EXPECT_TRUE(log.contains("An unexpected exception occurred in an event handler (id=1000)."));
    EXPECT_FALSE(log.contains("Additional info"));
    EXPECT_EQ(unexpectedExceptionText(nullptr), "An unexpected exception occurred in an event handler.");
}

TEST(StartupTest, FatalMessagesAbortWithOneLineOnStderr)
{
    EXPECT_DEATH(
        {
            qInstallMessageHandler(kalmuthMessageHandler);
            qWarning("dropped warning");
            qFatal("boom %d", 7);
        },
        "^Fatal: boom 7 \\(");
}

} // namespace
