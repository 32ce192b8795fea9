// The page cache's life: acquiring and releasing the process's one cache,
// dropping a file's pages and closing it.

#include <cstring>

#include "julib/errors.h"
#include "julib/object.h"
#include "julib/pagecache.h"
#include "julib/threads.h"
#include "pagecache_internal.h"

namespace {

// The live cache; guarded by juPageCacheLock.
JuPageCache* liveCache = nullptr;

void destroyCache(JuPageCache* cache) {
  const size_t blocks = cache->pagesMade / kJuPagesPerBlock;
  for (size_t i = 0; i < blocks; ++i) juFreeBlock(cache->blocks[i]);
  juFree(cache->pages);
  delete cache->lock;
  juFree(cache);
}

// A new cache with room for `blockCount` blocks (capped so that its page
// count fits 16 bits); null with out of memory posted.
JuPageCache* makeCache(uint16_t blockCount) {
  const size_t blocks = blockCount < kJuPageCacheMaxBlocks ? blockCount : kJuPageCacheMaxBlocks;
  // The block pointers follow the record in the same allocation.
  auto* cache = static_cast<JuPageCache*>(juMallocChecked(sizeof(JuPageCache) + blocks * sizeof(unsigned char*)));
  if (cache == nullptr) return nullptr;
  std::memset(static_cast<void*>(cache), 0, sizeof(JuPageCache) + blocks * sizeof(unsigned char*));
  cache->blocks = reinterpret_cast<unsigned char**>(cache + 1);
  cache->freeHead = kJuNoPage;
  for (uint16_t& head : cache->buckets) head = kJuNoPage;
  cache->pageCapacity = static_cast<uint16_t>(blocks * kJuPagesPerBlock);
  cache->pages = static_cast<JuPageDescriptor*>(juMallocChecked(cache->pageCapacity * sizeof(JuPageDescriptor)));
  cache->lock = cache->pages != nullptr ? new (std::nothrow) JuCriticalSection(juPageCacheLock.noLock) : nullptr;
  if (cache->lock == nullptr) {
    juFree(cache->pages);
    juFree(cache);
    return nullptr;
  }
  cache->referenceCount = 1;
  return cache;
}

}  // namespace

JuPageCache* juPageCacheAcquire(uint16_t blockCount) {
  JuLockGuard guard(juPageCacheLock);
  if (liveCache == nullptr) {
    liveCache = makeCache(blockCount);
    return liveCache;
  }
  // One more holder would wrap the count, and the next release would free
  // the cache under 65535 holders.
  if (liveCache->referenceCount == UINT16_MAX) {
    juReportOutOfMemory();
    return nullptr;
  }
  ++liveCache->referenceCount;
  return liveCache;
}

void juPageCacheRelease(JuPageCache* cache) {
  JuLockGuard guard(juPageCacheLock);
  // A release too many would free the cache again, or lower the count of a
  // new cache made since; only the live cache is released.
  if (cache == nullptr || cache != liveCache) return;
  if (--cache->referenceCount != 0) return;
  liveCache = nullptr;
  destroyCache(cache);
}

JuCriticalSection* juPageCacheLockForFork() { return liveCache != nullptr ? liveCache->lock : nullptr; }

void juFreeBlock(void* block) {
  if (block != nullptr) juFree(block);
}

int juPageCacheDropFile(JuPageCache* cache, JuFileHandle file) {
  // Free pages carry the zero key, which no file has: "dropping" them would
  // push them on the free list twice.
  platform::FileKey key;
  if (cache == nullptr || !julib::pagecache::fileKeyOf(file, &key)) return 0;
  JuLockGuard guard(*cache->lock);
  for (uint16_t i = 0; i < cache->pagesMade; ++i) {
    if (cache->pages[i].file == key) (void)juPageCacheDropPage(cache, i);
  }
  return 0;
}

int juPageCacheClose(JuPageCache* cache, JuFileHandle file) {
  if (file == kJuNoFile) return 0;
  (void)juPageCacheDropFile(cache, file);
  return juFileClose(file);
}
