// The copy of a driver file through the rewriters, window by window, as a
// stream read 65535 bytes at a time would see it.
#ifndef BRAND_REWRITE_REWRITING_COPY_H
#define BRAND_REWRITE_REWRITING_COPY_H

#include <cstddef>
#include <cstdint>

#include "julib/files.h"

namespace platform::pe {
class PeChecksum;
}

namespace brandrewrite {

class NameRewriter;
class PrefixRewriter;

// Bytes read at a time, and the least tail carried from one read to the
// next so that a text across the boundary is seen whole.
inline constexpr size_t kChunkBytes = 65535;
inline constexpr size_t kOverlapBytes = 64;
// Bytes of the copy's buffer: many windows of kChunkBytes at a time. 2 MiB
// copied a large file faster than 1 or 4 MiB.
inline constexpr size_t kCopyBytes = size_t{2} << 20;

// What a copy wrote, besides the file: its length, the PE checksum of its
// bytes (as written, the checksum field included), and its first bytes.
struct CopyOutput {
  uint64_t bytes = 0;
  platform::pe::PeChecksum* sum = nullptr;  // null: not summed
  unsigned char* head = nullptr;            // null: not kept
  size_t headCapacity = 0;
  size_t headBytes = 0;                     // min(headCapacity, bytes)
};

// Copies `source` to `target` from their current positions, window by
// window through `names` and `prefix` (null: no message-prefix
// replacement), in `buffer` of kCopyBytes, filling `output`.
// 0, or 1 with the read or write error posted.
[[nodiscard]] int copyRewriting(JuFileHandle source, JuFileHandle target, char* buffer, NameRewriter& names,
                                PrefixRewriter* prefix, CopyOutput* output);

}  // namespace brandrewrite

#endif  // BRAND_REWRITE_REWRITING_COPY_H
