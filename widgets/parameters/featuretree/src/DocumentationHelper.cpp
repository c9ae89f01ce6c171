// Help URLs, the online/offline question and the temporary redirect page handed to the desktop.
#include "orbelt/DocumentationHelper.h"

#include "orbelt/MessageBoxCheckable.h"

#include <nimbo/NimboVersion.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>

namespace {
const char* kCompanySite = "https://www.velmar.example";

QString tr(const char* text)
{
    return QCoreApplication::translate("DocumentationHelper", text);
}

// A camera or feature name as one part of the help URL's query.
QString queryPart(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

// The URL inside the redirect page's single-quoted attributes.
QString attributeEscaped(const QString& url)
{
    return url.toHtmlEscaped().replace('\'', "&#39;");
}

// The URL inside the redirect page's single-quoted script string: quotes, backslashes, line ends and
// the characters that could close the script element are written as escapes.
QString scriptEscaped(const QString& url)
{
    QString result;
    for (const QChar c : url) {
        const ushort code = c.unicode();
        if (code < 0x20 || code == 0x2028 || code == 0x2029 || c == '\\' || c == '\'' || c == '"' || c == '<' ||
            c == '>' || c == '&')
            result += QString("\\u%1").arg(code, 4, 16, QChar('0'));
        else
            result += c;
    }
    return result;
}

QString trackingPart(const QString& medium)
{
    return QString("?utm_campaign=nimbo&utm_source=%1&utm_medium=")
               .arg(QString::fromLatin1(Nimbo::GetNimboVersionString())) +
           medium;
}
} // namespace

QString DocumentationHelper::m_offlineBaseUrl;
const QString DocumentationHelper::m_onlineBaseUrl = "https://docs.velmar.example/";
bool DocumentationHelper::m_useOnlineDocumentation = false;
bool DocumentationHelper::m_showOnlineOfflineDialog = true;

// Without an offline folder there is only the online documentation.
QString DocumentationHelper::getBaseUrl()
{
    return m_useOnlineDocumentation || m_offlineBaseUrl.isEmpty() ? m_onlineBaseUrl : m_offlineBaseUrl;
}

// An empty folder means no offline copy again.
void DocumentationHelper::setOfflineBaseUrl(const QString& folder)
{
    m_offlineBaseUrl = folder.isEmpty() ? QString() : "file:///" + folder;
}

bool DocumentationHelper::CallHelp(const QString& camera, const QString& feature)
{
    return OpenUrl(GetHelpUrl(camera, feature));
}

QString DocumentationHelper::GetHelpUrl(const QString& camera, const QString& feature)
{
    if (!feature.isEmpty())
        return QString("%1%2&rhcsh=1&filter=Camera:%3&rhmapid=%4")
            .arg(getBaseUrl(), trackingPart("ardenmoor"), queryPart(camera), queryPart(feature));
    return QString("%1%2&filter=Camera:%3").arg(getBaseUrl(), trackingPart("ardenmoor"), queryPart(camera));
}

bool DocumentationHelper::CallProductHelp(HelpSource source)
{
    QString medium = "unknown";
    QString page = "velmar_product_documentation.htm";
    switch (source) {
    case Ardenmoor:
        medium = "ardenmoor";
        page = "overview_of_the_ardenmoor.htm";
        break;
    case Rivask:
        medium = "rivask";
        page = "overview_of_the_rivask.htm";
        break;
    case Pendrel:
        medium = "pendrel";
        page = "overview_of_the_pendrel.htm";
        break;
    }
    return OpenUrl(QString("%1%2#t=en/").arg(getBaseUrl(), trackingPart(medium)) + page);
}

bool DocumentationHelper::OpenUrl(const QString& givenUrl)
{
    QString url = givenUrl;
    const QString title = tr("Velmar Product Documentation");
    const QString onlineUrl =
        m_offlineBaseUrl.isEmpty() ? url : QString(url).replace(m_offlineBaseUrl, m_onlineBaseUrl, Qt::CaseSensitive);
    // The question only makes sense when an offline copy exists.
    if (m_showOnlineOfflineDialog && !m_useOnlineDocumentation && !m_offlineBaseUrl.isEmpty()) {
        MessageBoxCheckable box("DocumentationHelper", QMessageBox::Information, title,
                                tr("<p>Opening the offline version of the Velmar Product Documentation.</p> <p>An "
                                   "online version, which is updated regularly, is available as well. This offers "
                                   "the most up-to-date information.</p><p>Do you want to open the online version "
                                   "instead?</p><p>To change your preferences at a later stage, go to the "
                                   "<b>Options</b> dialog.</p>"),
                                QMessageBox::Yes | QMessageBox::No, nullptr);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        box.setSaveResultOnButton(QMessageBox::Yes | QMessageBox::No);
        if (box.exec() == QMessageBox::Yes) {
            m_useOnlineDocumentation = true;
            url = onlineUrl;
            // The choice of the online version holds for later runs too, ticked or not.
            box.saveDoNotShowAgain(QMessageBox::Yes);
        }
    }
    url.replace("t=en/", "t=en%2F", Qt::CaseSensitive);

    auto* page = new QTemporaryFile(QDir::tempPath() + "/QZT_XXXXXX.htm", QCoreApplication::instance());
    if (!page->open()) {
        delete page;
        return false;
    }
    page->write(QString("<!DOCTYPE HTML><html lang='en-US'>    <head>        <meta charset='UTF-8'>        <meta "
                        "http-equiv='refresh' content='0; url=%1'>        <script type='text/javascript'>            "
                        "window.location.href='%2'        </script>        <title>Page Redirection</title>    "
                        "</head>    <body>         If you are not redirected automatically, please follow <a "
                        "href='%1'>this link</a>.    </body></html>")
                    .arg(attributeEscaped(url), scriptEscaped(url))
                    .toLocal8Bit());
    page->close();
    QTimer::singleShot(120000, page, &QObject::deleteLater);
    const bool opened =
        QDesktopServices::openUrl(QUrl(QString("file:///%1").arg(page->fileName()), QUrl::TolerantMode));
    if (!opened) {
        const QString support = QString(kCompanySite) + "/en/support/support-contact/";
        QMessageBox box(QMessageBox::Information, title,
                        tr("<p>Error opening the Velmar Product Documentation.</p><p>Possible causes :<ul><li>no "
                           "internet connection</li><li>no browser installed</li></ul></p><p>Please check your "
                           "system for any problems. If you can't determine the source of the problem, please "
                           "contact the Velmar support:</p>") +
                            QString("<a href='%1'>%1</a>").arg(support),
                        QMessageBox::Ok, nullptr);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        box.exec();
    }
    return opened;
}
