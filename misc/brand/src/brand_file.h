// Branding one file: the copy through the rewriters, the replacement of the
// target, its version resource and its time. brand::brandFile and
// brand::brandAll share it.
#ifndef BRAND_BRAND_FILE_H
#define BRAND_BRAND_FILE_H

#include <cstddef>
#include <cstdint>

#include "julib/files.h"

class brand;

namespace platform::pe {
class PeChecksum;
}

namespace brandrewrite {
class NameRewriter;
class PrefixRewriter;
}  // namespace brandrewrite

namespace brandfile {

// Bytes read at a time, and the least tail carried from one read to the
// next so that a text across the boundary is seen whole.
inline constexpr size_t kChunkBytes = 65535;
// Bytes of the copy's buffer: many windows of kChunkBytes at a time. 2 MiB
// copied a large file faster than 1 or 4 MiB.
inline constexpr size_t kCopyBytes = size_t{2} << 20;
inline constexpr size_t kOverlapBytes = 64;

// Copies `source` to `target` from their current positions, window by
// window through `names` and `prefix` (null: no message-prefix
// replacement), in `buffer` of kCopyBytes, and adds the bytes written to
// `written` (may be null). 0, or 1 with the read or write error posted.
[[nodiscard]] int copyRewriting(JuFileHandle source, JuFileHandle target, char* buffer,
                                brandrewrite::NameRewriter& names, brandrewrite::PrefixRewriter* prefix,
                                platform::pe::PeChecksum* written = nullptr);

// brand::brandFile without showing the status of a copy failure (status
// 10), which the caller shows after its own report. A failed version
// resource update is shown here, as a warning.
int brandOne(brand& owner, uint64_t index);

}  // namespace brandfile

#endif  // BRAND_BRAND_FILE_H
