// Lengths without trailing blanks, and cutting them off in place.
//
// Narrow text is walked forward by whole characters, because a trail byte
// may look like a blank; UTF-16 text is walked back, a surrogate pair taken
// as one code point.

#include "julib/cstring.h"
#include "search_walk.h"

#include <unicode/uchar.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

using julib::internal::walk::isHighSurrogate;
using julib::internal::walk::isLowSurrogate;
using julib::internal::walk::joinSurrogates;

// The end of the last character of n bytes that is not blank, at most n. A
// character that runs past n counts up to n.
template <typename IsBlank>
size_t trimmedLengthN(const char* text, size_t n, JuCodePageKind kind, IsBlank isBlank) {
  size_t end = 0;
  for (size_t i = 0; i < n;) {
    const size_t length = juCharLen(text + i, kind);
    if (!isBlank(text, i, n)) end = i + length;
    i += length;
  }
  return end < n ? end : n;
}

// The same for NUL-terminated text; cuts it there when that drops anything.
template <typename IsBlank>
void trimTrailingZ(char* text, JuCodePageKind kind, IsBlank isBlank) {
  size_t end = 0;
  size_t i = 0;
  while (text[i] != '\0') {
    const size_t length = julib::internal::walk::narrowStepZ(text + i, kind).length;
    if (!isBlank(text, i, SIZE_MAX)) end = i + length;
    i += length;
  }
  if (end < i) text[end] = '\0';
}

// White space by the runtime and the ideographic space. That one is two
// bytes: a lead byte whose partner lies past n is a cut character, not a
// blank, and its partner is not read.
bool isBlankWithin(const char* text, size_t i, size_t n) {
  if (i + 1 >= n && juIsLeadByteAt(text, i) != 0) return false;
  return juStrIsBlankAt(text, i) != 0;
}

bool isSpace(const char* text, size_t i, size_t) { return text[i] == ' '; }

char16_t plainUnit(char16_t unit) { return unit; }
char16_t swappedUnit(char16_t unit) { return static_cast<char16_t>((unit >> 8) | (unit << 8)); }

// Walking back over n units: a low surrogate after a high one is one code
// point with it; the first character that is not white space ends the walk
// and its end is the result. A low surrogate without its high half is a
// character of its own, and not white space.
template <typename Load>
size_t trimmedLengthW(const char16_t* text, size_t n, Load load) {
  for (size_t i = n; i > 0;) {
    const char16_t unit = load(text[i - 1]);
    if (isLowSurrogate(unit) && i >= 2 && isHighSurrogate(load(text[i - 2]))) {
      if (!u_isWhitespace(joinSurrogates(load(text[i - 2]), unit))) return i;
      i -= 2;
    } else {
      if (!u_isWhitespace(unit)) return i;
      --i;
    }
  }
  return 0;
}

}  // namespace

size_t juStrNTrimmedLen(const char* text, size_t n, JuCodePageKind kind) {
  return trimmedLengthN(text, n, kind, isBlankWithin);
}

void juStrTrimTrailingBlanks(char* text, JuCodePageKind kind) { trimTrailingZ(text, kind, isBlankWithin); }

size_t juStrNSpaceTrimmedLen(const char* text, size_t n, JuCodePageKind kind) {
  return trimmedLengthN(text, n, kind, isSpace);
}

void juStrTrimTrailingSpaces(char* text, JuCodePageKind kind) { trimTrailingZ(text, kind, isSpace); }

size_t juWStrNTrimmedLen(const char16_t* text, size_t n) { return trimmedLengthW(text, n, plainUnit); }

size_t juWStrTrimTrailingWhitespace(char16_t* text) {
  const size_t length = std::char_traits<char16_t>::length(text);
  const size_t trimmed = juWStrNTrimmedLen(text, length);
  if (trimmed < length) text[trimmed] = 0;
  return trimmed;
}

size_t juWStrNTrimmedLenSwapped(const char16_t* text, size_t n) { return trimmedLengthW(text, n, swappedUnit); }

size_t juStr32NTrimmedLen(const char32_t* text, size_t n) {
  while (n > 0 && u_isWhitespace(static_cast<UChar32>(text[n - 1]))) --n;
  return n;
}
