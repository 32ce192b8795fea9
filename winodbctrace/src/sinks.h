// Trace sinks: where the text of each trace record goes. JuTracing is the
// abstract sink; JuTracing::create picks the concrete one by the trace mode:
// 0 JuFileTracing (rotating log files), 1 JuMemFileTracing (memory, moved to
// the files in large blocks), 2 JuMemoryTracing (one memory buffer).
// Sinks are configured by an attribute string (separator ";"):
//   ODBCTraceMemBuffSize=<KiB>;ODBCTraceMaxFileSize=<KiB>;
//   TraceFileOpenAppendMode=<n>;ODBCTraceMaxNumFiles=<n>;ODBCTraceFlush=<n>;
//   TraceFile=<path>
// open, write and close return 0, or 1 with the reason posted; each runs
// under the sink's own lock, and so does the file sink's flush. Sinks that
// hold a memory stage come before the stage in the lock order.
#ifndef VRTRACE_SINKS_H
#define VRTRACE_SINKS_H

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "julib/object.h"
#include "julib/threads.h"
#include "platform/files.h"
#include "trace_messages.h"  // kTraceMsgBadMode: "ODBCTraceMode" missing or unknown

class JuTracing : public JuObject {
 public:
  JuTracing() = default;
  ~JuTracing() override;

  // A new, unopened sink for the mode text "ODBCTraceMode=<n>", or null
  // (message 153 for a missing or unknown mode; the parser's errors).
  static JuTracing* create(const char* modeText);

  virtual uint32_t open(const char* attributes) = 0;
  virtual uint32_t write(const char* data, size_t length) = 0;
  virtual uint32_t close() = 0;
  virtual uint32_t flush();

  // Around fork(), under the trace lock: takes the sink's locks before it
  // and leaves them after. In the child, the records the sink holds but has
  // not written are dropped: they stay the parent's to write. The base holds
  // neither locks nor records.
  virtual void enterForFork();
  virtual void leaveAfterFork(bool inChild);

  // Set before open when no other process writes the sink's files (a
  // per-process set): a file sink then takes back a write cut short and
  // counts the bytes of its own records toward the maximum size. Without
  // it, other processes append to the same files: the sink asks a file its
  // size before each write, and a write cut short stays, the next record
  // starting on a line of its own.
  bool soleWriter = false;
};

// A size in KiB as bytes: v * 1024 below 2^54 - 1, else all bits set.
uint64_t TraceKibToBytes(uint64_t kib);

class JuMemoryTracing : public JuTracing {
 public:
  JuMemoryTracing() = default;
  ~JuMemoryTracing() override;

  // "ODBCTraceMemBuffSize" (KiB; 1 MiB when absent).
  uint32_t open(const char* attributes) override;
  // A record that does not fit restarts the buffer at 0; one larger than the
  // buffer keeps its last bytes. Always 0.
  uint32_t write(const char* data, size_t length) override;
  uint32_t close() override;  // keeps the buffer
  void enterForFork() override;
  void leaveAfterFork(bool inChild) override;  // the child starts empty

  char* buffer = nullptr;
  uint64_t bufferSize = 0;
  uint64_t writePosition = 0;
  JuCriticalSection lock{0};
};

// Where the file sink ends the base name of a "TraceFile" value of
// `length` bytes: at the first "." after its last separator (double-byte
// characters stepped whole), else at its end. The counter goes there, and
// what follows the dot is cut to an extension of four characters; the base
// name itself is never cut.
//   "logs\\a.b.log" -> 6 (before ".b.log")
size_t TraceFileBaseEnd(const char* name, size_t length);

// How long a log that could not be opened is left alone before a record
// tries again: the lazy open of the log, and the file sink's open of its
// current file. A record in between is dropped at no cost beyond a look at
// the clock.
inline constexpr uint64_t kTraceRetryMilliseconds = 100;

struct JuTraceLogFile;  // log_file.h

// Bytes of whole records the file sink gathers before one write takes them
// all (flush modes 0 and 1).
inline constexpr size_t kTraceLogBufferBytes = 4096;

class JuFileTracing : public JuTracing {
 public:
  JuFileTracing() = default;
  ~JuFileTracing() override;

  uint32_t open(const char* attributes) override;
  // Rotates to the next file before a record that would pass the maximum
  // size; a record is never split across files, nor across two writes.
  // Flush mode 2 writes it at once; modes 0 and 1 gather whole records and
  // write them together when the next one does not fit. A record reaches
  // the file whole or not at all (see soleWriter). While the current file
  // cannot be opened, a record tries again once kTraceRetryMilliseconds
  // have passed since the last try, and is dropped (1) before that.
  uint32_t write(const char* data, size_t length) override;
  uint32_t close() override;
  // Flush mode 1: writes the gathered records; 1 with 30041 when they could
  // not be written.
  uint32_t flush() override;
  void enterForFork() override;
  void leaveAfterFork(bool inChild) override;  // the child drops what is gathered

  char* fileName = nullptr;      // directory + base + counter + "." + extension
  char* fileNameEnd = nullptr;
  char* counterField = nullptr;  // the first counter digit inside fileName
  uint64_t maxFiles = 0;
  uint64_t maxFileSize = 0;
  uint64_t bytesWritten = 0;
  uint64_t counterWidth = 0;
  uint64_t fileIndex = 0;
  uint64_t appendMode = 0;
  JuTraceLogFile* file = nullptr;  // null when none is open
  // Whole records gathered to go out in one write (flush modes 0 and 1).
  size_t pendingBytes = 0;
  char pending[kTraceLogBufferBytes];
  // While the current file cannot be opened: the monotonic millisecond at
  // which a record tries again.
  uint64_t nextOpenTry = 0;
  // 0 none, 1 on request, 2 after every record. Set under the lock; read
  // without it by flush, which has nothing to do in modes other than 1.
  std::atomic<uint32_t> flushMode{0};
  JuCriticalSection lock{0};
  // Set when the counter came back to file 1 since the open: from then on
  // every file holds this sink's own older records, which rotation
  // replaces even in append mode, so the set stays within its size. (In a
  // set other processes write, only a file that has no room is replaced:
  // one with room was begun again by one of them.)
  bool wrapped = false;
};

class JuMemFileTracing : public JuTracing {
 public:
  JuMemFileTracing() = default;
  ~JuMemFileTracing() override;

  uint32_t open(const char* attributes) override;
  // Keeps the record in memory, after writing what the memory holds to the
  // files when the record does not fit there; a record larger than the
  // memory goes to the files whole.
  uint32_t write(const char* data, size_t length) override;
  // Drains the memory stage into the files and deletes both stages.
  uint32_t close() override;
  // This sink's lock, then the stages'.
  void enterForFork() override;
  void leaveAfterFork(bool inChild) override;

  JuMemoryTracing* memoryStage = nullptr;
  JuFileTracing* fileStage = nullptr;
  uint64_t* memoryPosition = nullptr;
  JuCriticalSection lock{0};
};

#endif  // VRTRACE_SINKS_H
