// A strict UTF-8 decoder for the library's own UTF-8 walks: one character
// at a time, bounded by the end of the text, telling an ill-formed sequence
// from one that the end of the text cuts short.
#ifndef JULIB_SRC_UTF8_DECODE_H
#define JULIB_SRC_UTF8_DECODE_H

#include <cstddef>
#include <cstdint>

namespace julib::internal {

enum class Utf8Status : uint8_t {
  kOk,         // a whole character
  kInvalid,    // ill-formed: no continuation can make it a character
  kTruncated,  // a correct start of a character that the end of the text cuts
};

struct Utf8Char {
  uint32_t codePoint;  // valid with kOk
  uint32_t length;     // bytes taken; with kInvalid the ill-formed bytes (>= 1)
  Utf8Status status;
};

// U+FDD0..U+FDEF and the last two code points of every plane.
inline bool isNoncharacter(uint32_t c) { return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE; }

// Bytes that follow a lead byte: C0-DF one, E0-EF two, F0-F4 three, else 0.
inline uint32_t utf8TrailCount(uint8_t lead) {
  if (lead < 0xC0) return 0;
  if (lead < 0xE0) return 1;
  if (lead < 0xF0) return 2;
  return lead <= 0xF4 ? 3 : 0;
}

// The bytes of the first n up to the start of a character that the n-th
// byte cuts short: n when the text does not end inside a character by its
// lead byte's count (stray continuation bytes are characters of their own).
//   "a\xE2\x82" -> 1;  "a\xC3\xA9" -> 3
inline size_t utf8WholeLength(const uint8_t* text, size_t n) {
  // Back over at most three continuation bytes to the byte that leads them.
  size_t start = n;
  size_t trail = 0;
  while (start > 0 && trail < 3 && (text[start - 1] & 0xC0) == 0x80) {
    --start;
    ++trail;
  }
  if (start == 0 || text[start - 1] < 0xC0) return n;  // nothing leads them, or ASCII
  return trail < utf8TrailCount(text[start - 1]) ? start - 1 : n;
}

// The range of the byte after each lead byte that keeps the sequence in the
// shortest form, below U+10FFFF and off the surrogates; every other
// continuation byte is 80-BF.
struct SecondByteRange {
  uint8_t low;
  uint8_t high;
};
inline SecondByteRange utf8SecondByteRange(uint8_t lead) {
  switch (lead) {
    case 0xE0: return {0xA0, 0xBF};  // E0 80-9F would be overlong
    case 0xED: return {0x80, 0x9F};  // ED A0-BF are the surrogates
    case 0xF0: return {0x90, 0xBF};  // F0 80-8F would be overlong
    case 0xF4: return {0x80, 0x8F};  // F4 90 and up lie above U+10FFFF
    default: return {0x80, 0xBF};
  }
}

// Decodes the character at p (p < end) without reading at or past end.
// Overlong forms (C0, C1 and the ranges above), surrogates, values above
// U+10FFFF, stray continuation bytes and F5-FF are kInvalid; so are the
// noncharacters when `rejectNoncharacters` is set. A correct but incomplete
// start that reaches end is kTruncated.
inline Utf8Char decodeUtf8(const uint8_t* p, const uint8_t* end, bool rejectNoncharacters) {
  const uint8_t lead = p[0];
  if (lead < 0x80) return {lead, 1, Utf8Status::kOk};
  const uint32_t trail = utf8TrailCount(lead);
  if (trail == 0 || lead < 0xC2) return {0, 1, Utf8Status::kInvalid};
  uint32_t c = lead & ((1u << (6 - trail)) - 1);
  const SecondByteRange second = utf8SecondByteRange(lead);
  for (uint32_t i = 1; i <= trail; ++i) {
    if (p + i == end) return {0, i, Utf8Status::kTruncated};
    const uint8_t b = p[i];
    const uint8_t low = i == 1 ? second.low : 0x80;
    const uint8_t high = i == 1 ? second.high : 0xBF;
    if (b < low || b > high) return {0, i, Utf8Status::kInvalid};
    c = (c << 6) | (b & 0x3F);
  }
  if (rejectNoncharacters && isNoncharacter(c)) return {0, trail + 1, Utf8Status::kInvalid};
  return {c, trail + 1, Utf8Status::kOk};
}

}  // namespace julib::internal

#endif  // JULIB_SRC_UTF8_DECODE_H
