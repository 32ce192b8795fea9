// JuSort: fixed-size records sorted in memory by up to 64 keys, and the
// key comparators.
#ifndef JULIB_SORT_H
#define JULIB_SORT_H

#include <cstddef>
#include <cstdint>

#include "julib/object.h"

// Compare function of a caller key: (context, key of record a, key of b).
using JuSortCompare = int16_t (*)(void* context, const void* a, const void* b);

class JuSort : public JuObject {
 public:
  static constexpr size_t kMaxKeys = 64;
  static constexpr size_t kMaxBlocks = 64;
  static constexpr size_t kBlockBytes = 65536;
  static constexpr size_t kMaxPendingRanges = 200;

  // Key flags.
  static constexpr uint16_t kDescending = 1;
  static constexpr uint16_t kText = 2;      // juCompareStringA of the bytes
  static constexpr uint16_t kFunction = 4;  // the key's compare function
  static constexpr uint16_t kObject = 8;    // record starts with a JuObject*

  // Sorter flags.
  static constexpr uint32_t kOwnsBlocks = 1;
  static constexpr uint32_t kExternal = 2;
  static constexpr uint32_t kSorted = 4;
  static constexpr uint32_t kKeysAdded = 8;

  struct Key {
    uint16_t flags;
    uint64_t offset;
    uint16_t length;
    JuSortCompare compare;
    void* context;
  };

  // recordSize >= 1 (0 is taken as 1); records per block = 65536 / recordSize.
  explicit JuSort(uint16_t recordSize);
  ~JuSort() override;

  // records per block = 65536 / size (65535 for size 1).
  void setRecordSize(uint16_t recordSize);
  // 0, or 1 after posting 2710 "Too many sort keys." when 64 keys exist.
  [[nodiscard]] int addKey(uint16_t flags, uint64_t offset, uint16_t length);
  // A key of flag 4 with its compare function and context (a flag-4 key
  // without a function compares its bytes).
  [[nodiscard]] int addKey(uint16_t flags, uint64_t offset, uint16_t length, JuSortCompare compare, void* context);
  void setLeadingKeys(uint64_t count);
  // Takes a caller's contiguous array of `count` records as the only block;
  // the sorter does not own it.
  void useArray(uint64_t count, void* records);
  // Sorts the records in memory once (nothing when already sorted); sets
  // sorted and the cursor to 0. With leading keys, each run of records equal
  // on them is sorted by the keys after. 0, or 1 (2709 posted when more than
  // 200 ranges are pending, which the larger-part-waits order never reaches).
  // Not stable.
  [[nodiscard]] int sort();

  // Order of two records over the keys from the leading-key index on: -1,
  // 0 or 1. A key reaching past the record compares the bytes inside it.
  int16_t compareRecords(const void* a, const void* b) const;
  // How many of the first n keys two records share.
  uint64_t countEqualKeys(const void* a, const void* b, uint64_t n) const;

  uint64_t recordsInMemory = 0;
  uint64_t cursor = 0;
  uint64_t totalRecords = 0;
  uint64_t keyCount = 0;
  uint64_t leadingKeys = 0;
  Key keys[kMaxKeys] = {};
  uint16_t recordSize;
  uint16_t blockCount = 0;
  uint64_t recordsPerBlock;
  uint32_t flags = 0;
  void* blocks[kMaxBlocks] = {};

 private:
  void* record(uint64_t index) const;
  int16_t compareKey(const Key& key, const void* a, const void* b) const;
  // compareRecords of the records at two indexes.
  int16_t compareAt(uint64_t i, uint64_t j) const;
  void swapRecords(uint64_t i, uint64_t j);
  // Compare-exchange: swaps i and j when record i sorts after record j.
  void order(uint64_t i, uint64_t j);
  int quicksort(uint64_t lo, uint64_t hi);
  // The fixed compare-exchange sequences for two to four records.
  void sortSmall(uint64_t lo, uint64_t hi);
  // Places the pivot (median of three, or of five from 152 records on) and
  // partitions lo..hi around it; returns the pivot's final index.
  uint64_t partition(uint64_t lo, uint64_t hi);
  uint64_t medianOfThree(uint64_t lo, uint64_t hi);
  uint64_t medianOfFive(uint64_t lo, uint64_t hi);
  void freeOwnedBlocks();
  // Quicksorts lo..hi, or each run of records equal on the leading keys.
  int groupedSort(uint64_t lo, uint64_t hi, int whole);
};

// Comparators: -1, 0, 1.
// Counted texts compared as NUL-terminated copies (lstrcmpA / lstrcmpiA);
// copies of 512 bytes and more go to the heap, and when that fails (out of
// memory reported) the texts count as equal.
//   juCompareStringA("abcX", 3, "abcY", 3) -> 0
int juCompareStringA(const char* a, size_t na, const char* b, size_t nb);
int juCompareStringIA(const char* a, size_t na, const char* b, size_t nb);
int juCompareDoubleBytes(const void* a, const void* b);
int juCompareBytes(const void* a, const void* b, size_t n);
int juCompareBlankPadded(const char* a, const char* b);
int juStrNCompareSign(const char* a, const char* b, size_t n);

#endif  // JULIB_SORT_H
