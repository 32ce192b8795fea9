// The file page cache on real files: reads from pages or the file, write-
// through, eviction, buckets, holders, faults, threads and fork.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "julib/files.h"
#include "julib/pagecache.h"
#include "testing/allocation_faults.h"
#include "testing/files.h"
#include "testing/ju_test.h"
#include "testing/process.h"

namespace {

using jutest::readWholeFile;
using jutest::TempDir;

constexpr uint64_t kPage = kJuPageBytes;

// n bytes that differ from position to position and from seed to seed.
std::string pattern(size_t n, char seed) {
  std::string out(n, '\0');
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<char>(seed + (i * 7 + i / 251) % 23);
  return out;
}

// Writes bytes into a file the way another program would: not through the
// library.
void writeBehind(const std::string& path, uint64_t offset, const std::string& bytes) {
  std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
  out.seekp(static_cast<std::streamoff>(offset));
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class PageCacheTest : public jutest::JuTest {
 protected:
  void TearDown() override {
    for (JuFileHandle handle : handles_) (void)juFileClose(handle);
    if (cache_ != nullptr) juPageCacheRelease(cache_);
  }

  JuPageCache* acquire(uint16_t blocks) {
    cache_ = juPageCacheAcquire(blocks);
    EXPECT_NE(cache_, nullptr);
    return cache_;
  }
  // A file of `size` bytes (sparse), holding `content` at `at`; opened
  // read-write.
  JuFileHandle makeFile(const std::string& name, uint64_t size, const std::string& content, uint64_t at = 0) {
    const std::string path = dir_.write(name, "");
    EXPECT_EQ(truncate(path.c_str(), static_cast<off_t>(size)), 0);
    writeBehind(path, at, content);
    std::vector<char> buffer(kJuPathChars, '\0');
    std::memcpy(buffer.data(), path.c_str(), path.size());
    JuFileHandle handle = kJuNoFile;
    EXPECT_EQ(juFileOpen(buffer.data(), buffer.size(), kJuFileOpenReadWrite, &handle), 0);
    handles_.push_back(handle);
    return handle;
  }
  std::string read(JuFileHandle file, uint64_t offset, size_t count, int noEvict = 0) {
    std::string out(count, '\0');
    size_t n = 0;
    EXPECT_EQ(juPageCacheRead(cache_, file, offset, out.data(), count, &n, noEvict), 0);
    out.resize(n);
    return out;
  }
  // Page numbers of `file` held in the cache.
  std::set<uint16_t> cachedPages(JuFileHandle file) const {
    std::set<uint16_t> out;
    for (uint16_t i = 0; i < cache_->pagesMade; ++i) {
      if (cache_->pages[i].file == file) out.insert(cache_->pages[i].page);
    }
    return out;
  }
  size_t freePages() const {
    size_t n = 0;
    for (uint16_t i = cache_->freeHead; i != kJuNoPage && n <= cache_->pagesMade; i = cache_->pages[i].next) ++n;
    return n;
  }
  // Leaves the next free page's storage full of 'q', as a page of another
  // file leaves it: bytes a page must never pass off as its own.
  void dirtyNextFreePage() {
    const JuFileHandle junk = makeFile("junk", kPage, std::string(kPage, 'q'));
    (void)read(junk, 0, 1);
    (void)juPageCacheDropFile(cache_, junk);
  }

  TempDir dir_;
  JuPageCache* cache_ = nullptr;
  std::vector<JuFileHandle> handles_;
};

std::set<uint16_t> pagesUpTo(uint16_t last, uint16_t without) {
  std::set<uint16_t> out;
  for (uint16_t p = 0; p <= last; ++p) {
    if (p != without) out.insert(p);
  }
  return out;
}

// ---------------------------------------------------------------------------
// Reading.
// ---------------------------------------------------------------------------

// A second read after the file changed behind the cache's back returns the
// old bytes where a page served it, the new ones where the file did.
TEST_F(PageCacheTest, ReadsComeFromAPageOrFromTheFile) {
  const struct {
    const char* note;
    uint16_t blocks;
    uint64_t fileSize, offset;
    size_t count;
    bool fromPage;
    size_t pagesLoaded;
  } rows[] = {
      {"block count 0 holds no page", 0, 20000, 100, 100, false, 0},
      {"a piece inside one page", 1, 20000, 100, 100, true, 1},
      {"10000 bytes at 8000: pieces of three pages", 1, 20000, 8000, 10000, true, 3},
      {"the page's bytes end inside the piece", 1, 5000, 4950, 100, false, 1},
      {"the last cached page", 1, 0x20000000, 0x1FFFFF00, 0x100, true, 1},
      {"offset 0x20000000 and beyond", 1, 0x20000200, 0x20000000, 0x100, false, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    acquire(row.blocks);
    const uint64_t start = row.offset > kPage ? row.offset - kPage : 0;
    const std::string before = pattern(static_cast<size_t>(std::min(row.fileSize - start, 3 * kPage)), 'a');
    const JuFileHandle file = makeFile(row.note, row.fileSize, before, start);
    const size_t expected = static_cast<size_t>(std::min<uint64_t>(row.count, row.fileSize - row.offset));
    const std::string first = read(file, row.offset, row.count);
    EXPECT_EQ(first, before.substr(row.offset - start, expected));
    EXPECT_EQ(cachedPages(file).size(), row.pagesLoaded);

    const std::string after = pattern(expected, 'A');
    writeBehind(dir_ / row.note, row.offset, after);
    EXPECT_EQ(read(file, row.offset, row.count), row.fromPage ? first : after);
    juPageCacheRelease(cache_);
    cache_ = nullptr;
  }
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(PageCacheTest, ANullCacheGoesToTheFile) {
  const std::string content = pattern(20000, 'a');
  const JuFileHandle file = makeFile("f", content.size(), content);
  EXPECT_EQ(read(file, 8000, 10000), content.substr(8000, 10000));
  EXPECT_EQ(juPageCacheWrite(nullptr, file, 5, "xyz", 3), 0);
  EXPECT_EQ(readWholeFile(dir_ / "f").substr(5, 3), "xyz");
  EXPECT_EQ(juPageCacheDropFile(nullptr, file), 0);
}

// A request that would run past the last byte offset wraps nowhere.
TEST_F(PageCacheTest, RequestsPastTheLastOffsetFail) {
  acquire(1);
  const JuFileHandle file = makeFile("f", 100, pattern(100, 'a'));
  char buffer[100] = {};
  size_t n = 7;
  EXPECT_EQ(juPageCacheRead(cache_, file, UINT64_MAX - 10, buffer, sizeof buffer, &n, 0), 1);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(juPageCacheWrite(cache_, file, UINT64_MAX, buffer, 1), 1);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{kJuMsgFileInputOutput, kJuMsgFileInputOutput}));
  EXPECT_EQ(juPageCacheRead(cache_, file, UINT64_MAX, buffer, 0, &n, 0), 0);  // nothing asked
  EXPECT_EQ(readWholeFile(dir_ / "f"), pattern(100, 'a'));
}

// ---------------------------------------------------------------------------
// Writing.
// ---------------------------------------------------------------------------

TEST_F(PageCacheTest, WritesReachTheFileAndTheCachedPages) {
  constexpr uint64_t kNone = UINT64_MAX;
  const struct {
    const char* note;
    uint64_t fileSize, primeAt, writeAt;
    size_t writeCount;
    std::set<uint16_t> cachedAfter;
  } rows[] = {
      {"into a cached page", 20000, 0, 100, 10, {0}},
      {"uncached pages stay uncached", 20000, kNone, 9000, 10, {}},
      {"across two pages, the second cached", 20000, 8192, 8100, 200, {1}},
      {"on from where a short page ends", 100, 0, 100, 50, {0}},
      {"past a gap the page never held", 100, 0, 200, 10, {}},
      {"over the last cached offset", 0x20000010, 0x1FFFFF00, 0x1FFFFFC0, 100, {0xFFFF}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    acquire(1);
    const uint64_t base = row.primeAt != kNone && row.primeAt > kPage ? row.primeAt - kPage : 0;
    std::string expected = pattern(static_cast<size_t>(std::min(row.fileSize - base, 3 * kPage)), 'a');
    const JuFileHandle file = makeFile(row.note, row.fileSize, expected, base);
    if (row.primeAt != kNone) {
      dirtyNextFreePage();
      (void)read(file, row.primeAt, 1);
    }
    const std::string written = pattern(row.writeCount, 'A');
    EXPECT_EQ(juPageCacheWrite(cache_, file, row.writeAt, written.data(), written.size()), 0);
    EXPECT_EQ(cachedPages(file), row.cachedAfter);

    const size_t at = static_cast<size_t>(row.writeAt - base);
    if (expected.size() < at + written.size()) expected.resize(at + written.size(), '\0');
    expected.replace(at, written.size(), written);
    EXPECT_EQ(jutest::readFileRange(dir_ / row.note, base, 4 * kPage), expected);
    EXPECT_EQ(read(file, base, expected.size()), expected);
    juPageCacheRelease(cache_);
    cache_ = nullptr;
  }
  EXPECT_TRUE(errors_.ids().empty());
}

// A write that fails part way has changed the file's first bytes: the pages
// it covered no longer answer for them.
TEST_F(PageCacheTest, AFailedWriteDropsThePagesItCovered) {
  acquire(1);
  const std::string before = pattern(20000, 'a');
  const JuFileHandle file = makeFile("f", before.size(), before);
  (void)read(file, 0, 20000);
  ASSERT_EQ(cachedPages(file), (std::set<uint16_t>{0, 1, 2}));
  const std::string written = pattern(70000, 'A');
  {
    const jutest::FileSizeLimit limit(66000);  // the second piece stops at 66000
    EXPECT_EQ(juPageCacheWrite(cache_, file, 0, written.data(), written.size()), 1);
  }
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{kJuMsgFileInputOutput}));
  EXPECT_EQ(cachedPages(file), (std::set<uint16_t>{}));
  EXPECT_EQ(read(file, 0, 20000), written.substr(0, 20000));
  EXPECT_EQ(readWholeFile(dir_ / "f"), written.substr(0, 66000));
}

// ---------------------------------------------------------------------------
// Eviction and the clock.
// ---------------------------------------------------------------------------

// Pages 0 to 7 fill a one-block cache (page p at index 7 - p); then the
// touches; then page 8 takes the place of the least recently used.
TEST_F(PageCacheTest, EvictsTheLeastRecentlyUsedPage) {
  const struct {
    const char* note;
    std::vector<uint16_t> touches;
    bool byWrite, sameStamps;
    uint16_t evicted;
  } rows[] = {
      {"the first loaded", {}, false, false, 0},
      {"a page read again stays", {0}, false, false, 1},
      {"all read again, in reverse", {7, 6, 5, 4, 3, 2, 1, 0}, false, false, 7},
      {"a write counts as a use", {0, 1}, true, false, 2},
      {"equal stamps: the lowest index", {}, false, true, 7},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    acquire(1);
    const std::string content = pattern(10 * kPage, 'a');
    const JuFileHandle file = makeFile(row.note, content.size(), content);
    for (uint16_t p = 0; p < 8; ++p) (void)read(file, p * kPage, 1);
    for (uint16_t p : row.touches) {
      if (row.byWrite) {
        ASSERT_EQ(juPageCacheWrite(cache_, file, p * kPage, &content[p * kPage], 1), 0);
      } else {
        (void)read(file, p * kPage + 5, 1);
      }
    }
    if (row.sameStamps) {
      for (uint16_t i = 0; i < 8; ++i) cache_->pages[i].stamp = 3;
    }
    EXPECT_EQ(read(file, 8 * kPage, 100), content.substr(8 * kPage, 100));
    EXPECT_EQ(cachedPages(file), pagesUpTo(8, row.evicted));
    juPageCacheRelease(cache_);
    cache_ = nullptr;
  }
}

// With the cache full and no eviction allowed, a new page is read from the
// file and the cache stays exactly as it was.
TEST_F(PageCacheTest, NoEvictLeavesAFullCacheAsItIs) {
  acquire(1);
  const std::string content = pattern(10 * kPage, 'a');
  const JuFileHandle file = makeFile("f", content.size(), content);
  for (uint16_t p = 0; p < 8; ++p) (void)read(file, p * kPage, 1);
  const std::vector<JuPageDescriptor> before(cache_->pages, cache_->pages + 8);
  const uint16_t clock = cache_->clock;

  EXPECT_EQ(read(file, 8 * kPage - 10, 20, 1), content.substr(8 * kPage - 10, 20));
  EXPECT_EQ(cache_->clock, clock + 1);  // page 7 served its piece, page 8 the file
  for (uint16_t i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(cache_->pages[i].file, before[i].file);
    EXPECT_EQ(cache_->pages[i].page, before[i].page);
  }
  EXPECT_EQ(read(file, 8 * kPage, 1), content.substr(8 * kPage, 1));
  EXPECT_EQ(cachedPages(file), pagesUpTo(8, 0));
}

// The clock never wraps: just before it would, it and every stamp are
// halved, and the pages keep their order of use across the halving.
TEST_F(PageCacheTest, HalvingTheClockKeepsTheOrderOfUse) {
  acquire(1);
  const std::string content = pattern(11 * kPage, 'a');
  const JuFileHandle file = makeFile("f", content.size(), content);
  for (uint16_t p = 0; p < 8; ++p) (void)read(file, p * kPage, 1);
  cache_->clock = 65533;
  (void)read(file, 0, 1);      // stamp 65533, at index 7
  (void)read(file, kPage, 1);  // stamp 65534, at index 6; the clock halves
  EXPECT_LT(cache_->clock, 40000);
  for (uint16_t p = 7; p >= 2; --p) (void)read(file, p * kPage, 1);  // indexes 0 to 5, newer still

  (void)read(file, 8 * kPage, 1);
  EXPECT_EQ(cachedPages(file), pagesUpTo(8, 0));
  (void)read(file, 9 * kPage, 1);  // page 1, not page 7 (lower index, used later)
  std::set<uint16_t> expected = pagesUpTo(9, 0);
  expected.erase(1);
  EXPECT_EQ(cachedPages(file), expected);
}

// ---------------------------------------------------------------------------
// Buckets.
// ---------------------------------------------------------------------------

// Pages 0, 97 and 194 of one file share a bucket: all three are found, and
// dropping the middle of the chain keeps the others.
TEST_F(PageCacheTest, PagesOfOneBucketAreFoundApart) {
  acquire(1);
  const std::string content = pattern(195 * kPage, 'a');
  const JuFileHandle file = makeFile("f", content.size(), content);
  const uint16_t pages[] = {0, 97, 194};
  for (uint16_t p : pages) (void)read(file, p * kPage, 1);

  JuPageDescriptor* found[3] = {};
  unsigned char* data = nullptr;
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(pages[i]);
    ASSERT_EQ(juPageCacheFindPage(cache_, file, pages[i], &found[i], &data, 0, 0), 0);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 50), content.substr(pages[i] * kPage, 50));
  }
  size_t chained = 0;
  for (uint16_t head : cache_->buckets) {
    size_t n = 0;
    for (uint16_t i = head; i != kJuNoPage; i = cache_->pages[i].next) ++n;
    chained = std::max(chained, n);
  }
  EXPECT_EQ(chained, 3u);

  EXPECT_EQ(juPageCacheDropPage(cache_, static_cast<uint16_t>(found[1] - cache_->pages)), 0);
  EXPECT_EQ(cachedPages(file), (std::set<uint16_t>{0, 194}));
  for (uint16_t p : {uint16_t{0}, uint16_t{194}}) {
    JuPageDescriptor* descriptor = nullptr;
    EXPECT_EQ(juPageCacheFindPage(cache_, file, p, &descriptor, &data, 0, 0), 0);
    EXPECT_NE(data, nullptr) << p;
  }
  EXPECT_EQ(read(file, 97 * kPage + 10, 10), content.substr(97 * kPage + 10, 10));
}

// ---------------------------------------------------------------------------
// Dropping and closing.
// ---------------------------------------------------------------------------

// Handle 0 and indexes of no cached page drop nothing; closing drops the
// file's pages and closes it.
TEST_F(PageCacheTest, DroppingTouchesOnlyCachedPages) {
  acquire(1);
  const JuFileHandle kept = makeFile("kept", 3 * kPage, pattern(3 * kPage, 'a'));
  const JuFileHandle closed = makeFile("closed", 3 * kPage, pattern(3 * kPage, 'b'));
  (void)read(kept, 0, 3 * kPage);
  (void)read(closed, 0, 2 * kPage);
  ASSERT_EQ(freePages(), 3u);

  EXPECT_EQ(juPageCacheDropFile(cache_, kJuNoFile), 0);
  EXPECT_EQ(juPageCacheDropPage(cache_, cache_->freeHead), 0);
  EXPECT_EQ(juPageCacheDropPage(cache_, 8), 0);  // beyond the pages made
  EXPECT_EQ(juPageCacheDropPage(cache_, kJuNoPage), 0);
  EXPECT_EQ(juPageCacheClose(cache_, kJuNoFile), 0);
  EXPECT_EQ(freePages(), 3u);

  EXPECT_EQ(juPageCacheClose(cache_, closed), 0);
  handles_.pop_back();
  EXPECT_EQ(freePages(), 5u);
  EXPECT_EQ(cachedPages(kept), (std::set<uint16_t>{0, 1, 2}));
  size_t n = 0;
  char byte = 0;
  EXPECT_EQ(juFileRead(closed, 0, &byte, 1, &n), 1);  // the handle is gone
}

// ---------------------------------------------------------------------------
// Holders.
// ---------------------------------------------------------------------------

TEST_F(PageCacheTest, TheBlockCountSetsTheCapacity) {
  const struct {
    uint16_t blocks;
    uint16_t capacity;
  } rows[] = {{0, 0}, {1, 8}, {8190, 65520}, {8191, 65528}, {8192, 65528}, {65535, 65528}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.blocks);
    JuPageCache* cache = juPageCacheAcquire(row.blocks);
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(cache->pageCapacity, row.capacity);
    EXPECT_EQ(cache->pagesMade, 0u);
    EXPECT_EQ(cache->referenceCount, 1u);
    juPageCacheRelease(cache);
  }
}

TEST_F(PageCacheTest, HoldersShareOneCacheUntilTheLastRelease) {
  JuPageCache* first = juPageCacheAcquire(2);
  ASSERT_NE(first, nullptr);
  JuPageCache* second = juPageCacheAcquire(5);
  EXPECT_EQ(second, first);
  EXPECT_EQ(first->referenceCount, 2u);
  EXPECT_EQ(first->pageCapacity, 16u);  // the later count is ignored
  juPageCacheRelease(second);
  EXPECT_EQ(first->referenceCount, 1u);
  juPageCacheRelease(first);
  juPageCacheRelease(first);  // one too many: ignored, nothing freed twice
  juPageCacheRelease(nullptr);

  JuPageCache* next = juPageCacheAcquire(1);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->referenceCount, 1u);
  EXPECT_EQ(next->pageCapacity, 8u);
  juPageCacheRelease(next);
}

// The 16-bit count never wraps: the 65536th holder is refused.
TEST_F(PageCacheTest, TheHolderCountDoesNotWrap) {
  JuPageCache* cache = juPageCacheAcquire(1);
  ASSERT_NE(cache, nullptr);
  for (uint32_t i = 1; i < 65535; ++i) ASSERT_EQ(juPageCacheAcquire(1), cache);
  EXPECT_EQ(cache->referenceCount, 65535u);
  EXPECT_EQ(juPageCacheAcquire(1), nullptr);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{kJuMsgOutOfMemory}));
  for (uint32_t i = 1; i < 65535; ++i) juPageCacheRelease(cache);
  EXPECT_EQ(cache->referenceCount, 1u);
  juPageCacheRelease(cache);
}

// Each allocation of making the cache and its first block fails in turn:
// out of memory, nothing leaked, and the file's bytes still right when read
// again.
TEST_F(PageCacheTest, AllocationFailures) {
  const std::string content = pattern(20000, 'a');
  const JuFileHandle file = makeFile("f", content.size(), content);
  const uint64_t runs = jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
    jutest::ScopedErrorList errors;
    std::string out(100, '\0');
    size_t n = 0;
    fault.arm();
    JuPageCache* cache = juPageCacheAcquire(1);
    const int result = cache != nullptr ? juPageCacheRead(cache, file, 8000, out.data(), out.size(), &n, 0) : 1;
    const bool fired = fault.disarm();
    EXPECT_EQ(result != 0, fired);
    EXPECT_EQ(errors.ids(), fired ? std::vector<uint16_t>{kJuMsgOutOfMemory} : std::vector<uint16_t>{});
    if (cache != nullptr) {
      EXPECT_EQ(juPageCacheRead(cache, file, 8000, out.data(), out.size(), &n, 0), 0);
      EXPECT_EQ(out, content.substr(8000, 100));
      juPageCacheRelease(cache);
    }
  });
  EXPECT_EQ(runs, 5u);  // record, descriptors, lock, block
}

// ---------------------------------------------------------------------------
// Threads and fork.
// ---------------------------------------------------------------------------

// Four threads write their own quarter of a file through a small cache and
// read all of it back, while pages are evicted under them; the file and every
// read agree with what was written.
TEST_F(PageCacheTest, ThreadsReadAndWriteThroughOneCache) {
  acquire(1);
  constexpr size_t kQuarter = 6 * kPage + 123;
  const JuFileHandle file = makeFile("f", 4 * kQuarter, std::string(4 * kQuarter, '.'));
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const std::string mine = pattern(kQuarter, static_cast<char>('A' + 8 * t));
      for (int round = 0; round < 40; ++round) {
        const size_t at = (round * 997) % (kQuarter - 1000);
        if (juPageCacheWrite(cache_, file, t * kQuarter + at, &mine[at], 1000) != 0) ++wrong;
        std::string back(1000, '\0');
        size_t n = 0;
        if (juPageCacheRead(cache_, file, t * kQuarter + at, back.data(), 1000, &n, 0) != 0 ||
            back != mine.substr(at, 1000)) {
          ++wrong;
        }
        std::string any(3000, '\0');
        if (juPageCacheRead(cache_, file, (round * 5003) % (3 * kQuarter), any.data(), 3000, &n, 0) != 0) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  const std::string whole = readWholeFile(dir_ / "f");
  EXPECT_EQ(read(file, 0, whole.size()), whole);
}

// Children forked while a thread reads through the cache can use it: the
// cache's lock is never left held by a thread the child does not have. (The
// child reads a page that stays cached: parent and child share the file's
// position, so their direct reads would race.)
TEST_F(PageCacheTest, AForkedChildUsesTheCache) {
  acquire(4);
  const std::string content = pattern(20 * kPage, 'a');
  const JuFileHandle file = makeFile("f", content.size(), content);
  (void)read(file, 19 * kPage, 1);
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    std::string out(3 * kPage, '\0');
    size_t n = 0;
    for (uint64_t i = 0; !stop.load(); ++i) {
      (void)juPageCacheRead(cache_, file, (i * 4099) % (13 * kPage), out.data(), out.size(), &n, 0);
    }
  });
  int hung = 0, failed = 0;
  for (int i = 0; i < 100 && hung < 3; ++i) {
    const pid_t child = fork();
    if (child == 0) {
      char out[100];
      size_t n = 0;
      const int result = juPageCacheRead(cache_, file, 19 * kPage, out, sizeof out, &n, 0);
      _exit(result == 0 && n == sizeof out && std::memcmp(out, &content[19 * kPage], n) == 0 ? 0 : 1);
    }
    const int status = child > 0 ? jutest::exitStatusWithin(child) : 1;
    hung += status == -1 ? 1 : 0;
    failed += status > 0 ? 1 : 0;
  }
  stop = true;
  reader.join();
  EXPECT_EQ(hung, 0);
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(cachedPages(file).count(19), 1u);
}

}  // namespace
