// Extension plug-in helpers, node-debug switch, stock status icons and the exception printers.
#include "orbelt/Helpers.h"

#include <GenICam/CaughtException.h>
#include <GenICam/GenericException.h>
#include <lorvish/PluginManager.h>

#include <QHash>
#include <QSettings>

const char* const g_magicExtensionPluginSettingsName = "ExtensionPlugin";
const char* const g_magicQuennetPluginName = "QuennetPlugin";
const char* const g_NodemapDebugSwitchName = "EnableNodeDebug";

namespace {
// Cached answers; 0 = not yet computed, 1 = false, 2 = true.
int s_extensionAvailable = 0;
int s_quennet = 0;
int s_nodeDebug = 0;
} // namespace

QString getExtensionPluginName()
{
    QSettings settings;
    if (!settings.contains(g_magicExtensionPluginSettingsName) &&
        Lorvish::PluginManager::isPluginAvailable(QString::fromLatin1(g_magicQuennetPluginName)))
        return QString::fromLatin1(g_magicQuennetPluginName);
    return settings.value(g_magicExtensionPluginSettingsName).toString();
}

bool isExtensionPluginAvailable()
{
    if (s_extensionAvailable == 0)
        s_extensionAvailable = Lorvish::PluginManager::isPluginAvailable(getExtensionPluginName()) ? 2 : 1;
    return s_extensionAvailable == 2;
}

bool amIQuennet()
{
    if (s_quennet == 0)
        s_quennet =
            (isExtensionPluginAvailable() && getExtensionPluginName() == QLatin1String(g_magicQuennetPluginName)) ? 2
                                                                                                                  : 1;
    return s_quennet == 2;
}

bool isNodeDebugModeEnabled()
{
    if (s_nodeDebug == 0) {
        QSettings settings;
        s_nodeDebug = (settings.value(g_NodemapDebugSwitchName, false).toBool() || amIQuennet()) ? 2 : 1;
    }
    return s_nodeDebug == 2;
}

QPixmap getNimboStockImage(ENimboQtStockIcon icon, int width, int height)
{
    static const QHash<int, QString> images = {
        {1, QString()},
        {2, QStringLiteral(":/orbelt/Resources/info.png")},
        {3, QStringLiteral(":/orbelt/Resources/info.png")},
        {4, QStringLiteral(":/orbelt/Resources/exclamation.png")},
        {5, QStringLiteral(":/orbelt/Resources/error.png")},
        {6, QString()},
        {7, QStringLiteral(":/orbelt/Resources/info32.png")},
        {8, QStringLiteral(":/orbelt/Resources/exclamation32.png")},
    };
    const QString path = images.value(int(icon));
    if (path.isEmpty())
        return QPixmap();
    QPixmap pixmap;
    if (!pixmap.load(path))
        return QPixmap();
    if (width < 1 || height < 1)
        return pixmap;
    return pixmap.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QDebug operator<<(QDebug debug, const GenICam::GenericException& e)
{
    QDebugStateSaver saver(debug);
    debug.resetFormat();
    debug << "Exception occurred:\n"
          << e.GetDescription() << "\n"
          << e.GetSourceFileName() << ":" << e.GetSourceLine() << "\n";
    return debug;
}

QDebug operator<<(QDebug debug, const std::exception& e)
{
    QDebugStateSaver saver(debug);
    debug.resetFormat();
    debug << "Exception occurred:\n" << e.what() << "\n";
    return debug;
}

void warnCurrentException(const char* function)
{
    const GenICam::CaughtException caught = GenICam::CaughtException::Current();
    QDebug line = qWarning().noquote().nospace();
    line << function << ": ";
    if (const GenICam::GenericException* e = caught.GenICamException())
        line << *e;
    else if (const std::exception* e = caught.StdException())
        line << *e;
    else
        line << GenICam::UnspecifiedExceptionText;
}
