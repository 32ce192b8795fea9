// JuSort: adding records, writing runs to the run file, completing the sort
// and reading back in order.

#include <cstdint>
#include <cstring>

#include "julib/errors.h"
#include "julib/files.h"
#include "julib/object.h"
#include "julib/sort.h"
#include "sort_merge.h"

using julib::sort::Merge;

// ---------------------------------------------------------------------------
// Adding records.
// ---------------------------------------------------------------------------

int JuSort::refuseRecords() const {
  if (recordSize == 0) {
    juPostError(kJuMsgSortRecordSizeZero);
    return 1;
  }
  // A caller's array cannot grow, and once runs are read their memory
  // belongs to the merge.
  if (callerArray_ || reading_) {
    juPostError(kJuMsgSortTakesNoRecords);
    return 1;
  }
  return 0;
}

int JuSort::newRecord(void** slot) {
  *slot = nullptr;
  if (refuseRecords() != 0) return 1;
  uint64_t index = recordsInMemory;
  if (index / recordsPerBlock >= blockCount) {
    flags |= kOwnsBlocks;
    void* block = nullptr;
    if (!(flags & kExternal) && blockCount < kMaxBlocks) block = juMallocChecked(kBlockBytes);
    if (block != nullptr) {
      blocks[blockCount++] = block;
    } else {
      // Out of memory with fewer than two blocks is posted by the failed
      // allocation: a run needs a block besides the merge state.
      if (blockCount < 2 || spill() != 0) return 1;
      index = 0;
    }
  }
  recordsInMemory = index + 1;
  ++totalRecords;
  flags &= ~kSorted;
  previousRecord = nullptr;
  *slot = record(index);
  return 0;
}

int JuSort::addRecord(const void* rec) {
  void* slot = nullptr;
  if (newRecord(&slot) != 0) return 1;
  std::memcpy(slot, rec, recordSize);
  return 0;
}

int JuSort::writeRun(uint64_t run, uint64_t count) {
  // Whole blocks: the surplus of the last one is never read.
  const uint64_t blockBytes = recordsPerBlock * recordSize;
  for (uint64_t b = 0; b * recordsPerBlock < count; ++b) {
    const uint64_t offset = (run * runLength_ + b * recordsPerBlock) * recordSize;
    if (juFileWrite(runFile, offset, blocks[b], blockBytes) != 0) return 1;
  }
  return 0;
}

// A failed spill leaves the records in memory, sorted; the next record
// tries again.
int JuSort::spill() {
  if (recordsInMemory >= 2 && groupedSort(0, recordsInMemory - 1, 0) != 0) return 1;
  if (runFile == kJuNoFile) {
    runFileName[0] = '\0';
    if (juFileOpen(runFileName, sizeof runFileName, julib::sort::kRunFileFlags, &runFile) != 0) return 1;
    runLength_ = uint64_t{blockCount} * recordsPerBlock;
  }
  if (writeRun(runCount, recordsInMemory) != 0) return 1;
  ++runCount;
  flags |= kExternal;
  recordsInMemory = 0;
  return 0;
}

void JuSort::dropRuns() {
  merge = nullptr;
  // The file has no name left to delete: it goes with its handle. A failed
  // close is posted; nothing else is left to do about it.
  if (runFile != kJuNoFile) (void)juFileClose(runFile);
  runFile = kJuNoFile;
  runFileName[0] = '\0';
  runCount = 0;
  recordsInLastRun = 0;
  runLength_ = 0;
  flags &= ~kExternal;
}

// ---------------------------------------------------------------------------
// Sorting.
// ---------------------------------------------------------------------------

int JuSort::sort() {
  if (flags & kSorted) return 0;
  if (recordSize == 0) {
    juPostError(kJuMsgSortRecordSizeZero);
    return 1;
  }
  if (recordsInMemory >= 2 && groupedSort(0, recordsInMemory - 1, 0) != 0) return 1;
  if (flags & kExternal) {
    // The records in memory become the last run; from here on memory holds
    // the merge.
    if (recordsInMemory != 0) {
      if (writeRun(runCount, recordsInMemory) != 0) return 1;
      ++runCount;
      recordsInLastRun = recordsInMemory;
      recordsInMemory = 0;
    }
    reading_ = true;
    if (Merge::start(*this) != 0) return mergeFailed();
  }
  flags |= kSorted;
  cursor = 0;
  return 0;
}

int JuSort::resort() {
  if (recordSize == 0) {
    juPostError(kJuMsgSortRecordSizeZero);
    return 1;
  }
  if (!(flags & kExternal) || !(flags & kSorted)) {
    flags &= ~kSorted;
    return sort();
  }
  flags &= ~kSorted;
  if (Merge::resortRuns(*this) != 0) return mergeFailed();
  flags |= kSorted;
  cursor = 0;
  return 0;
}

// ---------------------------------------------------------------------------
// Reading.
// ---------------------------------------------------------------------------

int JuSort::first(void** rec) {
  *rec = nullptr;
  if (!(flags & kSorted)) {
    if (sort() != 0) return 1;
  } else if ((flags & kExternal) && Merge::restart(*this) != 0) {
    return mergeFailed();
  }
  cursor = 0;
  return next(rec);
}

int JuSort::next(void** rec) {
  *rec = nullptr;
  if (!(flags & kSorted)) return first(rec);
  if (flags & kExternal) {
    if (Merge::nextRecord(*this, rec) != 0) return mergeFailed();
  } else if (cursor < totalRecords) {
    *rec = record(cursor);
  }
  // Past the end the cursor stays one beyond the last record.
  cursor = *rec != nullptr ? cursor + 1 : totalRecords + 1;
  return 0;
}

int JuSort::fetch(void** rec) { return cursor == 0 ? first(rec) : next(rec); }

int JuSort::mergeFailed() {
  // The merge state may be half changed: the next read starts it again.
  merge = nullptr;
  flags &= ~kSorted;
  return 1;
}

int JuSort::keepPrevious(const void* rec) {
  if (!(flags & kExternal)) {
    previousRecord = rec;
    return 0;
  }
  // The merge's buffers are refilled under it: keep a copy.
  if (previousCopy_ == nullptr) {
    previousCopy_ = juMallocChecked(recordSize);
    if (previousCopy_ == nullptr) return 1;
  }
  std::memcpy(previousCopy_, rec, recordSize);
  previousRecord = previousCopy_;
  return 0;
}

int JuSort::fetchCountingEqualKeys(void** rec, uint64_t* equalKeys) {
  *equalKeys = 0;
  const void* before = previousRecord;
  if (fetch(rec) != 0) return 1;
  if (*rec == nullptr) return 0;
  if (cursor > 1 && before != nullptr) *equalKeys = countEqualKeys(*rec, before, keyCount);
  return keepPrevious(*rec);
}
