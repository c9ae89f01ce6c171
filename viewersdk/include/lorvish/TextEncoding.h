// Strict UTF-8 <-> UTF-16 conversion. UTF-16 text is char16_t here (wchar_t has 32 bits on this
// platform); all sizes are in bytes.
#pragma once

#include <lorvish/Export.h>

#include <cstdint>

namespace Corvel {

// Both string routines convert up to and including the terminating zero and return the bytes
// written, or needed when dst is null; -1 for a null source or a negative size, -2 when dst is too
// small (nothing is then promised about dst).
//
// A UTF-8 byte that does not start a valid sequence (stray continuation, overlong form, encoded
// surrogate, above U+10FFFF, truncated sequence) becomes the unit 0xDC00 + byte.
LORVISH_EXPORT int utf8ToUtf16(const char* src, char16_t* dst, int dstBytes);
// An unpaired high surrogate becomes '?'; a lone low surrogate is written as its 3-byte form.
LORVISH_EXPORT int utf16ToUtf8(const char16_t* src, char* dst, int dstBytes);

// Measure, malloc and convert; null on any failure; the caller frees with free().
LORVISH_EXPORT char16_t* newUtf16FromUtf8(const char* src);
LORVISH_EXPORT char* newUtf8FromUtf16(const char16_t* src);

// One code point and its length in bytes; an invalid lead gives 0xDC00 + byte, length 1 and
// valid false. Reads no further than the first byte that cannot continue the sequence, so a
// terminating zero is never passed. length and valid may be null.
LORVISH_EXPORT uint32_t decodeUtf8CodePoint(const uint8_t* p, int* length, bool* valid);
// One code point; lengthBytes 2 or 4. A high surrogate without a low one gives '?' (2 bytes).
LORVISH_EXPORT uint32_t decodeUtf16CodePoint(const char16_t* p, int* lengthBytes);

// Bytes of the encoding (1 to 4, resp. 2 or 4); with null out only the length. -1 when space is
// too small, -2 above 0x10FFFF.
LORVISH_EXPORT int encodeUtf8CodePoint(uint32_t codePoint, char* out, int space);
LORVISH_EXPORT int encodeUtf16CodePoint(uint32_t codePoint, char16_t* out, int space);

} // namespace Corvel
