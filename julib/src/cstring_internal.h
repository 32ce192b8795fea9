// Inline helpers shared by the character and C-string primitives: UTF-16
// decoding (on the platform layer's surrogate rules), character lengths by
// code-page kind, and walks over NUL-terminated text that never step over
// the terminator.
#ifndef JULIB_SRC_CSTRING_INTERNAL_H
#define JULIB_SRC_CSTRING_INTERNAL_H

#include "julib/cstring.h"
#include "platform/ansi.h"
#include "platform/utf16.h"

#include <cstddef>
#include <cstdint>

namespace julib::internal {

// --- UTF-16 ------------------------------------------------------------------

using platform::utf16::isHighSurrogate;
using platform::utf16::isLowSurrogate;
using platform::utf16::joinSurrogates;

// A character of UTF-16 text as its code point and its length in units.
struct WideChar {
  uint32_t codePoint;
  size_t units;
};

// Decodes the character at text[i], where i < n, without reading text[n]. A
// high surrogate joins only a low surrogate after it inside the count; any
// other surrogate stands for itself, so different texts never decode alike.
inline WideChar decodeCounted(const char16_t* text, size_t i, size_t n) {
  const uint32_t unit = text[i];
  if (isHighSurrogate(unit) && i + 1 < n && isLowSurrogate(text[i + 1])) {
    return {joinSurrogates(unit, text[i + 1]), 2};
  }
  return {unit, 1};
}

// The same for a NUL-terminated text (text[i] is not the terminator).
inline WideChar decodeTerminated(const char16_t* text, size_t i) {
  const uint32_t unit = text[i];
  if (isHighSurrogate(unit) && isLowSurrogate(text[i + 1])) return {joinSurrogates(unit, text[i + 1]), 2};
  return {unit, 1};
}

// The code point at p, a surrogate pair joined (NUL-terminated or at least
// two readable units when p holds a high surrogate).
inline uint32_t codePointAt(const char16_t* p) { return decodeTerminated(p, 0).codePoint; }

// Whether text[i] starts a UTF-16 character: a high surrogate takes the unit
// after it whatever that is, so as for ANSI lead bytes the run of high
// surrogates right before i must be even.
inline bool isWideCharStart(const char16_t* text, size_t i) {
  size_t run = 0;
  while (run < i && isHighSurrogate(text[i - run - 1])) ++run;
  return run % 2 == 0;
}

inline char16_t swapUnit(char16_t unit) { return static_cast<char16_t>((unit << 8) | (unit >> 8)); }

// --- Narrow characters ---------------------------------------------------------

inline bool isLeadByte(char byte) { return platform::isLeadByte(static_cast<uint8_t>(byte)); }

// Whether text[i] starts a character of ANSI text. A lead byte takes the
// byte after it whatever that is, so the run of lead bytes right before i
// starts at a character start and pairs up: i starts a character when the
// run is even. Lets a search find a candidate with the C library's scans and
// check it afterwards instead of stepping every character.
inline bool isAnsiCharStart(const char* text, size_t i, const bool* leadBytes) {
  size_t run = 0;
  while (run < i && leadBytes[static_cast<uint8_t>(text[i - run - 1])]) ++run;
  return run % 2 == 0;
}

// UTF-8 length by its first byte alone: a stray continuation byte is one
// character, 0xF0 and up are four bytes.
inline size_t utf8LengthByLead(uint8_t lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

inline size_t charLen(const char* p, JuCodePageKind kind) {
  if (kind == JuCodePageKind::kUtf8) return utf8LengthByLead(static_cast<uint8_t>(*p));
  return isLeadByte(*p) ? 2 : 1;
}

// Bytes of NUL-terminated narrow text of a kind (0 for null): UTF-16 text
// (kind 2) ends at its first zero unit, read a unit at a time so nothing past
// it is touched; every other kind ends at its first zero byte.
inline size_t terminatedBytes(const char* text, JuCodePageKind kind) {
  if (text == nullptr) return 0;
  if (kind == JuCodePageKind::kUtf16) return 2 * juStrCharCount(text, kind, SIZE_MAX / 2);
  return juStrLen(text);
}

// Length of the character at p (not the terminator) in NUL-terminated text:
// a character cut by the terminator ends before it, so a walk never steps
// over the end of the text.
inline size_t charLenTerminated(const char* p, JuCodePageKind kind) {
  const size_t len = charLen(p, kind);
  for (size_t i = 1; i < len; ++i) {
    if (p[i] == '\0') return i;
  }
  return len;
}

// Length of the character at text[i] (i < n) cut to the count.
inline size_t charLenCounted(const char* text, size_t i, size_t n, JuCodePageKind kind) {
  const size_t len = charLen(text + i, kind);
  return len <= n - i ? len : n - i;
}

}  // namespace julib::internal

#endif  // JULIB_SRC_CSTRING_INTERNAL_H
