// The installed documentation: which documents exist and opening them.
#pragma once

#include "brasko/Export.h"

#include <QString>

// GUI thread only: the table is built on first use without a lock.
class BRASKO_EXPORT CHelpHelper {
public:
    enum HelpType {
        ProductDocumentation = 0, // "index.htm" in ../../Documentation/Current
        SdkCppApiHelp = 1,        // the SDK documents in ../../Development/Documentation
        SdkDotNetApiHelp = 2,
        SdkCApiHelp = 3,
        SdkGenTLHelp = 4,
        SdkDeploymentGuide = 5,
        SdkReleaseNotes = 6,
    };

    CHelpHelper() = delete;
    CHelpHelper(const CHelpHelper&) = delete;
    CHelpHelper& operator=(const CHelpHelper&) = delete;

    static bool isHelpAvailable(HelpType type);
    // Empty when the document is not installed or the type is unknown.
    static QString getHelpPath(HelpType type);
    static bool showHelp(HelpType type);
    // Opens an HTML file in the browser (or says where it is when no browser took it); starts any
    // other file with the desktop's handler. False when the file does not exist.
    static bool LaunchExternalHelp(const QString& path);

private:
    static void initialise();

    static bool m_isInitialised;
    static QString m_pathnames[7];
};
