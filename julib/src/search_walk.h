// Character walks shared by the narrow and UTF-16 searches, the extension
// finders and the trimming functions. Internal to the library.
#ifndef JULIB_SRC_SEARCH_WALK_H
#define JULIB_SRC_SEARCH_WALK_H

#include "cstring_internal.h"
#include "julib/cstring.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace julib::internal::walk {

using julib::internal::isHighSurrogate;
using julib::internal::isLowSurrogate;
using julib::internal::joinSurrogates;

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
// pattern follow. Empty patterns find nothing. Candidates come from the C
// library's scan of all positions; `isStart(i)` keeps those that lie at a
// character start, which gives the same answer as stepping every character
// at the speed of the scan.
template <typename Unit, typename IsStart>
const Unit* findCounted(const Unit* text, size_t n, const Unit* pattern, size_t m, IsStart isStart) {
  if (m == 0 || m > n) return nullptr;
  const std::basic_string_view<Unit> haystack(text, n);
  const std::basic_string_view<Unit> needle(pattern, m);
  for (size_t i = haystack.find(needle); i != haystack.npos; i = haystack.find(needle, i + 1)) {
    if (isStart(i)) return text + i;
  }
  return nullptr;
}

// The same by stepping whole characters, for UTF-8, whose character starts
// cannot be told by looking back. `nextIndex` steps one character; only
// starts that leave room for m units are tried.
template <typename Unit, typename NextIndex>
const Unit* findCountedStepping(const Unit* text, size_t n, const Unit* pattern, size_t m, NextIndex nextIndex) {
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
