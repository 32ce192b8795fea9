// A log file's end written through a shared mapping, so that a record costs
// no system call while it is the file's as soon as it is stored, as a write
// would make it: a process killed the next instant leaves it in the file.
//
// The file is made longer than its records by a window (disk space given
// ahead, so that a store never faults for want of disk), the records are
// stored into the window, and the file is cut back to them when the window
// is given up: at close, at rotation, when something else changed the file.
// A process that dies meanwhile leaves the window's unused end as zero
// bytes, which the next open for appending removes (records never hold a
// zero byte). Only the file's one writer may do this: a per-process log.
#ifndef VRTRACE_LOG_WINDOW_H
#define VRTRACE_LOG_WINDOW_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/file_mapping.h"
#include "platform/files.h"

class TraceLogWindow {
 public:
  // Writes the file open on `descriptor` (for reading and writing) through
  // windows from `end`, where its records end. False when it cannot be
  // written that way (stores into windows are not guarded): the caller
  // writes with write().
  bool start(platform::FileDescriptor descriptor, uint64_t end);

  // Stores a record after the last one. False when it could not: the window
  // is given up for good (the file cut back to the records stored, unless
  // something else changed its length), and the caller writes the record.
  bool put(const char* data, size_t length);

  // Gives the window up and cuts the file back to its records: at close and
  // rotation. The error of the cut, which leaves zero bytes at the end.
  platform::ErrorNumber finish();

  // In a forked child: unmaps the window, leaving the file to the parent.
  void drop();

  // Where the records of the file open on `descriptor` (`size` bytes long)
  // end: before the zero bytes at its end, which a writer that died left of
  // its window. The file's size when they cannot be read.
  static uint64_t recordsEnd(platform::FileDescriptor descriptor, uint64_t size);

 private:
  bool advance(size_t length);
  platform::ErrorNumber giveUp();

  platform::FileWindow window_;
  platform::FileDescriptor descriptor_ = platform::kNoDescriptor;
  uint64_t end_ = 0;       // where the next record goes
  uint64_t reserved_ = 0;  // the file's length as the windows made it
};

// Held in the log file's block, which is freed without a destructor call.
static_assert(std::is_trivially_destructible_v<TraceLogWindow>);

#endif  // VRTRACE_LOG_WINDOW_H
