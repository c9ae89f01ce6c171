// Validators of IPv4 addresses, addresses within a netmask, netmasks and MAC addresses.
#pragma once

#include "orbelt/Export.h"

#include <QValidator>

class QLineEdit;

// GUI thread only, as are the fields they check.
class ORBELT_EXPORT QIpAddressValidator : public QValidator {
    Q_OBJECT
public:
    explicit QIpAddressValidator(QObject* parent = nullptr) : QValidator(parent) {}
    State validate(QString& input, int& pos) const override;
};

class ORBELT_EXPORT QIpAddressWithNetmaskValidator : public QValidator {
    Q_OBJECT
public:
    explicit QIpAddressWithNetmaskValidator(const QLineEdit* netmask, QObject* parent = nullptr)
        : QValidator(parent), m_netmask(netmask)
    {
    }
    State validate(QString& input, int& pos) const override;

    bool allowLoopbackAddress() const { return m_allowLoopback; }
    void setAllowLoopbackAddress(bool allow) { m_allowLoopback = allow; }
    bool allowNullAddress() const { return m_allowNull; }
    void setAllowNullAddress(bool allow) { m_allowNull = allow; }
    bool allowBroadcastAddress() const { return m_allowBroadcast; }
    void setAllowBroadcastAddress(bool allow) { m_allowBroadcast = allow; }
    bool allowMulticastAddress() const { return m_allowMulticast; }
    void setAllowMulticastAddress(bool allow) { m_allowMulticast = allow; }
    bool allowExperimentalPurposeAddress() const { return m_allowExperimental; }
    void setAllowExperimentalPurposeAddress(bool allow) { m_allowExperimental = allow; }

private:
    const QLineEdit* m_netmask;
    bool m_allowLoopback = false;
    bool m_allowNull = false;
    bool m_allowBroadcast = false;
    bool m_allowMulticast = false;
    bool m_allowExperimental = false;
};

class ORBELT_EXPORT QIpNetmaskValidator : public QValidator {
    Q_OBJECT
public:
    explicit QIpNetmaskValidator(QObject* parent = nullptr) : QValidator(parent) {}
    State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
};

class ORBELT_EXPORT QMacAddressValidator : public QValidator {
    Q_OBJECT
public:
    explicit QMacAddressValidator(const QString& allowedSeparators = QStringLiteral(" :-"), QObject* parent = nullptr)
        : QValidator(parent), m_allowedSeparators(allowedSeparators)
    {
    }
    State validate(QString& input, int& pos) const override;
    QString allowedSeperators() const { return m_allowedSeparators; }
    void setAllowedSeperators(const QString& separators) { m_allowedSeparators = separators; }

private:
    QString m_allowedSeparators;
};
