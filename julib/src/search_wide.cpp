// Searches in UTF-16 text: units, sets of units, substrings exact and
// without case. A high surrogate and the unit after it are stepped together
// and never match a single unit; no walk reads past a counted length or a
// terminator.

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

// The first BMP unit of a NUL-terminated text that `match` accepts. A high
// surrogate followed by the NUL ends the search.
template <typename Match>
const char16_t* findUnitZ(const char16_t* text, Match match) {
  for (const char16_t* p = text; *p != 0;) {
    if (isHighSurrogate(*p)) {
      if (p[1] == 0) return nullptr;
      p += 2;
    } else if (match(*p)) {
      return p;
    } else {
      ++p;
    }
  }
  return nullptr;
}

// The counted twin: a high surrogate in the last unit ends the search.
template <typename Match>
const char16_t* findUnitN(const char16_t* text, size_t n, Match match) {
  for (size_t i = 0; i < n;) {
    if (isHighSurrogate(text[i])) {
      if (i + 1 >= n) return nullptr;
      i += 2;
    } else if (match(text[i])) {
      return text + i;
    } else {
      ++i;
    }
  }
  return nullptr;
}

// A unit matches c without case when it is c, or its upper case or itself
// equals c's upper case.
struct NoCaseUnit {
  char16_t c;
  int32_t upper;
  explicit NoCaseUnit(char16_t unit) : c(unit), upper(u_toupper(unit)) {}
  bool operator()(char16_t unit) const { return unit == c || unit == upper || u_toupper(unit) == upper; }
};

struct CodePoint {
  int32_t value;
  size_t length;
};

// The code point at i of counted text; a high surrogate is joined with the
// unit after it when that unit lies inside the count.
CodePoint codePointAt(const char16_t* text, size_t i, size_t n) {
  if (isHighSurrogate(text[i]) && i + 1 < n) return {static_cast<int32_t>(joinSurrogates(text[i], text[i + 1])), 2};
  return {text[i], 1};
}

// The text from j equals the pattern's rest code point by code point after
// upper-casing, over the rest's length, without reading past n.
bool restEqualNoCase(const char16_t* text, size_t j, size_t n, const char16_t* rest, size_t restLength) {
  for (size_t k = 0; k < restLength;) {
    if (j >= n) return false;
    const CodePoint a = codePointAt(text, j, n);
    const CodePoint b = codePointAt(rest, k, restLength);
    if (a.value != b.value && u_toupper(a.value) != u_toupper(b.value)) return false;
    j += a.length;
    k += b.length;
  }
  return true;
}

}  // namespace

const char16_t* juWStrFindChar(const char16_t* text, char16_t c) {
  return findUnitZ(text, [c](char16_t unit) { return unit == c; });
}

const char16_t* juWStrNFindChar(const char16_t* text, size_t n, char16_t c) {
  return findUnitN(text, n, [c](char16_t unit) { return unit == c; });
}

const char16_t* juWStrNFindLastChar(const char16_t* text, size_t n, char16_t c) {
  for (size_t i = n; i > 0;) {
    const char16_t unit = text[i - 1];
    if (isLowSurrogate(unit)) {
      // The low surrogate goes with the unit before it, as stepping back does.
      if (i < 2) return nullptr;
      i -= 2;
    } else if (unit == c) {
      return text + i - 1;
    } else {
      --i;
    }
  }
  return nullptr;
}

const char16_t* juWStrFindCharUnquoted(const char16_t* text, char16_t c, char16_t q1, char16_t q2, char16_t q3) {
  return julib::internal::walk::findCharUnquoted(text, c, q1, q2, q3, julib::internal::walk::wideStepZ);
}

const char16_t* juWStrNFindAnyOf(const char16_t* text, size_t n, const char16_t* set) {
  return findUnitN(text, n, [set](char16_t unit) { return juWStrFindChar(set, unit) != nullptr; });
}

const char16_t* juWStrNFindAnyOfNarrow(const char16_t* text, size_t n, const char* set) {
  return findUnitN(text, n, [set](char16_t unit) {
    if (unit == 0 || unit > 0xFF) return false;
    for (const char* s = set; *s != '\0'; ++s) {
      if (static_cast<unsigned char>(*s) == unit) return true;
    }
    return false;
  });
}

const char16_t* juWStrNIFindChar(const char16_t* text, size_t n, char16_t c) {
  return findUnitN(text, n, NoCaseUnit(c));
}

const char16_t* juWStrIFindChar(const char16_t* text, char16_t c) { return findUnitZ(text, NoCaseUnit(c)); }

const char16_t* juWStrNFind(const char16_t* text, size_t n, const char16_t* pattern, size_t m) {
  return julib::internal::walk::findCounted(
      text, n, pattern, m, [text](size_t i) { return julib::internal::isWideCharStart(text, i); });
}

const char16_t* juWStrFind(const char16_t* text, const char16_t* pattern, size_t m) {
  if (m == 0) return nullptr;
  if (m == 1) return juWStrFindChar(text, pattern[0]);
  // Measured first, so that a comparison never runs past the terminator.
  return juWStrNFind(text, std::char_traits<char16_t>::length(text), pattern, m);
}

const char16_t* juWStrNIFind(const char16_t* text, size_t n, const char16_t* pattern, size_t m) {
  if (m == 0) return nullptr;
  if (m == 1) return juWStrNIFindChar(text, n, pattern[0]);
  const CodePoint first = codePointAt(pattern, 0, m);
  const int32_t upperFirst = u_toupper(first.value);
  const char16_t* rest = pattern + first.length;
  const size_t restLength = m - first.length;
  for (size_t i = 0; i < n;) {
    if (isHighSurrogate(text[i]) && i + 1 >= n) return nullptr;  // no partner
    const CodePoint candidate = codePointAt(text, i, n);
    const size_t after = i + candidate.length;
    if (candidate.value == first.value || candidate.value == upperFirst || u_toupper(candidate.value) == upperFirst) {
      // The exact rest is the common case and the cheapest test.
      if (candidate.value == first.value && restLength <= n - after &&
          juMemEqual(text + after, rest, restLength * sizeof(char16_t)) != 0) {
        return text + i;
      }
      if (restEqualNoCase(text, after, n, rest, restLength)) return text + i;
    }
    i = after;
  }
  return nullptr;
}

const char16_t* juWStrIFind(const char16_t* text, const char16_t* pattern, size_t m) {
  if (m == 0) return nullptr;
  if (m == 1) return juWStrIFindChar(text, pattern[0]);
  return juWStrNIFind(text, std::char_traits<char16_t>::length(text), pattern, m);
}
