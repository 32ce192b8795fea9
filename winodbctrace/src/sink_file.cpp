// JuFileTracing: records into a numbered set of log files that rotate by
// size. The name of file n is directory + base + n (counter width digits,
// "0"-padded) + "." + extension: logs\SQL_.LOG with ten files gives
// logs/SQL_01.LOG up to logs/SQL_10.LOG, then logs/SQL_01.LOG again.
//
// Several processes may write one set ("TraceFilePerProcess" other than
// "1"): every file is opened for appending and each write holds whole
// records only, so no process's record is split by another's.

#include <atomic>
#include <cstring>

#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/object.h"
#include "julib/valueparser.h"
#include "log_file.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "sink_attributes.h"
#include "sinks.h"

namespace {

using vrtrace::sinks::NumberRead;

constexpr uint64_t kDefaultMaxFiles = 10;
constexpr uint64_t kDefaultCounterWidth = 2;
constexpr uint64_t kDefaultMaxFileBytes = 0xA00000;  // 10 MiB

// Limits of the configured name: counter width + its length stays at or
// below 260, base name + counter width below 130, and a name without an
// extension leaves room for ".log".
constexpr uint64_t kNameLimit = 260;
constexpr uint64_t kBaseLimit = 130;
constexpr size_t kExtensionBytes = 4;
constexpr char kDefaultExtension[] = "log";
constexpr size_t kDefaultExtensionBytes = sizeof kDefaultExtension - 1;

// A "TraceFile" value cut into its parts (offsets into the value).
struct NameParts {
  size_t directoryLength;  // through the last separator
  size_t baseLength;       // up to the first "." of the file part
  size_t extensionStart;
  size_t extensionLength;  // 0 when there is no extension
};

// The length of the directory part, through its last separator, stepping
// double-byte characters whole so that a trail byte is never taken for a
// separator.
size_t directoryLength(const char* text, size_t length) {
  size_t directory = 0;
  for (size_t i = 0; i < length; i += juCharLen(text + i, JuCodePageKind::kAnsi)) {
    if (platform::isPathSeparator(text[i])) directory = i + 1;
  }
  return directory;
}

// Where the base name that starts at `from` ends: its first ".", or the end.
size_t baseEnd(const char* text, size_t length, size_t from) {
  size_t i = from;
  while (i < length && text[i] != '.') i += juCharLen(text + i, JuCodePageKind::kAnsi);
  return i < length ? i : length;
}

// Splits a name, stepping double-byte characters whole so that a trail byte
// is never taken for a separator or a dot. The extension is cut to whole
// characters within 4 bytes.
//   "logs\\SQL.LOG" -> directory "logs\\", base "SQL", extension "LOG"
//   "a.b_.log"      -> base "a", extension "b_.l"
NameParts splitName(const char* text, size_t length) {
  NameParts parts{};
  parts.directoryLength = directoryLength(text, length);
  const size_t i = baseEnd(text, length, parts.directoryLength);
  parts.baseLength = i - parts.directoryLength;
  if (i >= length) return parts;
  parts.extensionStart = i + 1;
  size_t end = parts.extensionStart;
  while (end < length) {
    const size_t step = juCharLen(text + end, JuCodePageKind::kAnsi);
    if (end + step - parts.extensionStart > kExtensionBytes || end + step > length) break;
    end += step;
  }
  parts.extensionLength = end - parts.extensionStart;
  return parts;
}

// Posts 30041 with `number`, then appends `label` and, when given, `name`
// (converted as the file layer converts names: UTF-8, else ANSI).
void postFileError(int32_t number, const char* label, const char* name) {
  JuError* error = juPostError(kJuMsgFileInputOutput)->addParam(number);
  if (error->isStatic()) return;
  if (label != nullptr) error->appendText(label);
  if (name == nullptr) return;
  // The name fills a placeholder of its own, so it is converted rather
  // than widened byte by byte.
  error->appendText(u"%s2");
  error->addParam(name);
}

// Writes `index` in decimal into the `width` bytes at `field`, right-aligned
// and "0"-padded (only its low digits when it has more).
void writeCounter(char* field, uint64_t width, uint64_t index) {
  for (uint64_t pos = width; pos > 0; --pos) {
    field[pos - 1] = static_cast<char>('0' + index % 10);
    index /= 10;
  }
}

// Frees the name; a sink without one writes nothing.
void forgetFileName(JuFileTracing& sink) {
  juFree(sink.fileName);
  sink.fileName = nullptr;
  sink.fileNameEnd = nullptr;
  sink.counterField = nullptr;
}

// Whether `length` more bytes keep a file of `used` bytes within `limit`.
bool fits(uint64_t used, size_t length, uint64_t limit) { return used <= limit && length <= limit - used; }

uint32_t makeRoom(JuFileTracing& sink, size_t length);

// Writes whole records (a record, or what was gathered) to the current
// file; in a shared set, to a file that has room for them as the files are
// now. They count toward the file's size whether or not the write succeeds
// (a file that takes nothing is left all the same). 0, or 1 with the reason
// posted.
uint32_t writeOut(JuFileTracing& sink, const char* data, size_t length) {
  if (length == 0) return 0;
  if (!sink.soleWriter && makeRoom(sink, length) != 0) return 1;
  sink.bytesWritten = length > UINT64_MAX - sink.bytesWritten ? UINT64_MAX : sink.bytesWritten + length;
  const platform::ErrorNumber error = vrtrace::logfile::writeRecords(*sink.file, data, length);
  if (error == platform::kErrorNone) return 0;
  postFileError(error, nullptr, nullptr);
  return 1;
}

// Writes the gathered records and empties the buffer, whether or not they
// could be written.
uint32_t writeGathered(JuFileTracing& sink) {
  const size_t bytes = sink.pendingBytes;
  sink.pendingBytes = 0;
  return sink.file != nullptr ? writeOut(sink, sink.pending, bytes) : 0;
}

// Ends the current file: writes what is gathered (a per-process set's
// records gathered for this file), closes and forgets it. 0, or 1 with
// 30041 when records were lost.
uint32_t closeCurrentFile(JuFileTracing& sink) {
  if (sink.file == nullptr) return 0;
  const uint32_t result = writeGathered(sink);
  // In a shared set they may have moved on to a next file, which could not
  // be opened.
  if (sink.file == nullptr) return result;
  const platform::ErrorNumber error = vrtrace::logfile::close(sink.file);
  sink.file = nullptr;
  if (error == platform::kErrorNone) return result;
  postFileError(error, nullptr, nullptr);
  return 1;
}

// Opens the file of the current index, emptied when the settings reuse it
// from scratch: when not appending, and in a per-process set once the
// counter has come round (the file then holds this sink's own older
// records). A shared set empties only its first file, at the open: a later
// one may hold what another process has just written there (makeRoom
// empties it when it is full). The bytes a file keeps count toward the
// maximum size. 0, or 1 with 30041 naming the file; a record tries again
// once kTraceRetryMilliseconds have passed.
uint32_t openCurrentFile(JuFileTracing& sink) {
  const bool reused = sink.appendMode == 0 || sink.wrapped;
  const bool empty = sink.soleWriter ? reused : sink.appendMode == 0 && sink.fileIndex == 1 && !sink.wrapped;
  sink.bytesWritten = 0;
  platform::ErrorNumber error = platform::kErrorNone;
  sink.file = vrtrace::logfile::open(sink.fileName, empty, sink.soleWriter, &error);
  if (sink.file == nullptr) {
    sink.nextOpenTry = platform::monotonicMilliseconds() + kTraceRetryMilliseconds;
    if (error != platform::kErrorNone) postFileError(error, " ", sink.fileName);
    return 1;
  }
  // In a per-process file, a record that a killed writer of an earlier
  // process with this id cut short leaves the file inside a line.
  if (!empty) sink.bytesWritten = vrtrace::logfile::lookAtEnd(*sink.file);
  return 0;
}

// Moves to the next file of the set, back to file 1 after the last.
uint32_t openNextFile(JuFileTracing& sink) {
  // A failed close has lost buffered records, which is reported; the next
  // file is opened all the same.
  (void)closeCurrentFile(sink);
  const bool hadFile = sink.fileIndex != 0;
  ++sink.fileIndex;
  if (sink.fileIndex > sink.maxFiles) {
    sink.fileIndex = 1;
    // Back at the first file after a file of this open: a full round.
    if (hadFile) sink.wrapped = true;
  }
  writeCounter(sink.counterField, sink.counterWidth, sink.fileIndex);
  return openCurrentFile(sink);
}

// Makes room in the current file for `length` bytes of records, moving on
// to the next file when it has none: a record is never split across files,
// and one larger than the maximum goes whole into the next file. A
// per-process set counts the bytes of its own records (those gathered too),
// which are all the file holds. Other processes append to a shared set's
// files as well: there the file's own size decides as it is just before
// the write, a full one is passed by (another process filled it), and one
// that the settings reuse from scratch is emptied when it is full. 0, or 1
// with the reason posted.
uint32_t makeRoom(JuFileTracing& sink, size_t length) {
  const auto used = [&sink] {
    if (sink.soleWriter) return sink.bytesWritten + sink.pendingBytes;
    const uint64_t size = vrtrace::logfile::size(*sink.file);
    return size > sink.bytesWritten ? size : sink.bytesWritten;
  };
  if (fits(used(), length, sink.maxFileSize)) return 0;
  if (openNextFile(sink) != 0) return 1;
  // Each other file of the set once, and the one the counter comes back to.
  for (uint64_t tried = 0; !sink.soleWriter && length <= sink.maxFileSize && tried <= sink.maxFiles; ++tried) {
    if (fits(used(), length, sink.maxFileSize)) return 0;
    if ((sink.appendMode == 0 || sink.wrapped) && platform::cutFile(sink.file->descriptor, 0) == platform::kErrorNone) {
      sink.bytesWritten = 0;
      return 0;
    }
    if (openNextFile(sink) != 0) return 1;
  }
  return 0;
}

// Reads the "TraceFile" value and builds the name with its counter field.
// 0, or 1 with the reason posted.
uint32_t buildFileName(JuFileTracing& sink, JuValueParser& parser) {
  const JuString* value = parser.get("TraceFile");
  if (value == nullptr) {
    postFileError(0, " No trace file", nullptr);
    return 1;
  }
  const char* text = value->data != nullptr ? value->data : "";
  const size_t length = value->data != nullptr ? value->length : 0;
  const uint64_t width = sink.counterWidth;
  const bool nameFits = width < kNameLimit + 1 && length < kNameLimit + 1 - width;
  const NameParts parts = nameFits ? splitName(text, length) : NameParts{};
  const bool hasExtension = parts.extensionLength != 0;
  if (!nameFits || parts.baseLength + width >= kBaseLimit ||
      (!hasExtension && length + width + kDefaultExtensionBytes + 1 > kNameLimit)) {
    postFileError(0, " Trace file too long: ", text);
    return 1;
  }

  const char* extension = hasExtension ? text + parts.extensionStart : kDefaultExtension;
  const size_t extensionLength = hasExtension ? parts.extensionLength : kDefaultExtensionBytes;
  const size_t counterStart = parts.directoryLength + parts.baseLength;
  // Every part is bounded by the checks above: no sum here can overflow.
  const size_t size = counterStart + static_cast<size_t>(width) + 1 + extensionLength + 1;
  char* name = static_cast<char*>(juMallocChecked(size));
  if (name == nullptr) return 1;  // out of memory is recorded

  // What reaches the system uses '/'; only separators at character starts
  // are separators.
  for (size_t i = 0; i < parts.directoryLength;) {
    const size_t step = juCharLen(text + i, JuCodePageKind::kAnsi);
    for (size_t k = 0; k < step && i + k < parts.directoryLength; ++k) name[i + k] = text[i + k];
    if (step == 1 && platform::isPathSeparator(text[i])) name[i] = '/';
    i += step;
  }
  std::memcpy(name + parts.directoryLength, text + parts.directoryLength, parts.baseLength);
  std::memset(name + counterStart, '0', static_cast<size_t>(width));
  name[counterStart + width] = '.';
  std::memcpy(name + counterStart + width + 1, extension, extensionLength);
  name[size - 1] = '\0';

  sink.fileName = name;
  sink.fileNameEnd = name + size;
  sink.counterField = name + counterStart;
  return 0;
}

}  // namespace

size_t TraceFileBaseEnd(const char* name, size_t length) {
  return baseEnd(name, length, directoryLength(name, length));
}

JuFileTracing::~JuFileTracing() {
  (void)closeCurrentFile(*this);  // a failure is posted; there is no caller to return it to
  juFree(fileName);
}

uint32_t JuFileTracing::open(const char* attributes) {
  // Attribute texts are UTF-8 (a path may hold any character).
  JuValueParser parser(JuSubString(attributes != nullptr ? attributes : "", JuCodePageKind::kUtf8),
                       vrtrace::sinks::kSinkSeparator,
                       nullptr, 0);
  if (parser.parse() != 0) return 1;

  JuLockGuard guard(lock);
  // A new configuration starts from nothing: no file stays open against a
  // name that is gone.
  (void)closeCurrentFile(*this);  // a failure is posted; the open goes on
  forgetFileName(*this);
  fileIndex = 0;
  wrapped = false;
  nextOpenTry = 0;

  uint64_t number = 0;
  size_t textLength = 0;
  switch (vrtrace::sinks::readNumber(parser, "ODBCTraceMaxNumFiles", &number, &textLength)) {
    case NumberRead::kInvalid:
      return 1;
    case NumberRead::kFound:
      maxFiles = number;
      counterWidth = textLength;
      break;
    case NumberRead::kAbsent:
      maxFiles = kDefaultMaxFiles;
      counterWidth = kDefaultCounterWidth;
      break;
  }

  switch (vrtrace::sinks::readNumber(parser, "ODBCTraceFlush", &number)) {
    case NumberRead::kInvalid:
      return 1;
    case NumberRead::kFound:
      flushMode.store(static_cast<uint32_t>(number), std::memory_order_relaxed);
      break;
    case NumberRead::kAbsent:
      flushMode.store(0, std::memory_order_relaxed);
      break;
  }

  if (buildFileName(*this, parser) != 0) return 1;

  switch (vrtrace::sinks::readNumber(parser, "ODBCTraceMaxFileSize", &number)) {
    case NumberRead::kInvalid:
      forgetFileName(*this);
      return 1;
    case NumberRead::kFound:
      maxFileSize = TraceKibToBytes(number);
      break;
    case NumberRead::kAbsent:
      maxFileSize = kDefaultMaxFileBytes;
      break;
  }

  switch (vrtrace::sinks::readNumber(parser, "TraceFileOpenAppendMode", &number)) {
    case NumberRead::kInvalid:
      forgetFileName(*this);
      return 1;
    case NumberRead::kFound:
      appendMode = number;
      break;
    case NumberRead::kAbsent:
      break;  // unchanged
  }

  return openNextFile(*this);
}

uint32_t JuFileTracing::write(const char* data, size_t length) {
  JuLockGuard guard(lock);
  if (fileName == nullptr) return 0;  // never opened, or closed
  if (file == nullptr) {
    // The last open of the current file failed: a record tries it again, so
    // that a passing fault does not end the log, but not more often than
    // every kTraceRetryMilliseconds; the records in between are dropped.
    if (platform::monotonicMilliseconds() < nextOpenTry) return 1;
    if (openCurrentFile(*this) != 0) return 1;
  }
  // A per-process set makes room as it takes each record; a shared set as
  // records go out, where another process may have filled the file since.
  if (soleWriter && makeRoom(*this, length) != 0) return 1;
  if (flushMode.load(std::memory_order_relaxed) == 2) return writeOut(*this, data, length);
  // Gathered whole: what is gathered goes out when the record does not fit
  // after it (in the buffer, or in a file of the maximum size, so that no
  // file takes more than one record past it), and a record larger than the
  // buffer goes out on its own.
  uint32_t result = 0;
  if (length > sizeof pending - pendingBytes || !fits(pendingBytes, length, maxFileSize)) {
    result = writeGathered(*this);
  }
  if (length > sizeof pending) return writeOut(*this, data, length) | result;
  std::memcpy(pending + pendingBytes, data, length);
  pendingBytes += length;
  return result;
}

uint32_t JuFileTracing::flush() {
  // Only flush mode 1 gathers records until asked: the other modes return
  // without the lock, which a record would otherwise take twice.
  if (flushMode.load(std::memory_order_relaxed) != 1) return 0;
  // Under the lock: a close on another thread cannot take the file away
  // mid-flush. Records that could not be written are lost and reported;
  // the file stays open for the next ones.
  JuLockGuard guard(lock);
  if (flushMode.load(std::memory_order_relaxed) != 1 || file == nullptr) return 0;
  return writeGathered(*this);
}

uint32_t JuFileTracing::close() {
  JuLockGuard guard(lock);
  // What is gathered goes out first, in a shared set perhaps to the next file.
  const uint32_t result = closeCurrentFile(*this);
  forgetFileName(*this);
  return result;
}

void JuFileTracing::enterForFork() { juEnterForFork(lock); }

void JuFileTracing::leaveAfterFork(bool inChild) {
  if (inChild) pendingBytes = 0;
  juLeaveAfterFork(lock, inChild);
}
