// A dialog for a static IPv4 configuration: address, subnet mask, default gateway and optional MAC address.
#pragma once

#include "orbelt/Export.h"

#include <QDialog>
#include <QHostAddress>

class QLabel;
class QLineEdit;
class QPushButton;
class QIpAddressWithNetmaskValidator;

// GUI thread only.
class ORBELT_EXPORT IpAddressWidget : public QDialog {
    Q_OBJECT
public:
    explicit IpAddressWidget(QWidget* parent = nullptr);

    QString ipAddress() const;
    void setIpAddress(const QString& address);
    QString subnetMask() const;
    void setSubnetMask(const QString& mask);
    QString defaultGateway() const;
    void setDefaultGateway(const QString& gateway);
    QString macAddress() const;
    void setMacAddress(const QString& address);
    QString headerText() const;
    void setHeaderText(const QString& text);
    bool showMacAddress() const { return m_showMacAddress; }
    void setShowMacAddress(bool show);
    bool allowBroadcastAddress() const { return m_allowBroadcast; }
    void setAllowBroadcastAddress(bool allow);
    bool allowMulticastAddress() const { return m_allowMulticast; }
    void setAllowMulticastAddress(bool allow);
    bool allowExperiemntalPurposeAddress() const { return m_allowExperimental; }
    void setAllowExperiemntalPurposeAddress(bool allow);

    // The class-based mask of the address (A, B or C); a null address for the other classes.
    static QHostAddress subnetFromAddress(const QHostAddress& address);
    static QHostAddress subnetFromAddress(const QString& address);

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateButtons();
    void onIpAddressLeft();
    void onNetmaskLeft();

    QLabel* m_labelHeader;
    QLabel* m_labelMacAddress;
    QLineEdit* m_editMacAddress;
    QLineEdit* m_editIpAddress;
    QLineEdit* m_editNetmask;
    QLineEdit* m_editDefaultGateway;
    QPushButton* m_btnOk;
    QPushButton* m_btnCancel;
    QIpAddressWithNetmaskValidator* m_ipCheck;
    bool m_netmaskEdited = false;
    bool m_gatewayEdited = false;
    bool m_allowBroadcast = false;
    bool m_allowMulticast = false;
    bool m_allowExperimental = false;
    bool m_showMacAddress = false;
};
