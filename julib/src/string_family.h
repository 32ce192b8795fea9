// What differs between the narrow and the UTF-16 string families, as the
// overloads that the shared string algorithms call: stepping, measuring,
// searching, quoting, number formatting and the code-page kind.
#ifndef JULIB_SRC_STRING_FAMILY_H
#define JULIB_SRC_STRING_FAMILY_H

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "julib/codepage.h"
#include "julib/cstring.h"
#include "julib/numbers.h"
#include "julib/strings.h"
#include "platform/utf16.h"

namespace julib::internal {

template <typename V>
using CharOf = std::remove_pointer_t<decltype(V::data)>;

template <typename Char>
struct StringFamily;
template <>
struct StringFamily<char> {
  using String = JuString;
  using Wiping = JuStringEx;
};
template <>
struct StringFamily<char16_t> {
  using String = JuStringW;
  using Wiping = JuStringWEx;
};

// Units of the character at p (never read beyond p[0]).
inline size_t charLength(const JuSubString& view, const char* p) { return juCharLen(p, view.kind); }
inline size_t charLength(const JuSubStringW&, const char16_t* p) {
  return static_cast<size_t>(juWCharNext(p) - p);
}

inline size_t textLength(const char* text) { return juStrLen(text); }
inline size_t textLength(const char16_t* text) { return juWStrLen(text); }

inline const char* findCounted(const JuSubString& view, const char* text, size_t n, const char* pattern,
                               size_t m) {
  return juStrNFind(text, n, pattern, m, view.kind);
}
inline const char16_t* findCounted(const JuSubStringW&, const char16_t* text, size_t n, const char16_t* pattern,
                                   size_t m) {
  return juWStrNFind(text, n, pattern, m);
}

// True when the unit at text[i] is the first half of a two-unit character
// (a double-byte lead byte in the ANSI code page, a high surrogate).
inline bool startsPair(const JuSubString&, const char* text, size_t i) { return juIsLeadByteAt(text, i) != 0; }
inline bool startsPair(const JuSubStringW&, const char16_t* text, size_t i) {
  return platform::utf16::isHighSurrogate(text[i]);
}

inline char* quoteBounded(const JuSubString& view, char* dst, size_t size, const char* src, size_t n, char q) {
  return juStrNQuoteBounded(dst, size, src, n, view.kind, static_cast<unsigned char>(q));
}
inline char16_t* quoteBounded(const JuSubStringW&, char16_t* dst, size_t size, const char16_t* src, size_t n,
                              char16_t q) {
  return juWStrNQuoteBounded(dst, size, src, n, q);
}

inline char* unquoteBounded(char* dst, size_t size, const char* src, size_t n) {
  return juStrNUnquoteBounded(dst, size, src, n);
}
inline char16_t* unquoteBounded(char16_t* dst, size_t size, const char16_t* src, size_t n) {
  return juWStrNUnquoteBounded(dst, size, src, n);
}

inline size_t formatDecimal(char* buffer, int64_t value) { return juFormatInt64(buffer, value); }
inline size_t formatDecimal(char* buffer, uint64_t value) { return juFormatUInt64(buffer, value); }
inline size_t formatDecimal(char16_t* buffer, int64_t value) { return juFormatInt64W(buffer, value); }
inline size_t formatDecimal(char16_t* buffer, uint64_t value) { return juFormatUInt64W(buffer, value); }

inline void copyKind(JuString& to, const JuSubString& from) { to.kind = from.kind; }
inline void copyKind(JuStringW&, const JuSubStringW&) {}

inline void resetLength(JuString& s) {
  s.length = 0;
  s.initialLength = 0;
}
inline void resetLength(JuStringW& s) { s.length = 0; }

inline int assignPiece(JuString& s, const char* text, size_t n, const JuSubString& view) {
  return s.assign(text, n, view.kind);
}
inline int assignPiece(JuStringW& s, const char16_t* text, size_t n, const JuSubStringW&) {
  return s.assign(text, n);
}

inline bool isSpaceUnit(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
inline bool isSpaceUnit(char16_t c) { return c <= 255 && std::isspace(c) != 0; }

// The end of an edit hands the gap back: the buffer shrinks to the text
// through the target's own reserve, so a wiping target wipes what it frees.
// A caller's buffer is left as it is.
inline void shrinkTarget(JuString& target) {
  if (target.owns != 0 && target.data != nullptr && target.length + 1 < target.capacity) {
    (void)target.reserve(target.length + 1);  // on failure the larger buffer stays valid
  }
}
inline void shrinkTarget(JuStringW& target) { target.shrinkToFit(); }

}  // namespace julib::internal

#endif  // JULIB_SRC_STRING_FAMILY_H
