// Edits of a string of either family: appending, replacing, trailing line
// breaks, and quoting. Every edit may take its text from the string's own
// buffer.
#ifndef JULIB_SRC_STRING_EDITS_H
#define JULIB_SRC_STRING_EDITS_H

#include <cstddef>

#include "julib/numbers.h"
#include "string_buffers.h"
#include "string_family.h"

namespace julib::internal {

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
// they were at the call. A pattern inside the string's text is findLen
// units of it, since the terminator it runs to there is the string's.
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
  size_t patternLen = textLength(find);
  if (patternLen > findLen && offsetIn(find, s.data, s.length) != kNowhere) patternLen = findLen;
  StableSource<CharOf<S>> pattern;
  StableSource<CharOf<S>> replacement;
  if (!pattern.hold(find, patternLen, s) || !replacement.hold(repl, replLen, s)) return 1;
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

// ---------------------------------------------------------------------------
// Quoting.
// ---------------------------------------------------------------------------

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

}  // namespace julib::internal

#endif  // JULIB_SRC_STRING_EDITS_H
