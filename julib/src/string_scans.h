// Reading a view of either family: finding and counting characters, braces,
// unquoting into a string, trimming, and splitting into lines.
#ifndef JULIB_SRC_STRING_SCANS_H
#define JULIB_SRC_STRING_SCANS_H

#include <cstddef>
#include <cstdint>
#include <new>

#include "julib/containers.h"
#include "julib/object.h"
#include "string_buffers.h"
#include "string_family.h"

namespace julib::internal {

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

}  // namespace julib::internal

#endif  // JULIB_SRC_STRING_SCANS_H
