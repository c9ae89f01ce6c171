// Display texts for numbers with units, counters, device names, IP configurations and MAC addresses.
#pragma once

#include "brasko/Export.h"

#include <QFlags>
#include <QLocale>
#include <QString>

namespace Nimbo {
class CDeviceInfo;
}

enum FormatValueFlag {
    StripTrailingZeros = 0x01, // trailing "0" digits after the decimal point go, one digit stays
    GeneralFormat = 0x02,      // format 'g' instead of 'f'
    DropZeroFraction = 0x04,   // a value without fraction loses its decimal point and digits
    KeepGroupSeparator = 0x08, // keep the locale's group separators
    BinaryMultiplier = 0x10,   // divide by 1024^i and use the binary prefix (kilo to yotta only)
    ShowPrefix = 0x20,         // write the multiplier's prefix in front of the unit
    LongPrefixName = 0x40,     // the prefix as a word ("kilo") instead of a symbol ("k")
};
Q_DECLARE_FLAGS(FormatValueFlags, FormatValueFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(FormatValueFlags)

enum FormatMultiplier {
    MultiplierNone = 0,
    MultiplierKilo = 1,
    MultiplierMega = 2,
    MultiplierGiga = 3,
    MultiplierTera = 4,
    MultiplierPeta = 5,
    MultiplierExa = 6,
    MultiplierZetta = 7,
    MultiplierYotta = 8,
    MultiplierMilli = 9,
    MultiplierMicro = 10,
    MultiplierNano = 11,
    MultiplierPico = 12,
    MultiplierFemto = 13,
    MultiplierAtto = 14,
    MultiplierZepto = 15,
    MultiplierYocto = 16,
};

enum FormatDeviceNameFlag {
    QuoteName = 0x02, // enclose the name in double quotes
};
Q_DECLARE_FLAGS(FormatDeviceNameFlags, FormatDeviceNameFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(FormatDeviceNameFlags)

BRASKO_EXPORT QString formatDoubleValue(double value, int precision, QFlags<FormatValueFlag> flags,
                                        const QLocale& locale = QLocale());
BRASKO_EXPORT QString formatIntegerValue(long long value, QFlags<FormatValueFlag> flags,
                                         const QLocale& locale = QLocale());
BRASKO_EXPORT QString formatUnsignedIntegerValue(unsigned long long value, QFlags<FormatValueFlag> flags,
                                                 const QLocale& locale = QLocale());

// A multiplier out of the table divides by nothing and has no prefix.
BRASKO_EXPORT QString formatDoubleValueAndUnits(double value, int precision, FormatMultiplier multiplier,
                                                const QString& unit, QFlags<FormatValueFlag> flags,
                                                const QLocale& locale = QLocale());
BRASKO_EXPORT QString formatIntegerValueAndUnits(long long value, int precision, FormatMultiplier multiplier,
                                                 const QString& unit, QFlags<FormatValueFlag> flags,
                                                 const QLocale& locale = QLocale());
BRASKO_EXPORT QString formatUnsignedIntegerValueAndUnits(unsigned long long value, int precision,
                                                         FormatMultiplier multiplier, const QString& unit,
                                                         QFlags<FormatValueFlag> flags,
                                                         const QLocale& locale = QLocale());

// "Images: <n>; Errors: <m>" with the default locale's group separators.
BRASKO_EXPORT QString formatImageCount(unsigned long long images, unsigned long long errors);

// The friendly name, else the model name, else the full name, else "???"; empty for null.
BRASKO_EXPORT QString formatDeviceName(const Nimbo::CDeviceInfo* info,
                                       QFlags<FormatDeviceNameFlag> flags = QFlags<FormatDeviceNameFlag>());
// GigE cameras deliver their texts in UTF-8, the others in Latin-1.
BRASKO_EXPORT bool IsUtf8Device(const Nimbo::CDeviceInfo* info);
BRASKO_EXPORT QString GetUtf8Property(const Nimbo::CDeviceInfo* info, const char* propertyName);

// Bits of configuration: 0 static IP, 1 DHCP, 2 automatic IP; bit 0 of options: first mode only.
BRASKO_EXPORT QString formatIPConfiguration(unsigned int configuration, unsigned int options = 0);
BRASKO_EXPORT QString formatIPConfiguration(const char* configuration, unsigned int options = 0);
// The 12 hexadecimal digits of the address, paired by the separator ("-" when null).
BRASKO_EXPORT QString formatMACAddress(const char* address, const char* separator = nullptr);

// The field at index of text split by separator; false (result cleared) when there is no such field,
// false (result untouched) for an empty text or separator.
BRASKO_EXPORT bool ExtractSubString(QString& result, const QString& text, unsigned int index, const QString& separator);
