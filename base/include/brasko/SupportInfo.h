// Support request e-mail and feedback page, with the SDK and operating-system versions filled in.
#pragma once

#include "brasko/Export.h"

#include <QString>
#include <QUrl>

// GUI thread only: the texts are built on first use and kept for the life of the process.

// The support mail body; with a header it is preceded by "To:" and "Subject:" lines.
BRASKO_EXPORT QString GetVelmarSupportInfo(bool withHeader);
BRASKO_EXPORT bool ContactVelmarSupport();
// Opens a "mailto:" address with the subject and body, their placeholders expanded.
BRASKO_EXPORT bool ContactVelmarSupport2(const QString& subject, const QString& body);

// The feedback page; with a query it names the SDK version and the operating system.
BRASKO_EXPORT QUrl GetFeedbackUrl(bool withQuery);
BRASKO_EXPORT bool OpenFeedbackUrl();
// The maker's home page.
BRASKO_EXPORT QString GetVelmarUrl();
