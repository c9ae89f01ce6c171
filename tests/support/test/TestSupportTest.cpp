// The shared fixtures do what the other tests rely on.
#include "testsupport/LogCapture.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestEnvironment.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <log4cpp/Category.hh>

using testsupport::LogCapture;

TEST(TestEnvironment, SettingsLiveBelowTheIsolatedRoot)
{
    const QString root = testsupport::isolatedRoot();
    ASSERT_FALSE(root.isEmpty());
    QSettings settings;
    settings.setValue("Probe/Value", 42);
    settings.sync();
    EXPECT_TRUE(settings.fileName().startsWith(root)) << settings.fileName().toStdString();
    EXPECT_TRUE(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).startsWith(root) ||
                QStandardPaths::isTestModeEnabled());
}

TEST(LogCapture, SeesLog4cppAndQtMessages)
{
    LogCapture capture;
    log4cpp::Category::getInstance("Tests.Capture").error("first %d", 1);
    log4cpp::Category::getInstance("Tests.Capture").debug("a debug line");
    qWarning("second %s", "warning");
    EXPECT_TRUE(capture.contains("first 1"));
    EXPECT_TRUE(capture.contains("second warning"));
    EXPECT_EQ(capture.count("first"), 1u);
    EXPECT_TRUE(capture.contains("a debug line"));
    capture.clear();
    EXPECT_FALSE(capture.contains("first"));
}

TEST(LogCapture, StopsCapturingWhenDestroyed)
{
    {
        LogCapture capture;
    }
    LogCapture later;
    qWarning("only later");
    EXPECT_EQ(later.messages().size(), 1u);
}

class TempDirFixture : public testsupport::TempDirTest {};

TEST_F(TempDirFixture, GivesAnEmptyWritableFolder)
{
    EXPECT_TRUE(entries().isEmpty());
    QFile file(filePath("a.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();
    EXPECT_EQ(entries(), QStringList{"a.txt"});
}
