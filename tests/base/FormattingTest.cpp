// Tables of cases for the number, counter, device-name, IP-configuration and MAC-address texts.
#include "brasko/Formatting.h"

#include <nimbo/DeviceInfo.h>

#include <gtest/gtest.h>

#include <climits>

namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);
const QLocale german(QLocale::German, QLocale::Germany);

FormatValueFlags flags(int bits)
{
    return FormatValueFlags(QFlag(bits));
}

// Sets the default locale for the scope of a test.
class DefaultLocale {
public:
    explicit DefaultLocale(const QLocale& locale) : m_previous(QLocale()) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(m_previous); }

private:
    QLocale m_previous;
};

} // namespace

TEST(Formatting, DoubleValues)
{
    const struct {
        double value;
        int precision;
        int flags;
        const QLocale& locale;
        const char* expected;
    } cases[] = {
        {1234.5, 2, 0, english, "1234.50"},
        {1234.5, 2, KeepGroupSeparator, english, "1,234.50"},
        {1234.5, 2, StripTrailingZeros, english, "1234.5"},
        {-1234.5, 1, 0, english, "-1234.5"},
        {999.5, 1, KeepGroupSeparator, english, "999.5"},
        {1234567.891, 1, 0, german, "1234567,9"},
        {1234567.891, 1, KeepGroupSeparator, german, "1.234.567,9"},
        {2.0, 3, DropZeroFraction, english, "2"},
        {1.9999, 2, DropZeroFraction, english, "2.00"}, // the value itself has a fraction
        {100.0, 0, DropZeroFraction, english, "100"},
        {2000.0, 2, DropZeroFraction | KeepGroupSeparator, english, "2,000"},
        {2.0, 3, StripTrailingZeros, english, "2.0"}, // one digit stays
        {10.0, 2, StripTrailingZeros, german, "10,0"},
        {2.5, 3, StripTrailingZeros | DropZeroFraction, english, "2.5"},
        {3.0, 2, StripTrailingZeros | DropZeroFraction, english, "3"},
        {0.5, 3, GeneralFormat, english, "0.5"},
        {2.0, 3, GeneralFormat | DropZeroFraction, english, "2"},
        {1234.5, 3, GeneralFormat | StripTrailingZeros, english, "1.23e+03"},
        {0.25, 4, GeneralFormat | StripTrailingZeros, english, "0.25"},
        // Whether the text has group separators is decided on the value as rounded for the text.
        {999.999, 2, 0, english, "1000.00"},
        {-999.999, 2, 0, english, "-1000.00"},
        {999.96, 1, 0, german, "1000,0"},
        {999.9999, 6, GeneralFormat, english, "1000"},
        {999.999, 2, KeepGroupSeparator, english, "1,000.00"},
        {999.994, 2, 0, english, "999.99"},
        {999.5, 0, DropZeroFraction, english, "1000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(formatDoubleValue(c.value, c.precision, flags(c.flags), c.locale), QString::fromUtf8(c.expected));
    }
}

TEST(Formatting, IntegerValues)
{
    const struct {
        long long value;
        int flags;
        const QLocale& locale;
        const char* expected;
    } signedCases[] = {
        {1234567, 0, english, "1234567"},
        {1234567, KeepGroupSeparator, english, "1,234,567"},
        {-1234, 0, german, "-1234"},
        {-1234, KeepGroupSeparator, german, "-1.234"},
        {999, KeepGroupSeparator, english, "999"},
        {LLONG_MIN, 0, english, "-9223372036854775808"},
    };
    for (const auto& c : signedCases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(formatIntegerValue(c.value, flags(c.flags), c.locale), QString::fromUtf8(c.expected));
    }
    EXPECT_EQ(formatUnsignedIntegerValue(ULLONG_MAX, KeepGroupSeparator, english), "18,446,744,073,709,551,615");
    EXPECT_EQ(formatUnsignedIntegerValue(ULLONG_MAX, flags(0), german), "18446744073709551615");
    EXPECT_EQ(formatUnsignedIntegerValue(0, flags(0), english), "0");
}

TEST(Formatting, ValuesWithMultipliersAndUnits)
{
    const struct {
        double value;
        int precision;
        int multiplier;
        const char* unit;
        int flags;
        const char* expected;
    } cases[] = {
        {1536, 1, MultiplierKilo, "B", BinaryMultiplier | ShowPrefix, "1.5 KiB"},
        {1536, 1, MultiplierKilo, "B", BinaryMultiplier, "1.5 B"}, // divided even without the prefix
        {0.0025, 1, MultiplierMilli, "s", ShowPrefix | LongPrefixName, "2.5 millis"},
        {1500, 1, MultiplierKilo, "Hz", ShowPrefix, "1.5 kHz"},
        {1500, 1, MultiplierNone, "Hz", ShowPrefix, "1500.0 Hz"},
        {2.5e6, 2, MultiplierMega, "B/s", ShowPrefix | LongPrefixName, "2.50 megaB/s"},
        {3.0 * 1048576, 0, MultiplierMega, "B", BinaryMultiplier | ShowPrefix | LongPrefixName, "3 mebiB"},
        {5.0 * 1099511627776.0, 0, MultiplierTera, "B", BinaryMultiplier | ShowPrefix, "5 TiB"},
        {7e24, 0, MultiplierYotta, "m", ShowPrefix, "7 Ym"},
        {5e-6, 1, MultiplierMicro, "s", ShowPrefix, "5.0 \u00B5s"},
        {4e-9, 0, MultiplierNano, "s", ShowPrefix | LongPrefixName, "4 nanos"},
        {3e-24, 0, MultiplierYocto, "g", ShowPrefix, "3 yg"},
        // Binary prefixes exist only from kilo to yotta: a small multiplier divides by nothing.
        {0.001, 3, MultiplierMilli, "s", BinaryMultiplier | ShowPrefix, "0.001 s"},
        // A multiplier out of the table neither divides nor prefixes.
        {42, 1, 17, "V", ShowPrefix, "42.0 V"},
        {5, 0, MultiplierNone, "", ShowPrefix, "5"},
        {5000, 0, MultiplierKilo, "", ShowPrefix, "5 k"},
        {1234567, 0, MultiplierKilo, "B", ShowPrefix | KeepGroupSeparator, "1,235 kB"},
        {2000, 3, MultiplierKilo, "m", ShowPrefix | DropZeroFraction, "2 km"},
        {2500, 3, MultiplierKilo, "m", ShowPrefix | StripTrailingZeros, "2.5 km"},
        {999999, 1, MultiplierKilo, "B", ShowPrefix, "1000.0 kB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(formatDoubleValueAndUnits(c.value, c.precision, static_cast<FormatMultiplier>(c.multiplier),
                                            QString::fromUtf8(c.unit), flags(c.flags), english),
                  QString::fromUtf8(c.expected));
    }
    EXPECT_EQ(formatUnsignedIntegerValueAndUnits(1536, 1, MultiplierKilo, "B", BinaryMultiplier | ShowPrefix, english),
              "1.5 KiB");
    EXPECT_EQ(formatUnsignedIntegerValueAndUnits(1536, 1, MultiplierKilo, "B", BinaryMultiplier, english), "1.5 B");
    EXPECT_EQ(formatIntegerValueAndUnits(-2048, 0, MultiplierKilo, "B", BinaryMultiplier | ShowPrefix, english),
              "-2 KiB");
    EXPECT_EQ(formatIntegerValueAndUnits(1500, 1, MultiplierKilo, "B", ShowPrefix, german), "1,5 kB");
}

TEST(Formatting, ImageCountUsesTheDefaultLocaleWithGroupSeparators)
{
    {
        DefaultLocale scope(english);
        EXPECT_EQ(formatImageCount(1234567, 3), "Images: 1,234,567; Errors: 3");
        EXPECT_EQ(formatImageCount(0, 0), "Images: 0; Errors: 0");
    }
    {
        DefaultLocale scope(german);
        EXPECT_EQ(formatImageCount(1000, 2000), "Images: 1.000; Errors: 2.000");
    }
}

namespace {

Nimbo::CDeviceInfo device(const char* deviceClass, const char* friendly, const char* model, const char* full)
{
    Nimbo::CDeviceInfo info;
    if (deviceClass)
        info.SetDeviceClass(deviceClass);
    if (friendly)
        info.SetFriendlyName(friendly);
    if (model)
        info.SetModelName(model);
    if (full)
        info.SetFullName(full);
    return info;
}

} // namespace

TEST(Formatting, DeviceNames)
{
    const struct {
        const char* what;
        Nimbo::CDeviceInfo info;
        int flags;
        const char* expected;
    } cases[] = {
        {"friendly name first", device("VelmarUsb", "Cam A", "Model", "Full"), 0, "Cam A"},
        {"quoted", device("VelmarUsb", "Cam A", "Model", "Full"), QuoteName, "\"Cam A\""},
        {"model name next", device("VelmarUsb", nullptr, "Model", "Full"), 0, "Model"},
        {"full name last", device("VelmarUsb", nullptr, nullptr, "Full"), QuoteName, "\"Full\""},
        {"nothing to name it by", device("VelmarUsb", nullptr, nullptr, nullptr), 0, "???"},
        {"nothing, quoted", device(nullptr, nullptr, nullptr, nullptr), QuoteName, "\"???\""},
        {"other bits are not read", device("VelmarUsb", "Cam A", nullptr, nullptr), 0x01 | 0x04 | 0x08, "Cam A"},
        {"UTF-8 of a USB camera", device("VelmarUsb", "Pr\xC3\xBC" "fstand \xE2\x84\x96 3", nullptr, nullptr), 0,
         "Pr\u00FC" "fstand \u2116 3"},
        // Bytes that are no valid UTF-8 (a lone é, a cut-off sequence) are an older camera's Latin-1.
        {"Latin-1 of a USB camera", device("VelmarUsb", "Kamera \xE9", nullptr, nullptr), 0, "Kamera \u00E9"},
        {"cut-off UTF-8 of a USB camera", device("VelmarUsb", "Kamera \xC3", nullptr, nullptr), 0, "Kamera \u00C3"},
        {"Latin-1 model name", device("VelmarUsb", nullptr, "Gr\xFC\xDF" "e", nullptr), 0, "Gr\u00FC\u00DF" "e"},
        {"UTF-8 of a GigE camera", device("VelmarGigE", "Kamera \xC3\xA9", nullptr, nullptr), 0, "Kamera \u00E9"},
        {"percent signs stay text", device("VelmarGigE", "%s%n%d %1", nullptr, nullptr), QuoteName, "\"%s%n%d %1\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(formatDeviceName(&c.info, FormatDeviceNameFlags(QFlag(c.flags))), QString::fromUtf8(c.expected));
    }
    EXPECT_TRUE(formatDeviceName(nullptr, QuoteName).isEmpty());
}

TEST(Formatting, Utf8DevicesAndProperties)
{
    const struct {
        const char* deviceClass;
        bool utf8;
    } classes[] = {
        {"VelmarGigE", true}, {"VelmarUsb", false}, {"velmargige", false}, {"VelmarGigE ", false}, {nullptr, false}};
    for (const auto& c : classes) {
        SCOPED_TRACE(c.deviceClass ? c.deviceClass : "(none)");
        const Nimbo::CDeviceInfo info = device(c.deviceClass, nullptr, nullptr, nullptr);
        EXPECT_EQ(IsUtf8Device(&info), c.utf8);
    }
    EXPECT_FALSE(IsUtf8Device(nullptr));

    Nimbo::CDeviceInfo info = device("VelmarUsb", nullptr, nullptr, nullptr);
    info.SetUserDefinedName("Pr\xC3\xBC"
                            "fstand");
    EXPECT_EQ(GetUtf8Property(&info, "UserDefinedName"), QString::fromUtf8("Pr\u00FCfstand"));
    EXPECT_TRUE(GetUtf8Property(&info, "SerialNumber").isEmpty());
    EXPECT_TRUE(GetUtf8Property(&info, nullptr).isEmpty());
    EXPECT_TRUE(GetUtf8Property(nullptr, "UserDefinedName").isEmpty());
}

TEST(Formatting, IpConfigurations)
{
    const struct {
        unsigned int configuration;
        unsigned int options;
        const char* expected;
    } cases[] = {
        {5, 0, "Static IP, Auto IP"},
        {3, 0, ""}, // no automatic IP: not a valid configuration
        {3, 1, "Static IP"},
        {6, 0, "DHCP, Auto IP"},
        {7, 0, "Static IP, DHCP, Auto IP"},
        {4, 0, "Auto IP"},
        {0, 0, ""},
        {7, 1, "Static IP"},
        {6, 1, "DHCP"},
        {4, 1, "Auto IP"},
        {2, 1, "DHCP"},
        {0xFFFFFFF8u | 4u, 0, "Auto IP"}, // other bits are not read
        {5, 2, "Static IP, Auto IP"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.configuration << "/" << c.options);
        EXPECT_EQ(formatIPConfiguration(c.configuration, c.options), QString::fromUtf8(c.expected));
    }

    const struct {
        const char* configuration;
        unsigned int options;
        const char* expected;
    } texts[] = {
        {nullptr, 0, ""},
        {"", 0, ""},
        {"5", 0, "Static IP, Auto IP"},
        {"7", 1, "Static IP"},
        {"abc", 0, ""},
        {" 6", 0, "DHCP, Auto IP"},
        {"99999999999999999999", 0, ""},
        {"-1", 0, "Static IP, DHCP, Auto IP"},
    };
    for (const auto& c : texts) {
        SCOPED_TRACE(c.configuration ? c.configuration : "(null)");
        EXPECT_EQ(formatIPConfiguration(c.configuration, c.options), QString::fromUtf8(c.expected));
    }
}

TEST(Formatting, MacAddresses)
{
    const struct {
        const char* address;
        const char* separator;
        const char* expected;
    } cases[] = {
        {"0030530A0B0C", nullptr, "00-30-53-0A-0B-0C"},
        {"00:30:53:0a:0b:0c", ":", "00:30:53:0a:0b:0c"},
        {"00.30.53.0A.0B.0C", "-", "00-30-53-0A-0B-0C"},
        {"00-30-53-0A-0B-0C", "", "0030530A0B0C"},
        {"0030530a0b0c", "::", "00::30::53::0a::0b::0c"},
        {"0030530A0B0", nullptr, ""},   // 11 digits
        {"0030530A0B0C0", nullptr, ""}, // 13 digits
        {"0030530A0B0G", nullptr, ""},  // "G" is no digit: 11 remain
        {"", nullptr, ""},
        {nullptr, ":", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address ? c.address : "(null)");
        EXPECT_EQ(formatMACAddress(c.address, c.separator), QString::fromUtf8(c.expected));
    }
}

TEST(Formatting, ExtractSubString)
{
    const struct {
        const char* text;
        unsigned int index;
        const char* separator;
        bool found;
        const char* expected;
    } cases[] = {
        {"a;b;c", 0, ";", true, "a"},    {"a;b;c", 1, ";", true, "b"}, {"a;b;c", 2, ";", true, "c"},
        {"a;b;c", 3, ";", false, ""},    {"a;;c", 1, ";", true, ""},   {"a;b;", 2, ";", true, ""},
        {"a::b::c", 2, "::", true, "c"}, {"aXbxc", 1, "x", true, "c"}, {"abc", 0, ";", true, "abc"},
        {"abc", 1, ";", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " [" << c.index << "]");
        QString result = "previous";
        EXPECT_EQ(ExtractSubString(result, c.text, c.index, c.separator), c.found);
        EXPECT_EQ(result, QString::fromUtf8(c.expected));
    }

    // Nothing to split: the result is left as it was.
    QString result = "previous";
    EXPECT_FALSE(ExtractSubString(result, "", 0, ";"));
    EXPECT_EQ(result, "previous");
    EXPECT_FALSE(ExtractSubString(result, "a;b", 0, ""));
    EXPECT_EQ(result, "previous");
}
