// GenICam's 8-bit string with the conversions between Latin-1, UTF-8 and the local character set.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

namespace GenICam {
class gcstring {
public:
    static constexpr size_t npos = static_cast<size_t>(-1);

    gcstring() = default;
    gcstring(const char* text) : m_text(text ? text : "") {}
    gcstring(const char* text, size_t count) : m_text(text ? std::string(text, count) : std::string()) {}
    gcstring(size_t count, char ch) : m_text(count, ch) {}
    gcstring(const std::string& text) : m_text(text) {}
    // Wide text is taken as Unicode code points and stored as UTF-8.
    gcstring(const wchar_t* text);

    gcstring& operator=(const char* text)
    {
        m_text = text ? text : "";
        return *this;
    }
    gcstring& operator+=(const gcstring& other)
    {
        m_text += other.m_text;
        return *this;
    }
    gcstring& operator+=(const char* text)
    {
        m_text += text ? text : "";
        return *this;
    }
    gcstring& operator+=(char ch)
    {
        m_text += ch;
        return *this;
    }
    gcstring& append(const gcstring& other)
    {
        m_text += other.m_text;
        return *this;
    }
    gcstring& assign(const char* text, size_t count)
    {
        m_text.assign(text, count);
        return *this;
    }

    operator const char*() const { return m_text.c_str(); }
    const char* c_str() const { return m_text.c_str(); }
    const std::string& str() const { return m_text; }
    size_t size() const { return m_text.size(); }
    size_t length() const { return m_text.length(); }
    bool empty() const { return m_text.empty(); }
    void clear() { m_text.clear(); }
    void resize(size_t count) { m_text.resize(count); }
    char operator[](size_t index) const { return m_text[index]; }
    char operator[](int index) const { return m_text[static_cast<size_t>(index)]; }
    char at(size_t index) const { return m_text.at(index); }

    int compare(const gcstring& other) const { return m_text.compare(other.m_text); }
    size_t find(const gcstring& text, size_t offset = 0) const { return m_text.find(text.m_text, offset); }
    size_t find(char ch, size_t offset = 0) const { return m_text.find(ch, offset); }
    size_t rfind(char ch, size_t offset = npos) const { return m_text.rfind(ch, offset); }
    gcstring substr(size_t offset = 0, size_t count = npos) const { return gcstring(m_text.substr(offset, count)); }

    // Conversions between character sets; "local" is the character set of the C library's locale.
    gcstring Latin1ToUtf8() const;
    gcstring Utf8ToLatin1() const; // characters beyond Latin-1 become '?'
    gcstring LocalToUtf8() const;
    gcstring Utf8ToLocal() const;
    std::wstring ToWide() const;                        // from UTF-8
    static gcstring FromWide(const std::wstring& text); // to UTF-8

    friend bool operator==(const gcstring& a, const gcstring& b) { return a.m_text == b.m_text; }
    friend bool operator==(const gcstring& a, const char* b) { return a.m_text == (b ? b : ""); }
    friend bool operator==(const char* a, const gcstring& b) { return b == a; }
    friend bool operator!=(const gcstring& a, const gcstring& b) { return !(a == b); }
    friend bool operator!=(const gcstring& a, const char* b) { return !(a == b); }
    friend bool operator!=(const char* a, const gcstring& b) { return !(b == a); }
    friend bool operator<(const gcstring& a, const gcstring& b) { return a.m_text < b.m_text; }
    friend bool operator>(const gcstring& a, const gcstring& b) { return a.m_text > b.m_text; }
    friend bool operator<=(const gcstring& a, const gcstring& b) { return a.m_text <= b.m_text; }
    friend bool operator>=(const gcstring& a, const gcstring& b) { return a.m_text >= b.m_text; }
    friend gcstring operator+(const gcstring& a, const gcstring& b) { return gcstring(a.m_text + b.m_text); }
    friend gcstring operator+(const gcstring& a, const char* b) { return gcstring(a.m_text + (b ? b : "")); }
    friend gcstring operator+(const char* a, const gcstring& b) { return gcstring((a ? a : "") + b.m_text); }

private:
    std::string m_text;
};

std::ostream& operator<<(std::ostream& stream, const gcstring& text);
std::istream& operator>>(std::istream& stream, gcstring& text);
} // namespace GenICam

namespace std {
template <>
struct hash<GenICam::gcstring> {
    size_t operator()(const GenICam::gcstring& text) const noexcept { return hash<string>()(text.str()); }
};
} // namespace std
