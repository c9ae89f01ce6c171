// Known folders and opening documents or addresses with the desktop's handler.
#pragma once

#include <QString>
#include <QUrl>

namespace os {

enum class KnownFolder { Documents, Pictures, Videos, Desktop, Home, AppData, Temp };

// The folder's path (no trailing separator); empty when the desktop has none.
QString knownFolder(KnownFolder folder);

// Opens a file, folder or address with the desktop's handler; false when none took it.
bool shellOpen(const QUrl& url);
bool shellOpenPath(const QString& path);

} // namespace os
