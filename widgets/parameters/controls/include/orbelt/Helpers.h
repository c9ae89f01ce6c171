// Extension plug-in helpers, node-debug switch, stock status icons and the exception printers and warning.
#pragma once

#include "orbelt/Export.h"

#include <QDebug>
#include <QPixmap>
#include <QString>

#include <exception>

namespace GenICam {
class GenericException;
}

ORBELT_EXPORT extern const char* const g_magicExtensionPluginSettingsName; // "ExtensionPlugin"
ORBELT_EXPORT extern const char* const g_magicQuennetPluginName;           // "QuennetPlugin"
ORBELT_EXPORT extern const char* const g_NodemapDebugSwitchName;           // "EnableNodeDebug"

enum ENimboQtStockIcon {
    NimboQtStockIconNone = 1,
    NimboQtStockIconQuestion = 2,
    NimboQtStockIconInformation = 3,
    NimboQtStockIconWarning = 4,
    NimboQtStockIconError = 5,
    NimboQtStockIconShield = 6,
    NimboQtStockIconInformation32 = 7,
    NimboQtStockIconWarning32 = 8,
};

// All of these run in the GUI thread; the cached answers are process-wide statics without locking.
// Not cached: follows the settings every time.
ORBELT_EXPORT QString getExtensionPluginName();
// Cached on the first call for the life of the process.
ORBELT_EXPORT bool isExtensionPluginAvailable();
ORBELT_EXPORT bool amIQuennet();
ORBELT_EXPORT bool isNodeDebugModeEnabled();

// A null pixmap for an icon without image or one that does not load; width or height below 1 keeps
// the image's own size.
ORBELT_EXPORT QPixmap getNimboStockImage(ENimboQtStockIcon icon, int width, int height);

ORBELT_EXPORT QDebug operator<<(QDebug debug, const GenICam::GenericException& e);
ORBELT_EXPORT QDebug operator<<(QDebug debug, const std::exception& e);

// The second line of the two-line warnings, for the exception being handled: "<function>: " and the
// exception as the printers above write it, or "<function>: Unspecified exception occurred." for one of
// another type. Call only inside a catch block.
ORBELT_EXPORT void warnCurrentException(const char* function);
