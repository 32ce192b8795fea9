// The copy of a driver file through the rewriters, window by window, as a
// stream read 65535 bytes at a time would see it.
#ifndef BRAND_REWRITE_REWRITING_COPY_H
#define BRAND_REWRITE_REWRITING_COPY_H

#include <cstddef>
#include <cstdint>

#include "julib/files.h"

namespace brandrewrite {

class NameRewriter;
class PrefixRewriter;

// Bytes read at a time, and the least tail carried from one read to the
// next so that a text across the boundary is seen whole.
inline constexpr size_t kChunkBytes = 65535;
inline constexpr size_t kOverlapBytes = 64;
// Bytes of the copy's buffer: many windows of kChunkBytes at a time. 512 KiB
// copied a large file faster than 256 KiB, 1 or 2 MiB (a buffer the
// processor's caches hold, and fewer new pages for the program).
inline constexpr size_t kCopyBytes = size_t{512} << 10;

// Where a rewriting copy's bytes go, in order, each byte once and final.
class CopySink {
 public:
  virtual ~CopySink() = default;
  // 0, or 1 with the write error posted.
  [[nodiscard]] virtual int write(const char* bytes, size_t count) = 0;
};

// Copies `source` from its current position to `sink`, window by window
// through `names` and `prefix` (null: no message-prefix replacement), in
// `buffer` of kCopyBytes. The sink gets large pieces (up to the buffer's
// size), as a file is best written. 0, or 1 with the read or write error
// posted.
[[nodiscard]] int copyRewriting(JuFileHandle source, char* buffer, NameRewriter& names, PrefixRewriter* prefix,
                                CopySink& sink);

}  // namespace brandrewrite

#endif  // BRAND_REWRITE_REWRITING_COPY_H
