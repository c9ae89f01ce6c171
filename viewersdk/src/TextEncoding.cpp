// Strict UTF-8 and UTF-16 conversion routines.
#include "lorvish/TextEncoding.h"

#include <climits>
#include <cstdlib>

namespace Corvel {

namespace {

constexpr uint32_t kEscapeBase = 0xDC00; // an undecodable byte b travels as the unit 0xDC00 + b
constexpr uint32_t kMaxCodePoint = 0x10FFFF;

bool isContinuation(uint8_t byte, uint8_t low = 0x80, uint8_t high = 0xBF)
{
    return byte >= low && byte <= high;
}

bool isHighSurrogate(uint32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(uint32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

uint32_t decodeUtf8CodePoint(const uint8_t* p, int* length, bool* valid)
{
    int len = 1;
    bool ok = true;
    uint32_t codePoint = 0;
    const uint8_t lead = p[0];
    if (lead < 0x80) {
        codePoint = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        if (isContinuation(p[1])) {
            codePoint = (uint32_t(lead & 0x1F) << 6) | (p[1] & 0x3F);
            len = 2;
        } else {
            ok = false;
        }
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        // After 0xE0 the first continuation must be 0xA0 or more (else overlong); after 0xED it must
        // stay below 0xA0, since 0xED 0xA0..0xBF would encode a surrogate.
        const uint8_t low = lead == 0xE0 ? 0xA0 : 0x80;
        const uint8_t high = lead == 0xED ? 0x9F : 0xBF;
        if (isContinuation(p[1], low, high) && isContinuation(p[2])) {
            codePoint = (uint32_t(lead & 0x0F) << 12) | (uint32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
            len = 3;
        } else {
            ok = false;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        // 0xF0 needs 0x90 or more (else overlong), 0xF4 below 0x90 (else above U+10FFFF).
        const uint8_t low = lead == 0xF0 ? 0x90 : 0x80;
        const uint8_t high = lead == 0xF4 ? 0x8F : 0xBF;
        if (isContinuation(p[1], low, high) && isContinuation(p[2]) && isContinuation(p[3])) {
            codePoint = (uint32_t(lead & 0x07) << 18) | (uint32_t(p[1] & 0x3F) << 12) | (uint32_t(p[2] & 0x3F) << 6) |
                        (p[3] & 0x3F);
            len = 4;
        } else {
            ok = false;
        }
    } else {
        ok = false;
    }
    if (!ok)
        codePoint = kEscapeBase + lead;
    if (length)
        *length = len;
    if (valid)
        *valid = ok;
    return codePoint;
}

uint32_t decodeUtf16CodePoint(const char16_t* p, int* lengthBytes)
{
    const uint32_t first = p[0];
    int len = 2;
    uint32_t codePoint = first;
    if (isHighSurrogate(first)) {
        const uint32_t second = p[1];
        if (isLowSurrogate(second)) {
            codePoint = 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
            len = 4;
        } else {
            codePoint = '?';
        }
    }
    if (lengthBytes)
        *lengthBytes = len;
    return codePoint;
}

int encodeUtf8CodePoint(uint32_t codePoint, char* out, int space)
{
    if (codePoint > kMaxCodePoint)
        return -2;
    const int len = codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
    if (!out)
        return len;
    if (space < len)
        return -1;
    auto* bytes = reinterpret_cast<unsigned char*>(out);
    switch (len) {
    case 1: bytes[0] = static_cast<unsigned char>(codePoint); break;
    case 2:
        bytes[0] = static_cast<unsigned char>(0xC0 | (codePoint >> 6));
        bytes[1] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        break;
    case 3:
        bytes[0] = static_cast<unsigned char>(0xE0 | (codePoint >> 12));
        bytes[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        break;
    default:
        bytes[0] = static_cast<unsigned char>(0xF0 | (codePoint >> 18));
        bytes[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 12) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[3] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        break;
    }
    return len;
}

int encodeUtf16CodePoint(uint32_t codePoint, char16_t* out, int space)
{
    if (codePoint > kMaxCodePoint)
        return -2;
    const int len = codePoint < 0x10000 ? 2 : 4;
    if (!out)
        return len;
    if (space < len)
        return -1;
    if (len == 2) {
        out[0] = static_cast<char16_t>(codePoint);
    } else {
        out[0] = static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10));
        out[1] = static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
    }
    return len;
}

int utf8ToUtf16(const char* src, char16_t* dst, int dstBytes)
{
    if (!src || dstBytes < 0)
        return -1;
    const auto* p = reinterpret_cast<const uint8_t*>(src);
    int written = 0;
    for (;;) {
        int length = 0;
        const uint32_t codePoint = decodeUtf8CodePoint(p, &length, nullptr);
        p += length;
        char16_t* out = dst ? dst + written / 2 : nullptr;
        const int units = encodeUtf16CodePoint(codePoint, out, dstBytes - written);
        if (units < 0 || written > INT_MAX - units)
            return -2;
        written += units;
        if (codePoint == 0)
            return written;
    }
}

int utf16ToUtf8(const char16_t* src, char* dst, int dstBytes)
{
    if (!src || dstBytes < 0)
        return -1;
    int written = 0;
    for (;;) {
        int lengthBytes = 0;
        const uint32_t codePoint = decodeUtf16CodePoint(src, &lengthBytes);
        src += lengthBytes / 2;
        char* out = dst ? dst + written : nullptr;
        const int bytes = encodeUtf8CodePoint(codePoint, out, dstBytes - written);
        if (bytes < 0 || written > INT_MAX - bytes)
            return -2;
        written += bytes;
        if (codePoint == 0)
            return written;
    }
}

char16_t* newUtf16FromUtf8(const char* src)
{
    const int needed = utf8ToUtf16(src, nullptr, 0);
    if (needed <= 0)
        return nullptr;
    auto* dst = static_cast<char16_t*>(std::malloc(static_cast<size_t>(needed)));
    if (!dst)
        return nullptr;
    if (utf8ToUtf16(src, dst, needed) != needed) {
        std::free(dst);
        return nullptr;
    }
    return dst;
}

char* newUtf8FromUtf16(const char16_t* src)
{
    const int needed = utf16ToUtf8(src, nullptr, 0);
    if (needed <= 0)
        return nullptr;
    auto* dst = static_cast<char*>(std::malloc(static_cast<size_t>(needed)));
    if (!dst)
        return nullptr;
    if (utf16ToUtf8(src, dst, needed) != needed) {
        std::free(dst);
        return nullptr;
    }
    return dst;
}

} // namespace Corvel
