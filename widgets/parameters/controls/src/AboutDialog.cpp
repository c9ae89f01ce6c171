// The about dialog: application name, version, copyright range and organisation over a background picture.
#include "orbelt/AboutDialog.h"

#include "ui_AboutDialog.h"

#include <QCoreApplication>
#include <QDialog>
#include <QString>

class AboutDialogImpl {
public:
    explicit AboutDialogImpl(QWidget* parent);
    virtual ~AboutDialogImpl();

    void fillLabel();

    QString m_productVersion;
    QString m_copyrightTimeRange = QStringLiteral("2008-2026");
    QDialog* m_dialog;
    Ui::AboutDialog* m_form;
    QString m_template = QStringLiteral("<html><body><p><b>%1</b></p><p>Version %2</p>"
                                        "<p>Copyright &copy; %3 %4</p>"
                                        "<p><a href=\"https://%5\">%5</a></p></body></html>");
};

AboutDialogImpl::AboutDialogImpl(QWidget* parent) : m_dialog(new QDialog(parent)), m_form(new Ui::AboutDialog)
{
    QDialog* d = m_dialog;
    m_form->setupUi(d);
    fillLabel();
    d->setWindowTitle(QStringLiteral("About %1").arg(QCoreApplication::applicationName()));
    d->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

AboutDialogImpl::~AboutDialogImpl()
{
    m_dialog->deleteLater();
    delete m_form;
}

void AboutDialogImpl::fillLabel()
{
    m_form->label->setText(m_template.arg(QCoreApplication::applicationName(), m_productVersion, m_copyrightTimeRange,
                                          QCoreApplication::organizationName(),
                                          QCoreApplication::organizationDomain()));
}

AboutDialog::AboutDialog(QWidget* parent) : m_impl(new AboutDialogImpl(parent)) {}

AboutDialog::~AboutDialog()
{
    delete m_impl;
}

int AboutDialog::exec()
{
    return m_impl->m_dialog->exec();
}

void AboutDialog::setProductVersion(const QString& version)
{
    m_impl->m_productVersion = version;
    m_impl->fillLabel();
}

void AboutDialog::setCopyrightTimeRange(const QString& range)
{
    m_impl->m_copyrightTimeRange = range;
    m_impl->fillLabel();
}

QWidget* AboutDialog::dialog() const
{
    return m_impl->m_dialog;
}
