// The about dialog: application name, version, copyright range and organisation over a background picture.
#pragma once

#include "orbelt/Export.h"

class QWidget;
class QString;
class AboutDialogImpl;

// GUI thread only. Not copyable: one handle owns its implementation.
class ORBELT_EXPORT AboutDialog {
public:
    explicit AboutDialog(QWidget* parent = nullptr);
    virtual ~AboutDialog();
    AboutDialog(const AboutDialog&) = delete;
    AboutDialog& operator=(const AboutDialog&) = delete;

    int exec();
    void setProductVersion(const QString& version);
    void setCopyrightTimeRange(const QString& range);
    // The dialog itself, for hosts and tests that must reach it without running it modally.
    QWidget* dialog() const;

private:
    AboutDialogImpl* m_impl;
};
