// JuPageCache: the process-wide, reference-counted cache of file pages that
// reads through and writes through the library's file handles.
//
// Pages are 8192 bytes, made 8 at a time in 64 KB blocks as they are first
// needed, found through 97 hash buckets on (file, page number) and evicted
// least recently used first. A page belongs to the file a handle reaches
// (its device and inode), not to the handle: every handle of one file reads
// the same pages, so what is written through one handle is what the others
// read next, and dropping or closing one handle's file drops the pages its
// other handles read too. Only bytes at file offsets up to 0x1FFFFFFF are
// cached (page numbers up to 0xFFFF); everything beyond goes straight to the
// file. Writes reach the file first and then update the copies already
// cached; they never bring a page in.
//
// Operations return 0 for success and 1 for failure with the reason posted on
// the calling thread's error list (file errors by the file layer, out of
// memory); nothing throws.
#ifndef JULIB_PAGECACHE_H
#define JULIB_PAGECACHE_H

#include <cstddef>
#include <cstdint>

#include "julib/files.h"
#include "platform/files.h"

class JuCriticalSection;

// ---------------------------------------------------------------------------
// Sizes and limits.
// ---------------------------------------------------------------------------

inline constexpr size_t kJuPageBytes = 8192;
inline constexpr size_t kJuPageBlockBytes = 65536;
inline constexpr uint16_t kJuPagesPerBlock = 8;
inline constexpr uint16_t kJuPageBuckets = 97;
// Ends a bucket chain or the free list; an empty bucket or free list.
inline constexpr uint16_t kJuNoPage = 0xFFFF;
// The last file offset that is cached.
inline constexpr uint64_t kJuPageCacheLastOffset = 0x1FFFFFFF;
// The most blocks a cache is made with: 8 pages each must still be counted
// in 16 bits with kJuNoPage left over (8191 x 8 = 65528 pages, 512 MB).
inline constexpr uint16_t kJuPageCacheMaxBlocks = 8191;
// Above this clock the eviction scan ages every page by halving its stamp.
inline constexpr uint16_t kJuPageAgeingClock = 40000;

// ---------------------------------------------------------------------------
// The cache record.
// ---------------------------------------------------------------------------

// One page of storage: cached (a file's key, in one bucket chain) or free
// (the zero key, on the free list).
struct JuPageDescriptor {
  platform::FileKey file;  // the file's device and inode; zero when free
  uint16_t page;      // file offset >> 13
  uint16_t length;    // valid bytes: what the load read, raised by writes
  uint16_t stamp;     // the clock at the page's last use
  uint16_t next;      // next in the bucket chain or free list; kJuNoPage ends it
};

// A plain record, made by the first juPageCacheAcquire and freed by the last
// juPageCacheRelease. Page i lives in blocks[i / 8] at (i % 8) * 8192.
struct JuPageCache {
  uint16_t clock;              // use counter; stamps are its values
  JuCriticalSection* lock;     // guards everything below
  uint16_t referenceCount;     // holders; guarded by juPageCacheLock
  uint16_t pageCapacity;       // 8 x the block count
  uint16_t pagesMade;          // pages with storage so far, a multiple of 8
  uint16_t freeHead;           // first free page, kJuNoPage when none
  JuPageDescriptor* pages;     // pageCapacity descriptors
  uint16_t buckets[kJuPageBuckets];
  unsigned char** blocks;      // pageCapacity / 8 entries, null until made
};

// ---------------------------------------------------------------------------
// Holding the cache.
// ---------------------------------------------------------------------------

// The process's cache with its reference count raised by one. The first call
// makes it with room for `blockCount` 64 KB blocks (at most
// kJuPageCacheMaxBlocks; more are taken as that many) and allocates no page
// yet; later calls ignore the count until the last holder releases it. Null
// with out of memory posted when the cache cannot be made, or when 65535
// holders already hold it.
//   JuPageCache* cache = juPageCacheAcquire(16);  // up to 128 pages, 1 MB
//   ... juPageCacheRead(cache, h, 0, buf, 100, &n, 0) ...
//   juPageCacheRelease(cache);
// Block count 0 gives a cache that never holds a page.
JuPageCache* juPageCacheAcquire(uint16_t blockCount);

// Lowers the reference count; the release that reaches 0 frees every page,
// the cache's lock and the cache. A pointer that is not the live cache (null,
// or one already released for the last time) is ignored.
void juPageCacheRelease(JuPageCache* cache);

// ---------------------------------------------------------------------------
// Reading and writing.
// ---------------------------------------------------------------------------

// Reads `count` bytes at byte `offset` of `file` into `buffer`, piece by
// piece: each piece runs to the end of its page or of the request. A piece
// that a cached page holds whole is copied from it (the page is loaded on a
// miss, evicting the least recently used page when the cache is full, unless
// `noEvict` is non-zero); any other piece is read from the file, and a short read
// there ends the request (the end of the file). *countRead receives the bytes
// copied (also on failure: those before it). 0, or 1 with the reason posted.
// A null cache reads straight from the file. An offset + count beyond 2^64 - 1
// fails with the file error 22 (invalid argument).
//   juPageCacheRead(cache, h, 8000, buf, 10000, &n, 0)
//     -> 0, n = 10000 for a file of 20000 bytes (pieces 192, 8192 and 1616)
[[nodiscard]] int juPageCacheRead(JuPageCache* cache, JuFileHandle file, uint64_t offset, void* buffer, size_t count,
                                  size_t* countRead, int noEvict);

// Writes `count` bytes at `offset` to the file (juFileWrite), then copies them
// into every page of the range that is cached for the file, through whichever
// of its handles the page was read, raising a page's length to the
// end of what it received. A cached page that the write would extend past a
// gap of bytes it never held is dropped instead, as is every cached page of
// the range when the file write fails (part of it may have reached the file):
// the cache never returns bytes the file does not hold. A null cache writes
// to the file only; a range past 2^64 - 1 fails as in juPageCacheRead. 0, or
// 1 with the reason posted.
//   juPageCacheWrite(cache, h, 100, "abc", 3) -> 0; file and page say "abc"
[[nodiscard]] int juPageCacheWrite(JuPageCache* cache, JuFileHandle file, uint64_t offset, const void* buffer,
                                   size_t count);

// Frees every cached page of the file that `file` reaches, whichever handle
// read it (handle 0, or one that reaches no file, has none). Returns 0.
int juPageCacheDropFile(JuPageCache* cache, JuFileHandle file);

// Drops the file's pages (those its other handles read too) and closes the
// handle with juFileClose, returning its result; handle 0 returns 0.
[[nodiscard]] int juPageCacheClose(JuPageCache* cache, JuFileHandle file);

// ---------------------------------------------------------------------------
// Pages (the caller holds the cache's lock).
// ---------------------------------------------------------------------------

// Looks up page `page` of the file that `file` reaches. On a hit, or a miss with `load` non-zero that
// loaded the page (juFileRead of 8192 bytes at page * 8192), *descriptor and
// *data are the page's and it counts as used. *data is null when the page is
// not available: a miss without `load`, a cache of capacity 0, handle 0 or
// one that reaches no file, a full cache with `noEvict` 1, or a load refused with 1508 (access denied,
// which is taken back off the error list). 0, or 1 when a block could not be
// allocated (out of memory) or the load failed otherwise.
[[nodiscard]] int juPageCacheFindPage(JuPageCache* cache, JuFileHandle file, uint16_t page,
                                      JuPageDescriptor** descriptor, unsigned char** data, int load, int noEvict);

// Unlinks cached page `index` from its bucket chain and frees it. An index
// that is not a cached page is left as it is. Returns 0.
int juPageCacheDropPage(JuPageCache* cache, uint16_t index);

// Frees a page block; null is ignored.
void juFreeBlock(void* block);

#endif  // JULIB_PAGECACHE_H
