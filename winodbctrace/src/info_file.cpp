// The INFO side file: its name, the facts entry and the environment entry,
// each built whole in memory and appended with as few writes as keep lines
// whole.

#include "info_file.h"

#include <atomic>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "julib/threads.h"
#include "odbc_headers.h"
#include "platform/checked_size.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "trace.h"

namespace {

// ---------------------------------------------------------------------------
// Constants.
// ---------------------------------------------------------------------------

// The ids of the connect calls (their wide forms carry the same ids).
constexpr uint32_t kConnectFunctionIds[] = {SQL_API_SQLCONNECT, SQL_API_SQLDRIVERCONNECT, SQL_API_SQLBROWSECONNECT};

// The facts, in the order they are written.
struct Fact {
  uint16_t infoType;
  const char* name;  // null: the isolation, a 32-bit number
};
constexpr Fact kFacts[] = {
    {SQL_DBMS_NAME, "SQL_DBMS_NAME"},
    {SQL_DBMS_VER, "SQL_DBMS_VER"},
    {SQL_DRIVER_NAME, "SQL_DRIVER_NAME"},
    {SQL_DRIVER_VER, "SQL_DRIVER_VER"},
    {SQL_DEFAULT_TXN_ISOLATION, nullptr},
};

// The Driver Manager answers into buffers of this size.
constexpr size_t kAnswerBytes = 261;
// The time line and five lines of at most an answer and 40 bytes each.
constexpr size_t kFactsEntryBytes = 2048;
static_assert(kFactsEntryBytes <= kTraceInfoAtomicBytes, "the facts entry goes in one write");

// "TraceFile" holds at most 260 bytes (as the log's own name requires); one
// byte more tells a longer value, which is refused.
constexpr size_t kTraceFileSettingBytes = 262;
constexpr size_t kTraceFileMaxLength = 260;
// The trace file name and "INFO": the log's own name room.
constexpr size_t kInfoNameBytes = 283;
constexpr std::string_view kInfo = "INFO";

constexpr std::string_view kEnvironmentBanner = "***************** Environment Variables ****************\n";
constexpr std::string_view kEnvironmentEndBanner = "***************** End of Environment Variables ****************\n";
// Tries at sizing the environment while other threads change it.
constexpr int kEnvironmentTries = 4;

// The Driver Manager's library, by its Windows name (mapped by the platform).
constexpr char kDriverManagerLibrary[] = "odbc32.dll";

// ---------------------------------------------------------------------------
// Quiet running.
// ---------------------------------------------------------------------------

// Takes the calling thread's current error list away for the scope, so that
// whatever the steps below post (reading the setting may) is dropped rather
// than left on the application thread's list. Reading the slot never
// creates a thread record, and a thread with a list has a record already.
class QuietErrors {
 public:
  QuietErrors() : saved_(JuThreadInfo::getSlot(0)) {
    if (saved_ != nullptr) JuThreadInfo::setSlot(0, nullptr);
  }
  ~QuietErrors() {
    if (saved_ != nullptr) JuThreadInfo::setSlot(0, saved_);
  }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  void* saved_;
};

// ---------------------------------------------------------------------------
// The Driver Manager.
// ---------------------------------------------------------------------------

std::atomic<const TraceDriverManager*> testDriverManager{nullptr};

// The Driver Manager's functions for one entry: a test's, or unixODBC's as
// the application loaded it, held loaded until the entry is done.
class DriverManager {
 public:
  DriverManager() {
    if (const TraceDriverManager* test = testDriverManager.load(std::memory_order_acquire)) {
      functions_ = *test;
      return;
    }
    library_ = platform::findLoadedLibrary(kDriverManagerLibrary);
    if (library_ == nullptr) return;
    functions_.getInfo = reinterpret_cast<decltype(functions_.getInfo)>(platform::findFunction(library_, "SQLGetInfo"));
    functions_.getDiagRec =
        reinterpret_cast<decltype(functions_.getDiagRec)>(platform::findFunction(library_, "SQLGetDiagRec"));
  }
  ~DriverManager() { platform::freeLibrary(library_); }
  DriverManager(const DriverManager&) = delete;
  DriverManager& operator=(const DriverManager&) = delete;

  int16_t getInfo(void* connection, uint16_t infoType, void* value, int16_t valueBytes) const {
    if (functions_.getInfo == nullptr) return SQL_ERROR;
    return functions_.getInfo(connection, infoType, value, valueBytes, nullptr);
  }
  int16_t getDiagRec(void* connection, unsigned char* sqlState, int32_t* nativeError, unsigned char* message,
                     int16_t messageBytes, int16_t* textLength) const {
    if (functions_.getDiagRec == nullptr) return SQL_ERROR;
    return functions_.getDiagRec(SQL_HANDLE_DBC, connection, 1, sqlState, nativeError, message, messageBytes,
                                 textLength);
  }

 private:
  platform::LibraryHandle library_ = nullptr;
  TraceDriverManager functions_{nullptr, nullptr};
};

// ---------------------------------------------------------------------------
// Building entries.
// ---------------------------------------------------------------------------

// Formatted text appended to a fixed buffer; a line that does not fit is
// left out whole.
class EntryText {
 public:
  EntryText(char* buffer, size_t size) : buffer_(buffer), size_(size) {}

  void appendf(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer_ + length_, size_ - length_, format, args);
    va_end(args);
    if (n >= 0 && static_cast<size_t>(n) < size_ - length_) length_ += static_cast<size_t>(n);
    buffer_[length_] = '\0';
  }
  const char* data() const { return buffer_; }
  size_t length() const { return length_; }

 private:
  char* buffer_;
  size_t size_;
  size_t length_ = 0;
};

bool succeeded(int16_t rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

void appendTimeLine(EntryText& entry) {
  const platform::LocalTime now = platform::localTimeNow();
  entry.appendf("%04d-%02d-%02d %02d:%02d:%02d.\r\n", now.year, now.month, now.day, now.hour, now.minute, now.second);
}

// One fact's line, or the first diagnostic of its failure.
void appendFact(EntryText& entry, const DriverManager& manager, void* connection, const Fact& fact) {
  // Zero-filled and always terminated, whatever a driver leaves in it.
  unsigned char answer[kAnswerBytes] = {};
  const int16_t rc = manager.getInfo(connection, fact.infoType, answer, static_cast<int16_t>(sizeof answer));
  answer[sizeof answer - 1] = 0;
  if (succeeded(rc)) {
    if (fact.name == nullptr) {
      uint32_t value = 0;
      std::memcpy(&value, answer, sizeof value);
      entry.appendf("SQL_DEFAULT_TXN_ISOLATION: %" PRIu32 "\r\n", value);
    } else {
      entry.appendf("%s: %s\r\n", fact.name, reinterpret_cast<const char*>(answer));
    }
    return;
  }
  unsigned char state[6] = {};
  unsigned char message[kAnswerBytes] = {};
  int32_t nativeError = 0;
  int16_t textLength = 0;
  const int16_t diagRc =
      manager.getDiagRec(connection, state, &nativeError, message, static_cast<int16_t>(sizeof message), &textLength);
  state[sizeof state - 1] = 0;
  message[sizeof message - 1] = 0;
  if (succeeded(diagRc)) {
    entry.appendf("%s : %s [%" PRId32 "]\r\n", reinterpret_cast<const char*>(state),
                  reinterpret_cast<const char*>(message), nativeError);
  } else {
    entry.appendf("SQLGetInfo failed with %d; SQLGetDiagRec failed with %d\r\n", rc, diagRc);
  }
}

// The environment entry in a buffer of the C heap (the caller frees it), or
// null with the reason's error number.
char* environmentEntry(size_t* length, platform::ErrorNumber* error) {
  const size_t banners = kEnvironmentBanner.size() + kEnvironmentEndBanner.size();
  size_t blockBytes = platform::environmentBlock(nullptr, 0);
  for (int attempt = 0; attempt < kEnvironmentTries; ++attempt) {
    size_t entryBytes;
    if (!platform::addSizes(&entryBytes, banners, blockBytes)) break;
    auto* entry = static_cast<char*>(std::malloc(entryBytes));
    if (entry == nullptr) {
      *error = platform::kErrorNoMemory;
      return nullptr;
    }
    char* block = entry + kEnvironmentBanner.size();
    const size_t got = platform::environmentBlock(block, blockBytes);
    if (got > blockBytes) {
      // Another thread added to the environment meanwhile.
      std::free(entry);
      blockBytes = got;
      continue;
    }
    // Each string's NUL ends its line; the block's closing NUL goes.
    for (size_t i = 0; i + 1 < got; ++i) {
      if (block[i] == '\0') block[i] = '\n';
    }
    std::memcpy(entry, kEnvironmentBanner.data(), kEnvironmentBanner.size());
    std::memcpy(block + got - 1, kEnvironmentEndBanner.data(), kEnvironmentEndBanner.size());
    *length = kEnvironmentBanner.size() + got - 1 + kEnvironmentEndBanner.size();
    return entry;
  }
  *error = platform::kErrorRange;
  return nullptr;
}

// ---------------------------------------------------------------------------
// The file.
// ---------------------------------------------------------------------------

// The INFO file of the configured trace file: "TraceFile", or the log's
// default name when it is empty. False when that name is refused.
bool infoFileName(char* out, size_t size) {
  char traceName[kInfoNameBytes];
  char value[kTraceFileSettingBytes];
  const size_t n = TraceReadSetting("TraceFile", "", value, sizeof value);
  if (n > kTraceFileMaxLength) return false;
  if (n != 0) {
    std::memcpy(traceName, value, n + 1);
  } else if (TraceDefaultLogName(traceName, sizeof traceName) == 0) {
    return false;
  }
  return TraceInfoFileName(traceName, out, size) == 0;
}

// The end of the longest run of whole lines from `text` that stays within
// kTraceInfoAtomicBytes, or of its first line when that alone is longer.
size_t runEnd(std::string_view text) {
  if (text.size() <= kTraceInfoAtomicBytes) return text.size();
  const size_t lastBreak = text.rfind('\n', kTraceInfoAtomicBytes - 1);
  if (lastBreak != std::string_view::npos) return lastBreak + 1;
  const size_t firstBreak = text.find('\n');
  return firstBreak == std::string_view::npos ? text.size() : firstBreak + 1;
}

// Appends one entry to the INFO file, opened for it alone.
void appendEntry(const char* data, size_t length) {
  char name[kInfoNameBytes + kInfo.size()];
  if (!infoFileName(name, sizeof name)) return;
  platform::FileDescriptor file = platform::kNoDescriptor;
  if (platform::openFile(name, platform::kOpenReadWrite | platform::kOpenCreate | platform::kOpenAppend, &file) !=
      platform::kErrorNone) {
    return;
  }
  std::string_view rest(data, length);
  while (!rest.empty()) {
    const size_t end = runEnd(rest);
    if (platform::writeWhole(file, rest.data(), end) != platform::kErrorNone) break;
    rest.remove_prefix(end);
  }
  (void)platform::closeFile(file);  // an entry that was lost is lost silently
}

}  // namespace

// ---------------------------------------------------------------------------
// The name.
// ---------------------------------------------------------------------------

int TraceInfoFileName(const char* traceName, char* out, size_t size) {
  if (out == nullptr || size == 0) return 1;
  out[0] = '\0';
  if (traceName == nullptr) return 1;
  const std::string_view whole(traceName);
  const std::string_view filePart = platform::fileName(whole);
  if (filePart.empty() || whole.size() + kInfo.size() >= size) return 1;
  const size_t dot = filePart.rfind('.');
  const bool hasExtension = dot != std::string_view::npos && dot != 0;
  const size_t at = hasExtension ? whole.size() - filePart.size() + dot : whole.size();
  std::memcpy(out, whole.data(), at);
  std::memcpy(out + at, kInfo.data(), kInfo.size());
  std::memcpy(out + at + kInfo.size(), whole.data() + at, whole.size() - at);
  out[whole.size() + kInfo.size()] = '\0';
  return 0;
}

// ---------------------------------------------------------------------------
// The entries.
// ---------------------------------------------------------------------------

void TraceWriteDriverInfo(void* connection) {
  QuietErrors quiet;
  char text[kFactsEntryBytes];
  EntryText entry(text, sizeof text);
  appendTimeLine(entry);
  const DriverManager manager;
  for (const Fact& fact : kFacts) appendFact(entry, manager, connection, fact);
  appendEntry(entry.data(), entry.length());
}

void TraceWriteEnvironment() {
  QuietErrors quiet;
  size_t length = 0;
  platform::ErrorNumber error = platform::kErrorNone;
  char* entry = environmentEntry(&length, &error);
  if (entry == nullptr) {
    char text[64];
    EntryText failure(text, sizeof text);
    failure.appendf("GetEnvironmentStrings failed (%" PRId32 ")\n", error);
    appendEntry(failure.data(), failure.length());
    return;
  }
  appendEntry(entry, length);
  std::free(entry);
}

void TraceWriteConnectInfo(const TraceCallRecord& record, int16_t returnCode) {
  bool isConnect = false;
  for (uint32_t id : kConnectFunctionIds) isConnect = isConnect || record.functionId == id;
  if (!isConnect) return;
  if (succeeded(returnCode)) {
    TraceWriteDriverInfo(reinterpret_cast<void*>(static_cast<uintptr_t>(record.values[0])));
  }
  TraceWriteEnvironment();
}

void TraceSetDriverManagerForTesting(const TraceDriverManager* functions) {
  testDriverManager.store(functions, std::memory_order_release);
}
