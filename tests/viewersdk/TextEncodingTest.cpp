// UTF-8 <-> UTF-16 routines against tables of valid and invalid sequences.
#include <lorvish/TextEncoding.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace Corvel;

namespace {

std::u16string toUtf16(const std::string& utf8)
{
    const int needed = utf8ToUtf16(utf8.c_str(), nullptr, 0);
    EXPECT_GT(needed, 0);
    std::vector<char16_t> buffer(static_cast<size_t>(needed) / 2);
    EXPECT_EQ(utf8ToUtf16(utf8.c_str(), buffer.data(), needed), needed);
    EXPECT_EQ(buffer.back(), u'\0');
    return std::u16string(buffer.data());
}

std::string toUtf8(const std::u16string& utf16)
{
    const int needed = utf16ToUtf8(utf16.c_str(), nullptr, 0);
    EXPECT_GT(needed, 0);
    std::vector<char> buffer(static_cast<size_t>(needed));
    EXPECT_EQ(utf16ToUtf8(utf16.c_str(), buffer.data(), needed), needed);
    EXPECT_EQ(buffer.back(), '\0');
    return std::string(buffer.data());
}

struct Utf8Case {
    const char* label;
    std::string input;
    std::u16string expected;
};

} // namespace

TEST(TextEncodingTest, Utf8DecodesValidAndEscapesInvalidSequences)
{
    const std::vector<Utf8Case> cases = {
        {"ascii", "abc", u"abc"},
        {"two bytes", "\xC3\xA9", u"\u00E9"},
        {"lowest two-byte lead", "\xC2\x80", u"\u0080"},
        {"three bytes", "\xE2\x82\xAC", u"\u20AC"},
        {"lowest after E0", "\xE0\xA0\x80", u"\u0800"},
        {"last before surrogates", "\xED\x9F\xBF", u"\uD7FF"},
        {"first after surrogates", "\xEE\x80\x80", u"\uE000"},
        {"four bytes", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        // Overlong forms are refused byte by byte.
        {"overlong three bytes", "\xE0\x80\x80", {0xDCE0, 0xDC80, 0xDC80}},
        {"overlong two bytes C0", "\xC0\xAF", {0xDCC0, 0xDCAF}},
        {"overlong two bytes C1", "\xC1\xBF", {0xDCC1, 0xDCBF}},
        {"overlong four bytes", "\xF0\x8F\xBF\xBF", {0xDCF0, 0xDC8F, 0xDCBF, 0xDCBF}},
        // Encoded surrogates are refused.
        {"encoded high surrogate", "\xED\xA0\x80", {0xDCED, 0xDCA0, 0xDC80}},
        {"encoded low surrogate", "\xED\xBF\xBF", {0xDCED, 0xDCBF, 0xDCBF}},
        {"above U+10FFFF", "\xF4\x90\x80\x80", {0xDCF4, 0xDC90, 0xDC80, 0xDC80}},
        {"F5 lead", "\xF5\x80", {0xDCF5, 0xDC80}},
        {"FF byte",
         "a\xFF"
         "b",
         {u'a', 0xDCFF, u'b'}},
        {"stray continuation",
         "\x80"
         "a",
         {0xDC80, u'a'}},
        {"truncated at end", "a\xE2\x82", {u'a', 0xDCE2, 0xDC82}},
        {"lead followed by ascii",
         "\xC3"
         "A",
         {0xDCC3, u'A'}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(toUtf16(c.input), c.expected) << c.label;
}

TEST(TextEncodingTest, Utf16EncodesPairsAndReplacesUnpairedHighSurrogates)
{
    const struct {
        const char* label;
        std::u16string input;
        std::string expected;
    } cases[] = {
        {"ascii", u"abc", "abc"},
        {"bmp", u"\u00E9\u20AC", "\xC3\xA9\xE2\x82\xAC"},
        {"pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
        {"unpaired high before ascii", {0xD83D, u'x'}, "?x"},
        {"unpaired high at end", {u'x', 0xD83D}, "x?"},
        {"two highs then low", {0xD83D, 0xD83D, 0xDE00}, "?\xF0\x9F\x98\x80"},
        // A lone low surrogate stands for itself; an escaped byte is not turned back into the raw byte.
        {"lone low", {0xDE00}, "\xED\xB8\x80"},
        {"escaped byte", {0xDCFF}, "\xED\xB3\xBF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(toUtf8(c.input), c.expected) << c.label;
}

TEST(TextEncodingTest, ValidTextSurvivesARoundTrip)
{
    const std::string text = "Kamera \xC3\xA9\xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF";
    EXPECT_EQ(toUtf8(toUtf16(text)), text);
}

TEST(TextEncodingTest, StringRoutinesReportBadArgumentsAndShortBuffers)
{
    char16_t wide[8];
    char narrow[8];
    EXPECT_EQ(utf8ToUtf16(nullptr, wide, sizeof(wide)), -1);
    EXPECT_EQ(utf8ToUtf16("a", wide, -1), -1);
    EXPECT_EQ(utf16ToUtf8(nullptr, narrow, sizeof(narrow)), -1);
    EXPECT_EQ(utf16ToUtf8(u"a", narrow, -2), -1);

    // "ab" needs 6 bytes in UTF-16 with its terminator; 4 are too few, 6 are enough.
    EXPECT_EQ(utf8ToUtf16("ab", nullptr, 0), 6);
    EXPECT_EQ(utf8ToUtf16("ab", wide, 4), -2);
    EXPECT_EQ(utf8ToUtf16("ab", wide, 6), 6);
    // A pair does not fit in the last two bytes.
    EXPECT_EQ(utf8ToUtf16("\xF0\x9F\x98\x80", wide, 4), -2);
    EXPECT_EQ(utf8ToUtf16("\xF0\x9F\x98\x80", wide, 6), 6);

    EXPECT_EQ(utf16ToUtf8(u"\u20AC", nullptr, 0), 4);
    EXPECT_EQ(utf16ToUtf8(u"\u20AC", narrow, 3), -2);
    EXPECT_EQ(utf16ToUtf8(u"\u20AC", narrow, 4), 4);
    EXPECT_EQ(utf8ToUtf16("", wide, 2), 2);
    EXPECT_EQ(wide[0], u'\0');
}

TEST(TextEncodingTest, AllocatingRoutinesConvertOrGiveNull)
{
    char16_t* wide = newUtf16FromUtf8("\xC3\xA9!");
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::u16string(wide), u"\u00E9!");
    char* narrow = newUtf8FromUtf16(wide);
    ASSERT_NE(narrow, nullptr);
    EXPECT_STREQ(narrow, "\xC3\xA9!");
    std::free(wide);
    std::free(narrow);
    EXPECT_EQ(newUtf16FromUtf8(nullptr), nullptr);
    EXPECT_EQ(newUtf8FromUtf16(nullptr), nullptr);
}

TEST(TextEncodingTest, SingleCodePointRoutines)
{
    const struct {
        std::string bytes;
        uint32_t codePoint;
        int length;
        bool valid;
    } decodes[] = {
        {"A", 'A', 1, true},
        {std::string(1, '\0'), 0, 1, true},
        {"\xC3\xA9", 0xE9, 2, true},
        {"\xE2\x82\xAC", 0x20AC, 3, true},
        {"\xF0\x9F\x98\x80", 0x1F600, 4, true},
        {"\xE0\x80\x80", 0xDCE0, 1, false},
        {"\xED\xA0\x80", 0xDCED, 1, false},
        {"\xBF", 0xDCBF, 1, false},
    };
    for (const auto& d : decodes) {
        int length = -1;
        bool valid = !d.valid;
        EXPECT_EQ(decodeUtf8CodePoint(reinterpret_cast<const uint8_t*>(d.bytes.c_str()), &length, &valid), d.codePoint)
            << std::hex << d.codePoint;
        EXPECT_EQ(length, d.length) << std::hex << d.codePoint;
        EXPECT_EQ(valid, d.valid) << std::hex << d.codePoint;
    }

    int lengthBytes = 0;
    const char16_t pair[] = {0xD83D, 0xDE00, 0};
    EXPECT_EQ(decodeUtf16CodePoint(pair, &lengthBytes), 0x1F600u);
    EXPECT_EQ(lengthBytes, 4);
    const char16_t lonely[] = {0xD83D, u'a', 0};
    EXPECT_EQ(decodeUtf16CodePoint(lonely, &lengthBytes), uint32_t('?'));
    EXPECT_EQ(lengthBytes, 2);

    const struct {
        uint32_t codePoint;
        int utf8;
        int utf16;
    } encodes[] = {{0x7F, 1, 2},   {0x80, 2, 2},    {0x7FF, 2, 2},    {0x800, 3, 2},     {0xD800, 3, 2},
                   {0xFFFF, 3, 2}, {0x10000, 4, 4}, {0x10FFFF, 4, 4}, {0x110000, -2, -2}};
    for (const auto& e : encodes) {
        char bytes[4];
        char16_t units[2];
        EXPECT_EQ(encodeUtf8CodePoint(e.codePoint, nullptr, 0), e.utf8) << std::hex << e.codePoint;
        EXPECT_EQ(encodeUtf16CodePoint(e.codePoint, nullptr, 0), e.utf16) << std::hex << e.codePoint;
        EXPECT_EQ(encodeUtf8CodePoint(e.codePoint, bytes, sizeof(bytes)), e.utf8) << std::hex << e.codePoint;
        EXPECT_EQ(encodeUtf16CodePoint(e.codePoint, units, sizeof(units)), e.utf16) << std::hex << e.codePoint;
        if (e.utf8 > 1) {
            EXPECT_EQ(encodeUtf8CodePoint(e.codePoint, bytes, e.utf8 - 1), -1) << std::hex << e.codePoint;
        }
        if (e.utf16 > 0) {
            EXPECT_EQ(encodeUtf16CodePoint(e.codePoint, units, e.utf16 - 1), -1) << std::hex << e.codePoint;
        }
    }
    char16_t units[2];
    ASSERT_EQ(encodeUtf16CodePoint(0x1F600, units, 4), 4);
    EXPECT_EQ(units[0], 0xD83D);
    EXPECT_EQ(units[1], 0xDE00);
}
