// Character walks shared by the narrow and UTF-16 searches, the extension
// finders and the trimming functions. Internal to the library.
#ifndef JULIB_SRC_SEARCH_WALK_H
#define JULIB_SRC_SEARCH_WALK_H

#include "julib/cstring.h"

#include <cstddef>
#include <cstdint>

namespace julib::internal::walk {

inline bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The code point of a high surrogate and the unit after it. The second unit
// is not checked: callers decide what a pair is.
inline int32_t joinSurrogates(char16_t high, char16_t low) {
  return ((static_cast<int32_t>(high) - 0xD7F7) << 10) + static_cast<int32_t>(low);
}

// One character of NUL-terminated text: how far to step, and whether it is a
// single unit that a one-unit search character may equal.
struct CharStep {
  size_t length;
  bool single;
};

// A narrow character is as long as its kind says, but a NUL inside it ends
// the text there: the walk never steps over the terminator of a text whose
// last character is cut.
inline CharStep narrowStepZ(const char* p, JuCodePageKind kind) {
  const size_t full = juCharLen(p, kind);
  size_t length = 1;
  while (length < full && p[length] != '\0') ++length;
  return {length, full == 1};
}

// A high surrogate is stepped with the unit after it and never matches a
// single unit; followed by the NUL it is stepped alone, so the walk ends.
inline CharStep wideStepZ(const char16_t* p) {
  if (isHighSurrogate(p[0])) return {p[1] != 0 ? size_t{2} : size_t{1}, false};
  return {1, true};
}

// Walks a NUL-terminated text by `step` and returns the first character
// equal to c outside stretches quoted by q1, q2 or q3. c is tested before the
// quotes, so a c that is also a quote is found; inside a stretch only its
// own quote closes it. Quote values of 0 never open a stretch.
template <typename Unit, typename Step>
const Unit* findCharUnquoted(const Unit* text, Unit c, Unit q1, Unit q2, Unit q3, Step step) {
  Unit open = 0;
  for (const Unit* p = text; *p != 0;) {
    const CharStep s = step(p);
    if (s.single) {
      if (open == 0) {
        if (*p == c) return p;
        if (*p == q1 || *p == q2 || *p == q3) open = *p;
      } else if (*p == open) {
        open = 0;
      }
    }
    p += s.length;
  }
  return nullptr;
}

// The first character start i of a counted text where the m units of the
// pattern follow, trying only starts that leave room for m units. Empty
// patterns find nothing. `nextIndex` steps whole characters. The byte count
// of the compare cannot overflow: the m units lie inside the text.
template <typename Unit, typename NextIndex>
const Unit* findCounted(const Unit* text, size_t n, const Unit* pattern, size_t m, NextIndex nextIndex) {
  if (m == 0 || m > n) return nullptr;
  const size_t last = n - m;
  for (size_t i = 0; i <= last; i = nextIndex(text, i)) {
    if (text[i] == pattern[0] && juMemEqual(text + i + 1, pattern + 1, (m - 1) * sizeof(Unit)) != 0) {
      return text + i;
    }
  }
  return nullptr;
}

// Index after the UTF-16 character at i: a high surrogate takes the unit
// after it along.
inline size_t wideNextIndex(const char16_t* text, size_t i) { return isHighSurrogate(text[i]) ? i + 2 : i + 1; }

}  // namespace julib::internal::walk

#endif  // JULIB_SRC_SEARCH_WALK_H
