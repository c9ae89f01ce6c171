// Application folder of the help and tool tables, and starting files the way the shell would.
#include "ApplicationFolder.h"

#include <os/Shell.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

namespace brasko_detail {

namespace {

QString& folderOverride()
{
    static QString folder;
    return folder;
}

unsigned int& generation()
{
    static unsigned int value = 1;
    return value;
}

} // namespace

QString applicationFolder()
{
    const QString& folder = folderOverride();
    return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

unsigned int applicationFolderGeneration()
{
    return generation();
}

void setApplicationFolder(const QString& folder)
{
    folderOverride() = folder;
    ++generation();
}

bool startWithShell(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    // A program is run as such; handing it to the desktop would open it in an editor instead.
    if (info.isExecutable())
        return QProcess::startDetached(info.absoluteFilePath(), QStringList(), info.absolutePath());
    return os::shellOpenPath(info.absoluteFilePath());
}

} // namespace brasko_detail
