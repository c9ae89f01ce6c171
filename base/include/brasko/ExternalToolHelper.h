// The companion configuration tools installed beside the application.
#pragma once

#include "brasko/Export.h"

#include <QString>

// GUI thread only: the table is built on first use without a lock.
class BRASKO_EXPORT CExternalToolHelper {
public:
    enum ExternalTool {
        CameraLinkConfigurator = 0, // "Tolvane"
        IpConfigurator = 1,         // "Rivask"
        UsbConfigurator = 2,        // "Pendrel"
    };

    CExternalToolHelper() = delete;
    CExternalToolHelper(const CExternalToolHelper&) = delete;
    CExternalToolHelper& operator=(const CExternalToolHelper&) = delete;

    static bool isExternalToolAvailable(ExternalTool tool);
    // False for an unknown or missing tool, or when it could not be started.
    static bool launchExternalTool(ExternalTool tool);

private:
    static void initialise();

    static bool m_isInitialised;
    static QString m_pathnames[3];
};
