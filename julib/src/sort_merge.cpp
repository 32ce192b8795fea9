// The sorter's merge: run buffers, the order of the runs by their heads, the
// next record, and passes for more runs than one merge holds.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "julib/errors.h"
#include "julib/files.h"
#include "julib/sort.h"
#include "sort_merge.h"

namespace julib::sort {

namespace {

uint64_t ceilDiv(uint64_t a, uint64_t b) { return a / b + (a % b != 0); }

}  // namespace

// ---------------------------------------------------------------------------
// Moving records between the run file and memory.
// ---------------------------------------------------------------------------

int Merge::readExactly(JuFileHandle file, uint64_t offset, void* buffer, size_t bytes) {
  size_t got = 0;
  if (juFileRead(file, offset, buffer, bytes, &got) != 0) return 1;
  if (got != bytes) {
    // The run file is shorter than the runs it should hold: no system error
    // to name.
    juPostError(kJuMsgFileInputOutput)->addParam(int32_t{0});
    return 1;
  }
  return 0;
}

// A block at a time: memory records are contiguous only inside a block.
template <typename Move>
int Merge::moveRecords(JuSort& s, uint64_t fileIndex, uint64_t memoryIndex, uint64_t count, Move move) {
  while (count != 0) {
    const uint64_t inBlock = std::min(count, s.recordsPerBlock - memoryIndex % s.recordsPerBlock);
    if (move(fileIndex * s.recordSize, s.record(memoryIndex), inBlock * s.recordSize) != 0) return 1;
    fileIndex += inBlock;
    memoryIndex += inBlock;
    count -= inBlock;
  }
  return 0;
}

int Merge::readRecords(JuSort& s, JuFileHandle file, uint64_t fileIndex, uint64_t memoryIndex, uint64_t count) {
  return moveRecords(s, fileIndex, memoryIndex, count, [file](uint64_t offset, void* records, size_t bytes) {
    return readExactly(file, offset, records, bytes);
  });
}

int Merge::writeRecords(JuSort& s, JuFileHandle file, uint64_t fileIndex, uint64_t memoryIndex, uint64_t count) {
  return moveRecords(s, fileIndex, memoryIndex, count, [file](uint64_t offset, const void* records, size_t bytes) {
    return juFileWrite(file, offset, records, bytes);
  });
}

// ---------------------------------------------------------------------------
// The state.
// ---------------------------------------------------------------------------

uint64_t Merge::headerRecords(const JuSort& s, uint64_t runs) {
  return ceilDiv(sizeof(MergeState) + runs * sizeof(RunDescriptor), s.recordSize);
}

uint64_t Merge::maxRuns(const JuSort& s, uint64_t memoryRecords) {
  const uint64_t blockBytes = s.recordsPerBlock * s.recordSize;
  if (blockBytes < sizeof(MergeState) + sizeof(RunDescriptor)) return 0;
  uint64_t runs = std::min<uint64_t>(UINT16_MAX, (blockBytes - sizeof(MergeState)) / sizeof(RunDescriptor));
  // Fewer runs leave more memory to each: the first that fits is the most.
  for (; runs != 0; --runs) {
    const uint64_t header = headerRecords(s, runs);
    if (header < memoryRecords && memoryRecords - header >= runs) break;
  }
  return runs;
}

MergeState* Merge::init(JuSort& s, uint64_t firstRecord, uint64_t endRecord, uint64_t runLength,
                        uint64_t memoryRecords) {
  auto* state = static_cast<MergeState*>(s.blocks[0]);
  const uint64_t runs = ceilDiv(endRecord - firstRecord, runLength);
  state->runCount = static_cast<uint16_t>(runs);
  state->activeRuns = static_cast<uint16_t>(runs);
  state->headPending = 0;
  state->memoryRecords = memoryRecords;
  state->runLength = runLength;
  state->headerRecords = headerRecords(s, runs);
  state->bufferRecords = (memoryRecords - state->headerRecords) / runs;
  state->firstRecord = firstRecord;
  state->endRecord = endRecord;
  RunDescriptor* run = state->runs();
  for (uint64_t i = 0; i < runs; ++i) {
    RunDescriptor& r = run[i];
    r.first = firstRecord + i * runLength;
    r.last = std::min(r.first + runLength, endRecord) - 1;
    r.next = r.first;
    r.bufferedFirst = r.first;
    r.bufferIndex = kNotBuffered;
    r.bufferStart = state->headerRecords + i * state->bufferRecords;
    r.rangeStartMark = r.first;
    r.rangeEndMark = r.first;
  }
  s.merge = state;
  return state;
}

int Merge::start(JuSort& s) {
  const uint64_t memory = uint64_t{s.blockCount} * s.recordsPerBlock;
  while (ceilDiv(s.totalRecords, s.runLength_) > maxRuns(s, memory)) {
    if (pass(s) != 0) return 1;
  }
  init(s, 0, s.totalRecords, s.runLength_, memory);
  return restart(s);
}

int Merge::restart(JuSort& s) {
  MergeState& state = *s.merge;
  RunDescriptor* run = state.runs();
  for (uint64_t i = 0; i < state.runCount; ++i) {
    run[i].next = run[i].first;
    run[i].bufferIndex = kNotBuffered;
  }
  state.activeRuns = state.runCount;
  if (orderRuns(s) != 0) return 1;
  state.headPending = 1;
  return 0;
}

// ---------------------------------------------------------------------------
// Heads and their order.
// ---------------------------------------------------------------------------

void* Merge::head(const JuSort& s, const RunDescriptor& run) {
  return s.record(run.bufferStart + static_cast<uint64_t>(run.bufferIndex));
}

int Merge::loadHead(JuSort& s, RunDescriptor& run, void** rec) {
  *rec = nullptr;
  if (run.next > run.last) {
    run.bufferIndex = kUsedUp;
    return 0;
  }
  if (run.bufferIndex < 0) {
    const uint64_t count = std::min(s.merge->bufferRecords, run.last - run.next + 1);
    if (readRecords(s, s.runFile, run.next, run.bufferStart, count) != 0) return 1;
    run.bufferedFirst = run.next;
    run.bufferIndex = 0;
  }
  *rec = head(s, run);
  return 0;
}

void Merge::advance(const MergeState& state, RunDescriptor& run) {
  ++run.next;
  if (run.bufferIndex >= 0) {
    ++run.bufferIndex;
    if (static_cast<uint64_t>(run.bufferIndex) >= state.bufferRecords || run.next > run.last) {
      run.bufferIndex = kNotBuffered;
    }
  }
}

void Merge::retire(MergeState& state, uint64_t i) {
  RunDescriptor* run = state.runs();
  RunDescriptor usedUp = run[i];
  usedUp.bufferIndex = kUsedUp;
  std::memmove(&run[i], &run[i + 1], (state.activeRuns - i - 1) * sizeof(RunDescriptor));
  run[state.activeRuns - 1] = usedUp;
  --state.activeRuns;
}

int Merge::orderRuns(JuSort& s) {
  MergeState& state = *s.merge;
  RunDescriptor* run = state.runs();
  s.flags &= ~JuSort::kKeysAdded;
  for (uint64_t i = 0; i < state.activeRuns;) {
    void* rec = nullptr;
    if (loadHead(s, run[i], &rec) != 0) return 1;
    if (rec == nullptr) {
      retire(state, i);
    } else {
      ++i;
    }
  }
  // Every head sits in its own run's buffer, so the descriptors can move.
  for (uint64_t i = 1; i < state.activeRuns; ++i) {
    const RunDescriptor moving = run[i];
    const void* movingHead = head(s, moving);
    uint64_t j = i;
    for (; j > 0 && s.compareFrom(head(s, run[j - 1]), movingHead, 0) > 0; --j) run[j] = run[j - 1];
    run[j] = moving;
  }
  return 0;
}

int Merge::placeFirst(JuSort& s) {
  MergeState& state = *s.merge;
  RunDescriptor* run = state.runs();
  void* first = nullptr;
  if (loadHead(s, run[0], &first) != 0) return 1;
  if (first == nullptr) {
    retire(state, 0);
    return 0;
  }
  // After the last run whose head is not greater: equal heads keep their
  // runs' order.
  uint64_t lo = 1;
  uint64_t hi = state.activeRuns;
  while (lo < hi) {
    const uint64_t middle = lo + (hi - lo) / 2;
    if (s.compareFrom(head(s, run[middle]), first, 0) <= 0) {
      lo = middle + 1;
    } else {
      hi = middle;
    }
  }
  if (lo > 1) {
    const RunDescriptor moving = run[0];
    std::memmove(&run[0], &run[1], (lo - 1) * sizeof(RunDescriptor));
    run[lo - 1] = moving;
  }
  return 0;
}

int Merge::nextRecord(JuSort& s, void** rec) {
  *rec = nullptr;
  MergeState& state = *s.merge;
  if (state.headPending == 0 && state.activeRuns != 0) {
    advance(state, state.runs()[0]);
    // Keys added since the runs were ordered change every run's place.
    const int failed = (s.flags & JuSort::kKeysAdded) ? orderRuns(s) : placeFirst(s);
    if (failed != 0) return 1;
  } else if (s.flags & JuSort::kKeysAdded) {
    if (orderRuns(s) != 0) return 1;
  }
  state.headPending = 0;
  if (state.activeRuns != 0) *rec = head(s, state.runs()[0]);
  return 0;
}

// ---------------------------------------------------------------------------
// Passes and re-sorting the runs.
// ---------------------------------------------------------------------------

// The last block collects the merged records; the merge of a group has the
// blocks before it.
int Merge::pass(JuSort& s) {
  const uint64_t outStart = uint64_t{s.blockCount - 1u} * s.recordsPerBlock;
  const uint64_t group = maxRuns(s, outStart);
  if (group < 2) {
    juPostError(kJuMsgNotEnoughMemory);
    return 1;
  }
  char name[kJuPathChars] = "";
  JuFileHandle out = kJuNoFile;
  if (juFileOpen(name, sizeof name, kRunFileFlags, &out) != 0) return 1;
  const uint64_t length = s.runLength_ * group;
  int failed = 0;
  uint64_t written = 0;
  for (uint64_t first = 0; first < s.totalRecords && failed == 0; first += length) {
    init(s, first, std::min(first + length, s.totalRecords), s.runLength_, outStart);
    failed = restart(s);
    uint64_t collected = 0;
    for (void* rec = nullptr; failed == 0;) {
      failed = nextRecord(s, &rec);
      if (failed != 0 || rec == nullptr) break;
      std::memcpy(s.record(outStart + collected), rec, s.recordSize);
      if (++collected == s.recordsPerBlock) {
        failed = writeRecords(s, out, written, outStart, collected);
        written += collected;
        collected = 0;
      }
    }
    if (failed == 0 && collected != 0) {
      failed = writeRecords(s, out, written, outStart, collected);
      written += collected;
    }
  }
  s.merge = nullptr;
  if (failed != 0) {
    (void)juFileClose(out);  // the failure is posted already
    return 1;
  }
  // The merged file replaces the runs it was made from.
  (void)juFileClose(s.runFile);  // a failed close of the old file is posted; the runs are safe
  s.runFile = out;
  std::memcpy(s.runFileName, name, sizeof name);
  s.runLength_ = length;
  s.runCount = ceilDiv(s.totalRecords, length);
  s.recordsInLastRun = s.totalRecords - (s.runCount - 1) * length;
  return 0;
}

// Runs longer than memory (after passes) are sorted in pieces of memory
// size, which become the runs again.
int Merge::resortRuns(JuSort& s) {
  s.merge = nullptr;
  const uint64_t memory = uint64_t{s.blockCount} * s.recordsPerBlock;
  for (uint64_t first = 0; first < s.totalRecords; first += memory) {
    const uint64_t count = std::min(memory, s.totalRecords - first);
    if (readRecords(s, s.runFile, first, 0, count) != 0) return 1;
    if (count >= 2 && s.groupedSort(0, count - 1, 0) != 0) return 1;
    if (writeRecords(s, s.runFile, first, 0, count) != 0) return 1;
  }
  s.runLength_ = memory;
  s.runCount = ceilDiv(s.totalRecords, memory);
  s.recordsInLastRun = s.totalRecords - (s.runCount - 1) * memory;
  return start(s);
}

}  // namespace julib::sort
