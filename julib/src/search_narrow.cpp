// Searches in narrow text: characters, substrings, either of two forms and
// substrings without case. Every walk steps whole characters of the text's
// kind and never reads past a counted length or a terminator.

#include "julib/cstring.h"
#include "julib/object.h"
#include "platform/ansi.h"
#include "search_walk.h"

#include <cstddef>
#include <cstring>

namespace {

using julib::internal::isAnsiCharStart;
using julib::internal::walk::narrowStepZ;

// Counted search in text of `kind` whose candidates are checked against the
// character starts of `starts` (the searched text, or the original of an
// upper-cased copy).
const char* findInKind(const char* text, size_t n, const char* pattern, size_t m, JuCodePageKind kind,
                       const char* starts) {
  if (kind == JuCodePageKind::kUtf8) {
    return julib::internal::walk::findCountedStepping(
        text, n, pattern, m, [starts, kind](const char*, size_t i) { return juCharNextIndex(starts, i, kind); });
  }
  const bool* leadBytes = platform::leadByteTable();
  return julib::internal::walk::findCounted(
      text, n, pattern, m, [starts, leadBytes](size_t i) { return isAnsiCharStart(starts, i, leadBytes); });
}

// Upper-cases a private copy for the no-case search. UTF-8 is folded in its
// ASCII letters only: the ANSI case table would rewrite its lead and
// continuation bytes, which changes character lengths and makes unrelated
// characters equal.
char* upperCaseCopy(const char* text, size_t n, JuCodePageKind kind) {
  char* copy = juStrNDup(text, n);
  if (copy == nullptr) return nullptr;
  if (kind == JuCodePageKind::kUtf8) {
    for (size_t i = 0; i < n; ++i) {
      if (copy[i] >= 'a' && copy[i] <= 'z') copy[i] = static_cast<char>(copy[i] - 'a' + 'A');
    }
  } else {
    platform::upperInPlace(copy, n);
  }
  return copy;
}

}  // namespace

const char* juStrFindChar(const char* text, char c, JuCodePageKind kind) {
  if (c == '\0') return nullptr;
  if (kind != JuCodePageKind::kUtf8) {
    // The C library finds candidates; a candidate inside a double-byte
    // character is passed over.
    const bool* leadBytes = platform::leadByteTable();
    for (const char* p = std::strchr(text, c); p != nullptr; p = std::strchr(p + 1, c)) {
      if (isAnsiCharStart(text, static_cast<size_t>(p - text), leadBytes)) return p;
    }
    return nullptr;
  }
  for (const char* p = text; *p != '\0'; p += narrowStepZ(p, kind).length) {
    if (*p == c) return p;
  }
  return nullptr;
}

const char* juStrFindCharAnsi(const char* text, char c) { return juStrFindChar(text, c, JuCodePageKind::kAnsi); }

const char* juStrFindLastChar(const char* text, char c, JuCodePageKind kind) {
  const char* last = nullptr;
  for (const char* p = juStrFindChar(text, c, kind); p != nullptr;
       p = juStrFindChar(p + narrowStepZ(p, kind).length, c, kind)) {
    last = p;
  }
  return last;
}

const char* juStrFindCharUnquoted(const char* text, char c, char q1, char q2, char q3, JuCodePageKind kind) {
  return julib::internal::walk::findCharUnquoted(text, c, q1, q2, q3,
                                                 [kind](const char* p) { return narrowStepZ(p, kind); });
}

const char* juStrNFind(const char* text, size_t n, const char* pattern, size_t m, JuCodePageKind kind) {
  return findInKind(text, n, pattern, m, kind, text);
}

const char* juStrFind(const char* text, const char* pattern, JuCodePageKind kind) {
  return juStrNFind(text, juStrLen(text), pattern, juStrLen(pattern), kind);
}

const char* juStrNFindEitherForm(const char* text, size_t n, const char* form1, const char* form2, size_t m,
                                 JuCodePageKind kind) {
  // An empty pattern finds nothing, as in the other searches.
  if (m == 0 || m > n) return nullptr;
  const size_t last = n - m;
  if (kind == JuCodePageKind::kBytes) {
    for (size_t i = 0; i <= last; ++i) {
      if (juMemMatchEither(text + i, form1, form2, m) != 0) return text + i;
    }
    return nullptr;
  }
  // Only one-byte characters start a match, so a trail byte never does.
  for (size_t i = 0; i <= last;) {
    const size_t length = juCharLen(text + i, kind);
    if (length == 1 && juMemMatchEither(text + i, form1, form2, m) != 0) return text + i;
    i += length;
  }
  return nullptr;
}

const char* juStrNIFind(const char* text, size_t n, const char* pattern, size_t m, JuCodePageKind kind) {
  if (m == 0 || m > n) return nullptr;
  char* upperText = upperCaseCopy(text, n, kind);
  char* upperPattern = upperText != nullptr ? upperCaseCopy(pattern, m, kind) : nullptr;
  const char* found = nullptr;
  if (upperPattern != nullptr) {
    // Starts are the searched text's own characters, so a match never
    // begins inside one of them whatever the case mapping did.
    const char* hit = findInKind(upperText, n, upperPattern, m, kind, text);
    if (hit != nullptr) found = text + (hit - upperText);
  }
  juFree(upperPattern);
  juFree(upperText);
  return found;
}

const char* juStrIFind(const char* text, const char* pattern, JuCodePageKind kind) {
  return juStrNIFind(text, juStrLen(text), pattern, juStrLen(pattern), kind);
}

const char* juStrNIFindZ(const char* text, size_t n, const char* pattern, JuCodePageKind kind) {
  return juStrNIFind(text, n, pattern, juStrLen(pattern), kind);
}
