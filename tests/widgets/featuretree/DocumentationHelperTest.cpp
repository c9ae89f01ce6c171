// Help URLs and the redirect page handed to the desktop (caught here by a URL handler, so no browser starts).
#include <orbelt/DocumentationHelper.h>

#include <QDesktopServices>
#include <QFile>
#include <QObject>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

class UrlCatcher : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { urls << url; }

public:
    QList<QUrl> urls;
};

TEST(DocumentationHelperTest, HelpUrlNamesCameraAndFeature)
{
    DocumentationHelper::setUseOnlineDocumentation(false);
    DocumentationHelper::setOfflineBaseUrl("/opt/docs/");
    // Names are parts of the query: percent-encoded, so that "&" or a quote cannot end them.
    const QString url = DocumentationHelper::GetHelpUrl("acA<1> 'x'", "Gain&Raw");
    EXPECT_TRUE(url.startsWith("file:////opt/docs/?utm_campaign=nimbo&utm_source=")) << url.toStdString();
    EXPECT_TRUE(url.contains("&utm_medium=ardenmoor&rhcsh=1&filter=Camera:acA%3C1%3E%20%27x%27&rhmapid=Gain%26Raw"))
        << url.toStdString();
    EXPECT_TRUE(DocumentationHelper::GetHelpUrl("cam", "").endsWith("&utm_medium=ardenmoor&filter=Camera:cam"));
    DocumentationHelper::setOfflineBaseUrl(QString());
}

TEST(DocumentationHelperTest, WithoutAnOfflineFolderHelpIsOnline)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    DocumentationHelper::setOfflineBaseUrl(QString());
    DocumentationHelper::setUseOnlineDocumentation(false);
    const QString url = DocumentationHelper::GetHelpUrl("cam", "Gain");
    EXPECT_TRUE(url.startsWith("https://")) << url.toStdString();
    EXPECT_FALSE(url.startsWith("?")) << url.toStdString();
    // No offline copy, so no question about it: the page opens at once.
    EXPECT_TRUE(DocumentationHelper::CallHelp("cam", "Gain"));
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 1);
    QFile page(catcher.urls[0].toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromLocal8Bit(page.readAll()).contains("url=https://"));
}

TEST(DocumentationHelperTest, RedirectPageKeepsTheUrlInsideEachContext)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    DocumentationHelper::setUseOnlineDocumentation(true);
    // A URL made elsewhere may still hold characters that end a string or an attribute.
    EXPECT_TRUE(DocumentationHelper::OpenUrl("https://docs.example/a?x=1&y='+alert(1)+'</script>\\"));
    DocumentationHelper::setUseOnlineDocumentation(false);
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 1);
    QFile page(catcher.urls[0].toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString text = QString::fromLocal8Bit(page.readAll());
    EXPECT_TRUE(text.contains("window.location.href='https://docs.example/a?x=1\\u0026y=\\u0027+alert(1)+\\u0027"
                              "\\u003c/script\\u003e\\u005c'"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("href='https://docs.example/a?x=1&amp;y=&#39;+alert(1)+&#39;&lt;/script&gt;\\'"))
        << text.toStdString();
    EXPECT_EQ(text.count("</script>"), 1);
}

TEST(DocumentationHelperTest, OnlineChoiceOpensARedirectPageWithoutAsking)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    DocumentationHelper::setUseOnlineDocumentation(true);
    EXPECT_TRUE(DocumentationHelper::OpenUrl("https://docs.example/index.htm?a=1#t=en/page.htm"));
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 1);
    QFile page(catcher.urls[0].toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << catcher.urls[0].toString().toStdString();
    const QString text = QString::fromLocal8Bit(page.readAll());
    EXPECT_TRUE(text.contains("url=https://docs.example/index.htm?a=1#t=en%2Fpage.htm'"));
    EXPECT_EQ(text.count("https://docs.example/index.htm?a=1#t=en%2Fpage.htm"), 3);
    DocumentationHelper::setUseOnlineDocumentation(false);
}

} // namespace

#include "DocumentationHelperTest.moc"
