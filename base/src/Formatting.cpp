// Formatting helpers: numbers with unit prefixes, counters, device names, IP modes, MAC addresses.
#include "brasko/Formatting.h"

#include <nimbo/DeviceInfo.h>

#include <QTextCodec>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

struct Prefix {
    double divisor;
    double binaryDivisor;
    const char16_t* symbol;
    const char16_t* name;
    const char16_t* binarySymbol;
    const char16_t* binaryName;
};

const Prefix prefixes[] = {
    {1.0, 1.0, u"", u"", u"", u""},
    {1e3, 1024.0, u"k", u"kilo", u"Ki", u"kibi"},
    {1e6, 1048576.0, u"M", u"mega", u"Mi", u"mebi"},
    {1e9, 1073741824.0, u"G", u"giga", u"Gi", u"gibi"},
    {1e12, 1099511627776.0, u"T", u"tera", u"Ti", u"teti"},
    {1e15, 1125899906842624.0, u"P", u"peta", u"Pi", u"pebi"},
    {1e18, 1152921504606846976.0, u"E", u"exa", u"Ei", u"exbi"},
    {1e21, 1180591620717411303424.0, u"Z", u"zetta", u"Zi", u"zebi"},
    {1e24, 1208925819614629174706176.0, u"Y", u"yotta", u"Yi", u"yobi"},
    {1e-3, 1.0, u"m", u"milli", u"", u""},
    {1e-6, 1.0, u"\u00B5", u"micro", u"", u""},
    {1e-9, 1.0, u"n", u"nano", u"", u""},
    {1e-12, 1.0, u"p", u"pico", u"", u""},
    {1e-15, 1.0, u"f", u"femto", u"", u""},
    {1e-18, 1.0, u"a", u"atto", u"", u""},
    {1e-21, 1.0, u"z", u"zepto", u"", u""},
    {1e-24, 1.0, u"y", u"yocto", u"", u""},
};
constexpr int lastBinaryMultiplier = MultiplierYotta;
constexpr int lastMultiplier = MultiplierYocto;

QString text16(const char16_t* text)
{
    return QString::fromUtf16(text);
}

QString withoutGroupSeparators(QString text, const QLocale& locale)
{
    return text.remove(locale.groupSeparator());
}

// Names that users give their cameras are UTF-8 nearly always; bytes that are no valid UTF-8 come
// from an older camera that wrote Latin-1.
QString utf8OrLatin1(const char* bytes, int size)
{
    QTextCodec::ConverterState state(QTextCodec::ConvertInvalidToNull);
    const QString text = QTextCodec::codecForMib(106)->toUnicode(bytes, size, &state);
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return text;
    return QString::fromLatin1(bytes, size);
}

// Property text in the device's own encoding; false when the property is absent.
bool deviceProperty(const Nimbo::CDeviceInfo* info, const char* name, QString& text)
{
    Nimbo::String_t value;
    if (!info->GetPropertyValue(name, value))
        return false;
    const int size = static_cast<int>(value.size());
    text = IsUtf8Device(info) ? QString::fromUtf8(value.c_str(), size) : utf8OrLatin1(value.c_str(), size);
    return true;
}

} // namespace

QString formatDoubleValue(double value, int precision, QFlags<FormatValueFlag> flags, const QLocale& locale)
{
    const bool general = flags.testFlag(GeneralFormat);
    QString text = locale.toString(value, general ? 'g' : 'f', precision);
    // The rounded value decides, not the one given: 999.999 at two decimals reads 1,000.00. The locale
    // puts separators only into a text whose rounded value reaches 1000, so taking them out of any text
    // leaves every smaller value as it was.
    if (!flags.testFlag(KeepGroupSeparator))
        text = withoutGroupSeparators(text, locale);

    const QChar point = locale.decimalPoint();
    if (flags.testFlag(DropZeroFraction) && !general) {
        double whole = 0.0;
        if (std::isfinite(value) && std::modf(value, &whole) == 0.0) {
            const int p = text.indexOf(point);
            if (p >= 0)
                text.truncate(p);
        }
    }
    if (flags.testFlag(StripTrailingZeros) && !general) {
        const int p = text.indexOf(point);
        if (p >= 0) {
            int last = text.size() - 1;
            while (last > p + 1 && text.at(last) == QLatin1Char('0'))
                --last;
            text.truncate(last + 1);
        }
    }
    return text;
}

QString formatIntegerValue(long long value, QFlags<FormatValueFlag> flags, const QLocale& locale)
{
    const QString text = locale.toString(value);
    return flags.testFlag(KeepGroupSeparator) ? text : withoutGroupSeparators(text, locale);
}

QString formatUnsignedIntegerValue(unsigned long long value, QFlags<FormatValueFlag> flags, const QLocale& locale)
{
    const QString text = locale.toString(static_cast<qulonglong>(value));
    return flags.testFlag(KeepGroupSeparator) ? text : withoutGroupSeparators(text, locale);
}

QString formatDoubleValueAndUnits(double value, int precision, FormatMultiplier multiplier, const QString& unit,
                                  QFlags<FormatValueFlag> flags, const QLocale& locale)
{
    const int index = static_cast<int>(multiplier);
    QString prefix;
    if (flags.testFlag(BinaryMultiplier)) {
        if (index >= 0 && index <= lastBinaryMultiplier) {
            value /= prefixes[index].binaryDivisor;
            prefix = text16(flags.testFlag(LongPrefixName) ? prefixes[index].binaryName : prefixes[index].binarySymbol);
        }
    } else if (index >= 0 && index <= lastMultiplier) {
        value /= prefixes[index].divisor;
        prefix = text16(flags.testFlag(LongPrefixName) ? prefixes[index].name : prefixes[index].symbol);
    }

    QString text = formatDoubleValue(value, precision, flags, locale);
    if (flags.testFlag(ShowPrefix) && index != MultiplierNone && !prefix.isEmpty())
        text += QLatin1Char(' ') + prefix + unit;
    else if (!unit.isEmpty())
        text += QLatin1Char(' ') + unit;
    return text;
}

QString formatIntegerValueAndUnits(long long value, int precision, FormatMultiplier multiplier, const QString& unit,
                                   QFlags<FormatValueFlag> flags, const QLocale& locale)
{
    return formatDoubleValueAndUnits(static_cast<double>(value), precision, multiplier, unit, flags, locale);
}

QString formatUnsignedIntegerValueAndUnits(unsigned long long value, int precision, FormatMultiplier multiplier,
                                           const QString& unit, QFlags<FormatValueFlag> flags, const QLocale& locale)
{
    return formatDoubleValueAndUnits(static_cast<double>(value), precision, multiplier, unit, flags, locale);
}

QString formatImageCount(unsigned long long images, unsigned long long errors)
{
    // The counts are arguments of the pattern, so no text of theirs is read as a placeholder.
    return QStringLiteral("Images: %1; Errors: %2")
        .arg(formatUnsignedIntegerValue(images, KeepGroupSeparator, QLocale()),
             formatUnsignedIntegerValue(errors, KeepGroupSeparator, QLocale()));
}

QString formatDeviceName(const Nimbo::CDeviceInfo* info, QFlags<FormatDeviceNameFlag> flags)
{
    if (!info)
        return QString();
    QString name;
    if (!deviceProperty(info, "FriendlyName", name) && !deviceProperty(info, "ModelName", name) &&
        !deviceProperty(info, "FullName", name))
        name = QStringLiteral("???");
    if (flags.testFlag(QuoteName))
        name = QLatin1Char('"') + name + QLatin1Char('"');
    return name;
}

bool IsUtf8Device(const Nimbo::CDeviceInfo* info)
{
    if (!info)
        return false;
    Nimbo::String_t deviceClass;
    return info->GetPropertyValue("DeviceClass", deviceClass) && deviceClass.str() == "VelmarGigE";
}

QString GetUtf8Property(const Nimbo::CDeviceInfo* info, const char* propertyName)
{
    if (!info || !propertyName)
        return QString();
    Nimbo::String_t value;
    if (!info->GetPropertyValue(propertyName, value))
        return QString();
    return QString::fromUtf8(value.c_str(), static_cast<int>(value.size()));
}

QString formatIPConfiguration(unsigned int configuration, unsigned int options)
{
    const bool firstOnly = (options & 0x1) != 0;
    QString text;
    if (configuration & 0x1) {
        text += QStringLiteral("Static IP");
        if (firstOnly)
            return text;
    }
    if (configuration & 0x2) {
        if (!text.isEmpty())
            text += QStringLiteral(", ");
        text += QStringLiteral("DHCP");
        if (firstOnly)
            return text;
    }
    if (configuration & 0x4) {
        if (!text.isEmpty())
            text += QStringLiteral(", ");
        text += QStringLiteral("Auto IP");
        return text;
    }
    // Automatic IP is always on in a valid configuration: anything else shows nothing.
    return QString();
}

QString formatIPConfiguration(const char* configuration, unsigned int options)
{
    if (!configuration || !*configuration)
        return QString();
    // Read as atoi would, but without its undefined behaviour on overflow.
    errno = 0;
    long long number = std::strtoll(configuration, nullptr, 10);
    if (errno == ERANGE || number < INT_MIN || number > INT_MAX)
        number = 0;
    return formatIPConfiguration(static_cast<unsigned int>(static_cast<int>(number)), options);
}

QString formatMACAddress(const char* address, const char* separator)
{
    if (!address || !*address)
        return QString();
    QString digits;
    for (const char* c = address; *c; ++c) {
        if (std::isxdigit(static_cast<unsigned char>(*c))) {
            if (digits.size() == 12)
                return QString();
            digits += QLatin1Char(*c);
        }
    }
    if (digits.size() != 12)
        return QString();
    const QString between = QString::fromLatin1(separator ? separator : "-");
    QString text;
    for (int i = 0; i < digits.size(); ++i) {
        text += digits.at(i);
        if (i % 2 == 1 && i != digits.size() - 1)
            text += between;
    }
    return text;
}

bool ExtractSubString(QString& result, const QString& text, unsigned int index, const QString& separator)
{
    if (text.isEmpty() || separator.isEmpty())
        return false;
    int from = 0;
    for (unsigned int i = 0; i < index; ++i) {
        const int found = text.indexOf(separator, from, Qt::CaseSensitive);
        if (found < 0) {
            result.clear();
            return false;
        }
        from = found + separator.size();
    }
    const int end = text.indexOf(separator, from, Qt::CaseSensitive);
    result = end < 0 ? text.mid(from) : text.mid(from, end - from);
    return true;
}
