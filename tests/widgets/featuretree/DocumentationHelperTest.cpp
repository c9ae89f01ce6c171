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
    const QString url = DocumentationHelper::GetHelpUrl("acA<1>", "Gain&Raw");
    EXPECT_TRUE(url.startsWith("file:////opt/docs/?utm_campaign=nimbo&utm_source=")) << url.toStdString();
    EXPECT_TRUE(url.contains("&utm_medium=ardenmoor&rhcsh=1&filter=Camera:acA&lt;1&gt;&rhmapid=Gain&amp;Raw"))
        << url.toStdString();
    EXPECT_TRUE(DocumentationHelper::GetHelpUrl("cam", "").endsWith("&utm_medium=ardenmoor&filter=Camera:cam"));
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
