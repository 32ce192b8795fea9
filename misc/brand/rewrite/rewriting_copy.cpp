// The copy of a driver file through the rewriters.

#include "rewrite/rewriting_copy.h"

#include <algorithm>
#include <cstring>

#include "rewrite/rewriters.h"

namespace brandrewrite {

namespace {

constexpr size_t kPageBytes = 4096;

// Fills `buffer` from `held` up to `capacity`; *ended tells that the
// source's end was reached. 0, or 1 with the read error posted.
int fill(JuFileHandle source, char* buffer, size_t capacity, size_t* held, bool* ended) {
  while (*held < capacity) {
    size_t got = 0;
    if (juFileRead(source, kJuFileCurrentPosition, buffer + *held, capacity - *held, &got) != 0) return 1;
    if (got == 0) {
      *ended = true;
      return 0;
    }
    *held += got;
  }
  return 0;
}

}  // namespace

int copyRewriting(JuFileHandle source, char* buffer, NameRewriter& names, PrefixRewriter* prefix, CopySink& sink) {
  // The tail holds the longest text a rewrite looks at, so that an
  // occurrence that starts before the cut is replaced whole in one window.
  size_t carry = std::max(kOverlapBytes, names.reach());
  if (prefix != nullptr) carry = std::max(carry, prefix->length());
  carry = std::min(carry, kChunkBytes / 2);
  // Each window is searched once for the starts of both rewriters' texts.
  Candidates candidates;
  names.addPairsTo(candidates);
  if (prefix != nullptr) prefix->addPairsTo(candidates);

  // The windows are those of a stream read kChunkBytes at a time, each
  // starting where the last one's written part ended; the buffer holds many
  // of them, so reads and writes go in large pieces. A window changes
  // nothing before its start, so what lies before it is final; it goes to
  // the sink up to a page boundary of the file, the rest with the next
  // piece, so no page is written in two visits (a piece that ends inside a
  // page costs the file system a second visit to it, and zeros before).
  size_t held = 0;     // bytes in the buffer
  size_t start = 0;    // the window's start in the buffer
  uint64_t given = 0;  // bytes given to the sink, the buffer's start in the file
  bool ended = false;
  for (;;) {
    if (!ended && held - start < kChunkBytes) {
      const size_t give = start - static_cast<size_t>((given + start) % kPageBytes);
      if (give != 0 && sink.write(buffer, give) != 0) return 1;
      given += give;
      std::memmove(buffer, buffer + give, held - give);
      held -= give;
      start -= give;
      if (fill(source, buffer, kCopyBytes, &held, &ended) != 0) return 1;
    }
    const size_t rest = held - start;
    const bool last = rest < kChunkBytes;  // the stream's read would have met the end
    const size_t window = std::min(rest, kChunkBytes);
    const size_t limit = last ? window : window - carry;
    candidates.start(buffer + start, window, limit);
    names.rewrite(buffer + start, window, limit, candidates);
    if (prefix != nullptr) prefix->rewrite(buffer + start, window, limit, candidates);
    start += limit;
    if (last) return sink.write(buffer, start);
  }
}

}  // namespace brandrewrite
