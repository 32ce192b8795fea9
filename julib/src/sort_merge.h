// The sorter's merge of its runs on file: the state at the start of block 0,
// one descriptor per run, read buffers in the rest of memory.
#ifndef JULIB_SRC_SORT_MERGE_H
#define JULIB_SRC_SORT_MERGE_H

#include <cstdint>

#include "julib/files.h"
#include "julib/sort.h"

namespace julib::sort {

// How a run file is opened: read-write under a new temporary name that goes
// as soon as it is open, so the file ends with its handle however the
// process ends (nothing ever opens it by name).
inline constexpr uint32_t kRunFileFlags = kJuFileOpenTemporary | kJuFileOpenReadWrite | kJuFileOpenDeleteOnClose;

// buffer index of a run whose records are all handed out.
inline constexpr int64_t kUsedUp = -2;
// buffer index of a run with nothing buffered.
inline constexpr int64_t kNotBuffered = -1;

// One run: file indexes of its records, its head (the record it offers next)
// and its buffer in memory.
struct RunDescriptor {
  uint64_t bufferedFirst;  // file index of the first buffered record
  uint64_t next;           // file index of the head
  uint64_t first;          // the run's records on file: first..last
  uint64_t last;
  int64_t bufferIndex;     // head inside the buffer, or kNotBuffered / kUsedUp
  uint64_t bufferStart;    // memory record index of the buffer
  uint64_t rangeStartMark; // file index of the head when the range began
  uint64_t rangeEndMark;   // file index of the head when it ended (excluded)
};
static_assert(sizeof(RunDescriptor) == 64, "descriptors are 64 bytes");

// The descriptors follow the state directly; the active runs come first, in
// the order of their heads.
struct MergeState {
  uint16_t runCount;
  uint16_t activeRuns;
  uint32_t headPending;    // the first run's head is not handed out yet
  uint64_t memoryRecords;  // memory records the merge may use
  uint64_t runLength;      // records per run on file
  uint64_t bufferRecords;  // b: records per run buffer
  uint64_t headerRecords;  // h: records of block 0 that the state occupies
  uint64_t firstRecord;    // file records merged: firstRecord..endRecord - 1
  uint64_t endRecord;

  RunDescriptor* runs() { return reinterpret_cast<RunDescriptor*>(this + 1); }
};
static_assert(sizeof(MergeState) == 56, "the state is 56 bytes");

class Merge {
 public:
  // After the last run is written: merges runs in passes until the merge
  // holds them all, then starts reading. 1 on a file error, or 1503 when
  // memory cannot give each run a record of buffer.
  static int start(JuSort& s);
  // Every run back to its first record, the runs ordered; the first head is
  // pending.
  static int restart(JuSort& s);
  // The next record in merge order (null when all runs are used up).
  static int nextRecord(JuSort& s, void** rec);
  // Runs each run of memory size through memory again (after a key change)
  // and starts the merge over.
  static int resortRuns(JuSort& s);

  // Ranges and seeking (sort_ranges.cpp).
  static void markStart(JuSort& s);
  static void markEnd(JuSort& s);
  static int resortRange(JuSort& s);
  static int rangeFirst(JuSort& s, void** rec);
  static int seek(JuSort& s, const void* keyRecord, void** rec);

  // Moves `count` records between file index `fileIndex` of `file` and
  // memory from record `memoryIndex`, a block at a time. A short read posts
  // 30041.
  static int readRecords(JuSort& s, JuFileHandle file, uint64_t fileIndex, uint64_t memoryIndex, uint64_t count);
  static int writeRecords(JuSort& s, JuFileHandle file, uint64_t fileIndex, uint64_t memoryIndex, uint64_t count);
  // Reads bytes at `offset`, failing on a short read.
  static int readExactly(JuFileHandle file, uint64_t offset, void* buffer, size_t bytes);
  // The block walk under both: move(offset, records, bytes) reads or writes
  // one piece, 0 on success.
  template <typename Move>
  static int moveRecords(JuSort& s, uint64_t fileIndex, uint64_t memoryIndex, uint64_t count, Move move);

  // The most runs one merge holds with `memoryRecords` records of memory:
  // its state fits in block 0 and every run gets a buffer of at least one
  // record (at most 65535 runs).
  static uint64_t maxRuns(const JuSort& s, uint64_t memoryRecords);

 private:
  static uint64_t headerRecords(const JuSort& s, uint64_t runs);
  // The state for the runs of runLength records over file records
  // firstRecord..endRecord - 1 in memoryRecords records of memory.
  static MergeState* init(JuSort& s, uint64_t firstRecord, uint64_t endRecord, uint64_t runLength,
                          uint64_t memoryRecords);
  // One pass: groups of runs merged into one run each, in a new run file.
  static int pass(JuSort& s);
  static void* head(const JuSort& s, const RunDescriptor& run);
  // Buffers the run's head when needed; *rec null for a run used up.
  static int loadHead(JuSort& s, RunDescriptor& run, void** rec);
  static void advance(const MergeState& state, RunDescriptor& run);
  // Moves active run i behind the active ones.
  static void retire(MergeState& state, uint64_t i);
  // Orders the active runs by their heads, retiring the used-up ones.
  static int orderRuns(JuSort& s);
  // Moves run 0, after it advanced, to its place among the others.
  static int placeFirst(JuSort& s);

  friend class ::JuSort;
};

}  // namespace julib::sort

#endif  // JULIB_SRC_SORT_MERGE_H
