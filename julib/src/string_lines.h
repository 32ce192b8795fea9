// Reflowing the text of a string of either family: long lines wrapped and
// lines joined, both outside quoted parts.
#ifndef JULIB_SRC_STRING_LINES_H
#define JULIB_SRC_STRING_LINES_H

#include <cstddef>

#include "string_buffers.h"
#include "string_edits.h"
#include "string_family.h"

namespace julib::internal {

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

}  // namespace julib::internal

#endif  // JULIB_SRC_STRING_LINES_H
