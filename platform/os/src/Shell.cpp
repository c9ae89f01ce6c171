// Known folders and the desktop's open handler.
#include "os/Shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QStandardPaths>

namespace os {

QString knownFolder(KnownFolder folder)
{
    QStandardPaths::StandardLocation location = QStandardPaths::HomeLocation;
    switch (folder) {
    case KnownFolder::Documents: location = QStandardPaths::DocumentsLocation; break;
    case KnownFolder::Pictures: location = QStandardPaths::PicturesLocation; break;
    case KnownFolder::Videos: location = QStandardPaths::MoviesLocation; break;
    case KnownFolder::Desktop: location = QStandardPaths::DesktopLocation; break;
    case KnownFolder::Home: location = QStandardPaths::HomeLocation; break;
    case KnownFolder::AppData: location = QStandardPaths::AppDataLocation; break;
    case KnownFolder::Temp: location = QStandardPaths::TempLocation; break;
    }
    return QDir::cleanPath(QStandardPaths::writableLocation(location));
}

bool shellOpen(const QUrl& url)
{
    if (!url.isValid() || url.isEmpty())
        return false;
    return QDesktopServices::openUrl(url);
}

bool shellOpenPath(const QString& path)
{
    if (path.isEmpty())
        return false;
    return shellOpen(QUrl::fromLocalFile(path));
}

} // namespace os
