// The launcher: it checks the SDK libraries before the program starts, and starts the program beside it.
#include "SdkLibraryCheck.h"

#include <testsupport/TempDir.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <memory>

namespace {

class LauncherTest : public testsupport::TempDirTest {
protected:
    // The launcher copied into the test's folder, where nothing else lies beside it.
    QString copiedLauncher()
    {
        const QString copy = path() + "/kalmuth";
        EXPECT_TRUE(QFile::copy(KALMUTH_LAUNCHER, copy));
        return copy;
    }

    // Runs without a display and without the build's library folder, unless one is given.
    static QProcess* run(const QString& program, const QStringList& arguments, const QString& libraryPath = {})
    {
        auto* process = new QProcess;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.remove("LD_LIBRARY_PATH");
        if (!libraryPath.isEmpty())
            environment.insert("LD_LIBRARY_PATH", libraryPath);
        process->setProcessEnvironment(environment);
        process->start(program, arguments);
        EXPECT_TRUE(process->waitForFinished(60000)) << program.toStdString();
        return process;
    }
};

TEST_F(LauncherTest, MissingSdkLibraryIsReportedWithExitCodeFive)
{
    // Only the system's log4cpp is found; the first of the SDK's own libraries is the one named.
    std::unique_ptr<QProcess> process(run(copiedLauncher(), {}));
    EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process->exitCode(), MissingLibraryExitCode);
    const QString error = QString::fromLocal8Bit(process->readAllStandardError());
    EXPECT_TRUE(error.startsWith("Ardenmoor: " + QString::fromStdString(missingLibraryText("libNimboGenApi.so"))))
        << error.toStdString();
}

TEST_F(LauncherTest, WithTheLibrariesItStartsTheProgramBesideIt)
{
    const QString launcher = copiedLauncher();
    // A stand-in for the program that shows what it was given.
    QFile program(path() + "/kalmuth-program");
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write("#!/bin/sh\necho \"started with $*\"\nexit 3\n");
    program.close();
    program.setPermissions(program.permissions() | QFileDevice::ExeOwner);
    std::unique_ptr<QProcess> process(run(launcher, {"-r", "two words"}, KALMUTH_LIBRARY_FOLDER));
    EXPECT_EQ(process->exitCode(), 3) << process->readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromLocal8Bit(process->readAllStandardOutput()).trimmed(), "started with -r two words");
}

TEST_F(LauncherTest, MissingProgramIsReported)
{
    std::unique_ptr<QProcess> process(run(copiedLauncher(), {}, KALMUTH_LIBRARY_FOLDER));
    EXPECT_EQ(process->exitCode(), 127);
    EXPECT_TRUE(QString::fromLocal8Bit(process->readAllStandardError()).contains("kalmuth-program"));
}

} // namespace
