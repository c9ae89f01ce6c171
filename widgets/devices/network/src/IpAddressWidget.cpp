// A dialog for a static IPv4 configuration: address, subnet mask, default gateway and optional MAC address.
#include "orbelt/IpAddressWidget.h"

#include "orbelt/IpAddressValidator.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

namespace {
bool acceptable(const QLineEdit* edit, const QValidator* validator)
{
    QString text = edit->text();
    int pos = 0;
    return validator->validate(text, pos) == QValidator::Acceptable;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, int maxLength)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(maxLength);
    return edit;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setBuddy(buddy);
    return label;
}
} // namespace

IpAddressWidget::IpAddressWidget(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("IpAddressWidgetClass"));
    setWindowTitle(QStringLiteral("IP Address"));
    resize(295, 240);
    setMinimumSize(295, 340);
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);

    auto* vboxLayout = new QVBoxLayout(this);
    vboxLayout->setObjectName(QStringLiteral("vboxLayout"));
    m_labelHeader = new QLabel(QStringLiteral("Please specify an IP address."), this);
    m_labelHeader->setObjectName(QStringLiteral("labelHeader"));
    m_labelHeader->setWordWrap(true);
    vboxLayout->addWidget(m_labelHeader);

    auto* gridLayout = new QGridLayout();
    gridLayout->setObjectName(QStringLiteral("gridLayout"));
    m_editMacAddress = makeEdit(this, "editMacAddress", 17);
    m_editIpAddress = makeEdit(this, "editIpAddress", 16);
    m_editNetmask = makeEdit(this, "editNetmask", 16);
    m_editDefaultGateway = makeEdit(this, "editDefaultGateway", 16);
    m_labelMacAddress = makeLabel(this, "labelMacAddress", QStringLiteral("&MAC Address:"), m_editMacAddress);
    gridLayout->addWidget(m_labelMacAddress, 0, 0);
    gridLayout->addWidget(m_editMacAddress, 0, 1);
    gridLayout->addWidget(makeLabel(this, "labelIpAddress", QStringLiteral("IP &Address:"), m_editIpAddress), 1, 0);
    gridLayout->addWidget(m_editIpAddress, 1, 1);
    gridLayout->addWidget(makeLabel(this, "labelNetmask", QStringLiteral("&Subnet Mask:"), m_editNetmask), 2, 0);
    gridLayout->addWidget(m_editNetmask, 2, 1);
    gridLayout->addWidget(
        makeLabel(this, "labelDefaultGateway", QStringLiteral("Default &Gateway:"), m_editDefaultGateway), 3, 0);
    gridLayout->addWidget(m_editDefaultGateway, 3, 1);
    vboxLayout->addLayout(gridLayout);
    vboxLayout->addStretch();

    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    vboxLayout->addWidget(line);

    auto* hboxLayout = new QHBoxLayout();
    hboxLayout->setObjectName(QStringLiteral("hboxLayout"));
    hboxLayout->addStretch();
    m_btnOk = new QPushButton(QStringLiteral("OK"), this);
    m_btnOk->setObjectName(QStringLiteral("btnOk"));
    m_btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_btnCancel->setObjectName(QStringLiteral("btnCancel"));
    hboxLayout->addWidget(m_btnOk);
    hboxLayout->addWidget(m_btnCancel);
    vboxLayout->addLayout(hboxLayout);

    m_editMacAddress->setValidator(new QMacAddressValidator(QStringLiteral(" :-"), this));
    m_editIpAddress->setValidator(new QIpAddressValidator(this));
    m_editNetmask->setValidator(new QIpNetmaskValidator(this));
    auto* gatewayValidator = new QIpAddressWithNetmaskValidator(m_editNetmask, this);
    gatewayValidator->setAllowNullAddress(true);
    m_editDefaultGateway->setValidator(gatewayValidator);
    m_ipCheck = new QIpAddressWithNetmaskValidator(m_editNetmask, this);

    setShowMacAddress(false);

    connect(m_btnOk, &QPushButton::clicked, this, &IpAddressWidget::accept);
    connect(m_btnCancel, &QPushButton::clicked, this, &IpAddressWidget::reject);
    connect(m_editNetmask, &QLineEdit::textEdited, this, [this] { m_netmaskEdited = true; });
    connect(m_editDefaultGateway, &QLineEdit::textEdited, this, [this] { m_gatewayEdited = true; });
    for (QLineEdit* edit : {m_editMacAddress, m_editIpAddress, m_editNetmask, m_editDefaultGateway})
        connect(edit, &QLineEdit::textChanged, this, &IpAddressWidget::updateButtons);
    m_editIpAddress->installEventFilter(this);
    m_editNetmask->installEventFilter(this);
    updateButtons();
}

QString IpAddressWidget::ipAddress() const
{
    return m_editIpAddress->text();
}
void IpAddressWidget::setIpAddress(const QString& address)
{
    m_editIpAddress->setText(address);
    updateButtons();
}
QString IpAddressWidget::subnetMask() const
{
    return m_editNetmask->text();
}
void IpAddressWidget::setSubnetMask(const QString& mask)
{
    m_editNetmask->setText(mask);
    updateButtons();
}
QString IpAddressWidget::defaultGateway() const
{
    return m_editDefaultGateway->text();
}
void IpAddressWidget::setDefaultGateway(const QString& gateway)
{
    m_editDefaultGateway->setText(gateway);
    updateButtons();
}
QString IpAddressWidget::macAddress() const
{
    return m_editMacAddress->text();
}
void IpAddressWidget::setMacAddress(const QString& address)
{
    m_editMacAddress->setText(address);
    updateButtons();
}
QString IpAddressWidget::headerText() const
{
    return m_labelHeader->text();
}
void IpAddressWidget::setHeaderText(const QString& text)
{
    m_labelHeader->setText(text);
}

void IpAddressWidget::setShowMacAddress(bool show)
{
    m_showMacAddress = show;
    m_labelMacAddress->setVisible(show);
    m_editMacAddress->setVisible(show);
    updateButtons();
}

void IpAddressWidget::setAllowBroadcastAddress(bool allow)
{
    m_allowBroadcast = allow;
    m_ipCheck->setAllowBroadcastAddress(allow);
    updateButtons();
}

void IpAddressWidget::setAllowMulticastAddress(bool allow)
{
    m_allowMulticast = allow;
    m_ipCheck->setAllowMulticastAddress(allow);
    updateButtons();
}

void IpAddressWidget::setAllowExperiemntalPurposeAddress(bool allow)
{
    m_allowExperimental = allow;
    m_ipCheck->setAllowExperimentalPurposeAddress(allow);
    updateButtons();
}

QHostAddress IpAddressWidget::subnetFromAddress(const QHostAddress& address)
{
    bool ok = false;
    const quint32 value = address.toIPv4Address(&ok);
    if (!ok)
        return QHostAddress();
    if ((value >> 31) == 0)
        return QHostAddress(QStringLiteral("255.0.0.0"));
    if ((value >> 30) == 2)
        return QHostAddress(QStringLiteral("255.255.0.0"));
    if ((value >> 29) == 6)
        return QHostAddress(QStringLiteral("255.255.255.0"));
    return QHostAddress();
}

QHostAddress IpAddressWidget::subnetFromAddress(const QString& address)
{
    QHostAddress parsed;
    if (!parsed.setAddress(address.trimmed()))
        return QHostAddress();
    return subnetFromAddress(parsed);
}

void IpAddressWidget::accept()
{
    // Enter takes the default button without leaving the field: the mask is written out here too. "/0"
    // written out reads 0.0.0.0, which the field does not take: the dialog then stays open, OK disabled,
    // as it would have been once the field was left.
    const QString typedMask = m_editNetmask->text();
    onNetmaskLeft();
    if (m_editNetmask->text() != typedMask && !m_btnOk->isEnabled())
        return;
    if (m_editDefaultGateway->text().isEmpty())
        m_editDefaultGateway->setText(QStringLiteral("0.0.0.0"));
    QDialog::accept();
}

void IpAddressWidget::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_netmaskEdited = false;
    m_gatewayEdited = false;
    updateButtons();
}

bool IpAddressWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        if (watched == m_editIpAddress)
            onIpAddressLeft();
        else if (watched == m_editNetmask)
            onNetmaskLeft();
    }
    return QDialog::eventFilter(watched, event);
}

void IpAddressWidget::onIpAddressLeft()
{
    bool filled = false;
    // Only an address the IP field itself accepts proposes a mask: "1.2" would otherwise read as 1.0.0.2.
    const QHostAddress subnet = acceptable(m_editIpAddress, m_editIpAddress->validator())
                                    ? subnetFromAddress(m_editIpAddress->text())
                                    : QHostAddress();
    if (!subnet.isNull() && !m_netmaskEdited && m_editNetmask->text().isEmpty()) {
        m_editNetmask->setText(subnet.toString());
        filled = true;
    }
    if (!m_gatewayEdited && m_editDefaultGateway->text().isEmpty()) {
        m_editDefaultGateway->setText(QStringLiteral("0.0.0.0"));
        filled = true;
    }
    if (filled)
        updateButtons();
}

void IpAddressWidget::onNetmaskLeft()
{
    QString text = m_editNetmask->text();
    m_editNetmask->validator()->fixup(text);
    if (text != m_editNetmask->text()) {
        m_editNetmask->setText(text);
        updateButtons();
    }
}

void IpAddressWidget::updateButtons()
{
    const bool macOk = !m_showMacAddress || acceptable(m_editMacAddress, m_editMacAddress->validator());
    const bool ok = macOk && acceptable(m_editNetmask, m_editNetmask->validator()) &&
                    acceptable(m_editDefaultGateway, m_editDefaultGateway->validator()) &&
                    acceptable(m_editIpAddress, m_ipCheck);
    m_btnOk->setEnabled(ok);
    m_btnOk->setDefault(ok);
}
