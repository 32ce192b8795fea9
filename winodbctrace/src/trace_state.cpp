// The trace library's process-wide state and the control exports:
// TraceOpenLogFile (start-up, the trace file name, the sink and its
// options), TraceCloseLogFile, TraceReturn and TraceVersion; the trace lock;
// the library's message module.

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "info_file.h"
#include "julib/errors.h"
#include "julib/threads.h"
#include "platform/ansi.h"
#include "platform/catalogue.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/lock.h"
#include "platform/memory.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/utf16.h"
#include "render.h"
#include "sinks.h"
#include "trace.h"
#include "trace_messages.h"

namespace {

// An address inside the trace library, so the module's file is its binary.
void traceAnchor() {}

}  // namespace

const platform::Module vrTraceModule = {"kjtrac.dll", reinterpret_cast<const void*>(&traceAnchor),
                                        {&vrTraceMessages, &juLibraryMessages, nullptr, nullptr}};

namespace {

// The library has no start-up code of its own beyond this and its fork
// handlers (below): messages come from its module from load time on.
[[maybe_unused]] const bool moduleSet = (juResourceModule.store(&vrTraceModule, std::memory_order_release), true);

// ---------------------------------------------------------------------------
// Process-wide state.
// ---------------------------------------------------------------------------

// Constant-initialised and never torn down: usable before the first open and
// after the last close.
platform::Lock traceLock;

std::atomic<JuTracing*> currentSink{nullptr};
std::atomic<uint32_t> optionValue{0};
// Set by the first TraceOpenLogFile once its start-up succeeded.
std::atomic<bool> initialised{false};
// Set by TraceCloseLogFile, cleared by TraceOpenLogFile: no lazy open while
// set.
std::atomic<bool> closedByCaller{false};
// Set in a forked child whose parent's log is a per-process set: the
// child's next record opens a set of its own.
std::atomic<bool> reopenInChild{false};
// After a lazy open failed: the monotonic millisecond from which a record
// tries again.
std::atomic<uint64_t> nextLazyOpen{0};

// The trace file name: at most 282 bytes and a NUL.
constexpr size_t kFileNameBytes = 283;

// The name the current sink was opened for, before its process suffix, and
// how; written under the trace lock. A forked child opens it again.
struct OpenedName {
  char name[kFileNameBytes];
  bool namePassed;
  bool perProcess;
};
OpenedName opened{};

// ---------------------------------------------------------------------------
// Fork.
// ---------------------------------------------------------------------------

// The sink whose locks the prepare handler took; the system runs one fork's
// handlers at a time.
JuTracing* forkSink = nullptr;

// The trace lock first, then the sink's: with both held, no thread is
// between the header of a record and its hand-over, and the sink cannot be
// opened, closed or deleted.
void enterForFork(void*) {
  traceLock.enter();
  forkSink = currentSink.load(std::memory_order_acquire);
  if (forkSink != nullptr) forkSink->enterForFork();
}

void leaveAfterFork(bool inChild) {
  if (forkSink != nullptr) forkSink->leaveAfterFork(inChild);
  if (inChild) {
    // Per-process files are never shared, not even with a forked child.
    reopenInChild.store(forkSink != nullptr && opened.perProcess, std::memory_order_relaxed);
    traceLock.leaveInForkedChild();
  } else {
    traceLock.leave();
  }
}

void leaveInParent(void*) { leaveAfterFork(false); }

void leaveInChild(void*) { leaveAfterFork(true); }

// Without room for them a fork finds the locks as they are.
[[maybe_unused]] const bool forkHandled =
    platform::addForkHandlers(platform::ForkStage::kDeliverable, {enterForFork, leaveInParent, leaveInChild, nullptr});

// ---------------------------------------------------------------------------
// Names and messages.
// ---------------------------------------------------------------------------

// "TraceFile" holds at most 260 bytes; one more tells a longer value.
constexpr size_t kTraceFileSettingBytes = 262;
constexpr size_t kTraceFileMaxLength = 260;
constexpr size_t kAttributeBytes = 2048;
// The log when "TraceFile" is empty: the root of the drive on the systems
// this library comes from; here the temporary directory, which every user
// may write.
constexpr char kDefaultLogName[] = "SQL.LOG";
constexpr char kUnableToOpen[] = "Unable to open ODBC trace file ";

// Copies text into the caller's message buffer, cut to its capacity less
// one unit and terminated; a surrogate pair is never cut in half. Nothing
// without a buffer or with less than one unit of room. The buffer is the
// Driver Manager's and is not trusted: one that runs into memory the
// process may not write counts only its writable start.
void copyMessage(std::u16string_view text, char16_t* buffer, uint32_t bufferBytes) {
  const size_t wanted = std::min<size_t>(bufferBytes / 2, text.size() + 1);
  const size_t capacity = platform::writableLength(buffer, wanted * sizeof(char16_t)) / sizeof(char16_t);
  if (capacity == 0) return;
  const size_t n = platform::utf16::cutAtCharBoundary(text, capacity - 1);
  for (size_t i = 0; i < n; ++i) buffer[i] = text[i];
  buffer[n] = 0;
}

// "Unable to open ODBC trace file " and the name (UTF-8) into the buffer.
void reportUnableToOpen(const char* name, char16_t* buffer, uint32_t bufferBytes) {
  constexpr size_t kPrefix = sizeof kUnableToOpen - 1;
  char16_t text[kPrefix + kFileNameBytes];
  for (size_t i = 0; i < kPrefix; ++i) text[i] = static_cast<unsigned char>(kUnableToOpen[i]);
  const size_t nameBytes = std::strlen(name);
  int units = 0;
  if (nameBytes != 0) {
    units = platform::multiByteToWide(platform::kCodePageUtf8, name, static_cast<int>(nameBytes), text + kPrefix,
                                      static_cast<int>(kFileNameBytes));
  }
  copyMessage(std::u16string_view(text, kPrefix + static_cast<size_t>(units)), buffer, bufferBytes);
}

// A name that does not fit is refused rather than cut, which would open
// another file: the file sink's own message for it, with the name.
void postNameTooLong(std::string_view name) {
  JuError* error = juPostError(kJuMsgFileInputOutput)->addParam(int64_t{0});
  error->appendText(u" Trace file too long: ");
  char16_t shown[kFileNameBytes * 3 + 1] = {};
  const size_t bytes = name.size() < kFileNameBytes * 3 ? name.size() : kFileNameBytes * 3;
  if (bytes != 0) {
    (void)platform::multiByteToWide(platform::kCodePageUtf8, name.data(), static_cast<int>(bytes), shown,
                                    static_cast<int>(kFileNameBytes * 3));
  }
  error->appendText(shown);
}

// The caller's name, copied out through the memory probe: its units up to
// the terminator, or its first kFileNameBytes units when it runs on (a
// longer name cannot fit, so no more is read). False when it cannot be
// read as far as that.
bool copyPassedName(const char16_t* name, char16_t (&units)[kFileNameBytes], size_t* count) {
  uint64_t bytes = 0;
  const auto address = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(name));
  if (TraceMeasureText(address, true, sizeof units, &bytes) == TraceMeasured::kUnreadable ||
      platform::copyMemory(units, name, static_cast<size_t>(bytes)) != bytes) {
    return false;
  }
  *count = static_cast<size_t>(bytes) / sizeof(char16_t);
  if (*count != 0 && units[*count - 1] == 0) --*count;
  return true;
}

// The passed UTF-16 name as UTF-8 into `out`; false (error posted) when it
// does not fit.
bool convertPassedName(std::u16string_view name, char* out) {
  const size_t units = name.size();
  out[0] = '\0';
  if (units == 0) return true;
  // Every unit takes at least one byte, so a longer name cannot fit.
  const int n = static_cast<int>(units < kFileNameBytes ? units : kFileNameBytes);
  const int bytes = platform::wideToMultiByte(platform::kCodePageUtf8, name.data(), n, nullptr, 0);
  if (units < kFileNameBytes && bytes > 0 && static_cast<size_t>(bytes) < kFileNameBytes) {
    platform::wideToMultiByte(platform::kCodePageUtf8, name.data(), n, out, static_cast<int>(kFileNameBytes));
    out[bytes] = '\0';
    return true;
  }
  char shown[kFileNameBytes * 3 + 1];
  const int shownBytes = platform::wideToMultiByte(platform::kCodePageUtf8, name.data(), n, shown, sizeof shown - 1);
  postNameTooLong(std::string_view(shown, shownBytes > 0 ? static_cast<size_t>(shownBytes) : 0));
  return false;
}

// The configured name, or the default log when "TraceFile" is empty.
bool configuredName(char* out) {
  char value[kTraceFileSettingBytes];
  const size_t n = TraceReadSetting("TraceFile", "", value, sizeof value);
  if (n > kTraceFileMaxLength) {
    postNameTooLong(value);
    return false;
  }
  if (n != 0) {
    std::memcpy(out, value, n + 1);
    return true;
  }
  // A temporary directory too long for the name leaves the log's bare name.
  if (TraceDefaultLogName(out, kFileNameBytes) == 0) std::memcpy(out, kDefaultLogName, sizeof kDefaultLogName);
  return true;
}

bool endsInSeparator(const char* name) {
  const size_t n = std::strlen(name);
  return n != 0 && platform::isPathSeparator(name[n - 1]);
}

// The trace file name of `fileName`: "_<pid>_" inserted when
// "TraceFilePerProcess" is exactly "1" (*perProcess set), else "_". 0, or 1
// when it does not fit.
int traceFileName(const char* fileName, char* out, size_t size, bool* perProcess) {
  char setting[1000];
  TraceReadSetting("TraceFilePerProcess", "1", setting, sizeof setting);
  *perProcess = std::strcmp(setting, "1") == 0;
  if (!*perProcess) return TraceInsertFileSuffix(fileName, "_", out, size);
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "_%" PRIu32 "_", platform::currentProcessId());
  return TraceInsertProcessSuffix(fileName, suffix, out, size);
}

// `name` with `suffix` inserted at byte `at`, and a NUL, into `out`; 0, or 1
// (out emptied when it has room) when it does not fit.
int insertAt(std::string_view name, size_t at, const char* suffix, char* out, size_t size) {
  const size_t suffixLength = std::strlen(suffix);
  if (out == nullptr || size == 0) return 1;
  if (name.size() + suffixLength >= size) {
    out[0] = '\0';
    return 1;
  }
  std::memcpy(out, name.data(), at);
  std::memcpy(out + at, suffix, suffixLength);
  std::memcpy(out + at + suffixLength, name.data() + at, name.size() - at);
  out[name.size() + suffixLength] = '\0';
  return 0;
}

// ---------------------------------------------------------------------------
// Opening.
// ---------------------------------------------------------------------------

// The first open of the process: the calling thread's record first on a new
// thread list, and the library's messages.
bool startUp() {
  if (juStartThreadInfoList() == nullptr) {
    juReportOutOfMemory();
    return false;
  }
  juResourceModule.store(&vrTraceModule, std::memory_order_release);
  initialised.store(true, std::memory_order_release);
  return true;
}

// A local keep-all list current for the rest of an open.
class OpenErrorScope {
 public:
  OpenErrorScope() : list_(0, 1) { JuErrorList::pushCurrent(&list_); }
  ~OpenErrorScope() {
    if (JuErrorList::current() == &list_) JuErrorList::popCurrent();
  }
  OpenErrorScope(const OpenErrorScope&) = delete;
  OpenErrorScope& operator=(const OpenErrorScope&) = delete;

  // The text of the most recent error into the caller's buffer.
  void report(char16_t* buffer, uint32_t bufferBytes) {
    JuError* error = list_.last();
    if (error == nullptr) return;
    const char16_t* text = error->messageW();
    if (text != nullptr) copyMessage(std::u16string_view(text, platform::utf16::unitLength(text)), buffer, bufferBytes);
  }

 private:
  JuErrorList list_;
};

// Creates and opens the sink for `fileName`, which other processes write
// too unless `perProcess`; the sink, or null with the reason posted.
JuTracing* openSink(const char* fileName, bool namePassed, bool perProcess) {
  uint64_t numbers[kTraceNumberCount] = {};
  // The sink's own settings only once there is a sink to take them.
  TraceReadNumberSettings(0, kTraceSinkNumberFirst, numbers);
  optionValue.store(static_cast<uint32_t>(numbers[kOdbcTraceOptions]), std::memory_order_relaxed);
  char modeText[64];
  std::snprintf(modeText, sizeof modeText, "%s=%" PRIu64, kTraceNumberSettings[kOdbcTraceMode].key,
                numbers[kOdbcTraceMode]);
  JuTracing* sink = JuTracing::create(modeText);
  if (sink == nullptr) return nullptr;
  sink->soleWriter = perProcess;

  TraceReadNumberSettings(kTraceSinkNumberFirst, kTraceNumberCount, numbers);
  // A name given by the caller adds to what is there.
  if (namePassed) numbers[kTraceFileOpenAppendMode] = 1;
  char attributes[kAttributeBytes];
  // A 282-byte name braced with every byte doubled and five 20-digit numbers
  // stay far below the buffer.
  (void)TraceBuildSinkAttributes(numbers + kTraceSinkNumberFirst, fileName, attributes, sizeof attributes);
  if (sink->open(attributes) == 0) return sink;
  delete sink;
  return nullptr;
}

// Opens the sink for `fileName` with its process suffix and makes it
// current; false with the reason posted.
bool openNamed(const char* fileName, bool namePassed) {
  char traceName[kFileNameBytes];
  bool perProcess = false;
  if (traceFileName(fileName, traceName, sizeof traceName, &perProcess) != 0) {
    postNameTooLong(fileName);
    return false;
  }
  JuTracing* sink = openSink(traceName, namePassed, perProcess);
  if (sink == nullptr) return false;
  std::memcpy(opened.name, fileName, std::strlen(fileName) + 1);
  opened.namePassed = namePassed;
  opened.perProcess = perProcess;
  currentSink.store(sink, std::memory_order_release);
  // A log opened anew reads ODBC.INI anew, "TraceOptions" too.
  TraceForgetLineMode();
  return true;
}

enum class OpenKind { kExplicit, kLazy };

int16_t openLog(const char16_t* name, char16_t* message, uint32_t messageBytes, OpenKind kind) {
  // Under the trace lock from start to end: two first records that arrive
  // at once open one sink, and no record sees a sink that is not yet open.
  TraceLockScope lock;
  if (currentSink.load(std::memory_order_acquire) != nullptr) return 0;
  if (kind == OpenKind::kLazy) {
    if (closedByCaller.load(std::memory_order_acquire)) return -1;
  } else {
    closedByCaller.store(false, std::memory_order_release);
    // Whatever came of this open, the next record may try the lazy one.
    nextLazyOpen.store(0, std::memory_order_relaxed);
  }
  if (!initialised.load(std::memory_order_acquire)) {
    if (!startUp()) return -1;
    // The Driver Manager's first call without a name only readies the
    // library; the first record opens the log.
    if (name == nullptr && kind == OpenKind::kExplicit) return 0;
  }

  OpenErrorScope errors;
  const bool namePassed = name != nullptr;
  char16_t passed[kFileNameBytes];
  size_t passedUnits = 0;
  if (namePassed && !copyPassedName(name, passed, &passedUnits)) {
    // A name that cannot be read names no file the caller could mean, so
    // none is opened in its place.
    reportUnableToOpen("", message, messageBytes);
    return -1;
  }
  char fileName[kFileNameBytes];
  if (!(namePassed ? convertPassedName(std::u16string_view(passed, passedUnits), fileName)
                   : configuredName(fileName))) {
    errors.report(message, messageBytes);
    return -1;
  }
  if (endsInSeparator(fileName)) {
    reportUnableToOpen(fileName, message, messageBytes);
    return -1;
  }
  if (!openNamed(fileName, namePassed)) {
    errors.report(message, messageBytes);
    return -1;
  }
  return 0;
}

// In a forked child of a per-process log: the inherited sink, which no
// longer holds anything of the parent's, gives way to a set under the
// child's own process id.
void reopenForChild() {
  TraceLockScope lock;
  if (!reopenInChild.exchange(false, std::memory_order_relaxed)) return;
  JuTracing* sink = currentSink.exchange(nullptr, std::memory_order_acq_rel);
  if (sink == nullptr) return;
  (void)sink->close();  // failures are posted; the records go to the new set
  delete sink;
  OpenErrorScope errors;
  const OpenedName name = opened;
  (void)openNamed(name.name, name.namePassed);
}

// Whether `c` makes a value read differently by the attribute parser when
// it is not braced.
bool needsBracesFor(char c) { return c == ';' || c == '\'' || c == '"' || c == '`'; }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool needsBraces(std::string_view value) {
  if (value.empty()) return false;
  if (value.front() == '{' || isBlank(value.front()) || isBlank(value.back())) return true;
  for (char c : value) {
    if (needsBracesFor(c)) return true;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// Pure rules of the name and the options.
// ---------------------------------------------------------------------------

int TraceInsertFileSuffix(const char* name, const char* suffix, char* out, size_t size) {
  const std::string_view whole(name);
  const std::string_view filePart = platform::fileName(whole);
  const size_t dot = filePart.rfind('.');
  const size_t at = dot == std::string_view::npos ? whole.size() : whole.size() - filePart.size() + dot;
  return insertAt(whole, at, suffix, out, size);
}

int TraceInsertProcessSuffix(const char* name, const char* suffix, char* out, size_t size) {
  const std::string_view whole(name);
  return insertAt(whole, TraceFileBaseEnd(whole.data(), whole.size()), suffix, out, size);
}

size_t TraceDefaultLogName(char* out, size_t size) {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  if (size < sizeof kDefaultLogName) return 0;
  const size_t directory = platform::temporaryDirectory(out, size - (sizeof kDefaultLogName - 1));
  if (directory == 0) return 0;
  std::memcpy(out + directory, kDefaultLogName, sizeof kDefaultLogName);
  return directory + sizeof kDefaultLogName - 1;
}

size_t TraceBuildSinkAttributes(const uint64_t numbers[kTraceSinkNumberCount], const char* path, char* out,
                                size_t size) {
  if (out == nullptr || size == 0) return 0;
  size_t length = 0;
  auto put = [&](std::string_view text) {
    if (text.size() >= size - length) return false;
    std::memcpy(out + length, text.data(), text.size());
    length += text.size();
    return true;
  };
  bool fits = true;
  for (size_t i = 0; fits && i < kTraceSinkNumberCount; ++i) {
    char number[24];  // 20 digits at most
    const int digits = std::snprintf(number, sizeof number, "%" PRIu64, numbers[i]);
    fits = put(kTraceNumberSettings[kTraceSinkNumberFirst + i].key) && put("=") &&
           put(std::string_view(number, static_cast<size_t>(digits))) && put(";");
  }
  const std::string_view value(path);
  const bool braced = needsBraces(value);
  fits = fits && put("TraceFile=") && (!braced || put("{"));
  for (size_t i = 0; fits && i < value.size(); ++i) {
    if (braced && value[i] == '}') fits = put("}");
    fits = fits && put(value.substr(i, 1));
  }
  if (fits && braced) fits = put("}");
  if (!fits) {
    out[0] = '\0';
    return 0;
  }
  out[length] = '\0';
  return length;
}

// ---------------------------------------------------------------------------
// State for the writer.
// ---------------------------------------------------------------------------

JuTracing* TraceCurrentSink() { return currentSink.load(std::memory_order_acquire); }

uint32_t TraceOptionValue() { return optionValue.load(std::memory_order_relaxed); }

void TraceLock() { traceLock.enter(); }

void TraceUnlock() { traceLock.leave(); }

bool TraceOpenLazily() {
  if (reopenInChild.load(std::memory_order_relaxed)) reopenForChild();
  if (currentSink.load(std::memory_order_acquire) != nullptr) return true;
  // A log that cannot be opened (its folder does not exist yet) is tried
  // again by a record at most every kTraceRetryMilliseconds: an open reads
  // every setting, which records in between need not pay for.
  const uint64_t now = platform::monotonicMilliseconds();
  if (now < nextLazyOpen.load(std::memory_order_relaxed)) return false;
  (void)openLog(nullptr, nullptr, 0, OpenKind::kLazy);
  if (currentSink.load(std::memory_order_acquire) != nullptr) return true;
  nextLazyOpen.store(now + kTraceRetryMilliseconds, std::memory_order_relaxed);
  return false;
}

// ---------------------------------------------------------------------------
// The control exports.
// ---------------------------------------------------------------------------

extern "C" {

int16_t TraceOpenLogFile(const char16_t* name, char16_t* message, uint32_t messageBytes) {
  platform::SystemErrorScope keepErrno;
  return openLog(name, message, messageBytes, OpenKind::kExplicit);
}

int16_t TraceCloseLogFile() {
  platform::SystemErrorScope keepErrno;
  // The sink goes away under the trace lock, so no record is written to it
  // while it closes or after it is deleted.
  TraceLockScope lock;
  closedByCaller.store(true, std::memory_order_release);
  JuTracing* sink = currentSink.exchange(nullptr, std::memory_order_acq_rel);
  if (sink != nullptr) {
    (void)sink->close();  // failures are posted; nothing to report to the caller
    delete sink;
  }
  return 0;
}

void TraceReturn(int16_t handle, int16_t returnCode) {
  platform::SystemErrorScope keepErrno;
  TraceCallRecord* record = TraceTakeHandle(handle);
  if (record == nullptr) return;
  TraceWriteCall(*record, 0, static_cast<uint16_t>(returnCode));
  TraceWriteConnectInfo(*record, returnCode);
  std::free(record);
}

uint32_t TraceVersion() { return 1000; }

}  // extern "C"
