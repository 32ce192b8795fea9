// Finding, loading, evicting and dropping the page cache's pages, and the
// recency clock.

#include "file_internal.h"
#include "julib/errors.h"
#include "julib/object.h"
#include "julib/pagecache.h"
#include "pagecache_internal.h"

using julib::pagecache::pageData;

namespace {

constexpr uint8_t kMultipliers[16] = {13, 61, 29, 43, 17, 67, 31, 47, 19, 71, 37, 53, 23, 73, 41, 59};

// A file's key folded to 32 bits: inodes of one device differ in their low
// bits, devices in their high ones.
uint32_t foldKey(const platform::FileKey& key) {
  const uint64_t mixed = key.inode ^ (key.device << 32 | key.device >> 32);
  return static_cast<uint32_t>(mixed ^ (mixed >> 32));
}

// In 64 bits: a large key times a page number overflows 32.
uint16_t bucketOf(const platform::FileKey& key, uint16_t page) {
  const uint32_t file = foldKey(key);
  const uint64_t mixed = uint64_t{kMultipliers[file % 16]} * (uint64_t{page} + 1) + file;
  return static_cast<uint16_t>(mixed % kJuPageBuckets);
}

bool isFree(const JuPageDescriptor& page) { return page.file == platform::FileKey{}; }

// Halves every stamp and the clock before the clock would wrap. The clock is
// rounded up, so the next use is newer than every halved stamp; stamps keep
// their order (equal neighbours aside).
void halveClock(JuPageCache* cache) {
  for (uint16_t i = 0; i < cache->pagesMade; ++i) cache->pages[i].stamp /= 2;
  cache->clock = static_cast<uint16_t>((cache->clock + 1u) / 2);
}

// A hit or a load: the page is the newest, the clock moves on.
int usePage(JuPageCache* cache, uint16_t index, JuPageDescriptor** descriptor, unsigned char** data) {
  cache->pages[index].stamp = cache->clock;
  if (++cache->clock == UINT16_MAX) halveClock(cache);
  *descriptor = &cache->pages[index];
  *data = pageData(cache, index);
  return 0;
}

// One more 64 KB block; its pages go on the free list, the last on top.
// 0, or 1 (out of memory posted).
int makeBlock(JuPageCache* cache) {
  auto* block = static_cast<unsigned char*>(juMallocChecked(kJuPageBlockBytes));
  if (block == nullptr) return 1;
  cache->blocks[cache->pagesMade / kJuPagesPerBlock] = block;
  for (uint16_t k = 0; k < kJuPagesPerBlock; ++k) {
    const auto index = static_cast<uint16_t>(cache->pagesMade + k);
    cache->pages[index] = JuPageDescriptor{platform::FileKey{}, 0, 0, 0, cache->freeHead};
    cache->freeHead = index;
  }
  cache->pagesMade = static_cast<uint16_t>(cache->pagesMade + kJuPagesPerBlock);
  return 0;
}

// Drops the page with the smallest stamp, the lowest index among equals. A
// late clock ages every page on the way.
void evictOldest(JuPageCache* cache) {
  const bool age = cache->clock > kJuPageAgeingClock;
  uint16_t oldest = kJuNoPage;
  uint32_t oldestStamp = UINT32_MAX;
  for (uint16_t i = 0; i < cache->pagesMade; ++i) {
    JuPageDescriptor& page = cache->pages[i];
    if (age) page.stamp /= 2;
    if (!isFree(page) && page.stamp < oldestStamp) {
      oldest = i;
      oldestStamp = page.stamp;
    }
  }
  if (oldest != kJuNoPage) (void)juPageCacheDropPage(cache, oldest);
}

}  // namespace

namespace julib::pagecache {

bool fileKeyOf(JuFileHandle file, platform::FileKey* key) {
  *key = platform::FileKey{};
  const platform::FileDescriptor descriptor = julib::files::descriptorOf(file);
  return descriptor != platform::kNoDescriptor && platform::fileKey(descriptor, key) == platform::kErrorNone;
}

int findPage(JuPageCache* cache, const platform::FileKey& key, JuFileHandle file, uint16_t page,
             JuPageDescriptor** descriptor, unsigned char** data, int load, int noEvict) {
  *descriptor = nullptr;
  *data = nullptr;
  if (key == platform::FileKey{}) return 0;
  const uint16_t bucket = bucketOf(key, page);
  for (uint16_t i = cache->buckets[bucket]; i != kJuNoPage; i = cache->pages[i].next) {
    if (cache->pages[i].file == key && cache->pages[i].page == page) return usePage(cache, i, descriptor, data);
  }
  if (load == 0 || cache->pageCapacity == 0) return 0;

  if (cache->freeHead == kJuNoPage) {
    if (cache->pagesMade < cache->pageCapacity) {
      if (makeBlock(cache) != 0) return 1;
    } else {
      if (noEvict != 0) return 0;
      evictOldest(cache);
    }
  }
  const uint16_t index = cache->freeHead;
  size_t read = 0;
  if (juFileRead(file, uint64_t{page} * kJuPageBytes, pageData(cache, index), kJuPageBytes, &read) != 0) {
    // A file that refuses to be read stays uncached; the caller reads it
    // directly and hears the reason there.
    if (JuErrorList::lastErrorId() != kJuMsgFileAccessDenied) return 1;
    JuErrorList::popLast();
    return 0;
  }
  JuPageDescriptor& loaded = cache->pages[index];
  cache->freeHead = loaded.next;
  loaded.file = key;
  loaded.page = page;
  loaded.length = static_cast<uint16_t>(read);
  loaded.next = cache->buckets[bucket];
  cache->buckets[bucket] = index;
  return usePage(cache, index, descriptor, data);
}

}  // namespace julib::pagecache

int juPageCacheFindPage(JuPageCache* cache, JuFileHandle file, uint16_t page, JuPageDescriptor** descriptor,
                        unsigned char** data, int load, int noEvict) {
  platform::FileKey key;
  (void)julib::pagecache::fileKeyOf(file, &key);  // no file: the zero key, which finds nothing
  return julib::pagecache::findPage(cache, key, file, page, descriptor, data, load, noEvict);
}

int juPageCacheDropPage(JuPageCache* cache, uint16_t index) {
  if (index >= cache->pagesMade || isFree(cache->pages[index])) return 0;
  JuPageDescriptor& dropped = cache->pages[index];
  uint16_t* link = &cache->buckets[bucketOf(dropped.file, dropped.page)];
  while (*link != kJuNoPage && *link != index) link = &cache->pages[*link].next;
  if (*link == index) *link = dropped.next;
  dropped = JuPageDescriptor{platform::FileKey{}, 0, 0, dropped.stamp, cache->freeHead};
  cache->freeHead = index;
  return 0;
}
