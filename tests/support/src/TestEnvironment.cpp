// Settings and folder isolation for test programs.
#include "testsupport/TestEnvironment.h"

#include <QByteArray>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace testsupport {

namespace {

std::string g_root;

void removeRoot()
{
    if (!g_root.empty())
        QDir(QString::fromStdString(g_root)).removeRecursively();
}

} // namespace

void isolateEnvironment()
{
    if (!g_root.empty())
        return;
    std::string pattern = (QDir::tempPath() + "/kalmuth-test-XXXXXX").toStdString();
    if (!mkdtemp(pattern.data()))
        std::abort();
    g_root = pattern;
    std::atexit(removeRoot);

    const QString root = QString::fromStdString(g_root);
    for (const char* sub : {"config", "data", "cache", "runtime", "home"})
        QDir().mkpath(root + "/" + sub);
    QFile::setPermissions(root + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // Before any Qt object reads them: every folder a program might write to lies below the root.
    qputenv("XDG_CONFIG_HOME", (root + "/config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (root + "/data").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (root + "/cache").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (root + "/runtime").toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Discovering real cameras broadcasts on every network interface; a test that wants real cameras
    // switches it on itself, inside a network namespace that holds only the loopback interface.
    qputenv("NIMBO_REAL_CAMERAS", "0");
    // Transport-layer plug-ins built with the tests, unless the caller names other folders.
    if (qEnvironmentVariableIsEmpty("NIMBO_TL_PLUGIN_PATH"))
        qputenv("NIMBO_TL_PLUGIN_PATH", KALMUTH_TEST_TLPLUGIN_PATH);

    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root + "/config");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, root + "/config");
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, root + "/config/system");
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, root + "/config/system");
    QStandardPaths::setTestModeEnabled(true);
}

QString isolatedRoot()
{
    return QString::fromStdString(g_root);
}

} // namespace testsupport
