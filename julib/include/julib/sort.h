// JuSort: fixed-size records sorted by up to 64 keys, in memory or through
// runs on a temporary file, and the key comparators.
#ifndef JULIB_SORT_H
#define JULIB_SORT_H

#include <cstddef>
#include <cstdint>

#include "julib/files.h"
#include "julib/object.h"

// Compare function of a caller key: (context, key of record a, key of b).
using JuSortCompare = int16_t (*)(void* context, const void* a, const void* b);

namespace julib::sort {
class Merge;
struct MergeState;
}

// Records go in one at a time (newRecord/addRecord) into blocks of 64 KB, or
// a caller's array is taken whole (useArray). When 64 blocks are full, or a
// block cannot be allocated, memory is sorted and written as a run to a
// temporary file ("ju" prefix, its name removed as soon as it is open, so it
// goes when closed or when the process ends however it ends), and reading
// merges the runs. Reading:
// first/next/fetch, seek, and the range operations.
//
//   JuSort sorter(sizeof(Row));
//   sorter.addKey(0, offsetof(Row, id), 4);       // bytes, ascending
//   for (const Row& r : rows) sorter.addRecord(&r);
//   void* r = nullptr;
//   while (sorter.fetch(&r) == 0 && r != nullptr) use(r);
//
// Operations that can fail return 0 or 1 with the reason posted on the
// thread's error list. A record handed out stays valid until the next read.
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

  // records per block = 65536 / recordSize. A size of 0 makes a sorter that
  // takes no records: its operations post 2711 and fail.
  explicit JuSort(uint16_t recordSize);
  // Closes and deletes the run file, frees the owned blocks (never a caller's
  // array) and the copy of the previous record.
  ~JuSort() override;

  // records per block = 65536 / size (65535 for size 1).
  void setRecordSize(uint16_t recordSize);
  // Appends a key. 0; or 1 after posting 2710 "Too many sort keys." when 64
  // keys exist, or 2712 when the key does not lie inside the record (an
  // object key needs a record of 8 bytes or more).
  //   JuSort s(8); s.addKey(0, 4, 4) -> 0; s.addKey(0, 6, 4) -> 1 (2712)
  [[nodiscard]] int addKey(uint16_t flags, uint64_t offset, uint16_t length);
  // A key of flag 4 with its compare function and context (a flag-4 key
  // without a function compares its bytes).
  [[nodiscard]] int addKey(uint16_t flags, uint64_t offset, uint16_t length, JuSortCompare compare, void* context);
  void setLeadingKeys(uint64_t count);

  // ---- Adding records.
  // Reserves the next record slot; the caller fills its recordSize bytes.
  // The slot stays valid until the next newRecord or read. May write a run
  // to the temporary file. 1 when memory holds fewer than two blocks (out of
  // memory posted), when the run file fails (the file layer's message), with
  // 2713 after useArray or once the runs on file are being read, and with
  // 2711 for record size 0.
  [[nodiscard]] int newRecord(void** slot);
  // newRecord, then copies recordSize bytes from `record`.
  [[nodiscard]] int addRecord(const void* record);
  // Takes a caller's contiguous array of `count` records as the only block;
  // the sorter does not own it and never frees it. Records added before are
  // dropped.
  void useArray(uint64_t count, void* records);

  // ---- Sorting.
  // Sorts once (nothing when already sorted); sets sorted and the cursor to
  // 0. In memory with leading keys, each run of records equal on them is
  // sorted by the keys after. With runs on file, the records in memory
  // become the last run and the merge starts (more runs than the merge can
  // hold are first merged in passes into longer runs). 0, or 1 (2709 when
  // more than 200 ranges are pending, which the larger-part-waits order
  // never reaches; a file error; 1503 when memory cannot hold a record of
  // each run). Not stable.
  [[nodiscard]] int sort();
  // Sorts again after a change of keys; with runs on file each run is
  // sorted again and the merge restarts. Cursor 0.
  [[nodiscard]] int resort();

  // ---- Reading in sorted order. *record is null at the end (result 0).
  // The first record (sorting first when needed, else rewinding); cursor 1.
  [[nodiscard]] int first(void** record);
  // The next record; cursor + 1 (it stops at total + 1, "at the end").
  [[nodiscard]] int next(void** record);
  // first on the first call (cursor 0), next after.
  [[nodiscard]] int fetch(void** record);
  // fetch, and in *equalKeys how many leading keys (of all) the record
  // shares with the one fetched before it (0 for the first record); the
  // record becomes the previous record.
  //   keys (a, b, c): fetched (1,2,3) then (1,2,4) -> *equalKeys = 2
  [[nodiscard]] int fetchCountingEqualKeys(void** record, uint64_t* equalKeys);
  // The first record whose keys all equal those of `keyRecord` (a record of
  // recordSize bytes), the cursor behind it; null when there is none, the
  // cursor then at the position where it would stand, so that next returns
  // the first greater record.
  [[nodiscard]] int seek(const void* keyRecord, void** record);

  // ---- Ranges of records, in sorted positions.
  // range start = cursor - 1 (the record fetched last; 0 before any).
  void markRangeStart();
  // range end = cursor - 2 (the record before the one fetched last), or
  // total - 1 when the cursor is at the end. With a cursor below 2 the range
  // is empty.
  void markRangeEnd();
  // Re-sorts the marked range: each group of records equal on the first
  // `leadingKeyCount` keys (or the whole range with `whole`, and always with
  // runs on file, where each run's part is sorted whole) by the keys after
  // them. The leading-key count is 0 afterwards. An empty range is left
  // alone. 1 on a file error, or 1503 when a run's part does not fit in
  // memory.
  [[nodiscard]] int resortRange(uint64_t leadingKeyCount, int whole);
  // The record at range start (null for an empty range); cursor = range
  // start + 1; it becomes the previous record.
  [[nodiscard]] int rangeFirst(void** record);
  // The next record while the cursor has not passed range end, else null.
  [[nodiscard]] int rangeNext(void** record);

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
  uint64_t runCount = 0;
  uint64_t recordsInLastRun = 0;
  JuFileHandle runFile = kJuNoFile;
  char runFileName[kJuPathChars] = {};  // the name it was made with, gone since
  uint16_t recordSize;
  uint16_t blockCount = 0;
  uint64_t recordsPerBlock;
  uint32_t flags = 0;
  julib::sort::MergeState* merge = nullptr;  // at the start of block 0 while runs are read
  const void* previousRecord = nullptr;
  uint64_t rangeStart = 0;
  uint64_t rangeEnd = 0;
  void* blocks[kMaxBlocks] = {};

 private:
  friend class julib::sort::Merge;

  void* record(uint64_t index) const;
  int16_t compareKey(const Key& key, const void* a, const void* b) const;
  // Record order over the keys from index `firstKey` on.
  int16_t compareFrom(const void* a, const void* b, uint64_t firstKey) const;
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

  // Records go nowhere: record size 0, a caller's array, or runs being read.
  int refuseRecords() const;
  // Sorts memory and writes it as the next run (the first spill creates the
  // run file); the blocks are free again afterwards.
  int spill();
  // Whole blocks holding `count` records from record 0, written as run
  // `run` of the file.
  int writeRun(uint64_t run, uint64_t count);
  // Closes and deletes the run file and forgets the runs and the merge.
  void dropRuns();
  // Keeps `rec` as the previous record (a copy once runs are on file).
  int keepPrevious(const void* rec);
  int seekInMemory(const void* keyRecord, void** rec);
  // After a failed step of the merge: the next read starts it over. 1.
  int mergeFailed();

  // Records per run on file: the records memory holds, more after passes.
  uint64_t runLength_ = 0;
  bool callerArray_ = false;
  // The merge reads its runs (sorted in external mode): no more records.
  bool reading_ = false;
  bool rangeEmpty_ = true;
  void* previousCopy_ = nullptr;
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
