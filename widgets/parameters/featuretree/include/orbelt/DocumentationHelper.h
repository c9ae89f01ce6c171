// Opens the product documentation (a feature's help page or a tool's start page) in the web browser.
#pragma once

#include "orbelt/Export.h"

#include <QString>

// GUI thread only; the statics live for the process.
class ORBELT_EXPORT DocumentationHelper {
public:
    enum HelpSource { Ardenmoor = 0, Rivask = 1, Pendrel = 2 };

    static bool CallHelp(const QString& camera, const QString& feature);
    static QString GetHelpUrl(const QString& camera, const QString& feature);
    static bool CallProductHelp(HelpSource source);
    static bool OpenUrl(const QString& url);
    static void setOfflineBaseUrl(const QString& folder);
    static void setUseOnlineDocumentation(bool on) { m_useOnlineDocumentation = on; }
    static bool getUseOnlineDocumentation() { return m_useOnlineDocumentation; }
    static void setShowOnlineOfflineDialog(bool on) { m_showOnlineOfflineDialog = on; }
    static bool getShowOnlineOfflineDialog() { return m_showOnlineOfflineDialog; }

private:
    static QString getBaseUrl();

    static QString m_offlineBaseUrl;
    static const QString m_onlineBaseUrl;
    static bool m_useOnlineDocumentation;
    static bool m_showOnlineOfflineDialog;
};
