// Character-set conversions and stream operators of gcstring.
#include <GenICam/gcstring.h>

#include <langinfo.h>

#include <cstring>
#include <istream>
#include <ostream>

namespace GenICam {
namespace {
void appendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Decodes UTF-8; a malformed byte stands for itself so that no text is lost.
std::u32string decodeUtf8(const std::string& text)
{
    std::u32string out;
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        uint32_t code = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        bool ok = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto n = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((n & 0xC0) != 0x80)
                ok = false;
            else
                code = (code << 6) | (n & 0x3F);
        }
        if (!ok) {
            out += static_cast<char32_t>(c);
            ++i;
        } else {
            out += static_cast<char32_t>(code);
            i += static_cast<size_t>(extra) + 1;
        }
    }
    return out;
}

bool localIsUtf8()
{
    const char* codeset = nl_langinfo(CODESET);
    return codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}
} // namespace

gcstring::gcstring(const wchar_t* text)
{
    if (text)
        *this = FromWide(std::wstring(text));
}

gcstring gcstring::Latin1ToUtf8() const
{
    std::string out;
    out.reserve(m_text.size());
    for (char c : m_text)
        appendUtf8(out, static_cast<unsigned char>(c));
    return gcstring(out);
}

gcstring gcstring::Utf8ToLatin1() const
{
    std::string out;
    for (char32_t code : decodeUtf8(m_text))
        out += code < 0x100 ? static_cast<char>(code) : '?';
    return gcstring(out);
}

// A local character set other than UTF-8 is taken as Latin-1, the only other one this system meets.
gcstring gcstring::LocalToUtf8() const
{
    return localIsUtf8() ? *this : Latin1ToUtf8();
}

gcstring gcstring::Utf8ToLocal() const
{
    return localIsUtf8() ? *this : Utf8ToLatin1();
}

std::wstring gcstring::ToWide() const
{
    std::wstring out;
    for (char32_t code : decodeUtf8(m_text))
        out += static_cast<wchar_t>(code);
    return out;
}

gcstring gcstring::FromWide(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        appendUtf8(out, static_cast<uint32_t>(c));
    return gcstring(out);
}

std::ostream& operator<<(std::ostream& stream, const gcstring& text)
{
    return stream << text.str();
}

std::istream& operator>>(std::istream& stream, gcstring& text)
{
    std::string word;
    stream >> word;
    text = gcstring(word);
    return stream;
}
} // namespace GenICam
