// Documentation and tool look-up, opening documents and addresses, and the support texts.
#include "brasko/ExternalToolHelper.h"
#include "brasko/HelpHelper.h"
#include "brasko/SupportInfo.h"

#include "ApplicationFolder.h"

#include "testsupport/TempDir.h"

#include <nimbo/NimboVersion.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <memory>

// Stands in for the desktop: records what it was asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { urls.append(url); }

public:
    QList<QUrl> urls;
};

namespace {

// An application folder of its own, two levels below the documentation folders, with the desktop
// replaced by a recorder for files, mail and web addresses.
class HelpSupport : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(filePath("suite/bin")));
        appFolder = filePath("suite/bin");
        brasko_detail::setApplicationFolder(appFolder);
        for (const char* scheme : {"file", "mailto", "https"})
            QDesktopServices::setUrlHandler(scheme, &recorder, "open");
    }
    void TearDown() override
    {
        for (const char* scheme : {"file", "mailto", "https"})
            QDesktopServices::unsetUrlHandler(scheme);
        brasko_detail::setApplicationFolder(QString());
    }

    // Creates a file (and its folders) relative to the temporary root.
    QString install(const QString& relative, const QByteArray& content = "x", bool executable = false)
    {
        const QString path = QDir::cleanPath(filePath(relative));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        if (executable)
            file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
        // The tables are built once: start afresh so that the new file is seen.
        brasko_detail::setApplicationFolder(appFolder);
        return path;
    }

    // Makes every open request fail, as when no browser is installed.
    void desktopRefuses()
    {
        for (const char* scheme : {"file", "mailto", "https"})
            QDesktopServices::setUrlHandler(scheme, &recorder, "noSuchHandler");
    }

    QString appFolder;
    UrlRecorder recorder;
};

// Closes the next modal dialog that appears and keeps its title and text; gives up after a while
// so that a test can never hang on a dialog.
class ModalCloser {
public:
    ModalCloser()
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (++m_attempts > 500) {
                m_timer.stop();
                return;
            }
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                title = box->windowTitle();
                text = box->text();
                icon = box->icon();
                interaction = box->textInteractionFlags();
                if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                    ok->click();
                else
                    box->reject();
                ++closed;
            }
        });
        m_timer.start();
    }

    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::TextInteractionFlags interaction;
    int closed = 0;

private:
    QTimer m_timer;
    int m_attempts = 0;
};

} // namespace

TEST_F(HelpSupport, NothingInstalledMeansNoHelpAndNoMessage)
{
    ModalCloser closer;
    for (int type = 0; type <= 6; ++type) {
        SCOPED_TRACE(type);
        const auto help = static_cast<CHelpHelper::HelpType>(type);
        EXPECT_FALSE(CHelpHelper::isHelpAvailable(help));
        EXPECT_TRUE(CHelpHelper::getHelpPath(help).isEmpty());
        EXPECT_FALSE(CHelpHelper::showHelp(help));
    }
    EXPECT_TRUE(CHelpHelper::getHelpPath(static_cast<CHelpHelper::HelpType>(7)).isEmpty());
    EXPECT_FALSE(CHelpHelper::isHelpAvailable(static_cast<CHelpHelper::HelpType>(7)));
    QCoreApplication::processEvents();
    EXPECT_EQ(closer.closed, 0);
    EXPECT_TRUE(recorder.urls.isEmpty());
}

TEST_F(HelpSupport, InstalledDocumentsAreFoundAndOpened)
{
    const QString product = install("Documentation/Current/index.htm");
    const QString guide = install("Development/Documentation/NimboDeploymentGuide.pdf");

    EXPECT_TRUE(CHelpHelper::isHelpAvailable(CHelpHelper::ProductDocumentation));
    EXPECT_EQ(CHelpHelper::getHelpPath(CHelpHelper::ProductDocumentation), product);
    EXPECT_EQ(CHelpHelper::getHelpPath(CHelpHelper::SdkDeploymentGuide), guide);
    EXPECT_FALSE(CHelpHelper::isHelpAvailable(CHelpHelper::SdkCppApiHelp));

    ASSERT_TRUE(CHelpHelper::showHelp(CHelpHelper::ProductDocumentation));
    ASSERT_TRUE(CHelpHelper::showHelp(CHelpHelper::SdkDeploymentGuide));
    ASSERT_EQ(recorder.urls.size(), 2);
    EXPECT_EQ(recorder.urls[0], QUrl::fromLocalFile(product));
    EXPECT_EQ(recorder.urls[1], QUrl::fromLocalFile(guide));
}

TEST_F(HelpSupport, HtmlPagesOpenInTheBrowserWhateverTheCaseOfTheirExtension)
{
    ModalCloser closer;
    const QString lower = install("pages/a.html");
    const QString upper = install("pages/b.HTML");
    EXPECT_TRUE(CHelpHelper::LaunchExternalHelp(lower));
    EXPECT_TRUE(CHelpHelper::LaunchExternalHelp(upper));
    ASSERT_EQ(recorder.urls.size(), 2);
    EXPECT_EQ(recorder.urls[0], QUrl::fromLocalFile(lower));
    EXPECT_EQ(recorder.urls[1], QUrl::fromLocalFile(upper));
    EXPECT_EQ(closer.closed, 0);

    EXPECT_FALSE(CHelpHelper::LaunchExternalHelp(filePath("pages/missing.html")));
    EXPECT_FALSE(CHelpHelper::LaunchExternalHelp(QString()));
    EXPECT_EQ(recorder.urls.size(), 2);
}

TEST_F(HelpSupport, AnHtmlPageNoBrowserTookIsNamedInAMessage)
{
    const QString page = install("pages/manual.html");
    desktopRefuses();
    ModalCloser closer;
    EXPECT_TRUE(CHelpHelper::LaunchExternalHelp(page)) << "the page exists, so help was given";
    EXPECT_EQ(closer.closed, 1);
    EXPECT_EQ(closer.title, "Nimbo");
    EXPECT_EQ(closer.text, "Please open this file in a webbrowser:\n\n" + page);
    EXPECT_EQ(closer.icon, QMessageBox::Information);
    EXPECT_TRUE(closer.interaction.testFlag(Qt::TextSelectableByMouse));
    EXPECT_TRUE(closer.interaction.testFlag(Qt::LinksAccessibleByMouse));
}

TEST_F(HelpSupport, OtherDocumentsNoHandlerTookAreReportedAsNotOpened)
{
    const QString pdf = install("pages/guide.pdf");
    desktopRefuses();
    ModalCloser closer;
    EXPECT_FALSE(CHelpHelper::LaunchExternalHelp(pdf));
    EXPECT_EQ(closer.closed, 0);
}

TEST_F(HelpSupport, ExternalToolsAreFoundBesideTheApplicationAndStarted)
{
    const struct {
        CExternalToolHelper::ExternalTool tool;
        const char* name;
    } tools[] = {{CExternalToolHelper::CameraLinkConfigurator, "Tolvane"},
                 {CExternalToolHelper::IpConfigurator, "Rivask"},
                 {CExternalToolHelper::UsbConfigurator, "Pendrel"}};
    for (const auto& t : tools) {
        SCOPED_TRACE(t.name);
        EXPECT_FALSE(CExternalToolHelper::isExternalToolAvailable(t.tool));
        EXPECT_FALSE(CExternalToolHelper::launchExternalTool(t.tool));
    }
    EXPECT_FALSE(CExternalToolHelper::launchExternalTool(static_cast<CExternalToolHelper::ExternalTool>(3)));

    const QString marker = filePath("suite/bin/started");
    install("suite/bin/Tolvane", "#!/bin/sh\necho started > \"$(dirname \"$0\")/started\"\n", true);
    EXPECT_TRUE(CExternalToolHelper::isExternalToolAvailable(CExternalToolHelper::CameraLinkConfigurator));
    EXPECT_FALSE(CExternalToolHelper::isExternalToolAvailable(CExternalToolHelper::IpConfigurator));
    ASSERT_TRUE(CExternalToolHelper::launchExternalTool(CExternalToolHelper::CameraLinkConfigurator));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(marker); }, 10000)) << "the tool did not run";

    // A tool file that cannot be run is there, but does not start (nor is it handed to an editor).
    install("suite/bin/Rivask", "not a program", false);
    EXPECT_TRUE(CExternalToolHelper::isExternalToolAvailable(CExternalToolHelper::IpConfigurator));
    EXPECT_FALSE(CExternalToolHelper::launchExternalTool(CExternalToolHelper::IpConfigurator));
    EXPECT_TRUE(recorder.urls.isEmpty());
}

TEST_F(HelpSupport, SupportTextNamesTheSdkAndTheSystem)
{
    const QString version = QString::fromLatin1(Nimbo::GetNimboVersionString()) + "-Linux64";
    const QString body = GetVelmarSupportInfo(false);
    EXPECT_TRUE(body.startsWith("Hello Support,\n\nI'm using Nimbo " + version + " running on ")) << body.toStdString();
    EXPECT_TRUE(body.endsWith(".\n\n<Please add camera model, serial number and problem description here>"));
    EXPECT_FALSE(body.contains("$(")) << "placeholders are filled in";
    const QString system = body.section(" running on ", 1).section(".\n\n", 0, 0);
    EXPECT_FALSE(system.isEmpty());

    const QString withHeader = GetVelmarSupportInfo(true);
    EXPECT_TRUE(withHeader.startsWith("To: "));
    EXPECT_TRUE(withHeader.startsWith("To: support@velmar.example\nSubject: Nimbo Support Request\n\n"));
    EXPECT_TRUE(withHeader.endsWith(body));
}

TEST_F(HelpSupport, SupportMailCarriesSubjectAndBodyIntact)
{
    const QString body = "a & b = c + d\n100% #1 ?x=y\n$(nimboVer)";
    ASSERT_TRUE(ContactVelmarSupport2("Help with $(OSVer)", body));
    ASSERT_EQ(recorder.urls.size(), 1);
    const QUrl mail = recorder.urls[0];
    EXPECT_EQ(mail.scheme(), "mailto");
    EXPECT_EQ(mail.path(), "support@velmar.example");
    const QUrlQuery query(mail);
    EXPECT_EQ(query.queryItemValue("body", QUrl::FullyDecoded),
              "a & b = c + d\n100% #1 ?x=y\n" + QString::fromLatin1(Nimbo::GetNimboVersionString()) + "-Linux64");
    const QString subject = query.queryItemValue("subject", QUrl::FullyDecoded);
    EXPECT_TRUE(subject.startsWith("Help with "));
    EXPECT_FALSE(subject.contains("$("));

    recorder.urls.clear();
    ASSERT_TRUE(ContactVelmarSupport());
    ASSERT_EQ(recorder.urls.size(), 1);
    const QUrlQuery standard(recorder.urls[0]);
    EXPECT_EQ(standard.queryItemValue("subject", QUrl::FullyDecoded), "Nimbo Support Request");
    EXPECT_EQ(standard.queryItemValue("body", QUrl::FullyDecoded), GetVelmarSupportInfo(false));

    desktopRefuses();
    EXPECT_FALSE(ContactVelmarSupport());
}

TEST_F(HelpSupport, FeedbackAddressNamesTheSdkVersionAndTheSystem)
{
    const QUrl plain = GetFeedbackUrl(false);
    EXPECT_TRUE(plain.isValid());
    EXPECT_EQ(plain.path(), "/nimbofeedback");
    EXPECT_FALSE(plain.hasQuery());

    unsigned int major = 0, minor = 0, subminor = 0, build = 0;
    Nimbo::GetNimboVersion(&major, &minor, &subminor, &build);
    const QUrl withQuery = GetFeedbackUrl(true);
    EXPECT_EQ(withQuery.adjusted(QUrl::RemoveQuery), plain);
    const QUrlQuery query(withQuery);
    EXPECT_EQ(query.queryItemValue("nimbover", QUrl::FullyDecoded), QString("Nimbo %1.%2").arg(major).arg(minor));
    const QString os = query.queryItemValue("os", QUrl::FullyDecoded);
    EXPECT_TRUE(os == "Linux (64-Bit)" || os == "Linux (32-Bit)") << os.toStdString();

    ASSERT_TRUE(OpenFeedbackUrl());
    ASSERT_EQ(recorder.urls.size(), 1);
    EXPECT_EQ(recorder.urls[0], withQuery);

    const QUrl home(GetVelmarUrl());
    EXPECT_TRUE(home.isValid());
    EXPECT_EQ(home.scheme(), "https");
}

#include "HelpSupportTest.moc"
