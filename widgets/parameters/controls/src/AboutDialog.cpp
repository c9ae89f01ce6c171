// The about dialog: application name, version, copyright range and organisation over a background picture.
#include "orbelt/AboutDialog.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpacerItem>
#include <QString>

class AboutDialogImpl {
public:
    explicit AboutDialogImpl(QWidget* parent);
    virtual ~AboutDialogImpl();

    void fillLabel();

    QString m_productVersion;
    QString m_copyrightTimeRange = QStringLiteral("2008-2026");
    QDialog* m_dialog;
    struct Form {
        QFrame* upperFrame;
        QLabel* backgroundImage;
        QLabel* label;
        QFrame* lowerFrame;
        QHBoxLayout* horizontalLayout;
        QLabel* labelUrl;
        QSpacerItem* spacer;
        QDialogButtonBox* buttonBox;
    };
    Form* m_form;
    QString m_template = QStringLiteral("<html><body><p><b>%1</b></p><p>Version %2</p>"
                                        "<p>Copyright &copy; %3 %4</p>"
                                        "<p><a href=\"https://%5\">%5</a></p></body></html>");
};

AboutDialogImpl::AboutDialogImpl(QWidget* parent) : m_dialog(new QDialog(parent)), m_form(new Form)
{
    QDialog* d = m_dialog;
    if (d->objectName().isEmpty())
        d->setObjectName(QStringLiteral("AboutDialog"));
    d->resize(500, 312);
    d->setMinimumSize(500, 312);
    d->setMaximumSize(500, 312);
    d->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    d->setWindowModality(Qt::ApplicationModal);
    d->setModal(true);
    d->setAutoFillBackground(true);
    d->setStyleSheet(QString());

    m_form->upperFrame = new QFrame(d);
    m_form->upperFrame->setObjectName(QStringLiteral("upperFrame"));
    m_form->upperFrame->setGeometry(-1, 0, 501, 270);
    m_form->upperFrame->setFrameShape(QFrame::StyledPanel);
    m_form->upperFrame->setFrameShadow(QFrame::Raised);

    m_form->backgroundImage = new QLabel(m_form->upperFrame);
    m_form->backgroundImage->setObjectName(QStringLiteral("backgroundImage"));
    m_form->backgroundImage->setGeometry(0, 0, 500, 270);
    m_form->backgroundImage->setPixmap(QPixmap(QStringLiteral(":/orbelt/Resources/AboutBackground.png")));

    m_form->label = new QLabel(m_form->upperFrame);
    m_form->label->setObjectName(QStringLiteral("label"));
    m_form->label->setGeometry(190, 80, 249, 159);
    m_form->label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_form->label->setFrameShape(QFrame::NoFrame);
    m_form->label->setWordWrap(true);
    m_form->label->setOpenExternalLinks(true);

    m_form->lowerFrame = new QFrame(d);
    m_form->lowerFrame->setObjectName(QStringLiteral("lowerFrame"));
    m_form->lowerFrame->setGeometry(0, 270, 500, 42);
    m_form->lowerFrame->setLineWidth(0);
    m_form->horizontalLayout = new QHBoxLayout(m_form->lowerFrame);
    m_form->horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    m_form->horizontalLayout->setContentsMargins(10, 0, 10, 0);
    m_form->labelUrl = new QLabel(m_form->lowerFrame);
    m_form->labelUrl->setObjectName(QStringLiteral("labelUrl"));
    m_form->labelUrl->setPixmap(QPixmap(QStringLiteral(":/orbelt/Resources/logo.png")));
    m_form->horizontalLayout->addWidget(m_form->labelUrl);
    m_form->spacer = new QSpacerItem(185, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
    m_form->horizontalLayout->addItem(m_form->spacer);
    m_form->buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok, m_form->lowerFrame);
    m_form->buttonBox->setObjectName(QStringLiteral("buttonBox"));
    m_form->horizontalLayout->addWidget(m_form->buttonBox);
    QObject::connect(m_form->buttonBox, &QDialogButtonBox::accepted, d, &QDialog::accept);

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
