// The folder the help and tool tables are looked up from, and the desktop launch helpers they share.
#pragma once

#include "brasko/Export.h"

#include <QString>

namespace brasko_detail {

// The application's folder, unless one was set in its place.
QString applicationFolder();
// Changes whenever the folder is set, so that tables built from the old folder are rebuilt.
unsigned int applicationFolderGeneration();
// Puts another folder in place of the application's (empty: the application's again). Exported for
// the tests, which install documents and tools in a folder of their own.
BRASKO_EXPORT void setApplicationFolder(const QString& folder);

// Opens an existing document with the desktop's handler; true when a handler took it.
bool openDocument(const QString& path);
// Starts an existing executable file as a program of its own; true when it started.
bool startProgram(const QString& path);

} // namespace brasko_detail
