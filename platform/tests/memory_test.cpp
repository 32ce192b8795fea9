// Memory probes: copies and tests over pages mapped readable and writable,
// read-only, inaccessible (PROT_NONE) and not at all, and ranges that
// straddle them. The process must never fault.

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/memory.h"

namespace {

const size_t kPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
const char kConstant[] = "read-only data of the program";

// Three pages: readable and writable, read-only, PROT_NONE; and an address
// that is never mapped (below the lowest address the kernel maps; a page
// unmapped here could be taken again by the next mapping of any thread).
class Pages {
 public:
  Pages() {
    void* p = mmap(nullptr, 3 * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = p == MAP_FAILED ? nullptr : static_cast<char*>(p);
    if (base_ == nullptr) return;
    for (size_t i = 0; i < 3 * kPage; ++i) base_[i] = static_cast<char>('a' + i % 26);
    mprotect(base_ + kPage, kPage, PROT_READ);
    mprotect(base_ + 2 * kPage, kPage, PROT_NONE);
  }
  ~Pages() {
    if (base_ != nullptr) munmap(base_, 3 * kPage);
  }
  Pages(const Pages&) = delete;
  Pages& operator=(const Pages&) = delete;

  bool ok() const { return base_ != nullptr; }
  char* writable() const { return base_; }
  char* readOnly() const { return base_ + kPage; }
  char* none() const { return base_ + 2 * kPage; }
  char* unmapped() const { return reinterpret_cast<char*>(uintptr_t{0x8000}); }
  // What the first three pages held, for comparing copies.
  static char expected(size_t offset) { return static_cast<char>('a' + offset % 26); }

 private:
  char* base_ = nullptr;
};

TEST(MemoryProbe, CopiesAndTestsByPage) {
  Pages pages;
  ASSERT_TRUE(pages.ok());
  char* const w = pages.writable();
  struct Row {
    const char* note;
    const char* address;
    size_t n;
    size_t copied;  // what copyMemory returns
    bool readable;
    bool writable;
  } rows[] = {
      {"writable, one byte", w, 1, 1, true, true},
      {"writable, whole page", w, kPage, kPage, true, true},
      {"writable into read-only", w + kPage - 3, 6, 6, true, false},
      {"read-only, one byte", pages.readOnly(), 1, 1, true, false},
      {"read-only, last byte", pages.readOnly() + kPage - 1, 1, 1, true, false},
      {"read-only into PROT_NONE", pages.readOnly() + kPage - 4, 8, 4, false, false},
      {"writable through PROT_NONE", w + 10, 2 * kPage + 10, 2 * kPage - 10, false, false},
      {"PROT_NONE", pages.none(), 1, 0, false, false},
      {"PROT_NONE, 8 bytes", pages.none() + 100, 8, 0, false, false},
      {"unmapped", pages.unmapped(), 1, 0, false, false},
      {"unmapped, 8 bytes", pages.unmapped() + kPage - 4, 8, 0, false, false},
      {"null", nullptr, 1, 0, false, false},
      {"null page", reinterpret_cast<const char*>(uintptr_t{16}), 4, 0, false, false},
      {"kernel half", reinterpret_cast<const char*>(uintptr_t{0xFFFF800000000000ull}), 8, 0, false, false},
      {"wraps past the top", reinterpret_cast<const char*>(UINTPTR_MAX - 3), 8, 0, false, false},
      {"constant data", kConstant, sizeof kConstant, sizeof kConstant, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    std::vector<char> out(row.n + 1, '#');
    EXPECT_EQ(platform::copyMemory(out.data(), row.address, row.n), row.copied);
    if (row.copied > 0) {
      EXPECT_EQ(std::memcmp(out.data(), row.address, row.copied), 0);
    }
    EXPECT_EQ(out[row.copied], '#') << "nothing written past the count";
    EXPECT_EQ(platform::isReadable(row.address, row.n), row.readable);
    EXPECT_EQ(platform::isWritable(row.address, row.n), row.writable);
    std::vector<char> copy(row.n + 1, '#');
    EXPECT_EQ(platform::copyWritable(copy.data(), row.address, row.n), row.writable);
    if (row.writable) {
      EXPECT_EQ(std::memcmp(copy.data(), row.address, row.n), 0);
    }
    EXPECT_EQ(copy[row.n], '#') << "nothing written past the count";
  }
}

TEST(MemoryProbe, ZeroBytesAlwaysPass) {
  Pages pages;
  ASSERT_TRUE(pages.ok());
  char out = '#';
  const char* const addresses[] = {nullptr, pages.none(), pages.unmapped(), pages.writable()};
  for (const char* address : addresses) {
    EXPECT_EQ(platform::copyMemory(&out, address, 0), 0u);
    EXPECT_TRUE(platform::isReadable(address, 0));
    EXPECT_TRUE(platform::isWritable(address, 0));
  }
  EXPECT_EQ(out, '#');
  EXPECT_EQ(platform::copyMemory(nullptr, pages.writable(), 4), 0u) << "no destination";
}

TEST(MemoryProbe, LongCopiesCrossManyPages) {
  // More pages than one system call takes, with an inaccessible page far in.
  constexpr size_t kPages = 600;
  void* p = mmap(nullptr, kPages * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(p, MAP_FAILED);
  auto* base = static_cast<unsigned char*>(p);
  for (size_t i = 0; i < kPages * kPage; ++i) base[i] = static_cast<unsigned char>(i * 7);
  std::vector<unsigned char> out(kPages * kPage);
  EXPECT_EQ(platform::copyMemory(out.data(), base + 1, kPages * kPage - 1), kPages * kPage - 1);
  EXPECT_EQ(std::memcmp(out.data(), base + 1, kPages * kPage - 1), 0);
  EXPECT_TRUE(platform::isReadable(base, kPages * kPage));
  EXPECT_TRUE(platform::isWritable(base, kPages * kPage));

  ASSERT_EQ(mprotect(base + 555 * kPage, kPage, PROT_NONE), 0);
  EXPECT_EQ(platform::copyMemory(out.data(), base + 5, kPages * kPage - 5), 555 * kPage - 5);
  EXPECT_FALSE(platform::isReadable(base, kPages * kPage));
  EXPECT_TRUE(platform::isReadable(base, 555 * kPage));
  EXPECT_FALSE(platform::isWritable(base, kPages * kPage));
  EXPECT_TRUE(platform::isWritable(base, 555 * kPage));
  munmap(p, kPages * kPage);
}

TEST(MemoryProbe, ChangesOfProtectionAreSeen) {
  // Nothing between each change and the questions maps memory.
  void* p = mmap(nullptr, kPage, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(p, MAP_FAILED);
  uint32_t out4 = 0;
  EXPECT_FALSE(platform::isWritable(p, 4));
  EXPECT_FALSE(platform::copyWritable(&out4, p, 4));
  // Made writable later: the cache is read again on a miss.
  ASSERT_EQ(mprotect(p, kPage, PROT_READ | PROT_WRITE), 0);
  EXPECT_TRUE(platform::isWritable(p, 4));
  // Made inaccessible, then unmapped, after a yes: never a stale yes.
  ASSERT_EQ(mprotect(p, kPage, PROT_NONE), 0);
  EXPECT_FALSE(platform::isWritable(p, 4));
  ASSERT_EQ(mprotect(p, kPage, PROT_READ | PROT_WRITE), 0);
  EXPECT_TRUE(platform::isWritable(p, 4));
  EXPECT_TRUE(platform::copyWritable(&out4, p, 4));
  ASSERT_EQ(munmap(p, kPage), 0);
  EXPECT_FALSE(platform::isWritable(p, 4));
  EXPECT_FALSE(platform::copyWritable(&out4, p, 4)) << "the cached yes is not taken for the unmapped page";
  char out[4];
  EXPECT_EQ(platform::copyMemory(out, p, 4), 0u);
}

TEST(MemoryProbe, WritableLengthIsTheWritableStartAsMappedNow) {
  Pages pages;
  ASSERT_TRUE(pages.ok());
  char* const w = pages.writable();
  const struct Row {
    const char* note;
    const char* address;
    size_t n;
    size_t length;
  } rows[] = {
      {"writable", w, 100, 100},
      {"writable up to a read-only page", w + kPage - 8, 100, 8},
      {"read-only", pages.readOnly(), 4, 0},
      {"PROT_NONE", pages.none(), 4, 0},
      {"unmapped", pages.unmapped(), 4, 0},
      {"null", nullptr, 4, 0},
      {"wraps past the top", reinterpret_cast<const char*>(UINTPTR_MAX - 3), 8, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(platform::writableLength(row.address, row.n), row.length);
  }
  // Made read-only after a yes: a writer must see it at once.
  ASSERT_TRUE(platform::isWritable(w, 8));
  ASSERT_EQ(mprotect(w, kPage, PROT_READ), 0);
  EXPECT_EQ(platform::writableLength(w, 8), 0u);
}

TEST(MemoryProbe, HeapAndFreedBlocks) {
  // A block large enough to be mapped on its own: once freed it may be
  // unmapped (or held by a sanitizer's quarantine); either way nothing
  // faults.
  constexpr size_t kBig = 4 << 20;
  auto* block = static_cast<char*>(std::malloc(kBig));
  ASSERT_NE(block, nullptr);
  std::memset(block, 'x', kBig);
  EXPECT_TRUE(platform::isWritable(block, kBig));
  // The address is kept as a number the compiler cannot follow: the probe
  // is asked about it, the test itself never touches the freed block.
  volatile uintptr_t middle = reinterpret_cast<uintptr_t>(block + kBig / 2);
  std::free(block);
  char out[16];
  const size_t copied = platform::copyMemory(out, reinterpret_cast<const void*>(middle), sizeof out);
  EXPECT_TRUE(copied == 0 || copied == sizeof out);
  EXPECT_EQ(platform::isReadable(reinterpret_cast<const void*>(middle), sizeof out), copied == sizeof out);
}

TEST(MemoryProbe, ManyThreadsAskAtOnce) {
  Pages pages;
  ASSERT_TRUE(pages.ok());
  std::vector<std::thread> threads;
  std::vector<int> faults(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&pages, &faults, t] {
      for (int i = 0; i < 200; ++i) {
        // Each thread maps and drops a page of its own, so the mappings
        // change while the others read them.
        void* own = mmap(nullptr, kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (own == MAP_FAILED || !platform::isWritable(own, 8)) ++faults[t];
        if (own != MAP_FAILED) munmap(own, kPage);
        if (!platform::isWritable(pages.writable() + i, 8)) ++faults[t];
        if (platform::isWritable(pages.readOnly() + i, 8)) ++faults[t];
        if (platform::isWritable(pages.unmapped() + i, 8)) ++faults[t];
        char out[8];
        if (platform::copyMemory(out, pages.readOnly() + i, 8) != 8) ++faults[t];
        if (out[0] != Pages::expected(kPage + i)) ++faults[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(faults[t], 0) << t;
}

// The calling thread's own stack is copied in place, but only from the
// caller's frame up to the stack's top: a thread on a stack of our own
// (pages 1 to 32 of a PROT_NONE block), with a page deep inside it, far
// below any frame, made inaccessible too.
struct StackCase {
  const char* note;
  const char* address;  // null: a buffer of the thread's own frame
  size_t n;
  size_t copied;  // what copyMemory gives; the tests agree when it is n
  size_t got[4];  // copyMemory, isReadable, isWritable, copyWritable
};

void* runStackCases(void* arg) {
  char local[64] = "a buffer of the caller's frame";
  for (StackCase& c : *static_cast<std::vector<StackCase>*>(arg)) {
    const char* address = c.address != nullptr ? c.address : local;
    char out[64];
    c.got[0] = platform::copyMemory(out, address, c.n);
    if (c.got[0] != 0 && std::memcmp(out, address, c.got[0]) != 0) c.got[0] = SIZE_MAX;
    c.got[1] = platform::isReadable(address, c.n);
    c.got[2] = platform::isWritable(address, c.n);
    c.got[3] = platform::copyWritable(out, address, c.n);
  }
  return nullptr;
}

TEST(MemoryProbe, OwnStackFromTheCallersFrameUp) {
  constexpr size_t kStackPages = 32;
  char* const block = static_cast<char*>(
      mmap(nullptr, (kStackPages + 2) * kPage, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(block, MAP_FAILED);
  char* const low = block + kPage;
  char* const high = low + kStackPages * kPage;
  ASSERT_EQ(mprotect(low, kStackPages * kPage, PROT_READ | PROT_WRITE), 0);
  ASSERT_EQ(mprotect(low + 2 * kPage, kPage, PROT_NONE), 0);
  std::vector<StackCase> cases = {
      {"a buffer of the caller's frame", nullptr, 64, 64, {}},
      {"the last bytes below the top", high - 16, 16, 16, {}},
      {"across the top into the page above", high - 16, 32, 16, {}},
      {"an inaccessible page deep below every frame", low + 2 * kPage, 16, 0, {}},
      {"mapped stack below every frame", low + 3 * kPage, 16, 16, {}},
      {"the page below the stack", low - 8, 16, 0, {}},
  };
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstack(&attributes, low, kStackPages * kPage), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes, runStackCases, &cases), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
  for (const StackCase& c : cases) {
    SCOPED_TRACE(c.note);
    const size_t whole = c.copied == c.n ? 1 : 0;
    EXPECT_EQ(c.got[0], c.copied);
    EXPECT_EQ(c.got[1], whole);
    EXPECT_EQ(c.got[2], whole);
    EXPECT_EQ(c.got[3], whole);
  }
  munmap(block, (kStackPages + 2) * kPage);
}

// A read-ahead answers as the system would, from the copies it took when
// it was made: what it could not read is asked again, and a range it could
// not read does not keep it from those after.
TEST(MemoryProbe, ReadAheadAnswersAsTheSystemWouldFromItsCopies) {
  Pages pages;
  ASSERT_TRUE(pages.ok());
  char* const w = pages.writable();
  char* const r = pages.readOnly();
  struct Row {
    const char* note;
    const char* address;
    size_t n;
  } rows[] = {
      {"writable", w + 100, 64},
      {"across writable into read-only", w + kPage - 10, 30},
      {"read-only", r + 5, 8},
      {"read-only into PROT_NONE", r + kPage - 4, 8},
      {"PROT_NONE", pages.none(), 8},
      {"unmapped", pages.unmapped(), 8},
      {"writable after the bad ones", w + 2000, 100},
      {"null", nullptr, 8},
  };
  std::vector<platform::ReadAhead::Range> ranges;
  for (const Row& row : rows) ranges.push_back({row.address, row.n});
  // What the system answers, before anything is read ahead.
  struct Answer {
    size_t copied;
    bool readable;
    bool copyWritable;
  };
  std::vector<Answer> expected;
  for (const Row& row : rows) {
    char out[128];
    expected.push_back({platform::copyMemory(out, row.address, row.n), platform::isReadable(row.address, row.n),
                        platform::copyWritable(out, row.address, row.n)});
  }
  {
    platform::ReadAhead ahead(ranges.data(), ranges.size());
    // Changed after the read-ahead: its copies are what it answers with.
    const char before = w[2000];
    w[2000] = static_cast<char>(before + 1);
    for (size_t i = 0; i < std::size(rows); ++i) {
      const Row& row = rows[i];
      SCOPED_TRACE(row.note);
      char out[128] = {};
      EXPECT_EQ(platform::copyMemory(out, row.address, row.n), expected[i].copied);
      if (row.address == w + 2000) {
        EXPECT_EQ(out[0], before);
      }
      EXPECT_EQ(platform::isReadable(row.address, row.n), expected[i].readable);
      EXPECT_EQ(platform::copyWritable(out, row.address, row.n), expected[i].copyWritable);
    }
    // Asked beyond what it read: the rest comes from the system.
    char out[200];
    EXPECT_EQ(platform::copyMemory(out, w + 100, 200), 200u);
    EXPECT_EQ(std::memcmp(out + 64, w + 164, 136), 0);
    w[2000] = before;
  }
  // Gone with its scope.
  w[2000] = static_cast<char>(w[2000] + 1);
  char out = 0;
  EXPECT_EQ(platform::copyMemory(&out, w + 2000, 1), 1u);
  EXPECT_EQ(out, w[2000]);
}

}  // namespace
