// JuSort with records added one by one: runs on file and their merge, the
// reading operations, seek, range re-sorts and refused input.

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
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
  uint32_t id(const uint8_t* r) const {
    uint32_t v = 0;
    std::memcpy(&v, r, 4);
    return v;
  }
  // The expected order, as std::sort sees it.
  bool less(const uint8_t* a, const uint8_t* b) const {
    for (size_t k = 0; k < keys; ++k) {
      if (a[4 + k] != b[4 + k]) return (k % 2 == 1) ? a[4 + k] > b[4 + k] : a[4 + k] < b[4 + k];
    }
    return false;
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
  }
  for (size_t i = 0; i < n; ++i) {
    const uint32_t id = static_cast<uint32_t>(i);
    std::memcpy(&d.bytes[i * size], &id, 4);
  }
  if (shape == Shape::kAllEqual) {
    for (size_t i = 0; i < n; ++i) std::memset(&d.bytes[i * size + 4], 7, keys);
  } else if (shape != Shape::kRandom) {
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](size_t x, size_t y) { return d.less(d.at(x), d.at(y)); });
    if (shape == Shape::kReversed) std::reverse(order.begin(), order.end());
    std::vector<uint8_t> shaped;
    for (size_t i : order) shaped.insert(shaped.end(), d.at(i), d.at(i) + size);
    d.bytes.swap(shaped);
  }
  return d;
}

void addKeys(JuSort& sorter, const Data& d) {
  for (size_t k = 0; k < d.keys; ++k) {
    ASSERT_EQ(0, sorter.addKey(k % 2 == 1 ? JuSort::kDescending : 0, 4 + k, 1));
  }
}

// Checks `got` (records in read order, back to back) against std::sort: the
// keys position by position, and every record back once and whole.
void expectSorted(const Data& d, const std::vector<uint8_t>& records) {
  ASSERT_EQ(d.count() * d.size, records.size());
  const size_t n = d.count();
  auto got = [&](size_t i) { return &records[i * d.size]; };
  std::vector<const uint8_t*> expected;
  for (size_t i = 0; i < d.count(); ++i) expected.push_back(d.at(i));
  std::sort(expected.begin(), expected.end(), [&](const uint8_t* a, const uint8_t* b) { return d.less(a, b); });
  std::vector<const uint8_t*> byId(d.count(), nullptr);
  for (size_t i = 0; i < d.count(); ++i) byId[d.id(d.at(i))] = d.at(i);
  std::vector<bool> seen(d.count(), false);
  for (size_t i = 0; i < n; ++i) {
    ASSERT_EQ(0, std::memcmp(expected[i] + 4, got(i) + 4, d.keys)) << "keys at " << i;
    const uint32_t id = d.id(got(i));
    ASSERT_LT(id, n);
    ASSERT_FALSE(seen[id]) << "record " << id << " twice";
    seen[id] = true;
    ASSERT_EQ(0, std::memcmp(byId[id], got(i), d.size)) << "record " << id << " damaged";
  }
}

std::vector<uint8_t> readAll(JuSort& sorter) {
  std::vector<uint8_t> out;
  out.reserve(sorter.totalRecords * sorter.recordSize);
  void* r = nullptr;
  while (sorter.fetch(&r) == 0 && r != nullptr) {
    const auto* p = static_cast<const uint8_t*>(r);
    out.insert(out.end(), p, p + sorter.recordSize);
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
    const size_t n = row.n >= 100000 ? row.n / kScale : row.n;  // the others spill or are small
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
    EXPECT_EQ(n > JuSort::kBlockBytes / row.size * JuSort::kMaxBlocks, sorter.runCount != 0);
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
      {Shape::kAllEqual, 20000, 3, 256, false}, {Shape::kRandom, 300000, 3, 32, false},
  });
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
  ASSERT_EQ(0, sorter.addKey(0, 100, 1));
  d.keys = 3;
  ASSERT_EQ(0, sorter.resort());
  std::vector<uint8_t> again = readAll(sorter);
  expectSorted(d, again);
  for (size_t i = 4096; i < again.size(); i += 4096) {
    if (std::memcmp(&again[i + 4], &again[i - 4096 + 4], 3) == 0) {
      ASSERT_LE(again[i - 4096 + 100], again[i + 100]) << i;
    }
  }
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

TEST_F(SortRunsTest, RunFileIsTemporaryAndDeletedWithTheSorter) {
  jutest::TempDir dir;
  const char* saved = getenv("TMPDIR");
  std::string restore = saved != nullptr ? saved : "";
  setenv("TMPDIR", dir.path().c_str(), 1);
  {
    Data d = makeData(Shape::kRandom, 20000 / kScale + 16385, 2, 256, 3);
    JuSort sorter(256);
    addKeys(sorter, d);
    for (size_t i = 0; i < d.count(); ++i) ASSERT_EQ(0, sorter.addRecord(d.at(i)));
    std::vector<std::string> files = dir.entries();
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ("ju", files[0].substr(0, 2));
    expectSorted(d, readAll(sorter));
    // Once runs are read, memory belongs to the merge.
    EXPECT_EQ(1, sorter.addRecord(d.at(0)));
    EXPECT_EQ(std::vector<uint16_t>{2713}, errors_.ids());
  }
  EXPECT_TRUE(dir.entries().empty());
  if (saved != nullptr) {
    setenv("TMPDIR", restore.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

TEST_F(SortRunsTest, AllocationFailuresEndInSuccessOrAPostedFailure) {
  Data d = makeData(Shape::kRandom, 1100, 2, 4096, 5);  // 64 blocks hold 1024
  std::vector<uint8_t> out(d.bytes.size());
  const uint64_t runs = jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
    JuSort sorter(4096);
    addKeys(sorter, d);
    fault.arm();
    int failed = 0;
    for (size_t i = 0; i < d.count() && failed == 0; ++i) failed = sorter.addRecord(d.at(i));
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
  EXPECT_GT(runs, 64u);
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

// Seeks every key of 0..2*max against std::lower_bound: the record found,
// the cursor, and the record next hands out.
void expectSeeksLikeLowerBound(JuSort& sorter, const Data& d) {
  std::vector<uint8_t> keys;
  for (size_t i = 0; i < d.count(); ++i) keys.push_back(d.at(i)[4]);
  std::sort(keys.begin(), keys.end());
  std::vector<uint8_t> probe(d.size, 0);
  for (int key = 0; key <= 2 * keys.back() + 1; ++key) {
    SCOPED_TRACE(key);
    probe[4] = static_cast<uint8_t>(key);
    void* r = nullptr;
    ASSERT_EQ(0, sorter.seek(probe.data(), &r));
    const auto lower = std::lower_bound(keys.begin(), keys.end(), key) - keys.begin();
    const bool hit = lower < static_cast<long>(keys.size()) && keys[lower] == key;
    ASSERT_EQ(hit, r != nullptr);
    EXPECT_EQ(uint64_t(lower) + hit, sorter.cursor);
    if (!hit) {
      ASSERT_EQ(0, sorter.next(&r));
    }
    if (lower < static_cast<long>(keys.size())) {
      ASSERT_NE(nullptr, r);
      EXPECT_EQ(keys[lower], static_cast<uint8_t*>(r)[4]);
      ASSERT_EQ(0, sorter.next(&r));
      if (lower + 1 < static_cast<long>(keys.size())) {
        EXPECT_EQ(keys[lower + 1], static_cast<uint8_t*>(r)[4]);
      }
    } else {
      EXPECT_EQ(nullptr, r);
    }
  }
}

TEST_F(SortRunsTest, SeekFindsTheFirstEqualRecordOrTheInsertionPoint) {
  for (size_t n : {size_t{0}, size_t{3}, size_t{500}, 40000 / kScale + 16385}) {
    SCOPED_TRACE(n);
    Data d = makeData(Shape::kRandom, n, 1, 256, 9, 60);
    for (size_t i = 0; i < n; ++i) d.bytes[i * 256 + 4] = static_cast<uint8_t>(d.bytes[i * 256 + 4] * 2);  // even keys
    JuSort sorter(256);
    ASSERT_EQ(0, sorter.addKey(0, 4, 1));
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(0, sorter.addRecord(d.at(i)));
    if (n == 0) continue;
    expectSeeksLikeLowerBound(sorter, d);
  }
}

// Sorted by (A, B); the group of one A value is marked while reading, key C
// is added, and the range re-sorted with one leading key comes back in
// (B, C) order.
TEST_F(SortRunsTest, RangeResortOrdersAGroupByTheKeysAfterTheLeadingOnes) {
  struct Row {
    size_t n;
    int groups;  // values of A: few groups give parts larger than a run buffer
  };
  const Row rows[] = {{600, 3}, {50000 / kScale + 16385, 2}, {50000 / kScale + 16385, 8},
                      {50000 / kScale + 16385, 200}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.n << " records, " << row.groups << " groups");
    Data d = makeData(Shape::kRandom, row.n, 3, 256, 21, 256);
    for (size_t i = 0; i < row.n; ++i) {
      uint8_t* p = &d.bytes[i * 256];
      p[4] = static_cast<uint8_t>(p[4] % row.groups);
      p[5] %= 4;
      p[6] = static_cast<uint8_t>((p[7] % 4) * 64 + p[8] % 64);
    }
    JuSort sorter(256);
    ASSERT_EQ(0, sorter.addKey(0, 4, 1));
    ASSERT_EQ(0, sorter.addKey(0, 5, 1));
    for (size_t i = 0; i < row.n; ++i) ASSERT_EQ(0, sorter.addRecord(d.at(i)));
    void* r = nullptr;
    const uint8_t target = 1;
    do {
      ASSERT_EQ(0, sorter.fetch(&r));
    } while (static_cast<uint8_t*>(r)[4] != target);
    sorter.markRangeStart();
    uint64_t equal = 0;
    while (sorter.fetchCountingEqualKeys(&r, &equal) == 0 && r != nullptr && static_cast<uint8_t*>(r)[4] == target) {
    }
    sorter.markRangeEnd();
    ASSERT_EQ(0, sorter.addKey(0, 6, 1));
    ASSERT_EQ(0, sorter.resortRange(1, 1));
    EXPECT_EQ(0u, sorter.leadingKeys);

    std::vector<uint16_t> expected;  // (B, C) of the group
    for (size_t i = 0; i < row.n; ++i) {
      if (d.at(i)[4] == target) expected.push_back(uint16_t(d.at(i)[5] << 8 | d.at(i)[6]));
    }
    std::sort(expected.begin(), expected.end());
    std::vector<uint16_t> got;
    ASSERT_EQ(0, sorter.rangeFirst(&r));
    while (r != nullptr) {
      const auto* p = static_cast<uint8_t*>(r);
      ASSERT_EQ(target, p[4]);
      got.push_back(uint16_t(p[5] << 8 | p[6]));
      ASSERT_EQ(0, sorter.rangeNext(&r));
    }
    EXPECT_EQ(expected, got);
    EXPECT_TRUE(errors_.ids().empty());
  }
}

TEST_F(SortRunsTest, RangeMarksBelowTwoLeaveAnEmptyRange) {
  uint8_t records[] = {5, 4, 3, 2, 1};
  JuSort sorter(1);
  ASSERT_EQ(0, sorter.addKey(JuSort::kDescending, 0, 1));
  sorter.useArray(5, records);
  void* r = nullptr;
  for (int fetched : {0, 1}) {
    SCOPED_TRACE(fetched);
    sorter.cursor = 0;
    if (fetched != 0) {
      ASSERT_EQ(0, sorter.fetch(&r));
    }
    sorter.markRangeStart();
    sorter.markRangeEnd();
    EXPECT_EQ(0u, sorter.rangeStart);
    ASSERT_EQ(0, sorter.resortRange(0, 1));
    ASSERT_EQ(0, sorter.rangeFirst(&r));
    EXPECT_EQ(nullptr, r);
  }
  // The end reached: the range runs to the last record.
  while (sorter.fetch(&r) == 0 && r != nullptr) {
  }
  sorter.markRangeEnd();
  EXPECT_EQ(4u, sorter.rangeEnd);
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
  };
  const Row keys[] = {{0, 0, 6, 0}, {0, 6, 0, 0}, {0, 5, 2, 1}, {0, 7, 0, 1}, {0, UINT64_MAX, 2, 1},
                      {JuSort::kObject, 0, 8, 1}};
  for (const Row& row : keys) {
    SCOPED_TRACE(::testing::Message() << row.offset << "+" << row.length);
    EXPECT_EQ(row.result, sorter.addKey(row.flags, row.offset, row.length));
  }
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
