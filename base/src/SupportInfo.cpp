// Support mail and feedback page texts with the SDK and operating-system versions.
#include "brasko/SupportInfo.h"

#include <nimbo/NimboVersion.h>
#include <os/Shell.h>
#include <os/System.h>

#include <QDesktopServices>
#include <QRegularExpression>
#include <QUrlQuery>

namespace {

const QString supportAddress = QStringLiteral("support@velmar.example");
const QString homePage = QStringLiteral("https://www.velmar.example");
const QString feedbackHost = QStringLiteral("https://feedback.velmar.example");
const QString feedbackPath = QStringLiteral("/nimbofeedback");
const QString supportSubject = QStringLiteral("Nimbo Support Request");

bool is64BitMachine(const std::string& machine)
{
    return machine.find("64") != std::string::npos || machine == "s390x";
}

// "<distribution>, 64-Bit"; the kernel's version when the distribution says nothing; else "N/A".
QString osVersionText()
{
    static const QString text = [] {
        const os::OsVersion version = os::osVersion();
        if (!version.prettyName.empty()) {
            return QString::fromUtf8(version.prettyName.c_str()) +
                   (is64BitMachine(version.machine) ? QStringLiteral(", 64-Bit") : QStringLiteral(", 32-Bit"));
        }
        const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^(\\d+)\\.(\\d+)(?:\\.(\\d+))?"))
                                                  .match(QString::fromLatin1(version.kernel.c_str()));
        if (match.hasMatch()) {
            return QStringLiteral("%1.%2.%3")
                .arg(match.captured(1).toUInt())
                .arg(match.captured(2).toUInt())
                .arg(match.captured(3).toUInt());
        }
        return QStringLiteral("N/A");
    }();
    return text;
}

// The name of the operating system for the feedback page: the table's "Linux" entry with the
// width of the native architecture.
QString osName()
{
    static const QString name = [] {
        const os::OsVersion version = os::osVersion();
        return QStringLiteral("Linux") +
               (is64BitMachine(version.machine) ? QStringLiteral(" (64-Bit)") : QStringLiteral(" (32-Bit)"));
    }();
    return name;
}

QString nimboVersionText()
{
    return QString::fromLatin1(Nimbo::GetNimboVersionString()) + QStringLiteral("-Linux") +
           QString::number(static_cast<int>(sizeof(void*) * 8));
}

QString expandPlaceholders(QString text)
{
    text.replace(QStringLiteral("$(nimboVer)"), nimboVersionText());
    text.replace(QStringLiteral("$(OSVer)"), osVersionText());
    return text;
}

} // namespace

QString GetVelmarSupportInfo(bool withHeader)
{
    QString text;
    if (withHeader)
        text = QStringLiteral("To: ") + supportAddress + QStringLiteral("\n") + QStringLiteral("Subject: ") +
               supportSubject + QStringLiteral("\n\n");
    text += QStringLiteral("Hello Support,\n\n");
    text += QStringLiteral("I'm using Nimbo $(nimboVer) running on $(OSVer).\n\n");
    text += QStringLiteral("<Please add camera model, serial number and problem description here>");
    return expandPlaceholders(text);
}

bool ContactVelmarSupport2(const QString& subject, const QString& body)
{
    QUrl url(QStringLiteral("mailto:") + supportAddress);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"),
                       QString::fromLatin1(QUrl::toPercentEncoding(expandPlaceholders(subject))));
    query.addQueryItem(QStringLiteral("body"), QString::fromLatin1(QUrl::toPercentEncoding(expandPlaceholders(body))));
    url.setQuery(query);
    return QDesktopServices::openUrl(url);
}

bool ContactVelmarSupport()
{
    return ContactVelmarSupport2(supportSubject, GetVelmarSupportInfo(false));
}

QUrl GetFeedbackUrl(bool withQuery)
{
    QUrl url(feedbackHost + feedbackPath);
    if (!withQuery)
        return url;
    static const QUrlQuery query = [] {
        unsigned int major = 0, minor = 0, subminor = 0, build = 0;
        Nimbo::GetNimboVersion(&major, &minor, &subminor, &build);
        QUrlQuery items;
        items.addQueryItem(QStringLiteral("nimbover"), QStringLiteral("Nimbo %1.%2").arg(major).arg(minor));
        items.addQueryItem(QStringLiteral("os"), osName());
        return items;
    }();
    url.setQuery(query);
    return url;
}

bool OpenFeedbackUrl()
{
    return QDesktopServices::openUrl(GetFeedbackUrl(true));
}

QString GetVelmarUrl()
{
    return homePage;
}
