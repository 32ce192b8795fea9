// JuSort: keys, record comparison and the in-memory quicksort.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/object.h"
#include "julib/sort.h"

namespace {

// Fewer records than this (d = hi - lo below 151) take a median of three.
constexpr uint64_t kMedianOfFiveFrom = 151;

int16_t sign(int value) { return static_cast<int16_t>((value > 0) - (value < 0)); }

uint64_t recordsPerBlockFor(uint16_t recordSize) { return JuSort::kBlockBytes / recordSize; }

}  // namespace

// ---------------------------------------------------------------------------
// Construction and set-up.
// ---------------------------------------------------------------------------

// A record size of 0 is kept: such a sorter refuses records (2711) instead
// of dividing by it.
JuSort::JuSort(uint16_t size) : recordSize(size), recordsPerBlock(size != 0 ? recordsPerBlockFor(size) : 0) {}

JuSort::~JuSort() {
  dropRuns();
  freeOwnedBlocks();
  juFree(previousCopy_);
}

void JuSort::freeOwnedBlocks() {
  // A caller's array is never ours to free.
  if ((flags & kOwnsBlocks) && !callerArray_) {
    for (uint16_t i = 0; i < blockCount && i < kMaxBlocks; ++i) juFree(blocks[i]);
  }
  for (void*& block : blocks) block = nullptr;
  blockCount = 0;
  flags &= ~kOwnsBlocks;
}

void JuSort::setRecordSize(uint16_t size) {
  recordSize = size;
  if (size == 0) {
    // Nothing can be read until a real size is set.
    recordsPerBlock = 0;
    flags &= ~kSorted;
  } else {
    recordsPerBlock = size == 1 ? 65535 : recordsPerBlockFor(size);
  }
}

int JuSort::addKey(uint16_t keyFlags, uint64_t offset, uint16_t length) {
  return addKey(keyFlags, offset, length, nullptr, nullptr);
}

int JuSort::addKey(uint16_t keyFlags, uint64_t offset, uint16_t length, JuSortCompare compare, void* context) {
  if (keyCount >= kMaxKeys) {
    juPostError(kJuMsgTooManySortKeys);
    return 1;
  }
  // An object key reads a pointer at the record's start; the others read
  // their bytes, which must lie inside the record.
  const bool fits = (keyFlags & kObject) ? recordSize >= sizeof(JuObject*)
                                          : offset <= recordSize && length <= recordSize - offset;
  if (!fits) {
    juPostError(kJuMsgSortKeyOutsideRecord)
        ->addParam(offset)
        ->addParam(uint64_t{length})
        ->addParam(uint64_t{recordSize});
    return 1;
  }
  keys[keyCount++] = Key{keyFlags, offset, length, compare, context};
  flags |= kKeysAdded;
  return 0;
}

void JuSort::setLeadingKeys(uint64_t count) { leadingKeys = count; }

void JuSort::useArray(uint64_t count, void* records) {
  dropRuns();
  freeOwnedBlocks();
  callerArray_ = true;
  reading_ = false;
  blocks[0] = records;
  blockCount = 1;
  // One block of `count` records; an empty array still divides by 1.
  recordsPerBlock = count != 0 ? count : 1;
  recordsInMemory = count;
  totalRecords = count;
  cursor = 0;
  previousRecord = nullptr;
  rangeEmpty_ = true;
  flags &= ~kSorted;
}

// ---------------------------------------------------------------------------
// Comparing records.
// ---------------------------------------------------------------------------

void* JuSort::record(uint64_t index) const {
  // Block 0 (all of a caller's array) without the division: the sort's
  // innermost step.
  if (index < recordsPerBlock) return static_cast<uint8_t*>(blocks[0]) + index * recordSize;
  auto* block = static_cast<uint8_t*>(blocks[index / recordsPerBlock]);
  return block + (index % recordsPerBlock) * recordSize;
}

// One key of two records: -1, 0 or 1, before the descending flag. A key
// that reaches past the record compares only the bytes inside it.
int16_t JuSort::compareKey(const Key& key, const void* a, const void* b) const {
  if (key.flags & kObject) {
    if (recordSize < sizeof(JuObject*)) return 0;
    JuObject* objectA = nullptr;
    JuObject* objectB = nullptr;
    std::memcpy(&objectA, a, sizeof objectA);
    std::memcpy(&objectB, b, sizeof objectB);
    // Null pointers sort first, as in JuSortedArray.
    if (objectA == nullptr || objectB == nullptr) return sign((objectA != nullptr) - (objectB != nullptr));
    return sign(objectA->compare(*objectB));
  }
  if (key.offset >= recordSize) return 0;
  const auto* keyA = static_cast<const uint8_t*>(a) + key.offset;
  const auto* keyB = static_cast<const uint8_t*>(b) + key.offset;
  size_t length = std::min<uint64_t>(key.length, recordSize - key.offset);
  if (key.flags & kText) {
    return sign(juCompareStringA(reinterpret_cast<const char*>(keyA), length,
                                 reinterpret_cast<const char*>(keyB), length));
  }
  // A caller key without a function compares its bytes.
  if ((key.flags & kFunction) && key.compare != nullptr) return sign(key.compare(key.context, keyA, keyB));
  // Short keys, the common case, without a call.
  if (length <= 8) {
    for (size_t i = 0; i < length; ++i) {
      if (keyA[i] != keyB[i]) return keyA[i] < keyB[i] ? -1 : 1;
    }
    return 0;
  }
  return sign(juMemCompare(keyA, keyB, length));
}

int16_t JuSort::compareRecords(const void* a, const void* b) const { return compareFrom(a, b, leadingKeys); }

int16_t JuSort::compareFrom(const void* a, const void* b, uint64_t firstKey) const {
  for (uint64_t k = firstKey; k < keyCount; ++k) {
    int16_t result = compareKey(keys[k], a, b);
    if (result != 0) return (keys[k].flags & kDescending) ? static_cast<int16_t>(-result) : result;
  }
  return 0;
}

uint64_t JuSort::countEqualKeys(const void* a, const void* b, uint64_t n) const {
  n = std::min(n, keyCount);
  for (uint64_t k = 0; k < n; ++k) {
    if (compareKey(keys[k], a, b) != 0) return k;
  }
  return n;
}

int16_t JuSort::compareAt(uint64_t i, uint64_t j) const { return compareRecords(record(i), record(j)); }

void JuSort::swapRecords(uint64_t i, uint64_t j) {
  if (i != j) juMemSwap(record(i), recordSize, record(j), recordSize);
}

void JuSort::order(uint64_t i, uint64_t j) {
  if (compareAt(i, j) > 0) swapRecords(i, j);
}

// ---------------------------------------------------------------------------
// Quicksort.
// ---------------------------------------------------------------------------

int JuSort::groupedSort(uint64_t lo, uint64_t hi, int whole) {
  if (hi <= lo) return 0;
  if (leadingKeys == 0 || whole) return quicksort(lo, hi);
  // Runs of records equal on the leading keys, each sorted by the keys after
  // them (compareRecords starts at the leading-key index).
  uint64_t leading = std::min(leadingKeys, keyCount);
  uint64_t first = lo;
  while (first < hi) {
    uint64_t last = first;
    while (last < hi && countEqualKeys(record(first), record(last + 1), leading) == leading) ++last;
    if (last > first && quicksort(first, last) != 0) return 1;
    first = last + 1;
  }
  return 0;
}

int JuSort::quicksort(uint64_t lo, uint64_t hi) {
  struct Range {
    uint64_t lo;
    uint64_t hi;
  };
  Range pending[kMaxPendingRanges];
  size_t depth = 0;
  for (;;) {
    if (hi - lo < 4) {
      sortSmall(lo, hi);
    } else {
      uint64_t pivot = partition(lo, hi);
      // Both parts hold at least one record. The larger waits and the smaller
      // goes on, so each waiting range at least halves the work left and at
      // most log2(records) ranges wait; the order of the parts does not
      // change the result.
      Range left{lo, pivot - 1};
      Range right{pivot + 1, hi};
      bool leftLarger = pivot - lo >= hi - pivot;
      const Range& larger = leftLarger ? left : right;
      const Range& smaller = leftLarger ? right : left;
      if (larger.hi > larger.lo) {
        if (depth == kMaxPendingRanges) {
          juPostError(kJuMsgQuicksortOverflow);
          return 1;
        }
        pending[depth++] = larger;
      }
      if (smaller.hi > smaller.lo) {
        lo = smaller.lo;
        hi = smaller.hi;
        continue;
      }
    }
    if (depth == 0) return 0;
    --depth;
    lo = pending[depth].lo;
    hi = pending[depth].hi;
  }
}

void JuSort::sortSmall(uint64_t lo, uint64_t hi) {
  switch (hi - lo) {
    case 1:
      order(lo, hi);
      break;
    case 2:
      order(lo, lo + 1);
      if (compareAt(lo + 1, lo + 2) > 0) {
        swapRecords(lo + 1, lo + 2);
        order(lo, lo + 1);
      }
      break;
    case 3:
      order(lo, lo + 1);
      order(lo + 2, lo + 3);
      if (compareAt(lo + 1, lo + 2) > 0) {
        if (compareAt(lo, lo + 3) < 0) {
          // The pairs overlap: smallest to 0, largest to 3, then the middle.
          order(lo, lo + 2);
          order(lo + 1, lo + 3);
          swapRecords(lo + 1, lo + 2);
        } else {
          // The second pair lies wholly below the first.
          swapRecords(lo, lo + 2);
          swapRecords(lo + 1, lo + 3);
        }
      }
      break;
    default:
      break;
  }
}

uint64_t JuSort::partition(uint64_t lo, uint64_t hi) {
  // The records below i and from the pivot up are already on their side.
  uint64_t pivot = 0;
  uint64_t i = 0;
  if (hi - lo < kMedianOfFiveFrom) {
    pivot = medianOfThree(lo, hi);
    i = lo + 1;
  } else {
    pivot = medianOfFive(lo, hi);
    i = lo + 2;
  }
  uint64_t j = pivot;
  for (;;) {
    while (i < j && compareAt(i, pivot) < 0) ++i;
    do {
      --j;
    } while (j > i && compareAt(j, pivot) > 0);
    if (j <= i) break;
    swapRecords(i, j);
    ++i;
  }
  swapRecords(i, pivot);
  return i;
}

// lo <= middle <= hi, then the median to hi - 1.
uint64_t JuSort::medianOfThree(uint64_t lo, uint64_t hi) {
  uint64_t middle = lo + (hi - lo) / 2;
  order(lo, hi);
  if (compareAt(middle, hi) > 0) {
    swapRecords(middle, hi);
  } else {
    order(lo, middle);
  }
  swapRecords(middle, hi - 1);
  return hi - 1;
}

// Samples at lo, lo + 1, the middle, hi - 1 and hi; the median goes to
// hi - 2 with two records no larger below and two no smaller above.
uint64_t JuSort::medianOfFive(uint64_t lo, uint64_t hi) {
  uint64_t d = hi - lo;
  uint64_t middle = lo + d / 2;
  swapRecords(lo + d / 4, lo + 1);
  swapRecords(lo + d / 4 + d / 2, hi - 1);
  order(lo, hi - 1);
  order(lo + 1, hi);
  // a: the larger of the two low samples; c: the smaller of the two high.
  uint64_t a = 0;
  uint64_t c = 0;
  if (compareAt(lo + 1, hi - 1) > 0) {
    swapRecords(lo + 1, hi - 1);
    a = lo + 1;
    c = hi - 1;
  } else if (compareAt(lo, hi) <= 0) {
    a = compareAt(lo, lo + 1) > 0 ? lo : lo + 1;
    c = compareAt(hi - 1, hi) < 0 ? hi - 1 : hi;
  } else {
    swapRecords(lo, hi);
    a = lo;
    c = hi;
  }
  if (compareAt(a, middle) > 0) {
    swapRecords(a, middle);
  } else {
    order(middle, c);
  }
  swapRecords(middle, hi - 2);
  return hi - 2;
}
