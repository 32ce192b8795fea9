// The editing cursor of either family: its target holds the written text,
// a gap, and the unread text.
#ifndef JULIB_SRC_STRING_CURSOR_H
#define JULIB_SRC_STRING_CURSOR_H

#include <cstddef>

#include "julib/errors.h"
#include "string_buffers.h"
#include "string_family.h"

namespace julib::internal {

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

#endif  // JULIB_SRC_STRING_CURSOR_H
