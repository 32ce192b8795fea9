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
#include <new>

#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/object.h"
#include "julib/valueparser.h"
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

// Writes the gathered records in one write and empties the buffer, whether
// or not they could be written.
platform::ErrorNumber writePending(JuTraceLogFile& file) {
  const size_t bytes = file.pendingBytes;
  file.pendingBytes = 0;
  return bytes == 0 ? platform::kErrorNone : platform::writeWhole(file.descriptor, file.pending, bytes);
}

// Takes one record: into the buffer when it fits there (after the gathered
// records have gone out, when they leave it no room), else in a write of its
// own. A failure to write what was gathered is returned; the record is kept.
platform::ErrorNumber putRecord(JuTraceLogFile& file, const char* data, size_t length) {
  platform::ErrorNumber error = platform::kErrorNone;
  if (length > kTraceLogBufferBytes - file.pendingBytes) error = writePending(file);
  if (length > kTraceLogBufferBytes) {
    const platform::ErrorNumber written = platform::writeWhole(file.descriptor, data, length);
    return error != platform::kErrorNone ? error : written;
  }
  std::memcpy(file.pending + file.pendingBytes, data, length);
  file.pendingBytes += length;
  return error;
}

// Writes what is gathered, closes and forgets the current file; the first
// failure, which has lost records.
platform::ErrorNumber endFile(JuFileTracing& sink) {
  if (sink.file == nullptr) return platform::kErrorNone;
  platform::ErrorNumber error = writePending(*sink.file);
  const platform::ErrorNumber cut = sink.file->window.finish();
  if (error == platform::kErrorNone) error = cut;
  const platform::ErrorNumber closed = platform::closeFile(sink.file->descriptor);
  juFree(sink.file);
  sink.file = nullptr;
  return error != platform::kErrorNone ? error : closed;
}

// Ends the current file. 0, or 1 with 30041 when gathered records could not
// be written.
uint32_t closeCurrentFile(JuFileTracing& sink) {
  const platform::ErrorNumber error = endFile(sink);
  if (error == platform::kErrorNone) return 0;
  postFileError(error, nullptr, nullptr);
  return 1;
}

// Opens a sole writer's file for reading too, as a mapping needs, and starts
// its window where its records end: a writer of it that died left zeros
// after them. kErrorAccessDenied when the file may only be written.
platform::ErrorNumber openWindowed(const char* name, uint32_t options, bool append, JuTraceLogFile& file) {
  const platform::ErrorNumber error = platform::openFile(name, options | platform::kOpenReadWrite, &file.descriptor);
  if (error != platform::kErrorNone) return error;
  uint64_t end = 0;
  if (append && platform::fileSize(file.descriptor, &end) == platform::kErrorNone) {
    const uint64_t records = TraceLogWindow::recordsEnd(file.descriptor, end);
    if (records == end || platform::setFileSize(file.descriptor, records) == platform::kErrorNone) end = records;
  }
  (void)file.window.start(file.descriptor, end);
  return platform::kErrorNone;
}

// Opens the file of the current index: emptied, or for appending, when its
// bytes count toward the maximum size. Appending keeps what the file held
// before this sink opened it; once the counter has come round, the file
// holds this sink's own older records and is emptied. 0, or 1 with 30041
// naming the file.
uint32_t openCurrentFile(JuFileTracing& sink) {
  sink.bytesWritten = 0;
  const bool append = sink.appendMode != 0 && !sink.wrapped;
  auto* file = static_cast<JuTraceLogFile*>(juMallocChecked(sizeof(JuTraceLogFile)));
  if (file == nullptr) return 1;  // out of memory is recorded
  file->pendingBytes = 0;
  new (&file->window) TraceLogWindow();
  // Shared with every other process (no lock); emptied when not appending,
  // and written at its end either way. The name has its separators turned
  // already, a double-byte character's trail byte left as it is.
  const uint32_t options = platform::kOpenCreate | platform::kOpenAppend | platform::kOpenSystemPath |
                           (append ? 0 : platform::kOpenTruncate);
  const bool windowed = sink.soleWriter && sink.flushMode.load(std::memory_order_relaxed) == 2;
  platform::ErrorNumber error =
      windowed ? openWindowed(sink.fileName, options, append, *file) : platform::kErrorAccessDenied;
  if (error == platform::kErrorAccessDenied) {
    error = platform::openFile(sink.fileName, options | platform::kOpenWriteOnly, &file->descriptor);
  }
  if (error != platform::kErrorNone) {
    juFree(file);
    postFileError(error, " ", sink.fileName);
    return 1;
  }
  uint64_t size = 0;
  if (append && platform::fileSize(file->descriptor, &size) == platform::kErrorNone) sink.bytesWritten = size;
  sink.file = file;
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
  (void)endFile(*this);  // no one to tell
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
    // The last open of a file failed: try that file again, once for this
    // record, so that a passing fault does not end the log.
    if (openCurrentFile(*this) != 0) return 1;
  }
  if (bytesWritten > maxFileSize || length > maxFileSize - bytesWritten) {
    // A record is never split: it goes whole into the next file.
    if (openNextFile(*this) != 0) return 1;
  }
  bytesWritten = length > UINT64_MAX - bytesWritten ? UINT64_MAX : bytesWritten + length;
  const uint32_t mode = flushMode.load(std::memory_order_relaxed);
  platform::ErrorNumber error = platform::kErrorNone;
  if (mode == 2 && file->pendingBytes == 0) {
    // Stored at once through the window, or written straight from the
    // caller's text, with no copy through the buffer.
    if (length != 0 && !file->window.put(data, length)) {
      error = platform::writeWhole(file->descriptor, data, length);
    }
  } else {
    if (length != 0) error = putRecord(*file, data, length);
    if (error == platform::kErrorNone && mode == 2) error = writePending(*file);
  }
  if (error == platform::kErrorNone) return 0;
  // The lost records are reported; the file stays open for the next ones.
  postFileError(error, nullptr, nullptr);
  return 1;
}

uint32_t JuFileTracing::flush() {
  // Only flush mode 1 gathers records until asked: the other modes return
  // without the lock, which a record would otherwise take twice.
  if (flushMode.load(std::memory_order_relaxed) != 1) return 0;
  // Under the lock: a close on another thread cannot take the stream away
  // mid-flush.
  JuLockGuard guard(lock);
  if (flushMode.load(std::memory_order_relaxed) != 1 || file == nullptr) return 0;
  const platform::ErrorNumber error = writePending(*file);
  if (error == platform::kErrorNone) return 0;
  // Records that could not be written are lost: say so; the file stays
  // open for the next ones.
  postFileError(error, nullptr, nullptr);
  return 1;
}

uint32_t JuFileTracing::close() {
  JuLockGuard guard(lock);
  forgetFileName(*this);
  return closeCurrentFile(*this);
}

void JuFileTracing::enterForFork() { juEnterForFork(lock); }

void JuFileTracing::leaveAfterFork(bool inChild) {
  if (inChild && file != nullptr) {
    file->pendingBytes = 0;
    file->window.drop();
  }
  juLeaveAfterFork(lock, inChild);
}
