// Ordered and equality comparisons of narrow and UTF-16 text: exact, in
// code-point order, and ignoring case. The counted and NUL-terminated forms
// share one walk each, over a view that knows where its text ends.

#include "cstring_internal.h"
#include "julib/cstring.h"
#include "platform/ansi.h"

#include <unicode/uchar.h>

#include <cstring>

using julib::internal::decodeCounted;
using julib::internal::decodeTerminated;
using julib::internal::isHighSurrogate;
using julib::internal::isLeadByte;
using julib::internal::isLowSurrogate;
using julib::internal::joinSurrogates;
using julib::internal::WideChar;

namespace {

template <typename T>
int order(T a, T b) {
  return a < b ? -1 : a > b ? 1 : 0;
}

// Views of text that answer whether a position still lies inside it. A
// terminated view reads position i + 1 only after position i was inside.
template <typename Unit>
struct Counted {
  const Unit* p;
  size_t n;
  bool has(size_t i) const { return i < n; }
};
template <typename Unit>
struct Terminated {
  const Unit* p;
  bool has(size_t i) const { return p[i] != Unit{0}; }
};

WideChar decode(Counted<char16_t> t, size_t i) { return decodeCounted(t.p, i, t.n); }
WideChar decode(Terminated<char16_t> t, size_t i) { return decodeTerminated(t.p, i); }

// The sort key of the character that starts at unit i. A high surrogate
// joins a low surrogate after it; a high surrogate that ends its text counts
// as its pair with 0xDC00 (a pair cut by a count sorts with the
// supplementary characters); any other unit is its own key. Units that
// differ never get equal keys.
template <typename View>
uint32_t codePointKey(View t, size_t i) {
  const uint32_t unit = t.p[i];
  if (!isHighSurrogate(unit)) return unit;
  if (!t.has(i + 1)) return joinSurrogates(unit, 0xDC00);
  return isLowSurrogate(t.p[i + 1]) ? joinSurrogates(unit, t.p[i + 1]) : unit;
}

// Code-point order: equal units are passed over; the first unequal one
// decides by the keys of the characters there. An ended text is less.
template <typename A, typename B>
int codePointOrder(A a, B b) {
  for (size_t i = 0;; ++i) {
    const bool aHas = a.has(i);
    const bool bHas = b.has(i);
    if (!aHas || !bHas) return aHas ? 1 : bHas ? -1 : 0;
    if (a.p[i] != b.p[i]) return order(codePointKey(a, i), codePointKey(b, i));
    // The same high surrogate before different units: the characters that
    // start here decide, unless both are lone surrogates.
    if (isHighSurrogate(a.p[i]) && a.has(i + 1) && b.has(i + 1) && a.p[i + 1] != b.p[i + 1]) {
      const uint32_t ka = codePointKey(a, i);
      const uint32_t kb = codePointKey(b, i);
      if (ka != kb) return order(ka, kb);
    }
  }
}

// No-case order of UTF-16 text by character: code points that differ are
// compared by u_toupper. Lone surrogates stand for themselves, so the order
// is antisymmetric and texts that differ by more than case never compare
// equal.
template <typename A, typename B>
int noCaseOrder(A a, B b) {
  for (size_t i = 0, j = 0;;) {
    const bool aHas = a.has(i);
    const bool bHas = b.has(j);
    if (!aHas || !bHas) return aHas ? 1 : bHas ? -1 : 0;
    const WideChar ca = decode(a, i);
    const WideChar cb = decode(b, j);
    if (ca.codePoint != cb.codePoint) {
      const UChar32 ua = u_toupper(static_cast<UChar32>(ca.codePoint));
      const UChar32 ub = u_toupper(static_cast<UChar32>(cb.codePoint));
      if (ua != ub) return order(ua, ub);
    }
    i += ca.units;
    j += cb.units;
  }
}

// No-case order of narrow text: a double-byte character (lead byte in a) is
// compared exactly; other unequal bytes are upper-cased alone in the ANSI
// code page. Never reads past either end.
template <typename A, typename B>
int noCaseOrderNarrow(A a, B b) {
  for (size_t i = 0;; ++i) {
    bool aHas = a.has(i);
    bool bHas = b.has(i);
    if (!aHas || !bHas) return aHas ? 1 : bHas ? -1 : 0;
    const uint8_t ca = static_cast<uint8_t>(a.p[i]);
    const uint8_t cb = static_cast<uint8_t>(b.p[i]);
    if (isLeadByte(a.p[i])) {
      if (ca != cb) return order(ca, cb);
      ++i;
      aHas = a.has(i);
      bHas = b.has(i);
      if (!aHas || !bHas) return aHas ? 1 : bHas ? -1 : 0;
      const uint8_t ta = static_cast<uint8_t>(a.p[i]);
      const uint8_t tb = static_cast<uint8_t>(b.p[i]);
      if (ta != tb) return order(ta, tb);
      continue;
    }
    if (ca != cb) {
      const uint8_t ua = platform::upperByte(ca);
      const uint8_t ub = platform::upperByte(cb);
      if (ua != ub) return order(ua, ub);
    }
  }
}

using WideN = Counted<char16_t>;
using WideZ = Terminated<char16_t>;
using NarrowN = Counted<char>;
using NarrowZ = Terminated<char>;

}  // namespace

// --- Exact order ----------------------------------------------------------------------

int16_t juStrNCompare(const char* a, size_t na, const char* b, size_t nb) {
  const size_t common = na < nb ? na : nb;
  const int bytes = common == 0 ? 0 : std::memcmp(a, b, common);
  if (bytes != 0) return static_cast<int16_t>(bytes < 0 ? -1 : 1);
  return static_cast<int16_t>(order(na, nb));
}

int juWStrCompare(const char16_t* a, const char16_t* b) {
  size_t i = 0;
  while (a[i] != 0 && a[i] == b[i]) ++i;
  return order(a[i], b[i]);
}

int16_t juWStrNCompare(const char16_t* a, size_t na, const char16_t* b, size_t nb) {
  return static_cast<int16_t>(codePointOrder(WideN{a, na}, WideN{b, nb}));
}

int16_t juWStrNCompareZ(const char16_t* a, size_t na, const char16_t* b) {
  return static_cast<int16_t>(codePointOrder(WideN{a, na}, WideZ{b}));
}

// --- No-case order ------------------------------------------------------------------------

int juStrICompare(const char* a, const char* b) { return noCaseOrderNarrow(NarrowZ{a}, NarrowZ{b}); }

int16_t juStrNICompare(const char* a, size_t na, const char* b, size_t nb) {
  return static_cast<int16_t>(noCaseOrderNarrow(NarrowN{a, na}, NarrowN{b, nb}));
}

int juWStrICompare(const char16_t* a, const char16_t* b) { return noCaseOrder(WideZ{a}, WideZ{b}); }

int juWStrNICompare(const char16_t* a, size_t na, const char16_t* b, size_t nb) {
  return noCaseOrder(WideN{a, na}, WideN{b, nb});
}

int juWStrNICompareZ(const char16_t* a, size_t na, const char16_t* b) { return noCaseOrder(WideN{a, na}, WideZ{b}); }

// --- UTF-16 against UTF-8 -------------------------------------------------------------------

int juWStrCompareUtf8(const char16_t* a, const char* b) {
  static constexpr uint8_t kLeadMask[4] = {0x7F, 0x1F, 0x0F, 0x07};
  for (size_t i = 0, j = 0;;) {
    const bool aEnded = a[i] == 0;
    const bool bEnded = b[j] == '\0';
    if (aEnded || bEnded) return aEnded ? (bEnded ? 0 : -1) : 1;

    if (isHighSurrogate(a[i]) && a[i + 1] == 0) return -1;  // half a pair
    const WideChar ca = decodeTerminated(a, i);

    // UTF-8 by its first byte; continuation bytes give six bits each.
    const uint8_t lead = static_cast<uint8_t>(b[j]);
    const size_t trail = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    uint32_t cb = lead & kLeadMask[trail];
    for (size_t k = 1; k <= trail; ++k) {
      const uint8_t next = static_cast<uint8_t>(b[j + k]);
      if (next == 0) return 1;  // b ends inside a sequence
      cb = (cb << 6) | (next & 0x3F);
    }

    if (ca.codePoint != cb) return order(ca.codePoint, cb);
    i += ca.units;
    j += trail + 1;
  }
}

// --- Equality ---------------------------------------------------------------------------------

int juWStrEqual(const char16_t* a, const char16_t* b) { return juWStrCompare(a, b) == 0 ? 1 : 0; }

int juWStrNEqual(const char16_t* a, const char16_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == 0 || a[i] != b[i]) return 0;
  }
  return a[n] == 0 ? 1 : 0;
}

int juWStrNEqualZ(const char16_t* a, size_t n, const char16_t* b) { return juWStrNEqual(b, a, n); }

// Counted: all n units take part, zero units included, so views that differ
// after a zero are not equal. The caller gives n readable units on each side.
int juWStrEqualPrefix(const char16_t* a, const char16_t* b, size_t n) {
  return juMemEqual(a, b, n * sizeof(char16_t));
}

int juStrIEqual(const char* a, const char* b) { return juStrICompare(a, b) == 0 ? 1 : 0; }

int juStrNIEqual(const char* a, size_t na, const char* b, size_t nb) {
  return (na == nb && juStrNICompare(a, na, b, nb) == 0) ? 1 : 0;
}

int juWStrIEqual(const char16_t* a, const char16_t* b) { return juWStrICompare(a, b) == 0 ? 1 : 0; }

int juWStrNIEqual(const char16_t* a, size_t na, const char16_t* b, size_t nb) {
  return (na == nb && juWStrNICompare(a, na, b, nb) == 0) ? 1 : 0;
}

int juWStrNIEqualZ(const char16_t* a, size_t na, const char16_t* b) {
  return juWStrNICompareZ(a, na, b) == 0 ? 1 : 0;
}

int juWStrNIEqualPrefix(const char16_t* a, const char16_t* b, size_t n) {
  return noCaseOrder(WideZ{a}, WideN{b, n}) == 0 ? 1 : 0;
}
