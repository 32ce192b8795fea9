// JuSort with records added one by one: runs on file and their merge, the
// reading operations, seek, range re-sorts and refused input.

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "julib/internal/fault.h"
#include "julib/sort.h"
#include "testing/allocation_faults.h"
#include "testing/ju_test.h"
#include "testing/temp_dir.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kScale = 4;  // the sanitizer build runs about three times slower
#else
constexpr size_t kScale = 1;
#endif

// Records of `size` bytes: a 4-byte id, then one byte per key (odd keys
// descending).
struct Data {
  uint16_t size;
  size_t keys;
  std::vector<uint8_t> bytes;
  size_t count() const { return bytes.size() / size; }
  const uint8_t* at(size_t i) const { return &bytes[i * size]; }
  // The expected order, as std::sort sees it.
  bool less(const uint8_t* a, const uint8_t* b) const {
    for (size_t k = 4; k < 4 + keys; ++k) {
      if (a[k] != b[k]) return (k % 2 == 1) ? a[k] > b[k] : a[k] < b[k];
    }
    return false;
  }
  std::vector<const uint8_t*> sorted() const {
    std::vector<const uint8_t*> out;
    for (size_t i = 0; i < count(); ++i) out.push_back(at(i));
    std::sort(out.begin(), out.end(), [this](const uint8_t* a, const uint8_t* b) { return less(a, b); });
    return out;
  }
};

enum class Shape { kRandom, kSorted, kReversed, kAllEqual };

Data makeData(Shape shape, size_t n, size_t keys, uint16_t size, uint32_t seed, int alphabet = 4) {
  Data d{size, keys, std::vector<uint8_t>(n * size)};
  std::mt19937_64 random(seed);
  uint64_t bits = 0;
  for (size_t b = 0; b < d.bytes.size(); ++b) {
    if (b % 8 == 0) bits = random();
    d.bytes[b] = static_cast<uint8_t>((bits >> (b % 8 * 8) & 0xFF) % alphabet);
    if (shape == Shape::kAllEqual && b % size >= 4 && b % size < 4 + keys) d.bytes[b] = 7;
  }
  if (shape == Shape::kSorted || shape == Shape::kReversed) {
    std::vector<const uint8_t*> order = d.sorted();
    if (shape == Shape::kReversed) std::reverse(order.begin(), order.end());
    std::vector<uint8_t> shaped;
    for (const uint8_t* r : order) shaped.insert(shaped.end(), r, r + size);
    d.bytes.swap(shaped);
  }
  for (uint32_t i = 0; i < n; ++i) std::memcpy(&d.bytes[i * size], &i, 4);  // the id: its position
  return d;
}

void addKeys(JuSort& sorter, const Data& d) {
  for (size_t k = 4; k < 4 + d.keys; ++k) ASSERT_EQ(0, sorter.addKey(k % 2 == 1 ? JuSort::kDescending : 0, k, 1));
}

// Checks `records` (in read order, back to back) against std::sort: the
// keys position by position, and every record back once and whole.
void expectSorted(const Data& d, const std::vector<uint8_t>& records) {
  ASSERT_EQ(d.bytes.size(), records.size());
  const std::vector<const uint8_t*> expected = d.sorted();
  std::vector<bool> seen(d.count(), false);
  for (size_t i = 0; i < d.count(); ++i) {
    const uint8_t* got = &records[i * d.size];
    ASSERT_EQ(0, std::memcmp(expected[i] + 4, got + 4, d.keys)) << "keys at " << i;
    uint32_t id = 0;
    std::memcpy(&id, got, 4);
    ASSERT_TRUE(id < d.count() && !seen[id]) << "record " << id << " lost or doubled";
    seen[id] = true;
    ASSERT_EQ(0, std::memcmp(d.at(id) + 4, got + 4, d.size - 4)) << "record " << id << " damaged";
  }
}

std::vector<uint8_t> readAll(JuSort& sorter) {
  std::vector<uint8_t> out;
  void* r = nullptr;
  while (sorter.fetch(&r) == 0 && r != nullptr) {
    out.insert(out.end(), static_cast<uint8_t*>(r), static_cast<uint8_t*>(r) + sorter.recordSize);
  }
  return out;
}

using SortRunsTest = jutest::JuTest;

// ---------------------------------------------------------------------------
// Against std::sort.
// ---------------------------------------------------------------------------

struct PropertyRow {
  Shape shape;
  size_t n;
  size_t keys;
  uint16_t size;
  bool array;  // useArray, else addRecord
};

void expectRowsSortLikeStdSort(const std::vector<PropertyRow>& rows) {
  for (const PropertyRow& row : rows) {
    // Scaled down in the sanitizer build, but what spills still spills.
    const size_t spillsFrom = JuSort::kBlockBytes / row.size * JuSort::kMaxBlocks;
    size_t n = row.n < 1000 ? row.n : row.n / kScale;
    if (row.n > spillsFrom) n = spillsFrom + (row.n - spillsFrom) / kScale;
    SCOPED_TRACE(::testing::Message() << "shape " << int(row.shape) << " n " << n << " keys " << row.keys);
    Data d = makeData(row.shape, n, row.keys, row.size, static_cast<uint32_t>(n + row.keys));
    JuSort sorter(row.size);
    addKeys(sorter, d);
    std::vector<uint8_t> array = d.bytes;
    if (row.array) {
      sorter.useArray(n, array.data());
    } else {
      for (size_t i = 0; i < n; ++i) ASSERT_EQ(0, sorter.addRecord(d.at(i)));
    }
    expectSorted(d, readAll(sorter));
    EXPECT_EQ(n > spillsFrom, sorter.runCount != 0);
  }
}

TEST_F(SortRunsTest, SortsLikeStdSortInMemory) {
  expectRowsSortLikeStdSort({
      {Shape::kRandom, 0, 1, 8, false},     {Shape::kRandom, 1, 1, 8, false},
      {Shape::kRandom, 5, 3, 8, true},       {Shape::kReversed, 152, 64, 68, false},
      {Shape::kRandom, 1000, 64, 68, false}, {Shape::kAllEqual, 3000, 2, 8, false},
      {Shape::kRandom, 300000, 2, 8, true},  {Shape::kSorted, 100000, 1, 8, true},
  });
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(SortRunsTest, SortsLikeStdSortThroughRunFiles) {
  expectRowsSortLikeStdSort({
      {Shape::kRandom, 40000, 64, 68, false},   {Shape::kRandom, 40000, 64, 256, false},
      {Shape::kSorted, 20000, 5, 256, false},   {Shape::kReversed, 20000, 5, 256, false},
      {Shape::kAllEqual, 20000, 3, 256, false},
  });
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(SortRunsTest, SortsThreeHundredThousandRecordsThroughRunFiles) {
  expectRowsSortLikeStdSort({{Shape::kRandom, 300000, 3, 32, false}});
  EXPECT_TRUE(errors_.ids().empty());
}

// Two blocks of 4096-byte records hold 32 records; 40 runs are more than
// one merge holds, so they are merged in passes first.
TEST_F(SortRunsTest, MoreRunsThanOneMergeHoldsAreMergedInPasses) {
  Data d = makeData(Shape::kRandom, 40 * 32, 3, 4096, 11);
  JuSort sorter(4096);
  addKeys(sorter, d);
  julib::internal::failAllocation(3, false);  // the third block
  for (size_t i = 0; i < d.count(); ++i) ASSERT_EQ(0, sorter.addRecord(d.at(i)));
  EXPECT_EQ(1u, julib::internal::clearAllocationFault());
  EXPECT_EQ(2u, sorter.blockCount);
  EXPECT_EQ(39u, sorter.runCount);  // the 40th is still in memory
  expectSorted(d, readAll(sorter));
  EXPECT_EQ(3u, sorter.runCount);  // groups of 15 runs

  // A new key and resort: pieces of memory size, and passes again.
  ASSERT_EQ(0, sorter.addKey(JuSort::kDescending, 7, 1));
  d.keys = 4;
  ASSERT_EQ(0, sorter.resort());
  expectSorted(d, readAll(sorter));
  // A range of more records than memory holds cannot be re-sorted there.
  void* r = nullptr;
  ASSERT_EQ(0, sorter.first(&r));
  sorter.markRangeStart();
  for (int i = 0; i < 300; ++i) ASSERT_EQ(0, sorter.next(&r));
  sorter.markRangeEnd();
  EXPECT_EQ(1, sorter.resortRange(0, 1));
  const std::vector<uint16_t> ids = errors_.ids();
  EXPECT_NE(ids.end(), std::find(ids.begin(), ids.end(), 1503));
  expectSorted(d, readAll(sorter));  // reading starts over
}

// ---------------------------------------------------------------------------
// The run file.
// ---------------------------------------------------------------------------

// The run file ("ju" prefix) loses its name as soon as it is open, so it
// goes with the sorter, and with a process killed while it has runs on file.
TEST_F(SortRunsTest, RunFileIsTemporaryAndGoesWithItsHandle) {
  jutest::TempDir dir;
  const char* old = getenv("TMPDIR");
  const std::string saved = old != nullptr ? old : "";
  setenv("TMPDIR", dir.path().c_str(), 1);
  Data d = makeData(Shape::kRandom, 20000 / kScale + 16385, 2, 256, 3);
  int spilled[2];
  EXPECT_EQ(0, pipe(spilled));
  const pid_t child = fork();
  {
    JuSort sorter(256);
    addKeys(sorter, d);
    int failed = 0;
    for (size_t i = 0; i < d.count(); ++i) failed |= sorter.addRecord(d.at(i));
    if (child == 0) {
      if (failed != 0 || write(spilled[1], "s", 1) != 1) _exit(1);
      for (;;) pause();  // until killed
    }
    EXPECT_EQ(0, failed);
    EXPECT_EQ(0u, std::string(sorter.runFileName).rfind(dir.path() + "/ju", 0)) << sorter.runFileName;
    EXPECT_TRUE(dir.entries().empty());
    expectSorted(d, readAll(sorter));
    // Once runs are read, memory belongs to the merge.
    EXPECT_EQ(1, sorter.addRecord(d.at(0)));
    EXPECT_EQ(std::vector<uint16_t>{2713}, errors_.ids());
  }
  close(spilled[1]);
  char byte = 0;
  EXPECT_EQ(1, read(spilled[0], &byte, 1));
  kill(child, SIGKILL);
  EXPECT_EQ(child, waitpid(child, nullptr, 0));
  close(spilled[0]);
  EXPECT_TRUE(dir.entries().empty());
  (void)(old != nullptr ? setenv("TMPDIR", saved.c_str(), 1) : unsetenv("TMPDIR"));
}

// 16 records a block. Armed from the start: a failed 3rd to 7th block makes
// runs of 2 to 6 blocks, a failed 1st or 2nd leaves too little memory to
// sort. Armed at the record that spills 64 full blocks: the run file and
// the copy of the previous record.
TEST_F(SortRunsTest, AllocationFailuresEndInSuccessOrAPostedFailure) {
  struct Row {
    size_t records;
    size_t armAt;
    uint64_t minRuns;
  } const rows[] = {{100, 0, 8}, {1100, 1024, 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.records);
    Data d = makeData(Shape::kRandom, row.records, 2, 4096, 5);
    std::vector<uint8_t> out(d.bytes.size());
    const uint64_t runs = jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
      JuSort sorter(4096);
      addKeys(sorter, d);
      int failed = 0;
      for (size_t i = 0; i < d.count() && failed == 0; ++i) {
        if (i == row.armAt) fault.arm();
        failed = sorter.addRecord(d.at(i));
      }
      uint64_t equal = 0;
      void* r = nullptr;
      size_t fetched = 0;
      while (failed == 0 && (failed = sorter.fetchCountingEqualKeys(&r, &equal)) == 0 && r != nullptr) {
        std::memcpy(&out[fetched++ * 4096], r, 4096);  // nothing allocated while armed
      }
      fault.disarm();
      if (failed == 0) {
        expectSorted(d, std::vector<uint8_t>(out.begin(), out.begin() + fetched * 4096));
      } else {
        EXPECT_FALSE(errors_.ids().empty());
      }
    });
    EXPECT_GE(runs, row.minRuns);
  }
}

// ---------------------------------------------------------------------------
// Reading, seeking and ranges.
// ---------------------------------------------------------------------------

TEST_F(SortRunsTest, FetchCountsEqualLeadingKeys) {
  const uint8_t records[][3] = {{1, 2, 4}, {1, 2, 3}, {1, 5, 0}, {2, 0, 0}};
  JuSort sorter(3);
  for (uint64_t k = 0; k < 3; ++k) ASSERT_EQ(0, sorter.addKey(0, k, 1));
  for (const auto& r : records) ASSERT_EQ(0, sorter.addRecord(r));
  const uint64_t expected[] = {0, 2, 1, 0};
  for (uint64_t e : expected) {
    void* r = nullptr;
    uint64_t equal = 99;
    ASSERT_EQ(0, sorter.fetchCountingEqualKeys(&r, &equal));
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(e, equal);
  }
}

// Every key against std::lower_bound over even keys: the record found, the
// cursor, and the records next hands out after it.
TEST_F(SortRunsTest, SeekFindsTheFirstEqualRecordOrTheInsertionPoint) {
  for (size_t n : {size_t{1}, size_t{500}, 40000 / kScale + 16385}) {
    SCOPED_TRACE(n);
    Data d = makeData(Shape::kRandom, n, 1, 256, 9, 60);
    std::vector<uint8_t> keys;
    JuSort sorter(256);
    ASSERT_EQ(0, sorter.addKey(0, 4, 1));
    for (size_t i = 0; i < n; ++i) {
      d.bytes[i * 256 + 4] = static_cast<uint8_t>(d.bytes[i * 256 + 4] * 2);
      keys.push_back(d.at(i)[4]);
      ASSERT_EQ(0, sorter.addRecord(d.at(i)));
    }
    std::sort(keys.begin(), keys.end());
    keys.push_back(255);  // stands for the end
    std::vector<uint8_t> probe(256, 0);
    for (probe[4] = 0; probe[4] < 125; ++probe[4]) {
      SCOPED_TRACE(int{probe[4]});
      void* r = nullptr;
      ASSERT_EQ(0, sorter.seek(probe.data(), &r));
      const size_t lower = std::lower_bound(keys.begin(), keys.end() - 1, probe[4]) - keys.begin();
      const bool hit = keys[lower] == probe[4];
      ASSERT_EQ(hit, r != nullptr);
      EXPECT_EQ(lower + hit, sorter.cursor);
      for (size_t at = hit ? lower + 1 : lower; at <= lower + 1; ++at) {
        ASSERT_EQ(0, sorter.next(&r));
        EXPECT_EQ(keys[at], r != nullptr ? static_cast<uint8_t*>(r)[4] : 255);
        if (at == n) break;
      }
    }
  }
}

// Sorted by (A, B); the group of one A value is marked while reading, key C
// is added, and the range re-sorted with one leading key comes back in
// (B, C) order.
TEST_F(SortRunsTest, RangeResortOrdersAGroupByTheKeysAfterTheLeadingOnes) {
  // Few groups give parts larger than a run's buffer, many groups parts
  // inside the buffer; group 1 is the last of two.
  for (const size_t groups : {3, 2, 8, 200}) {
    const size_t n = groups == 3 ? 600 : 50000 / kScale + 16385;
    SCOPED_TRACE(groups);
    Data d = makeData(Shape::kRandom, n, 3, 256, 21, 256);
    JuSort sorter(256);
    ASSERT_EQ(0, sorter.addKey(0, 4, 1));
    ASSERT_EQ(0, sorter.addKey(0, 5, 1));
    std::vector<uint16_t> expected;  // (B, C) of group 1
    for (size_t i = 0; i < n; ++i) {
      uint8_t* p = &d.bytes[i * 256];
      p[4] = static_cast<uint8_t>(p[4] % groups);
      p[5] %= 4;
      p[6] = static_cast<uint8_t>(p[7] % 4 * 64 + p[8] % 64);
      if (p[4] == 1) expected.push_back(uint16_t(p[5] << 8 | p[6]));
      ASSERT_EQ(0, sorter.addRecord(p));
    }
    std::sort(expected.begin(), expected.end());
    void* r = nullptr;
    uint64_t equal = 0;
    while (sorter.fetch(&r) == 0 && static_cast<uint8_t*>(r)[4] != 1) {
    }
    sorter.markRangeStart();
    while (sorter.fetchCountingEqualKeys(&r, &equal) == 0 && r != nullptr && static_cast<uint8_t*>(r)[4] == 1) {
    }
    sorter.markRangeEnd();
    ASSERT_EQ(0, sorter.addKey(0, 6, 1));
    ASSERT_EQ(0, sorter.resortRange(1, 1));
    EXPECT_EQ(0u, sorter.leadingKeys);
    std::vector<uint16_t> got;
    for (int failed = sorter.rangeFirst(&r); failed == 0 && r != nullptr; failed = sorter.rangeNext(&r)) {
      got.push_back(uint16_t(static_cast<uint8_t*>(r)[5] << 8 | static_cast<uint8_t*>(r)[6]));
    }
    EXPECT_EQ(expected, got);
    EXPECT_TRUE(errors_.ids().empty());
  }
}

// Cursor 0 and 1 give an empty range, which nothing re-sorts or reads; at
// the end the range reaches the last record.
TEST_F(SortRunsTest, RangeMarksBelowTwoLeaveAnEmptyRange) {
  uint8_t records[] = {5, 4, 3, 2, 1};
  JuSort sorter(1);
  ASSERT_EQ(0, sorter.addKey(JuSort::kDescending, 0, 1));
  sorter.useArray(5, records);
  void* r = nullptr;
  for (uint64_t cursor : {0, 1}) {
    sorter.cursor = cursor;
    sorter.markRangeStart();
    sorter.markRangeEnd();
    ASSERT_EQ(0, sorter.resortRange(0, 1));
    ASSERT_EQ(0, sorter.rangeFirst(&r));
    EXPECT_EQ(nullptr, r) << cursor;
  }
  sorter.cursor = 6;
  sorter.markRangeEnd();
  EXPECT_EQ(4u, sorter.rangeEnd);
  ASSERT_EQ(0, sorter.rangeFirst(&r));
  EXPECT_EQ(&records[0], r);
}

// ---------------------------------------------------------------------------
// Refused input.
// ---------------------------------------------------------------------------

TEST_F(SortRunsTest, RefusedRecordsAndKeysFailWithTheirMessage) {
  JuSort empty(0);
  void* slot = &slot;
  EXPECT_EQ(1, empty.newRecord(&slot));
  EXPECT_EQ(nullptr, slot);
  EXPECT_EQ(1, empty.sort());

  JuSort sorter(6);
  struct Row {
    uint16_t flags;
    uint64_t offset;
    uint16_t length;
    int result;
  } const keys[] = {{0, 0, 6, 0}, {0, 6, 0, 0}, {0, 5, 2, 1}, {0, 7, 0, 1}, {0, UINT64_MAX, 2, 1},
                    {JuSort::kObject, 0, 8, 1}};
  for (const Row& row : keys) EXPECT_EQ(row.result, sorter.addKey(row.flags, row.offset, row.length)) << row.offset;
  EXPECT_EQ(2u, sorter.keyCount);

  // A caller's array: no record is added, and it is never freed.
  std::vector<uint8_t> array(12, 1);
  sorter.useArray(2, array.data());
  EXPECT_EQ(1, sorter.newRecord(&slot));
  EXPECT_EQ(1, sorter.addRecord(array.data()));
  EXPECT_EQ(2u, sorter.totalRecords);
  EXPECT_EQ((std::vector<uint16_t>{2711, 2711, 2712, 2712, 2712, 2712, 2713, 2713}), errors_.ids());
  EXPECT_EQ("Sort key at offset 5 with length 2 does not fit in a record of 6 bytes.", errors_.message(2));
}

}  // namespace
