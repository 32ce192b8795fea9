// The file page cache on real files: pages or the file, write-through,
// eviction and buckets, holders, faults, threads and fork.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <optional>
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

constexpr uint64_t kPage = kJuPageBytes;
using Pages = std::vector<uint16_t>;

std::string pattern(size_t n, char seed) {
  std::string out(n, '\0');
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<char>(seed + (i * 7 + i / 251) % 23);
  return out;
}

// Writes into a file as another program would: not through the library.
void writeBehind(const std::string& path, uint64_t offset, const std::string& bytes) {
  std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
  out.seekp(static_cast<std::streamoff>(offset));
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class PageCacheTest : public jutest::JuTest {
 protected:
  void TearDown() override {
    for (JuFileHandle handle : handles_) (void)juFileClose(handle);
    juPageCacheRelease(cache_);
  }
  void renew(int blocks) {  // -1: no cache
    juPageCacheRelease(cache_);
    cache_ = blocks < 0 ? nullptr : juPageCacheAcquire(static_cast<uint16_t>(blocks));
  }
  // A sparse file of `size` bytes holding `content` at `at`, opened read-write.
  JuFileHandle makeFile(const std::string& name, uint64_t size, const std::string& content, uint64_t at = 0) {
    path_ = dir_.write(name, "");
    EXPECT_EQ(truncate(path_.c_str(), static_cast<off_t>(size)), 0);
    writeBehind(path_, at, content);
    return openAgain();
  }
  // Another handle of the last file made.
  JuFileHandle openAgain() {
    std::vector<char> buffer(kJuPathChars, '\0');
    std::memcpy(buffer.data(), path_.c_str(), path_.size());
    JuFileHandle handle = kJuNoFile;
    EXPECT_EQ(juFileOpen(buffer.data(), buffer.size(), kJuFileOpenReadWrite, &handle), 0);
    handles_.push_back(handle);
    return handle;
  }
  std::string read(JuFileHandle file, uint64_t offset, size_t count, int noEvict = 0) {
    std::string out(count, '\0');
    size_t n = 0;
    EXPECT_EQ(juPageCacheRead(cache_, file, offset, out.data(), count, &n, noEvict), 0);
    return out.substr(0, n);
  }
  // Page numbers of the file `file` reaches in the cache, sorted, each as
  // often as it is held.
  Pages cached(JuFileHandle file) const {
    struct stat st {};
    EXPECT_EQ(fstat(static_cast<int>(file) - 1, &st), 0);
    Pages out;
    for (uint16_t i = 0; i < cache_->pagesMade; ++i) {
      const JuPageDescriptor& page = cache_->pages[i];
      if (page.file.device == st.st_dev && page.file.inode == st.st_ino) out.push_back(page.page);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  // Length of the free list; more than the pages made when it loops.
  size_t freePages() const {
    size_t n = 0;
    for (uint16_t i = cache_->freeHead; i != kJuNoPage && n <= cache_->pagesMade; i = cache_->pages[i].next) ++n;
    return n;
  }

  jutest::TempDir dir_;
  std::string path_;  // of the last file made
  JuPageCache* cache_ = nullptr;
  std::vector<JuFileHandle> handles_;
};

// A second read after the file changed behind the cache returns the old
// bytes where a page served it, the new ones where the file did.
TEST_F(PageCacheTest, ReadsComeFromAPageOrFromTheFile) {
  const struct {
    const char* note;
    int blocks;
    uint64_t fileSize, offset;
    size_t count;
    bool fromPage;
    size_t pagesLoaded;
  } rows[] = {
      {"no cache", -1, 20000, 100, 100, false, 0},
      {"block count 0 holds no page", 0, 20000, 100, 100, false, 0},
      {"10000 bytes at 8000: pieces of three pages", 1, 20000, 8000, 10000, true, 3},
      {"the page's bytes end inside the piece", 1, 5000, 4950, 100, false, 1},
      {"the last cached page", 1, 0x20000000, 0x1FFFFF00, 0x100, true, 1},
      {"offset 0x20000000", 1, 0x20000200, 0x20000000, 0x100, false, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    renew(row.blocks);
    const uint64_t base = row.offset > kPage ? row.offset - kPage : 0;
    const std::string before = pattern(std::min<uint64_t>(row.fileSize - base, 3 * kPage), 'a');
    const JuFileHandle file = makeFile(row.note, row.fileSize, before, base);
    const size_t expected = std::min<uint64_t>(row.count, row.fileSize - row.offset);
    const std::string first = read(file, row.offset, row.count);
    EXPECT_EQ(first, before.substr(row.offset - base, expected));
    EXPECT_EQ(cache_ != nullptr ? cached(file).size() : 0, row.pagesLoaded);
    const std::string after = pattern(expected, 'A');
    writeBehind(path_, row.offset, after);
    EXPECT_EQ(read(file, row.offset, row.count), row.fromPage ? first : after);
  }
  EXPECT_TRUE(errors_.ids().empty());
}

// After every write the file holds it and a read through the cache agrees
// with the file, even where the page storage last held another file's 'q's,
// and through another handle of the file than the one written.
TEST_F(PageCacheTest, WritesReachTheFileAndNeverLeaveStaleBytes) {
  const struct {
    const char* note;
    uint64_t fileSize, primeAt, writeAt;
    size_t writeCount, sizeLimit;
    Pages cachedAfter;
    bool readThroughAnother = false;
  } rows[] = {
      {"into a cached page", 20000, 0, 100, 10, 0, {0}},
      {"uncached pages stay uncached", 20000, 0, 9000, 10, 0, {0}},
      {"across two pages, the second cached", 20000, 8192, 8100, 200, 0, {1}},
      {"on from where a short page ends", 100, 0, 100, 50, 0, {0}},
      {"past a gap the page never held", 100, 0, 200, 10, 0, {}},
      {"over the last cached offset", 0x20000010, 0x1FFFFF00, 0x1FFFFFC0, 100, 0, {0xFFFF}},
      {"failing part way (file size limit)", 20000, 0, 0, 70000, 66000, {}},
      {"into a page read through another handle", 20000, 0, 10, 3, 0, {0}, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    renew(1);
    const JuFileHandle junk = makeFile("junk", kPage, std::string(kPage, 'q'));
    (void)read(junk, 0, 1);
    (void)juPageCacheDropFile(cache_, junk);  // its page is the next one loaded
    const uint64_t base = row.primeAt > kPage ? row.primeAt - kPage : 0;
    std::string expected = pattern(std::min<uint64_t>(row.fileSize - base, 3 * kPage), 'a');
    const JuFileHandle file = makeFile(row.note, row.fileSize, expected, base);
    const JuFileHandle reader = row.readThroughAnother ? openAgain() : file;
    (void)read(reader, row.primeAt, 1);

    const std::string written = pattern(row.writeCount, 'A');
    {
      std::optional<jutest::FileSizeLimit> limit;
      if (row.sizeLimit != 0) limit.emplace(row.sizeLimit);
      EXPECT_EQ(juPageCacheWrite(cache_, file, row.writeAt, written.data(), written.size()), row.sizeLimit != 0 ? 1 : 0);
    }
    EXPECT_EQ(errors.ids().size(), row.sizeLimit != 0 ? 1u : 0u);
    EXPECT_EQ(cached(reader), row.cachedAfter);
    const size_t at = row.writeAt - base;
    expected.resize(std::max(expected.size(), at + written.size()), '\0');
    expected.replace(at, written.size(), written);
    if (row.sizeLimit != 0) expected.resize(row.sizeLimit - base);
    EXPECT_EQ(jutest::readFileRange(path_, base, expected.size() + 1), expected);
    EXPECT_EQ(read(reader, base, expected.size()), expected);
  }
}

// Scripts of page uses on a one-block cache (8 pages; the first page loaded
// takes index 7, the last index 0), then the pages held.
constexpr int kSetClock = -1;    // the clock to 65533, two uses before it halves
constexpr int kSameStamps = -2;  // every stamp to 3
constexpr int kWrite = -3;       // the next page is used by a write
constexpr int kNoEvict = -4;     // the next page is read with no eviction
constexpr int kDrop = -5;        // the next page is dropped

TEST_F(PageCacheTest, EvictsTheLeastRecentlyUsedPageAndFindsEveryPage) {
  const struct {
    const char* note;
    std::vector<int> script;
    Pages held;
  } rows[] = {
      {"the first loaded goes", {0, 1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"a page read again stays", {0, 1, 2, 3, 4, 5, 6, 7, 0, 8}, {0, 2, 3, 4, 5, 6, 7, 8}},
      {"a write is a use", {0, 1, 2, 3, 4, 5, 6, 7, kWrite, 0, kWrite, 1, 8}, {0, 1, 3, 4, 5, 6, 7, 8}},
      {"equal stamps: the lowest index", {0, 1, 2, 3, 4, 5, 6, 7, kSameStamps, 8}, {0, 1, 2, 3, 4, 5, 6, 8}},
      {"no eviction: the file serves", {0, 1, 2, 3, 4, 5, 6, 7, kNoEvict, 8}, {0, 1, 2, 3, 4, 5, 6, 7}},
      {"halving the clock keeps the order of use",
       {0, 1, 2, 3, 4, 5, 6, 7, kSetClock, 0, 1, 7, 6, 5, 4, 3, 2, 8, 9},
       {2, 3, 4, 5, 6, 7, 8, 9}},
      {"one bucket's pages are found apart", {0, 97, 194, 0, 97, 194}, {0, 97, 194}},
      {"dropping a chain's middle keeps its ends", {0, 97, 194, kDrop, 97, 194, 0, 97}, {0, 97, 194}},
  };
  const std::string content = pattern(195 * kPage, 'a');
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    renew(1);
    const JuFileHandle file = makeFile("f", content.size(), content);
    int mode = 0;
    for (int op : row.script) {
      if (op == kSetClock) cache_->clock = 65533;
      if (op == kSameStamps) {
        for (uint16_t i = 0; i < 8; ++i) cache_->pages[i].stamp = 3;
      }
      if (op < 0) {
        mode = op;
        continue;
      }
      const uint64_t at = op * kPage + 5;
      JuPageDescriptor* page = nullptr;
      unsigned char* data = nullptr;
      if (mode == kWrite) {
        EXPECT_EQ(juPageCacheWrite(cache_, file, at, &content[at], 1), 0);
      } else if (mode == kDrop) {
        EXPECT_EQ(juPageCacheFindPage(cache_, file, static_cast<uint16_t>(op), &page, &data, 0, 0), 0);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(juPageCacheDropPage(cache_, static_cast<uint16_t>(page - cache_->pages)), 0);
      } else {
        EXPECT_EQ(read(file, at, 1, mode == kNoEvict), content.substr(at, 1)) << op;
      }
      mode = 0;
    }
    EXPECT_EQ(cached(file), row.held);
    EXPECT_LT(cache_->clock, 40000);
  }
}

// Handle 0 and indexes of no cached page drop nothing; closing drops the
// file's pages; a request past the last byte offset fails without wrapping.
TEST_F(PageCacheTest, DropsCloseAndBadRanges) {
  renew(1);
  const JuFileHandle kept = makeFile("kept", 3 * kPage, pattern(3 * kPage, 'a'));
  const JuFileHandle closed = makeFile("closed", 3 * kPage, pattern(3 * kPage, 'b'));
  (void)read(kept, 0, 3 * kPage);
  (void)read(closed, 0, 2 * kPage);
  EXPECT_EQ(juPageCacheDropFile(cache_, kJuNoFile) + juPageCacheDropPage(cache_, cache_->freeHead) +
                juPageCacheDropPage(cache_, 8) + juPageCacheClose(cache_, kJuNoFile),
            0);
  EXPECT_EQ(freePages(), 3u);
  EXPECT_EQ(juPageCacheClose(cache_, closed), 0);
  handles_.pop_back();
  EXPECT_EQ(freePages(), 5u);
  EXPECT_EQ(cached(kept), (Pages{0, 1, 2}));

  char buffer[100] = {};
  size_t n = 7;
  EXPECT_EQ(juPageCacheRead(cache_, kept, UINT64_MAX - 10, buffer, sizeof buffer, &n, 0), 1);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(juPageCacheWrite(cache_, kept, UINT64_MAX, buffer, 1), 1);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{kJuMsgFileInputOutput, kJuMsgFileInputOutput}));
}

TEST_F(PageCacheTest, HoldersShareOneCacheAndTheirCountNeverWraps) {
  for (const auto& [blocks, capacity] : {std::pair<int, int>{0, 0}, {1, 8}, {8191, 65528}, {8192, 65528}}) {
    renew(blocks);
    ASSERT_NE(cache_, nullptr);
    EXPECT_EQ(cache_->pageCapacity, capacity) << blocks;
  }
  renew(2);
  for (uint32_t i = 1; i < 65535; ++i) ASSERT_EQ(juPageCacheAcquire(5), cache_);
  EXPECT_EQ(cache_->pageCapacity, 16u);  // later counts are ignored
  EXPECT_EQ(juPageCacheAcquire(1), nullptr);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{kJuMsgOutOfMemory}));
  for (uint32_t i = 1; i < 65535; ++i) juPageCacheRelease(cache_);
  EXPECT_EQ(cache_->referenceCount, 1u);
  juPageCacheRelease(cache_);
  juPageCacheRelease(cache_);  // one too many: ignored, nothing freed twice
  cache_ = juPageCacheAcquire(1);
  EXPECT_EQ(cache_->referenceCount, 1u);
  EXPECT_EQ(cache_->pageCapacity, 8u);
}

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
    EXPECT_EQ(result != 0, fault.disarm());
    EXPECT_EQ(errors.ids(), result != 0 ? std::vector<uint16_t>{kJuMsgOutOfMemory} : std::vector<uint16_t>{});
    if (cache != nullptr) {
      EXPECT_EQ(juPageCacheRead(cache, file, 8000, out.data(), out.size(), &n, 0), 0);
      EXPECT_EQ(out, content.substr(8000, 100));
      juPageCacheRelease(cache);
    }
  });
  EXPECT_EQ(runs, 5u);  // record, descriptors, lock, block
}

// Four threads write their own quarter of a file through a one-block cache
// and read across all of it while children are forked, which read the
// file's tail through the cache with a handle of their own (a shared one
// would share the file position): every thread reads its own bytes back, and
// no child finds the cache's lock held by a thread it does not have.
TEST_F(PageCacheTest, ThreadsAndForkedChildrenShareTheCache) {
  renew(1);
  constexpr size_t kQuarter = 6 * kPage + 123;
  const std::string tail = pattern(kPage, 'z');
  const JuFileHandle file = makeFile("f", 4 * kQuarter + kPage, tail, 4 * kQuarter);
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (size_t t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const std::string mine = pattern(kQuarter, static_cast<char>('A' + 8 * t));
      std::string back(3000, '\0');
      size_t n = 0;
      for (size_t round = 0; round < 40 || !stop.load(); ++round) {
        const size_t at = (round * 997) % (kQuarter - 1000);
        wrong += juPageCacheWrite(cache_, file, t * kQuarter + at, &mine[at], 1000);
        wrong += juPageCacheRead(cache_, file, t * kQuarter + at, back.data(), 1000, &n, 0);
        wrong += back.compare(0, 1000, mine, at, 1000) != 0;
        wrong += juPageCacheRead(cache_, file, (round * 5003) % (3 * kQuarter), back.data(), 3000, &n, 0);
      }
    });
  }
  int hung = 0, failed = 0;
  for (int i = 0; i < 50 && hung < 3; ++i) {
    const pid_t child = fork();
    if (child == 0) {
      std::vector<char> name(path_.begin(), path_.end());
      name.resize(kJuPathChars, '\0');
      JuFileHandle own = kJuNoFile;
      char out[100];
      size_t n = 0;
      _exit(juFileOpen(name.data(), name.size(), kJuFileOpenForReading, &own) == 0 &&
                    juPageCacheRead(cache_, own, 4 * kQuarter + 50, out, sizeof out, &n, 0) == 0 &&
                    n == sizeof out && std::memcmp(out, &tail[50], n) == 0
                ? 0
                : 1);
    }
    const int status = child > 0 ? jutest::exitStatusWithin(child) : 1;
    hung += status == -1 ? 1 : 0;
    failed += status > 0 ? 1 : 0;
  }
  stop = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(hung + failed, 0);
  const std::string whole = jutest::readWholeFile(path_);
  EXPECT_EQ(read(file, 0, whole.size()), whole);
}

}  // namespace
