// Validators of IPv4 addresses, addresses within a netmask, netmasks and MAC addresses.
#include "orbelt/IpAddressValidator.h"

#include <QHostAddress>
#include <QLineEdit>

namespace {
// Dotted quads of decimal octets only: QHostAddress would also take "1", "1.2" or octal and hex forms,
// and a number conversion a sign or blanks, which no address has.
bool parseDotted(const QString& text, quint32& address)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    quint32 value = 0;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        uint octet = 0;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
            octet = octet * 10 + (c.unicode() - '0');
        }
        if (octet > 255)
            return false;
        value = (value << 8) | octet;
    }
    address = value;
    return true;
}

// ASCII only, and without the C library: isxdigit() is undefined for the negative char values that
// Latin-1 letters above 127 become.
bool isHexDigit(QChar c)
{
    const ushort u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

bool isContiguousMask(quint32 mask)
{
    // Ones from the top, then only zeros: the inverted mask plus one is a power of two (or zero).
    const quint32 inverted = ~mask;
    return (inverted & (inverted + 1)) == 0;
}

// A mask written as a prefix length ("/24"). False for a text that is not one; true with `valid`
// telling whether the length is 0 to 32, and then `mask` holding its leading one-bits. The validator
// and the fixup read it alike, so that every length the validator accepts becomes a dotted mask.
bool prefixLength(const QString& text, bool& valid, quint32& mask)
{
    const QString simplified = text.simplified();
    if (!simplified.startsWith(QLatin1Char('/')))
        return false;
    bool ok = false;
    const int n = simplified.mid(1).toInt(&ok);
    valid = ok && n >= 0 && n <= 32;
    // A shift by 32 is undefined, so /0 is spelled out.
    if (valid)
        mask = n == 0 ? 0u : (0xFFFFFFFFu << (32 - n));
    return true;
}
} // namespace

QValidator::State QIpAddressValidator::validate(QString& input, int&) const
{
    const int dots = input.count(QLatin1Char('.'));
    if (dots > 3)
        return Invalid;
    if (dots < 3)
        return Intermediate;
    int filled = 0;
    for (const QString& part : input.split(QLatin1Char('.'))) {
        if (part.trimmed().isEmpty())
            break;
        ++filled;
    }
    if (filled < 4)
        return Intermediate;
    quint32 address = 0;
    if (!parseDotted(input, address))
        return Invalid;
    if (address < 256)
        return Intermediate;
    return Acceptable;
}

QValidator::State QIpAddressWithNetmaskValidator::validate(QString& input, int& pos) const
{
    const QString text = input.trimmed();
    if (text.isEmpty())
        return m_allowNull ? Acceptable : Intermediate;
    QHostAddress parsed;
    if (!parsed.setAddress(text))
        return Intermediate;
    if (parsed.protocol() == QAbstractSocket::IPv4Protocol && parsed.toIPv4Address() == 0)
        return m_allowNull ? Acceptable : Intermediate;
    QIpAddressValidator plain;
    const State plainState = plain.validate(input, pos);
    if (plainState != Acceptable)
        return plainState;
    quint32 address = 0;
    if (parsed.protocol() != QAbstractSocket::IPv4Protocol || !parseDotted(text, address))
        return Intermediate;
    if ((address >> 24) == 127)
        return m_allowLoopback ? Acceptable : Intermediate;
    const quint32 top = address >> 28;
    if (!m_allowMulticast && top == 0xE)
        return Intermediate;
    if (!m_allowExperimental && top == 0xF)
        return Intermediate;
    if (!m_allowBroadcast && address == 0xFFFFFFFFu)
        return Intermediate;
    if (!m_netmask)
        return Acceptable;
    QString maskText = m_netmask->text();
    int maskPos = 0;
    QIpNetmaskValidator maskValidator;
    if (maskValidator.validate(maskText, maskPos) != Acceptable)
        return Intermediate;
    if (!m_allowBroadcast) {
        QString fixed = maskText;
        maskValidator.fixup(fixed);
        quint32 mask = 0;
        // A /31 link has no network or broadcast address and a /32 mask names one host: only a mask
        // with two host bits or more sets such addresses apart.
        if (parseDotted(fixed, mask) && ~mask > 1u) {
            const quint32 host = address & ~mask;
            if (host == 0 || host == (~mask))
                return Intermediate;
        }
    }
    return Acceptable;
}

QValidator::State QIpNetmaskValidator::validate(QString& input, int& pos) const
{
    bool valid = false;
    quint32 mask = 0;
    if (prefixLength(input, valid, mask))
        return valid ? Acceptable : Intermediate;
    QIpAddressValidator plain;
    const State state = plain.validate(input, pos);
    if (state != Acceptable)
        return state;
    if (!parseDotted(input, mask))
        return Invalid;
    return isContiguousMask(mask) ? Acceptable : Intermediate;
}

void QIpNetmaskValidator::fixup(QString& input) const
{
    QValidator::fixup(input);
    bool valid = false;
    quint32 mask = 0;
    if (prefixLength(input, valid, mask) && valid)
        input = QHostAddress(mask).toString();
}

QValidator::State QMacAddressValidator::validate(QString& input, int& pos) const
{
    if (input.isEmpty())
        return Acceptable;
    int digits = 0;
    for (int i = 0; i < input.size(); ++i) {
        const QChar c = input.at(i);
        if (isHexDigit(c)) {
            ++digits;
            continue;
        }
        if (!m_allowedSeparators.contains(c, Qt::CaseInsensitive)) {
            pos = i;
            return Invalid;
        }
    }
    if (digits < 12)
        return Intermediate;
    return digits == 12 ? Acceptable : Invalid;
}
