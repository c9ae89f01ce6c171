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

bool openDocument(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    return os::shellOpenPath(info.absoluteFilePath());
}

bool startProgram(const QString& path)
{
    const QFileInfo info(path);
    // Handing a program to the desktop would open it in an editor instead of running it.
    if (!info.isFile() || !info.isExecutable())
        return false;
    return QProcess::startDetached(info.absoluteFilePath(), QStringList(), info.absolutePath());
}

} // namespace brasko_detail
