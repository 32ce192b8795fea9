// Algorithms shared by the narrow and UTF-16 string families. Each template
// works on a view, string or cursor of either width; the few places where the
// widths differ (stepping, searching, quoting, the code-page kind) are the
// overloads at the top.
#ifndef JULIB_SRC_STRING_ALGORITHMS_H
#define JULIB_SRC_STRING_ALGORITHMS_H

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "julib/codepage.h"
#include "julib/containers.h"
#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/numbers.h"
#include "julib/object.h"
#include "julib/strings.h"
#include "array_growth.h"
#include "checked_sizes.h"
#include "platform/utf16.h"

namespace julib::internal {

// ---------------------------------------------------------------------------
// What differs between the widths.
// ---------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------
// Sizes and raw buffers.
// ---------------------------------------------------------------------------

inline constexpr size_t kNowhere = SIZE_MAX;

template <typename Char>
Char* allocateUnits(size_t n) {
  size_t bytes;
  if (!arraySize(&bytes, n, sizeof(Char))) return nullptr;
  return static_cast<Char*>(juMallocChecked(bytes));
}

template <typename Char>
void moveUnits(Char* dst, const Char* src, size_t n) {
  if (n != 0) std::memmove(dst, src, n * sizeof(Char));
}

// Zeroes n units before the block goes back to the allocator.
template <typename Char>
void freeWiped(Char* block, size_t n) {
  if (block == nullptr) return;
  juMemZero(block, n * sizeof(Char));
  juFree(block);
}

// Offset of p in [base, base + n), or kNowhere.
template <typename Char>
size_t offsetIn(const Char* p, const Char* base, size_t n) {
  if (p == nullptr || base == nullptr) return kNowhere;
  const uintptr_t at = reinterpret_cast<uintptr_t>(p);
  const uintptr_t start = reinterpret_cast<uintptr_t>(base);
  if (at < start || (at - start) / sizeof(Char) >= n) return kNowhere;
  return (at - start) / sizeof(Char);
}

// A new block with n units of text and a zero unit; null on failure.
template <typename Char>
Char* newTerminatedCopy(const Char* text, size_t n) {
  size_t units;
  if (!sizeSum(&units, n, 1)) return nullptr;
  Char* block = allocateUnits<Char>(units);
  if (block == nullptr) return nullptr;
  moveUnits(block, text, n);
  block[n] = 0;
  return block;
}

// Whether n units at p share a byte with the buffer of s (its whole
// capacity, so text past the length counts too).
template <typename Char, typename S>
bool overlapsBuffer(const Char* p, size_t n, const S& s) {
  if (p == nullptr || n == 0 || s.data == nullptr) return false;
  const uintptr_t at = reinterpret_cast<uintptr_t>(p);
  const uintptr_t base = reinterpret_cast<uintptr_t>(s.data);
  const size_t unit = sizeof *s.data;
  if (at >= base) return (at - base) / unit < s.capacity;
  return (base - at) / sizeof(Char) < n;
}

// A source that an edit reads while it changes a string. When the source lies
// in (or overlaps) the string's buffer, hold() points it at a copy, so the
// edit reads what the source held at the call however the buffer grows or
// its text moves, through any number of steps. The copy is zeroed before it
// is freed: the string may be a wiping one.
template <typename Char>
class StableSource {
 public:
  StableSource() = default;
  StableSource(const StableSource&) = delete;
  StableSource& operator=(const StableSource&) = delete;
  ~StableSource() { freeWiped(copy_, units_); }

  // Once per source: `text` (n units, terminated in the copy) may be
  // redirected; false, with out of memory reported, when the copy cannot be
  // made.
  template <typename S>
  [[nodiscard]] bool hold(const Char*& text, size_t n, const S& s) {
    if (!overlapsBuffer(text, n, s)) return true;
    copy_ = newTerminatedCopy(text, n);
    if (copy_ == nullptr) return false;
    units_ = n + 1;
    text = copy_;
    return true;
  }

 private:
  Char* copy_ = nullptr;
  size_t units_ = 0;
};

// ---------------------------------------------------------------------------
// Growth.
// ---------------------------------------------------------------------------

// Sets the buffer to exactly `capacity` units. The wiping form never gives a
// used buffer back to the allocator unzeroed: it copies into a new block.
template <typename S>
int reserveUnits(S& s, size_t capacity, bool wipe) {
  using Char = CharOf<S>;
  if (s.owns == 0) {
    juPostError(kJuMsgStringTooLarge);
    return 1;
  }
  if (s.data == nullptr) {
    Char* block = allocateUnits<Char>(capacity);
    if (block == nullptr) return 1;
    s.data = block;
  } else if (wipe) {
    Char* block = allocateUnits<Char>(capacity);
    if (block == nullptr) return 1;
    moveUnits(block, s.data, s.length < capacity ? s.length : capacity);
    freeWiped(s.data, s.capacity);
    s.data = block;
  } else if (!resizeArray(s.data, capacity)) {
    return 1;
  }
  s.capacity = capacity;
  // A buffer cut below the text keeps only what fits.
  if (s.length > capacity) s.length = capacity;
  return 0;
}

// Room for `needed` units in all (the terminator counted by the caller).
template <typename S>
int makeRoomFor(S& s, size_t needed) {
  if (s.data != nullptr && s.capacity >= needed) return 0;
  return s.reserve(needed);
}

// ---------------------------------------------------------------------------
// Appending and replacing.
// ---------------------------------------------------------------------------

// n units at the end; the text may lie in the string's own buffer.
template <typename S>
int appendUnits(S& s, const CharOf<S>* text, size_t n) {
  if (text == nullptr) n = 0;
  size_t needed;
  if (!sizeSum(&needed, s.length, n, 1)) return 1;
  StableSource<CharOf<S>> source;
  if (!source.hold(text, n, s) || makeRoomFor(s, needed) != 0) return 1;
  moveUnits(s.data + s.length, text, n);
  s.length += n;
  return 0;
}

template <typename S, typename Number>
int appendDecimal(S& s, Number value) {
  using Char = CharOf<S>;
  Char digits[kJuNumberBufferSize];
  const size_t n = formatDecimal(digits, value);
  // Room for the longest decimal text (21) and a terminator, as always.
  size_t needed;
  if (!sizeSum(&needed, s.length, 22)) return 1;
  if (makeRoomFor(s, needed) != 0) return 1;
  moveUnits(s.data + s.length, digits, n);
  s.length += n;
  return 0;
}

// Replaces oldLen units at pos by newLen units of text; pos and oldLen are
// cut to the text. The text may lie in the string's own buffer.
template <typename S>
int replaceUnits(S& s, size_t pos, size_t oldLen, const CharOf<S>* text, size_t newLen) {
  if (text == nullptr) {
    newLen = 0;
  } else if (newLen == 0) {
    newLen = textLength(text);
  }
  if (pos > s.length) pos = s.length;
  if (oldLen > s.length - pos) oldLen = s.length - pos;
  size_t newLength;
  if (!sizeSum(&newLength, s.length - oldLen, newLen)) return 1;
  if (s.data == nullptr && newLength == 0) return 0;  // nothing to edit, nothing to terminate
  if (newLength == SIZE_MAX) {
    juReportOutOfMemory();
    return 1;
  }
  // The move of the tail may overwrite a text in the buffer.
  StableSource<CharOf<S>> source;
  if (!source.hold(text, newLen, s) || makeRoomFor(s, newLength + 1) != 0) return 1;
  if (newLen != oldLen) moveUnits(s.data + pos + newLen, s.data + pos + oldLen, s.length - pos - oldLen);
  moveUnits(s.data + pos, text, newLen);
  s.length = newLength;
  s.data[newLength] = 0;
  return 0;
}

// The range of a view that lies in the string's text; 1 (nothing changed)
// for a view elsewhere.
template <typename S, typename V>
int replaceViewRange(S& s, const V& range, const CharOf<S>* text, size_t n) {
  if (range.data == nullptr) return 1;
  const size_t offset = offsetIn(range.data, s.data, s.length + 1);
  if (offset == kNowhere || range.length > s.length - offset) return 1;
  return s.replace(offset, range.length, text, n);
}

// Every occurrence of the pattern (searched up to its terminator), findLen
// units replaced each time; the search resumes after the inserted text. An
// empty pattern changes nothing: it would match without end. Pattern and
// replacement may lie in the string's own buffer: every step reads them as
// they were at the call.
template <typename S>
int replaceEvery(S& s, const CharOf<S>* find, size_t findLen, const CharOf<S>* repl, size_t replLen) {
  if (s.length == 0) return 0;
  if (find == nullptr || findLen == 0 || find[0] == 0) return 0;
  // A measured replacement advances the search by what replace inserts.
  if (repl == nullptr) {
    replLen = 0;
  } else if (replLen == 0) {
    replLen = textLength(repl);
  }
  StableSource<CharOf<S>> pattern;
  StableSource<CharOf<S>> replacement;
  if (!pattern.hold(find, textLength(find), s) || !replacement.hold(repl, replLen, s)) return 1;
  size_t start = 0;
  for (;;) {
    const size_t pos = s.find(find, start);
    if (pos >= s.length) return 0;
    if (s.replace(pos, findLen, repl, replLen) != 0) return 1;
    start = pos + replLen;
    if (start >= s.length) return 0;
  }
}

template <typename S>
int ensureTrailingBreaks(S& s, size_t n) {
  size_t have = 0;
  size_t end = s.length;
  while (have < n && end >= 2 && s.data[end - 2] == '\r' && s.data[end - 1] == '\n') {
    ++have;
    end -= 2;
  }
  if (have >= n) return 0;
  const size_t missing = n - have;
  size_t needed;
  if (!sizeSum(&needed, missing, missing) || !sizeSum(&needed, s.length, needed, 1)) return 1;
  if (makeRoomFor(s, needed) != 0) return 1;
  for (size_t i = 0; i < missing; ++i) {
    s.data[s.length++] = '\r';
    s.data[s.length++] = '\n';
  }
  return 0;
}

// The text of `built` becomes the string's text. Room is made before the
// old text is dropped, so a failure leaves the string as it was.
template <typename S, typename T>
int takeText(S& s, const T& built) {
  size_t needed;
  if (!sizeSum(&needed, built.length, 1)) return 1;
  if (makeRoomFor(s, needed) != 0) return 1;
  resetLength(s);
  return s.append(built.data, built.length);
}

// Quoted parts for wrap and the joins: outside, q1, q2 or q3 opens one;
// inside, only the opening quote closes it. Off when q1 is 0; a zero quote
// never opens a part.
template <typename Char>
class QuoteTracker {
 public:
  QuoteTracker(Char q1, Char q2, Char q3) : q1_(q1), q2_(q2), q3_(q3) {}

  // Feeds one single-unit character; true when it belongs to a quoted part
  // (its quotes included).
  bool feed(Char c) {
    if (q1_ == 0) return false;
    if (open_ != 0) {
      if (c == open_) open_ = 0;
      return true;
    }
    if (c != 0 && (c == q1_ || c == q2_ || c == q3_)) {
      open_ = c;
      return true;
    }
    return false;
  }

 private:
  Char q1_, q2_, q3_;
  Char open_ = 0;
};

// Breaks lines longer than width at the last blank outside quotes; a longer
// word stays whole and the line breaks at the first blank after it.
template <typename S>
int wrapText(S& s, size_t width, CharOf<S> q1, CharOf<S> q2, CharOf<S> q3) {
  using Char = CharOf<S>;
  if (s.length <= width) return 0;
  typename StringFamily<Char>::Wiping built;  // the text may be secret
  copyKind(built, s);
  size_t room;
  if (!sizeSum(&room, s.length, 101)) return 1;
  if (built.reserve(room) != 0) return 1;
  static const Char kLineBreak[2] = {'\r', '\n'};
  const Char* text = s.data;
  const size_t n = s.length;
  QuoteTracker<Char> quotes(q1, q2, q3);
  size_t lineStart = 0;
  size_t lastBlank = 0;  // a break point only when after the line's start
  size_t i = 0;
  while (i < n) {
    size_t step = charLength(s, text + i);
    if (step > n - i) step = n - i;
    if (step == 1 && !quotes.feed(text[i]) && text[i] == ' ') lastBlank = i;
    i += step;
    if (i - lineStart > width && lastBlank > lineStart) {
      if (built.append(text + lineStart, lastBlank - lineStart) != 0 || built.append(kLineBreak, 2) != 0) {
        return 1;
      }
      lineStart = lastBlank + 1;
    }
  }
  if (built.append(text + lineStart, n - lineStart) != 0) return 1;
  return takeText(s, built);
}

enum class Separator { kCrLf, kLineBreak, kTab };

// Each run of separators outside quotes becomes one blank, a run at the end
// none; a text without separators is left alone.
template <typename S>
int joinText(S& s, Separator separator, CharOf<S> q1, CharOf<S> q2, CharOf<S> q3) {
  using Char = CharOf<S>;
  const Char* text = s.data;
  const size_t n = s.length;
  auto separatorAt = [&](size_t i) -> size_t {
    switch (separator) {
      case Separator::kCrLf:
        return i + 1 < n && text[i] == '\r' && text[i + 1] == '\n' ? 2 : 0;
      case Separator::kLineBreak:
        return text[i] == '\r' || text[i] == '\n' ? 1 : 0;
      case Separator::kTab:
        return text[i] == '\t' ? 1 : 0;
    }
    return 0;
  };
  typename StringFamily<Char>::Wiping built;
  copyKind(built, s);
  QuoteTracker<Char> quotes(q1, q2, q3);
  static const Char kBlank[1] = {' '};
  bool found = false;
  size_t segmentStart = 0;
  size_t i = 0;
  while (i < n) {
    size_t step = charLength(s, text + i);
    if (step > n - i) step = n - i;
    const size_t k = step == 1 && !quotes.feed(text[i]) ? separatorAt(i) : 0;
    if (k == 0) {
      i += step;
      continue;
    }
    if (!found) {
      size_t room;
      if (!sizeSum(&room, n, 1) || built.reserve(room) != 0) return 1;
      found = true;
    }
    if (built.append(text + segmentStart, i - segmentStart) != 0) return 1;
    i += k;
    segmentStart = i;
    const bool runGoesOn = i >= n || separatorAt(i) != 0 || (separator == Separator::kLineBreak && text[i] == 0);
    if (!runGoesOn && built.append(kBlank, 1) != 0) return 1;
  }
  if (!found) return 0;
  if (built.append(text + segmentStart, n - segmentStart) != 0) return 1;
  return takeText(s, built);
}

// The quotes that quoting doubles: one-unit characters equal to q, stepped
// by the view's own characters.
template <typename V>
size_t quotesToDouble(const V& view, const CharOf<V>* text, size_t n, CharOf<V> q) {
  size_t count = 0;
  for (size_t i = 0; i < n;) {
    const size_t step = charLength(view, text + i);
    if (step == 1 && text[i] == q) ++count;
    i += step;
  }
  return count;
}

// The view's text enclosed in quotes, quotes inside doubled, at the end.
template <typename S, typename V>
int appendQuotedText(S& s, const V& view, CharOf<S> q) {
  using Char = CharOf<S>;
  const Char* src = view.data;
  const size_t n = src == nullptr ? 0 : view.length;
  const size_t doubled = quotesToDouble(view, src, n, q);
  size_t needed;
  if (!sizeSum(&needed, s.length, n, doubled) || !sizeSum(&needed, needed, 3)) return 1;
  StableSource<Char> source;
  if (!source.hold(src, n, s) || makeRoomFor(s, needed) != 0) return 1;
  Char* end = quoteBounded(view, s.data + s.length, s.capacity - s.length, src, n, q);
  s.length = static_cast<size_t>(end - s.data);
  return 0;
}

// The string's own text quoted in place (through a wiped copy).
template <typename S>
int quoteInPlace(S& s, CharOf<S> q) {
  using Char = CharOf<S>;
  const size_t n = s.data == nullptr ? 0 : s.length;
  const Char* text = s.data;
  StableSource<Char> source;
  if (!source.hold(text, n, s)) return 1;
  // The copy is quoted from the start of the buffer, stepped by the
  // string's own kind.
  const size_t doubled = quotesToDouble(s, text, n, q);
  size_t needed;
  if (!sizeSum(&needed, n, doubled, 3) || makeRoomFor(s, needed) != 0) return 1;
  Char* end = quoteBounded(s, s.data, s.capacity, text, n, q);
  s.length = static_cast<size_t>(end - s.data);
  return 0;
}

// Removes enclosing quotes in place; returns the new length. The copy runs
// forward with the destination never ahead of the source.
template <typename S>
size_t unquoteInPlace(S& s) {
  if (s.data == nullptr || s.length == 0) return s.length;
  auto* end = unquoteBounded(s.data, s.length, s.data, s.length);
  s.length = static_cast<size_t>(end - s.data);
  return s.length;
}

// ---------------------------------------------------------------------------
// Views.
// ---------------------------------------------------------------------------

template <typename V>
size_t findCharIn(const V& v, CharOf<V> c, size_t from) {
  if (v.data == nullptr || from >= v.length) return v.length;
  for (size_t i = from; i < v.length;) {
    if (v.data[i] == c) return i;
    i += charLength(v, v.data + i);
  }
  return v.length;
}

template <typename V>
size_t findPatternIn(const V& v, const CharOf<V>* pattern, size_t from) {
  if (v.data == nullptr || pattern == nullptr) return v.length;
  const size_t m = textLength(pattern);
  if (m > v.length || from > v.length - m) return v.length;
  const auto* hit = findCounted(v, v.data + from, v.length - from, pattern, m);
  return hit == nullptr ? v.length : static_cast<size_t>(hit - v.data);
}

// Characters that start with c, up to the length or the first zero unit; the
// 16-bit count stops at its largest value rather than wrapping.
template <typename V>
uint16_t countCharIn(const V& v, CharOf<V> c) {
  uint16_t count = 0;
  if (v.data == nullptr) return 0;
  for (size_t i = 0; i < v.length && v.data[i] != 0;) {
    if (v.data[i] == c && count != UINT16_MAX) ++count;
    i += charLength(v, v.data + i);
  }
  return count;
}

template <typename V>
int needsBracesIn(const V& v) {
  if (v.data == nullptr || v.length == 0) return 0;
  if (v.data[0] == '{') return 1;
  for (size_t i = 0; i < v.length; ++i) {
    if (v.data[i] == ';') return 1;
  }
  return 0;
}

template <typename V>
int isBracedIn(const V& v) {
  return v.data != nullptr && v.length != 0 && v.data[0] == '{' && v.data[v.length - 1] == '}' ? 1 : 0;
}

template <typename V, typename S>
int unbraceText(const V& v, S& destination) {
  // Read the view first: it may be the destination itself.
  const auto* text = v.data;
  const size_t n = v.length;
  resetLength(destination);
  if (text == nullptr || n < 2 || text[0] != '{' || text[n - 1] != '}') return 0;
  return destination.append(text + 1, n - 2);
}

// The first unit is the opening quote; a quote takes the unit after it (so
// a doubled quote gives one, the closing quote nothing); a two-unit
// character is copied whole. The destination may hold the view.
template <typename V, typename S>
int unquoteText(const V& v, S& destination, CharOf<V> q) {
  using Char = CharOf<V>;
  const Char* text = v.data;
  const size_t n = text == nullptr ? 0 : v.length;
  size_t needed;
  if (!sizeSum(&needed, destination.length, n, 1)) return 1;
  StableSource<Char> source;
  if (!source.hold(text, n, destination) || makeRoomFor(destination, needed) != 0) return 1;
  Char* out = destination.data;
  size_t written = 0;
  for (size_t i = 1; i < n;) {
    if (text[i] == q) {
      if (++i < n) out[written++] = text[i++];
    } else if (i + 1 < n && startsPair(v, text, i)) {
      out[written++] = text[i];
      out[written++] = text[i + 1];
      i += 2;
    } else {
      out[written++] = text[i++];
    }
  }
  resetLength(destination);
  destination.length = written;
  return 0;
}

template <typename V>
void trimRightIn(V& v) {
  while (v.length > 0 && isSpaceUnit(v.data[v.length - 1])) --v.length;
}

// Each non-empty CR LF separated piece as a new string at the end of lines.
template <typename V>
int splitLinesOf(const V& v, JuArray& lines) {
  using Char = CharOf<V>;
  using String = typename StringFamily<Char>::String;
  static const Char kLineBreak[3] = {'\r', '\n', 0};
  const Char* text = v.data;
  const size_t n = text == nullptr ? 0 : v.length;
  size_t pos = 0;
  while (pos < n) {
    const Char* hit = findCounted(v, text + pos, n - pos, kLineBreak, 2);
    const size_t end = hit == nullptr ? n : static_cast<size_t>(hit - text);
    if (end > pos) {
      String* piece = new (std::nothrow) String();
      if (piece == nullptr) {
        juReportOutOfMemory();
        return 1;
      }
      if (assignPiece(*piece, text + pos, end - pos, v) != 0 || lines.insertAt(piece, lines.count) != 0) {
        delete piece;
        return 1;
      }
    }
    pos = hit == nullptr ? n : end + 2;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// The editing cursor: the target holds written text, a gap, unread text.
// ---------------------------------------------------------------------------

template <typename C>
int cursorWrite(C& c, const CharOf<C>* s, size_t n) {
  if (n == 0) return 0;
  auto* target = c.target;
  if (target == nullptr || s == nullptr) return 1;
  // Without growth the write lands in the gap and memmove reads a source
  // anywhere in the target as it was; growth and the move of the unread text
  // may move it, so then it is held.
  StableSource<CharOf<C>> source;
  if (c.readPosition - c.writePosition < n) {
    size_t grow;
    if (!sizeSum(&grow, n, 512)) return 1;
    // Everything up to the end of the unread text is kept (a wiping target
    // copies only its length).
    target->length = c.readPosition + c.length;
    if (!source.hold(s, n, *target) || target->ensureFree(grow) != 0) return 1;
    auto* base = target->data;
    moveUnits(base + c.readPosition + grow, base + c.readPosition, c.length);
    c.readPosition += grow;
    c.data = base + c.readPosition;
  }
  moveUnits(target->data + c.writePosition, s, n);
  c.writePosition += n;
  return 0;
}

template <typename C>
void cursorUnwrite(C& c, size_t position) {
  if (c.target == nullptr || position >= c.writePosition) return;
  const size_t count = c.writePosition - position;
  auto* base = c.target->data;
  moveUnits(base + c.readPosition - count, base + position, count);
  c.readPosition -= count;
  c.data = base + c.readPosition;
  c.length += count;
  c.writePosition = position;
}

// Quote, the n units with each quote doubled, quote. A count that ends
// inside a character undoes the call's writes (they become unread text
// again, in front of the rest), posts 2737 with SQLSTATE "01004" and
// returns 1; so does any failed write, without the post.
template <typename C>
int cursorWriteQuoted(C& c, const CharOf<C>* s, size_t n, CharOf<C> q) {
  const size_t start = c.writePosition;
  if (cursorWrite(c, s, n) != 0) return 1;
  cursorUnwrite(c, start);
  // The n units now lead the unread text.
  if (cursorWrite(c, &q, 1) != 0) {
    cursorUnwrite(c, start);
    return 1;
  }
  size_t left = n;
  while (left > 0) {
    const size_t step = charLength(c, c.data);
    if (step > left) {
      cursorUnwrite(c, start);
      juPostError(kJuMsgConversionFailed)->setSqlState("01004", kJuSqlStateTruncation);
      return 1;
    }
    if (step == 1 && c.data[0] == q && cursorWrite(c, &q, 1) != 0) {
      cursorUnwrite(c, start);
      return 1;
    }
    auto* base = c.target->data;
    moveUnits(base + c.writePosition, base + c.readPosition, step);
    c.writePosition += step;
    c.readPosition += step;
    c.data = base + c.readPosition;
    c.length -= step;
    left -= step;
  }
  if (cursorWrite(c, &q, 1) != 0) {
    cursorUnwrite(c, start);
    return 1;
  }
  return 0;
}

// Closes the gap and gives the target its edited text.
template <typename C>
void cursorEndEdit(C& c) {
  auto* target = c.target;
  if (target == nullptr) return;
  target->length = c.writePosition + c.length;
  if (c.writePosition != c.readPosition) {
    moveUnits(target->data + c.writePosition, target->data + c.readPosition, c.length);
    shrinkTarget(*target);
  }
  c.target = nullptr;
}

}  // namespace julib::internal

#endif  // JULIB_SRC_STRING_ALGORITHMS_H
