// Pure UTF-16 rules: surrogates, unit lengths, cuts on a character boundary,
// and UTF-8 <-> UTF-16 for short texts. Header-only and free of the system
// and of ICU, so the Driver Manager stand-in uses it without linking the
// platform layer.
#ifndef PLATFORM_UTF16_H
#define PLATFORM_UTF16_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform::utf16 {

// ---------------------------------------------------------------------------
// Surrogates. The tests take any 32-bit value, so a code point or a unit
// read from a wider type is tested as it is.
// ---------------------------------------------------------------------------

inline constexpr char32_t kReplacementChar = 0xFFFD;

constexpr bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr bool isSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// The code point of a high surrogate and the unit after it; the low unit is
// not checked here.   joinSurrogates(0xD83D, 0xDE00) -> 0x1F600
constexpr uint32_t joinSurrogates(uint32_t high, uint32_t low) { return ((high - 0xD7F7) << 10) + low; }

// The two halves of a supplementary code point (0x10000 to 0x10FFFF).
//   highSurrogateOf(0x1F600) -> 0xD83D, lowSurrogateOf(0x1F600) -> 0xDE00
constexpr char16_t highSurrogateOf(uint32_t codePoint) { return static_cast<char16_t>((codePoint >> 10) + 0xD7C0); }
constexpr char16_t lowSurrogateOf(uint32_t codePoint) { return static_cast<char16_t>((codePoint & 0x3FF) | 0xDC00); }

// The code point at text[*index] (*index < size) with a pair joined, and
// *index moved past it; a lone surrogate reads as U+FFFD.
//   from i = 0: nextCodePoint(u"\U0001F600x", &i) -> 0x1F600, i == 2
constexpr char32_t nextCodePoint(std::u16string_view text, size_t* index) {
  const uint32_t unit = text[(*index)++];
  if (isHighSurrogate(unit) && *index < text.size() && isLowSurrogate(text[*index])) {
    return joinSurrogates(unit, text[(*index)++]);
  }
  return isSurrogate(unit) ? kReplacementChar : unit;
}

// ---------------------------------------------------------------------------
// Lengths.
// ---------------------------------------------------------------------------

// Units of NUL-terminated text before its terminator; 0 for null.
//   unitLength(u"a\U0001F600") -> 3
inline size_t unitLength(const char16_t* text) {
  size_t n = 0;
  if (text != nullptr) {
    while (text[n] != 0) ++n;
  }
  return n;
}

// The same, reading at most `maximum` units.   unitLength(u"abc", 2) -> 2
inline size_t unitLength(const char16_t* text, size_t maximum) {
  size_t n = 0;
  if (text != nullptr) {
    while (n < maximum && text[n] != 0) ++n;
  }
  return n;
}

// ---------------------------------------------------------------------------
// Cuts. Both return the length of `text` cut to at most `n` units (the whole
// text when it is not longer); they differ only for a high surrogate right
// before the cut that is not followed by a low one.
// ---------------------------------------------------------------------------

// A high surrogate leads two units whatever follows it, as the library's
// character stepping has it: one right before the cut leaves with it.
//   cutAtCharBoundary(u"ab\xD800" u"c", 3) -> 2
constexpr size_t cutAtCharBoundary(std::u16string_view text, size_t n) {
  if (n >= text.size()) return text.size();
  return n > 0 && isHighSurrogate(text[n - 1]) ? n - 1 : n;
}

// Only a surrogate pair is kept whole; a lone high surrogate is a character
// of its own, as ICU reads it.
//   cutOutsidePair(u"a\U0001F600", 2) -> 1, cutOutsidePair(u"ab\xD800" u"c", 3) -> 3
constexpr size_t cutOutsidePair(std::u16string_view text, size_t n) {
  if (n >= text.size()) return text.size();
  return n > 0 && isHighSurrogate(text[n - 1]) && isLowSurrogate(text[n]) ? n - 1 : n;
}

// ---------------------------------------------------------------------------
// UTF-8 for short texts (names, messages): whole strings, nothing streamed.
// ---------------------------------------------------------------------------

// Writes the UTF-8 form of `codePoint` (1 to 4 bytes) at `out` and returns
// its length. Bits above the 21 that UTF-8 carries are dropped.
//   encodeUtf8(0xE9, out) -> 2 ("\xC3\xA9")
inline size_t encodeUtf8(uint32_t codePoint, char* out) {
  auto put = [&out](uint32_t byte) { *out++ = static_cast<char>(byte); };
  if (codePoint < 0x80) {
    put(codePoint);
    return 1;
  }
  if (codePoint < 0x800) {
    put(0xC0 | (codePoint >> 6));
    put(0x80 | (codePoint & 0x3F));
    return 2;
  }
  if (codePoint <= 0xFFFF) {
    put(0xE0 | (codePoint >> 12));
    put(0x80 | ((codePoint >> 6) & 0x3F));
    put(0x80 | (codePoint & 0x3F));
    return 3;
  }
  put(0xF0 | ((codePoint >> 18) & 0x07));
  put(0x80 | ((codePoint >> 12) & 0x3F));
  put(0x80 | ((codePoint >> 6) & 0x3F));
  put(0x80 | (codePoint & 0x3F));
  return 4;
}

// One character of UTF-8 text: its code point and the bytes it took.
struct Utf8Char {
  char32_t codePoint;
  size_t bytes;
};

// Decodes the character at text[i] (i < size). A malformed sequence is
// U+FFFD and takes its lead byte and the continuation bytes that follow it,
// up to the count the lead byte announces.
//   decodeUtf8("\xC3\xA9", 0) -> {0xE9, 2}, decodeUtf8("\xE0\x80\x80", 0) -> {0xFFFD, 3}
inline Utf8Char decodeUtf8(std::string_view text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t trail = 0;
  char32_t code = lead;
  char32_t least = 0;
  if (lead >= 0xF0 && lead <= 0xF4) {
    trail = 3, code = lead & 0x07, least = 0x10000;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trail = 2, code = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1, code = lead & 0x1F, least = 0x80;
  } else if (lead >= 0x80) {
    code = kReplacementChar;
  }
  size_t used = 1;
  for (; used <= trail; ++used) {
    if (i + used >= text.size()) break;
    const auto next = static_cast<unsigned char>(text[i + used]);
    if ((next & 0xC0) != 0x80) break;
    code = (code << 6) | (next & 0x3F);
  }
  if (used <= trail || code < least || code > 0x10FFFF || isSurrogate(code)) code = kReplacementChar;
  return {code, used};
}

// Calls put(unit) with each UTF-16 unit of UTF-8 `text` in turn, a
// malformed sequence as U+FFFD: fromUtf8 into any store.
template <typename Put>
void putUtf16(std::string_view text, Put&& put) {
  for (size_t i = 0; i < text.size();) {
    const Utf8Char c = decodeUtf8(text, i);
    i += c.bytes;
    if (c.codePoint > 0xFFFF) {
      put(highSurrogateOf(c.codePoint));
      put(lowSurrogateOf(c.codePoint));
    } else {
      put(static_cast<char16_t>(c.codePoint));
    }
  }
}

// Calls put(bytes, count) with the UTF-8 form of each character of UTF-16
// `text` in turn, a lone surrogate as U+FFFD: toUtf8 into any store.
template <typename Put>
void putUtf8(std::u16string_view text, Put&& put) {
  for (size_t i = 0; i < text.size();) {
    char bytes[4];
    put(static_cast<const char*>(bytes), encodeUtf8(nextCodePoint(text, &i), bytes));
  }
}

// UTF-8 as UTF-16 into `out`, which has room for text.size() units (a
// character never takes more units than bytes); returns the units written,
// no terminator.   utf8ToUtf16("G\xC3\xBC", out) -> 2, u"G\u00FC"
inline size_t utf8ToUtf16(std::string_view text, char16_t* out) {
  size_t units = 0;
  putUtf16(text, [&](char16_t unit) { out[units++] = unit; });
  return units;
}

// UTF-16 as UTF-8 into `out`, which has room for 3 * text.size() bytes (a
// unit never takes more than three); returns the bytes written, no
// terminator.   utf16ToUtf8(u"\u00E9", out) -> 2, "\xC3\xA9"
inline size_t utf16ToUtf8(std::u16string_view text, char* out) {
  size_t bytes = 0;
  putUtf8(text, [&](const char* piece, size_t count) {
    for (size_t i = 0; i < count; ++i) out[bytes++] = piece[i];
  });
  return bytes;
}

// The same as standard strings, for code that may throw on allocation.
//   fromUtf8("G\xC3\xBC") -> u"G\u00FC";  toUtf8(u"\U0001F600") -> "\xF0\x9F\x98\x80"
inline std::u16string fromUtf8(std::string_view text) {
  std::u16string out;
  putUtf16(text, [&out](char16_t unit) { out += unit; });
  return out;
}
inline std::string toUtf8(std::u16string_view text) {
  std::string out;
  putUtf8(text, [&out](const char* bytes, size_t count) { out.append(bytes, count); });
  return out;
}

}  // namespace platform::utf16

#endif  // PLATFORM_UTF16_H
