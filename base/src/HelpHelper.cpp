// The documentation table and opening documents.
#include "brasko/HelpHelper.h"

#include "ApplicationFolder.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

bool CHelpHelper::m_isInitialised = false;
QString CHelpHelper::m_pathnames[7];

namespace {

constexpr int helpCount = 7;
unsigned int helpGeneration = 0;

QString existingFile(const QString& folder, const QString& name)
{
    const QFileInfo info(QDir(folder).filePath(name));
    return info.isFile() ? QDir::cleanPath(info.absoluteFilePath()) : QString();
}

} // namespace

void CHelpHelper::initialise()
{
    const unsigned int generation = brasko_detail::applicationFolderGeneration();
    if (m_isInitialised && helpGeneration == generation)
        return;
    const QDir application(brasko_detail::applicationFolder());
    const QString product = application.filePath(QStringLiteral("../../Documentation/Current"));
    const QString sdk = application.filePath(QStringLiteral("../../Development/Documentation"));
    static const char* const sdkDocuments[helpCount] = {
        nullptr,          "NimboCppApi.chm",          "NimboDotNetApi.chm",    "NimboCApi.chm",
        "NimboGenTL.chm", "NimboDeploymentGuide.pdf", "NimboReleaseNotes.txt",
    };
    m_pathnames[ProductDocumentation] = existingFile(product, QStringLiteral("index.htm"));
    for (int i = 1; i < helpCount; ++i)
        m_pathnames[i] = existingFile(sdk, QString::fromLatin1(sdkDocuments[i]));
    helpGeneration = generation;
    m_isInitialised = true;
}

bool CHelpHelper::isHelpAvailable(HelpType type)
{
    return !getHelpPath(type).isEmpty();
}

QString CHelpHelper::getHelpPath(HelpType type)
{
    initialise();
    const int index = static_cast<int>(type);
    if (index < 0 || index >= helpCount)
        return QString();
    return m_pathnames[index];
}

bool CHelpHelper::showHelp(HelpType type)
{
    const QString path = getHelpPath(type);
    if (path.isEmpty())
        return false;
    return LaunchExternalHelp(path);
}

bool CHelpHelper::LaunchExternalHelp(const QString& path)
{
    initialise();
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    if (!path.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive))
        return brasko_detail::openDocument(path);

    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()))) {
        // The page exists; the user only needs to be told where it is.
        QMessageBox box(QMessageBox::Information, QStringLiteral("Nimbo"),
                        QStringLiteral("Please open this file in a webbrowser:\n\n%1").arg(path), QMessageBox::Ok);
        box.setTextInteractionFlags(Qt::TextBrowserInteraction);
        box.exec();
    }
    return true;
}
