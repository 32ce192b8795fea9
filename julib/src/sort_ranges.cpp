// JuSort: seeking records by their keys, and marking, re-sorting and
// reading ranges of sorted records, in memory and over the runs on file.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "julib/errors.h"
#include "julib/files.h"
#include "julib/object.h"
#include "julib/sort.h"
#include "sort_merge.h"

using julib::sort::Merge;
using julib::sort::MergeState;
using julib::sort::RunDescriptor;

// ---------------------------------------------------------------------------
// Seeking.
// ---------------------------------------------------------------------------

int JuSort::seek(const void* keyRecord, void** rec) {
  *rec = nullptr;
  if (!(flags & kSorted) && sort() != 0) return 1;
  if (flags & kExternal) return Merge::seek(*this, keyRecord, rec) != 0 ? mergeFailed() : 0;
  return seekInMemory(keyRecord, rec);
}

// The first record not less than the key, by all keys.
int JuSort::seekInMemory(const void* keyRecord, void** rec) {
  uint64_t lo = 0;
  uint64_t hi = totalRecords;
  while (lo < hi) {
    const uint64_t middle = lo + (hi - lo) / 2;
    if (compareFrom(record(middle), keyRecord, 0) < 0) {
      lo = middle + 1;
    } else {
      hi = middle;
    }
  }
  cursor = lo;
  if (lo == totalRecords || compareFrom(record(lo), keyRecord, 0) != 0) return 0;
  *rec = record(lo);
  cursor = lo + 1;
  return keepPrevious(*rec);
}

// Each run is searched on file a record at a time; its head goes to its
// first record not less than the key, and the cursor counts the records
// before the heads.
int Merge::seek(JuSort& s, const void* keyRecord, void** rec) {
  void* scratch = juMallocChecked(s.recordSize);
  if (scratch == nullptr) return 1;
  MergeState& state = *s.merge;
  RunDescriptor* run = state.runs();
  uint64_t position = 0;
  bool found = false;
  int failed = 0;
  for (uint64_t i = 0; i < state.runCount && failed == 0; ++i) {
    RunDescriptor& r = run[i];
    uint64_t lo = r.first;
    uint64_t hi = r.last + 1;
    while (lo < hi && failed == 0) {
      const uint64_t middle = lo + (hi - lo) / 2;
      failed = readExactly(s.runFile, middle * s.recordSize, scratch, s.recordSize);
      if (failed != 0) break;
      if (s.compareFrom(scratch, keyRecord, 0) < 0) {
        lo = middle + 1;
      } else {
        hi = middle;
      }
    }
    if (failed == 0 && lo <= r.last) {
      failed = readExactly(s.runFile, lo * s.recordSize, scratch, s.recordSize);
      found |= failed == 0 && s.compareFrom(scratch, keyRecord, 0) == 0;
    }
    r.next = lo;
    r.bufferIndex = julib::sort::kNotBuffered;
    position += lo - r.first;
  }
  juFree(scratch);
  state.activeRuns = state.runCount;
  if (failed != 0 || orderRuns(s) != 0) return 1;
  s.cursor = position;
  if (!found) {
    // The first greater record is what next hands out.
    state.headPending = 1;
    return 0;
  }
  state.headPending = 0;
  *rec = head(s, run[0]);
  ++s.cursor;
  return s.keepPrevious(*rec);
}

// ---------------------------------------------------------------------------
// Range marks.
// ---------------------------------------------------------------------------

void JuSort::markRangeStart() {
  rangeStart = cursor != 0 ? cursor - 1 : 0;
  if ((flags & kExternal) && (flags & kSorted)) Merge::markStart(*this);
}

void JuSort::markRangeEnd() {
  rangeEmpty_ = false;
  if (totalRecords != 0 && cursor > totalRecords) {
    rangeEnd = totalRecords - 1;
  } else if (cursor >= 2) {
    rangeEnd = cursor - 2;
  } else {
    // Nothing was fetched before the record fetched last.
    rangeEmpty_ = true;
  }
  if (rangeEnd < rangeStart) rangeEmpty_ = true;
  if ((flags & kExternal) && (flags & kSorted)) Merge::markEnd(*this);
}

// Every run's head: the first run's is the record fetched last.
void Merge::markStart(JuSort& s) {
  MergeState& state = *s.merge;
  RunDescriptor* run = state.runs();
  for (uint64_t i = 0; i < state.runCount; ++i) run[i].rangeStartMark = run[i].next;
}

// The heads again: each run gave the records before its head, and the first
// run's head is the record that ended the range.
void Merge::markEnd(JuSort& s) {
  MergeState& state = *s.merge;
  RunDescriptor* run = state.runs();
  for (uint64_t i = 0; i < state.runCount; ++i) {
    run[i].rangeEndMark = s.rangeEmpty_ ? run[i].rangeStartMark : std::max(run[i].next, run[i].rangeStartMark);
  }
}

// ---------------------------------------------------------------------------
// Re-sorting a range.
// ---------------------------------------------------------------------------

int JuSort::resortRange(uint64_t leadingKeyCount, int whole) {
  int failed = 0;
  if (!rangeEmpty_ && rangeEnd < totalRecords) {
    leadingKeys = leadingKeyCount;
    if (flags & kExternal) {
      // Marks are taken from the runs only while they are read.
      if ((flags & kSorted) && Merge::resortRange(*this) != 0) failed = mergeFailed();
    } else {
      failed = groupedSort(rangeStart, rangeEnd, whole);
    }
  }
  leadingKeys = 0;
  return failed;
}

// Each run's part is sorted whole: in the run's buffer when it lies there
// or fits there, else in all of memory with the state parked on file.
int Merge::resortRange(JuSort& s) {
  const uint64_t bytes = sizeof(MergeState) + uint64_t{s.merge->runCount} * sizeof(RunDescriptor);
  const uint64_t parkAt = s.totalRecords * s.recordSize;
  const uint64_t memory = uint64_t{s.blockCount} * s.recordsPerBlock;
  for (uint64_t i = 0; i < s.merge->runCount; ++i) {
    MergeState& state = *s.merge;
    RunDescriptor& r = state.runs()[i];
    const uint64_t from = r.rangeStartMark;
    const uint64_t count = r.rangeEndMark - from;
    if (count < 2) continue;
    uint64_t at = 0;  // memory record of the part
    if (r.bufferIndex >= 0 && from >= r.bufferedFirst &&
        from + count <= r.bufferedFirst + std::min(state.bufferRecords, r.last - r.bufferedFirst + 1)) {
      at = r.bufferStart + (from - r.bufferedFirst);
    } else if (count <= state.bufferRecords) {
      if (r.bufferIndex >= 0) r.bufferIndex = julib::sort::kNotBuffered;
      at = r.bufferStart;
      if (readRecords(s, s.runFile, from, at, count) != 0) return 1;
    } else {
      if (count > memory) {
        juPostError(kJuMsgNotEnoughMemory);
        return 1;
      }
      // The heads are read again from their positions afterwards.
      RunDescriptor* run = state.runs();
      for (uint64_t k = 0; k < state.runCount; ++k) {
        if (run[k].bufferIndex >= 0) run[k].bufferIndex = julib::sort::kNotBuffered;
      }
      if (juFileWrite(s.runFile, parkAt, s.blocks[0], bytes) != 0) return 1;
      s.merge = nullptr;
      const int failed = readRecords(s, s.runFile, from, 0, count) != 0 || s.quicksort(0, count - 1) != 0 ||
                         writeRecords(s, s.runFile, from, 0, count) != 0;
      if (readExactly(s.runFile, parkAt, s.blocks[0], bytes) != 0 || failed) return 1;
      s.merge = static_cast<MergeState*>(s.blocks[0]);
      continue;
    }
    if (s.quicksort(at, at + count - 1) != 0 || writeRecords(s, s.runFile, from, at, count) != 0) return 1;
  }
  // Heads whose buffers were taken are read again.
  MergeState& state = *s.merge;
  for (uint64_t i = 0; i < state.activeRuns; ++i) {
    void* rec = nullptr;
    if (loadHead(s, state.runs()[i], &rec) != 0) return 1;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Reading a range.
// ---------------------------------------------------------------------------

int JuSort::rangeFirst(void** rec) {
  *rec = nullptr;
  if (rangeEmpty_ || rangeStart >= totalRecords) return 0;
  if (flags & kExternal) {
    if (!(flags & kSorted)) return 0;
    if (Merge::rangeFirst(*this, rec) != 0) return mergeFailed();
  } else {
    *rec = record(rangeStart);
  }
  cursor = rangeStart + 1;
  return *rec != nullptr ? keepPrevious(*rec) : 0;
}

int JuSort::rangeNext(void** rec) {
  *rec = nullptr;
  if (rangeEmpty_ || cursor > rangeEnd) return 0;
  return next(rec);
}

// Every run back at its range start mark, inside its buffer when the mark
// lies there.
int Merge::rangeFirst(JuSort& s, void** rec) {
  MergeState& state = *s.merge;
  RunDescriptor* run = state.runs();
  for (uint64_t i = 0; i < state.runCount; ++i) {
    RunDescriptor& r = run[i];
    const uint64_t mark = r.rangeStartMark;
    const bool buffered = r.bufferIndex >= 0 && mark >= r.bufferedFirst && mark <= r.last &&
                          mark - r.bufferedFirst < state.bufferRecords;
    r.bufferIndex = buffered ? static_cast<int64_t>(mark - r.bufferedFirst) : julib::sort::kNotBuffered;
    r.next = mark;
  }
  state.activeRuns = state.runCount;
  if (orderRuns(s) != 0) return 1;
  state.headPending = 0;
  *rec = state.activeRuns != 0 ? head(s, run[0]) : nullptr;
  return 0;
}
