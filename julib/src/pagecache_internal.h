// What the page cache's sources share, and its hook for fork().
#ifndef JULIB_SRC_PAGECACHE_INTERNAL_H
#define JULIB_SRC_PAGECACHE_INTERNAL_H

#include <cstdint>

#include "julib/pagecache.h"

class JuCriticalSection;

namespace julib::pagecache {

// The storage of page `index`.
inline unsigned char* pageData(const JuPageCache* cache, uint16_t index) {
  return cache->blocks[index / kJuPagesPerBlock] + static_cast<size_t>(index % kJuPagesPerBlock) * kJuPageBytes;
}

// Page number and offset in the page of a cached file offset.
inline uint16_t pageOf(uint64_t offset) { return static_cast<uint16_t>(offset / kJuPageBytes); }
inline size_t offsetInPage(uint64_t offset) { return static_cast<size_t>(offset % kJuPageBytes); }

// The key of the file `file` reaches; false for handle 0 and for a handle
// that reaches no file, which have no pages.
bool fileKeyOf(JuFileHandle file, platform::FileKey* key);

// juPageCacheFindPage for the file of `key` (the caller asked for it once),
// loading through `file`.
[[nodiscard]] int findPage(JuPageCache* cache, const platform::FileKey& key, JuFileHandle file, uint16_t page,
                           JuPageDescriptor** descriptor, unsigned char** data, int load, int noEvict);

}  // namespace julib::pagecache

// The live cache's own lock, or null when there is no cache. Called by the
// fork handlers with juPageCacheLock held, so the cache cannot go meanwhile.
JuCriticalSection* juPageCacheLockForFork();

#endif  // JULIB_SRC_PAGECACHE_INTERNAL_H
