// The table of companion tools and starting them.
#include "brasko/ExternalToolHelper.h"

#include "ApplicationFolder.h"

#include <QDir>
#include <QFileInfo>

bool CExternalToolHelper::m_isInitialised = false;
QString CExternalToolHelper::m_pathnames[3];

namespace {

constexpr int toolCount = 3;
unsigned int toolGeneration = 0;

} // namespace

void CExternalToolHelper::initialise()
{
    const unsigned int generation = brasko_detail::applicationFolderGeneration();
    if (m_isInitialised && toolGeneration == generation)
        return;
    // Programs carry no ".exe" here.
    static const char* const names[toolCount] = {"Tolvane", "Rivask", "Pendrel"};
    const QDir application(brasko_detail::applicationFolder());
    for (int i = 0; i < toolCount; ++i) {
        const QFileInfo info(application.filePath(QString::fromLatin1(names[i])));
        m_pathnames[i] = info.isFile() ? QDir::cleanPath(info.absoluteFilePath()) : QString();
    }
    toolGeneration = generation;
    m_isInitialised = true;
}

bool CExternalToolHelper::isExternalToolAvailable(ExternalTool tool)
{
    initialise();
    const int index = static_cast<int>(tool);
    return index >= 0 && index < toolCount && !m_pathnames[index].isEmpty();
}

bool CExternalToolHelper::launchExternalTool(ExternalTool tool)
{
    if (!isExternalToolAvailable(tool))
        return false;
    return brasko_detail::startProgram(m_pathnames[static_cast<int>(tool)]);
}
